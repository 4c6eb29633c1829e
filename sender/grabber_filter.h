// Taps one stream of the playing graph: lets every buffer pass unchanged and hands its bytes
// and times to the stream multiplexer as sample messages; publishes the stream's format record
// once it sits in the stream's path.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "protocol/messages.h"
#include "sender/clock.h"
#include "sender/gst/grabber_element.h"
#include "sender/gst/gst_media_graph.h"
#include "sender/stream_multiplexer.h"

namespace vantorel::sender {

struct GrabberStats {
  std::uint64_t samples = 0;
  std::uint64_t segmentStarts = 0;
  std::uint64_t droppedOversized = 0;
  std::uint64_t unmappable = 0;
};

class GrabberFilter final : public sender::gst::GstGraphFilter,
                            public sender::gst::GrabberCallbacks,
                            public StreamClock {
 public:
  // `multiplexer` is borrowed and must outlive the grabber's element in a playing graph.
  GrabberFilter(std::uint8_t session, StreamMultiplexer* multiplexer, const char* name,
                protocol::StreamKind kind);
  ~GrabberFilter() override;
  GrabberFilter(const GrabberFilter&) = delete;
  GrabberFilter& operator=(const GrabberFilter&) = delete;

  // sender::gst::GstGraphFilter
  GstElement* Element() override { return element_.get(); }
  bool AcceptsInput(const protocol::MediaType& type) override {
    return SUCCEEDED(CheckInputType(type));
  }
  bool IsConnected() const override { return connected_.load(); }
  void CompleteConnect(const GstCaps* caps) override;

  // StreamClock: the pipeline clock in 100 ns, called by the multiplexer under its lock on
  // either streaming thread.
  std::int64_t ReadClock() override;

  // S_OK when the grabber takes a stream of this type (the grabber policy's answer).
  HRESULT CheckInputType(const protocol::MediaType& type);

  // Builds the format record once and registers it with the multiplexer.
  void PublishFormat();

  // sender::gst::GrabberCallbacks, on the stream's streaming thread.
  void NewSegment(const GstSegment& segment) override;
  void Transform(GstBuffer* buffer, const GstSegment& segment) override;
  void CapsReady(const GstCaps* caps) override;

  // A live stream's samples are timed from its pipeline's base time, which moves on at every
  // resume, as its running time does not restart; a file's from the clock at each segment.
  void SetLive(bool live) { live_.store(live); }
  // The next sample goes out after a new segment start (a live stream resumes).
  void StartNewSegment() { segmentPending_.store(true); }

  protocol::StreamKind Kind() const { return kind_; }
  GrabberStats Stats() const;
  // The published record (empty until published). Only for inspection after streaming.
  std::vector<std::uint8_t> FormatRecord() const;

 private:
  std::int64_t ReadClock100ns();
  std::int64_t BaseTime100ns();

  const std::uint8_t session_;
  StreamMultiplexer* const multiplexer_;
  const protocol::StreamKind kind_;
  media::ElementPtr element_;  // detached from this object before release
  std::atomic<bool> connected_{false};

  mutable std::mutex publishLock_;  // guards type_, allocator_ and record_
  std::optional<protocol::MediaType> type_;
  protocol::AllocatorProperties allocator_;
  // Registered with the multiplexer, which rewrites its clock field: never resized once
  // published.
  std::vector<std::uint8_t> record_;

  std::atomic<bool> live_{false};
  std::atomic<bool> segmentPending_{false};
  std::atomic<std::int64_t> segmentBase_{0};
  std::atomic<std::int64_t> lastClock_{0};
  std::atomic<std::uint64_t> samples_{0};
  std::atomic<std::uint64_t> segmentStarts_{0};
  std::atomic<std::uint64_t> droppedOversized_{0};
  std::atomic<std::uint64_t> unmappable_{0};
};

}  // namespace vantorel::sender
