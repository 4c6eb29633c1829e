// Small JPEGs made for the tests with libjpeg's encoder.
#pragma once

#include <cstdint>
#include <vector>

namespace vantorel::skin::testing {

using Bytes = std::vector<std::uint8_t>;

// pixels: width x height x components bytes, rows packed, colour as red, green, blue.
Bytes EncodeJpeg(int width, int height, int components, const Bytes& pixels);
Bytes SolidColourJpeg(int width, int height, std::uint8_t r, std::uint8_t g, std::uint8_t b);
Bytes SolidGreyJpeg(int width, int height, std::uint8_t value);
// The JPEG cut right after its start-of-scan header: the header is whole, no scan data follows.
Bytes TruncatedAfterHeader(const Bytes& jpeg);

}  // namespace vantorel::skin::testing
