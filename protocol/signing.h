// Signed broadcasts: a sender's Ed25519 identity, the fingerprint a person reads out to compare
// it, and the signature datagrams that cover the datagrams of a broadcast. A signature datagram
// travels under a route key of its own, so receivers that do not know it drop it and play as
// before; it lists a short hash of each datagram it covers and carries a rising counter, and
// one Ed25519 signature covers the list. docs/signing.md gives the byte layout.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/buffer_list.h"

namespace vantorel::protocol {

inline constexpr std::uint8_t kSignatureVersion = 1;
inline constexpr std::size_t kPublicKeySize = 32;
inline constexpr std::size_t kSeedSize = 32;
inline constexpr std::size_t kSignatureSize = 64;
inline constexpr std::size_t kDatagramHashSize = 16;
// A signature datagram covers at most this many datagrams.
inline constexpr std::size_t kMaxSignedDatagrams = 64;
// Version, flags, count, counter and the sender's public key, before the hashes.
inline constexpr std::size_t kSignatureFixedHeader = 1 + 1 + 2 + 8 + kPublicKeySize;

using PublicKey = std::array<std::uint8_t, kPublicKeySize>;
using DatagramHash = std::array<std::uint8_t, kDatagramHashSize>;
using Signature = std::array<std::uint8_t, kSignatureSize>;

// Sets the crypto library up once; false when it cannot run here (no random source).
bool CryptoReady();

// The hash a signature lists for one datagram: BLAKE2b, 16 bytes, over its route key (4 bytes,
// little-endian) and its payload.
DatagramHash HashDatagram(std::uint32_t key, std::span<const std::uint8_t> payload);
DatagramHash HashDatagram(std::uint32_t key, BufferList payload);

// What a person compares: 100 bits of a hash of the public key, in 20 letters and digits of an
// alphabet without look-alikes, in five groups of four ("7KQ2-M9XD-...").
class Fingerprint {
 public:
  static constexpr std::size_t kLetters = 20;
  static constexpr std::size_t kGroup = 4;

  static Fingerprint Of(const PublicKey& key);
  // Read from what a person typed: any case, with or without dashes and spaces; O reads as
  // 0, I and L as 1. Nothing when it is not 20 letters of the alphabet.
  static std::optional<Fingerprint> Parse(std::string_view text);
  // The grouped form, "7KQ2-M9XD-R4TA-9BCE-HW3N".
  std::string Text() const;
  friend bool operator==(const Fingerprint&, const Fingerprint&) = default;
  friend auto operator<=>(const Fingerprint&, const Fingerprint&) = default;

 private:
  std::array<char, kLetters> letters_{};
};

// A sender's key pair; the secret half is wiped when the object goes.
class SigningKey {
 public:
  static SigningKey Generate();
  static SigningKey FromSeed(std::span<const std::uint8_t, kSeedSize> seed);
  ~SigningKey();
  SigningKey(const SigningKey& other);
  SigningKey& operator=(const SigningKey& other);

  const PublicKey& Public() const { return public_; }
  Fingerprint FingerprintOf() const { return Fingerprint::Of(public_); }
  // The seed the pair is made from (what an identity file keeps).
  std::span<const std::uint8_t, kSeedSize> Seed() const {
    return std::span<const std::uint8_t, kSeedSize>(secret_.data(), kSeedSize);
  }
  Signature Sign(std::span<const std::uint8_t> message) const;

 private:
  SigningKey() = default;
  std::array<std::uint8_t, 64> secret_{};  // seed, then the public key
  PublicKey public_{};
};

// A signature datagram as read (structure only: the signature is not checked yet).
struct SignatureView {
  std::uint8_t flags = 0;
  std::uint64_t counter = 0;
  PublicKey key{};
  std::span<const std::uint8_t> hashes;  // count * kDatagramHashSize bytes
  Signature signature{};
  std::span<const std::uint8_t> signedPart;  // the payload before the signature

  std::size_t Count() const { return hashes.size() / kDatagramHashSize; }
  DatagramHash Hash(std::size_t i) const;
};

// The payload size (after the route key) of a signature over `count` datagrams.
constexpr std::size_t SignaturePayloadSize(std::size_t count) {
  return kSignatureFixedHeader + count * kDatagramHashSize + kSignatureSize;
}
// The payload of a signature datagram over `hashes` (1 to kMaxSignedDatagrams of them).
std::vector<std::uint8_t> WriteSignatureDatagram(const SigningKey& key, std::uint64_t counter,
                                                 std::span<const DatagramHash> hashes);
// A signature payload checked field by field; nothing when any is wrong or the length is not
// exactly the one its count gives.
std::optional<SignatureView> ReadSignatureDatagram(std::span<const std::uint8_t> payload);
// Whether the signature was made by the key the datagram names, over what it says.
bool Verify(const SignatureView& view);

}  // namespace vantorel::protocol
