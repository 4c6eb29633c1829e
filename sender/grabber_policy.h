// The grabber's decisions that need no media framework: which media types it takes, how a
// buffer's flags and times become the wire's sample properties, and the allocator properties
// it reports when nothing downstream told it.
#pragma once

#include <cstdint>
#include <optional>

#include "protocol/media_type.h"
#include "protocol/messages.h"
#include "protocol/result.h"

namespace vantorel::sender {

// Audio: any subtype of the audio major type. Video: any subtype of the video major type but
// the uncompressed, DV and port subtypes (E_FAIL), so the video grabber sits on compressed
// video only. Other major types: E_INVALIDARG.
HRESULT CheckInputType(protocol::StreamKind kind, const protocol::MediaType& type);

// What the grabber reads off one buffer. Times are running times in the segment, in 100 ns.
struct BufferFacts {
  bool deltaUnit = false;
  bool discontinuity = false;
  std::optional<std::int64_t> start;
  std::optional<std::int64_t> stop;  // only with a start
  std::int32_t actualLength = 0;
  std::int32_t bufferSize = 0;
};

// The sample properties block for a buffer: splice point unless a delta unit, discontinuity,
// start (+ segment base) when the start is known, stop (+ segment base) when both are.
protocol::SampleProperties MakeSampleProperties(const BufferFacts& facts, std::int64_t segmentBase);

// Allocator properties for a stream when no downstream element describes its buffers: one
// buffer big enough for the stream's largest sample (see the definition for the sizes).
protocol::AllocatorProperties FallbackAllocatorProperties(const protocol::MediaType& type);

}  // namespace vantorel::sender
