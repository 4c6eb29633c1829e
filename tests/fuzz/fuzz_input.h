// What the fuzzers read their input with: bytes taken one after another, zeros (and empty
// spans) once the input is used up.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

namespace vantorel::testing {

class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool Empty() const { return at_ >= size_; }
  std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  std::span<const std::uint8_t> Bytes(std::size_t n) {
    n = std::min(n, size_ - std::min(at_, size_));
    const std::span<const std::uint8_t> out(data_ + at_, n);
    at_ += n;
    return out;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

// Stops the run where an invariant does not hold.
inline void Check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace vantorel::testing
