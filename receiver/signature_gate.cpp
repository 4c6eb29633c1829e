#include "receiver/signature_gate.h"

#include <algorithm>
#include <utility>

#include "protocol/wire_format.h"

namespace vantorel::receiver {

namespace {

constexpr std::size_t kRecentGood = 16;

std::span<const std::uint8_t> PayloadOf(const Datagram& d) {
  return {d.payload.get(), d.length};
}

}  // namespace

TrustStats& TrustStats::operator+=(const TrustStats& b) {
  signatures += b.signatures;
  verified += b.verified;
  duplicates += b.duplicates;
  signedDatagrams += b.signedDatagrams;
  unsignedDropped += b.unsignedDropped;
  badSignature += b.badSignature;
  replayed += b.replayed;
  untrusted += b.untrusted;
  otherSender += b.otherSender;
  malformed += b.malformed;
  overBudget += b.overBudget;
  afterEnd += b.afterEnd;
  return *this;
}

SignatureGate::SignatureGate(std::vector<protocol::Fingerprint> trusted, Output& out,
                             std::chrono::milliseconds senderSilence, const Counters& known)
    : trusted_(std::move(trusted)), out_(out), senderSilence_(senderSilence) {
  std::sort(trusted_.begin(), trusted_.end());
  protocol::CryptoReady();
  // Everything up to a known counter counts as used: a capture replayed to a receiver that
  // started again is refused like one replayed while it ran.
  for (const auto& [key, highest] : known)
    counters_[key] = CounterWindow{highest, ~std::uint64_t{0}};
}

SignatureGate::Counters SignatureGate::HighestCounters() const {
  Counters out;
  for (const auto& [key, window] : counters_) out[key] = window.highest;
  return out;
}

void SignatureGate::Take(Datagram datagram) {
  newest_ = std::max(newest_, datagram.arrived);
  if (!Enforcing()) {
    if (datagram.kind == DatagramKind::kSignature) {
      Observe(datagram);
    } else {
      out_.Release(datagram);
    }
    return;
  }
  if (datagram.kind == DatagramKind::kSignature) {
    OnSignature(datagram);
    return;
  }
  // Another host's datagrams wait too once the locked sender has been silent long enough:
  // they may be those of the next trusted sender.
  if (Excluded(datagram.source, newest_)) {
    ++stats_.otherSender;
    return;
  }
  const protocol::DatagramHash hash =
      protocol::HashDatagram(RouteKeyOf(datagram.kind), PayloadOf(datagram));
  Expire(newest_);
  if (TakeExpected(hash, datagram.source)) {
    if (sender_ == datagram.source) {
      ++stats_.signedDatagrams;
      out_.Release(datagram);
    } else if (sender_) {
      ++stats_.otherSender;  // listed by a sender that did not take the lock
    } else {
      ++stats_.afterEnd;  // of a broadcast already left: the repeats of its end
    }
    return;
  }
  if (held_.size() == kMaxHeld) {
    held_.pop_front();
    ++stats_.unsignedDropped;
  }
  held_.push_back(HeldDatagram{std::move(datagram), hash});
}

std::optional<protocol::SignatureView> SignatureGate::Read(const Datagram& datagram) {
  ++stats_.signatures;
  std::optional<protocol::SignatureView> view =
      protocol::ReadSignatureDatagram(PayloadOf(datagram));
  if (!view) ++stats_.malformed;
  return view;
}

// Open: the fingerprint of whoever the reception locked onto, checked once per key.
void SignatureGate::Observe(const Datagram& datagram) {
  const std::optional<protocol::SignatureView> view = Read(datagram);
  if (!view) return;
  if (senderKey_ == view->key) return;
  if (!checks_.Spend(datagram.arrived)) {
    ++stats_.overBudget;
    return;
  }
  if (!protocol::Verify(*view)) {
    ++stats_.badSignature;
    return;
  }
  ++stats_.verified;
  senderKey_ = view->key;
  fingerprint_ = protocol::Fingerprint::Of(view->key);
}

void SignatureGate::OnSignature(const Datagram& datagram) {
  const std::optional<protocol::SignatureView> view = Read(datagram);
  if (!view) return;
  if (!Admit(datagram, *view)) return;
  if (!protocol::Verify(*view)) {
    ++stats_.badSignature;
    return;
  }
  ++stats_.verified;
  Mark(counters_[view->key], view->counter);
  recentGood_.push_back({view->counter, view->signature});
  if (recentGood_.size() > kRecentGood) recentGood_.pop_front();

  Collect(*view, datagram.source, datagram.arrived);
  if (sender_ != datagram.source) {
    // A signature over nothing but an end of broadcast locks nothing: the broadcast it ends
    // is not the one being received.
    const bool worth = std::any_of(releasing_.begin(), releasing_.end(), [](const Datagram& d) {
      return d.kind != DatagramKind::kEndOfBroadcast;
    });
    if (!worth) {
      releasing_.clear();
      return;
    }
    const bool change = sender_.has_value();
    Lock(datagram.source, view->key);
    if (change) out_.SenderChanged(datagram.source);
  }
  lastGood_ = datagram.arrived;
  ReleaseCollected(datagram.arrived);
}

bool SignatureGate::Admit(const Datagram& datagram, const protocol::SignatureView& view) {
  if (Excluded(datagram.source, datagram.arrived)) {
    ++stats_.otherSender;
    return false;
  }
  if (!Trusted(view.key)) {
    ++stats_.untrusted;
    return false;
  }
  const auto window = counters_.find(view.key);
  const Counter counter =
      window == counters_.end() ? Counter::kNew : Look(window->second, view.counter);
  if (counter != Counter::kNew) {
    if (counter == Counter::kSeen && Duplicate(view.counter, view.signature)) {
      ++stats_.duplicates;
    } else {
      ++stats_.replayed;
    }
    return false;
  }
  if (!checks_.Spend(datagram.arrived)) {
    ++stats_.overBudget;
    return false;
  }
  return true;
}

bool SignatureGate::Trusted(const protocol::PublicKey& key) const {
  return std::binary_search(trusted_.begin(), trusted_.end(), protocol::Fingerprint::Of(key));
}

SignatureGate::Counter SignatureGate::Look(const CounterWindow& window,
                                           std::uint64_t counter) const {
  if (counter > window.highest) return Counter::kNew;
  const std::uint64_t below = window.highest - counter;
  if (below >= kReplayWindow) return Counter::kTooOld;
  return (window.seen >> below) & 1 ? Counter::kSeen : Counter::kNew;
}

void SignatureGate::Mark(CounterWindow& window, std::uint64_t counter) {
  if (counter > window.highest) {
    const std::uint64_t shift = counter - window.highest;
    window.seen = shift >= kReplayWindow ? 0 : window.seen << shift;
    window.highest = counter;
  }
  window.seen |= std::uint64_t{1} << (window.highest - counter);
}

bool SignatureGate::Duplicate(std::uint64_t counter, const protocol::Signature& signature) const {
  return std::any_of(recentGood_.begin(), recentGood_.end(), [&](const GoodSignature& g) {
    return g.counter == counter && g.signature == signature;
  });
}

void SignatureGate::Collect(const protocol::SignatureView& view, const DatagramSource& from,
                            Clock::time_point now) {
  std::vector<protocol::DatagramHash> wanted;
  wanted.reserve(view.Count());
  for (std::size_t i = 0; i < view.Count(); ++i) wanted.push_back(view.Hash(i));
  releasing_.clear();
  for (auto it = held_.begin(); it != held_.end() && !wanted.empty();) {
    const auto match = it->datagram.source == from
                           ? std::find(wanted.begin(), wanted.end(), it->hash)
                           : wanted.end();
    if (match == wanted.end()) {
      ++it;
      continue;
    }
    wanted.erase(match);
    releasing_.push_back(std::move(it->datagram));
    it = held_.erase(it);
  }
  // Those not here yet may still come, reordered, from the same sender.
  for (const protocol::DatagramHash& h : wanted) {
    if (expected_.size() == kMaxExpected) expected_.pop_front();
    expected_.push_back({h, from, now});
  }
}

bool SignatureGate::Excluded(const DatagramSource& source, Clock::time_point at) const {
  if (!preference_.Allows(source)) return true;
  if (!sender_ || source == *sender_) return false;
  const bool passedOver =
      preference_.mode == SenderPreference::Mode::kOnly && !preference_.Allows(*sender_);
  return !passedOver && at - lastGood_ < senderSilence_;
}

void SignatureGate::Lock(const DatagramSource& sender, const protocol::PublicKey& key) {
  sender_ = sender;
  senderKey_ = key;
  fingerprint_ = protocol::Fingerprint::Of(key);
  const auto other = [&](const HeldDatagram& h) { return h.datagram.source != sender; };
  stats_.otherSender +=
      static_cast<std::uint64_t>(std::count_if(held_.begin(), held_.end(), other));
  held_.erase(std::remove_if(held_.begin(), held_.end(), other), held_.end());
}

// Datagrams that waited for the signature count as arrived with it: the parity stage's waits
// start when they could first be used.
void SignatureGate::ReleaseCollected(Clock::time_point stamp) {
  std::vector<Datagram> releasing;
  releasing.swap(releasing_);
  const std::uint64_t generation = generation_;
  for (Datagram& d : releasing) {
    if (generation_ != generation) {
      ++stats_.afterEnd;  // behind an end of broadcast in the same group
      continue;
    }
    d.arrived = std::max(d.arrived, stamp);
    ++stats_.signedDatagrams;
    out_.Release(d);
  }
  releasing.clear();
  if (releasing_.empty()) releasing_.swap(releasing);  // keeps the capacity
}

bool SignatureGate::TakeExpected(const protocol::DatagramHash& hash, const DatagramSource& from) {
  const auto it = std::find_if(expected_.begin(), expected_.end(), [&](const ExpectedHash& e) {
    return e.hash == hash && e.source == from;
  });
  if (it == expected_.end()) return false;
  expected_.erase(it);
  return true;
}

void SignatureGate::Expire(Clock::time_point now) {
  while (!held_.empty() && now - held_.front().datagram.arrived > kHoldLimit) {
    held_.pop_front();
    ++stats_.unsignedDropped;
  }
  while (!expected_.empty() && now - expected_.front().since > kHoldLimit) expected_.pop_front();
}

void SignatureGate::Tick(Clock::time_point now) {
  if (Enforcing()) Expire(now);
}

void SignatureGate::Reset() {
  ++generation_;
  sender_.reset();
  senderKey_.reset();
  fingerprint_.reset();
  stats_.unsignedDropped += held_.size();  // no signature covered them before the end
  held_.clear();
  releasing_.clear();
}

}  // namespace vantorel::receiver
