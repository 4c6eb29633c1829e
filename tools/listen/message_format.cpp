#include "tools/listen/message_format.h"

#include <cinttypes>
#include <cstdio>

#include "protocol/byte_io.h"
#include "protocol/messages.h"

namespace vantorel::tools {

namespace {

std::string Format(const char* format, auto... args) {
  char text[256];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}

std::string DescribeDescription(std::span<const std::uint8_t> body) {
  auto d = protocol::ParseStreamDescription(body);
  if (!d) return " malformed";
  std::string out = Format(" flags=%u records=%zu", unsigned{d->streamFlags}, d->records.size());
  for (const auto& r : d->records) {
    out += Format(" record=%u:%u:%u:%u:%zu",
                  unsigned{static_cast<std::uint8_t>(protocol::FormatRecordKind(r.stream))},
                  unsigned{r.session}, unsigned{r.majorCode}, unsigned{r.formatCode},
                  r.formatBlock.size());
  }
  return out;
}

std::string DescribeSample(std::span<const std::uint8_t> body) {
  auto s = protocol::ParseSampleMessage(body);
  if (!s) return " malformed";
  return Format(" data=%zu flags=0x%x start=%" PRId64 " stop=%" PRId64, s->data.size(),
                s->properties.sampleFlags, s->properties.start, s->properties.stop);
}

std::string DescribeSegment(std::span<const std::uint8_t> body) {
  auto s = protocol::ParseSegmentStart(body);
  if (!s) return " malformed";
  return Format(" clock=%" PRId64, s->clockTime);
}

}  // namespace

std::string DescribeMessage(std::uint32_t number, std::uint32_t channel,
                            std::span<const std::uint8_t> body) {
  const unsigned kind = body.size() >= 4 ? protocol::HeaderKind(protocol::LoadU32(body.data())) : 0;
  std::string line = Format("message=%" PRIu32 " channel=%" PRIu32 " length=%zu kind=%u", number,
                            channel, body.size(), kind);
  switch (protocol::ClassifyMessage(body)) {
    case protocol::MessageKind::kStreamDescription:
      return line + DescribeDescription(body);
    case protocol::MessageKind::kSample:
      return line + DescribeSample(body);
    case protocol::MessageKind::kSegmentStart:
      return line + DescribeSegment(body);
    case protocol::MessageKind::kUnknown:
      break;
  }
  return line;
}

}  // namespace vantorel::tools
