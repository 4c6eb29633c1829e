#include "sender/udp_broadcast_sink.h"

#include <array>
#include <chrono>
#include <thread>

#include "protocol/byte_io.h"

namespace vantorel::sender {

namespace {
constexpr int kReceiveBufferBytes = protocol::kSocketBufferBytes;
constexpr std::size_t kMaxGatherParts = 32;
}  // namespace

UdpBroadcastSink::UdpBroadcastSink(std::uint16_t port, std::uint32_t destination)
    : socket_(), destination_{destination, port} {
  if (!Open(port)) Close();
}

UdpBroadcastSink::~UdpBroadcastSink() {
  Close();
}

bool UdpBroadcastSink::Open(std::uint16_t port) {
  if (!socket_.Valid()) socket_ = net::UdpSocket();
  destination_.port = port;
  if (!socket_.Valid() || !socket_.SetBroadcast(true)) return false;
  maxMessageSize_ = net::kMaxUdpPayload;
  socket_.SetReceiveBuffer(kReceiveBufferBytes);
  return true;
}

void UdpBroadcastSink::Close() {
  socket_.Close();
}

int UdpBroadcastSink::Send(std::uint32_t key, protocol::BufferList buffers) {
  if (!socket_.Valid() || buffers.size() + 1 > kMaxGatherParts) return 0;
  std::array<std::uint8_t, 4> keyBytes{};
  protocol::StoreU32(keyBytes.data(), key);
  std::array<net::ConstBytes, kMaxGatherParts> parts{};
  parts[0] = {keyBytes.data(), keyBytes.size()};
  for (std::size_t i = 0; i < buffers.size(); ++i) {
    parts[i + 1] = {buffers[i].data, buffers[i].length};
  }
  const long sent = socket_.SendTo(destination_, {parts.data(), buffers.size() + 1});
  if (sent < 0) {
    sendErrors_.fetch_add(1, std::memory_order_relaxed);
  } else {
    datagrams_.fetch_add(1, std::memory_order_relaxed);
    bytes_.fetch_add(static_cast<std::uint64_t>(sent), std::memory_order_relaxed);
  }
  return 1;
}

void UdpBroadcastSink::SendEndOfBroadcast(int times, int gapMs) {
  static constexpr std::array<std::uint8_t, 4> kValue{};
  const protocol::Buffer value = protocol::MakeBuffer(kValue.data(), kValue.size());
  for (int i = 0; i < times; ++i) {
    if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
    Send(protocol::kRouteKeyEndOfBroadcast, {&value, 1});
  }
}

BroadcastStats UdpBroadcastSink::Stats() const {
  return BroadcastStats{datagrams_.load(), bytes_.load(), sendErrors_.load()};
}

}  // namespace vantorel::sender
