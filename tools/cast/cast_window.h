// The casting tool's invisible window: runs the broadcast of the file, restarts or ends it at
// the end of the file, and reports progress.
#pragma once

#include <QObject>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "platform/gui/qt_window_message.h"
#include "sender/broadcast.h"

namespace vantorel::tools {

struct CastOptions {
  std::string path;
  bool loop = false;
  int fecPercent = sender::kDefaultFecPercent;   // parity added, in percent (0: none)
  std::optional<protocol::SigningKey> identity;  // signs the broadcast; none: unsigned
  std::string name;                              // announced; empty: this host's name
};

class CastWindow : public QObject {
 public:
  // `sink` (not owned) carries the broadcast; `progress` gets the progress lines.
  CastWindow(CastOptions options, sender::UdpBroadcastSink& sink, std::FILE* progress);
  ~CastWindow() override;

  // Opens the file and starts playing it; a failure when the file cannot be broadcast.
  HRESULT Start();
  // Why Start failed.
  const media::OpenError& LastOpenError() const { return broadcast_.LastOpenError(); }
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
  void ReportRefusedSamples(const sender::SampleCounts& counts);

  CastOptions options_;
  sender::UdpBroadcastSink& sink_;
  std::FILE* progress_;
  gui::QtWindowHandle handle_;
  sender::Broadcast broadcast_;
  bool finished_ = false;
  int exitCode_ = 0;
  const bool terminal_;
  bool lineOpen_ = false;  // an in-place line waits for its end
  std::uint64_t lastBytes_ = 0;
  double lastPosition_ = 0;
};

}  // namespace vantorel::tools
