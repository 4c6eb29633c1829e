#include "protocol/packet_sink.h"

namespace vantorel::protocol {

int PacketSink::Send(std::uint32_t /*key*/, BufferList /*buffers*/) {
  return 0;
}

int PacketSink::SendBatch(std::uint32_t key, std::span<const BufferList> lists) {
  int taken = 0;
  for (const BufferList& list : lists) taken += Send(key, list);
  return taken;
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

template <typename Hand>
int PacketSink::ForEachRoute(std::uint32_t key, Hand hand) {
  auto [first, last] = routes_.equal_range(key);
  if (first == last) {
    if (defaultSink_ == nullptr) return 0;
    hand(*defaultSink_);
    return 1;
  }
  int called = 0;
  for (auto it = first; it != last; ++it) {
    hand(*it->second);
    ++called;
  }
  return called;
}

int PacketSink::Dispatch(std::uint32_t key, BufferList buffers) {
  return ForEachRoute(key, [&](PacketSink& sink) { sink.Send(key, buffers); });
}

int PacketSink::DispatchBatch(std::uint32_t key, std::span<const BufferList> lists) {
  return ForEachRoute(key, [&](PacketSink& sink) { sink.SendBatch(key, lists); });
}

}  // namespace vantorel::protocol
