#include "tools/cast/cast_window.h"

#include <QCoreApplication>

#include <cinttypes>

#include "protocol/wire_format.h"

namespace vantorel::tools {

namespace {
// The headless sender needs no decoded picture or sound: after the grabbers the streams go
// undecoded to clock-synchronised null sinks.
media::GraphOptions HeadlessGraph() { return {media::OutputMode::kNullSinks, nullptr}; }
// Whole mebibytes a sample message can carry, for messages: 16.
constexpr std::uint32_t kMaxSampleMebibytes = (protocol::kMaxSampleData + 1) / (1024 * 1024);
}  // namespace

CastWindow::CastWindow(CastOptions options, sender::UdpBroadcastSink& sink, std::FILE* progress)
    : options_(std::move(options)), sink_(sink), progress_(progress), handle_(this) {}

CastWindow::~CastWindow() { Finish(); }

bool CastWindow::Start() {
  session_ = std::make_unique<sender::SenderSession>(0, &sink_, HeadlessGraph());
  const media::HRESULT hr = session_->Open(&handle_, options_.path);
  if (media::FAILED(hr) || !session_->IsStreaming()) {
    session_.reset();
    return false;
  }
  session_->Play();
  return true;
}

void CastWindow::Finish() {
  if (finished_) return;
  finished_ = true;
  if (session_) {
    PrintProgress();
    ReportRefusedSamples(session_->Samples());
    session_->Close();
    session_.reset();
    sink_.SendEndOfBroadcast();
  }
  gui::RemovePostedMessages(this, gui::kMsgGraphEvent);
}

bool CastWindow::event(QEvent* e) {
  if (!gui::WindowMessageEvent::IsWindowMessage(e)) return QObject::event(e);
  auto& m = static_cast<gui::WindowMessageEvent*>(e)->Message();
  if (m.message == gui::kMsgGraphEvent) OnGraphEvent();
  return true;
}

void CastWindow::OnGraphEvent() {
  if (finished_ || !session_) return;
  const sender::GraphEventCounts before = session_->EventCounts();
  session_->HandleGraphEvents();
  const sender::GraphEventCounts& after = session_->EventCounts();
  if (after.errors > before.errors) {
    std::fprintf(progress_, "vantorel-cast: playback error 0x%08" PRIx32 "\n",
                 static_cast<std::uint32_t>(after.lastError));
    exitCode_ = 1;
    QCoreApplication::quit();
    return;
  }
  if (after.completes > before.completes) {
    // The end of the file leaves the session stopped just before the end; playing from
    // there starts again from the beginning.
    if (options_.loop) {
      session_->Play();
    } else {
      QCoreApplication::quit();
    }
  }
}

void CastWindow::PrintProgress() {
  if (!session_) return;
  const sender::StreamMultiplexer* multiplexer = session_->Multiplexer();
  const std::uint64_t messages = multiplexer != nullptr ? multiplexer->Stats().messages : 0;
  const sender::BroadcastStats sent = sink_.Stats();
  std::fprintf(progress_,
               "position=%.1f/%.1f messages=%" PRIu64 " datagrams=%" PRIu64 " bytes=%" PRIu64
               "\n",
               session_->Position(), session_->Duration(), messages,
               sent.datagrams, sent.bytes);
  std::fflush(progress_);
}

// A file whose samples all exceed what a message can carry plays to its end and sends nothing
// but descriptions: that is a failure, not a broadcast.
void CastWindow::ReportRefusedSamples(const sender::SampleCounts& counts) {
  if (counts.refusedOversized == 0) return;
  if (counts.sent == 0) {
    std::fprintf(progress_,
                 "vantorel-cast: no sample could be sent: %" PRIu64
                 " samples were larger than the %" PRIu32 " MiB a message can carry\n",
                 counts.refusedOversized, kMaxSampleMebibytes);
    exitCode_ = 1;
  } else {
    std::fprintf(progress_,
                 "vantorel-cast: warning: %" PRIu64 " of %" PRIu64
                 " samples were larger than the %" PRIu32
                 " MiB a message can carry and were not sent\n",
                 counts.refusedOversized, counts.sent + counts.refusedOversized,
                 kMaxSampleMebibytes);
  }
  std::fflush(progress_);
}

}  // namespace vantorel::tools
