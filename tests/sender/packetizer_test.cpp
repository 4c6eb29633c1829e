#include "sender/packetizer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <type_traits>

#include "protocol/messages.h"
#include "protocol/parity.h"
#include "sender/fec_encoder.h"
#include "tests/protocol/recording_sink.h"

namespace vantorel::sender {
namespace {

using protocol::Buffer;
using protocol::BufferList;
using testing::Bytes;
using testing::Pattern;
using testing::WordAt;

constexpr std::uint32_t kChannel = protocol::kChannelMessage;

// One datagram as the packetizer hands it on (route key not yet in front).
struct Datagram {
  explicit Datagram(const Bytes& b) : bytes(b) {}
  std::uint32_t Number() const { return WordAt(bytes, 0); }
  std::uint32_t Word() const { return WordAt(bytes, 4); }
  std::uint32_t Index() const { return Word() & protocol::kFragmentIndexMask; }
  bool Last() const { return (Word() & protocol::kLastFragmentFlag) != 0; }
  // Body bytes of this fragment: after 16 header bytes in fragment 0, after 8 in the others.
  Bytes Body() const { return Bytes(bytes.begin() + (Index() == 0 ? 16 : 8), bytes.end()); }
  Bytes bytes;
};

class PacketizerTest : public ::testing::Test {
 protected:
  PacketizerTest() { packetizer_.AddRoute(protocol::kRouteKeyMedia, &sink_); }

  std::vector<Datagram> Cut(BufferList buffers) {
    sink_.entries.clear();
    EXPECT_EQ(packetizer_.Send(kChannel, buffers), 1);
    std::vector<Datagram> out;
    for (const auto& e : sink_.entries) {
      EXPECT_EQ(e.key, protocol::kRouteKeyMedia);
      out.emplace_back(e.bytes);
    }
    return out;
  }
  std::vector<Datagram> Cut(const Bytes& body) {
    const Buffer b = protocol::MakeBuffer(body.data(), body.size());
    return Cut(BufferList(&b, 1));
  }

  static Bytes Join(const std::vector<Datagram>& datagrams) {
    Bytes out;
    for (const auto& d : datagrams) {
      const Bytes body = d.Body();
      out.insert(out.end(), body.begin(), body.end());
    }
    return out;
  }

  Packetizer packetizer_;
  testing::RecordingSink sink_;
};

TEST_F(PacketizerTest, SampleOf1412BytesTakesTwoDatagrams) {
  const Bytes data = Pattern(1412);
  auto m = protocol::SampleMessageBuffers::Make(protocol::StreamKind::kVideo, {}, data);
  const auto d = Cut(m->Buffers());
  ASSERT_EQ(d.size(), 2u);
  EXPECT_EQ(d[0].bytes.size(), 1468u);
  EXPECT_EQ(d[0].Number(), 0u);
  EXPECT_EQ(d[0].Word(), 0u);
  EXPECT_EQ(WordAt(d[0].bytes, 8), kChannel);
  EXPECT_EQ(WordAt(d[0].bytes, 12), 1460u);
  EXPECT_EQ(d[0].Body().size(), 1452u);
  EXPECT_EQ(d[1].bytes.size(), 16u);
  EXPECT_EQ(d[1].Number(), 0u);
  EXPECT_EQ(d[1].Word(), 0x80000001u);
  EXPECT_EQ(d[1].Body(), Bytes(data.end() - 8, data.end()));
  EXPECT_EQ(Join(d), testing::Flatten(m->Buffers()));
}

TEST_F(PacketizerTest, SampleOf1404BytesFillsOneFullDatagram) {
  const Bytes data = Pattern(1404);
  auto m = protocol::SampleMessageBuffers::Make(protocol::StreamKind::kAudio, {}, data);
  const auto d = Cut(m->Buffers());
  ASSERT_EQ(d.size(), 1u);
  EXPECT_EQ(d[0].bytes.size() + protocol::kRouteKeySize, 1472u);
  EXPECT_EQ(d[0].Word(), 0x80000000u);
  EXPECT_EQ(WordAt(d[0].bytes, 12), 1452u);
}

TEST_F(PacketizerTest, EmptySampleEndsWithAZeroLengthDataHeader) {
  auto m = protocol::SampleMessageBuffers::Make(protocol::StreamKind::kAudio, {}, {});
  const auto d = Cut(m->Buffers());
  ASSERT_EQ(d.size(), 1u);
  EXPECT_EQ(d[0].bytes.size(), 16u + 48u);
  EXPECT_EQ(WordAt(d[0].bytes, 12), 48u);
  EXPECT_EQ(WordAt(d[0].bytes, 16 + 44), 0x19000000u);
  EXPECT_EQ(d[0].Word(), 0x80000000u);
}

TEST_F(PacketizerTest, SegmentStartIsOne32ByteDatagramOnTheWire) {
  const auto segment = protocol::EncodeSegmentStart({protocol::StreamKind::kVideo, 42});
  const auto d = Cut(Bytes(segment.begin(), segment.end()));
  ASSERT_EQ(d.size(), 1u);
  EXPECT_EQ(protocol::kRouteKeySize + d[0].bytes.size(), 32u);
}

TEST_F(PacketizerTest, EmptyMessageIsOne20ByteDatagram) {
  const auto none = Cut(BufferList{});
  ASSERT_EQ(none.size(), 1u);
  EXPECT_EQ(protocol::kRouteKeySize + none[0].bytes.size(), 20u);
  EXPECT_EQ(none[0].Word(), 0x80000000u);
  EXPECT_EQ(WordAt(none[0].bytes, 8), kChannel);
  EXPECT_EQ(WordAt(none[0].bytes, 12), 0u);

  const Buffer empties[2] = {{0, nullptr}, {0, nullptr}};
  const auto d = Cut(BufferList(empties));
  ASSERT_EQ(d.size(), 1u);
  EXPECT_EQ(d[0].bytes.size(), 16u);
  EXPECT_EQ(d[0].Word(), 0x80000000u);
}

TEST_F(PacketizerTest, MessageNumberRisesPerMessageAndIndexRestarts) {
  static_assert(std::is_same_v<decltype(packetizer_.MessageNumber()), std::uint32_t>,
                "the message number wraps at 2^32");
  const Bytes body = Pattern(3000);
  for (std::uint32_t n = 0; n < 3; ++n) {
    const auto d = Cut(body);
    ASSERT_EQ(d.size(), 3u);
    for (std::size_t i = 0; i < d.size(); ++i) {
      EXPECT_EQ(d[i].Number(), n);
      EXPECT_EQ(d[i].Index(), i);
    }
  }
  EXPECT_EQ(packetizer_.MessageNumber(), 3u);
}

TEST_F(PacketizerTest, DatagramsPointIntoTheCallersBuffers) {
  class PointerSink : public protocol::PacketSink {
   public:
    int Send(std::uint32_t, BufferList buffers) override {
      lastData.push_back(buffers.back().data);
      return 1;
    }
    std::vector<const std::uint8_t*> lastData;
  } pointers;
  packetizer_.AddRoute(protocol::kRouteKeyMedia, &pointers);
  const Bytes body = Pattern(2000);
  Cut(body);
  ASSERT_EQ(pointers.lastData.size(), 2u);
  EXPECT_EQ(pointers.lastData[0], body.data());
  EXPECT_EQ(pointers.lastData[1], body.data() + 1452);
}

TEST(PacketizerKeyTest, DispatchesUnderItsOwnKey) {
  Packetizer packetizer(5555);
  testing::RecordingSink sink;
  packetizer.AddRoute(0, &sink);
  const std::uint8_t byte = 1;
  const Buffer b = protocol::MakeBuffer(&byte, 1);
  packetizer.Send(kChannel, {&b, 1});
  ASSERT_EQ(sink.entries.size(), 1u);
  EXPECT_EQ(sink.entries[0].key, 5555u);
}

// A body size and the sizes of the pieces it is handed over in (0 = the rest).
struct CutCase {
  std::size_t bodySize;
  std::vector<std::size_t> pieces;
};

void PrintTo(const CutCase& c, std::ostream* os) {
  *os << c.bodySize << " bytes in " << c.pieces.size() << " pieces";
}

class PacketizerCutTest : public PacketizerTest, public ::testing::WithParamInterface<CutCase> {};

TEST_P(PacketizerCutTest, CutsAtFixedByteCounts) {
  const Bytes body = Pattern(GetParam().bodySize, 17);
  std::vector<Buffer> list;
  std::size_t offset = 0;
  for (std::size_t piece : GetParam().pieces) {
    const std::size_t n = piece == 0 ? body.size() - offset : piece;
    list.push_back(protocol::MakeBuffer(body.data() + offset, n));
    offset += n;
  }
  ASSERT_EQ(offset, body.size());

  const auto d = Cut(list);
  const std::size_t n = body.size();
  const std::size_t expected = n <= 1452 ? 1 : 1 + (n - 1452 + 1459) / 1460;
  ASSERT_EQ(d.size(), expected);
  std::size_t left = n;
  for (std::size_t i = 0; i < d.size(); ++i) {
    const std::size_t room = i == 0 ? 1452 : 1460;
    EXPECT_EQ(d[i].Body().size(), std::min(left, room)) << "datagram " << i;
    EXPECT_EQ(d[i].Index(), i);
    EXPECT_EQ(d[i].Last(), i + 1 == d.size()) << "datagram " << i;
    left -= d[i].Body().size();
  }
  EXPECT_EQ(WordAt(d[0].bytes, 12), n);
  EXPECT_EQ(Join(d), body);
}

INSTANTIATE_TEST_SUITE_P(Sizes, PacketizerCutTest,
                         ::testing::Values(CutCase{1, {0}}, CutCase{1451, {0}}, CutCase{1452, {0}},
                                           CutCase{1452, {1000, 452}}, CutCase{1452, {1452, 0}},
                                           CutCase{1452, {0, 0, 0}}, CutCase{1453, {0}},
                                           CutCase{1453, {1452, 1}}, CutCase{1452 + 1460, {0}},
                                           CutCase{1452 + 1460, {1452, 1460}},
                                           CutCase{1452 + 1460, {1452, 1460, 0}},
                                           CutCase{1452 + 1461, {0}},
                                           CutCase{1452 + 1460 * 3, {4, 40, 4, 0}},
                                           CutCase{5000, {1, 1, 1, 1451, 1460, 1, 1, 0}},
                                           CutCase{200000, {4, 40, 4, 0}}));

// Parity on its own clock: a group whose stream goes quiet is closed by the encoder's thread,
// no sooner than its span, and its parity describes it; media datagrams pass unchanged.
TEST(FecEncoderTest, AQuietStreamStillGetsItsParityAfterTheSpan) {
  struct Capture : protocol::PacketSink {
    int Send(std::uint32_t key, BufferList buffers) override {
      std::lock_guard guard(lock);
      sent.emplace_back(key, testing::Flatten(buffers));
      arrived.notify_all();
      return 1;
    }
    std::mutex lock;
    std::condition_variable arrived;
    std::vector<std::pair<std::uint32_t, Bytes>> sent;
  } wire;
  FecEncoder fec(wire, 20);
  Packetizer packetizer;
  packetizer.AddRoute(protocol::kRouteKeyMedia, &fec);
  const Bytes body = Pattern(3000);
  const Buffer b = protocol::MakeBuffer(body.data(), body.size());
  const auto start = std::chrono::steady_clock::now();
  packetizer.Send(kChannel, {&b, 1});
  std::unique_lock guard(wire.lock);
  ASSERT_TRUE(
      wire.arrived.wait_for(guard, std::chrono::seconds(2), [&] { return wire.sent.size() > 3; }));
  EXPECT_GE(std::chrono::steady_clock::now() - start, FecEncoder::kGroupSpan);
  ASSERT_EQ(wire.sent[0].first, protocol::kRouteKeyMedia);
  EXPECT_EQ(Datagram(wire.sent[0].second).Index(), 0u);
  EXPECT_EQ(wire.sent[2].first, protocol::kRouteKeyMedia);
  EXPECT_TRUE(Datagram(wire.sent[2].second).Last());
  ASSERT_EQ(wire.sent[3].first, protocol::kRouteKeyParity);
  const auto parity = protocol::ReadParityDatagram(wire.sent[3].second);
  ASSERT_TRUE(parity);
  EXPECT_EQ(parity->group.sources.size(), 3u);
  EXPECT_EQ(parity->group.paritySymbols, FecEncoder::ParitySymbols(3, 20));
  EXPECT_EQ(parity->group.symbolSize, 734u);
}

}  // namespace
}  // namespace vantorel::sender
