// The video window: the child widget that shows the playing file's video inside the frame's video area, scaled
// to the widget with the picture's aspect ratio kept and black bars beside it.
#pragma once

#include <QImage>
#include <QWidget>

#include <memory>
#include <mutex>

#include "platform/media/video_output.h"

namespace vantorel::sender::app {

class VideoWindow : public QWidget, public media::VideoFrameSink {
 public:
  explicit VideoWindow(QWidget* parent);

  // Called on the video streaming thread: keeps the newest frame and asks the window's thread
  // to show it. The widget shows itself with the first frame.
  void OnVideoFrame(std::unique_ptr<media::VideoFrame> frame) override;
  // Drops the picture and hides the widget (the frame's centre shows again). Call after the
  // graph has stopped streaming.
  void Clear();

  const QImage& Picture() const { return picture_; }
  int FramesShown() const { return framesShown_; }
  // Where the picture stands inside the widget, aspect ratio kept.
  QRect PictureRect() const;

 protected:
  void paintEvent(QPaintEvent* e) override;

 private:
  void TakePendingFrame();

  std::mutex lock_;  // guards pending_, pendingAspect_ and takePosted_
  QImage pending_;
  double pendingAspect_ = 1.0;
  bool takePosted_ = false;

  QImage picture_;
  double pixelAspect_ = 1.0;
  int framesShown_ = 0;
};

}  // namespace vantorel::sender::app
