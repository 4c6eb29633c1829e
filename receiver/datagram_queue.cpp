#include "receiver/datagram_queue.h"

namespace vantorel::receiver {

DatagramQueue::DatagramQueue(DatagramQueueLimits limits) : limits_(limits) {}

bool DatagramQueue::Push(Datagram datagram) {
  std::lock_guard guard(lock_);
  bytes_ += datagram.length;
  datagrams_.push_back(std::move(datagram));
  ++stats_.pushed;
  while (datagrams_.size() > limits_.maxDatagrams ||
         (bytes_ > limits_.maxBytes && datagrams_.size() > 1)) {
    bytes_ -= datagrams_.front().length;
    datagrams_.pop_front();
    ++stats_.droppedOverflow;
  }
  const bool wake = wakeNeeded_;
  wakeNeeded_ = false;
  return wake;
}

std::deque<Datagram> DatagramQueue::TakeAll() {
  std::lock_guard guard(lock_);
  std::deque<Datagram> taken = EmptyLocked();
  stats_.taken += taken.size();
  return taken;
}

void DatagramQueue::Clear() {
  std::deque<Datagram> freed;
  std::lock_guard guard(lock_);
  freed = EmptyLocked();
  stats_.droppedCleared += freed.size();
}

// Every queued datagram, handed out; the next Push wakes the consumer.
std::deque<Datagram> DatagramQueue::EmptyLocked() {
  std::deque<Datagram> all;
  all.swap(datagrams_);
  bytes_ = 0;
  wakeNeeded_ = true;
  return all;
}

DatagramQueueStats DatagramQueue::Stats() const {
  std::lock_guard guard(lock_);
  DatagramQueueStats s = stats_;
  s.depth = datagrams_.size();
  s.bytes = bytes_;
  return s;
}

}  // namespace vantorel::receiver
