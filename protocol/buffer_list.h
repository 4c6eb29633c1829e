// A borrowed (length, pointer) pair: the element of the buffer lists that travel along the
// packet chain. The lists never own the bytes they point at.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace vantorel::protocol {

struct Buffer {
  std::uint32_t length = 0;
  const std::uint8_t* data = nullptr;
};

using BufferList = std::span<const Buffer>;

inline Buffer MakeBuffer(const void* data, std::size_t length) {
  return Buffer{static_cast<std::uint32_t>(length), static_cast<const std::uint8_t*>(data)};
}

inline std::uint64_t TotalLength(BufferList buffers) {
  std::uint64_t total = 0;
  for (const Buffer& b : buffers) total += b.length;
  return total;
}

// Copies the first out.size() bytes of the list into out (fewer when the list is shorter);
// returns how many were copied.
inline std::size_t CopyPrefix(BufferList buffers, std::span<std::uint8_t> out) {
  std::size_t used = 0;
  for (const Buffer& b : buffers) {
    if (used == out.size()) break;
    const std::size_t n = std::min<std::size_t>(b.length, out.size() - used);
    std::memcpy(out.data() + used, b.data, n);
    used += n;
  }
  return used;
}

}  // namespace vantorel::protocol
