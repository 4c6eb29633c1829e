// Signature datagrams and fingerprints: what a receiver may trust rests on these.
#include "protocol/signing.h"

#include <gtest/gtest.h>

#include <array>
#include <set>
#include <vector>

#include "protocol/wire_format.h"
#include "tests/protocol/test_keys.h"

namespace vantorel::protocol {
namespace {

using testing::KeyFrom;

std::vector<DatagramHash> Hashes(std::size_t n) {
  std::vector<DatagramHash> out;
  for (std::size_t i = 0; i < n; ++i) {
    const std::array<std::uint8_t, 3> payload{1, 2, static_cast<std::uint8_t>(i)};
    out.push_back(HashDatagram(kRouteKeyMedia, payload));
  }
  return out;
}

TEST(FingerprintTest, IsReadBackFromWhatAPersonTypes) {
  const Fingerprint f = KeyFrom(7).FingerprintOf();
  const std::string text = f.Text();
  ASSERT_EQ(text.size(), 24u);  // five groups of four, four dashes
  EXPECT_EQ(text.find_first_not_of("0123456789ABCDEFGHJKMNPQRSTVWXYZ-"), std::string::npos);
  std::string typed;
  for (const char c : text) {
    if (c == '-') continue;
    // Lower case, spaces, and the look-alikes a person reads for 0 and 1.
    typed += c == '0' ? 'o' : c == '1' ? 'l' : static_cast<char>(std::tolower(c));
    typed += ' ';
  }
  EXPECT_EQ(Fingerprint::Parse(typed), f);
  EXPECT_EQ(Fingerprint::Parse(text), f);
}

TEST(FingerprintTest, RefusesWhatIsNotOne) {
  const std::string good = KeyFrom(7).FingerprintOf().Text();
  for (const std::string& bad :
       std::vector<std::string>{"", good.substr(0, 23), good + "A", "UUUU-UUUU-UUUU-UUUU-UUUU",
                                good.substr(0, 23) + "!"}) {
    EXPECT_FALSE(Fingerprint::Parse(bad)) << bad;
  }
}

TEST(FingerprintTest, DiffersForEveryKey) {
  std::set<std::string> seen;
  for (int i = 0; i < 64; ++i)
    seen.insert(KeyFrom(static_cast<std::uint8_t>(i)).FingerprintOf().Text());
  EXPECT_EQ(seen.size(), 64u);
}

TEST(HashDatagramTest, CoversTheRouteKeyAndEveryByteOfThePayload) {
  const std::array<std::uint8_t, 4> a{1, 2, 3, 4}, b{1, 2, 3, 5};
  const std::array<std::uint8_t, 2> head{1, 2}, tail{3, 4};
  const Buffer parts[] = {MakeBuffer(head.data(), 2), MakeBuffer(tail.data(), 2)};
  EXPECT_EQ(HashDatagram(kRouteKeyMedia, a), HashDatagram(kRouteKeyMedia, BufferList(parts)));
  EXPECT_NE(HashDatagram(kRouteKeyMedia, a), HashDatagram(kRouteKeyMedia, b));
  EXPECT_NE(HashDatagram(kRouteKeyMedia, a), HashDatagram(kRouteKeyParity, a));
}

TEST(SignatureDatagramTest, IsReadBackAndVerifies) {
  const SigningKey key = KeyFrom(1);
  for (const std::size_t n : {std::size_t{1}, std::size_t{3}, kMaxSignedDatagrams}) {
    const std::vector<DatagramHash> hashes = Hashes(n);
    const std::vector<std::uint8_t> payload =
        WriteSignatureDatagram(key, 0x0102030405060708, hashes);
    ASSERT_EQ(payload.size(), SignaturePayloadSize(n));
    EXPECT_LE(payload.size() + kRouteKeySize, kMaxDatagramPayload);
    const auto view = ReadSignatureDatagram(payload);
    ASSERT_TRUE(view);
    EXPECT_EQ(view->counter, 0x0102030405060708u);
    EXPECT_EQ(view->key, key.Public());
    ASSERT_EQ(view->Count(), n);
    for (std::size_t i = 0; i < n; ++i) EXPECT_EQ(view->Hash(i), hashes[i]);
    EXPECT_TRUE(Verify(*view));
  }
}

// Any byte changed anywhere, the key swapped for another's, or the list cut short: refused
// either by the reader or by the signature.
TEST(SignatureDatagramTest, AnyChangeIsRefused) {
  const std::vector<std::uint8_t> good = WriteSignatureDatagram(KeyFrom(1), 9, Hashes(4));
  for (std::size_t at = 0; at < good.size(); ++at) {
    std::vector<std::uint8_t> bad = good;
    bad[at] ^= 0x10;
    const auto view = ReadSignatureDatagram(bad);
    EXPECT_FALSE(view && Verify(*view)) << "byte " << at;
  }
  std::vector<std::uint8_t> otherKey = good;
  const PublicKey other = KeyFrom(2).Public();
  std::copy(other.begin(), other.end(), otherKey.begin() + 12);
  EXPECT_FALSE(Verify(*ReadSignatureDatagram(otherKey)));
  std::vector<std::uint8_t> shorter(good.begin(), good.end() - 1);
  EXPECT_FALSE(ReadSignatureDatagram(shorter));
  std::vector<std::uint8_t> longer = good;
  longer.push_back(0);
  EXPECT_FALSE(ReadSignatureDatagram(longer));
  std::vector<std::uint8_t> none = good;
  none[2] = none[3] = 0;  // a count of 0
  EXPECT_FALSE(ReadSignatureDatagram(none));
}

}  // namespace
}  // namespace vantorel::protocol
