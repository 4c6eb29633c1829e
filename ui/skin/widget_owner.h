// What a skinned widget needs from the window that owns it. The window draws, routes mouse
// input and takes the widgets' events; a widget has no window of its own.
#pragma once

#include "ui/skin/frame_event.h"
#include "ui/skin/skin_geometry.h"

namespace vantorel::skin {

class WidgetOwner {
 public:
  virtual ~WidgetOwner() = default;
  // Marks the rectangle for repainting; the next paint redraws it from the background up.
  virtual void InvalidateRect(const Rect& rect) = 0;
  // Hands the event to the window, which handles it before this returns.
  virtual void Send(const FrameEvent& event) = 0;
  // The window keeps receiving mouse input until ReleaseCapture. Releasing the capture makes
  // the window cancel its widget set's capture before ReleaseCapture returns.
  virtual void SetCapture() = 0;
  virtual void ReleaseCapture() = 0;
  // The pointer's position in the window's client coordinates.
  virtual Point CursorClientPos() const = 0;
};

}  // namespace vantorel::skin
