// The base of every self-drawn widget: a rectangle in the owner's client area, the hover,
// press, disabled and hidden flags, and the mouse operations through which the owner's widget
// set drives it. Free of the toolkit: drawing takes the owner's painter by reference only.
#pragma once

#include "ui/skin/skin_geometry.h"
#include "ui/skin/widget_owner.h"

class QPainter;

namespace vantorel::skin {

class SkinWidget {
 public:
  SkinWidget(WidgetOwner& owner, const Rect& rect) : owner_(owner), rect_(rect) {}
  virtual ~SkinWidget() = default;
  SkinWidget(const SkinWidget&) = delete;
  SkinWidget& operator=(const SkinWidget&) = delete;

  virtual void OnMouseMove(int x, int y);
  virtual void OnMouseEnter();
  virtual void OnMouseLeave();
  virtual void OnLButtonDown(int x, int y);
  virtual void OnLButtonUp();
  virtual void OnClick() {}
  virtual void OnTick() {}
  // Dispatches on the state: hidden draws nothing; a pressed widget is drawn pressed only
  // while the pointer is over it.
  virtual void Draw(QPainter& dc);
  virtual void DrawNormal(QPainter&) {}
  virtual void DrawHover(QPainter&) {}
  virtual void DrawPressed(QPainter&) {}
  virtual void DrawDisabled(QPainter&) {}
  virtual void SetRect(const Rect& rect);
  virtual void SetDisabled(bool flag);
  virtual void SetHidden(bool flag);
  virtual bool HitTest(Point point) const;

  bool IsHovered() const { return hovered_; }
  bool IsPressed() const { return pressed_; }
  bool IsDisabled() const { return disabled_; }
  bool IsHidden() const { return hidden_; }
  const Rect& GetRect() const { return rect_; }
  WidgetOwner& Owner() const { return owner_; }

 protected:
  // Invalidates the current rectangle in the owner.
  void Redraw() { owner_.InvalidateRect(rect_); }
  // Shared by SetDisabled and SetHidden: changes one of the two flags as they both do.
  bool ChangeFlag(bool& field, bool flag, const bool& other);

  WidgetOwner& owner_;
  Rect rect_;
  bool hovered_ = false;
  bool pressed_ = false;
  bool disabled_ = false;
  bool hidden_ = false;
  Point pressPoint_;
  Rect pressRect_;
  bool dragging_ = false;
};

}  // namespace vantorel::skin
