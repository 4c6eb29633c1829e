// Millisecond tick source of the stream multiplexer; tests drive their own.
#pragma once

#include <cstdint>

namespace vantorel::sender {

class MillisecondClock {
 public:
  virtual ~MillisecondClock() = default;
  // Milliseconds from an arbitrary origin; wraps at 2^32.
  virtual std::uint32_t NowMs() = 0;
};

class SteadyMillisecondClock : public MillisecondClock {
 public:
  std::uint32_t NowMs() override;
  static SteadyMillisecondClock& Instance();
};

// A stream's reference clock, read in 100 ns units when the stream is described.
class StreamClock {
 public:
  virtual ~StreamClock() = default;
  virtual std::int64_t ReadClock() = 0;
};

}  // namespace vantorel::sender
