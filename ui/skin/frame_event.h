// What the skinned widgets, the window menu and the programs ask of a skinned window. A window
// takes each at once, on its own thread, in SkinnedFrame::Send.
#pragma once

#include <variant>

namespace vantorel::skin {

// A button was clicked: the command it stands for (skin_ids.h, or the program's own).
struct CommandEvent {
  int command = 0;
  friend bool operator==(const CommandEvent&, const CommandEvent&) = default;
};

// The seek slider's thumb is dragged: its position in the slider's range.
struct SliderDragEvent {
  int position = 0;
  friend bool operator==(const SliderDragEvent&, const SliderDragEvent&) = default;
};

// What the window menu and the frame buttons do with the window itself.
enum class WindowAction { kMinimize, kMaximize, kRestore, kClose };
struct WindowActionEvent {
  WindowAction action = WindowAction::kClose;
  friend bool operator==(const WindowActionEvent&, const WindowActionEvent&) = default;
};

// One of the program's own entries of the window menu (kAboutCommand and the ones after it).
struct MenuEntryEvent {
  int id = 0;
  friend bool operator==(const MenuEntryEvent&, const MenuEntryEvent&) = default;
};

using FrameEvent = std::variant<CommandEvent, SliderDragEvent, WindowActionEvent, MenuEntryEvent>;

}  // namespace vantorel::skin
