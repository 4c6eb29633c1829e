// The sink sends to 127.0.0.1 here: nothing in these tests leaves the machine.
#include "sender/udp_broadcast_sink.h"

#include <gtest/gtest.h>

#include <random>

#include "platform/net/udp_socket.h"
#include "protocol/byte_io.h"
#include "sender/fec_encoder.h"
#include "sender/packetizer.h"
#include "tests/protocol/recording_sink.h"
#include "tests/sender/loopback_receiver.h"

namespace vantorel::sender {
namespace {

using protocol::Buffer;
using testing::Bytes;
using testing::LoopbackReceiver;
using testing::Pattern;

class UdpBroadcastSinkTest : public ::testing::Test {
 protected:
  LoopbackReceiver receiver_;
  UdpBroadcastSink sink_{receiver_.Port(), net::kLoopbackAddress};
};

TEST_F(UdpBroadcastSinkTest, PutsTheRouteKeyInFrontOfTheBuffers) {
  ASSERT_NE(receiver_.Port(), 0);
  ASSERT_TRUE(sink_.IsOpen());
  const Bytes eight = Pattern(8, 100);
  const Buffer b = protocol::MakeBuffer(eight.data(), eight.size());
  EXPECT_EQ(sink_.Send(protocol::kRouteKeyMedia, {&b, 1}), 1);
  const Bytes d = receiver_.Receive();
  ASSERT_EQ(d.size(), 12u);
  EXPECT_EQ(Bytes(d.begin(), d.begin() + 4), (Bytes{0x0A, 0x1A, 0x00, 0x00}));
  EXPECT_EQ(Bytes(d.begin() + 4, d.end()), eight);
  EXPECT_EQ(sink_.Stats().datagrams, 1u);
  EXPECT_EQ(sink_.Stats().bytes, 12u);
}

TEST_F(UdpBroadcastSinkTest, GathersSeveralBuffersIntoOneDatagram) {
  const Bytes a = Pattern(3, 1), b = Pattern(0), c = Pattern(1000, 2);
  const Buffer list[3] = {protocol::MakeBuffer(a.data(), a.size()),
                          {0, nullptr},
                          protocol::MakeBuffer(c.data(), c.size())};
  sink_.Send(7, list);
  const Bytes d = receiver_.Receive();
  ASSERT_EQ(d.size(), 4u + 3 + 1000);
  EXPECT_EQ(testing::WordAt(d, 0), 7u);
  EXPECT_EQ(Bytes(d.begin() + 4, d.begin() + 7), a);
  EXPECT_EQ(Bytes(d.begin() + 7, d.end()), c);
}

TEST_F(UdpBroadcastSinkTest, EndOfBroadcastIsSentThreeTimes) {
  sink_.SendEndOfBroadcast();
  const Bytes expected{0xB3, 0x15, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
  for (int i = 0; i < 3; ++i) EXPECT_EQ(receiver_.Receive(), expected) << i;
  EXPECT_EQ(sink_.Stats().datagrams, 3u);
}

TEST_F(UdpBroadcastSinkTest, CarriesThePacketizersLargestDatagram) {
  Packetizer packetizer;
  packetizer.AddRoute(protocol::kRouteKeyMedia, &sink_);
  const Bytes body = Pattern(1453);
  const Buffer b = protocol::MakeBuffer(body.data(), body.size());
  packetizer.Send(protocol::kChannelMessage, {&b, 1});
  const Bytes first = receiver_.Receive();
  const Bytes second = receiver_.Receive();
  ASSERT_EQ(first.size(), protocol::kMaxDatagramPayload);
  EXPECT_EQ(testing::WordAt(first, 0), protocol::kRouteKeyMedia);
  EXPECT_EQ(testing::WordAt(first, 8), 0u);
  ASSERT_EQ(second.size(), 4u + 8 + 1);
  EXPECT_EQ(testing::WordAt(second, 8), 0x80000001u);
  EXPECT_EQ(second.back(), body.back());
}

TEST_F(UdpBroadcastSinkTest, ClosedSinkSendsNothing) {
  sink_.Close();
  EXPECT_FALSE(sink_.IsOpen());
  const Bytes lost = Pattern(8);
  const Buffer b = protocol::MakeBuffer(lost.data(), lost.size());
  EXPECT_EQ(sink_.Send(protocol::kRouteKeyMedia, {&b, 1}), 0);

  // Reopened, it sends again: the first datagram to arrive is the one sent after reopening.
  ASSERT_TRUE(sink_.Open(receiver_.Port()));
  const std::uint8_t marker = 0x42;
  const Buffer m = protocol::MakeBuffer(&marker, 1);
  EXPECT_EQ(sink_.Send(protocol::kRouteKeyMedia, {&m, 1}), 1);
  EXPECT_EQ(receiver_.Receive(), (Bytes{0x0A, 0x1A, 0x00, 0x00, 0x42}));
  EXPECT_EQ(sink_.Stats().datagrams, 1u);
}

TEST_F(UdpBroadcastSinkTest, ReportsTheLargestUdpPayload) {
  EXPECT_EQ(sink_.MaxMessageSize(), 65507u);
}

// A recorded datagram as one datagram per system call puts it on the wire: route key first.
Bytes OnTheWire(const testing::RecordingSink::Entry& entry) {
  Bytes d(4);
  protocol::StoreU32(d.data(), entry.key);
  d.insert(d.end(), entry.bytes.begin(), entry.bytes.end());
  return d;
}

// The batched path (messages cut in one batch, parity in one batch per group, runs of equal
// datagrams in one segmented send or one sendmmsg) puts on the wire exactly what sending
// datagram by datagram does: random message sizes, cut into random buffers, with and without
// parity.
class BatchedSendTest : public ::testing::TestWithParam<bool> {};

TEST_P(BatchedSendTest, PutsTheSameBytesOnTheWireAsOneByOne) {
  const bool segmentation = GetParam();
  for (const int percent : {0, 20}) {
    LoopbackReceiver receiver;
    SinkOptions options{receiver.Port(), net::kLoopbackAddress};
    options.segmentation = segmentation;
    UdpBroadcastSink sink(options);
    ASSERT_TRUE(sink.IsOpen());
    // Both chains see the same clock, moved on before each message.
    FecEncoder::Clock::time_point now{};
    const auto clock = [&now] { return now; };
    testing::RecordingSink expected;
    FecEncoder referenceParity(expected, percent, clock);
    FecEncoder parity(sink, percent, clock);
    Packetizer reference, batched;
    reference.AddRoute(protocol::kRouteKeyMedia, &referenceParity);
    batched.AddRoute(protocol::kRouteKeyMedia, &parity);

    std::mt19937 random(percent + 7);
    std::size_t compared = 0;
    for (int m = 0; m < 80; ++m) {
      now += std::chrono::milliseconds(random() % 20);
      // Mostly small (audio), some across the 44-datagram limit of one segmented send.
      const std::size_t size = m % 5 == 0 ? random() % 100'000 : random() % 3000;
      const Bytes body = Pattern(size, static_cast<std::uint8_t>(m));
      const std::size_t cut1 = size == 0 ? 0 : random() % (size + 1);
      const std::size_t cut2 = cut1 + (size == cut1 ? 0 : random() % (size - cut1 + 1));
      const Buffer pieces[3] = {protocol::MakeBuffer(body.data(), cut1),
                                protocol::MakeBuffer(body.data() + cut1, cut2 - cut1),
                                protocol::MakeBuffer(body.data() + cut2, size - cut2)};
      reference.Send(protocol::kChannelMessage, pieces);
      batched.Send(protocol::kChannelMessage, pieces);
      if (m % 9 == 8) {
        referenceParity.Flush();
        parity.Flush();
      }
      for (; compared < expected.entries.size(); ++compared) {
        ASSERT_EQ(receiver.Receive(), OnTheWire(expected.entries[compared]))
            << "message " << m << ", datagram " << compared << ", parity " << percent;
      }
    }
    const BroadcastStats stats = sink.Stats();
    EXPECT_EQ(stats.datagrams, compared);
    EXPECT_EQ(stats.sendErrors, 0u);
    EXPECT_EQ(sink.Segmenting(), segmentation);
    // Datagrams of one message (and one group's parity) share their calls.
    EXPECT_LT(stats.calls * 2, stats.datagrams) << "parity " << percent;
  }
}

INSTANTIATE_TEST_SUITE_P(Paths, BatchedSendTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Segmented" : "Sendmmsg"; });

// Bound to the loopback interface by name, the sink's datagrams still reach 127.0.0.1.
TEST(UdpBroadcastSinkInterfaceTest, SendsThroughTheNamedInterface) {
  LoopbackReceiver receiver;
  UdpBroadcastSink sink(
      SinkOptions{receiver.Port(), net::kLoopbackAddress, net::kDefaultMulticastTtl, "lo"});
  ASSERT_TRUE(sink.IsOpen()) << sink.OpenError();
  EXPECT_TRUE(sink.OpenError().empty());
  const std::uint8_t marker = 0x5A;
  const Buffer m = protocol::MakeBuffer(&marker, 1);
  EXPECT_EQ(sink.Send(protocol::kRouteKeyMedia, {&m, 1}), 1);
  EXPECT_EQ(receiver.Receive(), (Bytes{0x0A, 0x1A, 0x00, 0x00, 0x5A}));
  EXPECT_EQ(sink.Stats().sendErrors, 0u);
}

struct RefusedSink {
  const char* name;
  SinkOptions options;
  const char* reason;  // part of OpenError
};
void PrintTo(const RefusedSink& refused, std::ostream* out) {
  *out << refused.name;
}

class UdpBroadcastSinkRefusalTest : public ::testing::TestWithParam<RefusedSink> {};

// A sink that cannot be set up as asked stays closed (it sends nothing) and says why. Nothing
// is sent here: the multicast destinations only get their socket options.
TEST_P(UdpBroadcastSinkRefusalTest, StaysClosedAndSaysWhy) {
  UdpBroadcastSink sink(GetParam().options);
  EXPECT_FALSE(sink.IsOpen());
  EXPECT_NE(sink.OpenError().find(GetParam().reason), std::string::npos) << sink.OpenError();
  const std::uint8_t byte = 1;
  const Buffer b = protocol::MakeBuffer(&byte, 1);
  EXPECT_EQ(sink.Send(protocol::kRouteKeyMedia, {&b, 1}), 0);
}

constexpr std::uint32_t kTestGroup = 0xEFFF3B25u;  // 239.255.59.37

INSTANTIATE_TEST_SUITE_P(
    Options, UdpBroadcastSinkRefusalTest,
    ::testing::Values(RefusedSink{"UnknownInterface",
                                  {9, net::kLoopbackAddress, 1, "vantorel-none0"},
                                  "no network interface named vantorel-none0"},
                      RefusedSink{"UnknownInterfaceForAGroup",
                                  {9, kTestGroup, 1, "vantorel-none0"},
                                  "no network interface named vantorel-none0"},
                      RefusedSink{
                          "TtlAboveTheLimit", {9, kTestGroup, 256, ""}, "multicast TTL to 256"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vantorel::sender
