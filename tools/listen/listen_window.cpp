#include "tools/listen/listen_window.h"

#include <QCoreApplication>
#include <QTimerEvent>

#include <cinttypes>

#include "tools/listen/message_format.h"

namespace vantorel::tools {

namespace {
// How often waiting losses are looked at.
constexpr int kTickMs = 20;

double MeanWaitMs(const receiver::FecStats& fec) {
  if (fec.groupsDecoded == 0) return 0;
  return static_cast<double>(fec.waitTotalUs) / 1000.0 / static_cast<double>(fec.groupsDecoded);
}
}  // namespace

ListenWindow::ListenWindow(ListenOptions options, std::FILE* out)
    : options_(options),
      out_(out),
      handle_(this),
      printer_(*this),
      graphBuilder_(
          media::ReceiverGraphOptions{media::ReceiverOutput::kNullSinks, nullptr, nullptr}) {
  // Every channel is printed; with --play, messages go to the printer first, then to the
  // playback graph.
  reception_ = std::make_unique<receiver::Reception>(
      handle_, *this,
      receiver::ReceptionOptions{options_.receive, options_.play ? &graphBuilder_ : nullptr,
                                 receiver::VideoRect{}, &printer_});
  tickTimer_ = startTimer(kTickMs);
}

ListenWindow::~ListenWindow() {
  reception_->Stop();
}

// Losses that wait for parity are given up in time even when nothing more arrives.
void ListenWindow::timerEvent(QTimerEvent* e) {
  if (e->timerId() != tickTimer_) return QObject::timerEvent(e);
  reception_->Tick();
}

void ListenWindow::DiscardQueued() {
  gui::RemovePostedMessages(this, gui::kMsgDatagram);
}

bool ListenWindow::event(QEvent* e) {
  if (!gui::WindowMessageEvent::IsWindowMessage(e)) return QObject::event(e);
  auto& m = static_cast<gui::WindowMessageEvent*>(e)->Message();
  if (m.message == gui::kMsgDatagram) {
    reception_->OnDatagram(m);
  } else if (m.message == gui::kMsgEndOfBroadcast) {
    OnEndOfBroadcast();
  } else if (m.message == gui::kMsgSenderChanged) {
    OnSenderChanged(
        net::Endpoint{static_cast<std::uint32_t>(m.wParam), static_cast<std::uint16_t>(m.lParam)});
  }
  return true;
}

void ListenWindow::OnEndOfBroadcast() {
  if (finished_) return;
  Print("end-of-broadcast");
  reception_->OnEndOfBroadcast();
}

void ListenWindow::OnSenderChanged(const net::Endpoint& sender) {
  if (finished_) return;
  Print("sender-changed from=" + sender.ToString());
  reception_->OnSenderChanged();
}

int ListenWindow::Printer::Send(std::uint32_t key, protocol::BufferList buffers) {
  if (owner_.finished_ || buffers.empty()) return 0;
  const std::uint32_t number = owner_.reception_->CurrentMessageNumber();
  owner_.Print(DescribeMessage(number, key, {buffers[0].data, buffers[0].length}));
  ++owner_.delivered_;
  if (owner_.options_.count != 0 && owner_.delivered_ >= owner_.options_.count) {
    owner_.finished_ = true;
    owner_.reception_->StopDelivering();
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
  reception_->Stop();
  const receiver::ReceptionTotals totals = reception_->Totals();
  const auto& r = totals.reassembly;
  const auto& t = totals.receive;
  const std::uint64_t dropped = r.Dropped() + t.foreignSender + t.oversized + t.malformed +
                                t.unknownKey + t.postFailed + t.queueOverflow;
  char line[768];
  std::snprintf(line, sizeof line,
                "delivered=%" PRIu64 " dropped=%" PRIu64 " lost-fragment=%" PRIu64
                " foreign-sender=%" PRIu64 " oversized=%" PRIu64 " malformed=%" PRIu64
                " incomplete=%" PRIu64 " unknown-key=%" PRIu64 " post-failed=%" PRIu64
                " abandoned-messages=%" PRIu64 " repeated=%" PRIu64 " queue-overflow=%" PRIu64
                " sender-changes=%" PRIu64 " receive-errors=%" PRIu64 " lost-messages=%" PRIu64
                " parity=%" PRIu64 " recovered=%" PRIu64 " unrecoverable=%" PRIu64
                " reordered=%" PRIu64 " groups-rebuilt=%" PRIu64 " rebuild-wait-ms=%.1f/%.1f",
                delivered_, dropped, r.lostFragment, t.foreignSender, r.oversized + t.oversized,
                r.malformed + t.malformed, r.incomplete, t.unknownKey, t.postFailed, r.abandoned,
                r.repeated, t.queueOverflow, t.senderChanges, t.receiveErrors, r.lostMessages,
                totals.fec.parity, totals.fec.recovered, totals.fec.unrecoverable,
                totals.fec.reordered, totals.fec.groupsDecoded, MeanWaitMs(totals.fec),
                static_cast<double>(totals.fec.waitMaxUs) / 1000.0);
  for (const receiver::StreamReport& stream : totals.streams) {
    Print(DescribeStream(stream));
    std::fprintf(stderr, "%s\n", DescribeTiming(stream).c_str());
  }
  Print(line);
}

}  // namespace vantorel::tools
