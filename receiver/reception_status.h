// What the receiver's window tells the user about its reception, as one quiet line over the
// video: waiting for a broadcast, receiving from a sender (for a few seconds after it starts,
// and while the pointer rests on the video), no signal for a while, the broadcast ended, or
// audio only. Driven by the window thread with the times of what happens; knows no toolkit.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace vantorel::receiver {

enum class StatusKind {
  kNone,       // nothing to say: the picture speaks for itself
  kWaiting,    // no sender heard yet
  kReceiving,  // a sender was just heard (or the pointer asks)
  kNoSignal,   // the sender has sent nothing for a while
  kEnded,      // the sender ended its broadcast; waiting for the next one
  kAudioOnly,  // the broadcast has sound but no picture
};

struct StatusLine {
  StatusKind kind = StatusKind::kNone;
  std::string sender;     // "address:port" for kReceiving
  int silentSeconds = 0;  // for kNoSignal
  friend bool operator==(const StatusLine&, const StatusLine&) = default;
};

class ReceptionStatus {
 public:
  using Clock = std::chrono::steady_clock;
  // How long "receiving from" stays after a sender is first heard.
  static constexpr std::chrono::seconds kShowSender{4};
  // Silence after which "no signal" appears.
  static constexpr std::chrono::seconds kNoSignalAfter{2};

  // Datagrams of the locked sender arrived.
  void OnDatagrams(const std::string& sender, Clock::time_point now);
  void OnEndOfBroadcast();
  // A new sender took over; it is announced like one heard for the first time.
  void OnSenderChanged(const std::string& sender, Clock::time_point now);
  void SetAudioOnly(bool audioOnly) { audioOnly_ = audioOnly; }
  // The pointer rests on the video: the sender is shown while it does.
  void SetHover(bool hover) { hover_ = hover; }

  StatusLine Current(Clock::time_point now) const;

 private:
  bool heard_ = false;  // since the last end of broadcast
  bool ended_ = false;
  bool audioOnly_ = false;
  bool hover_ = false;
  std::string sender_;
  Clock::time_point firstHeard_{};
  Clock::time_point lastHeard_{};
};

}  // namespace vantorel::receiver
