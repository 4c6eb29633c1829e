// Last link of the sending chain: puts the route key in front of each datagram and sends it
// to the broadcast address (or, for tests, any destination given at construction).
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/net/udp_socket.h"
#include "protocol/packet_sink.h"
#include "protocol/wire_format.h"

namespace vantorel::sender {

struct BroadcastStats {
  std::uint64_t datagrams = 0;
  std::uint64_t bytes = 0;
  std::uint64_t sendErrors = 0;
};

class UdpBroadcastSink : public protocol::PacketSink {
 public:
  explicit UdpBroadcastSink(std::uint16_t port = protocol::kBroadcastPort,
                            std::uint32_t destination = net::kLimitedBroadcast);
  ~UdpBroadcastSink() override;

  bool Open(std::uint16_t port);
  void Close();
  bool IsOpen() const { return socket_.Valid(); }

  // One datagram: the 4 key bytes, then the caller's buffers, in one gather call. Returns 0
  // when the socket is not open; a failed send loses the datagram and is only counted.
  int Send(std::uint32_t key, protocol::BufferList buffers) override;

  // Sends the end-of-broadcast datagram `times` times, `gapMs` apart.
  void SendEndOfBroadcast(int times = 3, int gapMs = 1);

  std::uint32_t MaxMessageSize() const { return maxMessageSize_; }
  BroadcastStats Stats() const;

 private:
  net::UdpSocket socket_;
  net::Endpoint destination_;
  std::uint32_t maxMessageSize_ = 0;
  std::atomic<std::uint64_t> datagrams_{0};
  std::atomic<std::uint64_t> bytes_{0};
  std::atomic<std::uint64_t> sendErrors_{0};
};

}  // namespace vantorel::sender
