// The browsers' side of vantorel-web: one GStreamer pipeline that lives as long as the program
// and takes the encoded streams of whichever reception graph runs (H.264 access units and Opus
// packets, see web_graph.h), and fans them out. Each viewer is a webrtcbin of its own with its
// own payloaders (every browser numbers its payload types as it likes); a Janus server, when
// one is given, gets the same RTP over UDP. A sender change replaces the graph behind the
// pipeline, not the pipeline: the viewers' connections stay up and the next pictures follow.
//
//   appsrc (H.264) -> h264parse -> tee -+-> queue -> rtph264pay -> webrtcbin (one per viewer)
//                                       +-> queue -> rtph264pay -> udpsink (Janus)
//   appsrc (Opus)  -> opusparse -> tee -+-> queue -> rtpopuspay -> the same webrtcbin
//                                       +-> queue -> rtpopuspay -> udpsink (Janus)
#pragma once

#include <gst/gst.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/media/gst_ptr.h"
#include "tools/web/viewer_host.h"

namespace vantorel::web {

struct WebOutputStats {
  std::uint64_t videoIn = 0;  // access units pushed in
  std::uint64_t audioIn = 0;  // Opus packets pushed in
  std::uint64_t viewersAdded = 0;
  std::uint64_t viewersFailed = 0;  // offers that got no answer, and connections that failed
  std::uint64_t keyFramesAsked = 0;
};

// Starts GStreamer once; false when it cannot. WebOutput::Create calls it.
bool StartGstreamer();

class WebOutput : public ViewerHost {
 public:
  // Asks the running graph for a key frame (a viewer joined, or a browser lost pictures).
  using KeyFrameRequest = std::function<void()>;

  // Nothing when an element cannot be made; `error` says which.
  static std::unique_ptr<WebOutput> Create(std::string& error);
  ~WebOutput() override;
  WebOutput(const WebOutput&) = delete;
  WebOutput& operator=(const WebOutput&) = delete;

  // The encoded streams, on the graphs' streaming threads. A sample's caps travel with it.
  void PushVideo(GstSample* sample);
  void PushAudio(GstSample* sample);
  // Whoever can make key frames now (the running graph), or nothing.
  void SetKeyFrameRequest(KeyFrameRequest request);

  // The addresses whose ICE candidates viewers get (an interface's address); empty: every
  // address of the host. Applies to viewers that join later.
  void SetIceAddresses(std::vector<std::string> addresses) { iceAddresses_ = std::move(addresses); }

  // Sends the RTP to a Janus streaming mountpoint from now on (main thread). Again: the
  // ports change.
  void PublishTo(const std::string& host, std::uint16_t videoPort, std::uint16_t audioPort);

  void Offer(const std::string& id, const std::string& sdp, const OfferCodecs& codecs,
             Done done) override;
  bool Remove(const std::string& id) override;
  std::size_t Viewers() const override;

  WebOutputStats Stats() const;

 private:
  struct Viewer;
  struct Branch;
  WebOutput() = default;
  bool Make(std::string& error);
  void AskKeyFrame();
  // Links a new branch of `count` elements after `tee`; nothing when it cannot.
  std::unique_ptr<Branch> AddBranch(GstElement* tee, GstElement* bin, const char* sinkName);
  void DropViewer(const std::string& id);
  // Takes the viewer's bin out of the pipeline.
  void Detach(Viewer& viewer);
  void FinishOffer(const std::string& id, OfferResult result);
  static void OnViewerState(GstElement* webrtc, GParamSpec*, gpointer self);
  static GstBusSyncReply OnBusMessage(GstBus*, GstMessage* message, gpointer);
  static GstPadProbeReturn OnUpstreamEvent(GstPad* pad, GstPadProbeInfo* info, gpointer self);

  media::ElementPtr pipeline_;
  media::BusPtr bus_;
  GstElement* videoSrc_ = nullptr;  // owned by the pipeline
  GstElement* audioSrc_ = nullptr;
  GstElement* videoTee_ = nullptr;
  GstElement* audioTee_ = nullptr;

  mutable std::mutex lock_;
  KeyFrameRequest keyFrame_;
  std::map<std::string, std::unique_ptr<Viewer>> viewers_;  // main thread only
  std::unique_ptr<Viewer> janus_;                           // main thread only
  std::vector<std::string> iceAddresses_;                   // main thread only
  std::atomic<std::uint64_t> videoIn_{0};
  std::atomic<std::uint64_t> audioIn_{0};
  std::atomic<std::uint64_t> viewersAdded_{0};
  std::atomic<std::uint64_t> viewersFailed_{0};
  std::atomic<std::uint64_t> keyFramesAsked_{0};
  // Guards the callbacks that reach the main context after the object is gone.
  std::shared_ptr<WebOutput*> self_ = std::make_shared<WebOutput*>(this);
};

}  // namespace vantorel::web
