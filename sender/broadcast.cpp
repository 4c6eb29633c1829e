#include "sender/broadcast.h"

#include <chrono>
#include <thread>

namespace vantorel::sender {
namespace {

void SleepOneGap() {
  std::this_thread::sleep_for(std::chrono::milliseconds(Broadcast::kEndOfBroadcastGapMs));
}

}  // namespace

Broadcast::Broadcast(UdpBroadcastSink& sink, media::GraphOptions graph, int fecPercent)
    : sink_(sink),
      graph_(graph),
      fec_(fecPercent > 0 ? std::make_unique<FecEncoder>(sink, fecPercent) : nullptr) {}

Broadcast::~Broadcast() {
  CloseSession();
}

HRESULT Broadcast::Open(gui::WindowHandle* owner, const std::string& path) {
  CloseSession();
  protocol::PacketSink* out = fec_ ? static_cast<protocol::PacketSink*>(fec_.get()) : &sink_;
  auto session = std::make_unique<SenderSession>(sessionNumber_, out, graph_);
  HRESULT hr = session->Open(owner, path);
  missingDecoders_ = session->MissingDecoders();
  if (!FAILED(hr) && !session->IsStreaming()) hr = VFW_E_UNSUPPORTED_STREAM;
  if (FAILED(hr)) {
    session->Close();
    return hr;
  }
  session_ = std::move(session);
  ++sessionNumber_;
  return hr;
}

void Broadcast::CloseSession() {
  if (!session_) return;
  session_->Close();
  closedSamples_ = session_->Samples();
  session_.reset();
  // The last group's parity goes before anything of the next session or the end.
  if (fec_) fec_->Flush();
}

std::optional<FecStats> Broadcast::Parity() const {
  return fec_ ? std::optional<FecStats>(fec_->Stats()) : std::nullopt;
}

GraphEventNews Broadcast::HandleGraphEvents() {
  GraphEventNews news;
  if (!session_) return news;
  const GraphEventCounts before = session_->EventCounts();
  session_->HandleGraphEvents();
  const GraphEventCounts& after = session_->EventCounts();
  news.completed = after.completes > before.completes;
  news.failed = after.errors > before.errors;
  news.lastError = after.lastError;
  news.noAudioDevice = after.noAudioDevice;
  return news;
}

// Receivers rebuild on the first end-of-broadcast datagram; the gaps keep the last sample
// datagrams and the repeats apart.
void Broadcast::End() {
  if (ended_) return;
  ended_ = true;
  CloseSession();
  SleepOneGap();
  sink_.SendEndOfBroadcast(kEndOfBroadcastTimes, kEndOfBroadcastGapMs);
  SleepOneGap();
}

}  // namespace vantorel::sender
