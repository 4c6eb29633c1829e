#include "receiver/reception.h"

#include <utility>

#include "receiver/reception_status.h"

namespace vantorel::receiver {

namespace {
// When parity waits for a loss, the parity stage is looked at this often; otherwise the thread
// sleeps until something arrives or a retry is due.
constexpr std::chrono::milliseconds kIdleWait{200};
}  // namespace

Reception::Reception(ReceptionOptions options, ReceptionEvents* events)
    : options_(std::move(options)),
      events_(events),
      gate_(options_.trusted, gated_, options_.receive.senderSilence, options_.knownCounters),
      directory_(options_.trusted) {
  if (gate_.Enforcing()) options_.receive.lock = LockPolicy::kBySignature;
  ApplyChoice(std::chrono::steady_clock::now());
  Build();
  nextRetry_ = std::chrono::steady_clock::now() + options_.retryInterval;
  Publish();
  thread_ = std::thread([this] { Run(); });
}

Reception::~Reception() {
  Stop();
}

void Reception::Stop() {
  {
    std::lock_guard guard(lock_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

bool Reception::Inbox::Post(ReceiveEvent event) {
  {
    std::lock_guard guard(owner_.lock_);
    if (owner_.stopping_) return false;
    owner_.received_.push_back(event);
  }
  owner_.wake_.notify_one();
  return true;
}

void Reception::Play() {
  {
    std::lock_guard guard(lock_);
    playRequested_ = true;
  }
  wake_.notify_one();
}

void Reception::SetVideoRect(const VideoRect& rect) {
  {
    std::lock_guard guard(lock_);
    newRect_ = rect;
  }
  wake_.notify_one();
}

void Reception::Choose(SenderChoice choice) {
  {
    std::lock_guard guard(lock_);
    newChoice_ = std::move(choice);
  }
  wake_.notify_one();
}

void Reception::Run() {
  std::unique_lock guard(lock_);
  while (!stopping_) {
    if (received_.empty() && !playRequested_ && !newRect_ && !newChoice_) {
      const bool waiting = (fec_ && fec_->Held() > 0) || gate_.Held() > 0;
      wake_.wait_for(guard, waiting ? kTickInterval : kIdleWait);
      if (stopping_) break;
    }
    std::deque<ReceiveEvent> events;
    events.swap(received_);
    const bool play = std::exchange(playRequested_, false);
    const std::optional<VideoRect> rect = std::exchange(newRect_, std::nullopt);
    if (newChoice_) options_.choice = *std::exchange(newChoice_, std::nullopt);
    guard.unlock();

    if (rect) {
      options_.videoRect = *rect;
      if (graph_) graph_->SetVideoRect(rect->left, rect->top, rect->width, rect->height);
    }
    if (play && graph_) graph_->Run();
    for (const ReceiveEvent& event : events) Handle(event);
    const auto now = std::chrono::steady_clock::now();
    // Losses are given up by the wall clock only once everything that arrived before it was
    // taken: what still waits in the socket or the queue may fill them. A receive thread held
    // up by a busy machine holds the clock up with it.
    if (!socket_ || socket_->AllTaken()) {
      gate_.Tick(now);
      if (fec_ && delivering_.load()) fec_->Tick(now);
    }
    Retry(now);
    ApplyChoice(now);
    Publish();
    guard.lock();
  }
  guard.unlock();
  TearDown();
  Publish();
}

void Reception::Handle(const ReceiveEvent& event) {
  std::visit(gui::Overloaded{
                 [this](const DatagramsWaiting&) { TakeDatagrams(); },
                 [this](const BroadcastEnded&) { EndOfBroadcast(); },
                 [this](const LockTaken& taken) {
                   gate_.Reset();
                   SenderChanged(taken.sender);
                 },
             },
             event);
}

void Reception::EndOfBroadcast() {
  ++past_.endOfBroadcastHandled;
  Rebuild();
  gate_.Reset();
  if (events_ != nullptr) events_->OnEndOfBroadcast();
}

void Reception::SenderChanged(const net::Endpoint& sender) {
  ++past_.senderChangesHandled;
  Rebuild();
  heardTold_ = sender;
  lastHeardTold_ = std::chrono::steady_clock::now();
  if (events_ != nullptr) events_->OnSenderChanged(sender);
}

void Reception::Gated::Release(Datagram& datagram) {
  if (datagram.kind == DatagramKind::kEndOfBroadcast) {
    owner_.EndOfBroadcast();
    return;
  }
  if (!owner_.delivering_.load() || !owner_.reassembler_) return;
  ++owner_.past_.datagramsDelivered;
  const std::span<const std::uint8_t> payload(datagram.payload.get(), datagram.length);
  if (datagram.kind == DatagramKind::kParity) {
    owner_.fec_->OnParity(payload, datagram.arrived);
  } else {
    owner_.fec_->OnMedia(payload, datagram.arrived);
  }
}

void Reception::Gated::SenderChanged(const DatagramSource& sender) {
  owner_.SenderChanged(net::Endpoint{sender.address, sender.port});
}

std::optional<net::Endpoint> Reception::Sender() const {
  if (gate_.Enforcing()) {
    const std::optional<DatagramSource> s = gate_.Sender();
    return s ? std::optional<net::Endpoint>(net::Endpoint{s->address, s->port}) : std::nullopt;
  }
  return socket_ ? socket_->LockedSender() : std::nullopt;
}

void Reception::TakeDatagrams() {
  if (!socket_) return;
  std::deque<Datagram> batch = socket_->TakeDatagrams();
  if (batch.empty()) return;
  // Only what the locked sender broadcasts tells that it is heard: announcements go on while a
  // sender pauses, and come from every sender on the air.
  const std::optional<net::Endpoint> before = Sender();
  bool heard = false, broadcast = false;
  for (Datagram& datagram : batch) {
    if (datagram.kind == DatagramKind::kAnnouncement) {
      directory_.Hear({datagram.payload.get(), datagram.length}, datagram.source, datagram.arrived);
      continue;
    }
    broadcast = true;
    heard = heard || (before && datagram.source == DatagramSource{before->address, before->port});
    Deliver(datagram);
  }
  const std::optional<net::Endpoint> sender = Sender();
  if (sender != before) heard = broadcast;  // the lock was taken in this batch
  if (!heard || !sender || events_ == nullptr) return;
  const auto now = std::chrono::steady_clock::now();
  if (heardTold_ == sender && now - lastHeardTold_ < kHeardInterval) return;
  heardTold_ = sender;
  lastHeardTold_ = now;
  events_->OnHeard(*sender);
}

void Reception::Deliver(Datagram& datagram) {
  if (!delivering_.load() || !reassembler_) return;
  gate_.Take(std::move(datagram));
}

// Playback graph, reassembler, parity stage, socket: the socket last, so that nothing arrives
// before the rest can take it. A socket that cannot be opened is tried again later.
void Reception::Build() {
  if (options_.graph != nullptr) {
    graph_ = std::make_unique<PlaybackGraph>(*options_.graph, options_.videoRect);
  }
  reassembler_ = std::make_unique<Reassembler>();
  if (options_.observer != nullptr) {
    reassembler_->AddRoute(0, options_.observer);
    reassembler_->AddRoute(protocol::kChannelMessage, options_.observer);
  }
  if (graph_) reassembler_->AddRoute(protocol::kChannelMessage, graph_.get());
  fec_ = std::make_unique<FecReceiver>([this](std::span<const std::uint8_t> payload) {
    if (!delivering_.load()) return;
    const protocol::Buffer datagram = protocol::MakeBuffer(payload.data(), payload.size());
    reassembler_->Send(protocol::kChannelMessage, {&datagram, 1});
  });
  if (OpenSocket()) ++past_.pipelinesBuilt;
}

bool Reception::OpenSocket() {
  socket_ = std::make_unique<ReceiveSocket>(inbox_, options_.receive);
  if (!socket_->IsOpen()) socket_.reset();
  listening_.store(socket_ != nullptr);
  return socket_ != nullptr;
}

void Reception::CloseSocket() {
  if (!socket_) return;
  // Stopped first: an end of broadcast the thread still takes is counted with the message it
  // posts.
  socket_->Stop();
  past_.receive += socket_->Stats();
  socket_.reset();
  listening_.store(false);
}

void Reception::TearDown() {
  CloseSocket();
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
    past_.pinOverflow += graph_->PinOverflow();
    {
      std::lock_guard guard(lock_);
      const auto& reports = graph_->Reports();
      closedStreams_.insert(closedStreams_.end(), reports.begin(), reports.end());
    }
    graph_.reset();
  }
  heardTold_.reset();
  describedGraph_ = nullptr;
}

void Reception::Rebuild() {
  TearDown();
  Build();
}

void Reception::Retry(std::chrono::steady_clock::time_point now) {
  if (now < nextRetry_) return;
  nextRetry_ = now + options_.retryInterval;
  if (!reassembler_) return;  // torn down for good
  if (!socket_) {
    if (OpenSocket()) ++past_.pipelinesBuilt;
    return;
  }
  const std::string& name = options_.receive.interfaceName;
  if (name.empty()) return;
  // An interface that was deleted and added again has a new index: the socket bound to the
  // old one hears nothing, and the group has to be joined again.
  const std::optional<net::NetworkInterface> device = net::FindInterface(name);
  if (device && device->index == socket_->InterfaceIndex()) return;
  CloseSocket();
  if (device && OpenSocket()) ++past_.socketsReopened;
}

void Reception::ApplyChoice(std::chrono::steady_clock::time_point now) {
  const std::optional<net::Endpoint> locked = Sender();
  const std::optional<DatagramSource> lockedSource =
      locked ? std::optional<DatagramSource>(DatagramSource{locked->address, locked->port})
             : std::nullopt;
  const SenderPreference preference = directory_.Preference(options_.choice, lockedSource, now);
  if (preference == preference_) return;
  preference_ = preference;
  options_.receive.preference = preference;
  gate_.SetPreference(preference);
  if (socket_) socket_->SetPreference(preference);
  if (!lockedSource || preference.Allows(*lockedSource) || !reassembler_) return;
  // The sender being played is not the one wanted: what it sent goes, and the pipeline waits
  // for the chosen one.
  ++past_.choicesApplied;
  Rebuild();
  gate_.Reset();
  if (events_ != nullptr && preference.mode == SenderPreference::Mode::kOnly) {
    events_->OnChoiceApplied(net::Endpoint{preference.only.address, preference.only.port});
  }
}

void Reception::Publish() {
  ReceptionView view;
  view.listening = socket_ != nullptr;
  view.sender = Sender();
  view.trustedOnly = gate_.Enforcing();
  view.fingerprint = gate_.SenderFingerprint();
  const auto now = std::chrono::steady_clock::now();
  // Listed again when an announcement changed it, or as senders go off the air.
  if (listedGeneration_ != directory_.Generation() ||
      now - listedAt_ >= std::chrono::milliseconds(250)) {
    listedGeneration_ = directory_.Generation();
    listedAt_ = now;
    onAir_ = directory_.OnAir(now);
    heard_ = directory_.Remembered();
  }
  view.senders = onAir_;
  view.choice = options_.choice;
  for (const HeardSender& s : onAir_) {
    if (view.sender && s.address == DatagramSource{view.sender->address, view.sender->port}) {
      view.announced = s;
    }
    if (!view.chosen && preference_.mode == SenderPreference::Mode::kOnly &&
        preference_.Allows(s.address)) {
      view.chosen = s;
    }
  }
  ReceptionTotals totals = past_;
  totals.directory = directory_.Stats();
  totals.heard = heard_;
  if (socket_) totals.receive += socket_->Stats();
  if (reassembler_) totals.reassembly += reassembler_->Stats();
  if (fec_) totals.fec += fec_->Stats();
  totals.trust = gate_.Stats();
  // Made again only when another signature was checked and found good.
  if (gate_.Enforcing() && (counters_.empty() || countersAt_ != gate_.Stats().verified)) {
    counters_ = gate_.HighestCounters();
    countersAt_ = gate_.Stats().verified;
  }
  totals.counters = counters_;
  if (view.fingerprint) past_.lastFingerprint = view.fingerprint;
  totals.lastFingerprint = past_.lastFingerprint;
  if (graph_) {
    totals.pinOverflow += graph_->PinOverflow();
    view.session = graph_->Session();
    view.builds = graph_->Stats().builds;
    if (describedGraph_ != graph_.get() || describedBuilds_ != view.builds) {
      describedGraph_ = graph_.get();
      describedBuilds_ = view.builds;
      Describe(graph_->Pins());
    }
    view.formats = formats_;
    view.audioOnly = audioOnly_;
  }
  std::lock_guard guard(lock_);
  view_ = std::move(view);
  published_ = std::move(totals);
}

void Reception::Describe(const SourcePins* pins) {
  formats_.clear();
  audioOnly_ = false;
  if (pins == nullptr) return;
  bool audio = false, video = false;
  for (std::size_t i = 0; i < pins->Count(); ++i) {
    const SourcePin& pin = pins->Pin(i);
    formats_.push_back(DescribeFormat(pin.Record()));
    if (!pin.Connected()) continue;
    video = video || pin.Kind() == kStreamKindVideo;
    audio = audio || pin.Kind() == kStreamKindAudio;
  }
  audioOnly_ = audio && !video;
}

ReceptionView Reception::View() const {
  std::lock_guard guard(lock_);
  return view_;
}

ReceptionTotals Reception::Totals() const {
  std::lock_guard guard(lock_);
  ReceptionTotals totals = published_;
  totals.streams = closedStreams_;
  return totals;
}

std::uint32_t Reception::CurrentMessageNumber() const {
  return reassembler_ ? reassembler_->CurrentMessageNumber() : 0;
}

}  // namespace vantorel::receiver
