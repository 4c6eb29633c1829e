#include "ui/skin/video_widget.h"

#include <QFontMetrics>
#include <QImage>
#include <QMetaObject>
#include <QPainter>
#include <QPolygonF>

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
  // A hidden-mode widget shows the frame's own picture through it while it has no picture of
  // its own (it may still show a status line).
  if (withoutPicture_ == WithoutPicture::kBlack) setAttribute(Qt::WA_OpaquePaintEvent);
  // Moves are tracked so that the widget knows when the pointer rests on it (underMouse);
  // presses, moves and context menu requests are ignored here and reach the frame, which
  // handles them for the whole window.
  setMouseTracking(true);
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
  if (withoutPicture_ == WithoutPicture::kHidden && statusText_.isEmpty()) {
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

void VideoWidget::SetStatus(const QString& text, StatusIcon icon) {
  if (text == statusText_ && icon == statusIcon_) return;
  statusText_ = text;
  statusIcon_ = icon;
  if (withoutPicture_ == WithoutPicture::kHidden) setVisible(shown_ || !statusText_.isEmpty());
  update();
}

void VideoWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (withoutPicture_ == WithoutPicture::kBlack || shown_) painter.fillRect(rect(), Qt::black);
  const QRect target = PictureRect();
  if (!target.isEmpty()) {
    const media::VideoFrame& frame = *shown_;
    // BGRx bytes are QImage's RGB32 on a little-endian machine; the image borrows the frame.
    const QImage picture(frame.Data(), frame.Width(), frame.Height(), frame.Stride(),
                         QImage::Format_RGB32);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, picture);
  }
  if (!statusText_.isEmpty()) PaintStatus(painter);
}

// The skin's colours: light grey text on a translucent dark band, the mark in the skin's blue
// (amber for a warning).
void VideoWidget::PaintStatus(QPainter& painter) const {
  static const QColor kText(214, 222, 232);
  static const QColor kBand(8, 12, 20, 170);
  static const QColor kBlue(74, 158, 235);
  static const QColor kAmber(235, 170, 60);
  constexpr int kMargin = 8;
  constexpr int kPadding = 6;
  constexpr int kMark = 10;
  QFont font = painter.font();
  font.setPointSizeF(9);
  painter.setFont(font);
  const QFontMetrics metrics(font);
  const int markSpace = statusIcon_ == StatusIcon::kNone ? 0 : kMark + kPadding;
  const int maxText = std::max(0, width() - 2 * kMargin - 2 * kPadding - markSpace);
  const QRect textBounds =
      metrics.boundingRect(QRect(0, 0, maxText, height()), Qt::TextWordWrap, statusText_);
  const QRect band(kMargin, height() - kMargin - textBounds.height() - 2 * kPadding,
                   std::min(width() - 2 * kMargin, textBounds.width() + 2 * kPadding + markSpace),
                   textBounds.height() + 2 * kPadding);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(kBand);
  painter.drawRoundedRect(band, 4, 4);
  const QRectF mark(band.left() + kPadding,
                    band.top() + kPadding + (metrics.height() - kMark) / 2.0, kMark, kMark);
  painter.setPen(QPen(statusIcon_ == StatusIcon::kWarning ? kAmber : kBlue, 1.6));
  painter.setBrush(Qt::NoBrush);
  switch (statusIcon_) {
    case StatusIcon::kNone:
      break;
    case StatusIcon::kWaiting:  // a ring
      painter.drawEllipse(mark.adjusted(1, 1, -1, -1));
      break;
    case StatusIcon::kReceiving:  // a filled dot with a ring
      painter.drawEllipse(mark.adjusted(0.5, 0.5, -0.5, -0.5));
      painter.setBrush(kBlue);
      painter.drawEllipse(mark.adjusted(3, 3, -3, -3));
      break;
    case StatusIcon::kWarning:  // an exclamation mark in a ring
      painter.drawEllipse(mark.adjusted(0.5, 0.5, -0.5, -0.5));
      painter.drawLine(QPointF(mark.center().x(), mark.top() + 2.5),
                       QPointF(mark.center().x(), mark.center().y() + 1));
      painter.drawPoint(QPointF(mark.center().x(), mark.bottom() - 2.5));
      break;
    case StatusIcon::kSound: {  // a speaker
      const QPointF c = mark.center();
      const QPolygonF cone{{mark.left() + 1, c.y() - 1.5},    {mark.left() + 3.5, c.y() - 1.5},
                           {mark.left() + 6, mark.top() + 1}, {mark.left() + 6, mark.bottom() - 1},
                           {mark.left() + 3.5, c.y() + 1.5},  {mark.left() + 1, c.y() + 1.5}};
      painter.setBrush(kBlue);
      painter.drawPolygon(cone);
      painter.setBrush(Qt::NoBrush);
      painter.drawArc(mark.adjusted(3, 2, 0, -2), -45 * 16, 90 * 16);
      break;
    }
  }
  painter.setPen(kText);
  painter.drawText(QRect(band.left() + kPadding + markSpace, band.top() + kPadding,
                         textBounds.width(), textBounds.height()),
                   Qt::TextWordWrap, statusText_);
}

}  // namespace vantorel::skin
