#include "ui/skin/widget_set.h"

namespace vantorel::skin {
namespace {

// Enters or leaves the widget as the point says; true when the point is over it.
bool TrackHover(SkinWidget& widget, Point point) {
  const bool hit = widget.HitTest(point);
  if (hit && !widget.IsHovered()) {
    widget.OnMouseEnter();
  } else if (!hit && widget.IsHovered()) {
    widget.OnMouseLeave();
  }
  return hit;
}

}  // namespace

void WidgetSet::Add(SkinWidget* widget) {
  if (widget != nullptr) widgets_.insert(widget);
}

void WidgetSet::Remove(SkinWidget* widget) {
  widgets_.erase(widget);
  if (captured_ == widget) captured_ = nullptr;
}

bool WidgetSet::OnMouseMove(unsigned, Point point) {
  if (captured_ != nullptr) {
    TrackHover(*captured_, point);
    captured_->OnMouseMove(point.x, point.y);
    return true;
  }
  bool any = false;
  for (SkinWidget* widget : widgets_) any = TrackHover(*widget, point) || any;
  return any;
}

bool WidgetSet::OnLButtonDown(WidgetOwner& owner, unsigned, Point point) {
  for (SkinWidget* widget : widgets_) {
    if (!widget->HitTest(point)) continue;
    widget->OnLButtonDown(point.x, point.y);
    captured_ = widget;
    owner.SetCapture();
    return true;
  }
  return false;
}

bool WidgetSet::OnLButtonUp(unsigned, Point point) {
  SkinWidget* widget = captured_;
  if (widget == nullptr) return false;
  widget->OnLButtonUp();
  widget->Owner().ReleaseCapture();
  // The click message is handled synchronously and may change the set; nothing of the set
  // is touched after it.
  if (widget->HitTest(point)) widget->OnClick();
  return true;
}

bool WidgetSet::CancelCapture() {
  if (captured_ == nullptr) return false;
  captured_ = nullptr;
  return true;
}

void WidgetSet::TickAll() {
  for (SkinWidget* widget : widgets_) widget->OnTick();
}

void WidgetSet::DrawAll(QPainter& dc) {
  for (SkinWidget* widget : widgets_) widget->Draw(dc);
}

}  // namespace vantorel::skin
