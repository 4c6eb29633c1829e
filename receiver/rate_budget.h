// So many events a second, and a burst of them at once: what a flood of datagrams may cost the
// receiver (signature checks, announcements taken).
#pragma once

#include <algorithm>
#include <chrono>

namespace vantorel::receiver {

class RateBudget {
 public:
  using Clock = std::chrono::steady_clock;

  RateBudget(double perSecond, double burst)
      : perSecond_(perSecond), burst_(burst), tokens_(burst) {}

  // Whether one more fits at `now`. Times earlier than the last one refill nothing.
  bool Spend(Clock::time_point now) {
    if (now > last_) {
      const double seconds = std::chrono::duration<double>(now - last_).count();
      tokens_ = std::min(burst_, tokens_ + seconds * perSecond_);
      last_ = now;
    }
    if (tokens_ < 1) return false;
    tokens_ -= 1;
    return true;
  }

 private:
  double perSecond_;
  double burst_;
  double tokens_;
  Clock::time_point last_{};
};

}  // namespace vantorel::receiver
