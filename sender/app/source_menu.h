// Strovan's source menu: the screen or one of its windows, a camera, the microphone beside them
// or alone, a folder of files and the list they make. It is filled afresh each time it opens,
// from the windows and cameras there are then.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "sender/gst/capture_devices.h"
#include "sender/live_source.h"

class QMenu;
class QObject;

namespace vantorel::sender::app {

struct SourceMenuState {
  std::vector<sender::gst::CaptureWindow> windows;
  std::vector<sender::gst::CaptureDevice> cameras;
  std::optional<sender::LiveSource> onAir;  // the live source broadcast; none: a file or nothing
  bool microphoneAllowed = true;            // false while a file plays: it keeps its own sound
  bool microphoneMuted = false;
  bool listShown = false;
  bool loop = false;
};

// What the entries do.
struct SourceMenuActions {
  std::function<void()> openFolder;
  std::function<void(std::uint64_t window)> screen;  // 0: the whole screen
  std::function<void(const sender::gst::CaptureDevice& camera)> camera;
  std::function<void()> toggleMicrophone;
  std::function<void()> toggleMute;
  std::function<void()> toggleList;
  std::function<void()> toggleLoop;
};

// Replaces `menu`'s entries. `text` gives a text of the string table in the chosen language.
// A chosen entry's action runs on `receiver`'s thread once the menu has closed, as opening a
// source may take a while.
void FillSourceMenu(QMenu& menu, const SourceMenuState& state, const SourceMenuActions& actions,
                    const std::function<QString(int id)>& text, QObject& receiver);

}  // namespace vantorel::sender::app
