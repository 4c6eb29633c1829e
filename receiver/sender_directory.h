// The senders on the air, from their announcements: each one's address, name, what it plays
// and its state, and who signs it. With trusted senders only announcements signed by a trusted
// key, with a counter newer than the last one taken, are listed; otherwise every well-formed
// announcement is, with the signer's fingerprint when its signature holds. Bounded in senders
// and in signature checks, so that a flood of announcements costs a fixed amount.
//
// Portable: no sockets, no windows. Called on the reception thread.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/announcement.h"
#include "receiver/datagram_queue.h"
#include "receiver/rate_budget.h"

namespace vantorel::receiver {

struct HeardSender {
  DatagramSource address;
  protocol::Announcement announcement;
  std::optional<protocol::Fingerprint> fingerprint;  // when its signature held
  std::chrono::steady_clock::time_point firstHeard{};
  std::chrono::steady_clock::time_point lastHeard{};
};

struct DirectoryStats {
  std::uint64_t announcements = 0;  // read
  std::uint64_t taken = 0;          // listed or updated a sender
  std::uint64_t malformed = 0;
  std::uint64_t badSignature = 0;
  std::uint64_t unsignedRefused = 0;  // with trusted senders only
  std::uint64_t untrusted = 0;
  std::uint64_t replayed = 0;    // a counter not newer than the last taken of its key
  std::uint64_t overBudget = 0;  // signatures left unchecked: too many came
  std::uint64_t full = 0;        // a new sender while the list was full of live ones

  DirectoryStats& operator+=(const DirectoryStats& b);
};

// Which sender the user wants: by name, or by address (a port of 0: any port).
struct SenderChoice {
  std::string name;
  std::optional<DatagramSource> address;
  // Only that sender is received, even while it is not on the air; otherwise it is preferred
  // while it is on the air, and the first sender heard plays when it is not.
  bool only = false;

  bool Empty() const { return name.empty() && !address; }
  friend bool operator==(const SenderChoice&, const SenderChoice&) = default;
};

class SenderDirectory {
 public:
  using Clock = std::chrono::steady_clock;
  // A sender announces itself every second: one not heard for this long is off the air.
  static constexpr std::chrono::seconds kOnAir{3};
  // How long an off-air sender is remembered (for --list-senders and a chosen name).
  static constexpr std::chrono::seconds kRemember{60};
  static constexpr std::size_t kMaxSenders = 32;
  static constexpr double kChecksPerSecond = 50;
  static constexpr double kCheckBurst = 20;

  explicit SenderDirectory(std::vector<protocol::Fingerprint> trusted = {});

  // One announcement's payload (after the route key) from `from`.
  void Hear(std::span<const std::uint8_t> payload, const DatagramSource& from,
            Clock::time_point now);
  // The senders heard within kOnAir of `now`, the first heard first.
  std::vector<HeardSender> OnAir(Clock::time_point now) const;
  // Every sender remembered, the first heard first.
  const std::vector<HeardSender>& Remembered() const { return senders_; }
  const HeardSender* Find(const DatagramSource& address) const;
  // Who may take the lock for `choice`: the chosen sender while it is on the air (by name:
  // `locked` when it bears the name, else the first heard of that name); with `only`, the last
  // one remembered of that name, or nobody. Anyone when nothing is chosen, or when a preferred
  // sender is off the air.
  SenderPreference Preference(const SenderChoice& choice, std::optional<DatagramSource> locked,
                              Clock::time_point now) const;
  // One more whenever the list changed in a way a person would see.
  std::uint64_t Generation() const { return generation_; }
  const DirectoryStats& Stats() const { return stats_; }

 private:
  bool Enforcing() const { return !trusted_.empty(); }
  // The signature checks of a signed announcement; false when it is dropped (and counted).
  bool Check(const protocol::AnnouncementView& view, Clock::time_point now,
             std::optional<protocol::Fingerprint>& fingerprint);
  // Room for one more sender: false when the list is full of senders on the air.
  bool MakeRoom(Clock::time_point now);
  // The sender's entry, made when it is new (MakeRoom first).
  HeardSender* Slot(const DatagramSource& from, Clock::time_point now);
  bool IsOnAir(const HeardSender& s, Clock::time_point now) const {
    return now - s.lastHeard < kOnAir;
  }

  std::vector<protocol::Fingerprint> trusted_;           // sorted
  std::vector<HeardSender> senders_;                     // the first heard first
  std::map<protocol::PublicKey, std::uint64_t> newest_;  // trusted keys' last counter taken
  RateBudget checks_{kChecksPerSecond, kCheckBurst};
  std::uint64_t generation_ = 0;
  DirectoryStats stats_;
};

}  // namespace vantorel::receiver
