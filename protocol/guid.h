// A GUID in its in-memory (wire) form: 32-bit, two 16-bit fields little-endian, 8 bytes.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace vantorel::protocol {

struct Guid {
  std::uint32_t data1 = 0;
  std::uint16_t data2 = 0;
  std::uint16_t data3 = 0;
  std::array<std::uint8_t, 8> data4{};

  friend bool operator==(const Guid&, const Guid&) = default;

  static constexpr std::size_t kSize = 16;
  std::array<std::uint8_t, kSize> ToBytes() const;
  // Reads the first 16 bytes; GUID_NULL when fewer are given.
  static Guid FromBytes(std::span<const std::uint8_t> bytes);
  // "73646976-0000-0010-8000-00aa00389b71"
  std::string ToString() const;
};

// The subtype GUID that the media framework derives from a FOURCC or wave format tag.
constexpr Guid GuidFromFourcc(std::uint32_t fourcc) {
  return Guid{fourcc, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
}

}  // namespace vantorel::protocol
