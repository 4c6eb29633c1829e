#include "sender/app/video_window.h"

#include <QMetaObject>
#include <QPainter>

namespace vantorel::sender::app {

VideoWindow::VideoWindow(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  // The frame handles the mouse over the video area as over the rest of its client area.
  setAttribute(Qt::WA_TransparentForMouseEvents);
  hide();
}

void VideoWindow::OnVideoFrame(std::unique_ptr<media::VideoFrame> frame) {
  if (!frame || frame->Width() <= 0 || frame->Height() <= 0) return;
  // The frame's bytes are B, G, R, x: the layout of RGB32 on this byte order.
  QImage image(frame->Data(), frame->Width(), frame->Height(), frame->Stride(),
               QImage::Format_RGB32);
  const int n = frame->PixelAspectNumerator();
  const int d = frame->PixelAspectDenominator();
  const double aspect = n > 0 && d > 0 ? static_cast<double>(n) / d : 1.0;
  QImage copy = image.copy();
  std::lock_guard lock(lock_);
  pending_ = std::move(copy);
  pendingAspect_ = aspect;
  if (takePosted_) return;
  takePosted_ = true;
  QMetaObject::invokeMethod(this, [this] { TakePendingFrame(); }, Qt::QueuedConnection);
}

void VideoWindow::TakePendingFrame() {
  {
    std::lock_guard lock(lock_);
    takePosted_ = false;
    if (pending_.isNull()) return;
    picture_ = std::move(pending_);
    pending_ = QImage();
    pixelAspect_ = pendingAspect_;
  }
  ++framesShown_;
  if (!isVisible()) show();
  update();
}

void VideoWindow::Clear() {
  {
    std::lock_guard lock(lock_);
    pending_ = QImage();
  }
  picture_ = QImage();
  framesShown_ = 0;
  hide();
}

QRect VideoWindow::PictureRect() const {
  if (picture_.isNull() || width() <= 0 || height() <= 0) return {};
  const double shape = picture_.width() * pixelAspect_ / picture_.height();
  int w = width();
  int h = static_cast<int>(w / shape + 0.5);
  if (h > height()) {
    h = height();
    w = static_cast<int>(h * shape + 0.5);
  }
  return QRect((width() - w) / 2, (height() - h) / 2, w, h);
}

void VideoWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  if (picture_.isNull()) return;
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(PictureRect(), picture_);
}

}  // namespace vantorel::sender::app
