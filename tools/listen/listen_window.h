// The listening tool's reception: runs a reception, like the receiver program does, and
// prints every message it delivers and, at the end, the totals.
#pragma once

#include <QObject>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "protocol/packet_sink.h"
#include "receiver/gst/receiver_playback_graph.h"
#include "receiver/reception.h"
#include "tools/listen/play_report.h"

namespace vantorel::tools {

struct ListenOptions {
  receiver::ReceiveOptions receive;
  std::uint64_t count = 0;  // stop after this many delivered messages; 0: no limit
  bool play = false;        // also play the broadcast, decoded, into null outputs
  std::vector<protocol::Fingerprint> trusted;       // empty: any sender
  receiver::SignatureGate::Counters knownCounters;  // of an earlier run
  receiver::SenderChoice sender;                    // empty: the first sender heard
  // Print no messages; at the end, one line per sender heard.
  bool listSenders = false;
};

// One line of --list-senders: "sender name=... address=A:P playing=... state=... ...".
std::string DescribeSender(const receiver::HeardSender& sender);

// Everything but the constructor, Finish and Listening runs on the reception's thread, so the
// lines come out in the order things happened there.
class ListenWindow : private receiver::ReceptionEvents {
 public:
  ListenWindow(ListenOptions options, std::FILE* out);
  ~ListenWindow() override;

  // Stops reception and prints the totals line.
  void Finish();
  // The highest signature counters seen of the trusted keys, once finished.
  receiver::SignatureGate::Counters Counters() const { return reception_->Totals().counters; }
  bool Listening() const { return reception_->Listening(); }

 private:
  class Printer : public protocol::PacketSink {
   public:
    explicit Printer(ListenWindow& owner) : owner_(owner) {}
    int Send(std::uint32_t key, protocol::BufferList buffers) override;

   private:
    ListenWindow& owner_;
  };

  void OnEndOfBroadcast() override;
  void OnSenderChanged(const net::Endpoint& sender) override;
  void OnChoiceApplied(const net::Endpoint& chosen) override;
  void Print(const std::string& line);

  ListenOptions options_;
  std::FILE* out_;
  Printer printer_;
  std::atomic<bool> finished_{false};
  std::uint64_t delivered_ = 0;
  // Playback (with --play) into null outputs.
  receiver::gst::GstPlaybackGraphBuilder graphBuilder_;
  std::unique_ptr<receiver::Reception> reception_;      // last: it uses everything above
  std::atomic<receiver::Reception*> started_{nullptr};  // reception_, for its own thread
};

}  // namespace vantorel::tools
