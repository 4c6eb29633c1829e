#include "protocol/packet_sink.h"

namespace vantorel::protocol {

int PacketSink::Send(std::uint32_t /*key*/, BufferList /*buffers*/) {
  return 0;
}

int PacketSink::AddRoute(std::uint32_t key, PacketSink* sink) {
  if (key == 0) {
    defaultSink_ = sink;
  } else {
    routes_.emplace(key, sink);
  }
  return 1;
}

int PacketSink::RemoveRoute(std::uint32_t key, PacketSink* sink) {
  if (key == 0) {
    defaultSink_ = nullptr;
    return 1;
  }
  auto [first, last] = routes_.equal_range(key);
  for (auto it = first; it != last; ++it) {
    if (it->second == sink) {
      routes_.erase(it);
      return 1;
    }
  }
  return 0;
}

int PacketSink::Dispatch(std::uint32_t key, BufferList buffers) {
  auto [first, last] = routes_.equal_range(key);
  if (first == last) {
    if (defaultSink_ == nullptr) return 0;
    defaultSink_->Send(key, buffers);
    return 1;
  }
  int called = 0;
  for (auto it = first; it != last; ++it) {
    it->second->Send(key, buffers);
    ++called;
  }
  return called;
}

}  // namespace vantorel::protocol
