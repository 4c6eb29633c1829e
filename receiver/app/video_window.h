// The child window in the receiver's video area: shows the newest decoded frame scaled to fit,
// its aspect ratio kept, on black.
#pragma once

#include <QRect>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/media/video_output.h"

namespace vantorel::receiver_app {

// Where a picture of pictureWidth x pictureHeight pixels, each pixel parN:parD wide, goes in
// `area`: as large as fits, centred, its shape kept. Empty when there is nothing to show.
QRect FitPicture(const QRect& area, int pictureWidth, int pictureHeight, int parN = 1,
                 int parD = 1);

class VideoWindow : public QWidget, public media::VideoFrameSink {
 public:
  explicit VideoWindow(QWidget* parent);
  ~VideoWindow() override;

  // Called on the video streaming thread at the frame's presentation time: keeps the frame and
  // asks the window thread for a repaint.
  void OnVideoFrame(std::unique_ptr<media::VideoFrame> frame) override;
  // Drops the picture; the area turns black. Window thread, once no graph delivers any more.
  void Clear();
  // Frames that reached the area so far (any thread).
  std::uint64_t FramesReceived() const { return framesReceived_.load(); }

 protected:
  void paintEvent(QPaintEvent* e) override;

 private:
  std::mutex lock_;
  std::unique_ptr<media::VideoFrame> pending_;  // guarded by lock_
  std::unique_ptr<media::VideoFrame> shown_;    // window thread only
  std::atomic<bool> repaintQueued_{false};
  std::atomic<std::uint64_t> framesReceived_{0};
};

}  // namespace vantorel::receiver_app
