// A plain socket on 127.0.0.1 that returns whole datagrams, route key included: what the
// sender's tests point their sinks at, so that nothing leaves the machine. Loopback delivery
// completes inside the sender's call, so a datagram sent is already waiting here.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "platform/net/udp_socket.h"
#include "protocol/wire_format.h"
#include "tests/protocol/recording_sink.h"

namespace vantorel::testing {

class LoopbackReceiver {
 public:
  LoopbackReceiver() {
    socket_.SetReceiveBuffer(protocol::kSocketBufferBytes);
    socket_.Bind(net::Endpoint{net::kLoopbackAddress, 0});
    port_ = socket_.LocalEndpoint().value_or(net::Endpoint{}).port;
  }
  std::uint16_t Port() const { return port_; }

  // Blocks for the next datagram.
  Bytes Receive() {
    std::array<std::uint8_t, 4> head{};
    Bytes body(70000);
    const net::ReceiveResult r = socket_.ReceiveFrom(head, body);
    EXPECT_EQ(r.status, net::ReceiveStatus::kOk);
    Bytes out(head.begin(), head.begin() + std::min<std::size_t>(r.length, 4));
    if (r.length > 4) out.insert(out.end(), body.begin(), body.begin() + (r.length - 4));
    return out;
  }

  // Every datagram already waiting, oldest first; never blocks.
  std::vector<Bytes> ReceiveWaiting() {
    std::vector<Bytes> out;
    while (socket_.HasUnread()) out.push_back(Receive());
    return out;
  }

 private:
  net::UdpSocket socket_;
  std::uint16_t port_ = 0;
};

}  // namespace vantorel::testing
