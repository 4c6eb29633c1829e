// A QR code as an SVG picture: black modules on white, with the quiet zone around them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vantorel::web {

// Modules of white around the code, as the QR standard asks.
inline constexpr int kQrQuietZone = 4;

// The SVG document of the QR code of `text` (byte mode, error correction level M); nothing
// when the text does not fit in a code.
std::optional<std::string> QrSvg(std::string_view text);

}  // namespace vantorel::web
