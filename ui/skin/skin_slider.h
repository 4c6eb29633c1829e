// A slider whose thumb is an image button dragged along a track. While dragged it reports its
// position to the owner (SliderDragEvent); released over the thumb it also sends its click.
#pragma once

#include "ui/skin/image_button.h"
#include "ui/skin/slider_track.h"

namespace vantorel::skin {

class SkinSlider : public ImageButton {
 public:
  // The range is 0..100 until SetRange.
  SkinSlider(const Rect& track, WidgetOwner& owner, const Rect& thumb, FrameEvent click,
             ButtonImages images);

  // A press on the track away from the thumb first moves the thumb there (and reports it), so
  // the press seeks and the drag goes on from there.
  void OnLButtonDown(int x, int y) override;
  // Called while the thumb holds the capture.
  void OnMouseMove(int x, int y) override;
  // The thumb, and the band of the track it moves along.
  bool HitTest(Point point) const override;
  // The track as a line in the painter's pen, then the thumb.
  void Draw(QPainter& dc) override;
  virtual void SetLeft(int x);
  virtual void SetTop(int y);
  virtual void SetTrackRect(const Rect& rect);

  void SetRange(int rangeMin, int rangeMax, bool redraw);
  void SetPos(int pos);
  const Rect& Track() const { return track_; }
  SliderRange Range() const { return range_; }

 private:
  void MoveThumb(const Rect& rect);
  void Report();

  Rect track_;
  SliderRange range_;
};

}  // namespace vantorel::skin
