// Puts the media datagrams of a sender that adds parity back in sending order and rebuilds
// the lost ones from the parity, before they reach the reassembler. A datagram in its place
// passes at once; one that comes ahead of a gap waits, together with everything behind it,
// until the gap is filled (by the late datagram, or rebuilt from its group's parity), or until
// it cannot be filled any more (a later group's parity came and its own could not rebuild it)
// or kHoldCap has passed, and then they go on in order. Every wait is judged by when datagrams
// arrived, not by when they are handed over. A sender's first datagrams are kept and their gaps
// wait as if parity were coming, so that the first group can be rebuilt too; a sender whose
// parity is not heard within kParityMemory is taken as one without parity, and its datagrams
// pass at once. Runs on one thread.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "protocol/parity.h"

namespace vantorel::receiver {

struct FecStats {
  std::uint64_t parity = 0;         // parity datagrams taken
  std::uint64_t badParity = 0;      // malformed, or rebuilding gave a datagram out of place
  std::uint64_t recovered = 0;      // lost datagrams rebuilt from parity
  std::uint64_t unrecoverable = 0;  // gaps given up: beyond repair, after kHoldCap, at the bound
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
  // Longest wait of a gap for its datagram or its parity, from the arrival of the first datagram
  // behind it: below the receiver's presentation delay (140 ms), so that what waited is still
  // in time. A group's parity follows its last datagram by at most the group's 30 ms span.
  static constexpr std::chrono::milliseconds kHoldCap{120};
  // After a later group's first parity arrived, how long a gap its own group could not rebuild
  // still waits for its datagram or parity, reordered on the way.
  static constexpr std::chrono::milliseconds kReorderGrace{15};
  // Datagrams waiting behind gaps, at most; beyond, the oldest gap is given up.
  static constexpr std::size_t kMaxHeld = 1024;
  // Recent datagrams kept for rebuilding: more than a group and its reordering.
  static constexpr std::size_t kKept = 256;
  // Groups whose parity is kept while their datagrams may still be missing.
  static constexpr std::size_t kMaxGroups = 32;
  // Holding stops when no parity came for this long (from the first datagram, at the start).
  static constexpr std::chrono::seconds kParityMemory{2};
  // Erasure codes kept for the group shapes (K, P) met last; another shape replaces the one
  // used longest ago. A sender uses a handful of shapes; a hostile one may walk through all.
  static constexpr std::size_t kMaxCodes = 8;
  // A jump of more messages than this is a new numbering, not a gap.
  static constexpr std::uint32_t kMaxGap = 4096;
  // A datagram more messages than this behind the one due is not a late one but a new
  // numbering: a sender starts again from 0 with every new file.
  static constexpr std::uint32_t kMaxLate = 64;
  // A fragment 0 of message 0 this many messages or more behind the one due starts a new
  // numbering (a new file after a short one).
  static constexpr std::int32_t kRestartBehind = 8;
  // A group may begin at most this many messages past the newest datagram heard (those
  // between lost); one further on is of another numbering: the last group of the file before,
  // whose parity may follow the new file's first datagram.
  static constexpr std::int32_t kParityAhead = 4;

  explicit FecReceiver(Deliver deliver);

  // A media payload, after the route key.
  void OnMedia(std::span<const std::uint8_t> payload, Clock::time_point now);
  // A parity payload, after the route key.
  void OnParity(std::span<const std::uint8_t> payload, Clock::time_point now);
  // Gives up gaps that waited kHoldCap or cannot be filled any more. `now` is the wall clock,
  // given once every datagram that arrived before it was handed over.
  void Tick(Clock::time_point now);
  // Drops everything waiting and kept; the next datagram starts afresh. May be called from
  // inside the Deliver callback: the delivery under way stops there.
  void Reset();

  const FecStats& Stats() const { return stats_; }
  std::size_t Held() const { return held_.size(); }
  std::size_t CachedCodes() const { return codes_.size(); }

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
  // A datagram kept for rebuilding, with the numbering it came in.
  struct KeptDatagram {
    protocol::FragmentId id;
    std::uint64_t numbering = 0;
    std::vector<std::uint8_t> bytes;
  };
  struct CachedCode {
    std::size_t k = 0;
    std::size_t p = 0;
    std::uint64_t used = 0;
    std::unique_ptr<protocol::ErasureCode> code;
  };

  // Where `id` stands against the next datagram due: negative behind, 0 due, positive ahead;
  // kMaxGap and more ahead, or more than kMaxLate behind, is a new numbering.
  std::int64_t Ahead(const protocol::FragmentId& id) const;
  bool Far(const protocol::FragmentId& id) const;
  // Parity of a group that cannot be of the numbering under way.
  bool Foreign(const protocol::ParityGroup& group) const;
  void Take(const protocol::FragmentId& id, std::span<const std::uint8_t> payload,
            Clock::time_point now);
  void Keep(const protocol::FragmentId& id, std::span<const std::uint8_t> payload);
  // The kept datagram of the current numbering at `id`, with the last-fragment flag `last`.
  const std::vector<std::uint8_t>* Kept(const protocol::FragmentId& id, bool last) const;
  // Parity is heard, or may still come from a sender whose first datagrams just arrived.
  bool ParityExpected(Clock::time_point now) const;
  // A gap that no datagram or parity can fill any more: a later group's parity came more than
  // kReorderGrace ago and the gap is still there.
  bool BeyondRepair(Clock::time_point now) const;
  // Starts a new numbering at `id`: kept datagrams and groups of the old one are not used.
  void Renumber(const protocol::FragmentId& id);
  protocol::ErasureCode& Code(std::size_t k, std::size_t p);
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
  std::uint64_t numbering_ = 0;  // counts numberings: kept datagrams belong to one
  Clock::time_point latest_{};   // the latest time seen: stamps slightly out of order never go back
  Clock::time_point lastParity_{};
  bool parityHeard_ = false;
  std::optional<Clock::time_point> firstArrival_;  // of the first media datagram
  std::vector<Waiting> held_;                      // sorted by place, all ahead of next_
  std::deque<KeptDatagram> kept_;
  std::map<std::uint16_t, Group> groups_;
  struct SettledGroup {
    std::uint16_t number = 0;
    std::uint32_t firstMessage = 0;
    std::uint32_t firstFragment = 0;
  };
  std::deque<SettledGroup> settled_;  // the last kMaxGroups settled, newest last
  // Where the last kMaxGroups groups heard begin, and when their first parity arrived.
  std::deque<std::pair<protocol::FragmentId, Clock::time_point>> groupsHeard_;
  std::vector<CachedCode> codes_;
  std::uint64_t codeUses_ = 0;
};

}  // namespace vantorel::receiver
