#include "receiver/datagram_queue.h"

namespace vantorel::receiver {

DatagramQueue::DatagramQueue(DatagramQueueLimits limits)
    : datagrams_(limits.maxDatagrams, limits.maxBytes) {}

bool DatagramQueue::Push(Datagram datagram) {
  std::vector<Datagram> one;
  one.push_back(std::move(datagram));
  return Push(one);
}

bool DatagramQueue::Push(std::vector<Datagram>& batch) {
  std::lock_guard guard(lock_);
  for (Datagram& d : batch) stats_.droppedOverflow += datagrams_.PushDroppingOldest(std::move(d));
  stats_.pushed += batch.size();
  batch.clear();
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
  wakeNeeded_ = true;
  return datagrams_.TakeAll();
}

DatagramQueueStats DatagramQueue::Stats() const {
  std::lock_guard guard(lock_);
  DatagramQueueStats s = stats_;
  s.depth = datagrams_.Size();
  s.bytes = datagrams_.Bytes();
  return s;
}

}  // namespace vantorel::receiver
