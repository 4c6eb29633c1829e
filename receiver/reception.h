// The reception pipeline that the receiver's window and the listening tool both run: the
// receive socket with its thread, the parity stage, the reassembler and the playback graph
// (when there is one). It runs on a thread of its own, so nothing on the way from the socket to
// the pins' queues ever waits for a window:
//
//   socket -> receive thread -> bounded datagram queue -> reception thread (parity stage,
//   reassembler, playback graph: builds and routing) -> pins' packet queues -> the pins'
//   streaming threads -> decoders and outputs
//
// A graph build holds up only the reception thread; the datagrams behind it wait in the
// datagram queue and go to the new graph. Whoever shows the reception gets only events (end of
// broadcast, a sender change, a sender heard) and reads a snapshot of its state.
//
// The pipeline is built at once, torn down and built again when the sender ends its broadcast
// or gives way to another, and torn down for good by Stop or with the object; the totals add up
// over every pipeline built. A port that cannot be bound is tried again every few seconds, and
// a socket bound to an interface that went away and came back is opened again.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "protocol/packet_sink.h"
#include "receiver/fec_receiver.h"
#include "receiver/playback_graph.h"
#include "receiver/reassembler.h"
#include "receiver/receive_socket.h"
#include "receiver/sender_directory.h"
#include "receiver/signature_gate.h"

namespace vantorel::receiver {

// What the reception tells whoever shows it. Called on the reception thread, in the order
// things happened there (after the messages delivered before them); implementations post to
// their own thread or print, and never call back into the reception.
class ReceptionEvents {
 public:
  virtual ~ReceptionEvents() = default;
  // The sender ended its broadcast; the pipeline was built again for the next one.
  virtual void OnEndOfBroadcast() {}
  // The locked sender fell silent and `sender` took the lock; the pipeline was built again.
  virtual void OnSenderChanged(const net::Endpoint& sender) { (void)sender; }
  // Another sender held the lock when `chosen` (a port of 0: any port) was chosen: the
  // pipeline was built again and waits for the chosen one.
  virtual void OnChoiceApplied(const net::Endpoint& chosen) { (void)chosen; }
  // Datagrams of `sender` arrived; told at most every kHeardInterval.
  virtual void OnHeard(const net::Endpoint& sender) { (void)sender; }
};

struct ReceptionOptions {
  ReceiveOptions receive;
  // Null: no playback; the messages go to the observer alone. Not owned.
  GraphBuilder* graph = nullptr;
  VideoRect videoRect;
  // Sees every delivered message of every channel, before the playback graph, on the
  // reception thread. Not owned; may be null.
  protocol::PacketSink* observer = nullptr;
  // How often a port that could not be bound, or an interface that changed, is looked at.
  std::chrono::milliseconds retryInterval{2000};
  // Empty: any sender plays (and its fingerprint is read when it signs). Otherwise only a
  // sender whose signatures these fingerprints trust is received.
  std::vector<protocol::Fingerprint> trusted;
  // The highest signature counters of trusted keys that an earlier run had seen.
  SignatureGate::Counters knownCounters;
  // The sender wanted, by name or address; empty: the first sender heard.
  SenderChoice choice;
};

// Counts over every pipeline built, the current one included.
struct ReceptionTotals {
  std::uint64_t pipelinesBuilt = 0;
  std::uint64_t endOfBroadcastHandled = 0;
  std::uint64_t senderChangesHandled = 0;
  std::uint64_t socketsReopened = 0;     // the chosen interface went away and came back
  std::uint64_t choicesApplied = 0;      // pipelines built again to leave for a chosen sender
  std::uint64_t datagramsDelivered = 0;  // handed to the parity stage
  std::uint64_t pinOverflow = 0;         // messages pushed out of a pin's full queue
  ReceiveStats receive;
  ReassemblyStats reassembly;
  FecStats fec;
  TrustStats trust;
  DirectoryStats directory;
  std::vector<HeardSender> heard;  // every sender remembered, the first heard first
  std::optional<protocol::Fingerprint> lastFingerprint;  // of the last sender that signed
  SignatureGate::Counters counters;   // the highest seen of each trusted key, for the next run
  std::vector<StreamReport> streams;  // of the graphs closed so far

  // Messages that never reached the pins: gaps in the numbering, messages begun and not
  // finished, and those a full pin queue pushed out.
  std::uint64_t LostMessages() const { return reassembly.lostMessages + pinOverflow; }
};

// The reception as it stands, for another thread.
struct ReceptionView {
  bool listening = false;
  std::optional<net::Endpoint> sender;  // the one the current pipeline locked onto
  std::optional<std::uint8_t> session;  // of the running graph
  std::uint64_t builds = 0;             // graphs built by the current pipeline
  bool audioOnly = false;            // a sound stream with a decoder and no picture stream with one
  std::vector<std::string> formats;  // the running graph's streams, in a few words each
  bool trustedOnly = false;          // only trusted senders are received
  std::optional<protocol::Fingerprint> fingerprint;  // of the sender, when it signs
  std::vector<HeardSender> senders;                  // on the air, the first heard first
  // The locked sender's announcement while it is on the air.
  std::optional<HeardSender> announced;
  SenderChoice choice;
  // The sender chosen by name or address, while it is on the air.
  std::optional<HeardSender> chosen;
};

class Reception {
 public:
  static constexpr std::chrono::milliseconds kHeardInterval{100};
  // How often the parity stage looks at waiting losses when nothing arrives.
  static constexpr std::chrono::milliseconds kTickInterval{10};

  // Builds the pipeline at once (so Listening() answers at return) and starts the thread.
  explicit Reception(ReceptionOptions options, ReceptionEvents* events = nullptr);
  ~Reception();
  Reception(const Reception&) = delete;
  Reception& operator=(const Reception&) = delete;

  // Stops the thread and tears the pipeline down for good; what arrives later is ignored. The
  // totals stay readable and final. Any thread but the reception's; idempotent.
  void Stop();
  // Nothing more reaches the reassembler, not even the rest of a batch being delivered; the
  // pipeline stays until Stop. Any thread (the observer may call it).
  void StopDelivering() { delivering_.store(false); }
  // Plays the graph if it was stopped (the window's Play command). Any thread.
  void Play();
  void SetVideoRect(const VideoRect& rect);
  // Receives the chosen sender from now on (an empty choice: the first sender heard). When
  // another sender holds the lock, the pipeline is built again for the chosen one. Any thread.
  void Choose(SenderChoice choice);

  bool Listening() const { return listening_.load(); }
  ReceptionView View() const;
  ReceptionTotals Totals() const;
  // The number of the message being delivered; for the observer, on the reception thread.
  std::uint32_t CurrentMessageNumber() const;

 private:
  // What the receive thread posts (datagram batches, end of broadcast, sender changes),
  // queued for the reception thread.
  class Inbox : public ReceiveOwner {
   public:
    explicit Inbox(Reception& owner) : owner_(owner) {}
    bool Post(ReceiveEvent event) override;

   private:
    Reception& owner_;
  };

  // What the signature gate lets through, on the reception thread.
  class Gated : public SignatureGate::Output {
   public:
    explicit Gated(Reception& owner) : owner_(owner) {}
    void Release(Datagram& datagram) override;
    void SenderChanged(const DatagramSource& sender) override;

   private:
    Reception& owner_;
  };

  void Run();
  void Handle(const ReceiveEvent& event);
  void TakeDatagrams();
  void Deliver(Datagram& datagram);
  void EndOfBroadcast();
  void SenderChanged(const net::Endpoint& sender);
  std::optional<net::Endpoint> Sender() const;
  void Build();
  void TearDown();
  void Rebuild();
  // Looks again at a port that could not be bound and at the chosen interface.
  void Retry(std::chrono::steady_clock::time_point now);
  void ReopenSocket();
  bool OpenSocket();
  void CloseSocket();
  void Publish();
  void Describe(const SourcePins* pins);
  // Tells the receive thread and the gate who may take the lock, as the list of senders and
  // the choice stand now; builds again when the lock is held by one who may not.
  void ApplyChoice(std::chrono::steady_clock::time_point now);

  ReceptionOptions options_;
  ReceptionEvents* events_;
  Inbox inbox_{*this};
  Gated gated_{*this};
  std::atomic<bool> delivering_{true};
  std::atomic<bool> listening_{false};

  // Shared with the other threads, under lock_.
  mutable std::mutex lock_;
  std::condition_variable wake_;
  std::deque<ReceiveEvent> received_;
  bool stopping_ = false;
  bool playRequested_ = false;
  std::optional<VideoRect> newRect_;
  std::optional<SenderChoice> newChoice_;
  ReceptionView view_;
  ReceptionTotals published_;  // without the closed streams, which sit in past_.streams
  std::vector<StreamReport> closedStreams_;

  // The reception thread's own: the pipeline, and what the torn-down ones counted.
  std::unique_ptr<PlaybackGraph> graph_;
  std::unique_ptr<Reassembler> reassembler_;
  std::unique_ptr<FecReceiver> fec_;
  std::unique_ptr<ReceiveSocket> socket_;
  // Outlives the pipelines: the counters it has seen stay through every rebuild.
  SignatureGate gate_;
  SenderDirectory directory_;
  SenderPreference preference_;  // as last told to the receive thread and the gate
  std::uint64_t listedGeneration_ = ~std::uint64_t{0};
  std::chrono::steady_clock::time_point listedAt_{};
  std::vector<HeardSender> onAir_;    // as last listed
  std::vector<HeardSender> heard_;    // as last listed
  SignatureGate::Counters counters_;  // the gate's, as last published
  std::uint64_t countersAt_ = 0;      // good signatures when counters_ was made
  ReceptionTotals past_;
  std::chrono::steady_clock::time_point nextRetry_{};
  std::chrono::steady_clock::time_point lastHeardTold_{};
  std::optional<net::Endpoint> heardTold_;
  // The running graph's streams in words, made again only when another graph runs.
  const PlaybackGraph* describedGraph_ = nullptr;
  std::uint64_t describedBuilds_ = 0;
  std::vector<std::string> formats_;
  bool audioOnly_ = false;

  std::thread thread_;  // last: starts after every member above exists
};

}  // namespace vantorel::receiver
