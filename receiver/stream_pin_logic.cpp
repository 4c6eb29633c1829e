#include "receiver/stream_pin_logic.h"

#include "protocol/byte_io.h"
#include "protocol/media_codes.h"
#include "protocol/saturating.h"
#include "protocol/wire_format.h"

namespace vantorel::receiver {
namespace {

constexpr std::uint8_t kSampleOffset = 3;
constexpr std::uint8_t kDataOffset = 4;
constexpr std::uint8_t kSegmentOffset = 5;

bool IsStreamKind(std::uint8_t kind) {
  return kind == kStreamKindVideo || kind == kStreamKindAudio || kind == kStreamKindThird;
}

// time - base + delay, or false when a step overflows (the sender's times and clock are
// whatever the wire says).
bool ShiftTime(std::int64_t& time, std::int64_t base, std::int64_t delay) {
  std::int64_t shifted = 0;
  if (__builtin_sub_overflow(time, base, &shifted) ||
      __builtin_add_overflow(shifted, delay, &shifted)) {
    return false;
  }
  time = shifted;
  return true;
}

}  // namespace

std::int64_t StreamPinLogic::WireTime(std::int64_t presented) const {
  return protocol::SaturatingAddSub(presented, timeBase_, delay_);
}

std::uint8_t StreamKindOfPacket(std::span<const std::uint8_t> packet) {
  if (packet.size() < protocol::kHeaderWordSize) return kStreamKindNone;
  const std::uint32_t word = protocol::LoadU32(packet.data());
  if (word >= 0x1F000000u) return kStreamKindThird;
  if (word >= 0x15000000u) return kStreamKindAudio;
  if (word >= 0x0B000000u) return kStreamKindVideo;
  return kStreamKindNone;
}

protocol::MediaType MediaTypeOfRecord(const protocol::FormatRecord& record) {
  protocol::MediaType type;
  type.majorType = protocol::MajorTypeGuid(record.majorCode);
  type.subtype = record.subtype;
  type.formatType = protocol::FormatTypeGuid(record.formatCode);
  type.fixedSizeSamples = (record.mediaFlags & protocol::kMediaFlagFixedSizeSamples) != 0;
  type.temporalCompression = (record.mediaFlags & protocol::kMediaFlagTemporalCompression) != 0;
  type.sampleSize = record.sampleSize;
  type.formatBlock = record.formatBlock;
  return type;
}

StreamPinLogic::StreamPinLogic(std::uint8_t kind, const protocol::FormatRecord& record,
                               std::int64_t delay)
    : kind_(IsStreamKind(kind) ? kind : kStreamKindNone),
      // Video waits for a key frame; every other stream plays from its first sample.
      synchronised_(kind_ != kStreamKindVideo && kind_ != kStreamKindNone),
      timeBase_(record.clockTime),
      delay_(delay),
      bufferSize_(record.allocator.bufferSize > 0
                      ? static_cast<std::uint32_t>(record.allocator.bufferSize)
                      : protocol::kMaxSampleData),
      allocator_(record.allocator),
      mediaType_(MediaTypeOfRecord(record)) {}

PinStep StreamPinLogic::Take(std::span<const std::uint8_t> packet, PinSample& sample) {
  const std::uint8_t kind = packet.size() >= protocol::kHeaderWordSize
                                ? protocol::HeaderKind(protocol::LoadU32(packet.data()))
                                : 0;
  if (kind_ == kStreamKindNone) {
    ++counters_.foreign;
    return PinStep::kSkip;
  }
  if (kind == kind_ + kSegmentOffset) {
    discontinuityPending_ = true;
    ++counters_.flushes;
    return PinStep::kFlush;
  }
  if (kind != kind_ + kSampleOffset) {
    ++counters_.foreign;
    return PinStep::kSkip;
  }
  return TakeSample(packet, sample);
}

PinStep StreamPinLogic::TakeSample(std::span<const std::uint8_t> packet, PinSample& sample) {
  protocol::ByteReader r(packet);
  const std::uint32_t head = r.U32();
  auto properties = r.Bytes(protocol::kSamplePropertiesSize);
  const std::uint32_t dataHead = r.U32();
  // The properties block is exactly 40 bytes and the data block of this stream follows it;
  // anything else ends the stream.
  if (!r.Ok() || protocol::HeaderLength(head) != protocol::kSamplePropertiesSize ||
      protocol::HeaderKind(dataHead) != kind_ + kDataOffset ||
      protocol::HeaderLength(dataHead) > r.Remaining()) {
    ++counters_.malformed;
    return PinStep::kEnd;
  }
  const std::uint32_t length = protocol::HeaderLength(dataHead);
  protocol::SampleProperties p =
      protocol::DecodeSampleProperties(properties.first<protocol::kSamplePropertiesSize>());
  if (!synchronised_) {
    if ((p.sampleFlags & protocol::kSampleSplicePoint) == 0) {
      ++counters_.unsynchronised;
      return PinStep::kSkip;
    }
    synchronised_ = true;
  }
  if (length > bufferSize_) {
    ++counters_.oversized;
    return PinStep::kSkip;
  }
  if (discontinuityPending_) {
    p.sampleFlags |= protocol::kSampleSplicePoint | protocol::kSampleDataDiscontinuity;
    discontinuityPending_ = false;
  }
  ApplyTimes(p);
  sample.properties = p;
  sample.data = r.Bytes(length);
  ++counters_.delivered;
  return PinStep::kDeliver;
}

void StreamPinLogic::ApplyTimes(protocol::SampleProperties& p) {
  if ((p.sampleFlags & protocol::kSampleTimeValid) == 0) return;
  if (!ShiftTime(p.start, timeBase_, delay_)) {
    p.sampleFlags &= ~(protocol::kSampleTimeValid | protocol::kSampleStopValid);
    ++counters_.untimed;
    return;
  }
  if ((p.sampleFlags & protocol::kSampleStopValid) != 0 && !ShiftTime(p.stop, timeBase_, delay_)) {
    p.sampleFlags &= ~protocol::kSampleStopValid;
    ++counters_.untimed;
  }
}

protocol::AllocatorProperties StreamPinLogic::DecideBufferSize() const {
  protocol::AllocatorProperties request = allocator_;
  request.buffers = 1;
  return request;
}

HRESULT StreamPinLogic::GetMediaType(int position, protocol::MediaType& type) const {
  if (position < 0) return E_INVALIDARG;
  if (position > 0) return VFW_S_NO_MORE_ITEMS;
  type = mediaType_;
  return S_OK;
}

HRESULT StreamPinLogic::CheckMediaType(const protocol::MediaType& type) const {
  const bool same = type.majorType == mediaType_.majorType && type.subtype == mediaType_.subtype &&
                    type.formatType == mediaType_.formatType &&
                    type.formatBlock == mediaType_.formatBlock;
  return same ? S_OK : E_INVALIDARG;
}

}  // namespace vantorel::receiver
