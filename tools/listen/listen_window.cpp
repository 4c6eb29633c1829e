#include "tools/listen/listen_window.h"

#include <QCoreApplication>

#include <cinttypes>

#include "tools/listen/message_format.h"

namespace vantorel::tools {

namespace {

void Add(receiver::ReassemblyStats& a, const receiver::ReassemblyStats& b) {
  a.datagrams += b.datagrams;
  a.delivered += b.delivered;
  a.repeated += b.repeated;
  a.lostFragment += b.lostFragment;
  a.oversized += b.oversized;
  a.malformed += b.malformed;
  a.incomplete += b.incomplete;
  a.abandoned += b.abandoned;
}

void Add(receiver::ReceiveStats& a, const receiver::ReceiveStats& b) {
  a.datagrams += b.datagrams;
  a.posted += b.posted;
  a.endOfBroadcast += b.endOfBroadcast;
  a.wakeUps += b.wakeUps;
  a.foreignSender += b.foreignSender;
  a.oversized += b.oversized;
  a.malformed += b.malformed;
  a.unknownKey += b.unknownKey;
  a.postFailed += b.postFailed;
  a.queueOverflow += b.queueOverflow;
}

}  // namespace

ListenWindow::ListenWindow(ListenOptions options, std::FILE* out)
    : options_(options),
      out_(out),
      handle_(this),
      printer_(*this),
      graphBuilder_(media::ReceiverGraphOptions{media::ReceiverOutput::kNullSinks, nullptr, nullptr}),
      postedDatagrams_(this) {
  Build();
}

ListenWindow::~ListenWindow() { TearDown(); }

void ListenWindow::Build() {
  if (options_.play) {
    playback_ = std::make_unique<receiver::PlaybackGraph>(graphBuilder_, &postedDatagrams_,
                                                          receiver::VideoRect{});
  }
  reassembler_ = std::make_unique<receiver::Reassembler>();
  // Every channel is printed: the printer is the default sink.
  reassembler_->AddRoute(0, &printer_);
  if (playback_) {
    // Messages go to the printer first, then to the playback graph.
    reassembler_->AddRoute(protocol::kChannelMessage, &printer_);
    reassembler_->AddRoute(protocol::kChannelMessage, playback_.get());
  }
  socket_ = std::make_unique<receiver::ReceiveSocket>(handle_, options_.receive);
  postedDatagrams_.SetSocket(socket_.get());
}

void ListenWindow::TearDown() {
  if (socket_) {
    Add(pastReceive_, socket_->Stats());
    postedDatagrams_.SetSocket(nullptr);
    socket_.reset();
  }
  gui::RemovePostedMessages(this, gui::kMsgDatagram);
  if (reassembler_) {
    Add(pastReassembly_, reassembler_->Stats());
    reassembler_->RemoveRoute(0, &printer_);
    if (playback_) {
      reassembler_->RemoveRoute(protocol::kChannelMessage, &printer_);
      reassembler_->RemoveRoute(protocol::kChannelMessage, playback_.get());
    }
    reassembler_.reset();
  }
  if (playback_) {
    playback_->CloseGraph();
    const auto& reports = playback_->Reports();
    pastStreams_.insert(pastStreams_.end(), reports.begin(), reports.end());
    playback_.reset();
  }
}

bool ListenWindow::event(QEvent* e) {
  if (!gui::WindowMessageEvent::IsWindowMessage(e)) return QObject::event(e);
  auto& m = static_cast<gui::WindowMessageEvent*>(e)->Message();
  if (m.message == gui::kMsgDatagram) {
    OnDatagram(m);
  } else if (m.message == gui::kMsgEndOfBroadcast) {
    OnEndOfBroadcast();
  }
  return true;
}

// A message with a buffer carries one datagram; one without says that the receive thread has
// queued a batch.
void ListenWindow::OnDatagram(gui::WindowMessage& m) {
  if (m.buffer) {
    Deliver(m.buffer.get(), m.wParam);
    return;
  }
  if (!socket_) return;
  const std::uint64_t discards = postedDatagrams_.Discards();
  for (const receiver::Datagram& datagram : socket_->TakeDatagrams()) {
    if (discards != postedDatagrams_.Discards()) break;
    Deliver(datagram.payload.get(), datagram.length);
  }
}

void ListenWindow::Deliver(const std::uint8_t* payload, std::size_t length) {
  if (finished_ || !reassembler_) return;
  const protocol::Buffer datagram = protocol::MakeBuffer(payload, length);
  reassembler_->Send(protocol::kChannelMessage, {&datagram, 1});
}

void ListenWindow::OnEndOfBroadcast() {
  if (finished_) return;
  Print("end-of-broadcast");
  TearDown();
  Build();
}

int ListenWindow::Printer::Send(std::uint32_t key, protocol::BufferList buffers) {
  if (owner_.finished_ || buffers.empty()) return 0;
  const std::uint32_t number = owner_.reassembler_->CurrentMessageNumber();
  owner_.Print(DescribeMessage(number, key, {buffers[0].data, buffers[0].length}));
  ++owner_.delivered_;
  if (owner_.options_.count != 0 && owner_.delivered_ >= owner_.options_.count) {
    owner_.finished_ = true;
    QCoreApplication::quit();
  }
  return 1;
}

void ListenWindow::Print(const std::string& line) {
  std::fprintf(out_, "%s\n", line.c_str());
  std::fflush(out_);
}

void ListenWindow::Finish() {
  finished_ = true;
  TearDown();
  const auto& r = pastReassembly_;
  const auto& t = pastReceive_;
  const std::uint64_t dropped = r.Dropped() + t.foreignSender + t.oversized + t.malformed +
                                t.unknownKey + t.postFailed + t.queueOverflow;
  char line[512];
  std::snprintf(line, sizeof line,
                "delivered=%" PRIu64 " dropped=%" PRIu64 " lost-fragment=%" PRIu64
                " foreign-sender=%" PRIu64 " oversized=%" PRIu64 " malformed=%" PRIu64
                " incomplete=%" PRIu64 " unknown-key=%" PRIu64 " post-failed=%" PRIu64
                " abandoned-messages=%" PRIu64 " repeated=%" PRIu64 " queue-overflow=%" PRIu64,
                delivered_, dropped, r.lostFragment, t.foreignSender, r.oversized + t.oversized,
                r.malformed + t.malformed, r.incomplete, t.unknownKey, t.postFailed, r.abandoned,
                r.repeated, t.queueOverflow);
  for (const receiver::StreamReport& stream : pastStreams_) {
    Print(DescribeStream(stream));
    std::fprintf(stderr, "%s\n", DescribeTiming(stream).c_str());
  }
  Print(line);
}

}  // namespace vantorel::tools
