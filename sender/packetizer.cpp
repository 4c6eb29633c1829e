#include "sender/packetizer.h"

#include <algorithm>

#include "protocol/byte_io.h"

namespace vantorel::sender {

using protocol::Buffer;
using protocol::kLastFragmentFlag;

Packetizer::Packetizer(std::uint32_t key, std::uint32_t maxDatagram)
    : key_(key), maxDatagram_(maxDatagram) {}

// The fragment header's place is kept; it is pointed at once every header exists.
void Packetizer::OpenDatagram() {
  headers_.emplace_back();
  starts_.push_back(parts_.size());
  parts_.push_back(Buffer{protocol::kFragmentHeaderSize, nullptr});
}

int Packetizer::Send(std::uint32_t channel, protocol::BufferList buffers) {
  const std::uint64_t total = protocol::TotalLength(buffers);
  std::array<std::uint8_t, 8> firstHeader{};
  protocol::StoreU32(firstHeader.data(), channel);
  protocol::StoreU32(firstHeader.data() + 4, static_cast<std::uint32_t>(total));

  headers_.clear();
  parts_.clear();
  starts_.clear();
  OpenDatagram();
  parts_.push_back(protocol::MakeBuffer(firstHeader.data(), firstHeader.size()));
  std::uint32_t used = protocol::kFirstFragmentHeaderSize;
  bool open = true;
  for (const Buffer& buffer : buffers) {
    Buffer rest = buffer;
    while (rest.length != 0) {
      // A full datagram is followed by another only when bytes remain for it.
      if (!open) {
        OpenDatagram();
        used = protocol::kFragmentHeaderSize;
        open = true;
      }
      const std::uint32_t part = std::min(rest.length, maxDatagram_ - used);
      parts_.push_back(Buffer{part, rest.data});
      rest.data += part;
      rest.length -= part;
      used += part;
      open = used < maxDatagram_;
    }
  }

  const std::size_t count = starts_.size();
  lists_.clear();
  for (std::size_t d = 0; d < count; ++d) {
    std::uint32_t index = static_cast<std::uint32_t>(d) & protocol::kFragmentIndexMask;
    if (d + 1 == count) index |= kLastFragmentFlag;
    protocol::StoreU32(headers_[d].data(), messageNumber_);
    protocol::StoreU32(headers_[d].data() + 4, index);
    parts_[starts_[d]].data = headers_[d].data();
    const std::size_t end = d + 1 < count ? starts_[d + 1] : parts_.size();
    lists_.emplace_back(parts_.data() + starts_[d], end - starts_[d]);
  }
  DispatchBatch(key_, lists_);
  ++messageNumber_;
  return 1;
}

}  // namespace vantorel::sender
