// What the receiver's window tells the user about its reception, as one quiet line over the
// video: waiting for a broadcast, receiving from a sender (for a few seconds after it starts,
// and while the pointer rests on the video), no signal for a while, the broadcast ended, or
// audio only. On request (a key, or the pointer resting on the video) the line gives way to
// the reception's figures. Driven by the window thread with the times of what happens; knows no
// toolkit.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <utility>

#include "protocol/announcement.h"
#include "protocol/messages.h"

namespace vantorel::receiver {

enum class StatusKind {
  kNone,        // nothing to say: the picture speaks for itself
  kWaiting,     // no sender heard yet
  kReceiving,   // a sender was just heard (or the pointer asks)
  kNoSignal,    // the sender has sent nothing for a while, and did not say why
  kPaused,      // the sender said it paused
  kStopped,     // the sender said it stopped (or its file ended)
  kEnded,       // the sender ended its broadcast; waiting for the next one
  kAudioOnly,   // the broadcast has sound but no picture
  kStatistics,  // the figures of the reception, asked for
};

struct StatusLine {
  StatusKind kind = StatusKind::kNone;
  // Who: "address:port" (or its name) for kReceiving, its name for kPaused and kStopped, the
  // sender waited for (empty: anyone) for kWaiting.
  std::string sender;
  int silentSeconds = 0;  // for kNoSignal
  int sendersOnAir = 0;   // told beside the line when more than one
  friend bool operator==(const StatusLine&, const StatusLine&) = default;
};

class ReceptionStatus {
 public:
  using Clock = std::chrono::steady_clock;
  // How long "receiving from" stays after a sender is first heard.
  static constexpr std::chrono::seconds kShowSender{4};
  // Silence after which "no signal" appears.
  static constexpr std::chrono::seconds kNoSignalAfter{2};
  // Silence after which a pause or a stop the sender announced is told.
  static constexpr std::chrono::milliseconds kQuietAfter{500};

  // What the locked sender says of itself, while it is on the air: its name and state.
  struct Announced {
    std::string name;
    protocol::SenderState state = protocol::SenderState::kPlaying;
  };

  // Datagrams of the locked sender arrived.
  void OnDatagrams(const std::string& sender, Clock::time_point now);
  void OnEndOfBroadcast();
  // The reception waits for a sender again (one chosen while another played).
  void OnWaiting();
  // A new sender took over; it is announced like one heard for the first time.
  void OnSenderChanged(const std::string& sender, Clock::time_point now);
  void SetAudioOnly(bool audioOnly) { audioOnly_ = audioOnly; }
  // Nothing: the sender announces nothing (an older one), or has gone off the air.
  void SetAnnounced(std::optional<Announced> announced) { announced_ = std::move(announced); }
  // The sender waited for by name; empty: the first one heard.
  void SetWaitingFor(std::string name) { waitingFor_ = std::move(name); }
  // How many senders are on the air: when one more comes on, the line shows again for a few
  // seconds, so that nobody misses that there is a choice.
  void SetSendersOnAir(int count, Clock::time_point now);
  // The pointer rests on the video: the figures are shown while it does.
  void SetHover(bool hover) { hover_ = hover; }
  // The figures stay shown until asked again.
  void ToggleStatistics() { statistics_ = !statistics_; }
  bool StatisticsAsked() const { return statistics_; }

  StatusLine Current(Clock::time_point now) const;

 private:
  StatusLine Line(Clock::time_point now) const;

  bool heard_ = false;  // since the last end of broadcast
  bool ended_ = false;
  bool audioOnly_ = false;
  bool hover_ = false;
  bool statistics_ = false;
  std::string sender_;
  std::optional<Announced> announced_;
  std::string waitingFor_;
  int sendersOnAir_ = 0;
  Clock::time_point moreSendersAt_{};
  Clock::time_point firstHeard_{};
  Clock::time_point lastHeard_{};
};

// The bit rate of the last few seconds, from a running byte count sampled now and then.
class BitRateMeter {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::seconds kSpan{3};

  // `totalBytes` only grows; a smaller one (a rebuilt count) starts the meter again.
  void Sample(Clock::time_point now, std::uint64_t totalBytes);
  // Over the samples kept; 0 before two samples.
  double BitsPerSecond() const;

 private:
  std::deque<std::pair<Clock::time_point, std::uint64_t>> samples_;
};

// A stream's format in a few words, from its record: "MJPG 320x240 25 fps", "MPEG-1 352x240",
// "PCM 44100 Hz 2 ch", "MP3 44100 Hz 2 ch". What the block does not tell is left out.
std::string DescribeFormat(const protocol::FormatRecord& record);

}  // namespace vantorel::receiver
