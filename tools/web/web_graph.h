// vantorel-web's reception graph: built like the receiver's, around the same source pins, but
// what it makes of the streams goes to browsers rather than to a screen. H.264 that browsers
// play (constrained baseline, baseline, main) passes through untouched; any other picture is
// decoded and encoded again, once for every viewer (x264 tuned for zero latency, with a key
// frame whenever a viewer joins); sound is decoded and encoded as Opus. Each stream is released
// at the time a receiver presents it, so browsers play in step with the receivers' screens.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "receiver/playback_graph.h"
#include "tools/web/web_output.h"

namespace vantorel::web {

// What the graphs built so far did.
struct WebGraphStats {
  std::uint64_t passedThrough = 0;  // video streams sent as they came
  std::uint64_t transcoded = 0;     // video streams encoded again
  std::uint64_t framesIn = 0;       // pictures that reached an encoder
  std::uint64_t framesOut = 0;      // pictures the encoders gave out
};

class WebGraphBuilder : public receiver::GraphBuilder {
 public:
  // `output` outlives the builder and every graph it built.
  explicit WebGraphBuilder(WebOutput& output) : output_(output) {}
  std::unique_ptr<receiver::RenderedGraph> Build(receiver::SourcePins& pins) override;
  WebGraphStats Stats() const;

  // Counters shared with the graphs.
  struct Counters {
    std::atomic<std::uint64_t> passedThrough{0};
    std::atomic<std::uint64_t> transcoded{0};
    std::atomic<std::uint64_t> framesIn{0};
    std::atomic<std::uint64_t> framesOut{0};
  };

 private:
  WebOutput& output_;
  std::shared_ptr<Counters> counters_ = std::make_shared<Counters>();
};

}  // namespace vantorel::web
