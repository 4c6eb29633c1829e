// The owner window's collection of skinned widgets: hit-testing, hover tracking, mouse capture
// and click detection. It borrows the widgets; the owner removes a widget before deleting it.
#pragma once

#include <set>

#include "ui/skin/skin_widget.h"

namespace vantorel::skin {

class WidgetSet {
 public:
  WidgetSet() = default;
  virtual ~WidgetSet() = default;
  WidgetSet(const WidgetSet&) = delete;
  WidgetSet& operator=(const WidgetSet&) = delete;

  void Add(SkinWidget* widget);
  void Remove(SkinWidget* widget);
  bool Contains(SkinWidget* widget) const { return widgets_.contains(widget); }

  // True when a widget is under the point or holds the capture. The point (-1, -1) or any
  // other point outside every widget clears every hover.
  bool OnMouseMove(unsigned flags, Point point);
  // True when a widget took the press; it then holds the capture of the owner.
  bool OnLButtonDown(WidgetOwner& owner, unsigned flags, Point point);
  // True when a widget held the capture. The click follows when the release is over it.
  bool OnLButtonUp(unsigned flags, Point point);
  // Forgets the captured widget; true when there was one.
  bool CancelCapture();
  void TickAll();
  void DrawAll(QPainter& dc);

  SkinWidget* Captured() const { return captured_; }

 private:
  std::set<SkinWidget*> widgets_;
  SkinWidget* captured_ = nullptr;
};

}  // namespace vantorel::skin
