// The arithmetic of a slider whose thumb's left (or top) edge moves along a track.
#pragma once

#include "ui/skin/skin_geometry.h"

namespace vantorel::skin {

struct SliderRange {
  int rangeMin = 0;
  int rangeMax = 100;
};

// A track lower than it is wide is horizontal.
constexpr bool IsHorizontal(const Rect& track) {
  return track.Height() < track.Width();
}

// The thumb's left edge for a position, clamped to the range; an empty range puts it at the
// track's left end.
int ThumbLeftForPos(const Rect& track, SliderRange range, int pos);

// The position the thumb's left edge stands for; a track without width gives rangeMin.
int PosForThumbLeft(const Rect& track, SliderRange range, int thumbLeft);

// The thumb moved by a drag from pressPoint (where pressRect was) to point, its leading edge
// kept within [track start, track end].
Rect DragThumb(const Rect& track, const Rect& pressRect, Point pressPoint, Point point);

// The thumb on a new track, at the same relative place as on the old (horizontal) track.
Rect KeepRelativePlace(const Rect& oldTrack, const Rect& newTrack, const Rect& thumb);

}  // namespace vantorel::skin
