#include "receiver/gst/stream_source_pin.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <limits>
#include <mutex>
#include <vector>

#include "platform/media/gst_ptr.h"
#include "tests/receiver/playback/message_builders.h"

namespace vantorel::receiver::gst {
namespace {

// The media layer's pointers, outputs and logging, as the graph under test uses them.
using namespace media;

struct BufferUnref {
  void operator()(GstBuffer* b) const { gst_buffer_unref(b); }
};
using BufferPtr = std::unique_ptr<GstBuffer, BufferUnref>;

using protocol::StreamKind;
using testing::Body;

constexpr std::int64_t kClock = 50'000'000;  // the description's clock time, 100 ns units
constexpr std::int64_t kDelay = 1'000'000;   // 100 ms
constexpr std::int64_t kMinTime = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kMaxTime = std::numeric_limits<std::int64_t>::max();
constexpr const char* kCaps = "audio/x-raw,format=S16LE,rate=8000,channels=1,layout=interleaved";

// Events and buffers as they reach the sink pad, in order; written on the streaming thread.
struct Seen {
  std::mutex lock;
  std::vector<std::string> items;
  void Add(std::string s) {
    std::lock_guard guard(lock);
    items.push_back(std::move(s));
  }
  std::vector<std::string> Take() {
    std::lock_guard guard(lock);
    return items;
  }
};

GstPadProbeReturn Observe(GstPad*, GstPadProbeInfo* info, gpointer data) {
  auto* seen = static_cast<Seen*>(data);
  if ((info->type & GST_PAD_PROBE_TYPE_BUFFER) != 0) {
    seen->Add("buffer");
  } else if (GstEvent* e = GST_PAD_PROBE_INFO_EVENT(info)) {
    if (GST_EVENT_TYPE(e) == GST_EVENT_FLUSH_STOP) {
      gboolean reset = TRUE;
      gst_event_parse_flush_stop(e, &reset);
      seen->Add(reset ? "flush-stop reset" : "flush-stop");
    } else if (GST_EVENT_TYPE(e) == GST_EVENT_FLUSH_START ||
               GST_EVENT_TYPE(e) == GST_EVENT_SEGMENT) {
      seen->Add(GST_EVENT_TYPE_NAME(e));
    }
  }
  return GST_PAD_PROBE_OK;
}

// What reaches the sink: buffers in order, and whether the stream ended. Written on the
// streaming thread, read by the test.
struct Received {
  std::mutex lock;
  std::condition_variable ready;
  std::deque<BufferPtr> buffers;
  bool eos = false;
};

// fakesink's handoff: on the streaming thread.
void OnHandoff(GstElement*, GstBuffer* buffer, GstPad*, gpointer data) {
  auto* received = static_cast<Received*>(data);
  {
    std::lock_guard guard(received->lock);
    received->buffers.emplace_back(gst_buffer_ref(buffer));
  }
  received->ready.notify_all();
}

// End of stream reaching the sink: on the streaming thread.
GstPadProbeReturn OnEos(GstPad*, GstPadProbeInfo* info, gpointer data) {
  if (GST_EVENT_TYPE(GST_PAD_PROBE_INFO_EVENT(info)) == GST_EVENT_EOS) {
    auto* received = static_cast<Received*>(data);
    {
      std::lock_guard guard(received->lock);
      received->eos = true;
    }
    received->ready.notify_all();
  }
  return GST_PAD_PROBE_OK;
}

class StreamSourcePinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gst_init(nullptr, nullptr);
    pins_ = receiver::SourcePins::Make(
        protocol::StreamDescription{2, {testing::Record(StreamKind::kAudio, 0, kClock)}}, kDelay);
    ASSERT_TRUE(pins_);
    pins_->Pin(0).SetConnected(true);
    CapsPtr caps(gst_caps_from_string(kCaps));
    pipeline_.reset(gst_pipeline_new(nullptr));
    gst_object_ref_sink(pipeline_.get());
    source_.reset(MakeStreamSourcePin(pins_->Pin(0), caps.get(), "PinSource"));
    ASSERT_TRUE(source_);
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    g_object_set(sink, "sync", FALSE, "signal-handoffs", TRUE, nullptr);
    g_signal_connect(sink, "handoff", G_CALLBACK(&OnHandoff), &received_);
    gst_bin_add_many(GST_BIN(pipeline_.get()), source_.get(), sink, nullptr);
    ASSERT_TRUE(gst_element_link(source_.get(), sink));
    PadPtr pad(gst_element_get_static_pad(sink, "sink"));
    gst_pad_add_probe(pad.get(),
                      static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER |
                                                   GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM |
                                                   GST_PAD_PROBE_TYPE_EVENT_FLUSH),
                      &Observe, &seen_, nullptr);
    gst_pad_add_probe(pad.get(), GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, &OnEos, &received_, nullptr);
  }
  void TearDown() override {
    if (pipeline_) {
      pins_->ClearQueues();
      gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
    }
  }
  void Play() { gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING); }
  void Push(const Body& body) { pins_->Pin(0).Queue().Push(body); }
  BufferPtr Pull() {
    std::unique_lock guard(received_.lock);
    if (!received_.ready.wait_for(guard, std::chrono::seconds(5),
                                  [this] { return !received_.buffers.empty(); })) {
      return nullptr;
    }
    BufferPtr b = std::move(received_.buffers.front());
    received_.buffers.pop_front();
    return b;
  }
  bool WaitEos() {
    std::unique_lock guard(received_.lock);
    return received_.ready.wait_for(guard, std::chrono::seconds(5),
                                    [this] { return received_.eos; });
  }

  std::unique_ptr<receiver::SourcePins> pins_;
  ElementPtr pipeline_;
  ElementPtr source_;
  Seen seen_;
  Received received_;
};

TEST_F(StreamSourcePinTest, OffersExactlyItsOwnCaps) {
  PadPtr pad(gst_element_get_static_pad(source_.get(), "src"));
  CapsPtr offered(gst_pad_query_caps(pad.get(), nullptr));
  CapsPtr own(gst_caps_from_string(kCaps));
  EXPECT_TRUE(gst_caps_is_equal(offered.get(), own.get()));
  CapsPtr other(gst_caps_from_string("audio/x-raw,format=S16LE,rate=16000,channels=1"));
  CapsPtr filtered(gst_pad_query_caps(pad.get(), other.get()));
  EXPECT_TRUE(gst_caps_is_empty(filtered.get()));
}

TEST_F(StreamSourcePinTest, SamplesCarryTheirBytesRebasedTimesAndFlags) {
  Play();
  Push(testing::Sample(
      {StreamKind::kAudio,
       protocol::kSampleTimeValid | protocol::kSampleStopValid | protocol::kSampleSplicePoint,
       kClock + 200'000, kClock + 300'000, 64}));
  Push(testing::Sample({StreamKind::kAudio, protocol::kSampleTimeValid, kClock + 300'000, 0, 32}));
  Push(testing::Sample({StreamKind::kAudio, 0, 0, 0, 16}));
  // Times that move onto stream time but lie too far apart for a duration, the start before zero.
  Push(testing::Sample({StreamKind::kAudio, protocol::kSampleTimeValid | protocol::kSampleStopValid,
                        kMinTime + kClock, kMaxTime, 8}));

  BufferPtr first = Pull();
  ASSERT_TRUE(first);
  GstBuffer* b = first.get();
  EXPECT_EQ(GST_BUFFER_PTS(b), static_cast<GstClockTime>(200'000 + kDelay) * 100);
  EXPECT_EQ(GST_BUFFER_DURATION(b), 10 * GST_MSECOND);
  EXPECT_TRUE(GST_BUFFER_FLAG_IS_SET(b, GST_BUFFER_FLAG_DISCONT));
  EXPECT_FALSE(GST_BUFFER_FLAG_IS_SET(b, GST_BUFFER_FLAG_DELTA_UNIT));
  ASSERT_EQ(gst_buffer_get_size(b), 64u);
  EXPECT_EQ(gst_buffer_memcmp(b, 0, std::vector<std::uint8_t>(64, 0x5A).data(), 64), 0);

  BufferPtr second = Pull();
  ASSERT_TRUE(second);
  b = second.get();
  EXPECT_EQ(GST_BUFFER_PTS(b), static_cast<GstClockTime>(300'000 + kDelay) * 100);
  EXPECT_FALSE(GST_BUFFER_DURATION_IS_VALID(b));
  EXPECT_FALSE(GST_BUFFER_FLAG_IS_SET(b, GST_BUFFER_FLAG_DISCONT));
  EXPECT_TRUE(GST_BUFFER_FLAG_IS_SET(b, GST_BUFFER_FLAG_DELTA_UNIT));

  BufferPtr third = Pull();
  ASSERT_TRUE(third);
  EXPECT_FALSE(GST_BUFFER_PTS_IS_VALID(third.get()));

  BufferPtr fourth = Pull();
  ASSERT_TRUE(fourth);
  EXPECT_FALSE(GST_BUFFER_PTS_IS_VALID(fourth.get()));
  EXPECT_FALSE(GST_BUFFER_DURATION_IS_VALID(fourth.get()));
}

TEST_F(StreamSourcePinTest, ASegmentStartFlushesWithoutResettingTimeAndResendsTheSegment) {
  Play();
  Push(testing::AudioSample());
  ASSERT_TRUE(Pull());
  Push(testing::Segment(StreamKind::kAudio));
  Push(testing::AudioSample());
  BufferPtr after = Pull();
  ASSERT_TRUE(after);
  EXPECT_TRUE(GST_BUFFER_FLAG_IS_SET(after.get(), GST_BUFFER_FLAG_DISCONT));
  const std::vector<std::string> seen = seen_.Take();
  const std::vector<std::string> tail(seen.end() - 4, seen.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"flush-start", "flush-stop", "segment", "buffer"}));
}

TEST_F(StreamSourcePinTest, AMalformedSampleEndsTheStreamAndDisconnectsThePin) {
  Play();
  Body bad = testing::AudioSample();
  testing::PutWord(bad, 44, 0x0F000008);  // a video data block in an audio sample
  Push(bad);
  EXPECT_TRUE(WaitEos());
  EXPECT_FALSE(pins_->Pin(0).Connected());
}

// A state change wakes the streaming thread out of its queue without ending the stream: what
// arrives meanwhile plays once the pin runs again.
TEST_F(StreamSourcePinTest, StoppingWhileBlockedInTheQueueReturnsAndTheStreamGoesOn) {
  Play();
  Push(testing::AudioSample());
  ASSERT_TRUE(Pull());
  // The streaming thread now waits in Pop; going to NULL unlocks it.
  gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
  EXPECT_FALSE(pins_->Pin(0).Queue().Stopped());
  Push(testing::AudioSample());
  Play();
  EXPECT_TRUE(Pull());
}

TEST(ClockTimeTest, WireTimesBecomeNanosecondsAndNegativeOnesNone) {
  EXPECT_EQ(ClockTimeFrom100ns(0), 0u);
  EXPECT_EQ(ClockTimeFrom100ns(12345), 1234500u);
  EXPECT_EQ(ClockTimeFrom100ns(-1), GST_CLOCK_TIME_NONE);
  EXPECT_EQ(ClockTimeFrom100ns(kMaxTime), GST_CLOCK_TIME_NONE);
  EXPECT_EQ(DurationFrom100ns(100, 400), 30000u);
  EXPECT_EQ(DurationFrom100ns(-100, 400), 50000u);
  EXPECT_EQ(DurationFrom100ns(400, 400), GST_CLOCK_TIME_NONE);
  EXPECT_EQ(DurationFrom100ns(kMinTime, kMaxTime), GST_CLOCK_TIME_NONE);
  EXPECT_EQ(DurationFrom100ns(kMaxTime, kMinTime), GST_CLOCK_TIME_NONE);
}

}  // namespace
}  // namespace vantorel::receiver::gst
