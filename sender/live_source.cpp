#include "sender/live_source.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>

namespace vantorel::sender {

namespace {
// Bits per pixel and frame: screen text stays sharp at about a tenth of a bit.
constexpr double kBitsPerPixel = 0.1;
constexpr int kMinBitrateKbit = 500;
constexpr int kMaxBitrateKbit = 20000;
}  // namespace

std::string DescribeLive(const LiveSource& source) {
  std::string text;
  switch (source.video) {
    case LiveVideo::kScreen:
      text = source.window != 0 ? "Window" : "Screen";
      break;
    case LiveVideo::kCamera:
      text = "Camera: " + LiveDeviceName(source, LiveDevice::kCamera);
      break;
    case LiveVideo::kNone:
      break;
  }
  if (source.microphone) text += text.empty() ? "Microphone" : " + Microphone";
  return text;
}

int LiveBitrateKbit(int width, int height, int framesPerSecond) {
  const double bits = static_cast<double>(std::max(width, 0)) * std::max(height, 0) *
                      std::max(framesPerSecond, 1) * kBitsPerPixel;
  return std::clamp(static_cast<int>(bits / 1000), kMinBitrateKbit, kMaxBitrateKbit);
}

std::string LiveDeviceName(const LiveSource& source, LiveDevice device) {
  switch (device) {
    case LiveDevice::kScreen: {
      std::string display = source.display;
      if (display.empty()) {
        const char* env = std::getenv("DISPLAY");
        display = env != nullptr ? env : "";
      }
      if (source.window != 0) {
        char window[32];
        std::snprintf(window, sizeof window, " window 0x%" PRIx64, source.window);
        display += window;
      }
      return display;
    }
    case LiveDevice::kCamera:
      return source.cameraName.empty() ? source.camera : source.cameraName;
    case LiveDevice::kMicrophone:
      return source.microphoneDevice.empty() ? "default" : source.microphoneDevice;
  }
  return {};
}

}  // namespace vantorel::sender
