// Feeds arbitrary bytes to the playback graph as a series of messages (each prefixed by a
// two-byte length), over a media layer that connects every pin; after each message the pins'
// queued packets are run through their packet rules as the streaming threads would.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "protocol/messages.h"
#include "receiver/playback_graph.h"

using namespace vantorel;

namespace {

class DrainedGraph : public receiver::RenderedGraph {
 public:
  explicit DrainedGraph(receiver::SourcePins& pins) : pins_(pins) {}
  void Run(Clock::time_point) override {}
  void Stop() override { Drain(); }
  std::vector<receiver::StreamOutputStats> OutputStats() const override { return {}; }

  void Drain() {
    for (std::size_t i = 0; i < pins_.Count(); ++i) {
      receiver::SourcePin& pin = pins_.Pin(i);
      while (auto packet = pin.Queue().TryPop()) {
        receiver::PinSample sample;
        if (pin.Logic().Take(*packet, sample) == receiver::PinStep::kDeliver) {
          // The sample's bytes must lie inside the packet.
          const std::uint8_t* begin = packet->data();
          if (sample.data.data() < begin ||
              sample.data.data() + sample.data.size() > begin + packet->size()) {
            std::abort();
          }
        }
      }
    }
  }

 private:
  receiver::SourcePins& pins_;
};

class Builder : public receiver::GraphBuilder {
 public:
  std::unique_ptr<receiver::RenderedGraph> Build(receiver::SourcePins& pins) override {
    if (pins.Count() > protocol::kMaxDescribedStreams) std::abort();
    for (std::size_t i = 0; i < pins.Count() && i < 2; ++i) pins.Pin(i).SetConnected(true);
    auto graph = std::make_unique<DrainedGraph>(pins);
    current = graph.get();
    return graph;
  }
  DrainedGraph* current = nullptr;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Builder builder;
  receiver::PlaybackGraph graph(builder, receiver::VideoRect{});
  std::size_t offset = 0;
  while (offset + 2 <= size) {
    const std::size_t length = data[offset] | (std::size_t{data[offset + 1]} << 8);
    offset += 2;
    const std::size_t take = length < size - offset ? length : size - offset;
    const std::vector<std::uint8_t> body(data + offset, data + offset + take);
    offset += take;
    protocol::ParseStreamDescription(body);
    const protocol::Buffer buffer = protocol::MakeBuffer(body.data(), body.size());
    graph.Send(protocol::kChannelMessage, {&buffer, 1});
    if (graph.HasGraph() && builder.current) builder.current->Drain();
  }
  return 0;
}
