// Throughput of the wire path: cutting and rebuilding messages in memory, and datagrams
// through real sockets on loopback.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/net/udp_socket.h"
#include "receiver/reassembler.h"
#include "receiver/receive_socket.h"
#include "sender/packetizer.h"
#include "sender/udp_broadcast_sink.h"

namespace {

using namespace vantorel;

// Flattens each datagram's gather list as the socket would and hands it to the reassembler.
class LoopbackWire : public protocol::PacketSink {
 public:
  explicit LoopbackWire(protocol::PacketSink& next) : next_(next) {}
  int Send(std::uint32_t, protocol::BufferList buffers) override {
    std::size_t used = 0;
    for (const auto& b : buffers) {
      std::memcpy(datagram_ + used, b.data, b.length);
      used += b.length;
    }
    const auto d = protocol::MakeBuffer(datagram_, used);
    return next_.Send(protocol::kChannelMessage, {&d, 1});
  }

 private:
  protocol::PacketSink& next_;
  std::uint8_t datagram_[protocol::kMaxPacketizerDatagram];
};

class CountingSink : public protocol::PacketSink {
 public:
  int Send(std::uint32_t, protocol::BufferList buffers) override {
    bytes += buffers[0].length;
    return 1;
  }
  std::uint64_t bytes = 0;
};

void BM_PacketizeReassemble(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  std::vector<std::uint8_t> body(size, 0x5A);
  CountingSink delivered;
  receiver::Reassembler reassembler;
  reassembler.AddRoute(protocol::kChannelMessage, &delivered);
  LoopbackWire wire(reassembler);
  sender::Packetizer packetizer;
  packetizer.AddRoute(protocol::kRouteKeyMedia, &wire);
  const auto message = protocol::MakeBuffer(body.data(), body.size());
  for (auto _ : state) {
    packetizer.Send(protocol::kChannelMessage, {&message, 1});
  }
  if (delivered.bytes != size * state.iterations()) state.SkipWithError("message lost");
  state.SetBytesProcessed(static_cast<std::int64_t>(size * state.iterations()));
}
BENCHMARK(BM_PacketizeReassemble)->Arg(1024)->Arg(64 * 1024)->Arg(1024 * 1024);

// Takes the wake-ups; the datagrams are counted as the receive thread queues them.
class QuietWindow : public receiver::ReceiveOwner {
 public:
  bool Post(receiver::ReceiveEvent) override { return true; }
};

// Full-size datagrams from the broadcast sink to the receive socket, both on 127.0.0.1: one
// send call per datagram (batch 1), or the datagrams of a 64 KB message in one batch (44), as
// the packetizer hands them over: segmented (UDP_SEGMENT) or, with segmentation off, sendmmsg.
// Items are datagrams; "received" counts those the receive thread queued for the window. With
// a rate (thousands of datagrams a second) the batches are paced to it; without, they go as
// fast as the sender can, faster than one receive thread takes them.
void BM_LoopbackDatagrams(benchmark::State& state) {
  const auto batch = static_cast<std::size_t>(state.range(0));
  const auto rate = static_cast<double>(state.range(2)) * 1000.0;
  QuietWindow window;
  receiver::ReceiveOptions options;
  options.port = 0;
  options.bindAddress = net::kLoopbackAddress;
  options.wakeAddress = net::kLoopbackAddress;
  // The window never takes them: the queue keeps the newest, and counts what it let go.
  std::uint64_t sent = 0;
  receiver::ReceiveStats received;
  {
    receiver::ReceiveSocket socket(window, options);
    sender::SinkOptions sinkOptions{socket.LocalPort(), net::kLoopbackAddress};
    sinkOptions.segmentation = state.range(1) != 0;
    sender::UdpBroadcastSink sink(sinkOptions);
    std::vector<std::uint8_t> payload(protocol::kMaxPacketizerDatagram, 0);
    const auto b = protocol::MakeBuffer(payload.data(), payload.size());
    const std::vector<protocol::BufferList> lists(batch, protocol::BufferList(&b, 1));
    const auto period = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(rate > 0 ? static_cast<double>(batch) / rate : 0.0));
    auto next = std::chrono::steady_clock::now();
    for (auto _ : state) {
      if (rate > 0) {
        next += period;
        std::this_thread::sleep_until(next);
      }
      if (batch == 1) {
        sink.Send(protocol::kRouteKeyMedia, {&b, 1});
      } else {
        sink.SendBatch(protocol::kRouteKeyMedia, lists);
      }
      sent += batch;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    received = socket.Stats();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(sent));
  state.SetBytesProcessed(static_cast<std::int64_t>(sent * protocol::kMaxDatagramPayload));
  state.counters["received"] =
      benchmark::Counter(static_cast<double>(received.posted), benchmark::Counter::kIsRate);
  state.counters["loss%"] =
      sent ? 100.0 * static_cast<double>(sent - received.posted) / static_cast<double>(sent) : 0.0;
  state.counters["per-recv"] =
      received.receiveCalls
          ? static_cast<double>(received.datagrams) / static_cast<double>(received.receiveCalls)
          : 0.0;
}
BENCHMARK(BM_LoopbackDatagrams)
    ->ArgNames({"batch", "gso", "kdps"})
    ->Args({1, 0, 0})
    ->Args({44, 0, 0})
    ->Args({44, 1, 0})
    ->Args({44, 1, 300})
    ->UseRealTime()
    ->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
