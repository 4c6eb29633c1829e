// A sender's announcement: who it is (a name a person gave it), what it plays and whether it
// plays, pauses or is stopped. A sender sends one a second and at once when any of it changes,
// under a route key of its own, so receivers that do not know the key drop it and play as
// before. A sender with an identity signs it, so that a receiver that trusts only some senders
// can list only those. docs/announcement.md gives the byte layout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/signing.h"

namespace vantorel::protocol {

inline constexpr std::uint8_t kAnnouncementVersion = 1;
inline constexpr std::uint8_t kAnnouncementSigned = 0x01;
// The longest name and title, in bytes of UTF-8.
inline constexpr std::size_t kMaxSenderName = 64;
inline constexpr std::size_t kMaxSenderTitle = 128;
// Version, flags, state, source, counter, session, the two lengths.
inline constexpr std::size_t kAnnouncementFixed = 1 + 1 + 1 + 1 + 8 + 1 + 1 + 1;
inline constexpr std::size_t kMaxAnnouncementPayload =
    kAnnouncementFixed + kMaxSenderName + kMaxSenderTitle + kPublicKeySize + kSignatureSize;

enum class SenderState : std::uint8_t { kStopped = 0, kPlaying = 1, kPaused = 2 };
enum class SenderSource : std::uint8_t {
  kNothing = 0,
  kFile = 1,
  kScreen = 2,
  kCamera = 3,
  kMicrophone = 4,  // the microphone alone
};

struct Announcement {
  SenderState state = SenderState::kStopped;
  SenderSource source = SenderSource::kNothing;
  std::uint64_t counter = 0;  // one more for each announcement sent
  std::uint8_t session = 0;   // the number of the session on the air, or of the last one
  std::string name;           // 1 to kMaxSenderName bytes
  std::string title;          // what it plays; may be empty

  friend bool operator==(const Announcement&, const Announcement&) = default;
};

// An announcement as read, with its signature when it carries one (not checked yet).
struct AnnouncementView {
  Announcement announcement;
  std::optional<PublicKey> key;
  Signature signature{};
  std::span<const std::uint8_t> signedPart;  // the payload before the signature
};

// `text` cut to at most `limit` bytes without splitting a character, with control characters
// made spaces and invalid UTF-8 dropped: what a sender may put in a name or a title.
std::string CleanAnnouncedText(std::string_view text, std::size_t limit);

// The payload (after the route key); signed when a key is given. Name and title are cleaned
// first; an empty name is sent as "?".
std::vector<std::uint8_t> WriteAnnouncement(const Announcement& announcement,
                                            const SigningKey* key = nullptr);
// Checked field by field: the version, a state and source it knows, lengths in range, the
// exact total length, UTF-8 without control characters, a name that is not empty. Nothing
// when any is wrong.
std::optional<AnnouncementView> ReadAnnouncement(std::span<const std::uint8_t> payload);
// Whether a signed announcement's signature holds; false for an unsigned one.
bool Verify(const AnnouncementView& view);

}  // namespace vantorel::protocol
