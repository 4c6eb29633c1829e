// What this machine can capture: its cameras and microphones as the desktop names them, and
// the windows of an X display. Free of GStreamer and X, so that menus can list them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vantorel::sender::gst {

struct CaptureDevice {
  std::string name;    // as the desktop shows it: "Integrated Camera"
  std::string device;  // what the source opens: "/dev/video0", a sound server's source name
};

// Video capture devices (each once, by name); empty when none is found.
std::vector<CaptureDevice> ListCameras();
// Sound inputs; empty when none is found.
std::vector<CaptureDevice> ListMicrophones();

struct CaptureWindow {
  std::uint64_t id = 0;  // the X window id
  std::string title;
};

// The top-level windows of the X display (empty: $DISPLAY) that have a title, as the window
// manager lists them (or, without one, the mapped children of the root); empty when the display
// cannot be opened.
std::vector<CaptureWindow> ListWindows(const std::string& display = {});

}  // namespace vantorel::sender::gst
