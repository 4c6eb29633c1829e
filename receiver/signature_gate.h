// The signature check between the datagram queue and the parity stage. With no trusted sender
// it only reads the signatures of the sender the reception locked onto, to tell who it is (its
// fingerprint), and lets everything else through as it comes. With trusted senders it decides
// the lock itself and lets a datagram through only once a signature by a trusted key covers
// it:
//
//   - a datagram waits (held) until its group's signature arrives, at most kHoldLimit, at most
//     kMaxHeld of them; what no signature covers in time is dropped as unsigned;
//   - a signature is checked only when its key is trusted, it comes from the locked sender (or
//     the lock is free), its counter is new, and the check budget allows: anything else is
//     dropped unchecked and counted;
//   - the first trusted sender whose signature covers a held datagram takes the lock; another
//     one takes it over only after the locked one has sent no valid signature for the
//     sender silence;
//   - an end of broadcast goes through only when signed, like any other datagram.
//
// Portable: no sockets, no windows. Called on the reception thread.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <vector>

#include "protocol/signing.h"
#include "receiver/datagram_queue.h"
#include "receiver/rate_budget.h"

namespace vantorel::receiver {

struct TrustStats {
  std::uint64_t signatures = 0;       // signature datagrams read
  std::uint64_t verified = 0;         // signatures checked and found good
  std::uint64_t duplicates = 0;       // repeats of a signature already found good
  std::uint64_t signedDatagrams = 0;  // datagrams let through under a good signature
  std::uint64_t unsignedDropped = 0;  // datagrams no good signature covered in time
  std::uint64_t badSignature = 0;     // signatures that did not hold
  std::uint64_t replayed = 0;         // counters already used, or too old
  std::uint64_t untrusted = 0;        // signatures by a key nobody here trusts
  std::uint64_t otherSender = 0;      // from another host while the lock holds
  std::uint64_t malformed = 0;        // signature datagrams that are not one
  std::uint64_t overBudget = 0;       // signatures left unchecked: too many came
  std::uint64_t afterEnd = 0;         // signed, but of a broadcast that had ended

  TrustStats& operator+=(const TrustStats& b);
  // Datagrams kept out as an attack would be: unsigned, bad, replayed, untrusted.
  std::uint64_t Refused() const { return unsignedDropped + badSignature + replayed + untrusted; }
};

class SignatureGate {
 public:
  using Clock = std::chrono::steady_clock;
  // How long a datagram waits for its signature: a group spans at most about 30 ms.
  static constexpr std::chrono::milliseconds kHoldLimit{100};
  static constexpr std::size_t kMaxHeld = 2048;
  // Hashes of good signatures whose datagrams have not come yet (reordered).
  static constexpr std::size_t kMaxExpected = 512;
  // Counters within this distance below the highest one seen may still come once.
  static constexpr std::uint64_t kReplayWindow = 64;
  // Signature checks: a steady rate and a burst; a real sender needs far fewer.
  static constexpr double kChecksPerSecond = 400;
  static constexpr double kCheckBurst = 100;

  // Where the gate sends what it lets through. Called on the reception thread, from Take and
  // Tick; the receiver may Reset the gate from Release (an end of broadcast): what was to
  // follow in the same call is then dropped.
  class Output {
   public:
    virtual ~Output() = default;
    virtual void Release(Datagram& datagram) = 0;
    // Another trusted sender took the lock; called before its first datagram is released.
    virtual void SenderChanged(const DatagramSource& sender) = 0;
  };

  // The highest counter seen of each key, kept from one run of a receiver to the next.
  using Counters = std::map<protocol::PublicKey, std::uint64_t>;

  // `known` are counters seen before this gate: no counter up to them is taken again.
  SignatureGate(std::vector<protocol::Fingerprint> trusted, Output& out,
                std::chrono::milliseconds senderSilence, const Counters& known = {});

  bool Enforcing() const { return !trusted_.empty(); }
  void Take(Datagram datagram);
  // Gives up held datagrams by the wall clock (when nothing that arrived before `now` waits
  // elsewhere).
  void Tick(Clock::time_point now);
  // A new pipeline: the lock, what is held and the sender's fingerprint are forgotten; the
  // counters seen stay, so a capture cannot be replayed after it, and so do the hashes still
  // expected, so that the repeats of a signed end are known as such.
  void Reset();

  // Who may take the lock (enforcing only): others are dropped as other senders, and a
  // preferred sender takes the lock over at once from one that is not.
  void SetPreference(const SenderPreference& preference) { preference_ = preference; }

  std::size_t Held() const { return held_.size(); }
  // The locked sender (enforcing only).
  std::optional<DatagramSource> Sender() const { return sender_; }
  // Whose good signature the current sender's datagrams carry.
  std::optional<protocol::Fingerprint> SenderFingerprint() const { return fingerprint_; }
  const TrustStats& Stats() const { return stats_; }
  // The highest counter seen of every trusted key (those known at the start included).
  Counters HighestCounters() const;

 private:
  struct HeldDatagram {
    Datagram datagram;
    protocol::DatagramHash hash;
  };
  struct ExpectedHash {
    protocol::DatagramHash hash;
    DatagramSource source;  // of the signature that listed it
    Clock::time_point since;
  };
  struct CounterWindow {
    std::uint64_t highest = 0;
    std::uint64_t seen = 0;  // bit i: highest - i was used
  };
  enum class Counter { kNew, kSeen, kTooOld };

  // The signature datagram read, counted; nothing (counted as malformed) when it is not one.
  std::optional<protocol::SignatureView> Read(const Datagram& datagram);
  void Observe(const Datagram& datagram);
  void OnSignature(const Datagram& datagram);
  // The checks before the signature itself: false when it is dropped (and counted).
  bool Admit(const Datagram& datagram, const protocol::SignatureView& view);
  bool Trusted(const protocol::PublicKey& key) const;
  Counter Look(const CounterWindow& window, std::uint64_t counter) const;
  void Mark(CounterWindow& window, std::uint64_t counter);
  bool Duplicate(std::uint64_t counter, const protocol::Signature& signature) const;
  // Moves the held datagrams of `from` that `view` covers into releasing_.
  void Collect(const protocol::SignatureView& view, const DatagramSource& from,
               Clock::time_point now);
  void Lock(const DatagramSource& sender, const protocol::PublicKey& key);
  void ReleaseCollected(Clock::time_point stamp);
  // Takes a hash that a good signature from `from` listed and no datagram matched yet.
  bool TakeExpected(const protocol::DatagramHash& hash, const DatagramSource& from);
  void Expire(Clock::time_point now);
  // Whether a datagram of `source` is kept out: not preferred, or another host's while the
  // locked sender is neither silent nor passed over.
  bool Excluded(const DatagramSource& source, Clock::time_point at) const;

  std::vector<protocol::Fingerprint> trusted_;  // sorted
  Output& out_;
  const std::chrono::milliseconds senderSilence_;

  SenderPreference preference_;
  std::optional<DatagramSource> sender_;
  std::optional<protocol::PublicKey> senderKey_;
  std::optional<protocol::Fingerprint> fingerprint_;
  Clock::time_point lastGood_{};  // of the locked sender's last good signature
  Clock::time_point newest_{};    // the latest arrival seen
  std::deque<HeldDatagram> held_;
  std::deque<ExpectedHash> expected_;
  std::vector<Datagram> releasing_;  // scratch of ReleaseCollected
  std::uint64_t generation_ = 0;     // one more at every Reset
  // Per trusted key, the counters used; kept across Reset.
  std::map<protocol::PublicKey, CounterWindow> counters_;
  struct GoodSignature {
    std::uint64_t counter;
    protocol::Signature signature;
  };
  std::deque<GoodSignature> recentGood_;  // the last few, to know their repeats
  RateBudget checks_{kChecksPerSecond, kCheckBurst};
  TrustStats stats_;
};

}  // namespace vantorel::receiver
