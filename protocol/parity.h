// Parity datagrams: Reed-Solomon parity over groups of media datagrams, sent under a route key
// of their own so that receivers that do not know it drop them and play as before. Each media
// datagram of a group (its bytes after the route key) is padded with zeros to twice the
// group's symbol size and cut into two symbols; every parity datagram carries one parity
// symbol and the description of the whole group, so any of them can place the group's
// datagrams. docs/parity.md gives the byte layout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace vantorel::protocol {

inline constexpr std::uint8_t kParityVersion = 1;
// A group holds at most this many media datagrams, two symbols each.
inline constexpr std::size_t kMaxGroupSources = 64;
// Data and parity symbols of a group together: the code works over GF(2^8).
inline constexpr std::size_t kMaxGroupSymbols = 255;
inline constexpr std::size_t kParityFixedHeader = 16;
// Per source in the header: its length, with this bit set when it ends its message.
inline constexpr std::uint16_t kParitySourceLast = 0x8000;
inline constexpr std::uint16_t kParitySourceLength = 0x7FFF;

// A media datagram's place in the broadcast, from its fragment header.
struct FragmentId {
  std::uint32_t message = 0;
  std::uint32_t fragment = 0;
  bool last = false;
  friend bool operator==(const FragmentId&, const FragmentId&) = default;
};

// The fragment header of a media payload (after the route key); nothing when it is too short.
std::optional<FragmentId> ReadFragmentId(std::span<const std::uint8_t> payload);
// The same place in sending order (the last flag aside).
constexpr bool SamePlace(const FragmentId& a, const FragmentId& b) {
  return a.message == b.message && a.fragment == b.fragment;
}
// The datagram that follows `id` in sending order.
constexpr FragmentId NextFragment(const FragmentId& id) {
  return id.last ? FragmentId{id.message + 1, 0, false} : FragmentId{id.message, id.fragment + 1};
}

struct ParityGroup {
  std::uint16_t number = 0;  // counts groups, wrapping
  std::uint8_t paritySymbols = 0;
  std::uint16_t symbolSize = 0;  // half the longest source, rounded up
  std::uint32_t firstMessage = 0;
  std::uint32_t firstFragment = 0;
  // Per source, in sending order: payload length, kParitySourceLast when it ends its message.
  std::vector<std::uint16_t> sources;
  friend bool operator==(const ParityGroup&, const ParityGroup&) = default;

  std::size_t DataSymbols() const { return 2 * sources.size(); }
  std::size_t SourceLength(std::size_t i) const { return sources[i] & kParitySourceLength; }
  // The identity of every source, in order.
  std::vector<FragmentId> SourceIds() const;
};

struct ParityDatagram {
  ParityGroup group;
  std::uint8_t index = 0;  // which parity symbol
  std::span<const std::uint8_t> symbol;
};

// The header's size for a group of `sources` datagrams.
constexpr std::size_t ParityHeaderSize(std::size_t sources) {
  return kParityFixedHeader + 2 * sources;
}
// Writes the header of parity symbol `index`; false when `out` is too small.
bool WriteParityHeader(const ParityGroup& group, std::uint8_t index, std::span<std::uint8_t> out);
// A parity payload (after the route key), checked field by field; nothing when any is wrong.
std::optional<ParityDatagram> ReadParityDatagram(std::span<const std::uint8_t> payload);

// Reed-Solomon erasure code (a Cauchy matrix over GF(2^8)) of `k` data and `p` parity symbols
// of `size` bytes each, k + p at most kMaxGroupSymbols.
class ErasureCode {
 public:
  ErasureCode(std::size_t k, std::size_t p);
  std::size_t K() const { return k_; }
  std::size_t P() const { return p_; }

  void Encode(std::size_t size, const std::uint8_t* const* data, std::uint8_t* const* parity) const;
  // `symbols` has k + p entries, null where a symbol is missing; every missing data symbol
  // (index below k) is rebuilt into `out[index]`. False when fewer than k symbols are there.
  bool Decode(std::size_t size, const std::uint8_t* const* symbols, std::uint8_t* const* out) const;

 private:
  std::size_t k_, p_;
  std::vector<std::uint8_t> matrix_;  // (k + p) rows of k, the identity on top
  std::vector<std::uint8_t> encodeTables_;
};

}  // namespace vantorel::protocol
