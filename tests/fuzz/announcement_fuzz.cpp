// Sender announcements and the list of senders built from them. The whole input is first read
// as an announcement: what reads must be clean and must read back the same once written again.
// Then it drives a sender list, open when the first byte is even, trusting one fixed key when
// it is odd. The bytes after it are cut into steps:
//
//   byte 0: the action (bits 0-2), a byte of the payload flipped (bit 7; its place is the
//           action's last byte);
//   byte 1: the source: one of 32 addresses (bits 0-4) and one of two ports (bit 5);
//   byte 2: the time since the step before: below 200 in milliseconds, 200 to 254 in tenths
//           of a second past 0.1 s, 255 a minute and a second;
//   then the action's own bytes:
//     0     input bytes as an announcement: a length byte, then the bytes;
//     1-3   an announcement made here, unsigned (1), signed by the trusted key (2) or by
//           another key (3): state and source (bits 0-1, 2-3; bit 7: the counter goes back),
//           a counter step, the session, the name (below 0xF0 one of a few names, else that
//           many input bytes less 0xF0), a title length, then the title's bytes;
//     4     an announcement made before, sent again (byte: which);
//     5-7   nothing: time passes.
//
// The list must hold at most kMaxSenders senders, each once, with a clean name and title; what
// is on the air must be the senders heard within kOnAir; a trusting list must list only the
// trusted key's announcements, each with a newer counter; a fingerprint shown must be that of
// the key of the sender's last announcement; a choice by the name or the address of a sender
// listed must let that sender (or one of that name) take the lock.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "protocol/announcement.h"
#include "protocol/signing.h"
#include "receiver/sender_directory.h"
#include "tests/fuzz/fuzz_input.h"
#include "tests/protocol/test_keys.h"

namespace {

namespace protocol = vantorel::protocol;
using vantorel::receiver::DatagramSource;
using vantorel::receiver::HeardSender;
using vantorel::receiver::SenderChoice;
using vantorel::receiver::SenderDirectory;
using namespace std::chrono_literals;

constexpr std::size_t kRemembered = 64;
// Signing and checking cost; a few dozen signatures reach every path.
constexpr int kMaxSignatures = 24;
constexpr std::array<const char*, 5> kNames{"Hall", "Stage", "Foyer", "Hall 2", "Bühne"};

using vantorel::testing::Check;

using vantorel::testing::KeyFrom;

const protocol::SigningKey& Trusted() {
  static const protocol::SigningKey key = KeyFrom(0x5A);
  return key;
}

const protocol::SigningKey& Stranger() {
  static const protocol::SigningKey key = KeyFrom(0xA5);
  return key;
}

using Input = vantorel::testing::FuzzInput;

bool Clean(const protocol::Announcement& a) {
  return !a.name.empty() && a.name.size() <= protocol::kMaxSenderName &&
         a.title.size() <= protocol::kMaxSenderTitle &&
         protocol::CleanAnnouncedText(a.name, protocol::kMaxSenderName) == a.name &&
         protocol::CleanAnnouncedText(a.title, protocol::kMaxSenderTitle) == a.title;
}

// The announcement read on its own.
void ReadWhole(std::span<const std::uint8_t> payload) {
  const auto view = protocol::ReadAnnouncement(payload);
  if (!view) return;
  Check(Clean(view->announcement));
  const std::size_t texts = view->announcement.name.size() + view->announcement.title.size();
  if (view->key) {
    Check(payload.size() == protocol::kAnnouncementFixed + texts + protocol::kPublicKeySize +
                                protocol::kSignatureSize);
    Check(view->signedPart.size() + protocol::kSignatureSize == payload.size());
    protocol::Verify(*view);
  } else {
    Check(payload.size() == protocol::kAnnouncementFixed + texts);
    Check(!protocol::Verify(*view));
    // Unsigned, it is written again byte for byte.
    const std::vector<std::uint8_t> again = protocol::WriteAnnouncement(view->announcement);
    Check(std::ranges::equal(again, payload));
  }
  const std::vector<std::uint8_t> signedAgain =
      protocol::WriteAnnouncement(view->announcement, &Trusted());
  const auto reread = protocol::ReadAnnouncement(signedAgain);
  Check(reread && reread->announcement == view->announcement);
  Check(reread->key == Trusted().Public() && protocol::Verify(*reread));
}

class Driver {
 public:
  explicit Driver(bool trusting)
      : trusting_(trusting),
        directory_(trusting ? std::vector{Trusted().FingerprintOf()}
                            : std::vector<protocol::Fingerprint>{}) {}

  void Run(Input& in) {
    while (!in.Empty()) {
      const std::uint8_t op = in.Byte();
      const std::uint8_t where = in.Byte();
      const DatagramSource source{0x0A4D0001u + (where & 0x1Fu),
                                  static_cast<std::uint16_t>(40000 + ((where >> 5) & 1))};
      const std::uint8_t step = in.Byte();
      now_ += step < 200 ? std::chrono::milliseconds(step)
                         : (step < 255 ? (step - 199) * 100ms : 61000ms);
      std::vector<std::uint8_t> payload = Payload(op, in);
      if ((op & 0x80) != 0 && !payload.empty()) payload[in.Byte() % payload.size()] ^= 0x01;
      Hear(payload, source);
      CheckList();
    }
  }

 private:
  std::vector<std::uint8_t> Payload(std::uint8_t op, Input& in) {
    switch (op & 7) {
      case 0: {
        const auto bytes = in.Bytes(in.Byte());
        return {bytes.begin(), bytes.end()};
      }
      case 1:
      case 2:
      case 3:
        return Make(op & 7, in);
      case 4:
        if (made_.empty()) return {};
        return made_[in.Byte() % made_.size()];
      default:
        return {};
    }
  }

  std::vector<std::uint8_t> Make(int signer, Input& in) {
    protocol::Announcement a;
    const std::uint8_t kinds = in.Byte();
    a.state = static_cast<protocol::SenderState>((kinds & 3) % 3);
    a.source = static_cast<protocol::SenderSource>((kinds >> 2) & 3);
    const std::uint8_t counterStep = in.Byte();
    a.counter = (kinds & 0x80) != 0 ? counter_ - counterStep : (counter_ += 1 + counterStep);
    a.session = in.Byte();
    const std::uint8_t name = in.Byte();
    if (name < 0xF0) {
      a.name = kNames[name % kNames.size()];
    } else {
      const auto bytes = in.Bytes(name - 0xF0);
      a.name.assign(bytes.begin(), bytes.end());
    }
    const auto title = in.Bytes(in.Byte());
    a.title.assign(title.begin(), title.end());
    const protocol::SigningKey* key = nullptr;
    if (signer != 1 && signatures_ < kMaxSignatures) {
      ++signatures_;
      key = signer == 2 ? &Trusted() : &Stranger();
    }
    std::vector<std::uint8_t> bytes = protocol::WriteAnnouncement(a, key);
    made_.push_back(bytes);
    if (made_.size() > kRemembered) made_.pop_front();
    return bytes;
  }

  void Hear(const std::vector<std::uint8_t>& payload, const DatagramSource& from) {
    const std::uint64_t taken = directory_.Stats().taken;
    directory_.Hear(payload, from, now_);
    if (directory_.Stats().taken == taken) return;
    Check(directory_.Stats().taken == taken + 1);
    const auto view = protocol::ReadAnnouncement(payload);
    Check(view.has_value());
    const HeardSender* heard = directory_.Find(from);
    Check(heard != nullptr && heard->announcement == view->announcement &&
          heard->lastHeard == now_);
    lastKey_[Key(from)] = view->key;
    if (trusting_) {
      // Only the trusted key, each time with a newer counter.
      Check(view->key == Trusted().Public());
      Check(!newest_ || view->announcement.counter > *newest_);
      newest_ = view->announcement.counter;
    }
  }

  void CheckList() const {
    const std::vector<HeardSender>& all = directory_.Remembered();
    Check(all.size() <= SenderDirectory::kMaxSenders);
    const std::vector<HeardSender> onAir = directory_.OnAir(now_);
    std::size_t live = 0;
    for (std::size_t i = 0; i < all.size(); ++i) {
      const HeardSender& s = all[i];
      for (std::size_t k = i + 1; k < all.size(); ++k) Check(!(all[k].address == s.address));
      Check(Clean(s.announcement));
      Check(s.firstHeard <= s.lastHeard && s.lastHeard <= now_);
      if (trusting_) Check(s.fingerprint == Trusted().FingerprintOf());
      if (s.fingerprint) {
        const auto key = lastKey_.find(Key(s.address));
        Check(key != lastKey_.end() && key->second &&
              protocol::Fingerprint::Of(*key->second) == *s.fingerprint);
      }
      const bool isOnAir = now_ - s.lastHeard < SenderDirectory::kOnAir;
      if (isOnAir) {
        Check(live < onAir.size() && onAir[live].address == s.address &&
              onAir[live].announcement == s.announcement);
        ++live;
      }
      CheckChoices(s, isOnAir);
    }
    Check(live == onAir.size());
    const SenderChoice nobody{"?? not a sender", std::nullopt, false};
    if (std::ranges::none_of(
            all, [&](const HeardSender& s) { return s.announcement.name == nobody.name; })) {
      Check(directory_.Preference(nobody, std::nullopt, now_).Allows({1, 1}));
    }
  }

  // A choice of the sender `s` lets it, or one of its name, take the lock.
  void CheckChoices(const HeardSender& s, bool isOnAir) const {
    const std::string& name = s.announcement.name;
    const auto bearsName = [&](const DatagramSource& a) {
      const HeardSender* h = directory_.Find(a);
      return h != nullptr && h->announcement.name == name;
    };
    const SenderChoice byAddress{{}, s.address, false};
    const SenderChoice byAnyPort{{}, DatagramSource{s.address.address, 0}, false};
    const SenderChoice byName{name, std::nullopt, false};
    const SenderChoice onlyByName{name, std::nullopt, true};
    const auto locked = std::optional<DatagramSource>(s.address);
    if (isOnAir) {
      Check(directory_.Preference(byAddress, std::nullopt, now_).Allows(s.address));
      Check(directory_.Preference(byAnyPort, std::nullopt, now_).Allows(s.address));
      Check(directory_.Preference(byName, locked, now_).Allows(s.address));
      const auto first = directory_.Preference(byName, std::nullopt, now_);
      Check(first.mode == vantorel::receiver::SenderPreference::Mode::kOnly &&
            bearsName(first.only));
    }
    Check(directory_.Preference(onlyByName, locked, now_).Allows(s.address));
    const auto only = directory_.Preference(onlyByName, std::nullopt, now_);
    Check(only.mode == vantorel::receiver::SenderPreference::Mode::kOnly && bearsName(only.only));
  }

  static std::pair<std::uint32_t, std::uint16_t> Key(const DatagramSource& s) {
    return {s.address, s.port};
  }

  bool trusting_;
  SenderDirectory directory_;
  SenderDirectory::Clock::time_point now_ = SenderDirectory::Clock::time_point{} + 1h;
  std::deque<std::vector<std::uint8_t>> made_;
  // The key of the last announcement taken from each source.
  std::map<std::pair<std::uint32_t, std::uint16_t>, std::optional<protocol::PublicKey>> lastKey_;
  std::optional<std::uint64_t> newest_;
  std::uint64_t counter_ = 1000;
  int signatures_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ReadWhole({data, size});
  Input in(data, size);
  Driver driver((in.Byte() & 1) != 0);
  driver.Run(in);
  return 0;
}
