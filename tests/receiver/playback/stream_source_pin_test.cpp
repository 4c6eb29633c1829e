#include "platform/media/stream_source_pin.h"

#include <gst/app/gstappsink.h>
#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "platform/media/gst_ptr.h"
#include "tests/receiver/playback/message_builders.h"

namespace vantorel::media {
namespace {

using protocol::StreamKind;
using testing::Body;

constexpr std::int64_t kClock = 50'000'000;  // the description's clock time, 100 ns units
constexpr std::int64_t kDelay = 1'000'000;   // 100 ms
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
    } else if (GST_EVENT_TYPE(e) == GST_EVENT_FLUSH_START || GST_EVENT_TYPE(e) == GST_EVENT_SEGMENT) {
      seen->Add(GST_EVENT_TYPE_NAME(e));
    }
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
    sink_ = gst_element_factory_make("appsink", nullptr);
    g_object_set(sink_, "sync", FALSE, "max-buffers", 0u, nullptr);
    gst_bin_add_many(GST_BIN(pipeline_.get()), source_.get(), sink_, nullptr);
    ASSERT_TRUE(gst_element_link(source_.get(), sink_));
    PadPtr pad(gst_element_get_static_pad(sink_, "sink"));
    gst_pad_add_probe(pad.get(),
                      static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER |
                                                   GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM |
                                                   GST_PAD_PROBE_TYPE_EVENT_FLUSH),
                      &Observe, &seen_, nullptr);
  }
  void TearDown() override {
    if (pipeline_) {
      pins_->ClearQueues();
      gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
    }
  }
  void Play() { gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING); }
  void Push(const Body& body) { pins_->Pin(0).Queue().Push(body); }
  SamplePtr Pull() {
    return SamplePtr(gst_app_sink_try_pull_sample(GST_APP_SINK(sink_), 5 * GST_SECOND));
  }

  std::unique_ptr<receiver::SourcePins> pins_;
  ElementPtr pipeline_;
  ElementPtr source_;
  GstElement* sink_ = nullptr;  // owned by the pipeline
  Seen seen_;
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
  Push(testing::Sample({StreamKind::kAudio, protocol::kSampleTimeValid | protocol::kSampleStopValid |
                                                protocol::kSampleSplicePoint,
                        kClock + 200'000, kClock + 300'000, 64}));
  Push(testing::Sample({StreamKind::kAudio, protocol::kSampleTimeValid, kClock + 300'000, 0, 32}));
  Push(testing::Sample({StreamKind::kAudio, 0, 0, 0, 16}));

  SamplePtr first = Pull();
  ASSERT_TRUE(first);
  GstBuffer* b = gst_sample_get_buffer(first.get());
  EXPECT_EQ(GST_BUFFER_PTS(b), static_cast<GstClockTime>(200'000 + kDelay) * 100);
  EXPECT_EQ(GST_BUFFER_DURATION(b), 10 * GST_MSECOND);
  EXPECT_TRUE(GST_BUFFER_FLAG_IS_SET(b, GST_BUFFER_FLAG_DISCONT));
  EXPECT_FALSE(GST_BUFFER_FLAG_IS_SET(b, GST_BUFFER_FLAG_DELTA_UNIT));
  ASSERT_EQ(gst_buffer_get_size(b), 64u);
  EXPECT_EQ(gst_buffer_memcmp(b, 0, std::vector<std::uint8_t>(64, 0x5A).data(), 64), 0);

  SamplePtr second = Pull();
  ASSERT_TRUE(second);
  b = gst_sample_get_buffer(second.get());
  EXPECT_EQ(GST_BUFFER_PTS(b), static_cast<GstClockTime>(300'000 + kDelay) * 100);
  EXPECT_FALSE(GST_BUFFER_DURATION_IS_VALID(b));
  EXPECT_FALSE(GST_BUFFER_FLAG_IS_SET(b, GST_BUFFER_FLAG_DISCONT));
  EXPECT_TRUE(GST_BUFFER_FLAG_IS_SET(b, GST_BUFFER_FLAG_DELTA_UNIT));

  SamplePtr third = Pull();
  ASSERT_TRUE(third);
  EXPECT_FALSE(GST_BUFFER_PTS_IS_VALID(gst_sample_get_buffer(third.get())));
}

TEST_F(StreamSourcePinTest, ASegmentStartFlushesWithoutResettingTimeAndResendsTheSegment) {
  Play();
  Push(testing::AudioSample());
  ASSERT_TRUE(Pull());
  Push(testing::Segment(StreamKind::kAudio));
  Push(testing::AudioSample());
  SamplePtr after = Pull();
  ASSERT_TRUE(after);
  EXPECT_TRUE(GST_BUFFER_FLAG_IS_SET(gst_sample_get_buffer(after.get()), GST_BUFFER_FLAG_DISCONT));
  const std::vector<std::string> seen = seen_.Take();
  const std::vector<std::string> tail(seen.end() - 4, seen.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"flush-start", "flush-stop", "segment", "buffer"}));
}

TEST_F(StreamSourcePinTest, AMalformedSampleEndsTheStreamAndDisconnectsThePin) {
  Play();
  Body bad = testing::AudioSample();
  testing::PutWord(bad, 44, 0x0F000008);  // a video data block in an audio sample
  Push(bad);
  for (int i = 0; i < 500 && !gst_app_sink_is_eos(GST_APP_SINK(sink_)); ++i) g_usleep(10'000);
  EXPECT_TRUE(gst_app_sink_is_eos(GST_APP_SINK(sink_)));
  EXPECT_FALSE(pins_->Pin(0).Connected());
}

TEST_F(StreamSourcePinTest, StoppingWhileBlockedInTheQueueReturnsAndDropsWhatWaits) {
  Play();
  Push(testing::AudioSample());
  ASSERT_TRUE(Pull());
  // The streaming thread now waits in Pop; going to NULL unlocks it.
  gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
  EXPECT_TRUE(pins_->Pin(0).Queue().Stopped());
  EXPECT_FALSE(pins_->Pin(0).Queue().Push(testing::AudioSample()));
}

TEST(ClockTimeTest, WireTimesBecomeNanosecondsAndNegativeOnesNone) {
  EXPECT_EQ(ClockTimeFrom100ns(0), 0u);
  EXPECT_EQ(ClockTimeFrom100ns(12345), 1234500u);
  EXPECT_EQ(ClockTimeFrom100ns(-1), GST_CLOCK_TIME_NONE);
}

}  // namespace
}  // namespace vantorel::media
