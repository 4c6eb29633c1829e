// GStreamer caps to the wire's media types and back (table-driven, one module for both
// directions).
#pragma once

#include <gst/gst.h>

#include <optional>

#include "protocol/media_type.h"

namespace vantorel::media {

// The media type that carries a stream with these (fixed) caps; nothing when the caps have no
// mapping (the stream then plays locally only and is not broadcast).
std::optional<protocol::MediaType> MediaTypeFromCaps(const GstCaps* caps);

// Caps a decoder needs for a stream described by this media type; nullptr when unknown.
// The caller owns the returned caps.
GstCaps* CapsFromMediaType(const protocol::MediaType& type);

}  // namespace vantorel::media
