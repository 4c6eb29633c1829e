// The media graph as the player sees it: a file rendered into a playing pipeline, with
// transport control, position, and events collected by the owner window. This header is free
// of GStreamer so that the transport logic above it can be exercised with a graph of its own.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/gui/mailbox.h"
#include "protocol/media_type.h"
#include "sender/live_source.h"
#include "sender/media_error.h"
#include "sender/open_error.h"

namespace vantorel::sender {

// Tells the owner that graph events are queued: it collects them with GetEvent.
struct GraphNotice {};

// Event codes the graph reports, as the original framework numbered them.
inline constexpr std::int32_t EC_COMPLETE = 0x01;
inline constexpr std::int32_t EC_USERABORT = 0x02;
inline constexpr std::int32_t EC_ERRORABORT = 0x03;
// The machine has no audio device: audio plays to a clock-synchronised null sink. Reported
// once per graph.
inline constexpr std::int32_t EC_NO_AUDIO_DEVICE = 0x8001;

struct GraphEvent {
  std::int32_t code = 0;
  Status param;  // the failure for EC_ERRORABORT, with GStreamer's message
};

// A filter that the graph may place in the path of one of the file's streams.
class GraphFilter {
 public:
  virtual ~GraphFilter() = default;
  // True when the filter takes a stream of this type. Called on a streaming thread while the
  // graph builds the stream's path.
  virtual bool AcceptsInput(const protocol::MediaType& type) = 0;
  // True once the filter sits in a stream's path with both sides linked.
  virtual bool IsConnected() const = 0;
};

class MediaGraph {
 public:
  virtual ~MediaGraph() = default;

  virtual Status AddFilter(GraphFilter& filter) = 0;
  virtual Status RemoveFilter(GraphFilter& filter) = 0;
  // Builds the file's streams and leaves the graph paused at the start, ready to run.
  virtual Status RenderFile(const std::string& path) = 0;
  // Starts capturing and encoding the live source and builds its streams; leaves the graph
  // paused, ready to run. A device that does not start is named in Findings().failedDevice.
  virtual Status RenderLive(const sender::LiveSource&) { return Status(MediaErrc::kFailed); }
  // True once a live source is rendered: it cannot seek, and its position is the time it has
  // been running.
  virtual bool IsLive() const { return false; }
  // Silences the live source's microphone (its stream goes on, with silence).
  virtual void SetMicrophoneMuted(bool) {}

  virtual Status Run() = 0;
  virtual Status Pause() = 0;
  virtual Status Stop() = 0;

  // Seconds; failures when the graph cannot tell.
  virtual Status GetDuration(double& seconds) = 0;
  virtual Status GetCurrentPosition(double& seconds) = 0;
  virtual Status PutCurrentPosition(double seconds) = 0;

  // Events are announced to the owner (not owned) with one notice each; nullptr stops the
  // announcements (events still queue). Notices are posted from streaming threads.
  virtual Status SetNotifyWindow(gui::Mailbox<GraphNotice>* owner) = 0;
  // Takes the oldest queued event; nothing when none is left. Does not wait.
  virtual std::optional<GraphEvent> GetEvent() = 0;

  // True when a video stream is shown by the graph's video output.
  virtual bool HasVideo() const = 0;
  // What the graph learned while it rendered the file: the decoders it looked for and did not
  // find, the streams no filter took, and the error that stopped it.
  virtual OpenFindings Findings() const { return {}; }
};

class GraphFactory {
 public:
  virtual ~GraphFactory() = default;
  // Nothing when the graph cannot be created.
  virtual std::unique_ptr<MediaGraph> CreateGraph() = 0;
};

}  // namespace vantorel::sender
