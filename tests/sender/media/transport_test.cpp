// Transport control and outputs on a real graph: end of stream, seeking, decoding outputs.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/media/video_output.h"
#include "sender/sender_session.h"
#include "tests/sender/media/media_test_support.h"

namespace vantorel::sender {
namespace {

using namespace std::chrono_literals;

bool WaitForCompletion(SenderSession& session, testing::EventWindow& window) {
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  while (std::chrono::steady_clock::now() < deadline) {
    if (!window.WaitForPost(500ms)) continue;
    session.HandleGraphEvents();
    if (session.EventCounts().completes > 0) return true;
  }
  return false;
}

class TransportTest : public ::testing::Test {
 protected:
  testing::MessageCapture capture;
  testing::EventWindow window;
  SenderSession session{0, &capture, {media::OutputMode::kNullSinks, nullptr}};
};

TEST_F(TransportTest, EndOfStreamStopsJustBeforeTheEndAndPlayRestarts) {
  ASSERT_EQ(session.Open(&window, testing::TestMediaPath("mpeg1-av.mpg")), S_OK);
  ASSERT_EQ(session.Seek(2.0), S_OK);
  ASSERT_EQ(session.Play(), S_OK);
  ASSERT_TRUE(WaitForCompletion(session, window));
  EXPECT_EQ(session.State(), PlayerState::kStopped);
  EXPECT_GT(session.Position(), session.Duration() - GraphPlayer::kRestartMargin);
  ASSERT_EQ(session.Play(), S_OK);
  EXPECT_EQ(session.State(), PlayerState::kRunning);
  EXPECT_LT(session.Position(), 0.3);
}

TEST_F(TransportTest, SeekToTheDurationIsIgnoredAndStopFromPauseRewinds) {
  ASSERT_EQ(session.Open(&window, testing::TestMediaPath("mjpeg-pcm.avi")), S_OK);
  ASSERT_EQ(session.Seek(1.5), S_OK);
  EXPECT_NEAR(session.Position(), 1.5, 0.05);
  EXPECT_EQ(session.Seek(session.Duration()), S_OK);
  EXPECT_NEAR(session.Position(), 1.5, 0.05);
  session.Play();
  std::this_thread::sleep_for(300ms);
  ASSERT_EQ(session.Pause(), S_OK);
  EXPECT_EQ(session.State(), PlayerState::kPaused);
  EXPECT_GT(session.Position(), 1.6);
  ASSERT_EQ(session.Stop(), S_OK);
  EXPECT_EQ(session.State(), PlayerState::kStopped);
  EXPECT_LT(session.Position(), 0.05);
}

// Counts segment starts per stream between two points of the message sequence.
std::pair<std::size_t, std::size_t> SegmentStartsFrom(const std::vector<testing::Bytes>& m,
                                                      std::size_t from) {
  std::pair<std::size_t, std::size_t> counts{0, 0};
  for (std::size_t i = from; i < m.size(); ++i) {
    if (auto s = protocol::ParseSegmentStart(m[i])) {
      (s->stream == protocol::StreamKind::kVideo ? counts.first : counts.second)++;
    }
  }
  return counts;
}

TEST_F(TransportTest, SeekWhilePlayingSendsSegmentStartsThenLaterSamples) {
  ASSERT_EQ(session.Open(&window, testing::TestMediaPath("mjpeg-pcm.avi")), S_OK);
  session.Play();
  std::this_thread::sleep_for(400ms);
  const std::size_t before = capture.Messages().size();
  ASSERT_EQ(session.Seek(2.0), S_OK);
  std::this_thread::sleep_for(300ms);
  session.Close();
  const auto messages = capture.Messages();
  const auto [video, audio] = SegmentStartsFrom(messages, before);
  EXPECT_GE(video, 1u);
  EXPECT_GE(audio, 1u);
  // The samples after the new segment start near 0 in the segment: times are the segment's
  // running time plus the clock read at the segment start.
  std::optional<protocol::SegmentStart> segment;
  for (std::size_t i = before; i < messages.size(); ++i) {
    if (auto s = protocol::ParseSegmentStart(messages[i])) {
      if (s->stream == protocol::StreamKind::kVideo) segment = s;
      continue;
    }
    auto sample = protocol::ParseSampleMessage(messages[i]);
    if (!segment || !sample || sample->stream != protocol::StreamKind::kVideo) continue;
    ASSERT_NE(sample->properties.sampleFlags & protocol::kSampleTimeValid, 0u);
    EXPECT_GE(sample->properties.start, segment->clockTime);
    EXPECT_LT(sample->properties.start, segment->clockTime + 5'000'000);  // within 0.5 s
    break;
  }
  EXPECT_TRUE(segment.has_value());
}

// Keeps the size of the frames it is handed; called on the video streaming thread.
class FrameCounter : public media::VideoFrameSink {
 public:
  void OnVideoFrame(std::unique_ptr<media::VideoFrame> frame) override {
    width.store(frame->Width());
    height.store(frame->Height());
    stride.store(frame->Stride());
    frames.fetch_add(1);
  }
  std::atomic<int> frames{0};
  std::atomic<int> width{0};
  std::atomic<int> height{0};
  std::atomic<int> stride{0};
};

TEST(DecodingOutputs, VideoFramesReachTheFrameSinkAndAudioPlaysWithOrWithoutDevice) {
  testing::MessageCapture capture;
  testing::EventWindow window;
  FrameCounter frames;
  SenderSession session(0, &capture, {media::OutputMode::kPlay, &frames});
  ASSERT_EQ(session.Open(&window, testing::TestMediaPath("mpeg4-pcm.avi")), S_OK);
  EXPECT_TRUE(session.IsStreaming());
  session.Play();
  ASSERT_TRUE(WaitForCompletion(session, window));
  EXPECT_GT(frames.frames.load(), 50);
  EXPECT_EQ(frames.width.load(), 320);
  EXPECT_EQ(frames.height.load(), 240);
  EXPECT_GE(frames.stride.load(), 320 * 4);
  EXPECT_EQ(session.EventCounts().errors, 0u);
}

}  // namespace
}  // namespace vantorel::sender
