#include "receiver/reassembler.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <utility>

#include "protocol/byte_io.h"
#include "protocol/wire_format.h"
#include "receiver/fec_receiver.h"
#include "sender/fec_encoder.h"
#include "sender/packetizer.h"
#include "tests/protocol/recording_sink.h"

namespace vantorel::receiver {
namespace {

using protocol::Buffer;
using testing::Bytes;
using testing::Pattern;

// One datagram payload as the receive thread posts it (the route key already taken off).
struct Fragment {
  static Fragment First(std::uint32_t number, std::uint32_t announced, const Bytes& body,
                        std::uint32_t channel = protocol::kChannelMessage) {
    Fragment f = Header(number, 0);
    f.Word(channel);
    f.Word(announced);
    f.bytes.insert(f.bytes.end(), body.begin(), body.end());
    return f;
  }
  static Fragment Later(std::uint32_t number, std::uint32_t index, const Bytes& body) {
    Fragment f = Header(number, index);
    f.bytes.insert(f.bytes.end(), body.begin(), body.end());
    return f;
  }
  // A whole message in one datagram.
  static Fragment Single(std::uint32_t number, const Bytes& body,
                         std::uint32_t channel = protocol::kChannelMessage) {
    return First(number, static_cast<std::uint32_t>(body.size()), body, channel).Last();
  }
  Fragment Last() const {
    Fragment f = *this;
    f.bytes[7] |= 0x80;
    return f;
  }

  Bytes bytes;

 private:
  static Fragment Header(std::uint32_t number, std::uint32_t index) {
    Fragment f;
    f.Word(number);
    f.Word(index);
    return f;
  }
  void Word(std::uint32_t v) {
    bytes.resize(bytes.size() + 4);
    protocol::StoreU32(bytes.data() + bytes.size() - 4, v);
  }
};

// Keeps every delivered body with the number of the message being delivered.
class DeliverySink : public testing::RecordingSink {
 public:
  explicit DeliverySink(const Reassembler& source) : source_(source) {}
  int Send(std::uint32_t key, protocol::BufferList buffers) override {
    numbers.push_back(source_.CurrentMessageNumber());
    return RecordingSink::Send(key, buffers);
  }
  std::vector<std::uint32_t> numbers;

 private:
  const Reassembler& source_;
};

class ReassemblerTest : public ::testing::Test {
 protected:
  ReassemblerTest() { reassembler_.AddRoute(protocol::kChannelMessage, &delivered_); }

  int Feed(const Fragment& f) { return Feed(f.bytes); }
  int Feed(const Bytes& datagram) {
    const Buffer b = protocol::MakeBuffer(datagram.data(), datagram.size());
    return reassembler_.Send(1, {&b, 1});
  }
  // Fragments 0..3 of one message whose body is 4 * 10 bytes.
  std::vector<Fragment> FourFragments(std::uint32_t number) {
    const Bytes body = Pattern(40);
    std::vector<Fragment> f;
    f.push_back(Fragment::First(number, 40, Bytes(body.begin(), body.begin() + 10)));
    for (std::uint32_t i = 1; i < 4; ++i) {
      f.push_back(
          Fragment::Later(number, i, Bytes(body.begin() + 10 * i, body.begin() + 10 * (i + 1))));
    }
    f[3] = f[3].Last();
    return f;
  }
  const ReassemblyStats& Stats() const { return reassembler_.Stats(); }

  Reassembler reassembler_;
  DeliverySink delivered_{reassembler_};
};

TEST_F(ReassemblerTest, SingleDatagramMessageIsDeliveredAtOnce) {
  const Bytes body = Pattern(100);
  EXPECT_EQ(Feed(Fragment::Single(5, body)), 1);
  ASSERT_EQ(delivered_.entries.size(), 1u);
  EXPECT_EQ(delivered_.entries[0].key, protocol::kChannelMessage);
  EXPECT_EQ(delivered_.entries[0].bufferCount, 1u);
  EXPECT_EQ(delivered_.entries[0].bytes, body);
  EXPECT_EQ(delivered_.numbers, (std::vector<std::uint32_t>{5}));
  EXPECT_EQ(Stats().delivered, 1u);
}

TEST_F(ReassemblerTest, EmptyMessageIsDelivered) {
  EXPECT_EQ(Feed(Fragment::Single(0, {})), 1);
  ASSERT_EQ(delivered_.entries.size(), 1u);
  EXPECT_TRUE(delivered_.entries[0].bytes.empty());
}

TEST_F(ReassemblerTest, MessageTravelsUnderItsChannelWord) {
  testing::RecordingSink seven, fallback;
  reassembler_.AddRoute(7, &seven);
  reassembler_.AddRoute(0, &fallback);
  Feed(Fragment::Single(1, Pattern(3), 7));
  Feed(Fragment::Single(2, Pattern(4), 9));
  ASSERT_EQ(seven.entries.size(), 1u);
  EXPECT_EQ(seven.entries[0].key, 7u);
  ASSERT_EQ(fallback.entries.size(), 1u);
  EXPECT_EQ(fallback.entries[0].key, 9u);
  EXPECT_TRUE(delivered_.entries.empty());
}

TEST_F(ReassemblerTest, FragmentsInOrderMakeOneBody) {
  for (const Fragment& f : FourFragments(3)) EXPECT_EQ(Feed(f), 1);
  ASSERT_EQ(delivered_.entries.size(), 1u);
  EXPECT_EQ(delivered_.entries[0].bytes, Pattern(40));
}

TEST_F(ReassemblerTest, AGapDropsTheMessageAndItsLateFragment) {
  const auto f = FourFragments(3);
  EXPECT_EQ(Feed(f[0]), 1);
  EXPECT_EQ(Feed(f[1]), 1);
  EXPECT_EQ(Feed(f[3]), 0);
  EXPECT_EQ(Feed(f[2]), 0);
  EXPECT_TRUE(delivered_.entries.empty());
  EXPECT_EQ(Stats().lostFragment, 2u);
  // The next message starts afresh.
  EXPECT_EQ(Feed(Fragment::Single(4, Pattern(5))), 1);
  EXPECT_EQ(delivered_.entries.size(), 1u);
}

TEST_F(ReassemblerTest, RepeatedFragmentsAreIgnored) {
  const auto f = FourFragments(3);
  for (const Fragment& d : {f[0], f[0], f[1], f[1], f[2], f[1], f[3]}) EXPECT_EQ(Feed(d), 1);
  ASSERT_EQ(delivered_.entries.size(), 1u);
  EXPECT_EQ(delivered_.entries[0].bytes, Pattern(40));
  EXPECT_EQ(Stats().repeated, 3u);
}

TEST_F(ReassemblerTest, DatagramsOfADeliveredMessageAreRepeats) {
  const Fragment single = Fragment::Single(8, Pattern(10));
  EXPECT_EQ(Feed(single), 1);
  EXPECT_EQ(Feed(single), 1);
  const auto f = FourFragments(9);
  for (const Fragment& d : f) Feed(d);
  EXPECT_EQ(Feed(f[3]), 1);
  EXPECT_EQ(Feed(f[0]), 1);
  EXPECT_EQ(delivered_.entries.size(), 2u);
  EXPECT_EQ(Stats().repeated, 3u);
}

TEST_F(ReassemblerTest, NewMessageNumberAbandonsTheUnfinishedMessage) {
  const auto f = FourFragments(3);
  Feed(f[0]);
  Feed(f[1]);
  EXPECT_EQ(Feed(Fragment::Single(4, Pattern(6))), 1);
  EXPECT_EQ(Stats().abandoned, 1u);
  // The abandoned message cannot be completed any more.
  EXPECT_EQ(Feed(f[2]), 0);
  EXPECT_EQ(Feed(f[3]), 0);
  ASSERT_EQ(delivered_.entries.size(), 1u);
  EXPECT_EQ(delivered_.numbers, (std::vector<std::uint32_t>{4}));
}

TEST_F(ReassemblerTest, FirstDatagramThatIsNotAFragmentZeroIsDropped) {
  const auto f = FourFragments(0xFFFFFFFFu);
  EXPECT_EQ(Feed(f[1]), 0);
  EXPECT_EQ(Feed(f[2]), 0);
  EXPECT_EQ(Feed(f[3]), 0);
  EXPECT_TRUE(delivered_.entries.empty());
  EXPECT_EQ(Stats().lostFragment, 3u);
}

TEST_F(ReassemblerTest, MessageNumbersWrapAt2To32) {
  for (std::uint32_t n : {0xFFFFFFFEu, 0xFFFFFFFFu, 0u, 1u}) {
    EXPECT_EQ(Feed(Fragment::Single(n, Pattern(2))), 1) << n;
  }
  EXPECT_EQ(delivered_.numbers, (std::vector<std::uint32_t>{0xFFFFFFFEu, 0xFFFFFFFFu, 0, 1}));
}

// Lost: the numbers skipped and the messages left unfinished, across the wrap. A late copy of
// an older message, or a far jump (a sender numbering anew), counts nothing.
TEST_F(ReassemblerTest, CountsTheMessagesThatNeverArrived) {
  Feed(Fragment::Single(0xFFFFFFFEu, Pattern(2)));
  Feed(Fragment::Single(2, Pattern(2)));  // 0xFFFFFFFF, 0 and 1 skipped
  EXPECT_EQ(Stats().lostMessages, 3u);
  const auto f = FourFragments(3);
  Feed(f[0]);
  Feed(f[1]);
  Feed(Fragment::Single(4, Pattern(2)));  // 3 left unfinished
  EXPECT_EQ(Stats().lostMessages, 4u);
  Feed(f[2]);                             // a late datagram of 3
  Feed(Fragment::Single(2, Pattern(2)));  // a late copy of 2
  Feed(Fragment::Single(5, Pattern(2)));
  EXPECT_EQ(Stats().lostMessages, 4u);
  Feed(Fragment::Single(900000, Pattern(2)));
  Feed(Fragment::Single(900001, Pattern(2)));
  EXPECT_EQ(Stats().lostMessages, 4u);
  EXPECT_EQ(Stats().bytes, 7u * 18 + 26 + 18 + 18);
}

TEST_F(ReassemblerTest, VeryFirstMessageMayCarryNumber0xFFFFFFFF) {
  for (const Fragment& f : FourFragments(0xFFFFFFFFu)) Feed(f);
  EXPECT_EQ(delivered_.numbers, (std::vector<std::uint32_t>{0xFFFFFFFFu}));
}

TEST_F(ReassemblerTest, DatagramsShorterThanTheirHeaderAreDropped) {
  const auto f = FourFragments(3);
  Feed(f[0]);
  for (std::size_t length = 0; length < 8; ++length) {
    EXPECT_EQ(Feed(Bytes(f[1].bytes.begin(), f[1].bytes.begin() + length)), 0) << length;
  }
  // They leave the message under assembly alone.
  for (std::size_t i = 1; i < 4; ++i) Feed(f[i]);
  EXPECT_EQ(delivered_.entries.size(), 1u);
  EXPECT_EQ(Stats().malformed, 8u);
}

TEST_F(ReassemblerTest, FragmentZeroShorterThan16BytesIsDropped) {
  const Fragment whole = Fragment::Single(6, {});
  for (std::size_t length = 8; length < 16; ++length) {
    EXPECT_EQ(Feed(Bytes(whole.bytes.begin(), whole.bytes.begin() + length)), 0) << length;
  }
  EXPECT_EQ(Stats().malformed, 8u);
  EXPECT_TRUE(delivered_.entries.empty());
}

TEST_F(ReassemblerTest, AnnouncementAboveTheLargestMessageIsDropped) {
  const std::uint32_t largest = protocol::kMaxMessageLength;
  EXPECT_EQ(Feed(Fragment::First(1, largest + 1, Pattern(100))), 0);
  EXPECT_EQ(Stats().oversized, 1u);
  EXPECT_EQ(Feed(Fragment::Later(1, 1, Pattern(100)).Last()), 0);
  EXPECT_EQ(Feed(Fragment::First(2, 0xFFFFFFFFu, Pattern(100)).Last()), 0);
  EXPECT_EQ(Stats().oversized, 2u);

  // The largest announcement is taken; its memory grows only with the bytes that arrive.
  EXPECT_EQ(Feed(Fragment::First(3, largest, Pattern(100))), 1);
  EXPECT_EQ(Feed(Fragment::Later(3, 1, Pattern(100)).Last()), 0);
  EXPECT_EQ(Stats().incomplete, 1u);
  EXPECT_TRUE(delivered_.entries.empty());
}

TEST_F(ReassemblerTest, SmallerLimitGivenAtConstruction) {
  Reassembler small(100);
  testing::RecordingSink sink;
  small.AddRoute(0, &sink);
  auto feed = [&](const Fragment& f) {
    const Buffer b = protocol::MakeBuffer(f.bytes.data(), f.bytes.size());
    return small.Send(1, {&b, 1});
  };
  EXPECT_EQ(feed(Fragment::Single(1, Pattern(101))), 0);
  EXPECT_EQ(feed(Fragment::Single(2, Pattern(100))), 1);
  EXPECT_EQ(small.Stats().oversized, 1u);
  EXPECT_EQ(sink.entries.size(), 1u);
}

TEST_F(ReassemblerTest, BytesPastTheAnnouncedLengthDropTheMessage) {
  EXPECT_EQ(Feed(Fragment::First(1, 10, Pattern(11)).Last()), 0);
  EXPECT_EQ(Stats().malformed, 1u);

  EXPECT_EQ(Feed(Fragment::First(2, 15, Pattern(10))), 1);
  EXPECT_EQ(Feed(Fragment::Later(2, 1, Pattern(6))), 0);
  EXPECT_EQ(Stats().malformed, 2u);
  // The message is gone: its next fragment finds nothing to extend.
  EXPECT_EQ(Feed(Fragment::Later(2, 2, Pattern(5)).Last()), 0);
  EXPECT_TRUE(delivered_.entries.empty());
}

TEST_F(ReassemblerTest, LastFragmentShortOfTheAnnouncementDropsTheMessage) {
  EXPECT_EQ(Feed(Fragment::First(1, 30, Pattern(10))), 1);
  EXPECT_EQ(Feed(Fragment::Later(1, 1, Pattern(19)).Last()), 0);
  EXPECT_EQ(Feed(Fragment::First(2, 30, Pattern(29)).Last()), 0);
  EXPECT_EQ(Stats().incomplete, 2u);
  EXPECT_TRUE(delivered_.entries.empty());
}

TEST_F(ReassemblerTest, CountsEveryDatagram) {
  const auto f = FourFragments(3);
  for (const Fragment& d : f) Feed(d);
  Feed(Bytes(3));
  EXPECT_EQ(Stats().datagrams, 5u);
  EXPECT_EQ(Stats().Dropped(), 1u);
}

// Packetizer to reassembler over many message sizes: what arrives is what was sent. Datagrams
// are lost or repeated at random; a message with a lost datagram must not be delivered, every
// other must arrive byte for byte.
class RoundTripTest : public ::testing::TestWithParam<double> {};

TEST_P(RoundTripTest, BodiesArriveByteIdentical) {
  const double lossRate = GetParam();
  std::mt19937 rng(20261208);
  sender::Packetizer packetizer;
  Reassembler reassembler;
  testing::RecordingSink delivered;
  reassembler.AddRoute(0, &delivered);

  // Feeds the packetizer's datagrams to the reassembler, losing or repeating some.
  struct Wire : protocol::PacketSink {
    int Send(std::uint32_t, protocol::BufferList buffers) override {
      const Bytes d = testing::Flatten(buffers);
      const double roll = std::uniform_real_distribution<double>(0, 1)(*rng);
      if (roll < lossRate) {
        lostInMessage = true;
        return 1;
      }
      int copies = roll > 1 - lossRate ? 2 : 1;
      for (int i = 0; i < copies; ++i) {
        const Buffer b = protocol::MakeBuffer(d.data(), d.size());
        target->Send(1, {&b, 1});
      }
      return 1;
    }
    Reassembler* target = nullptr;
    std::mt19937* rng = nullptr;
    double lossRate = 0;
    bool lostInMessage = false;
  } wire;
  wire.target = &reassembler;
  wire.rng = &rng;
  wire.lossRate = lossRate;
  packetizer.AddRoute(protocol::kRouteKeyMedia, &wire);

  std::vector<std::pair<std::uint32_t, Bytes>> expected;
  std::uniform_int_distribution<std::size_t> size(0, 200 * 1024);
  std::uniform_int_distribution<std::uint32_t> channel(1, 3);
  for (int m = 0; m < 150; ++m) {
    std::size_t n = size(rng);
    if (m % 5 == 0) n = std::uniform_int_distribution<std::size_t>(0, 3000)(rng);
    const Bytes body = Pattern(n, static_cast<std::uint8_t>(m));
    // The body in up to 6 buffers of random sizes, some empty.
    std::vector<Buffer> list;
    std::size_t offset = 0;
    const int parts = std::uniform_int_distribution<int>(1, 6)(rng);
    for (int p = 0; p < parts; ++p) {
      const std::size_t len = p + 1 == parts
                                  ? n - offset
                                  : std::uniform_int_distribution<std::size_t>(0, n - offset)(rng);
      list.push_back(protocol::MakeBuffer(body.data() + offset, len));
      offset += len;
    }
    const std::uint32_t ch = channel(rng);
    wire.lostInMessage = false;
    packetizer.Send(ch, list);
    if (!wire.lostInMessage) expected.emplace_back(ch, body);
  }

  ASSERT_EQ(delivered.entries.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(delivered.entries[i].key, expected[i].first) << i;
    EXPECT_EQ(delivered.entries[i].bytes, expected[i].second) << i;
  }
  if (lossRate == 0) {
    EXPECT_EQ(expected.size(), 150u);
  }
  // Every message not delivered is counted lost, but for the last one when its end was lost:
  // nothing comes after it.
  const std::uint64_t notDelivered = 150 - expected.size();
  EXPECT_LE(reassembler.Stats().lostMessages, notDelivered);
  EXPECT_GE(reassembler.Stats().lostMessages + 1, notDelivered);
}

INSTANTIATE_TEST_SUITE_P(LossRates, RoundTripTest, ::testing::Values(0.0, 0.002, 0.02));

// Packetizer, parity, a lossy and reordering link, the parity receiver and the reassembler:
// what is lost or reordered within the code's reach arrives whole, byte for byte, and in order.
struct LinkShape {
  const char* name;
  double loss = 0;     // of every datagram, parity included
  double reorder = 0;  // datagrams held back by 1 to 3 places
  int fecPercent = 20;
  bool dropAllParity = false;
  std::size_t minDelivered = 0;  // of the 200 messages
};

class FecRoundTripTest : public ::testing::TestWithParam<LinkShape> {};

TEST_P(FecRoundTripTest, MessagesSurviveTheLink) {
  const LinkShape shape = GetParam();
  using Clock = std::chrono::steady_clock;
  Clock::time_point now{};
  std::mt19937 rng(20261209);
  std::uniform_real_distribution<double> roll(0, 1);

  testing::RecordingSink wire;
  sender::FecEncoder fec(wire, shape.fecPercent, [&now] { return now; });
  sender::Packetizer packetizer;
  packetizer.AddRoute(protocol::kRouteKeyMedia, &fec);

  Reassembler reassembler;
  testing::RecordingSink delivered;
  reassembler.AddRoute(protocol::kChannelMessage, &delivered);
  std::uint64_t deliveredDatagrams = 0;
  FecReceiver receiver([&](std::span<const std::uint8_t> payload) {
    ++deliveredDatagrams;
    const Buffer b = protocol::MakeBuffer(payload.data(), payload.size());
    reassembler.Send(protocol::kRouteKeyMedia, {&b, 1});
  });

  // Video-like frames of up to 30 datagrams and audio-like single datagrams, 10 ms apart.
  std::vector<Bytes> bodies;
  std::vector<std::pair<std::uint32_t, Bytes>> late;  // held back: (datagrams to wait, bytes)
  std::size_t maxHeld = 0;
  auto deliverToReceiver = [&](std::uint32_t key, const Bytes& bytes) {
    if (key == protocol::kRouteKeyParity) {
      if (!shape.dropAllParity) receiver.OnParity(bytes, now);
    } else {
      receiver.OnMedia(bytes, now);
    }
    maxHeld = std::max(maxHeld, receiver.Held());
  };
  std::vector<std::tuple<int, std::uint32_t, Bytes>> delayed;
  for (int m = 0; m < 200; ++m) {
    const std::size_t n = m % 2 == 0 ? std::uniform_int_distribution<std::size_t>(100, 40'000)(rng)
                                     : std::uniform_int_distribution<std::size_t>(20, 600)(rng);
    bodies.push_back(Pattern(n, static_cast<std::uint8_t>(m)));
    const Buffer b = protocol::MakeBuffer(bodies.back().data(), n);
    packetizer.Send(protocol::kChannelMessage, {&b, 1});
    if (m == 199) fec.Flush();  // the end of the broadcast closes the last, short group
    for (auto& [key, parts, bytes] : wire.entries) {
      if (roll(rng) < shape.loss) continue;
      if (roll(rng) < shape.reorder) {
        delayed.emplace_back(std::uniform_int_distribution<int>(1, 3)(rng), key, std::move(bytes));
        continue;
      }
      deliverToReceiver(key, bytes);
      for (auto it = delayed.begin(); it != delayed.end();) {
        if (--std::get<0>(*it) > 0) {
          ++it;
          continue;
        }
        deliverToReceiver(std::get<1>(*it), std::get<2>(*it));
        it = delayed.erase(it);
      }
    }
    wire.entries.clear();
    now += std::chrono::milliseconds(10);
    receiver.Tick(now);
  }
  for (auto& [wait, key, bytes] : delayed) deliverToReceiver(key, bytes);
  receiver.Tick(now + std::chrono::seconds(1));

  // Whatever arrives is whole and in sending order; the shape decides how much arrives.
  std::size_t next = 0;
  for (const auto& entry : delivered.entries) {
    while (next < bodies.size() && bodies[next] != entry.bytes) ++next;
    ASSERT_LT(next, bodies.size()) << "a message out of order, or not one that was sent";
    ++next;
  }
  EXPECT_GE(delivered.entries.size(), shape.minDelivered) << shape.name;
  EXPECT_EQ(receiver.Held(), 0u);
  EXPECT_LE(maxHeld, FecReceiver::kMaxHeld);
  if (shape.loss == 0 && shape.reorder == 0) {
    EXPECT_EQ(receiver.Stats().reordered, 0u);
  }
}

// A sender's packetizer and parity on one side, the parity stage and the reassembler on the
// other; the test hands each datagram over itself, deciding which are lost and when each one
// arrives.
class FecStageTest : public ::testing::Test {
 protected:
  using Clock = std::chrono::steady_clock;
  using Wire = std::vector<testing::RecordingSink::Entry>;

  FecStageTest() {
    reassembler_.AddRoute(protocol::kChannelMessage, &delivered_);
    NewFile();
  }
  // Every file a sender opens numbers its messages from 0 again.
  void NewFile() {
    packetizer_ = std::make_unique<sender::Packetizer>();
    packetizer_->AddRoute(protocol::kRouteKeyMedia, &fec_);
  }
  // Sends a message and returns the datagrams it put on the wire (parity of closed groups too).
  Wire Send(const Bytes& body) {
    const Buffer b = protocol::MakeBuffer(body.data(), body.size());
    packetizer_->Send(protocol::kChannelMessage, {&b, 1});
    return TakeWire();
  }
  // Closes the open group, as the end of a file does, and returns its parity.
  Wire Flush() {
    fec_.Flush();
    return TakeWire();
  }
  Wire TakeWire() { return std::exchange(wire_.entries, {}); }
  void Arrive(const testing::RecordingSink::Entry& e) {
    if (e.key == protocol::kRouteKeyParity) {
      receiver_.OnParity(e.bytes, now_);
    } else {
      receiver_.OnMedia(e.bytes, now_);
    }
  }
  void Arrive(const Wire& wire) {
    for (const auto& e : wire) Arrive(e);
  }
  static bool IsParity(const testing::RecordingSink::Entry& e) {
    return e.key == protocol::kRouteKeyParity;
  }
  std::vector<Bytes> Delivered() const {
    std::vector<Bytes> out;
    for (const auto& e : delivered_.entries) out.push_back(e.bytes);
    return out;
  }

  Clock::time_point now_{};
  testing::RecordingSink wire_;
  sender::FecEncoder fec_{wire_, 20, [this] { return now_; }};
  std::unique_ptr<sender::Packetizer> packetizer_;
  Reassembler reassembler_;
  testing::RecordingSink delivered_;
  FecReceiver receiver_{[this](std::span<const std::uint8_t> payload) {
    const Buffer b = protocol::MakeBuffer(payload.data(), payload.size());
    reassembler_.Send(protocol::kRouteKeyMedia, {&b, 1});
  }};
};

// Every new file a sender opens numbers its messages from 0 again, with no end of broadcast in
// between: the receiver must take the new numbering at once, not as datagrams from the past,
// after a long file as after a short one.
TEST_F(FecStageTest, ANewFileNumberedAfreshPlaysAtOnce) {
  std::vector<Bytes> bodies;
  for (const int messages : {300, 40, 12}) {
    NewFile();
    for (int m = 0; m < messages; ++m) {
      bodies.push_back(Pattern(static_cast<std::size_t>(500 + 97 * (m % 40)),
                               static_cast<std::uint8_t>(bodies.size())));
      Arrive(Send(bodies.back()));
      now_ += std::chrono::milliseconds(10);
    }
    Arrive(Flush());
  }
  EXPECT_EQ(Delivered(), bodies);
  EXPECT_EQ(receiver_.Stats().late, 0u);
  EXPECT_EQ(receiver_.Held(), 0u);
}

// A new file reuses the numbers of the one before, and the last group of the file before
// sends its parity after the new file's first datagram. Neither the old file's datagrams, still
// kept, nor that parity take part in the new file's rebuilds, nor give its gaps up early.
TEST_F(FecStageTest, ANewFileIsRebuiltFromItsOwnDatagramsOnly) {
  for (int m = 0; m < 18; ++m) {
    Arrive(Send(Pattern(500, static_cast<std::uint8_t>(m))));
    now_ += std::chrono::milliseconds(10);
  }
  NewFile();
  delivered_.entries.clear();
  std::vector<Bytes> bodies;
  for (int m = 0; m < 20; ++m) {
    bodies.push_back(Pattern(500, static_cast<std::uint8_t>(100 + m)));
    const Wire wire = Send(bodies.back());
    if (m == 0) {
      ASSERT_TRUE(IsParity(wire.back())) << "the old group closes after it";
    }
    // Messages 1 and 7 of the new file are lost: same numbers, lengths and flags as the old.
    for (const auto& e : wire) {
      if (IsParity(e) || (m != 1 && m != 7)) Arrive(e);
    }
    now_ += std::chrono::milliseconds(10);
  }
  Arrive(Flush());
  EXPECT_EQ(Delivered(), bodies);
  EXPECT_EQ(receiver_.Stats().recovered, 2u);
}

// The first group passes before its parity comes: its datagrams are kept and its gaps wait, so
// that parity can rebuild it.
TEST_F(FecStageTest, ALossInTheFirstGroupIsRebuilt) {
  std::vector<Bytes> bodies;
  Wire wire;
  for (int m = 0; m < 10; ++m) {
    bodies.push_back(Pattern(700, static_cast<std::uint8_t>(m)));
    for (auto& e : Send(bodies.back())) wire.push_back(std::move(e));
  }
  for (auto& e : Flush()) wire.push_back(std::move(e));
  ASSERT_FALSE(IsParity(wire[2]));
  for (std::size_t i = 0; i < wire.size(); ++i) {
    if (i != 2) Arrive(wire[i]);
  }
  EXPECT_EQ(Delivered(), bodies);
  EXPECT_EQ(receiver_.Stats().recovered, 1u);
}

// A lost datagram no longer than half the group's longest costs one parity symbol, not two: its
// second symbol holds only the padding's zeros.
TEST_F(FecStageTest, AShortDatagramCostsOneParitySymbol) {
  std::vector<Bytes> bodies;
  Wire wire;
  for (const std::size_t size : {1000, 1000, 100, 1000}) {
    bodies.push_back(Pattern(size, static_cast<std::uint8_t>(bodies.size())));
    for (auto& e : Send(bodies.back())) wire.push_back(std::move(e));
    now_ += std::chrono::milliseconds(10);
  }
  ASSERT_EQ(wire.size(), 4u + sender::FecEncoder::kMinParitySymbols) << "one group";
  // A long and a short datagram lost: three symbols, as many as the group's parity.
  for (std::size_t i = 0; i < wire.size(); ++i) {
    if (i != 1 && i != 2) Arrive(wire[i]);
  }
  EXPECT_EQ(Delivered(), bodies);
  EXPECT_EQ(receiver_.Stats().recovered, 2u);
}

// The length a parity header gives the lost datagram of its group, which a rebuild copies out
// of the datagram's two rebuilt symbols. One out of range (past the two symbols, the largest the
// field holds, or shorter than a fragment header) makes every parity datagram that carries it
// refused and counted: nothing is rebuilt from them, nothing read past the symbols, and the gap
// is given up at the cap. The same group with the length as sent rebuilds the datagram.
struct LostLength {
  const char* name;
  std::size_t (*length)(std::size_t sent, std::size_t symbolSize);
  bool rebuilt;
};
void PrintTo(const LostLength& l, std::ostream* os) {
  *os << l.name;
}

class FecLostLengthTest : public FecStageTest, public ::testing::WithParamInterface<LostLength> {};

TEST_P(FecLostLengthTest, OnlyALengthWithinTheTwoSymbolsRebuilds) {
  std::vector<Bytes> bodies;
  Wire wire;
  for (int m = 0; m < 6; ++m) {
    bodies.push_back(Pattern(700, static_cast<std::uint8_t>(m)));
    for (auto& e : Send(bodies.back())) wire.push_back(std::move(e));
  }
  for (auto& e : Flush()) wire.push_back(std::move(e));
  ASSERT_EQ(wire.size(), 6u + sender::FecEncoder::kMinParitySymbols) << "one group";
  constexpr std::size_t kLost = 2;
  std::uint64_t parity = 0;
  for (std::size_t i = 0; i < wire.size(); ++i) {
    if (i == kLost) continue;
    if (IsParity(wire[i])) {
      const auto d = protocol::ReadParityDatagram(wire[i].bytes);
      ASSERT_TRUE(d);
      protocol::ParityGroup group = d->group;
      const std::uint16_t sent = group.sources[kLost];
      const std::size_t length =
          GetParam().length(sent & protocol::kParitySourceLength, group.symbolSize);
      group.sources[kLost] = static_cast<std::uint16_t>((sent & protocol::kParitySourceLast) |
                                                        (length & protocol::kParitySourceLength));
      ASSERT_TRUE(protocol::WriteParityHeader(group, d->index, wire[i].bytes));
      ++parity;
    }
    Arrive(wire[i]);
  }
  receiver_.Tick(now_ + FecReceiver::kHoldCap);
  EXPECT_EQ(receiver_.Held(), 0u);
  const FecStats& stats = receiver_.Stats();
  if (GetParam().rebuilt) {
    EXPECT_EQ(Delivered(), bodies);
    EXPECT_EQ(stats.recovered, 1u);
    EXPECT_EQ(stats.parity, parity);
    EXPECT_EQ(stats.badParity, 0u);
    return;
  }
  bodies.erase(bodies.begin() + kLost);
  EXPECT_EQ(Delivered(), bodies);
  EXPECT_EQ(stats.recovered, 0u);
  EXPECT_EQ(stats.groupsDecoded, 0u);
  EXPECT_EQ(stats.parity, 0u);
  EXPECT_EQ(stats.badParity, parity);
  EXPECT_EQ(stats.unrecoverable, 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, FecLostLengthTest,
    ::testing::Values(
        LostLength{"as_sent", [](std::size_t sent, std::size_t) { return sent; }, true},
        LostLength{"past_the_two_symbols",
                   [](std::size_t, std::size_t symbolSize) { return 2 * symbolSize + 1; }, false},
        LostLength{"largest_the_field_holds",
                   [](std::size_t, std::size_t) {
                     return static_cast<std::size_t>(protocol::kParitySourceLength);
                   },
                   false},
        LostLength{"shorter_than_a_fragment_header",
                   [](std::size_t, std::size_t) {
                     return static_cast<std::size_t>(protocol::kFragmentHeaderSize - 1);
                   },
                   false}),
    [](const auto& info) { return std::string(info.param.name); });

// How long a gap waits, judged by arrival times: until a later group's parity shows that its
// own could not rebuild it (and a little reordering more), at most kHoldCap; and at the start
// of a sender without parity only until kParityMemory shows that none comes.
TEST_F(FecStageTest, AGapWaitsUntilItCannotBeFilledAtMostTheCap) {
  // Group 1: its datagram 1 and all its parity lost. Group 2 follows, with its parity.
  Wire group1;
  for (int m = 0; m < 4; ++m) {
    for (auto& e : Send(Pattern(600, static_cast<std::uint8_t>(m)))) group1.push_back(e);
  }
  for (auto& e : Flush()) group1.push_back(e);
  for (std::size_t i = 0; i < group1.size(); ++i) {
    if (i != 1 && !IsParity(group1[i])) Arrive(group1[i]);
  }
  EXPECT_GT(receiver_.Held(), 0u);
  Wire group2 = Send(Pattern(600, 4));
  for (auto& e : Flush()) group2.push_back(e);
  now_ += std::chrono::milliseconds(5);
  Arrive(group2);
  receiver_.Tick(now_ + FecReceiver::kReorderGrace - std::chrono::milliseconds(1));
  EXPECT_GT(receiver_.Held(), 0u) << "a reordered datagram may still come";
  receiver_.Tick(now_ + FecReceiver::kReorderGrace);
  EXPECT_EQ(receiver_.Held(), 0u) << "group 2's parity came: group 1 is beyond repair";
  EXPECT_EQ(receiver_.Stats().unrecoverable, 1u);
  EXPECT_EQ(Delivered().size(), 4u);

  // Without any later parity, the cap: from the arrival of the first datagram that waits.
  const Wire next = Send(Pattern(600, 5));
  const Wire after = Send(Pattern(600, 6));
  now_ += std::chrono::milliseconds(50);
  Arrive(after);  // `next` is lost
  const Clock::time_point waitsFrom = now_;
  now_ += std::chrono::seconds(5);  // handed over late by a busy thread: still judged by arrival
  receiver_.Tick(waitsFrom + FecReceiver::kHoldCap - std::chrono::milliseconds(1));
  EXPECT_GT(receiver_.Held(), 0u);
  receiver_.Tick(waitsFrom + FecReceiver::kHoldCap);
  EXPECT_EQ(receiver_.Held(), 0u);
}

TEST_F(FecStageTest, ASenderWithoutParityWaitsOnlyAtItsStart) {
  FecReceiver bare([](std::span<const std::uint8_t>) {});
  Wire wire;
  for (int m = 0; m < 6; ++m) {
    for (auto& e : Send(Pattern(300, static_cast<std::uint8_t>(m)))) {
      if (!IsParity(e)) wire.push_back(e);
    }
  }
  bare.OnMedia(wire[0].bytes, now_);
  bare.OnMedia(wire[2].bytes, now_);
  EXPECT_EQ(bare.Held(), 1u) << "parity may still come for the first group";
  bare.Tick(now_ + FecReceiver::kHoldCap);
  now_ += FecReceiver::kParityMemory;
  bare.OnMedia(wire[3].bytes, now_);
  bare.OnMedia(wire[5].bytes, now_);
  EXPECT_EQ(bare.Held(), 0u) << "no parity came: nothing waits";
}

// A hostile sender may send parity for every group shape: the codes kept for them stay few,
// and a reset drops them.
TEST(FecCodeCacheTest, CodesForEveryGroupShapeStayBounded) {
  using Clock = std::chrono::steady_clock;
  FecReceiver receiver([](std::span<const std::uint8_t>) {});
  std::uint16_t number = 0;
  std::uint32_t message = 1000;
  for (std::uint8_t k = 1; k <= 12; ++k) {
    for (std::uint8_t p = 2 * k; p < 2 * k + 4; ++p) {
      // 2K parity symbols for a group whose datagrams are all missing: enough to rebuild it.
      protocol::ParityGroup group{
          number++, p, 4,
          message,  0, std::vector<std::uint16_t>(k, 8 | protocol::kParitySourceLast)};
      message += k;
      for (std::uint8_t j = 0; j < 2 * k; ++j) {
        Bytes datagram(protocol::ParityHeaderSize(k) + 4, j);
        ASSERT_TRUE(protocol::WriteParityHeader(group, j, datagram));
        receiver.OnParity(datagram, Clock::time_point{});
      }
    }
  }
  EXPECT_GE(receiver.Stats().groupsDecoded, 40u);
  EXPECT_EQ(receiver.CachedCodes(), FecReceiver::kMaxCodes);
  receiver.Reset();
  EXPECT_EQ(receiver.CachedCodes(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Links, FecRoundTripTest,
                         ::testing::Values(LinkShape{"clean", 0, 0, 20, false, 200},
                                           LinkShape{"reordered", 0, 0.10, 20, false, 200},
                                           LinkShape{"loss1", 0.01, 0, 20, false, 200},
                                           LinkShape{"loss5_reordered", 0.05, 0.10, 20, false, 195},
                                           LinkShape{"loss5_more_parity", 0.05, 0, 50, false, 200},
                                           LinkShape{"parity_ignored", 0, 0, 20, true, 200},
                                           LinkShape{"parity_ignored_loss", 0.02, 0, 20, true, 150},
                                           LinkShape{"loss20", 0.20, 0, 20, false, 110}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vantorel::receiver
