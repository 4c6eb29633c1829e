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
    : socket_(),
      destination_{options.destination, options.port},
      options_(std::move(options)),
      segmentation_(options_.segmentation) {
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
  Count(sent, sent < 0 ? 0 : 1, sent < 0 ? 1 : 0);
  return 1;
}

void UdpBroadcastSink::Count(long sentBytes, std::size_t datagrams, std::size_t failed) {
  calls_.fetch_add(1, std::memory_order_relaxed);
  if (sentBytes > 0) bytes_.fetch_add(static_cast<std::uint64_t>(sentBytes));
  if (datagrams != 0) datagrams_.fetch_add(datagrams, std::memory_order_relaxed);
  if (failed != 0) sendErrors_.fetch_add(failed, std::memory_order_relaxed);
}

int UdpBroadcastSink::SendBatch(std::uint32_t key, std::span<const protocol::BufferList> lists) {
  if (!socket_.Valid()) return 0;
  std::array<std::uint8_t, 4> keyBytes{};
  protocol::StoreU32(keyBytes.data(), key);
  std::size_t next = 0;
  while (next < lists.size()) {
    // A run: datagrams of the first one's size, ended by a shorter one or by what one call
    // may carry.
    const std::size_t size = 4 + protocol::TotalLength(lists[next]);
    std::size_t count = 1, bytes = size, parts = 1 + lists[next].size();
    while (next + count < lists.size() && count < net::kMaxSegments) {
      const protocol::BufferList list = lists[next + count];
      const std::size_t length = 4 + protocol::TotalLength(list);
      if (length > size || bytes + length > net::kMaxUdpPayload ||
          parts + 1 + list.size() > net::kMaxBatchParts) {
        break;
      }
      ++count;
      bytes += length;
      parts += 1 + list.size();
      if (length < size) break;
    }
    SendRun(keyBytes, lists.subspan(next, count), size);
    next += count;
  }
  return static_cast<int>(lists.size());
}

void UdpBroadcastSink::SendRun(std::span<const std::uint8_t, 4> key,
                               std::span<const protocol::BufferList> run, std::size_t size) {
  if (run.size() == 1 || !segmentation_.load(std::memory_order_relaxed)) {
    SendOneByOne(key, run);
    return;
  }
  std::array<net::ConstBytes, net::kMaxBatchParts> parts;
  std::size_t used = 0;
  for (const protocol::BufferList& list : run) {
    parts[used++] = {key.data(), key.size()};
    for (const protocol::Buffer& b : list) parts[used++] = {b.data, b.length};
  }
  const long sent = socket_.SendSegments(destination_, {parts.data(), used}, size);
  if (sent >= 0) {
    Count(sent, run.size(), 0);
    return;
  }
  // The route or the system cannot cut datagrams: nothing went out, so they go another way,
  // and so do all that follow.
  if (errno == EIO || errno == EINVAL || errno == ENOPROTOOPT || errno == EOPNOTSUPP) {
    segmentation_.store(false);
    SendOneByOne(key, run);
    return;
  }
  Count(0, 0, run.size());
}

void UdpBroadcastSink::SendOneByOne(std::span<const std::uint8_t, 4> key,
                                    std::span<const protocol::BufferList> lists) {
  std::array<net::ConstBytes, net::kMaxBatchParts> parts;
  std::array<net::GatherList, net::kMaxSegments> datagrams;
  std::size_t next = 0;
  while (next < lists.size()) {
    std::size_t count = 0, used = 0;
    while (next + count < lists.size() && count < datagrams.size() &&
           used + 1 + lists[next + count].size() <= parts.size()) {
      const std::size_t first = used;
      parts[used++] = {key.data(), key.size()};
      for (const protocol::Buffer& b : lists[next + count]) parts[used++] = {b.data, b.length};
      datagrams[count++] = net::GatherList(parts.data() + first, used - first);
    }
    if (count == 0) {  // one list with more parts than a call takes
      sendErrors_.fetch_add(1, std::memory_order_relaxed);
      ++next;
      continue;
    }
    const int sent = socket_.SendEach(destination_, {datagrams.data(), count});
    const std::size_t done = sent < 0 ? 0 : static_cast<std::size_t>(sent);
    long bytes = 0;
    for (std::size_t i = 0; i < done; ++i) {
      for (const net::ConstBytes& part : datagrams[i]) bytes += static_cast<long>(part.size);
    }
    Count(bytes, done, count - done);
    next += count;
  }
}

void UdpBroadcastSink::SendEndOfBroadcast(int times, int gapMs) {
  const protocol::Buffer value =
      protocol::MakeBuffer(kEndOfBroadcastValue.data(), kEndOfBroadcastValue.size());
  for (int i = 0; i < times; ++i) {
    if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
    Send(protocol::kRouteKeyEndOfBroadcast, {&value, 1});
  }
}

BroadcastStats UdpBroadcastSink::Stats() const {
  return BroadcastStats{datagrams_.load(), bytes_.load(), sendErrors_.load(), calls_.load()};
}

}  // namespace vantorel::sender
