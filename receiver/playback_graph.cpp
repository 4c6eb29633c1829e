#include "receiver/playback_graph.h"

#include "protocol/byte_io.h"

namespace vantorel::receiver {
namespace {

// A message of this kind closes the graph (no sender sends one).
constexpr std::uint8_t kKindClose = 1;

}  // namespace

PlaybackGraph::PlaybackGraph(GraphBuilder& builder, VideoRect rect, std::int64_t delay)
    : builder_(builder), rect_(rect), delay_(delay) {}

PlaybackGraph::~PlaybackGraph() {
  CloseGraph();
}

std::optional<std::uint8_t> PlaybackGraph::Session() const {
  if (!graph_) return std::nullopt;
  return session_;
}

int PlaybackGraph::Send(std::uint32_t, protocol::BufferList buffers) {
  if (buffers.empty() || buffers[0].data == nullptr) return 1;
  const std::span<const std::uint8_t> body(buffers[0].data, buffers[0].length);
  if (body.size() < protocol::kHeaderWordSize) {
    ++stats_.noStream;
    return 1;
  }
  const std::uint8_t kind = protocol::HeaderKind(protocol::LoadU32(body.data()));
  if (kind == static_cast<std::uint8_t>(protocol::BlockKind::kStreamDescription)) {
    OnDescription(body);
  } else if (!graph_) {
    ++stats_.beforeDescription;
  } else if (kind == kKindClose) {
    CloseGraph();
  } else {
    Route(body);
  }
  return 1;
}

void PlaybackGraph::OnDescription(std::span<const std::uint8_t> body) {
  const RenderedGraph::Clock::time_point arrived = RenderedGraph::Clock::now();
  // Untrusted: a description that does not parse is dropped; the next one, about a second
  // later, tries again.
  auto description = protocol::ParseStreamDescription(body);
  if (!description || description->records.empty()) {
    ++stats_.malformedDescriptions;
    return;
  }
  const std::uint8_t session = description->records.front().session;
  if (graph_ && session == session_) {
    ++stats_.sameSession;
    return;
  }
  // Stream counts are checked before the running graph is given up.
  auto pins = SourcePins::Make(*description, delay_);
  if (!pins) {
    ++stats_.malformedDescriptions;
    return;
  }
  CloseGraph();
  session_ = session;
  origin_ = arrived;
  BuildGraph(std::move(pins));
}

void PlaybackGraph::BuildGraph(std::unique_ptr<SourcePins> pins) {
  auto graph = builder_.Build(*pins);
  if (!graph) {
    ++stats_.failedBuilds;
    return;
  }
  pins_ = std::move(pins);
  graph_ = std::move(graph);
  ++stats_.builds;
  // What arrived while the graph was being built waits in the reception's queue and comes
  // next, in order: nothing of the new session is thrown away.
  graph_->Run(origin_);
}

std::uint64_t PlaybackGraph::PinOverflow() const {
  std::uint64_t overflow = closedOverflow_;
  if (!pins_) return overflow;
  for (std::size_t i = 0; i < pins_->Count(); ++i) {
    overflow += pins_->Pin(i).Queue().Stats().droppedOverflow;
  }
  return overflow;
}

void PlaybackGraph::Route(std::span<const std::uint8_t> body) {
  switch (pins_->RoutePacket(body)) {
    case RouteResult::kQueued:
      break;
    case RouteResult::kNoStream:
      ++stats_.noStream;
      break;
    case RouteResult::kUnconnected:
      ++stats_.unconnected;
      break;
    case RouteResult::kQueueStopped:
      ++stats_.queueStopped;
      break;
  }
}

void PlaybackGraph::CloseGraph() {
  if (!graph_) return;
  // No streaming thread may stay blocked in its queue while the graph stops.
  pins_->ClearQueues();
  graph_->Stop();
  const std::vector<StreamOutputStats> outputs = graph_->OutputStats();
  graph_.reset();
  for (std::size_t i = 0; i < pins_->Count(); ++i) {
    const SourcePin& pin = pins_->Pin(i);
    StreamReport report;
    report.session = session_;
    report.kind = pin.Kind();
    if (i < outputs.size()) report.output = outputs[i];
    report.queue = pin.Queue().Stats();
    report.pin = pin.Logic().Counters();
    report.droppedUnconnected = pin.DroppedUnconnected();
    closedOverflow_ += report.queue.droppedOverflow;
    reports_.push_back(std::move(report));
  }
  pins_.reset();
}

void PlaybackGraph::SetVideoRect(int left, int top, int width, int height) {
  rect_ = VideoRect{left, top, width, height};
}

void PlaybackGraph::Run() {
  if (graph_) graph_->Run(origin_);
}

}  // namespace vantorel::receiver
