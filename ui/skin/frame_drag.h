// Moves and resizes a frameless top-level window with the mouse: through the window system
// where it offers that, otherwise by following the mouse until the button is released.
#pragma once

#include <QPoint>
#include <QRect>
#include <QWidget>

#include "ui/skin/frame_layout.h"

namespace vantorel::skin {

// The window edges a resize band moves; none for the client area.
Qt::Edges EdgesFor(FrameHit hit);
// The pointer shape over a resize band.
Qt::CursorShape CursorFor(FrameHit hit);

class FrameDrag {
 public:
  explicit FrameDrag(QWidget& window) : window_(window) {}

  void StartMove(QPoint globalPos);
  void StartResize(Qt::Edges edges, QPoint globalPos);
  // True while a drag that the window system did not take follows the mouse.
  bool Active() const { return active_; }
  void Follow(QPoint globalPos);
  void End() { active_ = false; }

 private:
  void StartFollowing(Qt::Edges edges, QPoint globalPos);

  QWidget& window_;
  bool active_ = false;
  Qt::Edges edges_;
  QPoint start_;
  QRect startGeometry_;
};

}  // namespace vantorel::skin
