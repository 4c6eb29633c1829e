#include "ui/skin/video_widget.h"

#include <QImage>
#include <QMetaObject>
#include <QPainter>

#include <algorithm>
#include <cstdint>

namespace vantorel::skin {

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

VideoWidget::VideoWidget(QWidget* parent, WithoutPicture withoutPicture)
    : QWidget(parent), withoutPicture_(withoutPicture) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  // The frame handles every press and move over the video area itself.
  setAttribute(Qt::WA_TransparentForMouseEvents);
  if (withoutPicture_ == WithoutPicture::kHidden) hide();
}

VideoWidget::~VideoWidget() = default;

void VideoWidget::OnVideoFrame(std::unique_ptr<media::VideoFrame> frame) {
  if (!frame || frame->Width() <= 0 || frame->Height() <= 0) return;
  std::lock_guard hold(lock_);
  pending_ = std::move(frame);
  if (takePosted_) return;
  takePosted_ = true;
  // Dropped by Qt if the widget is gone before the call runs.
  QMetaObject::invokeMethod(
      this, [this] { TakePendingFrame(); }, Qt::QueuedConnection);
}

void VideoWidget::TakePendingFrame() {
  {
    std::lock_guard hold(lock_);
    takePosted_ = false;
    // Nothing after a Clear: the widget stays as Clear left it.
    if (!pending_) return;
    shown_ = std::move(pending_);
  }
  ++framesShown_;
  if (!isVisible()) show();
  update();
}

void VideoWidget::Clear() {
  {
    std::lock_guard hold(lock_);
    pending_.reset();
  }
  shown_.reset();
  framesShown_ = 0;
  if (withoutPicture_ == WithoutPicture::kHidden) {
    hide();
  } else {
    update();
  }
}

QRect VideoWidget::PictureRect() const {
  if (!shown_) return {};
  return FitPicture(rect(), shown_->Width(), shown_->Height(), shown_->PixelAspectNumerator(),
                    shown_->PixelAspectDenominator());
}

void VideoWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  const QRect target = PictureRect();
  if (target.isEmpty()) return;
  const media::VideoFrame& frame = *shown_;
  // BGRx bytes are QImage's RGB32 on a little-endian machine; the image borrows the frame.
  const QImage picture(frame.Data(), frame.Width(), frame.Height(), frame.Stride(),
                       QImage::Format_RGB32);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(target, picture);
}

}  // namespace vantorel::skin
