// The signer on the way to the socket: every datagram goes out unchanged and is covered by
// exactly one good signature that follows it; the end of a broadcast is signed ahead.
#include "sender/signing_sink.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <map>

#include "protocol/wire_format.h"
#include "sender/fec_encoder.h"
#include "sender/packetizer.h"
#include "sender/udp_broadcast_sink.h"
#include "tests/protocol/recording_sink.h"

namespace vantorel::sender {
namespace {

using namespace std::chrono_literals;
using testing::Bytes;
using testing::RecordingSink;

protocol::SigningKey TestKey() {
  std::array<std::uint8_t, protocol::kSeedSize> seed{};
  seed.fill(5);
  return protocol::SigningKey::FromSeed(seed);
}

// Packetizer, parity and (when signing) the signer on a clock of the test's.
struct Chain {
  explicit Chain(bool sign, int repeats = 1)
      : signer(sign
                   ? std::make_unique<SigningSink>(wire, TestKey(), repeats, [this] { return now; })
                   : nullptr),
        fec(signer ? static_cast<protocol::PacketSink&>(*signer) : wire, 20,
            [this] { return now; }) {
    packetizer.AddRoute(protocol::kRouteKeyMedia, &fec);
  }
  void Message(std::size_t size, std::chrono::milliseconds later) {
    now += later;
    const Bytes body = testing::Pattern(size, static_cast<std::uint8_t>(size));
    const protocol::Buffer b = protocol::MakeBuffer(body.data(), body.size());
    packetizer.Send(protocol::kChannelMessage, {&b, 1});
  }
  std::vector<RecordingSink::Entry> Unsigned() const {
    std::vector<RecordingSink::Entry> out;
    for (const auto& e : wire.entries) {
      if (e.key != protocol::kRouteKeySignature) out.push_back(e);
    }
    return out;
  }

  SigningSink::Clock::time_point now = SigningSink::Clock::time_point{} + 1h;
  RecordingSink wire;
  std::unique_ptr<SigningSink> signer;
  FecEncoder fec;
  Packetizer packetizer;
};

void Play(Chain& chain) {
  for (int i = 0; i < 40; ++i) {
    chain.Message(i % 5 == 0 ? 30000 : 400, std::chrono::milliseconds(i % 3 == 0 ? 12 : 2));
  }
  chain.fec.Flush();
  if (chain.signer) chain.signer->Flush();
}

TEST(SigningSinkTest, EveryDatagramGoesOutUnchangedAndOneGoodSignatureAfterItCoversIt) {
  Chain plain(false), signed_(true);
  Play(plain);
  Play(signed_);
  const auto sent = signed_.Unsigned();
  ASSERT_EQ(sent.size(), plain.wire.entries.size());
  for (std::size_t i = 0; i < sent.size(); ++i) {
    ASSERT_EQ(sent[i].key, plain.wire.entries[i].key) << i;
    ASSERT_EQ(sent[i].bytes, plain.wire.entries[i].bytes) << i;
  }
  // Hashes sent and not yet signed, by hash: how many of each.
  std::map<protocol::DatagramHash, int> open;
  std::uint64_t lastCounter = 0;
  std::size_t signatures = 0;
  for (const auto& e : signed_.wire.entries) {
    if (e.key != protocol::kRouteKeySignature) {
      ++open[protocol::HashDatagram(e.key, e.bytes)];
      continue;
    }
    ++signatures;
    const auto view = protocol::ReadSignatureDatagram(e.bytes);
    ASSERT_TRUE(view);
    EXPECT_TRUE(protocol::Verify(*view));
    EXPECT_GT(view->counter, lastCounter);
    lastCounter = view->counter;
    EXPECT_LE(view->Count(), protocol::kMaxSignedDatagrams);
    for (std::size_t i = 0; i < view->Count(); ++i) {
      ASSERT_GT(open[view->Hash(i)]--, 0) << "a hash signed before its datagram was sent";
    }
  }
  for (const auto& [hash, count] : open) EXPECT_EQ(count, 0);
  EXPECT_EQ(signatures, signed_.signer->Stats().signatures);
  // Groups close at the end of a message once they span 10 ms (about 210 ms of messages 2 or
  // 12 ms apart: one every 12 to 16 ms), or at 64 datagrams.
  EXPECT_GE(signatures, 13u);
  EXPECT_LE(signatures, 20u);
}

// Receivers time their presentation from a stream description's arrival: its group is signed
// as soon as it is sent, however short the group.
TEST(SigningSinkTest, AStreamDescriptionIsSignedAtOnce) {
  Chain chain(true);
  chain.Message(400, 1ms);
  Bytes description = testing::Pattern(300);
  const std::uint32_t word = protocol::MakeDescriptionHeaderWord(3, 300);
  for (int i = 0; i < 4; ++i) description[i] = static_cast<std::uint8_t>(word >> (8 * i));
  const protocol::Buffer b = protocol::MakeBuffer(description.data(), description.size());
  chain.packetizer.Send(protocol::kChannelMessage, {&b, 1});
  const auto& e = chain.wire.entries;
  ASSERT_EQ(e.size(), 3u);
  EXPECT_EQ(e[2].key, protocol::kRouteKeySignature);
  EXPECT_EQ(protocol::ReadSignatureDatagram(e[2].bytes)->Count(), 2u);
  chain.Message(400, 1ms);  // an ordinary message within the span waits for more
  EXPECT_EQ(e.size(), 4u);
}

TEST(SigningSinkTest, TheEndIsSignedAheadAndEachSignatureRepeatedWhenAsked) {
  Chain chain(true, 2);
  chain.Message(400, 1ms);
  const protocol::Buffer end = protocol::MakeBuffer(kEndOfBroadcastValue.data(), 4);
  chain.signer->SignAhead(protocol::kRouteKeyEndOfBroadcast, {&end, 1}, 3);
  const auto& e = chain.wire.entries;
  // The message's datagram and its signature three times, then the end's signature three
  // times: nothing follows the end for a late copy to wait behind.
  ASSERT_EQ(e.size(), 7u);
  for (const std::size_t i : {2, 3}) EXPECT_EQ(e[i].bytes, e[1].bytes);
  for (const std::size_t i : {5, 6}) EXPECT_EQ(e[i].bytes, e[4].bytes);
  const auto ahead = protocol::ReadSignatureDatagram(e[4].bytes);
  ASSERT_TRUE(ahead);
  ASSERT_EQ(ahead->Count(), 3u);
  const protocol::DatagramHash endHash =
      protocol::HashDatagram(protocol::kRouteKeyEndOfBroadcast, {kEndOfBroadcastValue.data(), 4});
  for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(ahead->Hash(i), endHash);
  EXPECT_EQ(chain.signer->Stats().signatureDatagrams, 6u);
}

// With parity each signature goes out twice at once and a third time later, out of reach of
// the burst of loss that may take the first two.
TEST(SigningSinkTest, TheThirdCopyFollowsMoreDatagrams) {
  Chain chain(true, 2);
  Play(chain);
  std::map<Bytes, std::vector<std::size_t>> copies;  // where each signature went out
  for (std::size_t i = 0; i < chain.wire.entries.size(); ++i) {
    const auto& e = chain.wire.entries[i];
    if (e.key == protocol::kRouteKeySignature) copies[e.bytes].push_back(i);
  }
  EXPECT_EQ(copies.size(), chain.signer->Stats().signatures);
  std::size_t apart = 0;
  for (const auto& [bytes, at] : copies) {
    ASSERT_EQ(at.size(), 3u);
    EXPECT_EQ(at[1], at[0] + 1);
    if (at[2] - at[1] > SigningSink::kLateCopyAfter) ++apart;
  }
  // The others went out early because the next group closed first (or at the flush).
  EXPECT_GT(apart, copies.size() / 2);
}

}  // namespace
}  // namespace vantorel::sender
