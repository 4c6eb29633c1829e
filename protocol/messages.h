// Readers and writers for the blocks that message bodies carry: stream descriptions with
// their format records, sample messages and segment starts. Readers treat every byte as
// untrusted: lengths are checked against the body before anything is read.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "protocol/buffer_list.h"
#include "protocol/guid.h"
#include "protocol/wire_format.h"

namespace vantorel::protocol {

// The third kind is received from peers (its records and samples have kinds 31 to 36); our
// sender sends video and audio only.
enum class StreamKind : std::uint8_t { kVideo, kAudio, kThird };

struct AllocatorProperties {
  std::int32_t buffers = 0;
  std::int32_t bufferSize = 0;
  std::int32_t alignment = 0;
  std::int32_t prefix = 0;
  friend bool operator==(const AllocatorProperties&, const AllocatorProperties&) = default;
};

inline constexpr std::uint8_t kMediaFlagFixedSizeSamples = 0x01;
inline constexpr std::uint8_t kMediaFlagTemporalCompression = 0x02;

struct FormatRecord {
  StreamKind stream = StreamKind::kVideo;
  Guid subtype;
  std::uint8_t session = 0;
  std::uint8_t majorCode = 0;
  std::uint8_t formatCode = 0;
  std::uint8_t mediaFlags = 0;
  std::uint32_t sampleSize = 0;
  std::uint32_t reserved = 0;
  std::int64_t clockTime = 0;
  AllocatorProperties allocator;
  std::vector<std::uint8_t> formatBlock;
  friend bool operator==(const FormatRecord&, const FormatRecord&) = default;
};

// The largest number of streams one description may carry.
inline constexpr std::size_t kMaxDescribedStreams = 8;

struct StreamDescription {
  std::uint8_t streamFlags = 0;
  std::vector<FormatRecord> records;
};

struct SampleProperties {
  std::uint32_t typeSpecificFlags = 0;
  std::uint32_t sampleFlags = 0;
  std::int32_t actualLength = 0;
  std::uint32_t reserved = 0;
  std::int64_t start = 0;
  std::int64_t stop = 0;
  std::uint32_t streamId = 0;
  std::int32_t bufferSize = 0;
  friend bool operator==(const SampleProperties&, const SampleProperties&) = default;
};

struct SampleMessageView {
  StreamKind stream = StreamKind::kVideo;
  SampleProperties properties;
  std::span<const std::uint8_t> data;  // points into the parsed body
};

struct SegmentStart {
  StreamKind stream = StreamKind::kVideo;
  std::int64_t clockTime = 0;
};

enum class MessageKind { kStreamDescription, kSample, kSegmentStart, kUnknown };

// What a body is, from the kind byte of its first header word.
MessageKind ClassifyMessage(std::span<const std::uint8_t> body);

// 60 + F bytes; empty when the record cannot be expressed (a block length past 24 bits).
std::vector<std::uint8_t> EncodeFormatRecord(const FormatRecord& record);
// Parses one record that fills `bytes` exactly.
std::optional<FormatRecord> ParseFormatRecord(std::span<const std::uint8_t> bytes);

// The whole description body; empty when the records total 65,536 bytes or more, or more
// than kMaxDescribedStreams are given.
std::vector<std::uint8_t> EncodeStreamDescription(std::uint8_t streamFlags,
                                                  const std::vector<FormatRecord>& records);
std::optional<StreamDescription> ParseStreamDescription(std::span<const std::uint8_t> body);

std::array<std::uint8_t, kSamplePropertiesSize> EncodeSampleProperties(const SampleProperties& p);
SampleProperties DecodeSampleProperties(std::span<const std::uint8_t, kSamplePropertiesSize> bytes);
std::optional<SampleMessageView> ParseSampleMessage(std::span<const std::uint8_t> body);

std::array<std::uint8_t, kSegmentStartSize> EncodeSegmentStart(const SegmentStart& segment);
std::optional<SegmentStart> ParseSegmentStart(std::span<const std::uint8_t> body);

// A sample message as the buffer list the sender hands to its multiplexer: header word,
// properties block, data header word and the sample's own bytes (borrowed, never copied).
// The list points into this object, so it stays in place while the list is in use.
class SampleMessageBuffers {
 public:
  // Fails for data of 2^24 bytes or more, which the data header word cannot express.
  static std::optional<SampleMessageBuffers> Make(StreamKind stream, const SampleProperties& p,
                                                  std::span<const std::uint8_t> data);
  BufferList Buffers();

 private:
  SampleMessageBuffers() = default;
  std::array<std::uint8_t, 4> head_{};
  std::array<std::uint8_t, kSamplePropertiesSize> properties_{};
  std::array<std::uint8_t, 4> dataHead_{};
  std::span<const std::uint8_t> data_;
  std::array<Buffer, 4> list_{};
};

BlockKind FormatRecordKind(StreamKind s);
BlockKind SamplePropertiesKind(StreamKind s);
BlockKind SampleDataKind(StreamKind s);
BlockKind SegmentStartKind(StreamKind s);

}  // namespace vantorel::protocol
