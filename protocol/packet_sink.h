// The routing base of every stage of the packet chain, on both sides of the wire.
#pragma once

#include <cstdint>
#include <map>
#include <span>

#include "protocol/buffer_list.h"

namespace vantorel::protocol {

class PacketSink {
 public:
  PacketSink() = default;
  PacketSink(const PacketSink&) = delete;
  PacketSink& operator=(const PacketSink&) = delete;
  virtual ~PacketSink() = default;

  // Takes one buffer list under a route key. Returns 1 when taken, 0 when dropped.
  virtual int Send(std::uint32_t key, BufferList buffers);

  // Several buffer lists under one key, in order, each one datagram. Returns how many were
  // taken. By default they go to Send one by one; a sink that does better with them together
  // (a socket that sends them in one call) overrides it.
  virtual int SendBatch(std::uint32_t key, std::span<const BufferList> lists);

  // Key 0 sets the default sink; any other key adds a route (several sinks may share a key).
  int AddRoute(std::uint32_t key, PacketSink* sink);
  // Key 0 clears the default sink. Otherwise removes the first (key, sink) route; 1 if found.
  int RemoveRoute(std::uint32_t key, PacketSink* sink);

 protected:
  // Hands the list to every sink routed under key, in insertion order, and returns how many
  // were called; with no route, to the default sink (1), or to nobody (0).
  int Dispatch(std::uint32_t key, BufferList buffers);
  // The same for a batch: each routed sink takes the whole batch at once.
  int DispatchBatch(std::uint32_t key, std::span<const BufferList> lists);

 private:
  template <typename Hand>
  int ForEachRoute(std::uint32_t key, Hand hand);

  PacketSink* defaultSink_ = nullptr;
  std::multimap<std::uint32_t, PacketSink*> routes_;
};

}  // namespace vantorel::protocol
