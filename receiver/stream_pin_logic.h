// What a source pin does with the packets of its stream, free of any media framework: the
// stream kinds it answers to, holding video back until a splice point, flushing on a segment
// start, marking discontinuities, moving the sender's clock times onto the receiver's stream
// time, and refusing packets that are malformed or larger than the pin's buffers.
// One object per pin; after construction it is used by the pin's streaming thread only.
#pragma once

#include <cstdint>
#include <span>

#include "protocol/media_type.h"
#include "protocol/messages.h"
#include "protocol/result.h"
#include "receiver/packet_queue.h"

namespace vantorel::receiver {

// Stream kinds K of the format records; a pin answers to K + 3 (sample message), K + 4 (sample
// data block) and K + 5 (segment start).
inline constexpr std::uint8_t kStreamKindVideo = 11;
inline constexpr std::uint8_t kStreamKindAudio = 21;
inline constexpr std::uint8_t kStreamKindThird = 31;
inline constexpr std::uint8_t kStreamKindNone = 0;

// The stream kind that a packet's first header word routes it to; kStreamKindNone below 11.
std::uint8_t StreamKindOfPacket(std::span<const std::uint8_t> packet);

// One sample ready for delivery downstream: properties with the pin's flags and times applied,
// and the data bytes inside the packet that was taken.
struct PinSample {
  protocol::SampleProperties properties;
  std::span<const std::uint8_t> data;
};

enum class PinStep {
  kDeliver,  // a sample is ready
  kFlush,    // a segment started: flush downstream, then take the next packet
  kSkip,     // the packet was not for delivery: take the next one
  kEnd,      // the stream cannot go on (malformed sample message): end it
};

struct PinCounters {
  std::uint64_t delivered = 0;
  std::uint64_t flushes = 0;
  std::uint64_t unsynchronised = 0;  // video samples before the first splice point
  std::uint64_t foreign = 0;         // packets of a kind this pin does not use
  std::uint64_t malformed = 0;
  std::uint64_t oversized = 0;  // data larger than the pin's buffers
  std::uint64_t untimed = 0;    // samples sent without a time that overflowed
};

class StreamPinLogic {
 public:
  // `delay` (100 ns units) is added to every valid time, after moving it onto stream time. A
  // time that cannot be moved without overflow is dropped from the sample (its valid flag
  // cleared; the stop goes with the start) and the sample is still delivered.
  StreamPinLogic(std::uint8_t kind, const protocol::FormatRecord& record, std::int64_t delay);

  // Looks at one packet taken from the pin's queue. For kDeliver, `sample` refers into
  // `packet`, which the caller keeps until it has copied the data.
  PinStep Take(std::span<const std::uint8_t> packet, PinSample& sample);

  std::uint8_t Kind() const { return kind_; }
  bool Synchronised() const { return synchronised_; }
  const protocol::MediaType& MediaType() const { return mediaType_; }
  std::int64_t TimeBase() const { return timeBase_; }
  std::int64_t Delay() const { return delay_; }
  // The time on the wire of a sample presented at `presented` (100 ns units, stream time): the
  // move undone, saturated at the ends of the range (the wire's times may be anything).
  std::int64_t WireTime(std::int64_t presented) const;
  // The largest sample the pin's buffers hold: the allocator buffer size the sender
  // negotiated, or the wire's largest sample when it announced none.
  std::uint32_t BufferSize() const { return bufferSize_; }
  // The allocator request: the sender's properties with one buffer.
  protocol::AllocatorProperties DecideBufferSize() const;
  const PinCounters& Counters() const { return counters_; }

  // Position 0 is the pin's one media type.
  HRESULT GetMediaType(int position, protocol::MediaType& type) const;
  // kOk only for the pin's own media type (major type, subtype, format type, format block).
  HRESULT CheckMediaType(const protocol::MediaType& type) const;

 private:
  PinStep TakeSample(std::span<const std::uint8_t> packet, PinSample& sample);
  void ApplyTimes(protocol::SampleProperties& p);

  std::uint8_t kind_;
  bool synchronised_;
  bool discontinuityPending_ = true;
  std::int64_t timeBase_;
  std::int64_t delay_;
  std::uint32_t bufferSize_;
  protocol::AllocatorProperties allocator_;
  protocol::MediaType mediaType_;
  PinCounters counters_;
};

// The media type a format record describes, with the codes turned back into GUIDs.
protocol::MediaType MediaTypeOfRecord(const protocol::FormatRecord& record);

}  // namespace vantorel::receiver
