#include "tools/listen/play_report.h"

#include <cinttypes>
#include <cstdio>

namespace vantorel::tools {
namespace {

const char* StreamName(std::uint8_t kind) {
  switch (kind) {
    case receiver::kStreamKindVideo:
      return "video";
    case receiver::kStreamKindAudio:
      return "audio";
    default:
      return "other";
  }
}

}  // namespace

std::string DescribeStream(const receiver::StreamReport& r) {
  char line[1024];
  std::snprintf(line, sizeof line,
                "stream=%s caps=%s delivered=%" PRIu64 " decoded=%" PRIu64 " late=%" PRIu64
                " unsynchronised=%" PRIu64 " unconnected=%" PRIu64 " overflow=%" PRIu64
                " malformed=%" PRIu64 " oversized=%" PRIu64 " untimed=%" PRIu64 " session=%u",
                StreamName(r.kind), r.output.caps.empty() ? "none" : r.output.caps.c_str(),
                r.pin.delivered, r.output.decoded, r.output.late, r.pin.unsynchronised,
                r.droppedUnconnected, r.queue.droppedOverflow, r.pin.malformed, r.pin.oversized,
                r.pin.untimed, unsigned{r.session});
  return line;
}

std::string DescribeTiming(const receiver::StreamReport& r) {
  char line[256];
  std::snprintf(line, sizeof line,
                "timing stream=%s timed=%" PRIu64 " median-margin-ms=%.1f worst-margin-ms=%.1f",
                StreamName(r.kind), r.output.timed, r.output.medianMarginNs / 1e6,
                r.output.worstMarginNs / 1e6);
  return line;
}

}  // namespace vantorel::tools
