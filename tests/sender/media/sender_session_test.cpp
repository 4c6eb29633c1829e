// Whole sender sessions on generated media: what each file broadcasts, captured in the process.
#include "sender/sender_session.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <optional>
#include <ostream>
#include <thread>

#include "protocol/media_codes.h"
#include "tests/platform/media/live_objects.h"
#include "tests/sender/media/media_test_support.h"

namespace vantorel::sender {
namespace {

using namespace std::chrono_literals;
using protocol::Guid;
using protocol::GuidFromFourcc;
using testing::BroadcastLog;
using testing::Bytes;
using testing::StreamLog;

const bool kLeaksTracerRequested = testing::RequestLeaksTracer();

constexpr std::uint8_t kSession = 7;
constexpr Guid kMpeg1Payload{
    0xE436EB81, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
constexpr std::uint32_t kWaveMpegAudio = 0x50;
constexpr std::uint32_t kWaveMp3 = 0x55;
constexpr std::uint32_t kWavePcm = 0x01;
constexpr std::uint32_t kFourccMjpg = 0x47504A4D;  // 'MJPG'
constexpr std::uint8_t kFormatMpegVideo = 1;
constexpr std::uint8_t kFormatVideoInfo = 3;
constexpr std::uint8_t kFormatWaveFormatEx = 5;

// How the test tells a key frame from the sample's bytes.
enum class KeyFrames { kAll, kMpeg1Pictures, kMpeg4Vops, kUnchecked };

struct ExpectedStream {
  std::optional<Guid> subtype;  // unchecked when the mapping leaves a choice
  std::uint8_t formatCode = 0;
};

struct FileCase {
  const char* file;
  std::optional<ExpectedStream> video;
  std::optional<ExpectedStream> audio;
  KeyFrames keyFrames = KeyFrames::kUnchecked;
  bool videoTimesRise = true;  // false with B-frames, sent in decoding order
};

void PrintTo(const FileCase& c, std::ostream* os) {
  *os << c.file;
}

// Plays until the end of the stream has been handled, collecting events as the window does.
// The file plays in real time: a 3-second file takes at least 2.5 s.
bool PlayToEnd(SenderSession& session, testing::EventWindow& window) {
  const auto start = std::chrono::steady_clock::now();
  session.Play();
  while (std::chrono::steady_clock::now() < start + 60s) {
    if (!window.WaitForPost(500ms)) continue;
    session.HandleGraphEvents();
    if (session.EventCounts().completes == 0) continue;
    EXPECT_GE(std::chrono::steady_clock::now() - start, 2500ms) << "not played in real time";
    return true;
  }
  return false;
}

// The picture coding type of the first picture in the sample: true for intra pictures.
std::optional<bool> IsIntraPicture(const Bytes& d, KeyFrames kind) {
  for (std::size_t i = 0; i + 5 < d.size(); ++i) {
    if (d[i] != 0 || d[i + 1] != 0 || d[i + 2] != 1) continue;
    if (kind == KeyFrames::kMpeg1Pictures && d[i + 3] == 0x00) return ((d[i + 5] >> 3) & 7) == 1;
    if (kind == KeyFrames::kMpeg4Vops && d[i + 3] == 0xB6) return (d[i + 4] >> 6) == 0;
  }
  return std::nullopt;
}

void ExpectSplicePointsOnKeyFrames(const StreamLog& video, KeyFrames kind) {
  std::size_t checked = 0;
  for (std::size_t i = 0; i < video.samples.size(); ++i) {
    const bool splice = (video.samples[i].sampleFlags & protocol::kSampleSplicePoint) != 0;
    if (kind == KeyFrames::kAll) {
      EXPECT_TRUE(splice) << "sample " << i;
      continue;
    }
    if (auto intra = IsIntraPicture(video.data[i], kind)) {
      EXPECT_EQ(splice, *intra) << "sample " << i;
      ++checked;
    }
  }
  if (kind == KeyFrames::kMpeg1Pictures || kind == KeyFrames::kMpeg4Vops) {
    EXPECT_GT(checked, video.samples.size() / 2);
  }
}

void ExpectWellFormedSamples(const StreamLog& stream, bool timesRise, const char* what) {
  std::optional<std::int64_t> last;
  for (std::size_t i = 0; i < stream.samples.size(); ++i) {
    const auto& p = stream.samples[i];
    EXPECT_EQ(static_cast<std::size_t>(p.actualLength), stream.data[i].size()) << what << i;
    EXPECT_GE(p.bufferSize, p.actualLength) << what << i;
    if ((p.sampleFlags & protocol::kSampleStopValid) != 0) {
      EXPECT_NE(p.sampleFlags & protocol::kSampleTimeValid, 0u) << what << i;
      EXPECT_GE(p.stop, p.start) << what << i;
    }
    // A new segment starts its times from the sender's clock at that moment.
    if (std::find(stream.segmentBefore.begin(), stream.segmentBefore.end(), i) !=
        stream.segmentBefore.end()) {
      last.reset();
    }
    if ((p.sampleFlags & protocol::kSampleTimeValid) == 0) continue;
    if (timesRise && last) {
      EXPECT_GT(p.start, *last) << what << i;
    }
    last = p.start;
  }
}

void ExpectRecord(const protocol::StreamDescription& d, protocol::StreamKind kind,
                  const ExpectedStream& expected) {
  const auto it = std::find_if(d.records.begin(), d.records.end(),
                               [kind](const auto& r) { return r.stream == kind; });
  ASSERT_NE(it, d.records.end());
  EXPECT_EQ(it->session, kSession);
  EXPECT_EQ(it->majorCode, kind == protocol::StreamKind::kVideo ? 15 : 3);
  EXPECT_EQ(it->formatCode, expected.formatCode);
  if (expected.subtype) {
    EXPECT_EQ(it->subtype, *expected.subtype) << it->subtype.ToString();
  }
  EXPECT_GT(it->allocator.buffers, 0);
  EXPECT_GT(it->allocator.bufferSize, 0);
  EXPECT_FALSE(it->formatBlock.empty());
}

class SenderSessionFileTest : public ::testing::TestWithParam<FileCase> {
 protected:
  testing::MessageCapture capture;
  testing::EventWindow window;
  SenderSession session{kSession, &capture, {media::OutputMode::kNullSinks, nullptr}};
};

TEST_P(SenderSessionFileTest, OpensPlaysAndBroadcastsEveryStream) {
  const FileCase& c = GetParam();
  ASSERT_EQ(session.Open(&window, testing::TestMediaPath(c.file)), S_OK);
  ASSERT_TRUE(session.IsStreaming());
  ASSERT_TRUE(PlayToEnd(session, window));
  EXPECT_NEAR(session.Duration(), 3.0, 0.2);
  EXPECT_EQ(session.State(), PlayerState::kStopped);
  session.Close();

  const BroadcastLog log = testing::Sort(capture.Messages());
  EXPECT_EQ(log.malformed, 0u);
  EXPECT_EQ(capture.ReassemblyStats().Dropped(), 0u);
  ASSERT_FALSE(log.descriptions.empty());
  EXPECT_EQ(log.firstDescription, 0u);
  const protocol::StreamDescription& first = log.descriptions.front();
  EXPECT_EQ(first.streamFlags, (c.video ? protocol::kStreamFlagVideo : 0) |
                                   (c.audio ? protocol::kStreamFlagAudio : 0));
  EXPECT_EQ(first.records.size(), (c.video ? 1u : 0u) + (c.audio ? 1u : 0u));
  if (c.video) ExpectRecord(first, protocol::StreamKind::kVideo, *c.video);
  if (c.audio) ExpectRecord(first, protocol::StreamKind::kAudio, *c.audio);

  EXPECT_EQ(log.video.samples.empty(), !c.video);
  EXPECT_EQ(log.audio.samples.empty(), !c.audio);
  ExpectWellFormedSamples(log.video, c.videoTimesRise, "video sample ");
  ExpectWellFormedSamples(log.audio, true, "audio sample ");
  if (c.video) ExpectSplicePointsOnKeyFrames(log.video, c.keyFrames);
  if (c.audio) {
    EXPECT_GE(log.audio.segmentStarts, 1u);
  }
}

const ExpectedStream kMpeg1Video{kMpeg1Payload, kFormatMpegVideo};
const ExpectedStream kMpegAudio{GuidFromFourcc(kWaveMpegAudio), kFormatWaveFormatEx};
const ExpectedStream kPcm{GuidFromFourcc(kWavePcm), kFormatWaveFormatEx};

INSTANTIATE_TEST_SUITE_P(
    GeneratedMedia, SenderSessionFileTest,
    ::testing::Values(
        FileCase{"mpeg1-av.mpg", kMpeg1Video, kMpegAudio, KeyFrames::kMpeg1Pictures, false},
        FileCase{"mpeg1-av-no-b.mpg", kMpeg1Video, kMpegAudio, KeyFrames::kMpeg1Pictures, true},
        FileCase{"mjpeg-pcm.avi", ExpectedStream{GuidFromFourcc(kFourccMjpg), kFormatVideoInfo},
                 kPcm, KeyFrames::kAll, true},
        FileCase{"mpeg4-pcm.avi", ExpectedStream{std::nullopt, kFormatVideoInfo}, kPcm,
                 KeyFrames::kMpeg4Vops, true},
        FileCase{"tone.wav", std::nullopt, kPcm}, FileCase{"tone.au", std::nullopt, kPcm},
        FileCase{"tone.mp3", std::nullopt,
                 ExpectedStream{GuidFromFourcc(kWaveMp3), kFormatWaveFormatEx}}),
    [](const auto& info) {
      std::string name = info.param.file;
      for (char& ch : name) {
        if (ch == '-' || ch == '.') ch = '_';
      }
      return name;
    });

// The Windows Media file's header claims an hour (the muxer that writes it cannot seek back to
// fix it), so it is checked while it plays rather than to its end.
TEST(SenderSessionFiles, WindowsMediaIsDescribedAndSent) {
  testing::MessageCapture capture;
  testing::EventWindow window;
  SenderSession session(kSession, &capture, {media::OutputMode::kNullSinks, nullptr});
  ASSERT_EQ(session.Open(&window, testing::TestMediaPath("wmv-wma.wmv")), S_OK);
  ASSERT_TRUE(session.IsStreaming());
  session.Play();
  std::this_thread::sleep_for(1500ms);
  session.Close();
  const BroadcastLog log = testing::Sort(capture.Messages());
  EXPECT_EQ(log.malformed, 0u);
  ASSERT_FALSE(log.descriptions.empty());
  EXPECT_EQ(log.firstDescription, 0u);
  const protocol::StreamDescription& first = log.descriptions.front();
  EXPECT_EQ(first.streamFlags, protocol::kStreamFlagVideo | protocol::kStreamFlagAudio);
  ExpectRecord(first, protocol::StreamKind::kVideo, {std::nullopt, kFormatVideoInfo});
  ExpectRecord(first, protocol::StreamKind::kAudio, {std::nullopt, kFormatWaveFormatEx});
  EXPECT_FALSE(log.video.samples.empty());
  EXPECT_FALSE(log.audio.samples.empty());
  ExpectWellFormedSamples(log.video, true, "video sample ");
  ExpectWellFormedSamples(log.audio, true, "audio sample ");
}

TEST(SenderSessionFiles, RawVideoAviBroadcastsItsAudioOnly) {
  testing::MessageCapture capture;
  testing::EventWindow window;
  SenderSession session(kSession, &capture, {media::OutputMode::kNullSinks, nullptr});
  ASSERT_EQ(session.Open(&window, testing::TestMediaPath("raw-rgb-pcm.avi")), S_OK);
  EXPECT_TRUE(session.IsStreaming());
  EXPECT_FALSE(session.VideoGrabber()->IsConnected());
  ASSERT_TRUE(PlayToEnd(session, window));
  session.Close();
  const BroadcastLog log = testing::Sort(capture.Messages());
  ASSERT_FALSE(log.descriptions.empty());
  EXPECT_EQ(log.descriptions.front().streamFlags, protocol::kStreamFlagAudio);
  EXPECT_TRUE(log.video.samples.empty());
  EXPECT_EQ(log.video.segmentStarts, 0u);
  EXPECT_FALSE(log.audio.samples.empty());
}

TEST(SenderSessionFiles, FileThatIsNotMediaFailsToOpen) {
  const std::string path = ::testing::TempDir() + "/not-media.txt";
  std::ofstream(path) << "This is a plain text file, not a media file.\n";
  testing::MessageCapture capture;
  testing::EventWindow window;
  SenderSession session(kSession, &capture);
  EXPECT_EQ(session.Open(&window, path), VFW_E_UNSUPPORTED_STREAM);
  EXPECT_FALSE(session.IsStreaming());
  EXPECT_EQ(session.State(), PlayerState::kNoGraph);
  EXPECT_EQ(session.Open(&window, path + ".missing"), E_FILE_NOT_FOUND);
  EXPECT_EQ(capture.Datagrams(), 0u);
}

// Every open makes a graph whose bus messages (state changes, stream starts, an error) pass the
// graph's handler; once closed, nothing of it may stay alive.
TEST(SenderSessionFiles, ReopeningLeavesNothingAlive) {
  ASSERT_TRUE(kLeaksTracerRequested);
  testing::LiveObjects live;
  if (!live.Active()) GTEST_SKIP() << "GStreamer started before the leaks tracer was named";
  const std::string notMedia = ::testing::TempDir() + "/not-media-reopened.txt";
  std::ofstream(notMedia) << "Not a media file.\n";
  testing::MessageCapture capture;
  testing::EventWindow window;
  // The generated camera picture and tone stand for a live source, and a missing camera for
  // one that does not start.
  sender::LiveSource camera;
  camera.video = sender::LiveVideo::kCamera;
  camera.camera = std::string(sender::kTestCamera);
  camera.microphone = true;
  camera.microphoneDevice = std::string(sender::kTestMicrophone);
  sender::LiveSource missing = camera;
  missing.camera = "/dev/vantorel-no-camera";
  auto openPlayClose = [&](const std::string& path, const sender::LiveSource* source) {
    SenderSession session(kSession, &capture, {media::OutputMode::kNullSinks, nullptr});
    if (FAILED(source != nullptr ? session.OpenLive(&window, *source)
                                 : session.Open(&window, path))) {
      return;
    }
    session.Play();
    std::this_thread::sleep_for(150ms);
    session.HandleGraphEvents();
    session.Close();
  };
  const std::string files[] = {testing::TestMediaPath("mpeg1-av.mpg"),
                               testing::TestMediaPath("mjpeg-pcm.avi"), notMedia};
  auto round = [&] {
    for (const std::string& file : files) openPlayClose(file, nullptr);
    openPlayClose({}, &camera);
    openPlayClose({}, &missing);
  };
  round();
  live.Start();
  constexpr int kRounds = 8;
  for (int i = 0; i < kRounds; ++i) round();
  EXPECT_EQ(live.Grown(), "");
}

// Opening a FIFO with no writer would block the opening thread for good: it is refused before
// the graph reads it, as is a directory.
TEST(SenderSessionFiles, WhatIsNotARegularFileIsRefusedUnopened) {
  const std::string fifo = ::testing::TempDir() + "/sender-session.fifo";
  std::remove(fifo.c_str());
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  testing::MessageCapture capture;
  testing::EventWindow window;
  SenderSession session(kSession, &capture);
  EXPECT_EQ(session.Open(&window, fifo), E_BAD_FILE_TYPE);
  EXPECT_EQ(session.State(), PlayerState::kNoGraph);
  EXPECT_EQ(session.Open(&window, ::testing::TempDir()), E_BAD_FILE_TYPE);
  EXPECT_EQ(capture.Datagrams(), 0u);
  std::remove(fifo.c_str());
}

}  // namespace
}  // namespace vantorel::sender
