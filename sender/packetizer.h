// Cuts one message into datagrams of the wire format and dispatches them together, as one
// batch, under its own key.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "protocol/packet_sink.h"
#include "protocol/wire_format.h"

namespace vantorel::sender {

class Packetizer : public protocol::PacketSink {
 public:
  explicit Packetizer(std::uint32_t key = protocol::kRouteKeyMedia,
                      std::uint32_t maxDatagram = protocol::kMaxPacketizerDatagram);

  // Cuts the message (the concatenation of the buffers) and dispatches its datagrams in one
  // batch, each a gather list pointing into the caller's buffers. Not thread-safe: callers
  // serialise.
  int Send(std::uint32_t channel, protocol::BufferList buffers) override;

  std::uint32_t MessageNumber() const { return messageNumber_; }

 private:
  void OpenDatagram();

  std::uint32_t key_;
  std::uint32_t maxDatagram_;
  std::uint32_t messageNumber_ = 0;
  // The current message's datagrams, reused between messages: each datagram's fragment
  // header, where its parts begin in parts_, and its gather list.
  std::vector<std::array<std::uint8_t, protocol::kFragmentHeaderSize>> headers_;
  std::vector<protocol::Buffer> parts_;
  std::vector<std::size_t> starts_;
  std::vector<protocol::BufferList> lists_;
};

}  // namespace vantorel::sender
