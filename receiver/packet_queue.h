// First-in first-out queue of whole messages between the reception thread (one producer) and a
// source pin's streaming thread (one consumer). Bounded in packets and in bytes: at the bound
// the oldest packets are dropped (and counted) to make room, so a consumer that stalls costs
// a fixed amount of memory and, when it resumes, plays the newest data.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

#include "receiver/bounded_fifo.h"

namespace vantorel::receiver {

using Packet = std::vector<std::uint8_t>;

struct PacketQueueLimits {
  std::size_t maxPackets = 2048;
  std::size_t maxBytes = 64u * 1024 * 1024;
};

struct PacketQueueStats {
  std::uint64_t pushed = 0;
  std::uint64_t popped = 0;
  std::uint64_t droppedOverflow = 0;  // oldest packets pushed out at the bound
  std::uint64_t droppedStopped = 0;   // pushed after Clear
  std::size_t depth = 0;
  std::size_t bytes = 0;
};

class PacketQueue {
 public:
  explicit PacketQueue(PacketQueueLimits limits = {});
  PacketQueue(const PacketQueue&) = delete;
  PacketQueue& operator=(const PacketQueue&) = delete;

  // Takes the packet; returns false (and frees it) once the queue is stopped. A packet larger
  // than the byte bound on its own is dropped.
  bool Push(Packet packet);

  // The oldest packet; blocks while the queue is empty and open. After Clear, and while
  // interrupted, it returns nothing at once.
  std::optional<Packet> Pop();

  // Non-blocking variant: nothing when empty.
  std::optional<Packet> TryPop();

  // Frees every packet and stops the queue for good; wakes a consumer blocked in Pop.
  void Clear();

  // Wakes a consumer blocked in Pop, and makes Pop return nothing until Resume; the packets
  // stay queued (a flush or a state change of the consumer, not the end of its stream).
  void Interrupt();
  void Resume();

  bool Stopped() const;
  PacketQueueStats Stats() const;

 private:
  static std::size_t SizeOf(const Packet& packet) { return packet.size(); }
  std::optional<Packet> TakeLocked();

  const std::size_t maxBytes_;
  mutable std::mutex lock_;
  std::condition_variable dataReady_;
  BoundedFifo<Packet, &SizeOf> packets_;
  bool stopped_ = false;
  bool interrupted_ = false;
  PacketQueueStats stats_;
};

}  // namespace vantorel::receiver
