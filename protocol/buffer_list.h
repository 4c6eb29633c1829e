// A borrowed (length, pointer) pair: the element of the buffer lists that travel along the
// packet chain. The lists never own the bytes they point at.
#pragma once

#include <cstddef>
#include <cstdint>
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

}  // namespace vantorel::protocol
