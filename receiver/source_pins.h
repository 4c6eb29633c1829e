// The portable half of the stream source filter: one pin per described stream, each with its
// packet queue (filled on the reception thread, emptied by the pin's streaming thread), its packet
// logic and whether anything downstream takes its stream.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "protocol/messages.h"
#include "receiver/packet_queue.h"
#include "receiver/stream_pin_logic.h"

namespace vantorel::receiver {

class SourcePin {
 public:
  SourcePin(std::uint8_t kind, protocol::FormatRecord record, std::int64_t delay,
            PacketQueueLimits limits);
  SourcePin(const SourcePin&) = delete;
  SourcePin& operator=(const SourcePin&) = delete;

  std::uint8_t Kind() const { return kind_; }
  const protocol::FormatRecord& Record() const { return record_; }
  PacketQueue& Queue() { return queue_; }
  const PacketQueue& Queue() const { return queue_; }
  // Used by the pin's streaming thread only while the graph runs; read by others only after
  // that thread has ended.
  StreamPinLogic& Logic() { return logic_; }
  const StreamPinLogic& Logic() const { return logic_; }

  // Set by the media layer once the pin has a decoder downstream, cleared when its stream
  // stops for good; read on the reception thread when routing.
  void SetConnected(bool connected) { connected_.store(connected); }
  bool Connected() const { return connected_.load(); }

  // Reception thread: packets refused because nothing downstream would take them.
  std::uint64_t DroppedUnconnected() const { return droppedUnconnected_; }
  void CountUnconnected() { ++droppedUnconnected_; }

 private:
  const std::uint8_t kind_;
  const protocol::FormatRecord record_;
  PacketQueue queue_;
  StreamPinLogic logic_;
  std::atomic<bool> connected_{false};
  std::uint64_t droppedUnconnected_ = 0;
};

enum class RouteResult { kQueued, kNoStream, kUnconnected, kQueueStopped };

class SourcePins {
 public:
  // Nothing when the description names no stream, or its stream flags count other than its
  // records.
  static std::unique_ptr<SourcePins> Make(const protocol::StreamDescription& description,
                                          std::int64_t delay, PacketQueueLimits limits = {});

  std::size_t Count() const { return pins_.size(); }
  SourcePin& Pin(std::size_t index) { return *pins_[index]; }
  const SourcePin& Pin(std::size_t index) const { return *pins_[index]; }

  // Reception thread: copies the message body into a packet for the first pin of its stream kind.
  RouteResult RoutePacket(std::span<const std::uint8_t> body);
  // Reception thread: frees every queued packet and stops every queue, waking the streaming
  // threads.
  void ClearQueues();

 private:
  std::vector<std::unique_ptr<SourcePin>> pins_;
};

}  // namespace vantorel::receiver
