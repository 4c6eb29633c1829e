// Live sources on a real graph: the generated camera picture and tone, captured and encoded
// as the wire carries them, paused and resumed; and devices that do not start.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "protocol/media_codes.h"
#include "sender/sender_session.h"
#include "tests/sender/media/media_test_support.h"

namespace vantorel::sender {
namespace {

using namespace std::chrono_literals;
using protocol::GuidFromFourcc;

constexpr std::uint32_t kFourccH264 = 0x34363248;  // 'H264'
constexpr std::uint32_t kWavePcm = 0x01;
constexpr std::int64_t k100nsPerMs = 10'000;

sender::LiveSource TestCameraAndTone() {
  sender::LiveSource source;
  source.video = sender::LiveVideo::kCamera;
  source.camera = std::string(sender::kTestCamera);
  source.microphone = true;
  source.microphoneDevice = std::string(sender::kTestMicrophone);
  return source;
}

const protocol::FormatRecord* RecordOf(const protocol::StreamDescription& d,
                                       protocol::StreamKind kind) {
  for (const protocol::FormatRecord& r : d.records) {
    if (r.stream == kind) return &r;
  }
  return nullptr;
}

class LiveSourceTest : public ::testing::Test {
 protected:
  testing::MessageCapture capture;
  testing::EventWindow window;
  SenderSession session{3, &capture, {media::OutputMode::kNullSinks, nullptr}};
};

TEST_F(LiveSourceTest, CameraAndMicrophoneGoOutAsH264AndPcmWithAKeyFrameEverySecond) {
  ASSERT_EQ(session.OpenLive(&window, TestCameraAndTone()), S_OK);
  EXPECT_TRUE(session.Live());
  EXPECT_EQ(session.State(), PlayerState::kStopped);
  ASSERT_EQ(session.Play(), S_OK);
  std::this_thread::sleep_for(2300ms);
  EXPECT_GT(session.Position(), 2.0);  // the time on the air
  EXPECT_EQ(session.Duration(), 0);
  EXPECT_EQ(session.Seek(1.0), E_FAIL);
  session.Close();

  const testing::BroadcastLog log = testing::Sort(capture.Messages());
  EXPECT_EQ(log.malformed, 0u);
  ASSERT_FALSE(log.descriptions.empty());
  EXPECT_EQ(log.firstDescription, 0u);
  const protocol::StreamDescription& first = log.descriptions.front();
  EXPECT_EQ(first.streamFlags, protocol::kStreamFlagVideo | protocol::kStreamFlagAudio);
  const protocol::FormatRecord* video = RecordOf(first, protocol::StreamKind::kVideo);
  const protocol::FormatRecord* audio = RecordOf(first, protocol::StreamKind::kAudio);
  ASSERT_TRUE(video != nullptr && audio != nullptr);
  EXPECT_EQ(video->subtype, GuidFromFourcc(kFourccH264));
  EXPECT_EQ(audio->subtype, GuidFromFourcc(kWavePcm));

  // 30 pictures a second for about 2.3 s, the first a key frame, and never more than a second
  // between two key frames; the sound in 10 ms buffers.
  const auto& pictures = log.video.samples;
  ASSERT_GE(pictures.size(), 55u);
  EXPECT_NE(pictures.front().sampleFlags & protocol::kSampleSplicePoint, 0u);
  std::size_t sinceKey = 0;
  for (const protocol::SampleProperties& p : pictures) {
    sinceKey = (p.sampleFlags & protocol::kSampleSplicePoint) != 0 ? 0 : sinceKey + 1;
    EXPECT_LT(sinceKey, 30u);
    ASSERT_NE(p.sampleFlags & protocol::kSampleTimeValid, 0u);
  }
  EXPECT_NEAR(static_cast<double>(pictures.back().start - pictures.front().start) /
                  (static_cast<double>(pictures.size() - 1) * 333'333.0),
              1.0, 0.1);
  ASSERT_GE(log.audio.samples.size(), 150u);
  EXPECT_EQ(log.audio.data.front().size(), 960u);  // 480 samples of 16-bit mono
}

// A pause holds the capture: nothing goes out, and the streams resume with a new segment whose
// samples are timed on the clock, not behind it by the pause.
TEST_F(LiveSourceTest, PauseHoldsTheStreamsAndResumeStartsANewSegmentOnTheClock) {
  ASSERT_EQ(session.OpenLive(&window, TestCameraAndTone()), S_OK);
  ASSERT_EQ(session.Play(), S_OK);
  std::this_thread::sleep_for(600ms);
  ASSERT_EQ(session.Pause(), S_OK);
  std::this_thread::sleep_for(100ms);  // what was in flight
  const std::size_t paused = capture.Messages().size();
  std::this_thread::sleep_for(700ms);
  EXPECT_LE(capture.Messages().size(), paused + 2);  // a description at most
  ASSERT_EQ(session.Play(), S_OK);
  std::this_thread::sleep_for(600ms);
  ASSERT_EQ(session.Stop(), S_OK);
  EXPECT_EQ(session.State(), PlayerState::kStopped);
  session.Close();

  const auto messages = capture.Messages();
  std::optional<protocol::SegmentStart> resumed;
  std::optional<std::int64_t> lastBefore;
  std::optional<std::int64_t> firstAfter;
  for (std::size_t i = 0; i < messages.size(); ++i) {
    if (auto s = protocol::ParseSegmentStart(messages[i])) {
      if (i >= paused && s->stream == protocol::StreamKind::kVideo) resumed = s;
      continue;
    }
    auto sample = protocol::ParseSampleMessage(messages[i]);
    if (!sample || sample->stream != protocol::StreamKind::kVideo) continue;
    if (!resumed) lastBefore = sample->properties.start;
    if (resumed && !firstAfter) firstAfter = sample->properties.start;
  }
  ASSERT_TRUE(resumed && lastBefore && firstAfter);
  // The gap in the times is the pause: at least the 700 ms slept, not the whole time since.
  EXPECT_GE(*firstAfter - *lastBefore, 700 * k100nsPerMs);
  EXPECT_LT(*firstAfter - *lastBefore, 2000 * k100nsPerMs);
  EXPECT_GE(*firstAfter, resumed->clockTime - 200 * k100nsPerMs);
  EXPECT_LT(*firstAfter, resumed->clockTime + 200 * k100nsPerMs);
}

using Environment = std::vector<std::pair<const char*, const char*>>;

struct DeviceCase {
  const char* name;
  sender::LiveSource source;
  sender::LiveDevice device;
  Environment environment = {};  // set while the device is opened
  const char* reason = "";       // a part of the reason, where the route to it matters
};

// Sets variables for its lifetime, and puts back what was there.
class ScopedEnvironment {
 public:
  explicit ScopedEnvironment(const Environment& variables) {
    for (const auto& [name, value] : variables) {
      const char* old = std::getenv(name);
      saved_.emplace_back(name, old != nullptr ? std::optional<std::string>(old) : std::nullopt);
      ::setenv(name, value, 1);
    }
  }
  ~ScopedEnvironment() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->second) {
        ::setenv(it->first, it->second->c_str(), 1);
      } else {
        ::unsetenv(it->first);
      }
    }
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

void PrintTo(const DeviceCase& c, std::ostream* os) {
  *os << c.name;
}

sender::LiveSource Camera(const char* device) {
  sender::LiveSource s;
  s.video = sender::LiveVideo::kCamera;
  s.camera = device;
  return s;
}
sender::LiveSource Microphone(const char* device) {
  sender::LiveSource s;
  s.microphone = true;
  s.microphoneDevice = device;
  return s;
}
sender::LiveSource Screen(const char* display) {
  sender::LiveSource s;
  s.video = sender::LiveVideo::kScreen;
  s.display = display;
  return s;
}

class LiveDeviceTest : public LiveSourceTest, public ::testing::WithParamInterface<DeviceCase> {};

// A device that does not start is named with GStreamer's reason, and nothing goes out.
TEST_P(LiveDeviceTest, ADeviceThatDoesNotStartIsNamedAndNothingGoesOut) {
  {
    ScopedEnvironment environment(GetParam().environment);
    EXPECT_TRUE(FAILED(session.OpenLive(&window, GetParam().source)));
  }
  EXPECT_EQ(session.State(), PlayerState::kNoGraph);
  EXPECT_FALSE(session.Live());
  EXPECT_EQ(session.Findings().failedDevice, GetParam().device);
  EXPECT_FALSE(session.Findings().errorText.empty());
  EXPECT_NE(session.Findings().errorText.find(GetParam().reason), std::string::npos)
      << session.Findings().errorText;
  EXPECT_EQ(capture.Datagrams(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Devices, LiveDeviceTest,
    ::testing::Values(DeviceCase{"MissingCamera", Camera("/dev/vantorel-no-camera"),
                                 sender::LiveDevice::kCamera},
                      DeviceCase{"NotACamera", Camera("/dev/null"), sender::LiveDevice::kCamera},
                      DeviceCase{"MissingDisplay",
                                 Screen(""),
                                 sender::LiveDevice::kScreen,
                                 {{"DISPLAY", ":97"}, {"XDG_SESSION_TYPE", "x11"}},
                                 "X display"},
                      // A Wayland desktop's screen is asked of its portal on the session bus.
                      DeviceCase{"WaylandWithoutSessionBus",
                                 Screen(""),
                                 sender::LiveDevice::kScreen,
                                 {{"XDG_SESSION_TYPE", "wayland"},
                                  {"DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus"}},
                                 "no D-Bus session bus"},
                      DeviceCase{"MissingMicrophone", Microphone("vantorel-no-microphone"),
                                 sender::LiveDevice::kMicrophone}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vantorel::sender
