// Where the graphs send what they play, and the sender graph's options: free of GStreamer, so
// that the windows that choose them need not include it.
#pragma once

namespace vantorel::media {

class AudioLevel;
class VideoFrameSink;

// The sender's graph.
enum class OutputMode {
  // Streams are decoded: video to the video output, audio to the audio device.
  kPlay,
  // Streams go undecoded to clock-synchronised null sinks: the file plays in real time at the
  // cost of demuxing alone.
  kNullSinks,
};

struct GraphOptions {
  OutputMode output = OutputMode::kPlay;
  VideoFrameSink* videoFrames = nullptr;  // null: video goes to a null sink; not owned
  AudioLevel* audioLevel = nullptr;       // what the audio output follows; not owned
};

// The receiver's graph.
enum class ReceiverOutput {
  kDevices,    // video to `videoFrames` (or a null sink when none), audio to the audio device
  kNullSinks,  // decoded for real, then discarded by clock-synchronised null sinks
};

}  // namespace vantorel::media
