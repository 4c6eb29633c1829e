// Pieces shared by the video and audio halves of the caps conversion.
#pragma once

#include <gst/gst.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "platform/media/gst_ptr.h"
#include "protocol/media_type.h"

namespace vantorel::media::detail {

using media::CapsPtr;

struct BufferUnref {
  void operator()(GstBuffer* buffer) const { gst_buffer_unref(buffer); }
};
using BufferPtr = std::unique_ptr<GstBuffer, BufferUnref>;

// The bytes of a buffer-valued caps field (codec_data); empty when absent.
std::vector<std::uint8_t> BufferField(const GstStructure* s, const char* field);
// A new buffer holding a copy of the bytes; nullptr for no bytes.
BufferPtr MakeBuffer(std::span<const std::uint8_t> bytes);
// Sets codec_data on the caps when there are bytes.
void SetCodecData(GstCaps* caps, std::span<const std::uint8_t> bytes);

int IntField(const GstStructure* s, const char* field, int fallback);

// Caps name to media type, one half per major type; nothing when unmapped.
std::optional<protocol::MediaType> VideoMediaTypeFromStructure(const GstStructure* s);
std::optional<protocol::MediaType> AudioMediaTypeFromStructure(const GstStructure* s);

// Interleaved raw audio in a format that WAVEFORMATEX expresses.
bool IsWaveRawCaps(const GstStructure* s);

// Media type to caps, one half per major type; nullptr when unknown or malformed.
CapsPtr VideoCapsFromMediaType(const protocol::MediaType& type);
CapsPtr AudioCapsFromMediaType(const protocol::MediaType& type);

}  // namespace vantorel::media::detail
