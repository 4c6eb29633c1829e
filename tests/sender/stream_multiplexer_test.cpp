#include "sender/stream_multiplexer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "protocol/byte_io.h"
#include "protocol/messages.h"
#include "tests/protocol/recording_sink.h"

namespace vantorel::sender {
namespace {

using protocol::Buffer;
using protocol::BufferList;
using testing::Bytes;
using testing::Pattern;
using testing::WordAt;

class FakeClock : public MillisecondClock {
 public:
  explicit FakeClock(std::uint32_t start) : now(start) {}
  std::uint32_t NowMs() override { return now.load(); }
  std::atomic<std::uint32_t> now;
};

class FakeGrabber : public StreamClock {
 public:
  explicit FakeGrabber(std::int64_t start) : time(start) {}
  std::int64_t ReadClock() override { return time; }
  std::int64_t time;
};

// Whole messages rebuilt from the packetizer's datagrams (the datagrams are checked by the
// packetizer's tests); each keeps its number and body.
class MessageSink : public protocol::PacketSink {
 public:
  struct Message {
    std::uint32_t number = 0;
    Bytes body;
    std::uint32_t Kind() const { return body.size() >= 4 ? body[3] : 0; }
  };
  int Send(std::uint32_t, BufferList buffers) override {
    const Bytes d = testing::Flatten(buffers);
    const std::uint32_t index = WordAt(d, 4) & protocol::kFragmentIndexMask;
    if (index == 0)
      messages.push_back({WordAt(d, 0), Bytes(d.begin() + 16, d.end())});
    else
      messages.back().body.insert(messages.back().body.end(), d.begin() + 8, d.end());
    ++datagrams;
    return 1;
  }
  std::vector<Message> messages;
  std::size_t datagrams = 0;
};

Bytes Record(protocol::StreamKind stream, std::size_t formatSize) {
  protocol::FormatRecord r;
  r.stream = stream;
  r.formatBlock = Pattern(formatSize);
  return protocol::EncodeFormatRecord(r);
}

std::int64_t ClockOf(const Bytes& record) {
  return static_cast<std::int64_t>(WordAt(record, 36) | (std::uint64_t{WordAt(record, 40)} << 32));
}

class StreamMultiplexerTest : public ::testing::Test {
 protected:
  StreamMultiplexerTest() { mux_.AddRoute(protocol::kRouteKeyMedia, &sink_); }

  void SendAt(std::uint32_t ms, const Bytes& body = Pattern(20)) {
    clock_.now = ms;
    const Buffer b = protocol::MakeBuffer(body.data(), body.size());
    ASSERT_EQ(mux_.Send(protocol::kChannelMessage, {&b, 1}), 1);
  }
  std::size_t Descriptions() const {
    std::size_t n = 0;
    for (const auto& m : sink_.messages) n += m.Kind() == 10;
    return n;
  }

  FakeClock clock_{100000};
  StreamMultiplexer mux_{clock_};
  MessageSink sink_;
  FakeGrabber video_{5000000}, audio_{7000000};
  Bytes videoRecord_ = Record(protocol::StreamKind::kVideo, 88);
  Bytes audioRecord_ = Record(protocol::StreamKind::kAudio, 18);
};

TEST_F(StreamMultiplexerTest, FirstSendIsPrecededByADescription) {
  ASSERT_TRUE(mux_.RegisterStream(&video_, protocol::kStreamFlagVideo, videoRecord_));
  const Bytes body = Pattern(20);
  SendAt(100000, body);
  ASSERT_EQ(sink_.messages.size(), 2u);
  EXPECT_EQ(sink_.messages[0].number, 0u);
  EXPECT_EQ(sink_.messages[0].Kind(), 10u);
  EXPECT_EQ(sink_.messages[1].number, 1u);
  EXPECT_EQ(sink_.messages[1].body, body);
  EXPECT_EQ(mux_.Stats().descriptions, 1u);
  EXPECT_EQ(mux_.Stats().messages, 1u);
}

TEST_F(StreamMultiplexerTest, DescriptionCarriesRecordsInRegistrationOrderWithFreshClocks) {
  ASSERT_TRUE(mux_.RegisterStream(&audio_, protocol::kStreamFlagAudio, audioRecord_));
  ASSERT_TRUE(mux_.RegisterStream(&video_, protocol::kStreamFlagVideo, videoRecord_));
  SendAt(100000);
  const Bytes& d = sink_.messages.at(0).body;
  EXPECT_EQ(WordAt(d, 0), protocol::MakeDescriptionHeaderWord(3, 78 + 148));
  ASSERT_EQ(d.size(), 4u + 78 + 148);
  EXPECT_EQ(Bytes(d.begin() + 4, d.begin() + 82), audioRecord_);
  EXPECT_EQ(Bytes(d.begin() + 82, d.end()), videoRecord_);
  EXPECT_EQ(ClockOf(audioRecord_), 7000000);
  EXPECT_EQ(ClockOf(videoRecord_), 5000000);

  audio_.time = 7100000;
  video_.time = -1;
  SendAt(101000);
  const Bytes& again = sink_.messages.at(2).body;
  EXPECT_EQ(ClockOf(Bytes(again.begin() + 4, again.begin() + 82)), 7100000);
  EXPECT_EQ(ClockOf(Bytes(again.begin() + 82, again.end())), -1);
  auto parsed = protocol::ParseStreamDescription(again);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->records.size(), 2u);
}

TEST_F(StreamMultiplexerTest, TickExpiresAfter1000Milliseconds) {
  mux_.RegisterStream(&video_, protocol::kStreamFlagVideo, videoRecord_);
  SendAt(100000);
  SendAt(100999);
  EXPECT_EQ(Descriptions(), 1u);
  SendAt(101000);
  EXPECT_EQ(Descriptions(), 2u);
  SendAt(101999);
  EXPECT_EQ(Descriptions(), 2u);
  EXPECT_EQ(sink_.messages.size(), 6u);
  EXPECT_EQ(sink_.messages.back().number, 5u);
}

TEST_F(StreamMultiplexerTest, TickCountsAcrossTheMillisecondWrap) {
  FakeClock clock(0xFFFFFE00u);
  StreamMultiplexer mux(clock);
  mux.AddRoute(protocol::kRouteKeyMedia, &sink_);
  mux.RegisterStream(&video_, protocol::kStreamFlagVideo, videoRecord_);
  const Bytes body = Pattern(4);
  const Buffer b = protocol::MakeBuffer(body.data(), body.size());
  mux.Send(1, {&b, 1});
  clock.now = 0xFFFFFE00u + 999;
  mux.Send(1, {&b, 1});
  EXPECT_EQ(Descriptions(), 1u);
  clock.now = 0xFFFFFE00u + 1000;  // 0x000001E8
  mux.Send(1, {&b, 1});
  EXPECT_EQ(Descriptions(), 2u);
}

TEST_F(StreamMultiplexerTest, TickIsConsumedWhenNoStreamIsRegistered) {
  SendAt(100000);
  EXPECT_EQ(Descriptions(), 0u);
  ASSERT_TRUE(mux_.RegisterStream(&video_, protocol::kStreamFlagVideo, videoRecord_));
  SendAt(100500);
  EXPECT_EQ(Descriptions(), 0u);
  SendAt(101000);
  EXPECT_EQ(Descriptions(), 1u);
  EXPECT_EQ(sink_.messages.at(2).Kind(), 10u);
}

TEST_F(StreamMultiplexerTest, RefusesANinthStream) {
  std::vector<Bytes> records(9, Record(protocol::StreamKind::kVideo, 0));
  for (int i = 0; i < 8; ++i) {
    EXPECT_TRUE(mux_.RegisterStream(&video_, protocol::kStreamFlagVideo, records[i])) << i;
  }
  EXPECT_FALSE(mux_.RegisterStream(&video_, protocol::kStreamFlagVideo, records[8]));
  EXPECT_EQ(mux_.StreamCount(), 8u);
  SendAt(100000);
  auto parsed = protocol::ParseStreamDescription(sink_.messages.at(0).body);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->records.size(), 8u);
}

TEST_F(StreamMultiplexerTest, RefusesRecordsTotalling65536BytesOrMore) {
  Bytes big = Record(protocol::StreamKind::kVideo, 65535 - 78 - 60);
  ASSERT_TRUE(mux_.RegisterStream(&audio_, protocol::kStreamFlagAudio, audioRecord_));
  Bytes tooBig = Record(protocol::StreamKind::kVideo, 65535 - 78 - 60 + 1);
  EXPECT_FALSE(mux_.RegisterStream(&video_, protocol::kStreamFlagVideo, tooBig));
  EXPECT_TRUE(mux_.RegisterStream(&video_, protocol::kStreamFlagVideo, big));
  SendAt(100000);
  EXPECT_EQ(WordAt(sink_.messages.at(0).body, 0), 0x0A03FFFFu);
  EXPECT_EQ(sink_.messages.at(0).body.size(), 4u + 0xFFFF);
}

TEST_F(StreamMultiplexerTest, RefusesARecordShorterThanItsFixedPart) {
  Bytes shortRecord(59);
  EXPECT_FALSE(mux_.RegisterStream(&video_, protocol::kStreamFlagVideo, shortRecord));
  EXPECT_EQ(mux_.StreamCount(), 0u);
}

TEST_F(StreamMultiplexerTest, DropsMessagesLongerThanTheLongestSample) {
  mux_.RegisterStream(&video_, protocol::kStreamFlagVideo, videoRecord_);
  const Bytes data(protocol::kMaxSampleData, 0x5A);
  const Bytes head(protocol::kSampleMessageOverhead + 1);
  const Buffer tooLong[2] = {protocol::MakeBuffer(head.data(), head.size()),
                             protocol::MakeBuffer(data.data(), data.size())};
  EXPECT_EQ(mux_.Send(1, tooLong), 0);
  EXPECT_EQ(mux_.Stats().droppedOversized, 1u);
  EXPECT_TRUE(sink_.messages.empty());

  const Buffer longest[2] = {protocol::MakeBuffer(head.data(), head.size() - 1), tooLong[1]};
  EXPECT_EQ(mux_.Send(1, longest), 1);
  ASSERT_EQ(sink_.messages.size(), 2u);  // the description, then the sample
  EXPECT_EQ(sink_.messages[1].body.size(),
            protocol::kSampleMessageOverhead + protocol::kMaxSampleData);
  EXPECT_EQ(mux_.Stats().messages, 1u);
}

// Two streaming threads send at once: each message's datagrams stay together and message
// numbers rise by one in the order the datagrams leave.
TEST(StreamMultiplexerThreadsTest, MessagesOfTwoThreadsNeverInterleave) {
  class OrderSink : public protocol::PacketSink {
   public:
    int Send(std::uint32_t, BufferList buffers) override {
      const std::uint32_t number = protocol::LoadU32(buffers[0].data);
      const std::uint32_t word = protocol::LoadU32(buffers[0].data + 4);
      if ((word & protocol::kFragmentIndexMask) != expectedIndex || number != expectedNumber) {
        ++faults;
      }
      expectedIndex = (word & protocol::kFragmentIndexMask) + 1;
      if ((word & protocol::kLastFragmentFlag) != 0) {
        ++expectedNumber;
        expectedIndex = 0;
      }
      return 1;
    }
    std::uint32_t expectedNumber = 0;
    std::uint32_t expectedIndex = 0;
    int faults = 0;
  } sink;
  FakeClock clock(0);
  StreamMultiplexer mux(clock);
  mux.AddRoute(protocol::kRouteKeyMedia, &sink);
  FakeGrabber g1(1), g2(2);
  Bytes r1 = Record(protocol::StreamKind::kVideo, 10),
        r2 = Record(protocol::StreamKind::kAudio, 10);
  mux.RegisterStream(&g1, protocol::kStreamFlagVideo, r1);
  mux.RegisterStream(&g2, protocol::kStreamFlagAudio, r2);

  constexpr int kPerThread = 300;
  auto stream = [&](std::size_t size) {
    const Bytes body = Pattern(size);
    const Buffer b = protocol::MakeBuffer(body.data(), body.size());
    for (int i = 0; i < kPerThread; ++i) {
      mux.Send(1, {&b, 1});
      if (i % 50 == 0) clock.now += 1000;
    }
  };
  std::thread a(stream, 5000), b(stream, 1500);
  a.join();
  b.join();
  EXPECT_EQ(sink.faults, 0);
  const auto stats = mux.Stats();
  EXPECT_EQ(stats.messages, 2u * kPerThread);
  EXPECT_EQ(sink.expectedNumber, stats.messages + stats.descriptions);
}

}  // namespace
}  // namespace vantorel::sender
