#include "receiver/fec_receiver.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace vantorel::receiver {

using protocol::FragmentId;

FecReceiver::FecReceiver(Deliver deliver) : deliver_(std::move(deliver)) {}

std::int64_t FecReceiver::Ahead(const FragmentId& id) const {
  // Far off either way only has to stay far off: clamped, the sum cannot overflow.
  constexpr std::int64_t kFarMessages = std::int64_t{1} << 20;
  const std::int64_t messages = std::clamp<std::int64_t>(
      static_cast<std::int32_t>(id.message - next_.message), -kFarMessages, kFarMessages);
  return messages * (std::int64_t{1} << 32) + static_cast<std::int64_t>(id.fragment) -
         static_cast<std::int64_t>(next_.fragment);
}

bool FecReceiver::Far(const FragmentId& id) const {
  const auto messages = static_cast<std::int32_t>(id.message - next_.message);
  if (messages >= static_cast<std::int32_t>(kMaxGap) ||
      messages < -static_cast<std::int32_t>(kMaxLate)) {
    return true;
  }
  // A sender numbers every file it opens from 0 again: the start of a numbering well behind
  // the one due is a new file after a short one, not a datagram that lost its way.
  return id.message == 0 && id.fragment == 0 && messages <= -kRestartBehind;
}

bool FecReceiver::Foreign(const protocol::ParityGroup& group) const {
  if (!started_) return false;
  const FragmentId first{group.firstMessage, group.firstFragment, false};
  if (Far(first)) return true;
  const FragmentId& newest = held_.empty() ? next_ : held_.back().id;
  return static_cast<std::int32_t>(first.message - newest.message) > kParityAhead;
}

bool FecReceiver::ParityExpected(Clock::time_point now) const {
  if (parityHeard_) return now - lastParity_ < kParityMemory;
  return firstArrival_ && now - *firstArrival_ < kParityMemory;
}

void FecReceiver::OnMedia(std::span<const std::uint8_t> payload, Clock::time_point arrived) {
  const Clock::time_point now = std::max(arrived, latest_);
  latest_ = now;
  const auto id = protocol::ReadFragmentId(payload);
  if (!id) {
    deliver_(payload);  // the reassembler counts it
    return;
  }
  if (!firstArrival_) firstArrival_ = now;
  if (!ParityExpected(now)) {
    // No parity comes: nothing can fill a gap, so nothing waits.
    if (!held_.empty()) ReleaseAll();
    started_ = true;
    Pass(*id, payload);
    return;
  }
  Keep(*id, payload);
  const std::uint64_t generation = generation_;
  Take(*id, payload, now);
  if (generation == generation_) Tick(now);
}

void FecReceiver::Take(const FragmentId& id, std::span<const std::uint8_t> payload,
                       Clock::time_point now) {
  if (!started_) {
    started_ = true;
    next_ = FragmentId{id.message, id.fragment, false};
  }
  if (Far(id)) {
    // A new numbering (a new session): what waits goes first, then this starts the order.
    const std::uint64_t generation = generation_;
    ReleaseAll();
    if (generation != generation_) return;
    Renumber(id);
  }
  const std::int64_t ahead = Ahead(id);
  if (ahead < 0) {
    ++stats_.late;
    return;
  }
  if (ahead == 0) {
    if (Pass(id, payload)) Drain();
    return;
  }
  const bool gapOpens = held_.empty();
  Hold(id, payload, now);
  if (held_.size() > kMaxHeld) SkipGap();
  if (gapOpens && !held_.empty()) TryGroupsAtGap(now);
}

void FecReceiver::Renumber(const FragmentId& id) {
  next_ = FragmentId{id.message, id.fragment, false};
  // The old numbering's datagrams and groups would be taken for the new one's: its datagrams
  // stay kept under the old numbering, never matched again, and its groups go.
  ++numbering_;
  groups_.clear();
  settled_.clear();
  groupsHeard_.clear();
  if (!kept_.empty() && kept_.back().id.message == id.message &&
      kept_.back().id.fragment == id.fragment) {
    kept_.back().numbering = numbering_;  // this datagram, kept just before
  }
}

void FecReceiver::Keep(const FragmentId& id, std::span<const std::uint8_t> payload) {
  std::vector<std::uint8_t> bytes;
  if (kept_.size() >= kKept) {
    bytes = std::move(kept_.front().bytes);  // its memory is used again
    kept_.pop_front();
  }
  bytes.assign(payload.begin(), payload.end());
  kept_.push_back(KeptDatagram{id, numbering_, std::move(bytes)});
}

const std::vector<std::uint8_t>* FecReceiver::Kept(const FragmentId& id, bool last) const {
  for (auto it = kept_.rbegin(); it != kept_.rend(); ++it) {
    if (it->numbering == numbering_ && it->id.message == id.message &&
        it->id.fragment == id.fragment) {
      return it->id.last == last ? &it->bytes : nullptr;
    }
  }
  return nullptr;
}

void FecReceiver::Hold(const FragmentId& id, std::span<const std::uint8_t> payload,
                       Clock::time_point now) {
  const std::int64_t ahead = Ahead(id);
  auto at = std::lower_bound(held_.begin(), held_.end(), ahead,
                             [this](const Waiting& h, std::int64_t a) { return Ahead(h.id) < a; });
  if (at != held_.end() && Ahead(at->id) == ahead) return;  // a copy
  held_.insert(at, Waiting{id, std::vector<std::uint8_t>(payload.begin(), payload.end()), now});
  ++stats_.reordered;
}

bool FecReceiver::Pass(const FragmentId& id, std::span<const std::uint8_t> payload) {
  next_ = protocol::NextFragment(id);
  const std::uint64_t generation = generation_;
  deliver_(payload);
  return generation == generation_;
}

void FecReceiver::Drain() {
  while (!held_.empty()) {
    const std::int64_t ahead = Ahead(held_.front().id);
    if (ahead > 0) return;
    Waiting h = std::move(held_.front());
    held_.erase(held_.begin());
    if (ahead < 0) continue;
    if (!Pass(h.id, h.bytes)) return;
  }
}

void FecReceiver::SkipGap() {
  if (held_.empty()) return;
  ++stats_.unrecoverable;
  next_ = FragmentId{held_.front().id.message, held_.front().id.fragment, false};
  Drain();
}

void FecReceiver::ReleaseAll() {
  const std::uint64_t generation = generation_;
  while (!held_.empty() && generation == generation_) SkipGap();
}

bool FecReceiver::BeyondRepair(Clock::time_point now) const {
  // Parity goes out group by group, as each closes: once a group that begins past the gap has
  // sent parity, the gap's own group has sent all of its own.
  return std::any_of(groupsHeard_.begin(), groupsHeard_.end(), [&](const auto& heard) {
    return !Far(heard.first) && Ahead(heard.first) > 0 && now - heard.second >= kReorderGrace;
  });
}

void FecReceiver::Tick(Clock::time_point wall) {
  const Clock::time_point now = std::max(wall, latest_);
  latest_ = now;
  const std::uint64_t generation = generation_;
  while (!held_.empty() && generation == generation_) {
    Clock::time_point oldest = held_.front().arrived;
    for (const Waiting& h : held_) oldest = std::min(oldest, h.arrived);
    if (now - oldest < kHoldCap && !BeyondRepair(now)) break;
    SkipGap();
  }
  if (generation != generation_) return;
  std::erase_if(groups_, [now](const auto& g) { return now - g.second.heard > kParityMemory; });
}

void FecReceiver::Reset() {
  ++generation_;
  ++numbering_;
  started_ = false;
  // The sender heard next may add no parity: its first datagrams wait for kParityMemory only.
  parityHeard_ = false;
  firstArrival_.reset();
  held_.clear();
  kept_.clear();
  groups_.clear();
  settled_.clear();
  groupsHeard_.clear();
  codes_.clear();
}

protocol::ErasureCode& FecReceiver::Code(std::size_t k, std::size_t p) {
  ++codeUses_;
  for (CachedCode& c : codes_) {
    if (c.k == k && c.p == p) {
      c.used = codeUses_;
      return *c.code;
    }
  }
  if (codes_.size() >= kMaxCodes) {
    const auto oldest = std::min_element(
        codes_.begin(), codes_.end(), [](const auto& a, const auto& b) { return a.used < b.used; });
    codes_.erase(oldest);
  }
  codes_.push_back(CachedCode{k, p, codeUses_, std::make_unique<protocol::ErasureCode>(k, p)});
  return *codes_.back().code;
}

void FecReceiver::OnParity(std::span<const std::uint8_t> payload, Clock::time_point arrived) {
  const Clock::time_point now = std::max(arrived, latest_);
  latest_ = now;
  const auto d = protocol::ReadParityDatagram(payload);
  if (!d) {
    ++stats_.badParity;
    return;
  }
  ++stats_.parity;
  lastParity_ = now;
  parityHeard_ = true;
  // Neither rebuilt from nor taken as a later group: its datagrams are not this numbering's.
  if (Foreign(d->group)) return;
  const FragmentId first{d->group.firstMessage, d->group.firstFragment, false};
  if (groupsHeard_.empty() || groupsHeard_.back().first != first) {
    if (groupsHeard_.size() == kMaxGroups) groupsHeard_.pop_front();
    groupsHeard_.emplace_back(first, now);
  }
  if (Settled(d->group)) return;
  Group& g = groups_[d->group.number];
  if (g.meta != d->group) g = Group{d->group, {}, now};  // new, or the number came round again
  g.parity.resize(d->group.paritySymbols);
  g.heard = now;
  if (g.parity[d->index].empty()) g.parity[d->index].assign(d->symbol.begin(), d->symbol.end());
  if (groups_.size() > kMaxGroups) {
    auto oldest = groups_.begin();
    for (auto it = groups_.begin(); it != groups_.end(); ++it) {
      if (it->second.heard < oldest->second.heard) oldest = it;
    }
    if (oldest->first != d->group.number) groups_.erase(oldest);
  }
  TryDecode(d->group.number, now);
}

void FecReceiver::Settle(const protocol::ParityGroup& group) {
  if (settled_.size() == kMaxGroups) settled_.pop_front();
  settled_.push_back(SettledGroup{group.number, group.firstMessage, group.firstFragment});
}

bool FecReceiver::Settled(const protocol::ParityGroup& group) const {
  return std::any_of(settled_.begin(), settled_.end(), [&](const SettledGroup& s) {
    return s.number == group.number && s.firstMessage == group.firstMessage &&
           s.firstFragment == group.firstFragment;
  });
}

// The groups whose datagrams span the gap at the next due: their parity may have come first.
void FecReceiver::TryGroupsAtGap(Clock::time_point now) {
  std::vector<std::uint16_t> spanning;
  for (const auto& [number, g] : groups_) {
    const std::vector<FragmentId> ids = g.meta.SourceIds();
    if (!ids.empty() && Ahead(ids.front()) <= 0 && Ahead(ids.back()) >= 0) {
      spanning.push_back(number);
    }
  }
  const std::uint64_t generation = generation_;
  for (const std::uint16_t number : spanning) {
    if (generation != generation_) return;
    TryDecode(number, now);
  }
}

void FecReceiver::TryDecode(std::uint16_t number, Clock::time_point now) {
  const auto it = groups_.find(number);
  if (it == groups_.end()) return;
  const Group& g = it->second;
  const std::vector<FragmentId> ids = g.meta.SourceIds();
  const std::size_t size = g.meta.symbolSize;
  const std::size_t k = g.meta.DataSymbols();
  const std::size_t p = g.meta.paritySymbols;
  std::vector<const std::vector<std::uint8_t>*> sources(ids.size());
  std::size_t missing = 0;
  // Symbols to rebuild: a lost datagram no longer than one symbol has only zeros in its second.
  std::size_t unknown = 0;
  for (std::size_t i = 0; i < ids.size(); ++i) {
    const bool last = (g.meta.sources[i] & protocol::kParitySourceLast) != 0;
    sources[i] = Kept(ids[i], last);
    if (sources[i] != nullptr && sources[i]->size() != g.meta.SourceLength(i)) sources[i] = nullptr;
    if (sources[i] == nullptr) {
      ++missing;
      unknown += g.meta.SourceLength(i) > size ? 2 : 1;
    }
  }
  if (missing == 0) {
    Settle(g.meta);
    groups_.erase(it);  // whole: nothing to rebuild
    return;
  }
  std::size_t parityThere = 0;
  for (const auto& symbol : g.parity) parityThere += symbol.empty() ? 0 : 1;
  if (unknown > parityThere) return;  // more parity may come

  std::vector<std::uint8_t> scratch((k + k) * size, 0);  // padded sources, then rebuilt ones
  std::vector<const std::uint8_t*> symbols(k + p, nullptr);
  std::vector<std::uint8_t*> out(k, nullptr);
  for (std::size_t i = 0; i < ids.size(); ++i) {
    std::uint8_t* at = scratch.data() + 2 * i * size;
    if (sources[i] != nullptr) {
      std::memcpy(at, sources[i]->data(), sources[i]->size());
      symbols[2 * i] = at;
      symbols[2 * i + 1] = at + size;
    } else {
      out[2 * i] = scratch.data() + (k + 2 * i) * size;
      out[2 * i + 1] = out[2 * i] + size;
      if (g.meta.SourceLength(i) <= size) symbols[2 * i + 1] = at + size;  // known: zeros
    }
  }
  for (std::size_t j = 0; j < p; ++j) {
    if (!g.parity[j].empty()) symbols[k + j] = g.parity[j].data();
  }
  if (!Code(k, p).Decode(size, symbols.data(), out.data())) return;

  std::vector<std::pair<FragmentId, std::vector<std::uint8_t>>> rebuilt;
  for (std::size_t i = 0; i < ids.size(); ++i) {
    if (sources[i] != nullptr) continue;
    std::vector<std::uint8_t> bytes(out[2 * i], out[2 * i] + g.meta.SourceLength(i));
    // The rebuilt datagram names its own place: it must be the one the group says.
    if (protocol::ReadFragmentId(bytes) != ids[i]) {
      ++stats_.badParity;
      continue;
    }
    rebuilt.emplace_back(ids[i], std::move(bytes));
  }
  Settle(g.meta);
  groups_.erase(it);
  ++stats_.groupsDecoded;
  // The wait: from the first datagram that came after the gap, so since the loss could be seen.
  if (!rebuilt.empty() && (!started_ || Ahead(rebuilt.front().first) >= 0)) {
    const std::int64_t gap = Ahead(rebuilt.front().first);
    std::optional<Clock::time_point> seen;
    for (const Waiting& h : held_) {
      if (Ahead(h.id) > gap && (!seen || h.arrived < *seen)) seen = h.arrived;
    }
    if (seen) {
      const auto waited = std::chrono::duration_cast<std::chrono::microseconds>(now - *seen);
      const auto us = static_cast<std::uint64_t>(std::max<std::int64_t>(0, waited.count()));
      stats_.waitTotalUs += us;
      stats_.waitMaxUs = std::max(stats_.waitMaxUs, us);
    }
  }
  const std::uint64_t generation = generation_;
  for (auto& [id, bytes] : rebuilt) {
    if (generation != generation_) return;
    if (started_ && Ahead(id) < 0) continue;  // its gap was given up already
    ++stats_.recovered;
    Keep(id, bytes);
    Take(id, bytes, now);
  }
}

}  // namespace vantorel::receiver
