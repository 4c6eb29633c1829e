#include "platform/media/video_output.h"

#include <gst/app/gstappsink.h>

#include "platform/media/audio_level.h"
#include "platform/media/gst_ptr.h"

namespace vantorel::media {

namespace {

// A decoded picture waits in the appsink only until the next one: the painter always shows
// the newest frame, and a slow painter never makes memory grow.
constexpr guint kVideoSinkMaxBuffers = 1;
constexpr gint64 kVideoMaxLateness = 20 * GST_MSECOND;

// Hands a pulled sample's picture to the window; on the video streaming thread.
void Show(SamplePtr sample, gpointer user) {
  if (auto frame = VideoFrame::FromSample(std::move(sample))) {
    static_cast<VideoFrameSink*>(user)->OnVideoFrame(std::move(frame));
  }
}

GstFlowReturn OnNewSample(GstAppSink* appsink, gpointer user) {
  SamplePtr sample(gst_app_sink_pull_sample(appsink));
  if (!sample) return GST_FLOW_EOS;
  Show(std::move(sample), user);
  return GST_FLOW_OK;
}

// The picture a paused graph stops on (after a seek, or before Play): shown at once.
GstFlowReturn OnNewPreroll(GstAppSink* appsink, gpointer user) {
  SamplePtr sample(gst_app_sink_pull_preroll(appsink));
  if (sample) Show(std::move(sample), user);
  return GST_FLOW_OK;
}

// Wraps a chain of elements, linked in order, into a bin whose sink pad is the first one's.
GstElement* MakeChainBin(const char* name, std::initializer_list<GstElement*> chain) {
  GstElement* bin = gst_bin_new(name);
  GstElement* previous = nullptr;
  bool ok = true;
  for (GstElement* e : chain) {
    if (e == nullptr) {
      ok = false;
      continue;
    }
    gst_bin_add(GST_BIN(bin), e);
    if (previous != nullptr && !gst_element_link(previous, e)) ok = false;
    previous = e;
  }
  if (ok) {
    PadPtr target(gst_element_get_static_pad(*chain.begin(), "sink"));
    ok = gst_element_add_pad(bin, gst_ghost_pad_new("sink", target.get()));
  }
  if (!ok) {
    gst_object_ref_sink(bin);
    gst_object_unref(bin);
    return nullptr;
  }
  return bin;
}

}  // namespace

std::unique_ptr<VideoFrame> VideoFrame::FromSample(SamplePtr sample) {
  GstVideoInfo info;
  GstCaps* caps = gst_sample_get_caps(sample.get());
  GstBuffer* buffer = gst_sample_get_buffer(sample.get());
  if (caps == nullptr || buffer == nullptr || !gst_video_info_from_caps(&info, caps)) {
    return nullptr;
  }
  std::unique_ptr<VideoFrame> frame(new VideoFrame());
  // The mapped frame holds its own reference to the buffer. The sample is let go at once:
  // appsink reuses its sample object for the next buffer and must find it unshared.
  if (!gst_video_frame_map(&frame->frame_, &info, buffer, GST_MAP_READ)) return nullptr;
  frame->mapped_ = true;
  return frame;
}

VideoFrame::~VideoFrame() {
  if (mapped_) gst_video_frame_unmap(&frame_);
}

GstElement* MakeNullSink() {
  GstElement* sink = gst_element_factory_make("fakesink", nullptr);
  if (sink != nullptr) g_object_set(sink, "sync", TRUE, "async", TRUE, nullptr);
  return sink;
}

GstElement* MakeVideoOutput(VideoFrameSink* frames) {
  if (frames == nullptr) return MakeNullSink();
  GstElement* appsink = gst_element_factory_make("appsink", nullptr);
  if (appsink != nullptr) {
    CapsPtr caps(gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGRx", nullptr));
    // Like a video sink: a picture more than 20 ms late is dropped, and the decoder is told to
    // hurry (quality of service), so that a late start catches up at once.
    g_object_set(appsink, "caps", caps.get(), "sync", TRUE, "max-buffers", kVideoSinkMaxBuffers,
                 "drop", TRUE, "max-lateness", kVideoMaxLateness, "qos", TRUE, nullptr);
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = &OnNewSample;
    callbacks.new_preroll = &OnNewPreroll;
    gst_app_sink_set_callbacks(GST_APP_SINK(appsink), &callbacks, frames, nullptr);
  }
  return MakeChainBin("video-output",
                      {gst_element_factory_make("videoconvertscale", nullptr), appsink});
}

GstElement* MakeAudioOutput(bool& noDevice, AudioLevel* level) {
  noDevice = false;
  GstElement* sink = gst_element_factory_make("autoaudiosink", nullptr);
  if (sink != nullptr) {
    // autoaudiosink picks its device when it goes to READY; with no usable device it holds a
    // fake sink that keeps time with the clock.
    gst_element_set_state(sink, GST_STATE_READY);
    ElementPtr fallback(gst_bin_get_by_name(GST_BIN(sink), "fake-audio-sink"));
    noDevice = fallback != nullptr;
  } else {
    sink = MakeNullSink();
    noDevice = true;
  }
  if (level == nullptr) {
    return MakeChainBin("audio-output", {gst_element_factory_make("audioconvert", nullptr),
                                         gst_element_factory_make("audioresample", nullptr), sink});
  }
  GstElement* volume = gst_element_factory_make("volume", nullptr);
  GstElement* bin = MakeChainBin(
      "audio-output", {gst_element_factory_make("audioconvert", nullptr),
                       gst_element_factory_make("audioresample", nullptr), volume, sink});
  if (bin != nullptr) level->Follow(volume);
  return bin;
}

bool AudioDeviceMissing() {
  if (!gst_is_initialized()) gst_init(nullptr, nullptr);
  bool noDevice = false;
  GstElement* made = MakeAudioOutput(noDevice);
  if (made == nullptr) return true;
  const ElementPtr output(GST_ELEMENT(gst_object_ref_sink(made)));
  // The output chose its device on the way to READY; it is released again here.
  gst_element_set_state(output.get(), GST_STATE_NULL);
  return noDevice;
}

}  // namespace vantorel::media
