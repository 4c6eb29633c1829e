// Serialises the messages of all streams of one opened file, puts a stream description in
// front of them about once a second, and cuts them into datagrams.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <span>

#include "sender/clock.h"
#include "sender/packetizer.h"

namespace vantorel::sender {

struct MultiplexerStats {
  std::uint64_t messages = 0;
  std::uint64_t descriptions = 0;
  std::uint64_t droppedOversized = 0;
};

class StreamMultiplexer : public Packetizer {
 public:
  static constexpr std::uint32_t kTickIntervalMs = 1000;
  static constexpr std::size_t kMaxStreams = 8;

  explicit StreamMultiplexer(MillisecondClock& clock = SteadyMillisecondClock::Instance());

  // Registers a stream's format record (owned by the caller, which keeps it alive and in place
  // for the multiplexer's life; its clock field is rewritten at every description). Refused
  // when all eight slots are taken or the records would total 65,536 bytes or more.
  bool RegisterStream(StreamClock* grabber, std::uint8_t flag, std::span<std::uint8_t> record);

  // Entry point of the grabbers, called on their streaming threads. Returns 1, or 0 when the
  // message is longer than the wire can describe (dropped and counted).
  int Send(std::uint32_t channel, protocol::BufferList buffers) override;

  MultiplexerStats Stats() const;
  std::size_t StreamCount() const;

 private:
  struct Slot {
    StreamClock* grabber = nullptr;
    std::span<std::uint8_t> record;
  };
  void SendDescription(std::uint32_t channel);

  MillisecondClock& clock_;
  mutable std::mutex lock_;
  std::uint32_t lastTick_;
  std::array<Slot, kMaxStreams> streams_{};
  std::size_t streamCount_ = 0;
  std::uint8_t streamFlags_ = 0;
  std::uint32_t totalSize_ = 0;
  std::array<std::uint8_t, 4> descriptionHeader_{};
  MultiplexerStats stats_;
};

}  // namespace vantorel::sender
