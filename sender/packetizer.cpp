#include "sender/packetizer.h"

#include "protocol/byte_io.h"

namespace vantorel::sender {

using protocol::Buffer;
using protocol::kLastFragmentFlag;

Packetizer::Packetizer(std::uint32_t key, std::uint32_t maxDatagram)
    : key_(key), maxDatagram_(maxDatagram) {}

void Packetizer::DispatchDatagram() {
  protocol::StoreU32(fragmentHeader_.data(), messageNumber_);
  protocol::StoreU32(fragmentHeader_.data() + 4, fragmentIndex_);
  Dispatch(key_, datagram_);
  fragmentIndex_ = (fragmentIndex_ & protocol::kFragmentIndexMask) + 1;
  datagram_.resize(1);  // keep only the fragment header pair
}

int Packetizer::Send(std::uint32_t channel, protocol::BufferList buffers) {
  const std::uint64_t total = protocol::TotalLength(buffers);
  std::array<std::uint8_t, 8> firstHeader{};
  protocol::StoreU32(firstHeader.data(), channel);
  protocol::StoreU32(firstHeader.data() + 4, static_cast<std::uint32_t>(total));

  // Empty buffers add nothing, so the last one that holds bytes decides where the message ends.
  std::size_t last = buffers.size();
  for (std::size_t i = 0; i < buffers.size(); ++i) {
    if (buffers[i].length != 0) last = i;
  }

  datagram_.clear();
  datagram_.reserve(buffers.size() + 3);
  datagram_.push_back(protocol::MakeBuffer(fragmentHeader_.data(), fragmentHeader_.size()));
  datagram_.push_back(protocol::MakeBuffer(firstHeader.data(), firstHeader.size()));
  std::uint32_t used = protocol::kFirstFragmentHeaderSize;

  for (std::size_t i = 0; i < buffers.size(); ++i) {
    Buffer rest = buffers[i];
    while (rest.length != 0) {
      if (used + rest.length > maxDatagram_) {
        const std::uint32_t part = maxDatagram_ - used;
        datagram_.push_back(Buffer{part, rest.data});
        DispatchDatagram();
        rest.data += part;
        rest.length -= part;
        used = protocol::kFragmentHeaderSize;
        continue;
      }
      datagram_.push_back(rest);
      used += rest.length;
      rest.length = 0;
      if (used == maxDatagram_) {
        if (i == last) fragmentIndex_ |= kLastFragmentFlag;
        DispatchDatagram();
        used = protocol::kFragmentHeaderSize;
      }
    }
  }
  if (datagram_.size() > 1) {
    fragmentIndex_ |= kLastFragmentFlag;
    DispatchDatagram();
  }
  ++messageNumber_;
  fragmentIndex_ = 0;
  return 1;
}

}  // namespace vantorel::sender
