#include "tools/cast/cast_window.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <filesystem>

#include <QCoreApplication>

#include <cinttypes>
#include <cstdlib>
#include <string_view>

#include "protocol/wire_format.h"

namespace vantorel::tools {

namespace {
// The headless sender needs no decoded picture or sound: after the grabbers the streams go
// undecoded to clock-synchronised null sinks.
media::GraphOptions HeadlessGraph() {
  return {media::OutputMode::kNullSinks, nullptr};
}
// Room for the figures of the in-place progress line.
constexpr std::size_t kFiguresCapacity = 128;
constexpr int kFallbackColumns = 80;
constexpr int kAnnounceCheckMs = 100;

// The terminal's width in columns: its window size, else $COLUMNS, else 80.
int TerminalColumns(int fd) {
  winsize size{};
  if (::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  if (const char* columns = std::getenv("COLUMNS")) {
    const int value = std::atoi(columns);
    if (value > 0) return value;
  }
  return kFallbackColumns;
}

// The name and the figures in fewer columns than `columns` (the last one stays free, so that
// the line never wraps): the name is shortened first, from the middle, then the figures are cut.
std::string FitToWidth(const std::string& name, const std::string& figures, int columns) {
  const std::size_t room = columns > 1 ? static_cast<std::size_t>(columns - 1) : 0;
  static constexpr std::string_view kEllipsis = "...";
  std::string shown = name;
  if (shown.size() + figures.size() > room) {
    const std::size_t keep =
        room > figures.size() + kEllipsis.size() + 2 ? room - figures.size() - kEllipsis.size() : 0;
    // Cuts fall between UTF-8 sequences.
    const auto continues = [&name](std::size_t at) {
      return at < name.size() && (static_cast<unsigned char>(name[at]) & 0xC0) == 0x80;
    };
    std::size_t head = keep / 2;
    while (head > 0 && continues(head)) --head;
    std::size_t tail = name.size() - (keep - keep / 2);
    while (continues(tail)) ++tail;
    shown = keep > 0 ? name.substr(0, head) + std::string(kEllipsis) + name.substr(tail)
                     : std::string();
  }
  std::string line = shown + (shown.empty() ? figures.substr(2) : figures);
  if (line.size() > room) line.resize(room);
  return line;
}

protocol::SenderSource LiveSourceKind(const sender::LiveSource& live) {
  switch (live.video) {
    case sender::LiveVideo::kScreen:
      return protocol::SenderSource::kScreen;
    case sender::LiveVideo::kCamera:
      return protocol::SenderSource::kCamera;
    case sender::LiveVideo::kNone:
      break;
  }
  return protocol::SenderSource::kMicrophone;
}

// Whole mebibytes a sample message can carry, for messages: 16.
constexpr std::uint32_t kMaxSampleMebibytes = (protocol::kMaxSampleData + 1) / (1024 * 1024);
}  // namespace

CastWindow::CastWindow(CastOptions options, sender::UdpBroadcastSink& sink, std::FILE* progress)
    : options_(std::move(options)),
      sink_(sink),
      progress_(progress),
      notices_(this),
      broadcast_(sink_, HeadlessGraph(), options_.fecPercent, options_.identity, options_.name),
      terminal_(::isatty(::fileno(progress)) == 1) {}

CastWindow::~CastWindow() {
  Finish();
}

sender::Status CastWindow::Start() {
  if (options_.live) {
    sender::Status status = broadcast_.OpenLive(&notices_, *options_.live);
    if (!status.ok()) return status;
    broadcast_.Session()->Play();
    broadcast_.Announce(protocol::SenderState::kPlaying, LiveSourceKind(*options_.live),
                        sender::DescribeLive(*options_.live));
    TellBroadcasting(ShownName());
  } else {
    playlist_.Assign(options_.paths);
    playlist_.SetLoop(options_.loop && options_.paths.size() > 1);
    sender::Status status = StartNextItem();
    if (!status.ok()) return status;
  }
  // Often enough that a second never passes without an announcement.
  startTimer(kAnnounceCheckMs);
  return {};
}

void CastWindow::TellBroadcasting(const std::string& what) {
  // Scripts wait for this line: the samples go out from here on.
  if (!toldSigning_ && options_.identity) {
    std::fprintf(progress_, "vantorel-cast: signing as %s\n",
                 options_.identity->FingerprintOf().Text().c_str());
  }
  toldSigning_ = true;
  if (lineOpen_) std::fputc('\n', progress_);
  lineOpen_ = false;
  std::fprintf(progress_, "vantorel-cast: broadcasting %s\n", what.c_str());
  std::fflush(progress_);
}

sender::Status CastWindow::StartNextItem() {
  sender::Status status(sender::MediaErrc::kFailed);
  while (const auto index = playlist_.Next()) {
    const std::string path = playlist_.CurrentItem();
    status = broadcast_.Open(&notices_, path);
    if (status.ok()) {
      playlist_.MarkPlayed();
      broadcast_.Session()->Play();
      broadcast_.Announce(protocol::SenderState::kPlaying, protocol::SenderSource::kFile,
                          std::filesystem::path(path).filename().string());
      lastBytes_ = sink_.Stats().bytes;
      lastPosition_ = 0;
      TellBroadcasting(path);
      return status;
    }
    playlist_.MarkFailed();
    // One file alone is the whole broadcast: its failure is the tool's, told by the caller.
    if (playlist_.Size() == 1) return status;
    if (lineOpen_) std::fputc('\n', progress_);
    lineOpen_ = false;
    std::fprintf(progress_, "vantorel-cast: skipped %s: %s\n", path.c_str(),
                 sender::FailureMessage(broadcast_.LastOpenError()).c_str());
    std::fflush(progress_);
  }
  return status;
}

std::string CastWindow::ShownName() const {
  if (options_.live) return sender::DescribeLive(*options_.live);
  return std::filesystem::path(playlist_.CurrentItem()).filename().string();
}

void CastWindow::Finish() {
  if (finished_) return;
  finished_ = true;
  if (const sender::SenderSession* session = broadcast_.Session()) {
    PrintProgress();
    if (lineOpen_) std::fputc('\n', progress_);
    lineOpen_ = false;
    ReportRefusedSamples(session->Samples());
    broadcast_.End();
    // Counted once the session's streams have stopped: nothing more goes out after this.
    const std::uint64_t samples = broadcast_.ClosedSessionSamples().sent;
    // What went out, for scripts that compare it with what arrived.
    const sender::FecStats parity = broadcast_.Parity().value_or(sender::FecStats{});
    const sender::SigningStats signing = broadcast_.Signing().value_or(sender::SigningStats{});
    std::fprintf(progress_,
                 "vantorel-cast: sent samples=%" PRIu64 " datagrams=%" PRIu64
                 " parity-datagrams=%" PRIu64 " media-bytes=%" PRIu64 " parity-bytes=%" PRIu64
                 " signature-datagrams=%" PRIu64 " signature-bytes=%" PRIu64 "\n",
                 samples, sink_.Stats().datagrams, parity.parityDatagrams, parity.sourceBytes,
                 parity.parityBytes, signing.signatureDatagrams, signing.signatureBytes);
    std::fflush(progress_);
  }
  notices_.RemovePosted();
}

void CastWindow::timerEvent(QTimerEvent*) {
  if (!finished_) broadcast_.TickAnnouncement();
}

bool CastWindow::event(QEvent* e) {
  if (gui::PostedEvent<sender::GraphNotice>::From(e) == nullptr) return QObject::event(e);
  OnGraphEvent();
  return true;
}

void CastWindow::OnGraphEvent() {
  if (finished_ || !broadcast_.Session()) return;
  const sender::GraphEventNews news = broadcast_.HandleGraphEvents();
  if (news.failed) {
    if (lineOpen_) std::fputc('\n', progress_);
    lineOpen_ = false;
    const std::string& words = news.lastError.message();
    std::fprintf(progress_, "vantorel-cast: playback error: %s\n",
                 words.empty() ? "the graph stopped" : words.c_str());
    exitCode_ = 1;
    QCoreApplication::quit();
    return;
  }
  if (news.completed) {
    // The end of the file leaves the session stopped just before the end; playing from
    // there starts again from the beginning. A list goes on with its next file, each in a
    // session of its own.
    if (options_.loop && playlist_.Size() == 1) {
      broadcast_.Session()->Play();
    } else if (!StartNextItem().ok()) {
      if (playlist_.Exhausted()) exitCode_ = 1;
      QCoreApplication::quit();
    }
  }
}

void CastWindow::PrintProgress() {
  sender::SenderSession* session = broadcast_.Session();
  if (session == nullptr) return;
  const sender::StreamMultiplexer* multiplexer = session->Multiplexer();
  const std::uint64_t messages = multiplexer != nullptr ? multiplexer->Stats().messages : 0;
  const sender::BroadcastStats sent = sink_.Stats();
  const double position = session->Position();
  if (terminal_) {
    // The rate over the last second of media (the progress comes once a second).
    const double seconds = position > lastPosition_ ? position - lastPosition_ : 1.0;
    const double mbits = static_cast<double>(sent.bytes - lastBytes_) * 8 / 1e6 / seconds;
    lastBytes_ = sent.bytes;
    lastPosition_ = position;
    char figures[kFiguresCapacity];
    if (session->Live()) {
      std::snprintf(figures, sizeof figures,
                    "  %.1f s on the air  %.2f Mbit/s  %" PRIu64 " datagrams", position, mbits,
                    sent.datagrams);
    } else {
      std::snprintf(figures, sizeof figures, "  %.1f/%.1f s  %.2f Mbit/s  %" PRIu64 " datagrams",
                    position, session->Duration(), mbits, sent.datagrams);
    }
    const std::string name = ShownName();
    const std::string line = FitToWidth(name, figures, TerminalColumns(::fileno(progress_)));
    std::fprintf(progress_, "\r\033[K%s", line.c_str());
    lineOpen_ = true;
  } else {
    std::fprintf(progress_,
                 "position=%.1f/%.1f messages=%" PRIu64 " datagrams=%" PRIu64 " bytes=%" PRIu64
                 "\n",
                 position, session->Duration(), messages, sent.datagrams, sent.bytes);
  }
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
    std::fprintf(
        progress_,
        "vantorel-cast: warning: %" PRIu64 " of %" PRIu64 " samples were larger than the %" PRIu32
        " MiB a message can carry and were not sent\n",
        counts.refusedOversized, counts.sent + counts.refusedOversized, kMaxSampleMebibytes);
  }
  std::fflush(progress_);
}

}  // namespace vantorel::tools
