// The listening tool's invisible window: owns the reception pipeline (socket and thread,
// reassembler, printer), takes the datagrams that the receive thread posts, and rebuilds the
// pipeline when a sender ends its broadcast, like the receiver program does.
#pragma once

#include <QObject>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "platform/gui/qt_window_message.h"
#include "protocol/packet_sink.h"
#include "receiver/reassembler.h"
#include "receiver/receive_socket.h"
#include "tools/listen/play_report.h"

namespace vantorel::tools {

struct ListenOptions {
  receiver::ReceiveOptions receive;
  std::uint64_t count = 0;  // stop after this many delivered messages; 0: no limit
  bool play = false;        // also play the broadcast, decoded, into null outputs
};

class ListenWindow : public QObject {
 public:
  ListenWindow(ListenOptions options, std::FILE* out);
  ~ListenWindow() override;

  bool event(QEvent* e) override;
  // Stops reception and prints the totals line.
  void Finish();
  bool Listening() const { return socket_ && socket_->IsOpen(); }

 private:
  class Printer : public protocol::PacketSink {
   public:
    explicit Printer(ListenWindow& owner) : owner_(owner) {}
    int Send(std::uint32_t key, protocol::BufferList buffers) override;

   private:
    ListenWindow& owner_;
  };

  void Build();
  void TearDown();
  void OnDatagram(gui::WindowMessage& m);
  void Deliver(const std::uint8_t* payload, std::size_t length);
  void OnEndOfBroadcast();
  void Print(const std::string& line);

  ListenOptions options_;
  std::FILE* out_;
  gui::QtWindowHandle handle_;
  Printer printer_;
  std::unique_ptr<receiver::Reassembler> reassembler_;
  std::unique_ptr<receiver::ReceiveSocket> socket_;
  bool finished_ = false;
  std::uint64_t delivered_ = 0;
  // Totals of pipelines already torn down.
  receiver::ReassemblyStats pastReassembly_;
  receiver::ReceiveStats pastReceive_;
  // Playback (with --play): made before the reassembler and deleted after it.
  media::GstPlaybackGraphBuilder graphBuilder_;
  QtPostedDatagrams postedDatagrams_;
  std::unique_ptr<receiver::PlaybackGraph> playback_;
  std::vector<receiver::StreamReport> pastStreams_;
};

}  // namespace vantorel::tools
