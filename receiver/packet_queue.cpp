#include "receiver/packet_queue.h"

namespace vantorel::receiver {

PacketQueue::PacketQueue(PacketQueueLimits limits)
    : maxBytes_(limits.maxBytes), packets_(limits.maxPackets, limits.maxBytes) {}

bool PacketQueue::Push(Packet packet) {
  {
    std::lock_guard guard(lock_);
    if (stopped_) {
      ++stats_.droppedStopped;
      return false;
    }
    if (packet.size() > maxBytes_) {
      ++stats_.droppedOverflow;
      return false;
    }
    stats_.droppedOverflow += packets_.PushDroppingOldest(std::move(packet));
    ++stats_.pushed;
  }
  dataReady_.notify_one();
  return true;
}

std::optional<Packet> PacketQueue::TakeLocked() {
  std::optional<Packet> packet = packets_.PopFront();
  if (packet) ++stats_.popped;
  return packet;
}

std::optional<Packet> PacketQueue::Pop() {
  std::unique_lock guard(lock_);
  dataReady_.wait(guard, [this] { return stopped_ || interrupted_ || !packets_.Empty(); });
  if (stopped_ || interrupted_) return std::nullopt;
  return TakeLocked();
}

std::optional<Packet> PacketQueue::TryPop() {
  std::lock_guard guard(lock_);
  if (stopped_) return std::nullopt;
  return TakeLocked();
}

void PacketQueue::Clear() {
  std::deque<Packet> freed;
  {
    std::lock_guard guard(lock_);
    freed = packets_.TakeAll();
    stopped_ = true;
  }
  dataReady_.notify_all();
}

void PacketQueue::Interrupt() {
  {
    std::lock_guard guard(lock_);
    interrupted_ = true;
  }
  dataReady_.notify_all();
}

void PacketQueue::Resume() {
  std::lock_guard guard(lock_);
  interrupted_ = false;
}

bool PacketQueue::Stopped() const {
  std::lock_guard guard(lock_);
  return stopped_;
}

PacketQueueStats PacketQueue::Stats() const {
  std::lock_guard guard(lock_);
  PacketQueueStats s = stats_;
  s.depth = packets_.Size();
  s.bytes = packets_.Bytes();
  return s;
}

}  // namespace vantorel::receiver
