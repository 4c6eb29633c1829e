// Adds parity to the media datagrams on their way to the socket. Each media datagram goes out
// at once, unchanged; a copy joins the open group. A group closes when it is full, at the end
// of a message once it has spanned kGroupSpan, or at kGroupSpan by the encoder's own thread,
// and its parity datagrams follow it under their own route key. A receiver that meets no loss
// therefore waits for nothing; one that does waits at most about a group's span for the
// parity.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <stop_token>
#include <thread>
#include <vector>

#include "protocol/packet_sink.h"
#include "protocol/parity.h"
#include "protocol/wire_format.h"

namespace vantorel::sender {

struct FecStats {
  std::uint64_t groups = 0;
  std::uint64_t sourceDatagrams = 0;
  std::uint64_t sourceBytes = 0;
  std::uint64_t parityDatagrams = 0;
  std::uint64_t parityBytes = 0;
};

class FecEncoder : public protocol::PacketSink {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::size_t kMaxSources = 48;
  static constexpr std::chrono::milliseconds kGroupSpan{30};
  // Every group gets at least this many parity symbols: a lost datagram (two symbols) can be
  // rebuilt even when one parity datagram is lost too.
  static constexpr std::size_t kMinParitySymbols = 3;

  // `out` (not owned) takes the media and parity datagrams, from the senders' threads and from
  // the encoder's own. `percent` of parity symbols per data symbol; 0 sends the media
  // datagrams alone.
  FecEncoder(protocol::PacketSink& out, int percent);
  // With a clock of the caller's and no thread: groups close only as datagrams come (tests).
  FecEncoder(protocol::PacketSink& out, int percent, std::function<Clock::time_point()> now);
  ~FecEncoder() override;
  FecEncoder(const FecEncoder&) = delete;
  FecEncoder& operator=(const FecEncoder&) = delete;

  // Media datagrams (key kRouteKeyMedia) are grouped; anything else passes as it is.
  int Send(std::uint32_t key, protocol::BufferList buffers) override;
  // The batch goes out together, broken only where a group closes, so that a group's parity
  // follows its last datagram as it does one by one.
  int SendBatch(std::uint32_t key, std::span<const protocol::BufferList> lists) override;
  // Closes the open group and sends its parity (before an end of broadcast).
  void Flush();
  FecStats Stats() const;

  // The number of parity symbols for a group of `sources` datagrams.
  static std::size_t ParitySymbols(std::size_t sources, int percent);

 private:
  // Copies one media datagram into the open group.
  void Add(protocol::BufferList buffers, std::size_t length, const protocol::FragmentId& id,
           Clock::time_point now);
  void CloseGroup();
  void CloseInTime(std::stop_token stop);
  const protocol::ErasureCode& CodeFor(std::size_t k, std::size_t p);

  protocol::PacketSink& out_;
  const int percent_;
  std::function<Clock::time_point()> now_;
  mutable std::mutex lock_;
  // The open group: source i at arena_[i * kSlot], its tail zeroed to the end of the slot
  // (the padding of its symbols), and its length.
  static constexpr std::size_t kSlot = protocol::kMaxPacketizerDatagram;
  std::vector<std::uint8_t> arena_;
  std::vector<std::uint16_t> lengths_;
  std::vector<protocol::FragmentId> ids_;
  Clock::time_point opened_{};
  std::uint16_t groupNumber_ = 0;
  std::map<std::pair<std::size_t, std::size_t>, std::unique_ptr<protocol::ErasureCode>> codes_;
  std::vector<std::uint8_t> parity_;  // scratch: the parity symbols
  FecStats stats_;
  std::condition_variable_any groupOpened_;
  std::jthread closer_;  // last: it stops before the rest goes
};

}  // namespace vantorel::sender
