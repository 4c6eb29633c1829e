// A live source to broadcast instead of a file: the screen (or one window of it), a camera,
// and the microphone beside either or alone. Free of GStreamer, so that the windows and tools
// that choose a source need not include it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vantorel::sender {

enum class LiveVideo { kNone, kScreen, kCamera };

// The camera device that stands for a generated moving picture: the camera path without a
// device, for trying it out and for tests.
inline constexpr std::string_view kTestCamera = "test";
// The microphone device that stands for a generated tone.
inline constexpr std::string_view kTestMicrophone = "test";

inline constexpr int kLiveFramesPerSecond = 30;
// Live video never exceeds this size: larger screens and cameras are scaled down to fit.
inline constexpr int kLiveMaxWidth = 1920;
inline constexpr int kLiveMaxHeight = 1080;

struct LiveSource {
  LiveVideo video = LiveVideo::kNone;
  // kScreen: the X display (empty: $DISPLAY), and one window's X id (0: the whole screen).
  std::string display;
  std::uint64_t window = 0;
  // kCamera: the device (/dev/video0), or kTestCamera.
  std::string camera;
  // The camera's name as the user knows it, for the status line; empty: the device.
  std::string cameraName;
  bool microphone = false;
  std::string microphoneDevice;  // empty: the default input; kTestMicrophone: a tone
  bool microphoneMuted = false;
  // Video bit rate in kbit/s; 0: follows the resolution (LiveBitrateKbit).
  int bitrateKbit = 0;
  int framesPerSecond = kLiveFramesPerSecond;
};

// True when the source has something to broadcast.
inline bool HasStream(const LiveSource& source) {
  return source.video != LiveVideo::kNone || source.microphone;
}

// What is on the air, as the status line shows it: "Screen", "Window", "Camera: NAME",
// "Microphone"; the microphone is added after a video source with " + Microphone".
std::string DescribeLive(const LiveSource& source);

// The video bit rate a live picture of this size gets when none is given: enough for screen
// text to stay sharp at the frame rate, within 500 kbit/s and 20 Mbit/s.
int LiveBitrateKbit(int width, int height, int framesPerSecond);

// Which part of a live source failed to start.
enum class LiveDevice { kScreen, kCamera, kMicrophone };

// The device as a user names it: the display (":0", or ":0 window 0x1e00007"), the camera's
// name or device, the microphone's device or "default".
std::string LiveDeviceName(const LiveSource& source, LiveDevice device);

}  // namespace vantorel::sender
