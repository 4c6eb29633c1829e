// A window stand-in for driving widgets without one: it records what the widgets ask of their
// owner and, like a window, cancels the widget set's capture when the capture is released.
#pragma once

#include <vector>

#include "ui/skin/widget_owner.h"
#include "ui/skin/widget_set.h"

namespace vantorel::skin::testing {

class FakeOwner : public WidgetOwner {
 public:
  void InvalidateRect(const Rect& rect) override { invalidated.push_back(rect); }
  void Send(const FrameEvent& event) override { sent.push_back(event); }
  void SetCapture() override { captured = true; }
  void ReleaseCapture() override {
    captured = false;
    set.CancelCapture();
  }
  Point CursorClientPos() const override { return cursor; }

  // Moves the pointer and tells the set, as a window's mouse-move handling does.
  void MoveTo(Point p) {
    cursor = p;
    set.OnMouseMove(0, p);
  }
  void Press(Point p) {
    MoveTo(p);
    set.OnLButtonDown(*this, 0, p);
  }
  void Release(Point p) {
    MoveTo(p);
    set.OnLButtonUp(0, p);
  }

  WidgetSet set;
  std::vector<Rect> invalidated;
  std::vector<FrameEvent> sent;
  bool captured = false;
  Point cursor{-1, -1};
};

}  // namespace vantorel::skin::testing
