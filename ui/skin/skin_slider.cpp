#include "ui/skin/skin_slider.h"

#include <QPainter>

namespace vantorel::skin {

SkinSlider::SkinSlider(const Rect& track, WidgetOwner& owner, const Rect& thumb, FrameEvent click,
                       ButtonImages images)
    : ImageButton(owner, thumb, click, std::move(images)), track_(track) {}

bool SkinSlider::HitTest(Point point) const {
  if (ImageButton::HitTest(point)) return true;
  if (disabled_ || hidden_ || !IsHorizontal(track_)) return false;
  const Rect band{track_.left, rect_.top, track_.right + rect_.Width(), rect_.bottom};
  return band.Contains(point);
}

void SkinSlider::OnLButtonDown(int x, int y) {
  if (!disabled_ && !rect_.Contains(Point{x, y}) && IsHorizontal(track_)) {
    // The thumb's middle under the pointer, its left edge kept on the track.
    const Rect centred{x - rect_.Width() / 2, rect_.top, x - rect_.Width() / 2 + rect_.Width(),
                       rect_.bottom};
    MoveThumb(DragThumb(track_, centred, Point{x, y}, Point{x, y}));
    ImageButton::OnLButtonDown(x, y);
    Report();
    return;
  }
  ImageButton::OnLButtonDown(x, y);
}

void SkinSlider::OnMouseMove(int x, int y) {
  if (disabled_) return;
  Redraw();
  rect_ = DragThumb(track_, pressRect_, pressPoint_, Point{x, y});
  Redraw();
  Report();
}

void SkinSlider::Report() {
  owner_.Send(SliderDragEvent{PosForThumbLeft(track_, range_, rect_.left)});
}

void SkinSlider::Draw(QPainter& dc) {
  if (hidden_) return;
  const int y = track_.top + ImageHeight() / 2;
  dc.drawLine(track_.left, y, track_.right + rect_.Width(), y);
  ImageButton::Draw(dc);
}

void SkinSlider::MoveThumb(const Rect& rect) {
  if (rect == rect_) return;
  Redraw();
  rect_ = rect;
  Redraw();
}

void SkinSlider::SetLeft(int x) {
  MoveThumb(Rect{x, rect_.top, x + rect_.Width(), rect_.bottom});
}

void SkinSlider::SetTop(int y) {
  MoveThumb(Rect{rect_.left, y, rect_.right, y + rect_.Height()});
}

void SkinSlider::SetTrackRect(const Rect& rect) {
  if (rect == track_) return;
  Redraw();
  rect_ = KeepRelativePlace(track_, rect, rect_);
  track_ = rect;
  Redraw();
}

void SkinSlider::SetRange(int rangeMin, int rangeMax, bool redraw) {
  range_ = SliderRange{rangeMin, rangeMax};
  if (redraw) Redraw();
}

void SkinSlider::SetPos(int pos) {
  Redraw();
  const int left = ThumbLeftForPos(track_, range_, pos);
  rect_ = Rect{left, rect_.top, left + rect_.Width(), rect_.bottom};
  Redraw();
}

}  // namespace vantorel::skin
