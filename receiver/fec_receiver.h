// Puts the media datagrams of a sender that adds parity back in sending order and rebuilds
// the lost ones from the parity, before they reach the reassembler. A datagram in its place
// passes at once; one that comes ahead of a gap waits, together with everything behind it,
// until the gap is filled (by the late datagram, or rebuilt from its group's parity) or
// kHoldTime has passed, and then they go on in order. While no parity is heard, every datagram
// passes at once, as from a sender without parity. Runs on one thread.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <vector>

#include "protocol/parity.h"

namespace vantorel::receiver {

struct FecStats {
  std::uint64_t parity = 0;         // parity datagrams taken
  std::uint64_t badParity = 0;      // malformed, or rebuilding gave a datagram out of place
  std::uint64_t recovered = 0;      // lost datagrams rebuilt from parity
  std::uint64_t unrecoverable = 0;  // gaps given up after kHoldTime or at the bound
  std::uint64_t reordered = 0;      // datagrams that came ahead of a gap and waited
  std::uint64_t late = 0;           // datagrams that came after their place had passed
  std::uint64_t groupsDecoded = 0;
  // How long the gaps that were rebuilt waited, from the first datagram held behind them.
  std::uint64_t waitTotalUs = 0;
  std::uint64_t waitMaxUs = 0;

  FecStats& operator+=(const FecStats& b) {
    parity += b.parity;
    badParity += b.badParity;
    recovered += b.recovered;
    unrecoverable += b.unrecoverable;
    reordered += b.reordered;
    late += b.late;
    groupsDecoded += b.groupsDecoded;
    waitTotalUs += b.waitTotalUs;
    waitMaxUs = std::max(waitMaxUs, b.waitMaxUs);
    return *this;
  }
};

class FecReceiver {
 public:
  using Clock = std::chrono::steady_clock;
  using Deliver = std::function<void(std::span<const std::uint8_t> payload)>;
  // Longest wait of a gap for its datagram or its parity.
  static constexpr std::chrono::milliseconds kHoldTime{80};
  // Datagrams waiting behind gaps, at most; beyond, the oldest gap is given up.
  static constexpr std::size_t kMaxHeld = 1024;
  // Recent datagrams kept for rebuilding: more than a group and its reordering.
  static constexpr std::size_t kKept = 256;
  // Groups whose parity is kept while their datagrams may still be missing.
  static constexpr std::size_t kMaxGroups = 32;
  // Holding stops when no parity came for this long.
  static constexpr std::chrono::seconds kParityMemory{2};
  // A jump of more messages than this is a new numbering, not a gap.
  static constexpr std::uint32_t kMaxGap = 4096;
  // A datagram more messages than this behind the one due is not a late one but a new
  // numbering: a sender starts again from 0 with every new file.
  static constexpr std::uint32_t kMaxLate = 64;

  explicit FecReceiver(Deliver deliver);

  // A media payload, after the route key.
  void OnMedia(std::span<const std::uint8_t> payload, Clock::time_point now);
  // A parity payload, after the route key.
  void OnParity(std::span<const std::uint8_t> payload, Clock::time_point now);
  // Gives up gaps that waited kHoldTime.
  void Tick(Clock::time_point now);
  // Drops everything waiting and kept; the next datagram starts afresh. May be called from
  // inside the Deliver callback: the delivery under way stops there.
  void Reset();

  const FecStats& Stats() const { return stats_; }
  std::size_t Held() const { return held_.size(); }

 private:
  struct Waiting {
    protocol::FragmentId id;
    std::vector<std::uint8_t> bytes;
    Clock::time_point arrived;
  };
  struct Group {
    protocol::ParityGroup meta;
    std::vector<std::vector<std::uint8_t>> parity;  // by index; empty where not (yet) heard
    Clock::time_point heard;
  };

  // Where `id` stands against the next datagram due: negative behind, 0 due, positive ahead;
  // kMaxGap and more ahead, or more than kMaxLate behind, is a new numbering.
  std::int64_t Ahead(const protocol::FragmentId& id) const;
  bool Far(const protocol::FragmentId& id) const;
  void Take(const protocol::FragmentId& id, std::span<const std::uint8_t> payload,
            Clock::time_point now);
  void Keep(const protocol::FragmentId& id, std::span<const std::uint8_t> payload);
  const std::vector<std::uint8_t>* Kept(const protocol::FragmentId& id) const;
  void Hold(const protocol::FragmentId& id, std::span<const std::uint8_t> payload,
            Clock::time_point now);
  // Delivers one payload and moves the next due past it; false when a Reset came meanwhile.
  bool Pass(const protocol::FragmentId& id, std::span<const std::uint8_t> payload);
  // Delivers what waits from the next due on, as long as it follows without a gap.
  void Drain();
  // Gives up the gap at the next due: the first datagram waiting becomes due.
  void SkipGap();
  void ReleaseAll();
  void TryGroupsAtGap(Clock::time_point now);
  void TryDecode(std::uint16_t number, Clock::time_point now);
  // A group found whole or rebuilt: its remaining parity datagrams are only counted.
  void Settle(const protocol::ParityGroup& group);
  bool Settled(const protocol::ParityGroup& group) const;

  Deliver deliver_;
  FecStats stats_;
  std::uint64_t generation_ = 0;  // counts Resets
  bool started_ = false;
  protocol::FragmentId next_{};  // the datagram due
  Clock::time_point lastParity_{};
  bool parityHeard_ = false;
  std::vector<Waiting> held_;  // sorted by place, all ahead of next_
  std::deque<std::pair<protocol::FragmentId, std::vector<std::uint8_t>>> kept_;
  std::map<std::uint16_t, Group> groups_;
  struct SettledGroup {
    std::uint16_t number = 0;
    std::uint32_t firstMessage = 0;
    std::uint32_t firstFragment = 0;
  };
  std::deque<SettledGroup> settled_;  // the last kMaxGroups settled, newest last
  std::map<std::pair<std::size_t, std::size_t>, std::unique_ptr<protocol::ErasureCode>> codes_;
};

}  // namespace vantorel::receiver
