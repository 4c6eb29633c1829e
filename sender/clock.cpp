#include "sender/clock.h"

#include <chrono>

namespace vantorel::sender {

std::uint32_t SteadyMillisecondClock::NowMs() {
  using namespace std::chrono;
  return static_cast<std::uint32_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

SteadyMillisecondClock& SteadyMillisecondClock::Instance() {
  static SteadyMillisecondClock clock;
  return clock;
}

}  // namespace vantorel::sender
