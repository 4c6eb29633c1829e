// The sender's session for one opened file: a graph player whose graph carries the two
// grabbers, feeding a stream multiplexer that sends under the media route key to the sink.
#pragma once

#include <cstdint>
#include <memory>

#include "protocol/packet_sink.h"
#include "sender/grabber_filter.h"
#include "sender/graph_player.h"
#include "sender/gst/gst_media_graph.h"
#include "sender/stream_multiplexer.h"

namespace vantorel::sender {

// Samples of both streams since the graph was built.
struct SampleCounts {
  std::uint64_t sent = 0;
  // Longer than a message can carry (kMaxSampleData): never sent.
  std::uint64_t refusedOversized = 0;
};

class SenderSession : public GraphPlayer {
 public:
  // `sink` (not owned) takes the datagrams under the media route key: the program's
  // UdpBroadcastSink, or any PacketSink.
  SenderSession(std::uint8_t session, protocol::PacketSink* sink,
                const media::GraphOptions& options = {});
  // The same with graphs made by `graphs` instead of GStreamer's.
  SenderSession(std::uint8_t session, protocol::PacketSink* sink,
                std::unique_ptr<sender::GraphFactory> graphs);
  ~SenderSession() override;

  // True when either grabber got into a stream's path.
  bool IsStreaming() const;

  // Valid while a graph is built; for progress reports.
  const StreamMultiplexer* Multiplexer() const { return multiplexer_.get(); }
  const GrabberFilter* VideoGrabber() const { return videoGrabber_.get(); }
  const GrabberFilter* AudioGrabber() const { return audioGrabber_.get(); }
  // Live while the graph runs; final, and kept, once the session is closed.
  SampleCounts Samples() const;

 protected:
  void OnReset() override;
  HRESULT OnBuild(sender::MediaGraph& graph) override;
  HRESULT OnTeardown(sender::MediaGraph& graph) override;
  void OnLiveResume() override;

 private:
  const std::uint8_t session_;
  protocol::PacketSink* const sink_;
  std::uint32_t routeKey_ = protocol::kRouteKeyMedia;
  std::unique_ptr<StreamMultiplexer> multiplexer_;
  std::unique_ptr<GrabberFilter> videoGrabber_;
  std::unique_ptr<GrabberFilter> audioGrabber_;
  SampleCounts closedSamples_;
};

}  // namespace vantorel::sender
