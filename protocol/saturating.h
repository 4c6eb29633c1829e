// Additions and subtractions of 64-bit times that stop at the ends of the range instead of
// overflowing: times and clocks from the wire may be any value.
#pragma once

#include <cstdint>
#include <limits>

namespace vantorel::protocol {

inline constexpr std::int64_t kTimeMin = std::numeric_limits<std::int64_t>::min();
inline constexpr std::int64_t kTimeMax = std::numeric_limits<std::int64_t>::max();

constexpr std::int64_t SaturatingAdd(std::int64_t a, std::int64_t b) {
  if (b > 0 && a > kTimeMax - b) return kTimeMax;
  if (b < 0 && a < kTimeMin - b) return kTimeMin;
  return a + b;
}

constexpr std::int64_t SaturatingSub(std::int64_t a, std::int64_t b) {
  if (b < 0 && a > kTimeMax + b) return kTimeMax;
  if (b > 0 && a < kTimeMin + b) return kTimeMin;
  return a - b;
}

// a + b - c, exact wherever it fits the range. When b - c does not fit, b and -c go the same
// way: a + b then fits, or leaves the range the way the whole sum does.
constexpr std::int64_t SaturatingAddSub(std::int64_t a, std::int64_t b, std::int64_t c) {
  if ((c < 0 && b > kTimeMax + c) || (c > 0 && b < kTimeMin + c)) {
    return SaturatingSub(SaturatingAdd(a, b), c);
  }
  return SaturatingAdd(a, b - c);
}

}  // namespace vantorel::protocol
