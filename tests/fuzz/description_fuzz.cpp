// Parses arbitrary bytes as each kind of message body; whatever parses must re-encode to a
// body that parses to the same thing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "protocol/messages.h"

using namespace vantorel::protocol;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> body(data, data + size);
  ClassifyMessage(body);
  if (auto d = ParseStreamDescription(body)) {
    auto again = EncodeStreamDescription(d->streamFlags, d->records);
    auto reparsed = ParseStreamDescription(again);
    if (!reparsed || reparsed->records != d->records) std::abort();
  }
  if (auto s = ParseSampleMessage(body)) {
    unsigned sum = 0;
    for (auto byte : s->data) sum += byte;
    (void)sum;
  }
  ParseSegmentStart(body);
  return 0;
}
