// One broadcast: the sink that carries it and the file sessions played into it one after
// another, each opened with the next session number. Ending the broadcast closes the session
// first, so that no streaming thread sends any more, then tells the receivers. Everything here
// runs on the window thread.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/gui/mailbox.h"
#include "platform/media/output_modes.h"
#include "protocol/announcement.h"
#include "protocol/signing.h"
#include "sender/announcer.h"
#include "sender/fec_encoder.h"
#include "sender/media_error.h"
#include "sender/media_graph.h"
#include "sender/open_error.h"
#include "sender/sender_session.h"
#include "sender/signing_sink.h"
#include "sender/udp_broadcast_sink.h"

namespace vantorel::sender {

// Parity added by default, in percent of the media datagrams' bytes.
inline constexpr int kDefaultFecPercent = 20;

// What a round of graph events brought.
struct GraphEventNews {
  bool completed = false;  // the end of the file
  bool failed = false;     // an error; lastError says which, in GStreamer's words
  sender::Status lastError;
  bool noAudioDevice = false;
};

class Broadcast {
 public:
  static constexpr int kEndOfBroadcastTimes = 3;
  static constexpr int kEndOfBroadcastGapMs = 1;

  // `sink` (not owned) carries every session and the end of the broadcast; it outlives this.
  // `fecPercent` is the share of parity added to the media datagrams (0: none). With an
  // `identity`, every datagram is signed with it. The broadcast announces itself under `name`
  // (empty: this host's name).
  Broadcast(UdpBroadcastSink& sink, media::GraphOptions graph, int fecPercent = kDefaultFecPercent,
            std::optional<protocol::SigningKey> identity = std::nullopt, std::string name = {});
  // The same with every session's graph made by `graphs` instead of GStreamer's.
  Broadcast(UdpBroadcastSink& sink, std::unique_ptr<sender::GraphFactory> graphs,
            int fecPercent = kDefaultFecPercent,
            std::optional<protocol::SigningKey> identity = std::nullopt, std::string name = {});
  ~Broadcast();
  Broadcast(const Broadcast&) = delete;
  Broadcast& operator=(const Broadcast&) = delete;

  // Closes the current session, then opens the file in a new one whose graph notices are posted
  // to `owner`. A file that cannot be opened, or that has no stream to broadcast, leaves no
  // session and returns why (kUnsupportedStream for the latter). The new session is stopped;
  // the caller plays it.
  sender::Status Open(gui::Mailbox<sender::GraphNotice>* owner, const std::string& path);
  // The same for a live source. A device that does not start is named in LastOpenError().
  sender::Status OpenLive(gui::Mailbox<sender::GraphNotice>* owner,
                          const sender::LiveSource& source);
  // Why the last Open failed, with what its graph learned; code kOk after a success.
  const sender::OpenError& LastOpenError() const { return openError_; }
  void CloseSession();
  // Collects the session's graph events (on a graph notice).
  GraphEventNews HandleGraphEvents();
  // Closes the session and sends the end-of-broadcast datagrams; once. Nothing is announced
  // after it.
  void End();

  // What the sender says of itself from now on (sent at once when it changed), with the
  // current session's number.
  void Announce(protocol::SenderState state, protocol::SenderSource source, std::string title);
  // Announces under another name (empty: this host's name) from now on.
  void Rename(const std::string& name) { announcer_.SetName(name); }
  // Announces again when the last announcement is a second old; call it often (a timer).
  void TickAnnouncement();
  const protocol::Announcement& Announced() const { return announcer_.Current(); }

  SenderSession* Session() const { return session_.get(); }
  // The samples of the last session closed, counted once its streams had stopped.
  const SampleCounts& ClosedSessionSamples() const { return closedSamples_; }
  // The parity added so far; nothing when the broadcast sends none.
  std::optional<FecStats> Parity() const;
  // The signatures sent so far; nothing when the broadcast is not signed.
  std::optional<SigningStats> Signing() const;
  // The fingerprint of the identity that signs the broadcast.
  std::optional<protocol::Fingerprint> SignedBy() const;
  // The number the next opened session gets.
  std::uint8_t SessionNumber() const { return sessionNumber_; }

 private:
  template <typename OpenInto>
  sender::Status OpenWith(OpenInto open);
  // Where the sessions' datagrams go after the parity: the signer or the sink.
  protocol::PacketSink& Wire();

  UdpBroadcastSink& sink_;
  // Makes the graph of every session, which borrows it.
  std::unique_ptr<sender::GraphFactory> graphs_;
  // Before the sink when the broadcast is signed: it signs the parity too.
  std::unique_ptr<SigningSink> signer_;
  // Between the sessions and the signer (or the sink) when parity is added.
  std::unique_ptr<FecEncoder> fec_;
  Announcer announcer_;  // straight to the sink
  std::unique_ptr<SenderSession> session_;
  std::uint8_t sessionNumber_ = 0;
  bool ended_ = false;
  sender::OpenError openError_;
  SampleCounts closedSamples_;
};

}  // namespace vantorel::sender
