// Reading a browser's session description offer: whether it is well formed, and which of its
// payload types carry the codecs the web output sends (H.264 and Opus). Plain text handling,
// no media library.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "tools/web/viewer_host.h"

namespace vantorel::web {

// The largest offer taken; browsers send a few kilobytes.
inline constexpr std::size_t kMaxOfferSize = 64 * 1024;
// More lines than any offer of two sections has (a browser's has about a hundred).
inline constexpr std::size_t kMaxOfferLines = 4096;

struct OfferCheck {
  bool ok = false;
  OfferCodecs codecs;  // when ok
  std::string error;   // when not: why, in a few words
};

// Checks the offer's form (size, "v=0" first, every line "x=...", CRLF or LF line ends, no NUL,
// at least one audio or video section, a bounded line count) and reads the codecs from it: the
// H.264 payload with packetization mode 1 (constrained baseline preferred, then baseline, then
// main), Opus at 48 kHz with two channels, and the mids of the sections. An offer without both
// codecs is refused.
OfferCheck ReadOffer(std::string_view sdp);

}  // namespace vantorel::web
