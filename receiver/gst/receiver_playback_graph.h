// The receiver's graph on GStreamer: a pipeline holding the StreamSourceFilter, and for each of
// its first two pins that some decoder takes, decodebin and the output chain (video to the
// window's video area or a null sink, audio to the audio device or, without one, to a
// clock-synchronised null sink). Pins that nothing renders are parked and never stream.
#pragma once

#include <gst/gst.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/media/gst_ptr.h"
#include "platform/media/output_modes.h"
#include "platform/media/video_output.h"
#include "receiver/gst/stream_source_filter.h"
#include "receiver/playback_graph.h"

namespace vantorel::receiver::gst {

// Told of every decoded buffer; called on the stream's streaming thread.
class DecodeObserver {
 public:
  virtual ~DecodeObserver() = default;
  // Nanoseconds: `pts` and `runningTime` on the receiving graph's running time.
  virtual void OnDecoded(std::size_t pin, bool video, GstClockTime pts, GstClockTime duration,
                         GstClockTime runningTime) = 0;
};

struct ReceiverGraphOptions {
  media::ReceiverOutput output = media::ReceiverOutput::kDevices;
  media::VideoFrameSink* videoFrames = nullptr;  // not owned
  DecodeObserver* observer = nullptr;            // not owned
  media::AudioLevel* audioLevel = nullptr;       // what the audio output follows; not owned
};

class GstPlaybackGraphBuilder : public receiver::GraphBuilder {
 public:
  explicit GstPlaybackGraphBuilder(ReceiverGraphOptions options = {}) : options_(options) {}
  std::unique_ptr<receiver::RenderedGraph> Build(receiver::SourcePins& pins) override;
  // True when the audio output found no device in any graph built so far.
  bool NoAudioDevice() const { return noAudioDevice_.load(); }

 private:
  ReceiverGraphOptions options_;
  std::atomic<bool> noAudioDevice_{false};
};

// Plays a receiving pipeline with running time 0 at `origin` on the monotonic clock, so that a
// buffer's time is the moment after the origin at which it is presented.
void PlayFrom(GstElement* pipeline, std::chrono::steady_clock::time_point origin);

// True when decodebin can find a decoder (or a parser in front of one) for these caps.
bool CanDecode(const GstCaps* caps);

}  // namespace vantorel::receiver::gst
