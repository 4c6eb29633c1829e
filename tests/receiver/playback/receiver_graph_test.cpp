// The receiver's graph on GStreamer, fed by hand-made PCM streams: which pins are rendered,
// what happens to a stream no decoder takes, and that stopping never waits on a pin that never
// streamed.
#include "receiver/gst/receiver_playback_graph.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "protocol/byte_io.h"
#include "tests/platform/media/live_objects.h"
#include "tests/receiver/playback/message_builders.h"

namespace vantorel::receiver::gst {
namespace {

// The media layer's pointers, outputs and logging, as the graph under test uses them.
using namespace media;

using protocol::StreamKind;
using namespace std::chrono_literals;

const bool kLeaksTracerRequested = testing::RequestLeaksTracer();

constexpr std::int64_t kClock = 10'000'000;
constexpr std::int64_t kTenMs = 100'000;  // 100 ns units

// 44.1 kHz stereo 16-bit PCM as a wave format block.
protocol::FormatRecord PcmRecord(std::uint8_t session = 0, StreamKind kind = StreamKind::kAudio) {
  protocol::FormatRecord r = testing::Record(kind, session, kClock);
  r.subtype = protocol::GuidFromFourcc(0x0001);
  r.majorCode = 3;
  r.formatCode = 5;
  r.mediaFlags = protocol::kMediaFlagFixedSizeSamples;
  r.sampleSize = 4;
  r.formatBlock.assign(18, 0);
  std::uint8_t* b = r.formatBlock.data();
  b[0] = 1;  // wFormatTag
  b[2] = 2;  // nChannels
  protocol::StoreU32(b + 4, 44100);
  protocol::StoreU32(b + 8, 44100 * 4);
  b[12] = 4;   // nBlockAlign
  b[14] = 16;  // wBitsPerSample
  return r;
}

// A video stream of a type that nothing decodes.
protocol::FormatRecord UnknownVideoRecord() {
  protocol::FormatRecord r = testing::Record(StreamKind::kVideo, 0, kClock);
  r.subtype = protocol::GuidFromFourcc(0x5A5A5A5A);
  r.formatCode = protocol::kOtherCode;
  return r;
}

testing::Body PcmSample(int index, StreamKind kind = StreamKind::kAudio) {
  const std::int64_t start = kClock + index * kTenMs;
  return testing::Sample(
      {kind, protocol::kSampleTimeValid | protocol::kSampleStopValid | protocol::kSampleSplicePoint,
       start, start + kTenMs, 1764});
}

class Counter : public DecodeObserver {
 public:
  void OnDecoded(std::size_t pin, bool, GstClockTime, GstClockTime, GstClockTime) override {
    if (pin == 0) decoded.fetch_add(1);
  }
  std::atomic<int> decoded{0};
};

class ReceiverGraphTest : public ::testing::Test {
 protected:
  void SetUp() override { gst_init(nullptr, nullptr); }
  std::unique_ptr<receiver::SourcePins> Pins(std::vector<protocol::FormatRecord> records) {
    return receiver::SourcePins::Make(
        protocol::StreamDescription{testing::FlagsFor(records), std::move(records)}, 0);
  }
  bool WaitDecoded(int n) {
    for (int i = 0; i < 500 && counter_.decoded.load() < n; ++i) std::this_thread::sleep_for(10ms);
    return counter_.decoded.load() >= n;
  }

  Counter counter_;
  GstPlaybackGraphBuilder builder_{
      ReceiverGraphOptions{ReceiverOutput::kNullSinks, nullptr, &counter_}};
};

TEST_F(ReceiverGraphTest, ThreeStreamsGiveThreePinsOfWhichTheFirstTwoAreRendered) {
  auto pins = Pins({PcmRecord(), PcmRecord(), PcmRecord()});
  ASSERT_TRUE(pins);
  auto graph = builder_.Build(*pins);
  ASSERT_TRUE(graph);
  EXPECT_TRUE(pins->Pin(0).Connected());
  EXPECT_TRUE(pins->Pin(1).Connected());
  EXPECT_FALSE(pins->Pin(2).Connected());
  graph->Run(receiver::RenderedGraph::Clock::now());
  for (int i = 0; i < 20; ++i) pins->Pin(0).Queue().Push(PcmSample(i));
  EXPECT_TRUE(WaitDecoded(20));
  // Pin 1 is waiting in its queue and pin 2 never started: stopping must return anyway.
  pins->ClearQueues();
  graph->Stop();
  const auto stats = graph->OutputStats();
  ASSERT_EQ(stats.size(), 3u);
  EXPECT_TRUE(stats[0].rendered);
  EXPECT_TRUE(stats[1].rendered);
  EXPECT_FALSE(stats[2].rendered);
  EXPECT_EQ(stats[0].decoded, 20u);
  EXPECT_EQ(stats[0].late, 0u);
  EXPECT_NE(stats[0].caps.find("audio/x-raw"), std::string::npos);
}

TEST_F(ReceiverGraphTest, AStreamNoDecoderTakesIsNotConnectedAndItsPacketsAreDroppedAtRouting) {
  receiver::PlaybackGraph playback(builder_, receiver::VideoRect{}, 0);
  const testing::Body description = testing::Description({UnknownVideoRecord(), PcmRecord()});
  auto send = [&](const testing::Body& body) {
    const protocol::Buffer b = protocol::MakeBuffer(body.data(), body.size());
    playback.Send(protocol::kChannelMessage, {&b, 1});
  };
  send(description);
  ASSERT_TRUE(playback.HasGraph());
  for (int i = 0; i < 5; ++i) send(testing::VideoSample(protocol::kSampleSplicePoint));
  EXPECT_EQ(playback.Stats().unconnected, 5u);
  EXPECT_EQ(playback.Pins()->Pin(0).Queue().Stats().pushed, 0u);
  playback.CloseGraph();
  ASSERT_EQ(playback.Reports().size(), 2u);
  EXPECT_FALSE(playback.Reports()[0].output.rendered);
  EXPECT_EQ(playback.Reports()[0].droppedUnconnected, 5u);
  EXPECT_TRUE(playback.Reports()[1].output.rendered);
}

// A peer may describe a third stream kind: rendered as pin 1, its samples (kinds 34 to 36)
// play beside the audio.
TEST_F(ReceiverGraphTest, AThirdKindStreamBesideAudioPlays) {
  receiver::PlaybackGraph playback(builder_, receiver::VideoRect{}, 0);
  auto send = [&](const testing::Body& body) {
    const protocol::Buffer b = protocol::MakeBuffer(body.data(), body.size());
    playback.Send(protocol::kChannelMessage, {&b, 1});
  };
  send(testing::Description({PcmRecord(), PcmRecord(0, StreamKind::kThird)}));
  ASSERT_TRUE(playback.HasGraph());
  for (int i = 0; i < 20; ++i) {
    send(PcmSample(i));
    send(PcmSample(i, StreamKind::kThird));
  }
  EXPECT_TRUE(WaitDecoded(20));
  for (int i = 0; i < 500 && playback.Pins()->Pin(1).Queue().Stats().depth > 0; ++i) {
    std::this_thread::sleep_for(10ms);
  }
  std::this_thread::sleep_for(100ms);
  playback.CloseGraph();
  ASSERT_EQ(playback.Reports().size(), 2u);
  EXPECT_EQ(playback.Reports()[0].output.decoded, 20u);
  EXPECT_TRUE(playback.Reports()[1].output.rendered);
  EXPECT_EQ(playback.Reports()[1].output.decoded, 20u);
}

// Each new session number rebuilds the graph; a graph that decoded and was given up leaves no
// element, pad, bus, message or buffer behind.
TEST_F(ReceiverGraphTest, RebuildsLeaveNothingAlive) {
  ASSERT_TRUE(kLeaksTracerRequested);
  testing::LiveObjects live;
  if (!live.Active()) GTEST_SKIP() << "GStreamer started before the leaks tracer was named";
  receiver::PlaybackGraph playback(builder_, receiver::VideoRect{}, 0);
  auto send = [&](const testing::Body& body) {
    const protocol::Buffer b = protocol::MakeBuffer(body.data(), body.size());
    playback.Send(protocol::kChannelMessage, {&b, 1});
  };
  auto broadcast = [&](std::uint8_t session) {
    send(testing::Description({PcmRecord(session)}));
    const int before = counter_.decoded.load();
    for (int i = 0; i < 3; ++i) send(PcmSample(i));
    EXPECT_TRUE(WaitDecoded(before + 3));
  };
  broadcast(0);
  playback.CloseGraph();
  live.Start();
  constexpr int kRebuilds = 40;
  for (int i = 1; i <= kRebuilds; ++i) broadcast(static_cast<std::uint8_t>(i));
  playback.CloseGraph();
  EXPECT_EQ(playback.Stats().builds, kRebuilds + 1u);
  EXPECT_EQ(live.Grown(), "");
}

TEST_F(ReceiverGraphTest, AGraphThatNeverRanIsTornDownAtOnce) {
  auto pins = Pins({PcmRecord(), UnknownVideoRecord()});
  ASSERT_TRUE(pins);
  auto graph = builder_.Build(*pins);
  ASSERT_TRUE(graph);
  pins->ClearQueues();
  graph.reset();
  SUCCEED();
}

}  // namespace
}  // namespace vantorel::receiver::gst
