#include "receiver/app/video_window.h"

#include <QImage>
#include <QPainter>

#include <algorithm>

namespace vantorel::receiver_app {

QRect FitPicture(const QRect& area, int pictureWidth, int pictureHeight, int parN, int parD) {
  if (area.isEmpty() || pictureWidth <= 0 || pictureHeight <= 0 || parN <= 0 || parD <= 0) {
    return {};
  }
  // The picture's shape in square pixels: (pictureWidth * parN / parD) x pictureHeight.
  const std::int64_t shapeW = std::int64_t{pictureWidth} * parN;
  const std::int64_t shapeH = std::int64_t{pictureHeight} * parD;
  std::int64_t w = area.width();
  std::int64_t h = w * shapeH / shapeW;
  if (h > area.height()) {
    h = area.height();
    w = h * shapeW / shapeH;
  }
  w = std::max<std::int64_t>(w, 1);
  h = std::max<std::int64_t>(h, 1);
  const int x = area.left() + static_cast<int>((area.width() - w) / 2);
  const int y = area.top() + static_cast<int>((area.height() - h) / 2);
  return QRect(x, y, static_cast<int>(w), static_cast<int>(h));
}

VideoWindow::VideoWindow(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  // The frame handles every press and move over the video area itself.
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

VideoWindow::~VideoWindow() = default;

void VideoWindow::OnVideoFrame(std::unique_ptr<media::VideoFrame> frame) {
  {
    std::lock_guard<std::mutex> hold(lock_);
    pending_ = std::move(frame);
  }
  ++framesReceived_;
  if (repaintQueued_.exchange(true)) return;
  // Dropped by Qt if the area is gone before the call runs.
  QMetaObject::invokeMethod(
      this,
      [this] {
        repaintQueued_.store(false);
        update();
      },
      Qt::QueuedConnection);
}

void VideoWindow::Clear() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    pending_.reset();
  }
  shown_.reset();
  update();
}

void VideoWindow::paintEvent(QPaintEvent*) {
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (pending_) shown_ = std::move(pending_);
  }
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  if (!shown_) return;
  const media::VideoFrame& frame = *shown_;
  // BGRx bytes are QImage's RGB32 on a little-endian machine; the image borrows the frame.
  const QImage picture(frame.Data(), frame.Width(), frame.Height(), frame.Stride(),
                       QImage::Format_RGB32);
  const QRect target = FitPicture(rect(), frame.Width(), frame.Height(),
                                  frame.PixelAspectNumerator(), frame.PixelAspectDenominator());
  if (target.isEmpty()) return;
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(target, picture);
}

}  // namespace vantorel::receiver_app
