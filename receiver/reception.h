// The reception pipeline that the receiver's window and the listening tool both run: the
// playback graph (when there is one), the reassembler, and the receive socket with its thread.
// It is built at once, torn down and built again when the sender ends its broadcast, and torn
// down for good by Stop or with the object; the totals add up over every pipeline built.
// Everything here runs on the window thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/gui/window_message.h"
#include "protocol/packet_sink.h"
#include "receiver/fec_receiver.h"
#include "receiver/playback_graph.h"
#include "receiver/reassembler.h"
#include "receiver/receive_socket.h"

namespace vantorel::receiver {

struct ReceptionOptions {
  ReceiveOptions receive;
  // Null: no playback; the messages go to the observer alone. Not owned.
  GraphBuilder* graph = nullptr;
  VideoRect videoRect;
  // Sees every delivered message of every channel, before the playback graph. Not owned;
  // may be null.
  protocol::PacketSink* observer = nullptr;
};

// Counts over every pipeline built, the current one included.
struct ReceptionTotals {
  std::uint64_t pipelinesBuilt = 0;
  std::uint64_t endOfBroadcastHandled = 0;
  std::uint64_t senderChangesHandled = 0;
  std::uint64_t datagramsDelivered = 0;  // handed to a reassembler
  ReceiveStats receive;
  ReassemblyStats reassembly;
  FecStats fec;
  std::vector<StreamReport> streams;  // of the graphs closed so far
};

class Reception : public PostedDatagrams {
 public:
  // `window` is where the receive thread posts; `posted` removes the datagram messages still
  // queued for it. Builds the pipeline at once.
  Reception(gui::WindowHandle& window, PostedDatagrams& posted, ReceptionOptions options);
  ~Reception() override;
  Reception(const Reception&) = delete;
  Reception& operator=(const Reception&) = delete;

  // A datagram message: with a buffer it carries one datagram; without, the receive thread has
  // queued a batch, taken here whole.
  void OnDatagram(gui::WindowMessage& message);
  // The sender ended its broadcast: the pipeline is torn down and built again.
  void OnEndOfBroadcast();
  // Another sender took the lock from a silent one: rebuilt as for an end of broadcast, so
  // the next sender heard (the new one) plays.
  void OnSenderChanged();
  // Gives up losses that waited too long for their parity; called now and then.
  void Tick();
  // Tears the pipeline down for good; what arrives later is ignored.
  void Stop();
  // Nothing more reaches the reassembler, not even the rest of a batch being delivered; the
  // pipeline stays until Stop.
  void StopDelivering() { delivering_ = false; }

  // PostedDatagrams: the playback graph drops what was queued while it was being built.
  void DiscardQueued() override;

  bool Listening() const { return socket_ != nullptr; }
  PlaybackGraph* Graph() { return graph_.get(); }
  const PlaybackGraph* Graph() const { return graph_.get(); }
  const ReceiveSocket* Socket() const { return socket_.get(); }
  std::uint32_t CurrentMessageNumber() const;
  // The sender the current pipeline plays, once one was heard.
  std::optional<net::Endpoint> Sender() const {
    return socket_ ? socket_->LockedSender() : std::nullopt;
  }
  // True while the graph has a sound stream with a decoder and no picture stream with one.
  bool AudioOnly() const;
  void SetVideoRect(const VideoRect& rect);
  ReceptionTotals Totals() const;

 private:
  void Build();
  void TearDown();
  void Rebuild();
  void Deliver(const std::uint8_t* payload, std::size_t length, bool parity);

  gui::WindowHandle& window_;
  PostedDatagrams& posted_;
  ReceptionOptions options_;
  bool stopped_ = false;
  bool delivering_ = true;
  std::uint64_t discards_ = 0;  // DiscardQueued calls: a batch being delivered stops there

  // The pipeline: the reassembler and the socket exist together or not at all; the graph
  // with them when there is playback.
  std::unique_ptr<PlaybackGraph> graph_;
  std::unique_ptr<Reassembler> reassembler_;
  std::unique_ptr<FecReceiver> fec_;  // in front of the reassembler
  std::unique_ptr<ReceiveSocket> socket_;
  ReceptionTotals past_;  // pipelines already torn down
};

}  // namespace vantorel::receiver
