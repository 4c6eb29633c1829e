#include "sender/broadcast.h"

#include <chrono>
#include <thread>

namespace vantorel::sender {
namespace {

void SleepOneGap() {
  std::this_thread::sleep_for(std::chrono::milliseconds(Broadcast::kEndOfBroadcastGapMs));
}

// A session's view of the broadcast's factory, which outlives every session.
class BorrowedGraphFactory : public sender::GraphFactory {
 public:
  explicit BorrowedGraphFactory(sender::GraphFactory& graphs) : graphs_(graphs) {}
  std::unique_ptr<sender::MediaGraph> CreateGraph() override { return graphs_.CreateGraph(); }

 private:
  sender::GraphFactory& graphs_;
};

}  // namespace

Broadcast::Broadcast(UdpBroadcastSink& sink, media::GraphOptions graph, int fecPercent,
                     std::optional<protocol::SigningKey> identity, std::string name)
    : Broadcast(sink, std::make_unique<sender::gst::GstGraphFactory>(graph), fecPercent,
                std::move(identity), std::move(name)) {}

Broadcast::Broadcast(UdpBroadcastSink& sink, std::unique_ptr<sender::GraphFactory> graphs,
                     int fecPercent, std::optional<protocol::SigningKey> identity, std::string name)
    : sink_(sink), graphs_(std::move(graphs)), announcer_(sink, std::move(name), identity) {
  if (identity) {
    signer_ = std::make_unique<SigningSink>(sink_, std::move(*identity), fecPercent > 0 ? 2 : 1);
  }
  if (fecPercent > 0) fec_ = std::make_unique<FecEncoder>(Wire(), fecPercent);
}

protocol::PacketSink& Broadcast::Wire() {
  return signer_ ? static_cast<protocol::PacketSink&>(*signer_) : sink_;
}

Broadcast::~Broadcast() {
  CloseSession();
}

sender::Status Broadcast::Open(gui::Mailbox<sender::GraphNotice>* owner, const std::string& path) {
  return OpenWith([owner, &path](SenderSession& session) { return session.Open(owner, path); });
}

sender::Status Broadcast::OpenLive(gui::Mailbox<sender::GraphNotice>* owner,
                                   const sender::LiveSource& source) {
  sender::Status status = OpenWith(
      [owner, &source](SenderSession& session) { return session.OpenLive(owner, source); });
  if (openError_.liveDevice) {
    openError_.deviceName = sender::LiveDeviceName(source, *openError_.liveDevice);
  }
  return status;
}

// The session answers in the player's result codes; the broadcast speaks the media layer's
// error type again, with GStreamer's words from what the graph found.
template <typename OpenInto>
sender::Status Broadcast::OpenWith(OpenInto open) {
  CloseSession();
  protocol::PacketSink* out = fec_ ? static_cast<protocol::PacketSink*>(fec_.get()) : &Wire();
  auto session = std::make_unique<SenderSession>(sessionNumber_, out,
                                                 std::make_unique<BorrowedGraphFactory>(*graphs_));
  sender::Status status = sender::FromHresult(open(*session), session->Findings().errorText);
  const bool streaming = status.ok() && session->IsStreaming();
  if (status.ok() && !streaming) status = sender::Status(sender::MediaErrc::kUnsupportedStream);
  openError_ = sender::MakeOpenError(status, session->Findings(), streaming);
  if (!status.ok()) {
    session->Close();
    return status;
  }
  session_ = std::move(session);
  ++sessionNumber_;
  return status;
}

void Broadcast::CloseSession() {
  if (!session_) return;
  session_->Close();
  closedSamples_ = session_->Samples();
  session_.reset();
  // The last group's parity goes before anything of the next session or the end.
  if (fec_) fec_->Flush();
  if (signer_) signer_->Flush();
}

std::optional<FecStats> Broadcast::Parity() const {
  return fec_ ? std::optional<FecStats>(fec_->Stats()) : std::nullopt;
}

std::optional<SigningStats> Broadcast::Signing() const {
  return signer_ ? std::optional<SigningStats>(signer_->Stats()) : std::nullopt;
}

std::optional<protocol::Fingerprint> Broadcast::SignedBy() const {
  return signer_ ? std::optional<protocol::Fingerprint>(signer_->FingerprintOf()) : std::nullopt;
}

GraphEventNews Broadcast::HandleGraphEvents() {
  GraphEventNews news;
  if (!session_) return news;
  const GraphEventCounts before = session_->EventCounts();
  session_->HandleGraphEvents();
  const GraphEventCounts& after = session_->EventCounts();
  news.completed = after.completes > before.completes;
  news.failed = after.errors > before.errors;
  news.lastError = sender::FromHresult(after.lastError, after.lastErrorText);
  news.noAudioDevice = after.noAudioDevice;
  return news;
}

void Broadcast::Announce(protocol::SenderState state, protocol::SenderSource source,
                         std::string title) {
  if (ended_) return;
  const std::uint8_t session =
      session_ ? static_cast<std::uint8_t>(sessionNumber_ - 1) : announcer_.Current().session;
  announcer_.Set(state, source, std::move(title), session);
}

void Broadcast::TickAnnouncement() {
  if (!ended_) announcer_.Tick();
}

// Receivers rebuild on the first end-of-broadcast datagram; the gaps keep the last sample
// datagrams and the repeats apart.
void Broadcast::End() {
  if (ended_) return;
  ended_ = true;
  CloseSession();
  SleepOneGap();
  // Signed ahead, so that nothing follows the end: receivers that check signatures take it
  // at once, and the others have nothing left to drop after it.
  if (signer_) {
    const protocol::Buffer value =
        protocol::MakeBuffer(kEndOfBroadcastValue.data(), kEndOfBroadcastValue.size());
    signer_->SignAhead(protocol::kRouteKeyEndOfBroadcast, {&value, 1}, kEndOfBroadcastTimes);
  }
  sink_.SendEndOfBroadcast(kEndOfBroadcastTimes, kEndOfBroadcastGapMs);
  SleepOneGap();
}

}  // namespace vantorel::sender
