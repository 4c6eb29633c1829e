#include "ui/skin/skin_widget.h"

namespace vantorel::skin {

void SkinWidget::OnMouseMove(int, int) {}

void SkinWidget::OnMouseEnter() {
  hovered_ = true;
  Redraw();
}

void SkinWidget::OnMouseLeave() {
  hovered_ = false;
  Redraw();
}

void SkinWidget::OnLButtonDown(int x, int y) {
  pressed_ = true;
  Redraw();
  pressPoint_ = Point{x, y};
  pressRect_ = rect_;
  dragging_ = true;
}

void SkinWidget::OnLButtonUp() {
  pressed_ = false;
  Redraw();
  dragging_ = false;
}

void SkinWidget::Draw(QPainter& dc) {
  if (hidden_) return;
  if (disabled_) {
    DrawDisabled(dc);
  } else if (!hovered_) {
    DrawNormal(dc);
  } else if (pressed_) {
    DrawPressed(dc);
  } else {
    DrawHover(dc);
  }
}

void SkinWidget::SetRect(const Rect& rect) {
  if (rect == rect_) return;
  Redraw();
  rect_ = rect;
  Redraw();
}

bool SkinWidget::ChangeFlag(bool& field, bool flag, const bool& other) {
  if (field == flag) return false;
  field = flag;
  if (flag) {
    hovered_ = false;
    pressed_ = false;
  } else if (!other) {
    hovered_ = HitTest(owner_.CursorClientPos());
  }
  Redraw();
  return true;
}

void SkinWidget::SetDisabled(bool flag) {
  ChangeFlag(disabled_, flag, hidden_);
}

void SkinWidget::SetHidden(bool flag) {
  ChangeFlag(hidden_, flag, disabled_);
}

bool SkinWidget::HitTest(Point point) const {
  if (hidden_ || disabled_) return false;
  return rect_.Contains(point);
}

}  // namespace vantorel::skin
