// The media graph on GStreamer: `filesrc ! parsebin`, and for each stream parsebin exposes a
// read-ahead queue, the first added filter that accepts the stream, and the output chain.
#pragma once

#include <gst/gst.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/media/gst_ptr.h"
#include "platform/media/output_modes.h"
#include "platform/media/video_output.h"
#include "sender/gst/screencast_portal.h"
#include "sender/media_graph.h"

namespace vantorel::sender::gst {

// A graph filter that is a GStreamer element with one "sink" and one "src" pad.
class GstGraphFilter : public GraphFilter {
 public:
  virtual GstElement* Element() = 0;
  // Called once the graph has linked both pads of the element with the stream's final caps,
  // before the stream's data flows, on the streaming thread that built the path.
  virtual void CompleteConnect(const GstCaps* caps) = 0;
};

class GstMediaGraph : public MediaGraph {
 public:
  // Nothing when GStreamer or its core elements are missing.
  static std::unique_ptr<GstMediaGraph> Create(const media::GraphOptions& options);
  ~GstMediaGraph() override;
  GstMediaGraph(const GstMediaGraph&) = delete;
  GstMediaGraph& operator=(const GstMediaGraph&) = delete;

  Status AddFilter(GraphFilter& filter) override;
  Status RemoveFilter(GraphFilter& filter) override;
  Status RenderFile(const std::string& path) override;
  Status RenderLive(const sender::LiveSource& source) override;
  bool IsLive() const override { return live_; }
  void SetMicrophoneMuted(bool muted) override;
  Status Run() override;
  Status Pause() override;
  Status Stop() override;
  Status GetDuration(double& seconds) override;
  Status GetCurrentPosition(double& seconds) override;
  Status PutCurrentPosition(double seconds) override;
  Status SetNotifyWindow(gui::Mailbox<GraphNotice>* owner) override;
  std::optional<GraphEvent> GetEvent() override;
  bool HasVideo() const override { return hasVideo_.load(); }
  OpenFindings Findings() const override;

  GstElement* Pipeline() const { return pipeline_.get(); }

 private:
  // Application message that the audio output posts when it found no device.
  static constexpr const char* kNoAudioDeviceMessage = "vantorel-no-audio-device";
  // Set on a decodebin once it has exposed its first pad.
  static constexpr const char* kDecodedMark = "vantorel-decoded";

  explicit GstMediaGraph(const media::GraphOptions& options);

  // Bus sync handler: runs on whichever thread posts the message.
  static GstBusSyncReply OnBusMessage(GstBus* bus, GstMessage* message, gpointer self);
  // parsebin's pad-added: runs on parsebin's streaming thread.
  static void OnStreamPad(GstElement* parsebin, GstPad* pad, gpointer self);
  // Event probe on a parsebin pad, on its streaming thread: the CAPS event builds the path.
  static GstPadProbeReturn OnFirstQueuedData(GstPad* pad, GstPadProbeInfo* info, gpointer self);
  static GstPadProbeReturn OnSegmentEvent(GstPad* pad, GstPadProbeInfo* info, gpointer self);
  static GstPadProbeReturn OnStreamEvent(GstPad* pad, GstPadProbeInfo* info, gpointer self);
  // decodebin's pad-added: runs on that decodebin's streaming thread.
  static void OnDecodedPad(GstElement* decodebin, GstPad* pad, gpointer self);
  // A read-ahead queue's "overrun", on the streaming thread that fills it.
  static void OnQueueFull(GstElement* queue, gpointer self);

  Status Render(const std::string& path);
  Status StartLive(const sender::LiveSource& source);
  // Each live branch is a bin with one ghost "src" pad that gives the encoded stream; null when
  // an element is missing.
  GstElement* MakeScreenBranch(const sender::LiveSource& source);
  GstElement* MakeCameraBranch(const sender::LiveSource& source);
  GstElement* MakeMicrophoneBranch(const sender::LiveSource& source);
  // The device whose branch holds the element that posted `message`.
  std::optional<sender::LiveDevice> DeviceOf(GstMessage* message) const;
  Status LiveFailure(sender::LiveDevice device, std::string reason);
  void NoteLiveError(GstMessage* message);
  void BuildStreamPath(GstPad* pad, const GstCaps* caps);
  void LinkStreamPath(GstPad* pad, const GstCaps* caps);
  GstGraphFilter* TakeFilterFor(const GstCaps* caps);
  GstElement* MakeStreamOutput();
  GstElement* MakeReadAheadQueue();
  Status WaitForState(GstClockTime timeout);
  Status WaitForStreams(GstClockTime timeout);
  Status WaitForDecoders(GstClockTime timeout);
  void Announce(media::MessagePtr message);
  void NoteMissing(GstMessage* message);
  void NoteRefusedStream(const GstCaps* caps);
  media::MessagePtr TakeError();
  // The failure for an error message that stops the open; keeps its text in the findings.
  Status ResultOfError(GstMessage* message);

  media::GraphOptions options_;
  media::ElementPtr pipeline_;
  media::BusPtr bus_;
  // Guards filters_, owner_, events_, findings_, queues_ and the stream counts.
  mutable std::mutex lock_;
  struct FilterSlot {
    GstGraphFilter* filter = nullptr;
    bool linked = false;
  };
  std::vector<FilterSlot> filters_;
  gui::Mailbox<GraphNotice>* owner_ = nullptr;
  std::deque<media::MessagePtr> events_;  // graph events not yet collected, oldest first
  OpenFindings findings_;
  std::vector<media::ElementPtr> queues_;  // each stream's read-ahead queue
  int streamsSeen_ = 0;
  int pathsPending_ = 0;
  int decodersPending_ = 0;               // decodebins that have neither exposed a pad nor failed
  std::condition_variable streamsFound_;  // a stream's path or decoder is done
  std::atomic<bool> hasVideo_{false};
  std::atomic<GstClockTime> seekTarget_{0};
  std::atomic<GstClockTime> contentOrigin_{GST_CLOCK_TIME_NONE};  // first segment's start
  std::atomic<bool> noAudioReported_{false};
  bool rendered_ = false;
  bool live_ = false;
  struct LiveBranch {
    sender::LiveDevice device;
    GstElement* bin;  // owned by the pipeline
  };
  std::vector<LiveBranch> liveBranches_;
  media::ElementPtr microphoneVolume_;
  // A Wayland desktop's shared screen: closed after the destructor has stopped the pipeline.
  std::unique_ptr<ScreenCastPortal> screenCast_;
};

class GstGraphFactory : public GraphFactory {
 public:
  explicit GstGraphFactory(media::GraphOptions options = {}) : options_(options) {}
  std::unique_ptr<MediaGraph> CreateGraph() override;

 private:
  media::GraphOptions options_;
};

}  // namespace vantorel::sender::gst
