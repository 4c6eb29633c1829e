#include "sender/sender_session.h"

#include <initializer_list>

namespace vantorel::sender {

SenderSession::SenderSession(std::uint8_t session, protocol::PacketSink* sink,
                             const media::GraphOptions& options)
    : SenderSession(session, sink, std::make_unique<sender::gst::GstGraphFactory>(options)) {}

SenderSession::SenderSession(std::uint8_t session, protocol::PacketSink* sink,
                             std::unique_ptr<sender::GraphFactory> graphs)
    : GraphPlayer(std::move(graphs)), session_(session), sink_(sink) {}

SenderSession::~SenderSession() {
  Close();
}

bool SenderSession::IsStreaming() const {
  return (videoGrabber_ && videoGrabber_->IsConnected()) ||
         (audioGrabber_ && audioGrabber_->IsConnected());
}

SampleCounts SenderSession::Samples() const {
  if (!videoGrabber_ && !audioGrabber_) return closedSamples_;
  SampleCounts counts;
  for (const GrabberFilter* grabber : {videoGrabber_.get(), audioGrabber_.get()}) {
    if (grabber == nullptr) continue;
    const GrabberStats stats = grabber->Stats();
    counts.sent += stats.samples;
    counts.refusedOversized += stats.droppedOversized;
  }
  return counts;
}

void SenderSession::OnReset() {
  routeKey_ = protocol::kRouteKeyMedia;
}

HRESULT SenderSession::OnBuild(sender::MediaGraph& graph) {
  closedSamples_ = {};
  multiplexer_ = std::make_unique<StreamMultiplexer>();
  multiplexer_->AddRoute(routeKey_, sink_);
  videoGrabber_ = std::make_unique<GrabberFilter>(session_, multiplexer_.get(), "grabberVideo",
                                                  protocol::StreamKind::kVideo);
  audioGrabber_ = std::make_unique<GrabberFilter>(session_, multiplexer_.get(), "grabberAudio",
                                                  protocol::StreamKind::kAudio);
  videoGrabber_->SetLive(Live());
  audioGrabber_->SetLive(Live());
  sender::Status added = graph.AddFilter(*videoGrabber_);
  if (added.ok()) added = graph.AddFilter(*audioGrabber_);
  if (!added.ok()) {
    OnTeardown(graph);
    added = sender::Status(sender::MediaErrc::kFailed);
  }
  return sender::ToHresult(added);
}

void SenderSession::OnLiveResume() {
  if (videoGrabber_) videoGrabber_->StartNewSegment();
  if (audioGrabber_) audioGrabber_->StartNewSegment();
}

// The graph stops streaming before a grabber leaves it, so no streaming thread is inside a
// grabber or the multiplexer when they are deleted.
HRESULT SenderSession::OnTeardown(sender::MediaGraph& graph) {
  if (audioGrabber_) graph.RemoveFilter(*audioGrabber_);
  if (videoGrabber_) graph.RemoveFilter(*videoGrabber_);
  // The streams have stopped: the counts are final, and stay readable after the close.
  closedSamples_ = Samples();
  audioGrabber_.reset();
  videoGrabber_.reset();
  if (multiplexer_) {
    multiplexer_->RemoveRoute(routeKey_, sink_);
    multiplexer_.reset();
  }
  OnReset();
  return sender::ToHresult(sender::MediaErrc::kOk);
}

}  // namespace vantorel::sender
