#include "receiver/reception_status.h"

namespace vantorel::receiver {

void ReceptionStatus::OnDatagrams(const std::string& sender, Clock::time_point now) {
  if (!heard_ || sender != sender_) {
    heard_ = true;
    sender_ = sender;
    firstHeard_ = now;
  }
  ended_ = false;
  lastHeard_ = now;
}

void ReceptionStatus::OnEndOfBroadcast() {
  heard_ = false;
  ended_ = true;
  audioOnly_ = false;
}

void ReceptionStatus::OnSenderChanged(const std::string& sender, Clock::time_point now) {
  heard_ = false;
  audioOnly_ = false;
  OnDatagrams(sender, now);
}

StatusLine ReceptionStatus::Current(Clock::time_point now) const {
  if (!heard_) return StatusLine{ended_ ? StatusKind::kEnded : StatusKind::kWaiting, {}, 0};
  const auto silence = now - lastHeard_;
  if (silence >= kNoSignalAfter) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(silence);
    return StatusLine{StatusKind::kNoSignal, {}, static_cast<int>(seconds.count())};
  }
  if (hover_ || now - firstHeard_ < kShowSender) {
    return StatusLine{StatusKind::kReceiving, sender_, 0};
  }
  if (audioOnly_) return StatusLine{StatusKind::kAudioOnly, {}, 0};
  return {};
}

}  // namespace vantorel::receiver
