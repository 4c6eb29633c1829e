// Feeds a stream of datagrams to the reassembler. The input is split into datagrams by a
// two-byte little-endian length in front of each; delivered bodies are read in full so that
// the sanitizers see any byte outside the buffer.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "receiver/reassembler.h"

namespace {

class Reader : public vantorel::protocol::PacketSink {
 public:
  int Send(std::uint32_t, vantorel::protocol::BufferList buffers) override {
    for (const auto& b : buffers) {
      for (std::uint32_t i = 0; i < b.length; ++i) sum_ += b.data[i];
    }
    return 1;
  }
  unsigned sum_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Reader reader;
  // Small cap so that the fuzzer reaches the limits quickly.
  vantorel::receiver::Reassembler reassembler(1 << 16);
  reassembler.AddRoute(0, &reader);
  std::size_t offset = 0;
  while (offset + 2 <= size) {
    std::size_t length = data[offset] | (static_cast<std::size_t>(data[offset + 1]) << 8);
    offset += 2;
    if (length > size - offset) length = size - offset;
    // Copy to an exact-size heap buffer so that any read past the datagram is caught.
    std::vector<std::uint8_t> datagram(data + offset, data + offset + length);
    const auto b = vantorel::protocol::MakeBuffer(datagram.data(), datagram.size());
    reassembler.Send(1, {&b, 1});
    offset += length;
  }
  reassembler.RemoveRoute(0, &reader);
  return 0;
}
