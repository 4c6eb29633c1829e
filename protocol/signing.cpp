#include "protocol/signing.h"

#include <sodium.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "protocol/byte_io.h"
#include "protocol/wire_format.h"

namespace vantorel::protocol {

namespace {

constexpr std::string_view kAlphabet = "0123456789ABCDEFGHJKMNPQRSTVWXYZ";
constexpr std::string_view kFingerprintContext = "vantorel fingerprint 1";
// The signed message: the route key, then the payload up to the signature.
constexpr std::size_t kMaxSignedMessage =
    kRouteKeySize + kSignatureFixedHeader + kMaxSignedDatagrams * kDatagramHashSize;

// The value of one typed letter, or -1.
int LetterValue(char c) {
  if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  if (c == 'O') c = '0';
  if (c == 'I' || c == 'L') c = '1';
  const std::size_t at = kAlphabet.find(c);
  return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

}  // namespace

bool CryptoReady() {
  static const bool ready = sodium_init() >= 0;
  return ready;
}

DatagramHash HashDatagram(std::uint32_t key, std::span<const std::uint8_t> payload) {
  const Buffer buffer = MakeBuffer(payload.data(), payload.size());
  return HashDatagram(key, BufferList(&buffer, 1));
}

DatagramHash HashDatagram(std::uint32_t key, BufferList payload) {
  crypto_generichash_state state;
  crypto_generichash_init(&state, nullptr, 0, kDatagramHashSize);
  std::uint8_t keyBytes[kRouteKeySize];
  StoreU32(keyBytes, key);
  crypto_generichash_update(&state, keyBytes, sizeof keyBytes);
  for (const Buffer& b : payload) crypto_generichash_update(&state, b.data, b.length);
  DatagramHash out;
  crypto_generichash_final(&state, out.data(), out.size());
  return out;
}

Fingerprint Fingerprint::Of(const PublicKey& key) {
  std::array<std::uint8_t, 32> digest;
  crypto_generichash_state state;
  crypto_generichash_init(&state, nullptr, 0, digest.size());
  crypto_generichash_update(&state,
                            reinterpret_cast<const unsigned char*>(kFingerprintContext.data()),
                            kFingerprintContext.size());
  crypto_generichash_update(&state, key.data(), key.size());
  crypto_generichash_final(&state, digest.data(), digest.size());
  Fingerprint f;
  for (std::size_t i = 0; i < kLetters; ++i) {
    const std::size_t bit = i * 5;
    const unsigned pair = (static_cast<unsigned>(digest[bit / 8]) << 8) | digest[bit / 8 + 1];
    f.letters_[i] = kAlphabet[(pair >> (11 - bit % 8)) & 0x1F];
  }
  return f;
}

std::optional<Fingerprint> Fingerprint::Parse(std::string_view text) {
  Fingerprint f;
  std::size_t n = 0;
  for (const char c : text) {
    if (c == '-' || c == ' ') continue;
    const int value = LetterValue(c);
    if (value < 0 || n == kLetters) return std::nullopt;
    f.letters_[n++] = kAlphabet[static_cast<std::size_t>(value)];
  }
  if (n != kLetters) return std::nullopt;
  return f;
}

std::string Fingerprint::Text() const {
  std::string out;
  for (std::size_t i = 0; i < kLetters; ++i) {
    if (i > 0 && i % kGroup == 0) out += '-';
    out += letters_[i];
  }
  return out;
}

SigningKey SigningKey::Generate() {
  std::array<std::uint8_t, kSeedSize> seed;
  randombytes_buf(seed.data(), seed.size());
  SigningKey key = FromSeed(seed);
  sodium_memzero(seed.data(), seed.size());
  return key;
}

SigningKey SigningKey::FromSeed(std::span<const std::uint8_t, kSeedSize> seed) {
  if (!CryptoReady()) throw std::runtime_error("the crypto library cannot start");
  SigningKey key;
  crypto_sign_seed_keypair(key.public_.data(), key.secret_.data(), seed.data());
  return key;
}

SigningKey::~SigningKey() {
  sodium_memzero(secret_.data(), secret_.size());
}

SigningKey::SigningKey(const SigningKey& other) = default;
SigningKey& SigningKey::operator=(const SigningKey& other) = default;

Signature SigningKey::Sign(std::span<const std::uint8_t> message) const {
  Signature out;
  crypto_sign_detached(out.data(), nullptr, message.data(), message.size(), secret_.data());
  return out;
}

DatagramHash SignatureView::Hash(std::size_t i) const {
  DatagramHash h;
  std::memcpy(h.data(), hashes.data() + i * kDatagramHashSize, kDatagramHashSize);
  return h;
}

std::vector<std::uint8_t> WriteSignatureDatagram(const SigningKey& key, std::uint64_t counter,
                                                 std::span<const DatagramHash> hashes) {
  const std::size_t count = std::min(hashes.size(), kMaxSignedDatagrams);
  std::vector<std::uint8_t> out(SignaturePayloadSize(count));
  ByteWriter w(out);
  w.U8(kSignatureVersion);
  w.U8(0);
  w.U16(static_cast<std::uint16_t>(count));
  w.U64(counter);
  w.Bytes(key.Public());
  for (std::size_t i = 0; i < count; ++i) w.Bytes(hashes[i]);
  const std::size_t signedSize = w.Position();
  std::array<std::uint8_t, kMaxSignedMessage> message;
  StoreU32(message.data(), kRouteKeySignature);
  std::memcpy(message.data() + kRouteKeySize, out.data(), signedSize);
  const Signature signature = key.Sign({message.data(), kRouteKeySize + signedSize});
  w.Bytes(signature);
  return out;
}

std::optional<SignatureView> ReadSignatureDatagram(std::span<const std::uint8_t> payload) {
  ByteReader r(payload);
  SignatureView v;
  if (r.U8() != kSignatureVersion) return std::nullopt;
  v.flags = r.U8();
  const std::size_t count = r.U16();
  v.counter = r.U64();
  if (!r.Ok() || count == 0 || count > kMaxSignedDatagrams) return std::nullopt;
  if (payload.size() != SignaturePayloadSize(count)) return std::nullopt;
  const auto key = r.Bytes(kPublicKeySize);
  v.hashes = r.Bytes(count * kDatagramHashSize);
  v.signedPart = payload.first(r.Position());
  const auto signature = r.Bytes(kSignatureSize);
  if (!r.Ok()) return std::nullopt;
  std::copy(key.begin(), key.end(), v.key.begin());
  std::copy(signature.begin(), signature.end(), v.signature.begin());
  return v;
}

bool Verify(const SignatureView& view) {
  if (!CryptoReady() || view.signedPart.size() + kRouteKeySize > kMaxSignedMessage) return false;
  std::array<std::uint8_t, kMaxSignedMessage> message;
  StoreU32(message.data(), kRouteKeySignature);
  std::memcpy(message.data() + kRouteKeySize, view.signedPart.data(), view.signedPart.size());
  return crypto_sign_verify_detached(view.signature.data(), message.data(),
                                     kRouteKeySize + view.signedPart.size(), view.key.data()) == 0;
}

}  // namespace vantorel::protocol
