// Last link of the sending chain: puts the route key in front of each datagram and sends it
// to the broadcast address (or, for tests, any destination given at construction).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <span>
#include <string>

#include "platform/net/udp_socket.h"
#include "protocol/packet_sink.h"
#include "protocol/wire_format.h"

namespace vantorel::sender {

struct BroadcastStats {
  std::uint64_t datagrams = 0;
  std::uint64_t bytes = 0;
  std::uint64_t sendErrors = 0;
  std::uint64_t calls = 0;  // system calls that sent them
};

struct SinkOptions {
  std::uint16_t port = protocol::kBroadcastPort;
  // The limited broadcast, a multicast group (224.0.0.0/4) or a single host.
  std::uint32_t destination = net::kLimitedBroadcast;
  // For a multicast group: how many routers its datagrams may cross.
  int multicastTtl = net::kDefaultMulticastTtl;
  // Empty: the routing table chooses. Otherwise multicast leaves through this interface, and
  // the socket is bound to it for any other destination.
  std::string interfaceName = {};
  // A batch of equal datagrams goes out in one segmented send where the system can do it;
  // false sends every batch with sendmmsg (tests, and the fallback where segmentation fails).
  bool segmentation = true;
};

// What an end-of-broadcast datagram carries after its route key.
inline constexpr std::array<std::uint8_t, 4> kEndOfBroadcastValue{};

class UdpBroadcastSink : public protocol::PacketSink {
 public:
  explicit UdpBroadcastSink(std::uint16_t port = protocol::kBroadcastPort,
                            std::uint32_t destination = net::kLimitedBroadcast);
  explicit UdpBroadcastSink(SinkOptions options);
  ~UdpBroadcastSink() override;

  bool Open(std::uint16_t port);
  void Close();
  bool IsOpen() const { return socket_.Valid(); }
  // Why the last Open failed, for the user ("cannot bind to interface eth1: ..."); empty
  // while the sink is open.
  const std::string& OpenError() const { return openError_; }

  // One datagram: the 4 key bytes, then the caller's buffers, in one gather call. Returns 0
  // when the socket is not open; a failed send loses the datagram and is only counted.
  int Send(std::uint32_t key, protocol::BufferList buffers) override;
  // The datagrams in order, in as few calls as possible: each run of equal-sized datagrams
  // (the last of a run may be shorter) in one segmented send, or with sendmmsg where the
  // system cannot segment. The bytes on the wire are those of one Send per datagram.
  int SendBatch(std::uint32_t key, std::span<const protocol::BufferList> lists) override;

  // Sends the end-of-broadcast datagram `times` times, `gapMs` apart.
  void SendEndOfBroadcast(int times = 3, int gapMs = 1);

  std::uint32_t MaxMessageSize() const { return maxMessageSize_; }
  BroadcastStats Stats() const;
  // Whether batches still go out as segmented sends (false once the system refused one).
  bool Segmenting() const { return segmentation_.load(); }

 private:
  bool Configure();
  // One run of SendBatch: `size` bytes each (route key included), the last perhaps shorter.
  void SendRun(std::span<const std::uint8_t, 4> key, std::span<const protocol::BufferList> run,
               std::size_t size);
  void SendOneByOne(std::span<const std::uint8_t, 4> key,
                    std::span<const protocol::BufferList> lists);
  void Count(long sentBytes, std::size_t datagrams, std::size_t failed);

  net::UdpSocket socket_;
  net::Endpoint destination_;
  SinkOptions options_;
  std::string openError_;
  std::uint32_t maxMessageSize_ = 0;
  std::atomic<std::uint64_t> datagrams_{0};
  std::atomic<std::uint64_t> bytes_{0};
  std::atomic<std::uint64_t> sendErrors_{0};
  std::atomic<std::uint64_t> calls_{0};
  std::atomic<bool> segmentation_;  // off for good once the system refused it
};

}  // namespace vantorel::sender
