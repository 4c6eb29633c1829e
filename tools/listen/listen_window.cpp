#include "tools/listen/listen_window.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <cinttypes>
#include <thread>

#include "tools/listen/message_format.h"

namespace vantorel::tools {

namespace {

// A value as it goes in a line of name=value pairs: in double quotes when it is empty or holds
// a space, a quote or a backslash.
std::string Quoted(const std::string& text) {
  if (!text.empty() && text.find_first_of(" \"\\") == std::string::npos) return text;
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + '"';
}

const char* StateName(protocol::SenderState state) {
  switch (state) {
    case protocol::SenderState::kPlaying:
      return "playing";
    case protocol::SenderState::kPaused:
      return "paused";
    case protocol::SenderState::kStopped:
      break;
  }
  return "stopped";
}

const char* SourceName(protocol::SenderSource source) {
  switch (source) {
    case protocol::SenderSource::kFile:
      return "file";
    case protocol::SenderSource::kScreen:
      return "screen";
    case protocol::SenderSource::kCamera:
      return "camera";
    case protocol::SenderSource::kMicrophone:
      return "microphone";
    case protocol::SenderSource::kNothing:
      break;
  }
  return "nothing";
}

double MeanWaitMs(const receiver::FecStats& fec) {
  if (fec.groupsDecoded == 0) return 0;
  return static_cast<double>(fec.waitTotalUs) / 1000.0 / static_cast<double>(fec.groupsDecoded);
}
}  // namespace

std::string DescribeSender(const receiver::HeardSender& sender) {
  const protocol::Announcement& a = sender.announcement;
  const net::Endpoint address{sender.address.address, sender.address.port};
  return "sender name=" + Quoted(a.name) + " address=" + address.ToString() +
         " playing=" + Quoted(a.title) + " state=" + StateName(a.state) +
         " source=" + SourceName(a.source) + " session=" + std::to_string(a.session) +
         " signed-by=" + (sender.fingerprint ? sender.fingerprint->Text() : "-");
}

ListenWindow::ListenWindow(ListenOptions options, std::FILE* out)
    : options_(options),
      out_(out),
      printer_(*this),
      graphBuilder_(receiver::gst::ReceiverGraphOptions{media::ReceiverOutput::kNullSinks, nullptr,
                                                        nullptr}) {
  // Every channel is printed; with --play, messages go to the printer first, then to the
  // playback graph.
  receiver::ReceptionOptions reception;
  reception.receive = options_.receive;
  reception.graph = options_.play ? &graphBuilder_ : nullptr;
  reception.observer = options_.listSenders ? nullptr : &printer_;
  reception.trusted = options_.trusted;
  reception.knownCounters = options_.knownCounters;
  reception.choice = options_.sender;
  reception_ = std::make_unique<receiver::Reception>(std::move(reception),
                                                     static_cast<receiver::ReceptionEvents*>(this));
  started_.store(reception_.get());
}

ListenWindow::~ListenWindow() {
  reception_->Stop();
}

void ListenWindow::OnEndOfBroadcast() {
  if (finished_) return;
  Print("end-of-broadcast");
}

void ListenWindow::OnSenderChanged(const net::Endpoint& sender) {
  if (finished_) return;
  Print("sender-changed from=" + sender.ToString());
}

void ListenWindow::OnChoiceApplied(const net::Endpoint& chosen) {
  if (finished_) return;
  Print("sender-chosen to=" + chosen.ToString());
}

int ListenWindow::Printer::Send(std::uint32_t key, protocol::BufferList buffers) {
  if (owner_.finished_ || buffers.empty()) return 0;
  // The reception may deliver before its constructor has returned to ours.
  receiver::Reception* reception = nullptr;
  while ((reception = owner_.started_.load()) == nullptr) std::this_thread::yield();
  const std::uint32_t number = reception->CurrentMessageNumber();
  owner_.Print(DescribeMessage(number, key, {buffers[0].data, buffers[0].length}));
  ++owner_.delivered_;
  if (owner_.options_.count != 0 && owner_.delivered_ >= owner_.options_.count) {
    owner_.finished_ = true;
    reception->StopDelivering();
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                              Qt::QueuedConnection);
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
  const auto& trust = totals.trust;
  const std::uint64_t dropped = r.Dropped() + t.foreignSender + t.oversized + t.malformed +
                                t.unknownKey + t.postFailed + t.queueOverflow + t.discarded +
                                trust.Refused() + trust.otherSender + trust.malformed +
                                trust.overBudget + trust.afterEnd;
  char line[1280];
  std::snprintf(
      line, sizeof line,
      "delivered=%" PRIu64 " dropped=%" PRIu64 " lost-fragment=%" PRIu64 " foreign-sender=%" PRIu64
      " oversized=%" PRIu64 " malformed=%" PRIu64 " incomplete=%" PRIu64 " unknown-key=%" PRIu64
      " post-failed=%" PRIu64 " abandoned-messages=%" PRIu64 " repeated=%" PRIu64
      " queue-overflow=%" PRIu64 " sender-changes=%" PRIu64 " receive-errors=%" PRIu64
      " discarded=%" PRIu64 " lost-messages=%" PRIu64 " parity=%" PRIu64 " recovered=%" PRIu64
      " unrecoverable=%" PRIu64 " reordered=%" PRIu64 " groups-rebuilt=%" PRIu64
      " rebuild-wait-ms=%.1f/%.1f signatures=%" PRIu64 " signed=%" PRIu64 " unsigned=%" PRIu64
      " bad-signature=%" PRIu64 " replayed=%" PRIu64 " untrusted=%" PRIu64 " other-sender=%" PRIu64
      " unchecked=%" PRIu64 " malformed-signatures=%" PRIu64
      " sender-fingerprint=%s"
      " announcements=%" PRIu64 " senders-heard=%zu",
      delivered_, dropped, r.lostFragment, t.foreignSender, r.oversized + t.oversized,
      r.malformed + t.malformed, r.incomplete, t.unknownKey, t.postFailed, r.abandoned, r.repeated,
      t.queueOverflow, t.senderChanges, t.receiveErrors, t.discarded, totals.LostMessages(),
      totals.fec.parity, totals.fec.recovered, totals.fec.unrecoverable, totals.fec.reordered,
      totals.fec.groupsDecoded, MeanWaitMs(totals.fec),
      static_cast<double>(totals.fec.waitMaxUs) / 1000.0, trust.verified, trust.signedDatagrams,
      trust.unsignedDropped, trust.badSignature, trust.replayed, trust.untrusted, trust.otherSender,
      trust.overBudget, trust.malformed,
      totals.lastFingerprint ? totals.lastFingerprint->Text().c_str() : "-", totals.directory.taken,
      totals.heard.size());
  if (options_.listSenders) {
    for (const receiver::HeardSender& sender : totals.heard) Print(DescribeSender(sender));
  }
  for (const receiver::StreamReport& stream : totals.streams) {
    Print(DescribeStream(stream));
    std::fprintf(stderr, "%s\n", DescribeTiming(stream).c_str());
  }
  Print(line);
}

}  // namespace vantorel::tools
