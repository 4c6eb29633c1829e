// One opened media file: owns the graph and its transport control, and calls three hooks
// through which a derived class puts its own filters into the graph and takes them out again.
// Every operation runs on the owner window's thread. Times are seconds.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/gui/mailbox.h"
#include "sender/media_graph.h"

namespace vantorel::sender {

enum class PlayerState : int { kNoGraph = 0, kStopped = 1, kPaused = 2, kRunning = 3 };

// What HandleGraphEvents has seen since the graph was built.
struct GraphEventCounts {
  std::uint32_t completes = 0;
  std::uint32_t errors = 0;
  HRESULT lastError = S_OK;
  std::string lastErrorText;  // GStreamer's message for the last error
  bool noAudioDevice = false;
};

class GraphPlayer {
 public:
  // Playing at less than this before the end starts again from the beginning.
  static constexpr double kRestartMargin = 0.4;
  // After the end of the stream the graph rests this far before the end.
  static constexpr double kEndRestBack = 0.1;

  explicit GraphPlayer(std::unique_ptr<sender::GraphFactory> factory);
  virtual ~GraphPlayer();
  GraphPlayer(const GraphPlayer&) = delete;
  GraphPlayer& operator=(const GraphPlayer&) = delete;

  // Builds the graph for the file; each time graph events are queued, a GraphNotice is then
  // posted to `owner` (not owned). Leaves the player stopped at the start.
  HRESULT Open(gui::Mailbox<sender::GraphNotice>* owner, const std::string& path);
  // The same for a live source: the screen, a camera, the microphone.
  HRESULT OpenLive(gui::Mailbox<sender::GraphNotice>* owner, const sender::LiveSource& source);
  void Close();
  // What the last Open learned (missing decoders, streams no filter took, GStreamer's error);
  // kept after a failed open.
  const sender::OpenFindings& Findings() const { return findings_; }

  void SetVideoRect(int left, int top, int width, int height);
  double Duration();
  double Position();
  PlayerState State() const { return state_; }
  bool Loaded() const { return loaded_; }
  // A live source plays: no seeking, no end, and the position is the time on the air.
  bool Live() const { return live_; }
  void SetMicrophoneMuted(bool muted);

  HRESULT Play();
  HRESULT Pause();
  HRESULT Stop();
  HRESULT Seek(double seconds);
  // Collects every queued graph event; handles the end of the stream.
  HRESULT HandleGraphEvents();
  const GraphEventCounts& EventCounts() const { return events_; }

 protected:
  virtual void OnReset() {}
  // A live source resumes after a pause or a stop: its streams start a new segment.
  virtual void OnLiveResume() {}
  virtual HRESULT OnBuild(sender::MediaGraph&) { return S_OK; }
  virtual HRESULT OnTeardown(sender::MediaGraph&) { return S_OK; }

 private:
  struct VideoRect {
    int left = 0, top = 0, width = 0, height = 0;
  };

  // Builds the graph and renders into it with `render`.
  template <typename RenderInto>
  HRESULT Build(gui::Mailbox<sender::GraphNotice>* owner, bool live, RenderInto render);
  HRESULT OnComplete();
  void ResetPlayback();
  void CloseGraph();
  void ReleaseGraph();

  std::unique_ptr<sender::GraphFactory> factory_;
  std::unique_ptr<sender::MediaGraph> graph_;
  HRESULT creationResult_ = E_FAIL;
  gui::Mailbox<sender::GraphNotice>* owner_ = nullptr;
  PlayerState state_ = PlayerState::kNoGraph;
  bool loaded_ = false;
  bool live_ = false;
  bool resumeStartsSegment_ = false;  // a live source was paused or stopped after playing
  VideoRect videoRect_;
  GraphEventCounts events_;
  sender::OpenFindings findings_;
};

}  // namespace vantorel::sender
