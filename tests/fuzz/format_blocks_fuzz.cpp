// Reads arbitrary bytes as every kind of format block that a stream description can carry;
// whatever reads must write back to a block that reads the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "protocol/format_blocks.h"

using namespace vantorel::protocol;

namespace {

template <typename Read, typename Write>
void RoundTrip(const std::vector<std::uint8_t>& bytes, Read read, Write write) {
  auto first = read(bytes);
  if (!first) return;
  auto again = read(write(*first));
  if (!again) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> bytes(data, data + size);
  RoundTrip(bytes, ReadVideoInfoHeader, WriteVideoInfoHeader);
  RoundTrip(bytes, ReadMpeg1VideoInfo, WriteMpeg1VideoInfo);
  RoundTrip(bytes, ReadMpeg2VideoInfo, WriteMpeg2VideoInfo);
  RoundTrip(bytes, ReadWaveFormatEx, WriteWaveFormatEx);
  RoundTrip(bytes, ReadMpeg1WaveExtra, WriteMpeg1WaveExtra);
  RoundTrip(bytes, ReadMpegLayer3WaveExtra, WriteMpegLayer3WaveExtra);
  RoundTrip(bytes, ReadExtensibleWaveExtra, WriteExtensibleWaveExtra);
  return 0;
}
