#include "protocol/announcement.h"

#include <sodium.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "protocol/byte_io.h"
#include "protocol/wire_format.h"

namespace vantorel::protocol {
namespace {

constexpr std::size_t kMaxSignedMessage = kRouteKeySize + kMaxAnnouncementPayload;

// The length of the UTF-8 character starting at text[i], or 0 when none starts there.
std::size_t CharacterLength(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  std::size_t length = 0;
  std::uint32_t lowest = 0;
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) {
    length = 2;
    lowest = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    lowest = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    lowest = 0x10000;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  std::uint32_t code = lead & (0x7F >> length);
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i + k) & 0x3F);
  }
  // Overlong forms, surrogates and what lies beyond Unicode are not characters.
  if (code < lowest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

bool IsControl(unsigned char c) {
  return c < 0x20 || c == 0x7F;
}

// Whether the text is clean UTF-8: what CleanAnnouncedText leaves unchanged.
bool IsClean(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = CharacterLength(text, i);
    if (n == 0 || (n == 1 && IsControl(static_cast<unsigned char>(text[i])))) return false;
    i += n;
  }
  return true;
}

std::string_view AsText(std::span<const std::uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

}  // namespace

std::string CleanAnnouncedText(std::string_view text, std::size_t limit) {
  std::string out;
  out.reserve(std::min(text.size(), limit));
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = CharacterLength(text, i);
    if (n == 0) {
      ++i;
      continue;
    }
    if (out.size() + n > limit) break;
    const bool control = n == 1 && IsControl(static_cast<unsigned char>(text[i]));
    for (std::size_t k = 0; k < n; ++k) out.push_back(control ? ' ' : text[i + k]);
    i += n;
  }
  return out;
}

std::vector<std::uint8_t> WriteAnnouncement(const Announcement& announcement,
                                            const SigningKey* key) {
  const std::string cleaned = CleanAnnouncedText(announcement.name, kMaxSenderName);
  const std::string_view name = cleaned.empty() ? std::string_view("?") : cleaned;
  const std::string title = CleanAnnouncedText(announcement.title, kMaxSenderTitle);
  const std::size_t signedSize =
      kAnnouncementFixed + name.size() + title.size() + (key != nullptr ? kPublicKeySize : 0);
  std::vector<std::uint8_t> out(signedSize + (key != nullptr ? kSignatureSize : 0));
  ByteWriter w(out);
  w.U8(kAnnouncementVersion);
  w.U8(key != nullptr ? kAnnouncementSigned : 0);
  w.U8(static_cast<std::uint8_t>(announcement.state));
  w.U8(static_cast<std::uint8_t>(announcement.source));
  w.U64(announcement.counter);
  w.U8(announcement.session);
  w.U8(static_cast<std::uint8_t>(name.size()));
  w.Bytes({reinterpret_cast<const std::uint8_t*>(name.data()), name.size()});
  w.U8(static_cast<std::uint8_t>(title.size()));
  w.Bytes({reinterpret_cast<const std::uint8_t*>(title.data()), title.size()});
  if (key == nullptr) return out;
  w.Bytes(key->Public());
  std::array<std::uint8_t, kMaxSignedMessage> message;
  StoreU32(message.data(), kRouteKeyAnnouncement);
  std::memcpy(message.data() + kRouteKeySize, out.data(), signedSize);
  w.Bytes(key->Sign({message.data(), kRouteKeySize + signedSize}));
  return out;
}

std::optional<AnnouncementView> ReadAnnouncement(std::span<const std::uint8_t> payload) {
  if (payload.size() > kMaxAnnouncementPayload) return std::nullopt;
  ByteReader r(payload);
  AnnouncementView v;
  Announcement& a = v.announcement;
  if (r.U8() != kAnnouncementVersion) return std::nullopt;
  const std::uint8_t flags = r.U8();
  const std::uint8_t state = r.U8();
  const std::uint8_t source = r.U8();
  a.counter = r.U64();
  a.session = r.U8();
  if ((flags & ~kAnnouncementSigned) != 0 || state > 2 || source > 4) return std::nullopt;
  a.state = static_cast<SenderState>(state);
  a.source = static_cast<SenderSource>(source);
  const std::size_t nameSize = r.U8();
  const std::string_view name = AsText(r.Bytes(nameSize));
  const std::size_t titleSize = r.U8();
  const std::string_view title = AsText(r.Bytes(titleSize));
  if (!r.Ok() || nameSize == 0 || nameSize > kMaxSenderName || titleSize > kMaxSenderTitle) {
    return std::nullopt;
  }
  if (!IsClean(name) || !IsClean(title)) return std::nullopt;
  a.name = std::string(name);
  a.title = std::string(title);
  if ((flags & kAnnouncementSigned) != 0) {
    const auto key = r.Bytes(kPublicKeySize);
    v.signedPart = payload.first(r.Position());
    const auto signature = r.Bytes(kSignatureSize);
    if (!r.Ok()) return std::nullopt;
    v.key.emplace();
    std::copy(key.begin(), key.end(), v.key->begin());
    std::copy(signature.begin(), signature.end(), v.signature.begin());
  }
  if (r.Remaining() != 0) return std::nullopt;
  return v;
}

bool Verify(const AnnouncementView& view) {
  if (!view.key || !CryptoReady() || view.signedPart.size() > kMaxAnnouncementPayload) {
    return false;
  }
  std::array<std::uint8_t, kMaxSignedMessage> message;
  StoreU32(message.data(), kRouteKeyAnnouncement);
  std::memcpy(message.data() + kRouteKeySize, view.signedPart.data(), view.signedPart.size());
  return crypto_sign_verify_detached(view.signature.data(), message.data(),
                                     kRouteKeySize + view.signedPart.size(), view.key->data()) == 0;
}

}  // namespace vantorel::protocol
