// Datagrams on their way from the receive thread (one producer) to the reception thread (one
// consumer). The consumer is woken once per batch, not once per datagram: Push says when the
// consumer must be told (nothing was waiting since its last TakeAll), and TakeAll hands every
// queued datagram over and arms the next wake-up. Bounded in datagrams and in payload bytes: at
// the bound the oldest datagrams are freed (and counted), so a consumer that falls behind costs a
// fixed amount of memory and, when it catches up, goes on with the newest data.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "protocol/wire_format.h"
#include "receiver/bounded_fifo.h"

namespace vantorel::receiver {

// What a queued datagram is, by its route key.
enum class DatagramKind : std::uint8_t {
  kMedia,
  kParity,
  kSignature,
  kEndOfBroadcast,
  kAnnouncement
};

// The route key a datagram of that kind came under.
constexpr std::uint32_t RouteKeyOf(DatagramKind kind) {
  switch (kind) {
    case DatagramKind::kParity:
      return protocol::kRouteKeyParity;
    case DatagramKind::kSignature:
      return protocol::kRouteKeySignature;
    case DatagramKind::kEndOfBroadcast:
      return protocol::kRouteKeyEndOfBroadcast;
    case DatagramKind::kAnnouncement:
      return protocol::kRouteKeyAnnouncement;
    case DatagramKind::kMedia:
      break;
  }
  return protocol::kRouteKeyMedia;
}

// Where a datagram came from: IPv4 address and port, in host order.
struct DatagramSource {
  std::uint32_t address = 0;
  std::uint16_t port = 0;
  friend bool operator==(const DatagramSource&, const DatagramSource&) = default;
};

// Who may take the lock: anyone (the first sender heard), only one sender (a port of 0 stands
// for every port of its address), or nobody yet (the one chosen has not been heard of).
struct SenderPreference {
  enum class Mode : std::uint8_t { kAnyone, kOnly, kNobody };
  Mode mode = Mode::kAnyone;
  DatagramSource only;

  static SenderPreference Only(const DatagramSource& source) { return {Mode::kOnly, source}; }
  static SenderPreference Nobody() { return {Mode::kNobody, {}}; }
  bool Allows(const DatagramSource& source) const {
    if (mode == Mode::kAnyone) return true;
    if (mode == Mode::kNobody) return false;
    return source.address == only.address && (only.port == 0 || source.port == only.port);
  }
  friend bool operator==(const SenderPreference&, const SenderPreference&) = default;
};

// One datagram's payload (after the route key); the queue and then the taker own it.
struct Datagram {
  std::unique_ptr<std::uint8_t[]> payload;
  std::size_t length = 0;
  DatagramKind kind = DatagramKind::kMedia;
  // When the receive thread took it off the socket: waits are judged by arrival, not by when
  // a busy consumer reached it.
  std::chrono::steady_clock::time_point arrived{};
  DatagramSource source;
};

struct DatagramQueueLimits {
  // About 12 MB of receive buffers, several seconds of the broadcasts we carry.
  std::size_t maxDatagrams = 8192;
  std::size_t maxBytes = 8u * 1024 * 1024;
};

struct DatagramQueueStats {
  std::uint64_t pushed = 0;
  std::uint64_t taken = 0;
  std::uint64_t droppedOverflow = 0;  // oldest datagrams freed at the bound
  std::uint64_t droppedCleared = 0;   // freed by Clear (what was left of an ended broadcast)
  std::size_t depth = 0;
  std::size_t bytes = 0;
};

class DatagramQueue {
 public:
  explicit DatagramQueue(DatagramQueueLimits limits = {});
  DatagramQueue(const DatagramQueue&) = delete;
  DatagramQueue& operator=(const DatagramQueue&) = delete;

  // Takes the datagram. True when the consumer has to be woken for it. Called on the producer's
  // thread.
  bool Push(Datagram datagram);
  // Takes the whole batch, in order, under one lock; the batch is left empty.
  bool Push(std::vector<Datagram>& batch);

  // Every queued datagram, oldest first; the next Push wakes the consumer again.
  std::deque<Datagram> TakeAll();

  // Frees every queued datagram; the next Push wakes the consumer again, so a wake-up that was
  // lost on the way (an event the consumer never took) cannot stall the queue.
  void Clear();

  DatagramQueueStats Stats() const;

 private:
  static std::size_t SizeOf(const Datagram& datagram) { return datagram.length; }
  std::deque<Datagram> EmptyLocked();

  mutable std::mutex lock_;
  BoundedFifo<Datagram, &SizeOf> datagrams_;
  bool wakeNeeded_ = true;
  DatagramQueueStats stats_;
};

}  // namespace vantorel::receiver
