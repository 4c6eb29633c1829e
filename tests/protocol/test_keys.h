// Signing keys for tests: the same fill gives the same key on every run.
#pragma once

#include <array>
#include <cstdint>

#include "protocol/signing.h"

namespace vantorel::testing {

inline protocol::SigningKey KeyFrom(std::uint8_t fill) {
  std::array<std::uint8_t, protocol::kSeedSize> seed;
  seed.fill(fill);
  return protocol::SigningKey::FromSeed(seed);
}

}  // namespace vantorel::testing
