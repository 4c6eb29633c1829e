#include "platform/media/caps_conversion.h"

#include <gst/riff/riff.h>

#include "platform/media/caps_conversion_internal.h"
#include "protocol/media_codes.h"

#include <cstring>

namespace vantorel::media {
namespace detail {

std::vector<std::uint8_t> BufferField(const GstStructure* s, const char* field) {
  const GValue* value = gst_structure_get_value(s, field);
  if (value == nullptr || !GST_VALUE_HOLDS_BUFFER(value)) return {};
  GstBuffer* buffer = gst_value_get_buffer(value);
  if (buffer == nullptr) return {};
  std::vector<std::uint8_t> bytes(gst_buffer_get_size(buffer));
  gst_buffer_extract(buffer, 0, bytes.data(), bytes.size());
  return bytes;
}

BufferPtr MakeBuffer(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return nullptr;
  return BufferPtr(gst_buffer_new_memdup(bytes.data(), bytes.size()));
}

void SetCodecData(GstCaps* caps, std::span<const std::uint8_t> bytes) {
  BufferPtr buffer = MakeBuffer(bytes);
  if (buffer) gst_caps_set_simple(caps, "codec_data", GST_TYPE_BUFFER, buffer.get(), nullptr);
}

int IntField(const GstStructure* s, const char* field, int fallback) {
  int value = 0;
  return gst_structure_get_int(s, field, &value) ? value : fallback;
}

}  // namespace detail

namespace {

const GstStructure* FirstStructure(const GstCaps* caps) {
  if (caps == nullptr || gst_caps_get_size(caps) == 0) return nullptr;
  return gst_caps_get_structure(caps, 0);
}

bool HasName(const GstStructure* s, const char* name) {
  return s != nullptr && gst_structure_has_name(s, name);
}

}  // namespace

std::optional<protocol::MediaType> MediaTypeFromCaps(const GstCaps* caps) {
  const GstStructure* s = FirstStructure(caps);
  if (s == nullptr || !gst_caps_is_fixed(caps)) return std::nullopt;
  const char* name = gst_structure_get_name(s);
  if (std::strncmp(name, "video/", 6) == 0 || std::strncmp(name, "image/", 6) == 0) {
    return detail::VideoMediaTypeFromStructure(s);
  }
  if (std::strncmp(name, "audio/", 6) == 0) return detail::AudioMediaTypeFromStructure(s);
  return std::nullopt;
}

GstCaps* CapsFromMediaType(const protocol::MediaType& type) {
  // The riff helpers log under a category of their own, made by gst_riff_init: without it
  // every log line they write is a critical warning.
  static const bool riffReady = (gst_riff_init(), true);
  (void)riffReady;
  if (type.majorType == protocol::guids::kMediaTypeVideo) {
    return detail::VideoCapsFromMediaType(type).release();
  }
  if (type.majorType == protocol::guids::kMediaTypeAudio) {
    return detail::AudioCapsFromMediaType(type).release();
  }
  return nullptr;
}

bool NeedsLittleEndianConversion(const GstCaps* caps) {
  const GstStructure* s = FirstStructure(caps);
  if (!HasName(s, "audio/x-raw")) return false;
  return gst_structure_get_string(s, "format") != nullptr && !detail::IsWaveRawCaps(s);
}

GstCaps* WaveRawAudioCaps() {
  return gst_caps_from_string(
      "audio/x-raw, format=(string){ U8, S16LE, S24LE, S32LE, F32LE, F64LE }, "
      "layout=(string)interleaved");
}

bool NeedsByteStreamConversion(const GstCaps* caps) {
  const GstStructure* s = FirstStructure(caps);
  if (!HasName(s, "video/x-h264")) return false;
  const char* format = gst_structure_get_string(s, "stream-format");
  return format != nullptr && std::strcmp(format, "byte-stream") != 0;
}

}  // namespace vantorel::media
