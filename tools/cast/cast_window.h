// The casting tool's invisible window: runs the broadcast of the file, restarts or ends it at
// the end of the file, and reports progress.
#pragma once

#include <QObject>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "platform/gui/qt_mailbox.h"
#include "sender/broadcast.h"
#include "sender/media_error.h"
#include "sender/playlist.h"

namespace vantorel::tools {

struct CastOptions {
  // The files, played one after another (folders already expanded).
  std::vector<std::string> paths;
  // A live source instead of files.
  std::optional<sender::LiveSource> live;
  bool loop = false;  // the list (or the one file) starts again after its end
  int fecPercent = sender::kDefaultFecPercent;   // parity added, in percent (0: none)
  std::optional<protocol::SigningKey> identity;  // signs the broadcast; none: unsigned
  std::string name;                              // announced; empty: this host's name
};

class CastWindow : public QObject {
 public:
  // `sink` (not owned) carries the broadcast; `progress` gets the progress lines.
  CastWindow(CastOptions options, sender::UdpBroadcastSink& sink, std::FILE* progress);
  ~CastWindow() override;

  // Opens the live source, or the first file of the list that opens, and starts playing it; a
  // failure when nothing can be broadcast. Each file or source is told on the progress stream
  // as it starts ("vantorel-cast: broadcasting NAME"); a file of several that cannot be opened
  // is told and skipped.
  sender::Status Start();
  // Why Start failed (the last file tried).
  const sender::OpenError& LastOpenError() const { return broadcast_.LastOpenError(); }
  // Closes the session and sends the end-of-broadcast datagrams. Idempotent.
  void Finish();
  // Non-zero after a graph error, or when samples were refused as too long and none was sent.
  int ExitCode() const { return exitCode_; }

  bool event(QEvent* e) override;
  // Announces the broadcast again when due.
  void timerEvent(QTimerEvent* e) override;
  // One progress line: position/duration, messages, datagrams, bytes. On a terminal, one line
  // instead, redrawn in place: file, position/duration, rate in Mbit/s, datagrams.
  void PrintProgress();

 private:
  void OnGraphEvent();
  // Opens and plays the next file of the list that opens; false when none is left.
  sender::Status StartNextItem();
  // "vantorel-cast: broadcasting WHAT" (after the signing line, the first time).
  void TellBroadcasting(const std::string& what);
  // What plays, for the progress line: the file's name or the live source.
  std::string ShownName() const;
  void ReportRefusedSamples(const sender::SampleCounts& counts);

  CastOptions options_;
  sender::UdpBroadcastSink& sink_;
  std::FILE* progress_;
  gui::QtMailbox<sender::GraphNotice> notices_;  // to this window
  sender::Broadcast broadcast_;
  sender::Playlist playlist_;
  bool toldSigning_ = false;
  bool finished_ = false;
  int exitCode_ = 0;
  const bool terminal_;
  bool lineOpen_ = false;  // an in-place line waits for its end
  std::uint64_t lastBytes_ = 0;
  double lastPosition_ = 0;
};

}  // namespace vantorel::tools
