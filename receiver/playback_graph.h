// Plays what a sender broadcasts: the first stream description builds a graph around a source
// with one pin per described stream, sample and segment-start messages go to the pin of their
// stream, and a description with another session number replaces the graph. The media layer
// that builds and runs the graph sits behind GraphBuilder, so this logic stays portable.
// Everything here runs on the reception's thread; the pins' streaming threads meet it only in
// their packet queues.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "protocol/packet_sink.h"
#include "receiver/source_pins.h"

namespace vantorel::receiver {

// Added to every sample time, in 100 ns units: a receiver presents a sample this long after
// the sender did. Running time 0 is the moment the stream description arrived (not the moment
// the graph was ready), so every receiver of a broadcast presents in step, within the spread of
// their arrival times, whatever their graphs took to build. What the delay must cover is the
// decoders' own latency: a decoder that reorders pictures (MPEG-1, MPEG-4 with B-frames)
// gives a picture out about two frames after it took it; 140 ms leaves about 60 ms spare at
// 25 fps. A picture late at start-up or after a seek (its decoder was still being made) is
// dropped by the output, and the decoder hurries; the delay stays the same for every receiver.
inline constexpr std::int64_t kPresentationDelay = 140 * 10'000;

struct VideoRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

// What the output chain of one rendered pin did; read after the graph stopped.
struct StreamOutputStats {
  bool rendered = false;
  bool video = false;
  std::string caps;
  std::uint64_t decoded = 0;  // video frames or audio buffers out of the decoder
  std::uint64_t late = 0;     // dropped by the output as late
  // How long before its presentation time each timed buffer left the decoder, in ns: the
  // median and the smallest (negative: decoded late), over `timed` buffers.
  std::uint64_t timed = 0;
  std::int64_t medianMarginNs = 0;
  std::int64_t worstMarginNs = 0;
};

class RenderedGraph {
 public:
  using Clock = std::chrono::steady_clock;
  virtual ~RenderedGraph() = default;
  // Plays, with running time 0 at `origin` on the host's monotonic clock: a sample is
  // presented at origin + its time, however long the graph took to build.
  virtual void Run(Clock::time_point origin) = 0;
  // Stops the graph; every pin's streaming thread has ended when this returns.
  virtual void Stop() = 0;
  // One entry per pin, in pin order.
  virtual std::vector<StreamOutputStats> OutputStats() const = 0;
};

class GraphBuilder {
 public:
  virtual ~GraphBuilder() = default;
  // Makes the graph around the pins, renders the first two and marks those that got a
  // decoder as connected; leaves it stopped. Nothing when the graph cannot be made.
  virtual std::unique_ptr<RenderedGraph> Build(SourcePins& pins) = 0;
};

// One pin of a graph that was closed: what reached it and what came out.
struct StreamReport {
  std::uint8_t session = 0;
  std::uint8_t kind = 0;
  StreamOutputStats output;
  PacketQueueStats queue;
  PinCounters pin;
  std::uint64_t droppedUnconnected = 0;
};

struct PlaybackStats {
  std::uint64_t builds = 0;
  std::uint64_t failedBuilds = 0;
  std::uint64_t sameSession = 0;  // descriptions of the running session, ignored
  std::uint64_t malformedDescriptions = 0;
  std::uint64_t beforeDescription = 0;  // messages with no graph to go to
  std::uint64_t noStream = 0;           // messages for a stream the graph does not have
  std::uint64_t unconnected = 0;        // messages for a pin with no decoder
  std::uint64_t queueStopped = 0;
};

class PlaybackGraph : public protocol::PacketSink {
 public:
  PlaybackGraph(GraphBuilder& builder, VideoRect rect, std::int64_t delay = kPresentationDelay);
  ~PlaybackGraph() override;

  // One complete message body as the first buffer. Returns 1.
  int Send(std::uint32_t key, protocol::BufferList buffers) override;
  // Stores the video area. The video output paints into the window's own video widget, which
  // fits each picture to its size, so there is no video window to move: the area ends here.
  void SetVideoRect(int left, int top, int width, int height);
  void Run();

  bool HasGraph() const { return graph_ != nullptr; }
  std::optional<std::uint8_t> Session() const;
  const SourcePins* Pins() const { return pins_.get(); }
  const PlaybackStats& Stats() const { return stats_; }
  // Messages that pins of this object's graphs pushed out of their full queues: they never
  // played.
  std::uint64_t PinOverflow() const;
  // Streams of every graph closed so far, oldest first.
  const std::vector<StreamReport>& Reports() const { return reports_; }
  // Closes the graph now (its streams join Reports()).
  void CloseGraph();

 private:
  void OnDescription(std::span<const std::uint8_t> body);
  void BuildGraph(std::unique_ptr<SourcePins> pins);
  void Route(std::span<const std::uint8_t> body);

  GraphBuilder& builder_;
  VideoRect rect_;
  std::int64_t delay_;
  // When the description that built the graph arrived: its running time 0. Receivers of one
  // broadcast hear a description at nearly the same moment, so they present in step.
  RenderedGraph::Clock::time_point origin_{};
  std::uint8_t session_ = 0;
  std::unique_ptr<SourcePins> pins_;
  std::unique_ptr<RenderedGraph> graph_;
  PlaybackStats stats_;
  std::uint64_t closedOverflow_ = 0;  // of the graphs closed so far
  std::vector<StreamReport> reports_;
};

}  // namespace vantorel::receiver
