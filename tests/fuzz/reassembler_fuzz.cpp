// Feeds a stream of datagrams through the parity stage to the reassembler. The input is split
// into datagrams by a two-byte little-endian word in front of each: its low 15 bits are the
// length, its top bit makes the datagram a parity one. Each datagram comes 5 ms after the one
// before. Delivered bodies are read in full so that the sanitizers see any byte outside the
// buffer.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "receiver/fec_receiver.h"
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
  vantorel::receiver::FecReceiver fec([&](std::span<const std::uint8_t> payload) {
    std::vector<std::uint8_t> exact(payload.begin(), payload.end());
    const auto b = vantorel::protocol::MakeBuffer(exact.data(), exact.size());
    reassembler.Send(1, {&b, 1});
  });
  auto now = vantorel::receiver::FecReceiver::Clock::time_point{};
  std::size_t offset = 0;
  while (offset + 2 <= size) {
    const std::size_t word = data[offset] | (static_cast<std::size_t>(data[offset + 1]) << 8);
    offset += 2;
    std::size_t length = word & 0x7FFF;
    if (length > size - offset) length = size - offset;
    // Copy to an exact-size heap buffer so that any read past the datagram is caught.
    std::vector<std::uint8_t> datagram(data + offset, data + offset + length);
    now += std::chrono::milliseconds(5);
    if ((word & 0x8000) != 0) {
      fec.OnParity(datagram, now);
    } else {
      fec.OnMedia(datagram, now);
    }
    offset += length;
  }
  fec.Tick(now + std::chrono::seconds(1));
  // A sender walking through group shapes must not make the codes kept grow.
  if (fec.CachedCodes() > vantorel::receiver::FecReceiver::kMaxCodes) __builtin_trap();
  reassembler.RemoveRoute(0, &reader);
  return 0;
}
