// Test doubles shared by the protocol, sender and receiver tests: a sink that keeps a flat copy
// of every buffer list it is handed, and helpers to build byte vectors.
#pragma once

#include <cstdint>
#include <vector>

#include "protocol/buffer_list.h"
#include "protocol/packet_sink.h"

namespace vantorel::testing {

using Bytes = std::vector<std::uint8_t>;

inline Bytes Flatten(protocol::BufferList buffers) {
  Bytes out;
  for (const protocol::Buffer& b : buffers) {
    if (b.length != 0) out.insert(out.end(), b.data, b.data + b.length);
  }
  return out;
}

// Bytes 0, 1, 2, ... (mod 251, so that no period lines up with the datagram sizes).
inline Bytes Pattern(std::size_t n, std::uint8_t seed = 0) {
  Bytes out(n);
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>((i + seed) % 251);
  return out;
}

inline std::uint32_t WordAt(const Bytes& bytes, std::size_t offset) {
  return static_cast<std::uint32_t>(bytes.at(offset)) |
         (static_cast<std::uint32_t>(bytes.at(offset + 1)) << 8) |
         (static_cast<std::uint32_t>(bytes.at(offset + 2)) << 16) |
         (static_cast<std::uint32_t>(bytes.at(offset + 3)) << 24);
}

class RecordingSink : public protocol::PacketSink {
 public:
  struct Entry {
    std::uint32_t key = 0;
    std::size_t bufferCount = 0;
    Bytes bytes;
  };

  explicit RecordingSink(int result = 1) : result_(result) {}

  int Send(std::uint32_t key, protocol::BufferList buffers) override {
    entries.push_back(Entry{key, buffers.size(), Flatten(buffers)});
    return result_;
  }

  std::vector<Entry> entries;

 private:
  int result_;
};

}  // namespace vantorel::testing
