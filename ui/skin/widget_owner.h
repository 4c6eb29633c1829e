// What a skinned widget needs from the window that owns it. The window draws, routes mouse
// input and receives the widgets' messages; a widget has no window of its own.
#pragma once

#include <cstdint>

#include "platform/gui/window_message.h"
#include "ui/skin/skin_geometry.h"

namespace vantorel::skin {

class WidgetOwner {
 public:
  virtual ~WidgetOwner() = default;
  // Marks the rectangle for repainting; the next paint redraws it from the background up.
  virtual void InvalidateRect(const Rect& rect) = 0;
  // Delivers the message to the window at once and returns its handler's result.
  virtual std::intptr_t SendMessage(gui::WindowMessage message) = 0;
  // The window keeps receiving mouse input until ReleaseCapture. Releasing the capture makes
  // the window cancel its widget set's capture before ReleaseCapture returns.
  virtual void SetCapture() = 0;
  virtual void ReleaseCapture() = 0;
  // The pointer's position in the window's client coordinates.
  virtual Point CursorClientPos() const = 0;
};

}  // namespace vantorel::skin
