#include "receiver/packet_queue.h"

namespace vantorel::receiver {

PacketQueue::PacketQueue(PacketQueueLimits limits) : limits_(limits) {}

bool PacketQueue::Push(Packet packet) {
  {
    std::lock_guard guard(lock_);
    if (stopped_) {
      ++stats_.droppedStopped;
      return false;
    }
    if (packet.size() > limits_.maxBytes) {
      ++stats_.droppedOverflow;
      return false;
    }
    while (!packets_.empty() &&
           (packets_.size() >= limits_.maxPackets || bytes_ + packet.size() > limits_.maxBytes)) {
      bytes_ -= packets_.front().size();
      packets_.pop_front();
      ++stats_.droppedOverflow;
    }
    bytes_ += packet.size();
    packets_.push_back(std::move(packet));
    ++stats_.pushed;
  }
  dataReady_.notify_one();
  return true;
}

std::optional<Packet> PacketQueue::TakeLocked() {
  if (packets_.empty()) return std::nullopt;
  Packet p = std::move(packets_.front());
  packets_.pop_front();
  bytes_ -= p.size();
  ++stats_.popped;
  return p;
}

std::optional<Packet> PacketQueue::Pop() {
  std::unique_lock guard(lock_);
  dataReady_.wait(guard, [this] { return stopped_ || !packets_.empty(); });
  if (stopped_) return std::nullopt;
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
    freed.swap(packets_);
    bytes_ = 0;
    stopped_ = true;
  }
  dataReady_.notify_all();
}

bool PacketQueue::Stopped() const {
  std::lock_guard guard(lock_);
  return stopped_;
}

PacketQueueStats PacketQueue::Stats() const {
  std::lock_guard guard(lock_);
  PacketQueueStats s = stats_;
  s.depth = packets_.size();
  s.bytes = bytes_;
  return s;
}

}  // namespace vantorel::receiver
