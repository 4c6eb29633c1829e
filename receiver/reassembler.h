// Rebuilds whole messages from the datagrams of one sender, one message at a time, and hands
// each complete body to its routes under the message's channel word. Runs on one thread.
#pragma once

#include <cstdint>
#include <vector>

#include "protocol/packet_sink.h"
#include "protocol/wire_format.h"

namespace vantorel::receiver {

// Why datagrams were not taken (each counts one datagram) and what became of messages.
struct ReassemblyStats {
  std::uint64_t datagrams = 0;
  std::uint64_t delivered = 0;     // messages handed to the routes
  std::uint64_t repeated = 0;      // fragments seen twice, ignored
  std::uint64_t lostFragment = 0;  // a fragment after a gap, or without its fragment 0
  std::uint64_t oversized = 0;     // announced length above the system's largest message
  std::uint64_t malformed = 0;     // too short for its header, or bytes past the announcement
  std::uint64_t incomplete = 0;    // last fragment arrived with fewer bytes than announced
  std::uint64_t abandoned = 0;     // messages cut short by a new message number
  std::uint64_t bytes = 0;         // of every datagram taken in, headers included
  // Messages never delivered: those begun and not finished, and the numbers skipped over
  // (a jump of kCountedGap or more is a new numbering, not a loss).
  std::uint64_t lostMessages = 0;
  std::uint64_t Dropped() const { return lostFragment + oversized + malformed + incomplete; }

  ReassemblyStats& operator+=(const ReassemblyStats& b) {
    datagrams += b.datagrams;
    delivered += b.delivered;
    repeated += b.repeated;
    lostFragment += b.lostFragment;
    oversized += b.oversized;
    malformed += b.malformed;
    incomplete += b.incomplete;
    abandoned += b.abandoned;
    bytes += b.bytes;
    lostMessages += b.lostMessages;
    return *this;
  }
};

class Reassembler : public protocol::PacketSink {
 public:
  static constexpr std::uint32_t kCountedGap = 4096;

  explicit Reassembler(std::uint32_t maxMessage = protocol::kMaxMessageLength);

  // One datagram payload (after the route key) as the first buffer of the list. Returns 1 when
  // the datagram was taken, 0 when dropped. The caller keeps the datagram.
  int Send(std::uint32_t key, protocol::BufferList buffers) override;

  // Datagrams were dropped on purpose before reaching here: the next message number starts the
  // loss count afresh. May be called from inside a route's Send.
  void Resync() {
    numbered_ = false;
    currentCounts_ = false;
  }

  // The number of the message being assembled or, inside a route's Send, being delivered.
  std::uint32_t CurrentMessageNumber() const { return current_; }
  const ReassemblyStats& Stats() const { return stats_; }

 private:
  enum class Outcome { kDropped, kRepeated, kTaken };
  void Discard();
  void StartNumber(std::uint32_t number);
  Outcome Drop(std::uint64_t& reason);
  Outcome TakeFirst(const std::uint8_t* body, std::uint32_t bodyLength);
  Outcome Append(std::uint32_t index, const std::uint8_t* body, std::uint32_t bodyLength);
  int Complete();

  std::uint32_t maxMessage_;
  std::uint32_t current_ = 0xFFFFFFFFu;
  bool assembling_ = false;
  bool completed_ = false;      // the current number was delivered: later copies are repeats
  bool numbered_ = false;       // a message number was seen
  bool currentCounts_ = false;  // the current number counts as lost if left unfinished
  std::uint32_t newest_ = 0;    // the highest number seen, in sequence order
  std::uint32_t channel_ = 0;
  std::uint32_t announced_ = 0;
  std::uint32_t lastTaken_ = 0;
  // Holds the bytes that arrived (never more than the announced length, itself capped).
  std::vector<std::uint8_t> message_;
  ReassemblyStats stats_;
};

}  // namespace vantorel::receiver
