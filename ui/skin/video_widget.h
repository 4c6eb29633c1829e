// The child widget in a main frame's video area: shows the newest decoded frame scaled to
// fit, its aspect ratio kept, on black.
#pragma once

#include <QRect>
#include <QString>
#include <QWidget>

#include <memory>
#include <mutex>

#include "platform/media/video_output.h"

namespace vantorel::skin {

// Where a picture of pictureWidth x pictureHeight pixels, each pixel parN:parD wide, goes in
// `area`: as large as fits, centred, its shape kept. Empty when there is nothing to show.
QRect FitPicture(const QRect& area, int pictureWidth, int pictureHeight, int parN = 1,
                 int parD = 1);

// The small mark drawn before a status line.
enum class StatusIcon { kNone, kWaiting, kReceiving, kWarning, kSound };

// What the widget does while it has no picture: stay black, or hide so that the frame's own
// picture shows through (it then shows itself with the first frame).
enum class WithoutPicture { kBlack, kHidden };

class VideoWidget : public QWidget, public media::VideoFrameSink {
 public:
  VideoWidget(QWidget* parent, WithoutPicture withoutPicture);
  ~VideoWidget() override;

  // Called on the video streaming thread at the frame's presentation time: keeps the frame,
  // still mapped, and asks the window thread to show it. No copy is made.
  void OnVideoFrame(std::unique_ptr<media::VideoFrame> frame) override;
  // Drops the picture. Window thread, once no graph delivers any more.
  void Clear();
  // Frames taken over by the window thread since the last Clear (window thread).
  int FramesShown() const { return framesShown_; }
  // Where the picture stands inside the widget; empty without a picture (window thread).
  QRect PictureRect() const;
  // A quiet line of text with its mark, drawn over the bottom of the video area; an empty
  // text shows none (window thread). Lines end at newlines.
  void SetStatus(const QString& text, StatusIcon icon);
  const QString& StatusText() const { return statusText_; }

 protected:
  void paintEvent(QPaintEvent* e) override;

 private:
  void TakePendingFrame();
  void PaintStatus(QPainter& painter) const;

  const WithoutPicture withoutPicture_;
  std::mutex lock_;
  // The frames own their mapping; whichever thread drops one unmaps it.
  std::unique_ptr<media::VideoFrame> pending_;  // guarded by lock_
  bool takePosted_ = false;                     // guarded by lock_
  std::unique_ptr<media::VideoFrame> shown_;    // window thread only
  int framesShown_ = 0;
  QString statusText_;
  StatusIcon statusIcon_ = StatusIcon::kNone;
};

}  // namespace vantorel::skin
