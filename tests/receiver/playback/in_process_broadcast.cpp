#include "tests/receiver/playback/in_process_broadcast.h"

#include <algorithm>

#include "protocol/byte_io.h"
#include "protocol/messages.h"

namespace vantorel::testing {

int InProcessBroadcast::Send(std::uint32_t, protocol::BufferList buffers) {
  SentDatagram d;
  d.sent = Clock::now();
  for (const protocol::Buffer& b : buffers)
    d.payload.insert(d.payload.end(), b.data, b.data + b.length);
  {
    std::lock_guard guard(lock_);
    CountMessageStart(d.payload);
    datagrams_.push_back(std::move(d));
  }
  ready_.notify_one();
  return 1;
}

// Fragment 0 holds message number, fragment word, channel word and length, then the body.
void InProcessBroadcast::CountMessageStart(const std::vector<std::uint8_t>& payload) {
  constexpr std::size_t kBody = protocol::kFirstFragmentHeaderSize;
  if (payload.size() < kBody + protocol::kHeaderWordSize) return;
  if ((protocol::LoadU32(payload.data() + 4) & protocol::kFragmentIndexMask) != 0) return;
  const std::uint8_t kind = payload[kBody + 3];
  ++totals_.messages;
  if (kind == static_cast<std::uint8_t>(protocol::BlockKind::kStreamDescription)) described_ = true;
  if (!described_) {
    ++totals_.undescribed;
    return;
  }
  if (payload.size() < kBody + protocol::kSampleMessageOverhead) return;
  const auto properties = protocol::DecodeSampleProperties(
      std::span(payload).subspan(kBody + 4).first<protocol::kSamplePropertiesSize>());
  if (protocol::ClassifyMessage(std::span(payload).subspan(kBody)) ==
          protocol::MessageKind::kSample &&
      (properties.sampleFlags & protocol::kSampleTimeValid) == 0) {
    ++totals_.untimedSamples;
  }
  if (kind == static_cast<std::uint8_t>(protocol::BlockKind::kSamplePropertiesVideo)) {
    ++totals_.videoSamples;
  } else if (kind == static_cast<std::uint8_t>(protocol::BlockKind::kSamplePropertiesAudio)) {
    ++totals_.audioSamples;
    if ((properties.sampleFlags & protocol::kSampleTimeValid) != 0) {
      totals_.audioFirst = std::min(totals_.audioFirst, properties.start);
      if (properties.start >= totals_.audioLast) {
        totals_.audioLast = properties.start;
        totals_.audioLastDuration = (properties.sampleFlags & protocol::kSampleStopValid) != 0
                                        ? properties.stop - properties.start
                                        : 0;
      }
    }
  }
}

std::optional<SentDatagram> InProcessBroadcast::Next(std::chrono::milliseconds wait) {
  std::unique_lock guard(lock_);
  if (!ready_.wait_for(guard, wait, [this] { return !datagrams_.empty(); })) return std::nullopt;
  SentDatagram d = std::move(datagrams_.front());
  datagrams_.pop_front();
  return d;
}

SentTotals InProcessBroadcast::Totals() const {
  std::lock_guard guard(lock_);
  return totals_;
}

void DecodeLog::OnDecoded(std::size_t pin, bool video, GstClockTime pts, GstClockTime duration,
                          GstClockTime runningTime) {
  std::lock_guard guard(lock_);
  decoded_.push_back(DecodedBuffer{pin, video, pts, duration, Clock::now(), runningTime});
}

std::vector<DecodedBuffer> DecodeLog::Take() const {
  std::lock_guard guard(lock_);
  return decoded_;
}

std::optional<Clock::time_point> DecodeLog::FirstVideo() const {
  std::lock_guard guard(lock_);
  for (const DecodedBuffer& d : decoded_) {
    if (d.video) return d.at;
  }
  return std::nullopt;
}

int SendTimes::Send(std::uint32_t key, protocol::BufferList buffers) {
  if (!buffers.empty()) {
    const std::span<const std::uint8_t> body(buffers[0].data, buffers[0].length);
    if (auto sample = protocol::ParseSampleMessage(body)) {
      const std::uint8_t kind = protocol::HeaderKind(protocol::LoadU32(body.data()));
      if ((sample->properties.sampleFlags & protocol::kSampleTimeValid) != 0) {
        sent_.emplace(std::make_pair(kind, sample->properties.start), current_);
      }
    }
  }
  return next_.Send(key, buffers);
}

std::optional<Clock::time_point> SendTimes::SentAt(std::uint8_t kind, std::int64_t start) const {
  auto it = sent_.find({kind, start});
  if (it == sent_.end()) return std::nullopt;
  return it->second;
}

}  // namespace vantorel::testing
