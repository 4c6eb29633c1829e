// The listening tool's invisible window: runs a reception, like the receiver program does, and
// prints every message it delivers and, at the end, the totals.
#pragma once

#include <QObject>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "platform/gui/qt_window_message.h"
#include "protocol/packet_sink.h"
#include "receiver/gst/receiver_playback_graph.h"
#include "receiver/reception.h"
#include "tools/listen/play_report.h"

namespace vantorel::tools {

struct ListenOptions {
  receiver::ReceiveOptions receive;
  std::uint64_t count = 0;  // stop after this many delivered messages; 0: no limit
  bool play = false;        // also play the broadcast, decoded, into null outputs
};

class ListenWindow : public QObject, public receiver::PostedDatagrams {
 public:
  ListenWindow(ListenOptions options, std::FILE* out);
  ~ListenWindow() override;

  bool event(QEvent* e) override;
  void timerEvent(QTimerEvent* e) override;
  // Stops reception and prints the totals line.
  void Finish();
  bool Listening() const { return reception_->Listening(); }
  // PostedDatagrams: removes the datagram messages still queued for this window.
  void DiscardQueued() override;

 private:
  class Printer : public protocol::PacketSink {
   public:
    explicit Printer(ListenWindow& owner) : owner_(owner) {}
    int Send(std::uint32_t key, protocol::BufferList buffers) override;

   private:
    ListenWindow& owner_;
  };

  void OnEndOfBroadcast();
  void OnSenderChanged(const net::Endpoint& sender);
  void Print(const std::string& line);

  ListenOptions options_;
  std::FILE* out_;
  gui::QtWindowHandle handle_;
  Printer printer_;
  bool finished_ = false;
  std::uint64_t delivered_ = 0;
  // Playback (with --play) into null outputs.
  media::GstPlaybackGraphBuilder graphBuilder_;
  std::unique_ptr<receiver::Reception> reception_;  // last: it uses everything above
  int tickTimer_ = 0;
};

}  // namespace vantorel::tools
