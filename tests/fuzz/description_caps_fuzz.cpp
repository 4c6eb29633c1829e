// Turns every record of a stream description into caps, as the receiver does for each stream it
// is to play: whatever the record claims, the outcome is caps or none, never a fault, and caps
// never carry a size, rate or channel count below one.
#include "platform/media/caps_conversion.h"
#include "platform/media/gst_ptr.h"
#include "protocol/messages.h"
#include "receiver/stream_pin_logic.h"

#include <gst/gst.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <vector>

using namespace vantorel;

namespace {

// Picture sizes for video; rates and channel counts for audio (whose "width" is the bits of a
// sample, 0 where a compressed format leaves them open).
void CheckCounts(const GstCaps* caps) {
  const GstStructure* s = gst_caps_get_structure(caps, 0);
  const bool video = g_str_has_prefix(gst_structure_get_name(s), "video/");
  for (const char* field : video ? std::initializer_list<const char*>{"width", "height"}
                                 : std::initializer_list<const char*>{"rate", "channels"}) {
    int value = 1;
    if (gst_structure_get_int(s, field, &value) && value < 1) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool initialised = gst_init_check(nullptr, nullptr, nullptr);
  if (!initialised) return 0;
  const std::vector<std::uint8_t> body(data, data + size);
  const auto description = protocol::ParseStreamDescription(body);
  if (!description) return 0;
  for (const protocol::FormatRecord& record : description->records) {
    media::CapsPtr caps(media::CapsFromMediaType(receiver::MediaTypeOfRecord(record)));
    if (caps) CheckCounts(caps.get());
  }
  return 0;
}
