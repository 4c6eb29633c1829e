// A first-in first-out list bounded in items and in bytes, which makes room by dropping its
// oldest items. Not locked: the queues that own one guard it with their own lock.
#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <utility>

namespace vantorel::receiver {

// `SizeOf` gives an item's size in bytes.
template <typename T, std::size_t (*SizeOf)(const T&)>
class BoundedFifo {
 public:
  BoundedFifo(std::size_t maxItems, std::size_t maxBytes)
      : maxItems_(maxItems), maxBytes_(maxBytes) {}

  // Appends the item after dropping the oldest items until it fits both bounds; returns how
  // many were dropped. An item larger than the byte bound on its own is kept, alone.
  std::size_t PushDroppingOldest(T item) {
    std::size_t dropped = 0;
    while (!items_.empty() && (items_.size() >= maxItems_ || bytes_ + SizeOf(item) > maxBytes_)) {
      bytes_ -= SizeOf(items_.front());
      items_.pop_front();
      ++dropped;
    }
    bytes_ += SizeOf(item);
    items_.push_back(std::move(item));
    return dropped;
  }

  std::optional<T> PopFront() {
    if (items_.empty()) return std::nullopt;
    T item = std::move(items_.front());
    items_.pop_front();
    bytes_ -= SizeOf(item);
    return item;
  }

  // Every item, oldest first; the list is empty afterwards.
  std::deque<T> TakeAll() {
    std::deque<T> all;
    all.swap(items_);
    bytes_ = 0;
    return all;
  }

  bool Empty() const { return items_.empty(); }
  std::size_t Size() const { return items_.size(); }
  std::size_t Bytes() const { return bytes_; }

 private:
  const std::size_t maxItems_;
  const std::size_t maxBytes_;
  std::deque<T> items_;
  std::size_t bytes_ = 0;
};

}  // namespace vantorel::receiver
