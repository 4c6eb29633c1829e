#include "receiver/sender_directory.h"

#include <algorithm>

namespace vantorel::receiver {

DirectoryStats& DirectoryStats::operator+=(const DirectoryStats& b) {
  announcements += b.announcements;
  taken += b.taken;
  malformed += b.malformed;
  badSignature += b.badSignature;
  unsignedRefused += b.unsignedRefused;
  untrusted += b.untrusted;
  replayed += b.replayed;
  overBudget += b.overBudget;
  full += b.full;
  return *this;
}

SenderDirectory::SenderDirectory(std::vector<protocol::Fingerprint> trusted)
    : trusted_(std::move(trusted)) {
  std::sort(trusted_.begin(), trusted_.end());
}

void SenderDirectory::Hear(std::span<const std::uint8_t> payload, const DatagramSource& from,
                           Clock::time_point now) {
  ++stats_.announcements;
  const std::optional<protocol::AnnouncementView> view = protocol::ReadAnnouncement(payload);
  if (!view) {
    ++stats_.malformed;
    return;
  }
  // No signature is checked for a sender that has no room.
  if (Find(from) == nullptr && !MakeRoom(now)) {
    ++stats_.full;
    return;
  }
  std::optional<protocol::Fingerprint> fingerprint;
  if (!Check(*view, now, fingerprint)) return;
  HeardSender* slot = Slot(from, now);
  ++stats_.taken;
  // An unchecked signature (over budget, open mode) keeps the fingerprint shown when it names
  // the same key; another key's shows none, as an unsigned announcement does.
  if (!fingerprint && view->key && slot->fingerprint == protocol::Fingerprint::Of(*view->key)) {
    fingerprint = slot->fingerprint;
  }
  const bool wasOnAir = slot->lastHeard != Clock::time_point{} && IsOnAir(*slot, now);
  if (!wasOnAir || slot->announcement.name != view->announcement.name ||
      slot->announcement.title != view->announcement.title ||
      slot->announcement.state != view->announcement.state ||
      slot->announcement.source != view->announcement.source || slot->fingerprint != fingerprint) {
    ++generation_;
  }
  slot->fingerprint = fingerprint;
  slot->announcement = view->announcement;
  slot->lastHeard = now;
}

bool SenderDirectory::Check(const protocol::AnnouncementView& view, Clock::time_point now,
                            std::optional<protocol::Fingerprint>& fingerprint) {
  if (!view.key) {
    if (!Enforcing()) return true;
    ++stats_.unsignedRefused;
    return false;
  }
  const protocol::Fingerprint signer = protocol::Fingerprint::Of(*view.key);
  if (Enforcing()) {
    if (!std::binary_search(trusted_.begin(), trusted_.end(), signer)) {
      ++stats_.untrusted;
      return false;
    }
    const auto last = newest_.find(*view.key);
    if (last != newest_.end() && view.announcement.counter <= last->second) {
      ++stats_.replayed;
      return false;
    }
  }
  if (!checks_.Spend(now)) {
    ++stats_.overBudget;
    return !Enforcing();
  }
  if (!protocol::Verify(view)) {
    ++stats_.badSignature;
    return false;
  }
  if (Enforcing()) newest_[*view.key] = view.announcement.counter;
  fingerprint = signer;
  return true;
}

bool SenderDirectory::MakeRoom(Clock::time_point now) {
  // Forgotten first: those not heard for long, then, when full, the one heard least lately
  // among those off the air.
  const auto stale = [&](const HeardSender& s) { return now - s.lastHeard >= kRemember; };
  senders_.erase(std::remove_if(senders_.begin(), senders_.end(), stale), senders_.end());
  if (senders_.size() < kMaxSenders) return true;
  auto oldest = senders_.end();
  for (auto it = senders_.begin(); it != senders_.end(); ++it) {
    if (IsOnAir(*it, now)) continue;
    if (oldest == senders_.end() || it->lastHeard < oldest->lastHeard) oldest = it;
  }
  if (oldest == senders_.end()) return false;
  senders_.erase(oldest);
  return true;
}

HeardSender* SenderDirectory::Slot(const DatagramSource& from, Clock::time_point now) {
  for (HeardSender& s : senders_) {
    if (s.address == from) return &s;
  }
  HeardSender& added = senders_.emplace_back();
  added.address = from;
  added.firstHeard = now;
  return &added;
}

std::vector<HeardSender> SenderDirectory::OnAir(Clock::time_point now) const {
  std::vector<HeardSender> out;
  for (const HeardSender& s : senders_) {
    if (IsOnAir(s, now)) out.push_back(s);
  }
  return out;
}

const HeardSender* SenderDirectory::Find(const DatagramSource& address) const {
  for (const HeardSender& s : senders_) {
    if (s.address == address) return &s;
  }
  return nullptr;
}

SenderPreference SenderDirectory::Preference(const SenderChoice& choice,
                                             std::optional<DatagramSource> locked,
                                             Clock::time_point now) const {
  if (choice.Empty()) return {};
  if (choice.address) {
    if (choice.only) return SenderPreference::Only(*choice.address);
    const SenderPreference wanted = SenderPreference::Only(*choice.address);
    const bool onAir = std::any_of(senders_.begin(), senders_.end(), [&](const HeardSender& s) {
      return IsOnAir(s, now) && wanted.Allows(s.address);
    });
    return onAir ? wanted : SenderPreference{};
  }
  const auto named = [&](const HeardSender& s) { return s.announcement.name == choice.name; };
  if (locked) {
    const HeardSender* current = Find(*locked);
    if (current != nullptr && named(*current) && (choice.only || IsOnAir(*current, now))) {
      return SenderPreference::Only(*locked);
    }
  }
  const HeardSender* newest = nullptr;
  for (const HeardSender& s : senders_) {
    if (!named(s)) continue;
    if (IsOnAir(s, now)) return SenderPreference::Only(s.address);
    if (newest == nullptr || s.lastHeard > newest->lastHeard) newest = &s;
  }
  if (!choice.only) return {};
  return newest != nullptr ? SenderPreference::Only(newest->address) : SenderPreference::Nobody();
}

}  // namespace vantorel::receiver
