#include "sender/udp_broadcast_sink.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <utility>

#include "protocol/byte_io.h"

namespace vantorel::sender {

namespace {
constexpr int kReceiveBufferBytes = protocol::kSocketBufferBytes;
constexpr std::size_t kMaxGatherParts = 32;
}  // namespace

UdpBroadcastSink::UdpBroadcastSink(std::uint16_t port, std::uint32_t destination)
    : UdpBroadcastSink(SinkOptions{port, destination}) {}

UdpBroadcastSink::UdpBroadcastSink(SinkOptions options)
    : socket_(), destination_{options.destination, options.port}, options_(std::move(options)) {
  if (!Open(options_.port)) Close();
}

UdpBroadcastSink::~UdpBroadcastSink() {
  Close();
}

bool UdpBroadcastSink::Open(std::uint16_t port) {
  if (!socket_.Valid()) socket_ = net::UdpSocket();
  destination_.port = port;
  if (!socket_.Valid() || !socket_.SetBroadcast(true)) {
    openError_ = std::string("cannot open a UDP socket: ") + std::strerror(errno);
    return false;
  }
  if (!Configure()) return false;
  openError_.clear();
  maxMessageSize_ = net::kMaxUdpPayload;
  socket_.SetReceiveBuffer(kReceiveBufferBytes);
  return true;
}

// The destination's socket options: the multicast hop limit and the interface to leave by.
bool UdpBroadcastSink::Configure() {
  const bool multicast = net::IsMulticast(destination_.address);
  if (multicast && !socket_.SetMulticastTtl(options_.multicastTtl)) {
    openError_ = "cannot set the multicast TTL to " + std::to_string(options_.multicastTtl) + ": " +
                 std::strerror(errno);
    return false;
  }
  if (options_.interfaceName.empty()) return true;
  const std::optional<net::NetworkInterface> device = net::FindInterface(options_.interfaceName);
  if (!device) {
    openError_ = "no network interface named " + options_.interfaceName;
    return false;
  }
  const bool bound =
      multicast ? socket_.SetMulticastInterface(device->index) : socket_.BindToDevice(device->name);
  if (!bound) {
    openError_ = (multicast ? "cannot send multicast through interface "
                            : "cannot bind the socket to interface ") +
                 device->name + ": " + std::strerror(errno);
    return false;
  }
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
