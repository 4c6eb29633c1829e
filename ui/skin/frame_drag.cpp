#include "ui/skin/frame_drag.h"

#include <QWindow>

#include <algorithm>

namespace vantorel::skin {

Qt::Edges EdgesFor(FrameHit hit) {
  switch (hit) {
    case FrameHit::kLeft:
      return Qt::LeftEdge;
    case FrameHit::kRight:
      return Qt::RightEdge;
    case FrameHit::kTop:
      return Qt::TopEdge;
    case FrameHit::kBottom:
      return Qt::BottomEdge;
    case FrameHit::kTopLeft:
      return Qt::TopEdge | Qt::LeftEdge;
    case FrameHit::kTopRight:
      return Qt::TopEdge | Qt::RightEdge;
    case FrameHit::kBottomLeft:
      return Qt::BottomEdge | Qt::LeftEdge;
    case FrameHit::kBottomRight:
      return Qt::BottomEdge | Qt::RightEdge;
    case FrameHit::kClient:
      break;
  }
  return {};
}

Qt::CursorShape CursorFor(FrameHit hit) {
  switch (hit) {
    case FrameHit::kLeft:
    case FrameHit::kRight:
      return Qt::SizeHorCursor;
    case FrameHit::kTop:
    case FrameHit::kBottom:
      return Qt::SizeVerCursor;
    case FrameHit::kTopLeft:
    case FrameHit::kBottomRight:
      return Qt::SizeFDiagCursor;
    case FrameHit::kTopRight:
    case FrameHit::kBottomLeft:
      return Qt::SizeBDiagCursor;
    case FrameHit::kClient:
      break;
  }
  return Qt::ArrowCursor;
}

void FrameDrag::StartMove(QPoint globalPos) {
  QWindow* window = window_.windowHandle();
  if (window != nullptr && window->startSystemMove()) return;
  StartFollowing({}, globalPos);
}

void FrameDrag::StartResize(Qt::Edges edges, QPoint globalPos) {
  QWindow* window = window_.windowHandle();
  if (window != nullptr && window->startSystemResize(edges)) return;
  StartFollowing(edges, globalPos);
}

void FrameDrag::StartFollowing(Qt::Edges edges, QPoint globalPos) {
  active_ = true;
  edges_ = edges;
  start_ = globalPos;
  startGeometry_ = window_.geometry();
}

void FrameDrag::Follow(QPoint globalPos) {
  if (!active_) return;
  const QPoint delta = globalPos - start_;
  if (edges_ == Qt::Edges()) {
    window_.move(startGeometry_.topLeft() + delta);
    return;
  }
  QRect g = startGeometry_;
  const QSize least = window_.minimumSize();
  if (edges_ & Qt::LeftEdge)
    g.setLeft(std::min(g.left() + delta.x(), g.right() - least.width() + 1));
  if (edges_ & Qt::RightEdge)
    g.setRight(std::max(g.right() + delta.x(), g.left() + least.width() - 1));
  if (edges_ & Qt::TopEdge)
    g.setTop(std::min(g.top() + delta.y(), g.bottom() - least.height() + 1));
  if (edges_ & Qt::BottomEdge) {
    g.setBottom(std::max(g.bottom() + delta.y(), g.top() + least.height() - 1));
  }
  window_.setGeometry(g);
}

}  // namespace vantorel::skin
