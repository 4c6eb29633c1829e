// Where the graph's decoded video goes: frames in BGRx handed to whoever paints the video
// area, or nowhere (a clock-synchronised null sink) when nobody shows the video.
#pragma once

#include <gst/gst.h>
#include <gst/video/video.h>

#include <cstdint>
#include <memory>

#include "platform/media/gst_ptr.h"

namespace vantorel::media {

class AudioLevel;

// One decoded frame, mapped for reading: 4 bytes per pixel in B, G, R, x order. Owns the
// sample and its mapping; the bytes stay valid until the frame is dropped.
class VideoFrame {
 public:
  // Nothing when the sample carries no mappable video.
  static std::unique_ptr<VideoFrame> FromSample(SamplePtr sample);
  ~VideoFrame();
  VideoFrame(const VideoFrame&) = delete;
  VideoFrame& operator=(const VideoFrame&) = delete;

  int Width() const { return GST_VIDEO_FRAME_WIDTH(&frame_); }
  int Height() const { return GST_VIDEO_FRAME_HEIGHT(&frame_); }
  int Stride() const { return GST_VIDEO_FRAME_PLANE_STRIDE(&frame_, 0); }
  const std::uint8_t* Data() const {
    return static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame_, 0));
  }
  // Aspect ratio of one pixel (numerator, denominator), for keeping the picture's shape.
  int PixelAspectNumerator() const { return GST_VIDEO_INFO_PAR_N(&frame_.info); }
  int PixelAspectDenominator() const { return GST_VIDEO_INFO_PAR_D(&frame_.info); }

 private:
  VideoFrame() = default;
  bool mapped_ = false;
  GstVideoFrame frame_{};
};

class VideoFrameSink {
 public:
  virtual ~VideoFrameSink() = default;
  // Called on the video streaming thread, at the frame's presentation time. The receiver
  // takes the frame over (typically posting it to its window's thread).
  virtual void OnVideoFrame(std::unique_ptr<VideoFrame> frame) = 0;
};

// `videoconvertscale ! BGRx ! appsink` feeding `frames`, or a clock-synchronised fakesink when
// `frames` is null. Returns a floating element (a bin with one sink pad), or null.
GstElement* MakeVideoOutput(VideoFrameSink* frames);

// `audioconvert ! audioresample ! autoaudiosink`. Sets `noDevice` when autoaudiosink found no
// device and fell back to its clock-synchronised fake sink. Returns a floating bin, or null.
GstElement* MakeAudioOutput(bool& noDevice, AudioLevel* level = nullptr);

// True when audio would go to a null sink for want of a device: an output is made, asked, and
// let go again. Starts GStreamer when nobody has yet.
bool AudioDeviceMissing();

// A clock-synchronised sink that discards what it gets; floating.
GstElement* MakeNullSink();

}  // namespace vantorel::media
