#include "ui/skin/slider_track.h"

#include <algorithm>
#include <cstdint>

namespace vantorel::skin {
namespace {

// a + b x c / d with a 64-bit product, truncating towards zero; d must not be 0.
int Interpolate(int a, int b, int c, int d) {
  return a + static_cast<int>(static_cast<std::int64_t>(b) * c / d);
}

Rect WithLeft(const Rect& r, int left) {
  return Rect{left, r.top, left + r.Width(), r.bottom};
}
Rect WithTop(const Rect& r, int top) {
  return Rect{r.left, top, r.right, top + r.Height()};
}

}  // namespace

int ThumbLeftForPos(const Rect& track, SliderRange range, int pos) {
  const int span = range.rangeMax - range.rangeMin;
  if (span == 0) return track.left;
  // A position past either end (a playback position read just past the duration) stands at
  // that end: the thumb never leaves its track.
  const int low = std::min(range.rangeMin, range.rangeMax);
  const int high = std::max(range.rangeMin, range.rangeMax);
  return Interpolate(track.left, track.Width(), std::clamp(pos, low, high) - range.rangeMin, span);
}

int PosForThumbLeft(const Rect& track, SliderRange range, int thumbLeft) {
  if (track.Width() == 0) return range.rangeMin;
  return Interpolate(range.rangeMin, range.rangeMax - range.rangeMin, thumbLeft - track.left,
                     track.Width());
}

Rect DragThumb(const Rect& track, const Rect& pressRect, Point pressPoint, Point point) {
  if (IsHorizontal(track)) {
    int left = pressRect.left + (point.x - pressPoint.x);
    if (left < track.left) left = track.left;
    if (left > track.right) left = track.right;
    return WithLeft(pressRect, left);
  }
  int top = pressRect.top + (point.y - pressPoint.y);
  if (top < track.top) top = track.top;
  if (top > track.bottom) top = track.bottom;
  return WithTop(pressRect, top);
}

Rect KeepRelativePlace(const Rect& oldTrack, const Rect& newTrack, const Rect& thumb) {
  if (!IsHorizontal(oldTrack) || oldTrack.Width() <= 0) return thumb;
  return WithLeft(thumb, Interpolate(newTrack.left, newTrack.Width(), thumb.left - oldTrack.left,
                                     oldTrack.Width()));
}

}  // namespace vantorel::skin
