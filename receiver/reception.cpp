#include "receiver/reception.h"

#include <thread>

namespace vantorel::receiver {

Reception::Reception(gui::WindowHandle& window, PostedDatagrams& posted, ReceptionOptions options)
    : window_(window), posted_(posted), options_(options) {
  Build();
}

Reception::~Reception() {
  TearDown();
}

// Playback graph, reassembler, socket: the socket last, so that nothing arrives before the
// rest can take it. A socket that cannot be opened leaves no pipeline.
void Reception::Build() {
  if (options_.graph != nullptr) {
    graph_ = std::make_unique<PlaybackGraph>(*options_.graph, this, options_.videoRect);
  }
  reassembler_ = std::make_unique<Reassembler>();
  if (options_.observer != nullptr) {
    reassembler_->AddRoute(0, options_.observer);
    reassembler_->AddRoute(protocol::kChannelMessage, options_.observer);
  }
  if (graph_) reassembler_->AddRoute(protocol::kChannelMessage, graph_.get());
  fec_ = std::make_unique<FecReceiver>([this](std::span<const std::uint8_t> payload) {
    const protocol::Buffer datagram = protocol::MakeBuffer(payload.data(), payload.size());
    reassembler_->Send(protocol::kChannelMessage, {&datagram, 1});
  });
  socket_ = std::make_unique<ReceiveSocket>(window_, options_.receive);
  if (!socket_->IsOpen()) {
    TearDown();
    return;
  }
  ++past_.pipelinesBuilt;
}

void Reception::TearDown() {
  if (socket_) {
    // Stopped first: an end of broadcast the thread still takes is counted with the message it
    // posts.
    socket_->Stop();
    past_.receive += socket_->Stats();
    socket_.reset();
  }
  posted_.DiscardQueued();
  if (fec_) {
    past_.fec += fec_->Stats();
    fec_.reset();
  }
  if (reassembler_) {
    past_.reassembly += reassembler_->Stats();
    reassembler_.reset();
  }
  if (graph_) {
    graph_->CloseGraph();
    const auto& reports = graph_->Reports();
    past_.streams.insert(past_.streams.end(), reports.begin(), reports.end());
    graph_.reset();
  }
}

void Reception::Stop() {
  stopped_ = true;
  TearDown();
}

void Reception::OnDatagram(gui::WindowMessage& message) {
  if (message.buffer) {
    Deliver(message.buffer.get(), message.wParam, false);
    return;
  }
  if (!socket_) return;
  const std::uint64_t discards = discards_;
  for (const Datagram& datagram : socket_->TakeDatagrams()) {
    // A rebuild for a new session drops what was queued behind its description.
    if (discards != discards_) break;
    Deliver(datagram.payload.get(), datagram.length, datagram.parity);
  }
}

void Reception::Deliver(const std::uint8_t* payload, std::size_t length, bool parity) {
  if (!delivering_ || !reassembler_) return;
  ++past_.datagramsDelivered;
  const auto now = FecReceiver::Clock::now();
  if (parity) {
    fec_->OnParity({payload, length}, now);
  } else {
    fec_->OnMedia({payload, length}, now);
  }
}

void Reception::Tick() {
  if (fec_ && delivering_) fec_->Tick(FecReceiver::Clock::now());
}

void Reception::OnEndOfBroadcast() {
  if (stopped_) return;
  ++past_.endOfBroadcastHandled;
  Rebuild();
}

void Reception::OnSenderChanged() {
  if (stopped_) return;
  ++past_.senderChangesHandled;
  Rebuild();
}

void Reception::Rebuild() {
  TearDown();
  // The rest of the time slice goes to whatever the teardown woke, before the build.
  std::this_thread::yield();
  Build();
}

// The window's posted wake-ups go first: the queue's own Clear arms the next one.
void Reception::DiscardQueued() {
  ++discards_;
  posted_.DiscardQueued();
  if (socket_) socket_->DiscardQueued();
  if (fec_) fec_->Reset();
  if (reassembler_) reassembler_->Resync();
}

bool Reception::AudioOnly() const {
  const SourcePins* pins = graph_ ? graph_->Pins() : nullptr;
  if (pins == nullptr) return false;
  bool audio = false;
  for (std::size_t i = 0; i < pins->Count(); ++i) {
    const SourcePin& pin = pins->Pin(i);
    if (!pin.Connected()) continue;
    if (pin.Kind() == kStreamKindVideo) return false;
    audio = audio || pin.Kind() == kStreamKindAudio;
  }
  return audio;
}

std::uint32_t Reception::CurrentMessageNumber() const {
  return reassembler_ ? reassembler_->CurrentMessageNumber() : 0;
}

void Reception::SetVideoRect(const VideoRect& rect) {
  options_.videoRect = rect;
  if (graph_) graph_->SetVideoRect(rect.left, rect.top, rect.width, rect.height);
}

ReceptionTotals Reception::Totals() const {
  ReceptionTotals totals = past_;
  if (socket_) totals.receive += socket_->Stats();
  if (reassembler_) totals.reassembly += reassembler_->Stats();
  if (fec_) totals.fec += fec_->Stats();
  return totals;
}

}  // namespace vantorel::receiver
