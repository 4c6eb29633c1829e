// Small typed builders for the message bodies that reach the playback graph.
#pragma once

#include <cstdint>
#include <vector>

#include "protocol/byte_io.h"
#include "protocol/media_codes.h"
#include "protocol/messages.h"

namespace vantorel::testing {

using Body = std::vector<std::uint8_t>;

inline protocol::FormatRecord Record(protocol::StreamKind stream, std::uint8_t session,
                                     std::int64_t clock = 0, std::int32_t bufferSize = 0) {
  protocol::FormatRecord r;
  r.stream = stream;
  r.subtype = protocol::GuidFromFourcc(stream == protocol::StreamKind::kVideo ? 0x3147504D : 0x50);
  r.session = session;
  r.majorCode = stream == protocol::StreamKind::kVideo ? 15 : 3;
  r.formatCode = stream == protocol::StreamKind::kVideo ? 1 : 5;
  r.clockTime = clock;
  r.allocator = {4, bufferSize, 1, 0};
  r.formatBlock = {1, 2, 3, 4};
  return r;
}

inline std::uint8_t FlagsFor(const std::vector<protocol::FormatRecord>& records) {
  std::uint8_t flags = 0;
  for (std::size_t i = 0; i < records.size(); ++i) flags |= static_cast<std::uint8_t>(1u << i);
  return flags;
}

inline Body Description(const std::vector<protocol::FormatRecord>& records) {
  return protocol::EncodeStreamDescription(FlagsFor(records), records);
}

inline Body AudioVideo(std::uint8_t session, std::int64_t clock = 0) {
  return Description({Record(protocol::StreamKind::kVideo, session, clock),
                      Record(protocol::StreamKind::kAudio, session, clock)});
}

struct SampleFields {
  protocol::StreamKind stream = protocol::StreamKind::kVideo;
  std::uint32_t flags = 0;
  std::int64_t start = 0;
  std::int64_t stop = 0;
  std::size_t dataSize = 8;
};

inline Body Sample(const SampleFields& s) {
  protocol::SampleProperties p;
  p.sampleFlags = s.flags;
  p.start = s.start;
  p.stop = s.stop;
  p.actualLength = static_cast<std::int32_t>(s.dataSize);
  std::vector<std::uint8_t> data(s.dataSize, 0x5A);
  auto message = protocol::SampleMessageBuffers::Make(s.stream, p, data);
  Body out;
  for (const protocol::Buffer& b : message->Buffers())
    out.insert(out.end(), b.data, b.data + b.length);
  return out;
}

inline Body VideoSample(std::uint32_t flags, std::int64_t start = 0) {
  return Sample({protocol::StreamKind::kVideo, flags, start, start, 8});
}
inline Body AudioSample(std::uint32_t flags = 0, std::int64_t start = 0) {
  return Sample({protocol::StreamKind::kAudio, flags, start, start, 8});
}

inline Body Segment(protocol::StreamKind stream, std::int64_t clock = 0) {
  auto bytes = protocol::EncodeSegmentStart({stream, clock});
  return Body(bytes.begin(), bytes.end());
}

inline void PutWord(Body& body, std::size_t offset, std::uint32_t word) {
  protocol::StoreU32(body.data() + offset, word);
}

}  // namespace vantorel::testing
