// The whole chain in one process, without sockets: a sender session hands its datagrams to
// InProcessBroadcast (on the sender's streaming threads), and the test thread plays the part of
// the receiver window, feeding each datagram to a Reassembler routed to the playback graph.
#pragma once

#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "protocol/packet_sink.h"
#include "receiver/gst/receiver_playback_graph.h"

namespace vantorel::testing {

using Clock = std::chrono::steady_clock;

struct SentDatagram {
  std::vector<std::uint8_t> payload;  // after the route key, as the receive thread posts it
  Clock::time_point sent;
};

// Samples sent once the first stream description was out: what a receiver can play.
struct SentTotals {
  std::uint64_t undescribed = 0;  // samples sent before any description
  std::uint64_t videoSamples = 0;
  std::uint64_t audioSamples = 0;
  std::uint64_t untimedSamples = 0;  // described samples without a start time
  std::int64_t audioFirst = INT64_MAX, audioLast = INT64_MIN;  // start times, 100 ns units
  std::int64_t audioLastDuration = 0;  // of the sample that starts last, when it has a stop time
  std::uint64_t messages = 0;          // every message, described or not
  // The audio sent, in seconds: the time its start times span, with the last sample's duration.
  // The samples' own durations may add up to more than that (an MP3 parser's frames overlap by
  // their stamps), and a receiver plays by the start times.
  double AudioSeconds() const {
    return audioLast >= audioFirst ? (audioLast - audioFirst + audioLastDuration) / 1e7 : 0;
  }
};

// The sender's sink: keeps every datagram, and counts the samples of every message it sees
// begin. Send runs on the sender's streaming threads.
class InProcessBroadcast : public protocol::PacketSink {
 public:
  int Send(std::uint32_t key, protocol::BufferList buffers) override;
  // The oldest datagram not yet taken; waits up to `wait` for one.
  std::optional<SentDatagram> Next(std::chrono::milliseconds wait);
  SentTotals Totals() const;

 private:
  void CountMessageStart(const std::vector<std::uint8_t>& payload);

  mutable std::mutex lock_;
  std::condition_variable ready_;
  std::deque<SentDatagram> datagrams_;
  SentTotals totals_;
  bool described_ = false;
};

struct DecodedBuffer {
  std::size_t pin = 0;
  bool video = false;
  GstClockTime pts = GST_CLOCK_TIME_NONE;
  GstClockTime duration = GST_CLOCK_TIME_NONE;
  Clock::time_point at;
  GstClockTime runningTime = GST_CLOCK_TIME_NONE;  // when it left the decoder
};

// Collects what the receiver's decoders put out; called on their streaming threads.
class DecodeLog : public receiver::gst::DecodeObserver {
 public:
  void OnDecoded(std::size_t pin, bool video, GstClockTime pts, GstClockTime duration,
                 GstClockTime) override;
  std::vector<DecodedBuffer> Take() const;
  std::optional<Clock::time_point> FirstVideo() const;

 private:
  mutable std::mutex lock_;
  std::vector<DecodedBuffer> decoded_;
};

// Sits between the reassembler and the playback graph: notes when each sample message was
// sent (the send time of the datagram that completed it), keyed by stream kind and wire start
// time. Runs on the test thread.
class SendTimes : public protocol::PacketSink {
 public:
  explicit SendTimes(protocol::PacketSink& next) : next_(next) {}
  void SetCurrentSend(Clock::time_point t) { current_ = t; }
  int Send(std::uint32_t key, protocol::BufferList buffers) override;
  std::optional<Clock::time_point> SentAt(std::uint8_t kind, std::int64_t start) const;

 private:
  protocol::PacketSink& next_;
  Clock::time_point current_;
  std::map<std::pair<std::uint8_t, std::int64_t>, Clock::time_point> sent_;
};

}  // namespace vantorel::testing
