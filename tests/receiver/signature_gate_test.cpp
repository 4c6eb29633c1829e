// The signature gate between the datagram queue and the parity stage: what it lets through,
// what it keeps out, and what each refusal is counted as.
#include "receiver/signature_gate.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "protocol/wire_format.h"
#include "tests/protocol/test_keys.h"

namespace vantorel::receiver {
namespace {

using namespace std::chrono_literals;
using Clock = SignatureGate::Clock;

constexpr DatagramSource kSender{0x0A4D0001, 40000};
constexpr DatagramSource kOther{0x0A4D0002, 40000};

using testing::KeyFrom;

// What the gate let through, in order: a tag per datagram (its first payload byte), "changed"
// for a sender change.
class Recorder : public SignatureGate::Output {
 public:
  void Release(Datagram& d) override {
    released.push_back(d.kind == DatagramKind::kEndOfBroadcast ? "end"
                                                               : std::to_string(d.payload[0]));
    stamps.push_back(d.arrived);
    if (d.kind == DatagramKind::kEndOfBroadcast && gate != nullptr) gate->Reset();
  }
  void SenderChanged(const DatagramSource& s) override {
    released.push_back("changed");
    changedTo = s;
  }
  std::vector<std::string> released;
  std::vector<Clock::time_point> stamps;
  DatagramSource changedTo;
  SignatureGate* gate = nullptr;  // reset at an end of broadcast, as the reception does
};

// A sender in the test: makes datagrams and signs them.
struct TestSender {
  protocol::SigningKey key;
  DatagramSource source;
  std::uint64_t counter = 1000;

  Datagram Make(std::uint8_t tag, Clock::time_point at,
                DatagramKind kind = DatagramKind::kMedia) const {
    const std::size_t length = kind == DatagramKind::kEndOfBroadcast ? 4 : 12;
    Datagram d{std::make_unique<std::uint8_t[]>(length), length, kind, at, source};
    if (kind != DatagramKind::kEndOfBroadcast) std::memset(d.payload.get(), tag, length);
    return d;
  }
  Datagram Sign(const std::vector<const Datagram*>& covered, Clock::time_point at) {
    std::vector<protocol::DatagramHash> hashes;
    for (const Datagram* d : covered) {
      hashes.push_back(protocol::HashDatagram(RouteKeyOf(d->kind), {d->payload.get(), d->length}));
    }
    return Wrap(protocol::WriteSignatureDatagram(key, counter++, hashes), at);
  }
  Datagram Wrap(const std::vector<std::uint8_t>& bytes, Clock::time_point at) const {
    Datagram d{std::make_unique<std::uint8_t[]>(bytes.size()), bytes.size(),
               DatagramKind::kSignature, at, source};
    std::memcpy(d.payload.get(), bytes.data(), bytes.size());
    return d;
  }
  static Datagram Copy(const Datagram& d) {
    Datagram c{std::make_unique<std::uint8_t[]>(d.length), d.length, d.kind, d.arrived, d.source};
    std::memcpy(c.payload.get(), d.payload.get(), d.length);
    return c;
  }
};

class SignatureGateTest : public ::testing::Test {
 protected:
  SignatureGate& Trusting(std::vector<protocol::Fingerprint> trusted) {
    gate_ = std::make_unique<SignatureGate>(std::move(trusted), out_, 2000ms);
    out_.gate = gate_.get();
    return *gate_;
  }
  // Sends `tags` as media datagrams, then their signature, `step` apart from `t`.
  void SendGroup(TestSender& s, std::vector<std::uint8_t> tags, Clock::time_point& t) {
    std::vector<Datagram> group;
    for (const std::uint8_t tag : tags) group.push_back(s.Make(tag, t += 1ms));
    std::vector<const Datagram*> covered;
    for (const Datagram& d : group) covered.push_back(&d);
    Datagram signature = s.Sign(covered, t += 1ms);
    for (Datagram& d : group) gate_->Take(std::move(d));
    gate_->Take(std::move(signature));
  }

  TestSender sender_{KeyFrom(1), kSender};
  TestSender stranger_{KeyFrom(2), kOther};
  Recorder out_;
  std::unique_ptr<SignatureGate> gate_;
  Clock::time_point t_ = Clock::time_point{} + 1h;
};

TEST_F(SignatureGateTest, OpenLetsEverythingButSignaturesThroughAndLearnsWhoSigns) {
  SignatureGate& gate = Trusting({});
  EXPECT_FALSE(gate.Enforcing());
  Datagram a = sender_.Make(1, t_);
  Datagram forged = sender_.Sign({&a}, t_);
  forged.payload[forged.length - 1] ^= 1;
  gate.Take(TestSender::Copy(a));
  gate.Take(std::move(forged));
  EXPECT_FALSE(gate.SenderFingerprint()) << "a forged signature names nobody";
  gate.Take(sender_.Sign({&a}, t_));
  gate.Take(sender_.Make(2, t_));
  EXPECT_EQ(out_.released, (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(gate.SenderFingerprint(), sender_.key.FingerprintOf());
  EXPECT_EQ(gate.Stats().badSignature, 1u);
  gate.Reset();
  EXPECT_FALSE(gate.SenderFingerprint());
}

TEST_F(SignatureGateTest, ATrustedSendersDatagramsWaitForTheirSignatureAndGoOnInOrder) {
  SignatureGate& gate = Trusting({sender_.key.FingerprintOf()});
  Datagram a = sender_.Make(1, t_ + 1ms), b = sender_.Make(2, t_ + 2ms);
  Datagram signature = sender_.Sign({&b, &a}, t_ + 20ms);  // the list's order does not matter
  gate.Take(TestSender::Copy(a));
  gate.Take(TestSender::Copy(b));
  EXPECT_TRUE(out_.released.empty());
  EXPECT_EQ(gate.Held(), 2u);
  gate.Take(std::move(signature));
  EXPECT_EQ(out_.released, (std::vector<std::string>{"1", "2"}));
  // The parity stage's waits start when they could be used.
  EXPECT_EQ(out_.stamps, (std::vector<Clock::time_point>{t_ + 20ms, t_ + 20ms}));
  EXPECT_EQ(gate.Sender(), kSender);
  EXPECT_EQ(gate.SenderFingerprint(), sender_.key.FingerprintOf());
  // A datagram overtaken by its signature goes on as it arrives.
  Datagram c = sender_.Make(3, t_ + 30ms);
  gate.Take(sender_.Sign({&c}, t_ + 29ms));
  gate.Take(std::move(c));
  EXPECT_EQ(out_.released.back(), "3");
  EXPECT_EQ(gate.Held(), 0u);
}

// Each attack delivers nothing and is counted for what it is.
TEST_F(SignatureGateTest, AttacksDeliverNothing) {
  const auto refused = [&](auto attack) {
    out_.released.clear();
    SignatureGate& gate = Trusting({sender_.key.FingerprintOf()});
    attack(gate);
    gate.Tick(t_ + 10s);  // whatever still waits is given up
    EXPECT_TRUE(out_.released.empty());
    EXPECT_EQ(gate.Held(), 0u);
    return gate.Stats();
  };
  // Unsigned, like an original sender's broadcast.
  TrustStats s = refused([&](SignatureGate& g) { g.Take(stranger_.Make(1, t_)); });
  EXPECT_EQ(s.unsignedDropped, 1u);
  // Signed by a key nobody trusts: not even checked.
  s = refused([&](SignatureGate& g) {
    Datagram a = stranger_.Make(1, t_);
    g.Take(stranger_.Sign({&a}, t_));
    g.Take(std::move(a));
  });
  EXPECT_EQ(s.untrusted, 1u);
  EXPECT_EQ(s.verified, 0u);
  // A signature that does not hold (the trusted key named, the bytes forged).
  s = refused([&](SignatureGate& g) {
    Datagram a = stranger_.Make(1, t_);
    Datagram forged = sender_.Sign({&a}, t_);
    forged.payload[forged.length - 3] ^= 0x40;
    g.Take(std::move(a));
    g.Take(std::move(forged));
  });
  EXPECT_EQ(s.badSignature, 1u);
  // A datagram changed on the way (forged parity, faked pictures): its hash is in no list.
  s = refused([&](SignatureGate& g) {
    Datagram a = sender_.Make(1, t_, DatagramKind::kParity);
    Datagram signature = sender_.Sign({&a}, t_);
    a.payload[5] ^= 1;
    g.Take(std::move(a));
    g.Take(std::move(signature));
  });
  EXPECT_EQ(s.verified, 1u);
  EXPECT_EQ(s.unsignedDropped, 1u);
  // An end of broadcast nobody signed.
  s = refused(
      [&](SignatureGate& g) { g.Take(sender_.Make(0, t_, DatagramKind::kEndOfBroadcast)); });
  EXPECT_EQ(s.unsignedDropped, 1u);
}

TEST_F(SignatureGateTest, AReplayedCaptureIsKnownByItsCounters) {
  SignatureGate& gate = Trusting({sender_.key.FingerprintOf()});
  std::vector<Datagram> capture;
  for (std::uint8_t tag = 1; tag <= 3; ++tag) {
    Datagram d = sender_.Make(tag, t_ += 1ms);
    capture.push_back(TestSender::Copy(d));
    Datagram signature = sender_.Sign({&d}, t_ += 1ms);
    capture.push_back(TestSender::Copy(signature));
    gate.Take(std::move(d));
    gate.Take(std::move(signature));
  }
  ASSERT_EQ(out_.released.size(), 3u);
  t_ += 1s;
  for (const Datagram& d : capture) {
    Datagram again = TestSender::Copy(d);
    again.arrived = t_;
    gate.Take(std::move(again));
  }
  gate.Tick(t_ + 1s);
  EXPECT_EQ(out_.released.size(), 3u);
  // The signatures' exact repeats are told apart from replays of older ones only while
  // recent; either way nothing goes through twice.
  EXPECT_EQ(gate.Stats().replayed + gate.Stats().duplicates, 3u);
  EXPECT_EQ(gate.Stats().unsignedDropped, 3u);
  EXPECT_EQ(gate.Stats().verified, 3u);
  // Counters survive a new pipeline, and a new run of the receiver that was told them.
  gate.Reset();
  gate.Take(TestSender::Copy(capture[0]));
  gate.Take(TestSender::Copy(capture[1]));
  gate.Tick(t_ + 2s);
  EXPECT_EQ(out_.released.size(), 3u);
  const SignatureGate::Counters kept = gate.HighestCounters();
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(kept.begin()->second, sender_.counter - 1);
  SignatureGate restarted({sender_.key.FingerprintOf()}, out_, 2000ms, kept);
  for (const Datagram& d : capture) restarted.Take(TestSender::Copy(d));
  restarted.Tick(t_ + 3s);
  EXPECT_EQ(out_.released.size(), 3u);
  EXPECT_EQ(restarted.Stats().replayed, 3u);
  EXPECT_EQ(restarted.Stats().verified, 0u);
  // The sender's next signature is taken.
  gate_ =
      std::make_unique<SignatureGate>(std::vector{sender_.key.FingerprintOf()}, out_, 2000ms, kept);
  SendGroup(sender_, {10}, t_);
  EXPECT_EQ(out_.released.back(), "10");
}

TEST_F(SignatureGateTest, RepeatsAndReorderedSignaturesWithinTheWindowAreTaken) {
  SignatureGate& gate = Trusting({sender_.key.FingerprintOf()});
  Datagram a = sender_.Make(1, t_), b = sender_.Make(2, t_);
  Datagram first = sender_.Sign({&a}, t_), second = sender_.Sign({&b}, t_);
  Datagram repeat = TestSender::Copy(second);
  gate.Take(std::move(a));
  gate.Take(std::move(b));
  gate.Take(std::move(second));  // the later counter first
  gate.Take(std::move(repeat));
  gate.Take(std::move(first));
  EXPECT_EQ(out_.released, (std::vector<std::string>{"2", "1"}));
  EXPECT_EQ(gate.Stats().duplicates, 1u);
  EXPECT_EQ(gate.Stats().replayed, 0u);
}

TEST_F(SignatureGateTest, AnotherTrustedSenderTakesOverOnlyAfterTheSilence) {
  SignatureGate& gate = Trusting({sender_.key.FingerprintOf(), stranger_.key.FingerprintOf()});
  SendGroup(sender_, {1}, t_);
  SendGroup(stranger_, {2}, t_);  // while the locked sender is on the air
  EXPECT_EQ(out_.released, (std::vector<std::string>{"1"}));
  EXPECT_EQ(gate.Stats().otherSender, 2u);
  EXPECT_EQ(gate.Stats().verified, 1u) << "another host's signature is not checked";
  t_ += 2100ms;
  // A signature of the other sender that comes before its datagram locks nothing, and the
  // hash it listed lets nothing of that sender in under the old lock.
  Datagram early = stranger_.Make(7, t_ += 1ms);
  gate.Take(stranger_.Sign({&early}, t_));
  gate.Take(std::move(early));
  EXPECT_EQ(out_.released.back(), "1");
  EXPECT_EQ(gate.Sender(), kSender);
  SendGroup(stranger_, {3}, t_);
  EXPECT_EQ(out_.released, (std::vector<std::string>{"1", "changed", "3"}));
  EXPECT_EQ(out_.changedTo, kOther);
  EXPECT_EQ(gate.Sender(), kOther);
  // The address of the trusted sender, faked by another host, gets nothing in.
  TestSender faker{KeyFrom(3), kOther};
  t_ += 1ms;
  gate.Take(faker.Make(4, t_));
  gate.Tick(t_ + 1s);
  EXPECT_EQ(out_.released.back(), "3");
}

// A chosen sender takes the lock at once from a trusted one that was not chosen; a sender that
// is not chosen never gets it, not even after the silence.
TEST_F(SignatureGateTest, AChosenSenderTakesTheLockAtOnceAndNoOtherGetsIt) {
  SignatureGate& gate = Trusting({sender_.key.FingerprintOf(), stranger_.key.FingerprintOf()});
  SendGroup(sender_, {1}, t_);
  gate.SetPreference(SenderPreference::Only({kOther.address, 0}));
  SendGroup(sender_, {2}, t_);
  SendGroup(stranger_, {3}, t_);
  EXPECT_EQ(out_.released, (std::vector<std::string>{"1", "changed", "3"}));
  EXPECT_EQ(gate.Sender(), kOther);
  t_ += 2100ms;
  SendGroup(sender_, {4}, t_);
  EXPECT_EQ(out_.released.back(), "3");
  EXPECT_EQ(gate.Stats().verified, 2u) << "the one not chosen is not checked";
}

TEST_F(SignatureGateTest, ASignedEndGoesOnOnceAndItsRepeatsEndNothingMore) {
  SignatureGate& gate = Trusting({sender_.key.FingerprintOf()});
  SendGroup(sender_, {1}, t_);
  // Signed ahead: the signature comes before the three copies of the end.
  const Datagram end = sender_.Make(0, t_, DatagramKind::kEndOfBroadcast);
  gate.Take(sender_.Sign({&end, &end, &end}, t_ += 1ms));
  for (int i = 0; i < 3; ++i) gate.Take(sender_.Make(0, t_ += 1ms, DatagramKind::kEndOfBroadcast));
  EXPECT_EQ(out_.released, (std::vector<std::string>{"1", "end"}));
  EXPECT_FALSE(gate.Sender());
  gate.Tick(t_ + 1s);
  EXPECT_EQ(gate.Stats().unsignedDropped, 0u);
  // The same sender's next broadcast locks again.
  SendGroup(sender_, {2}, t_);
  EXPECT_EQ(out_.released.back(), "2");
  EXPECT_EQ(gate.Sender(), kSender);
}

TEST_F(SignatureGateTest, AnEndReleasedInAGroupDropsWhatCameAfterIt) {
  SignatureGate& gate = Trusting({sender_.key.FingerprintOf()});
  Datagram a = sender_.Make(1, t_), end = sender_.Make(0, t_, DatagramKind::kEndOfBroadcast),
           b = sender_.Make(2, t_);
  Datagram signature = sender_.Sign({&a, &end, &b}, t_);
  gate.Take(std::move(a));
  gate.Take(std::move(end));
  gate.Take(std::move(b));
  gate.Take(std::move(signature));
  EXPECT_EQ(out_.released, (std::vector<std::string>{"1", "end"}));
}

TEST_F(SignatureGateTest, AFloodIsBoundedAndChecksAreRationed) {
  SignatureGate& gate = Trusting({sender_.key.FingerprintOf()});
  for (std::size_t i = 0; i < SignatureGate::kMaxHeld + 500; ++i) {
    gate.Take(stranger_.Make(static_cast<std::uint8_t>(i), t_));
  }
  EXPECT_EQ(gate.Held(), SignatureGate::kMaxHeld);
  EXPECT_EQ(gate.Stats().unsignedDropped, 500u);
  // Forged signatures naming the trusted key, all at once: only a burst is checked.
  const Datagram a = stranger_.Make(1, t_);
  for (int i = 0; i < 300; ++i) {
    Datagram forged = sender_.Sign({&a}, t_);
    forged.payload[forged.length - 1] ^= 1;
    gate.Take(std::move(forged));
  }
  EXPECT_EQ(gate.Stats().badSignature, static_cast<std::uint64_t>(SignatureGate::kCheckBurst));
  EXPECT_EQ(gate.Stats().overBudget, 300u - static_cast<std::uint64_t>(SignatureGate::kCheckBurst));
  // A malformed signature datagram is counted, never read further.
  gate.Take(sender_.Wrap({1, 0, 200, 0}, t_));
  EXPECT_EQ(gate.Stats().malformed, 1u);
  EXPECT_TRUE(out_.released.empty());
}

}  // namespace
}  // namespace vantorel::receiver
