#include "sender/stream_multiplexer.h"

#include <vector>

#include "protocol/byte_io.h"
#include "protocol/wire_format.h"

namespace vantorel::sender {

namespace {
// A sample message (48 bytes of blocks + at most 2^24 - 1 data bytes) is the longest message.
constexpr std::uint64_t kMaxSenderMessage =
    protocol::kSampleMessageOverhead + static_cast<std::uint64_t>(protocol::kMaxSampleData);
}  // namespace

StreamMultiplexer::StreamMultiplexer(MillisecondClock& clock)
    : clock_(clock), lastTick_(clock.NowMs() - kTickIntervalMs) {}

bool StreamMultiplexer::RegisterStream(StreamClock* grabber, std::uint8_t flag,
                                       std::span<std::uint8_t> record) {
  std::lock_guard guard(lock_);
  if (streamCount_ == kMaxStreams || record.size() < protocol::kFormatRecordFixedSize ||
      totalSize_ + record.size() > protocol::kMaxDescriptionTotal) {
    return false;
  }
  streams_[streamCount_++] = Slot{grabber, record};
  streamFlags_ |= flag;
  totalSize_ += static_cast<std::uint32_t>(record.size());
  return true;
}

void StreamMultiplexer::SendDescription(std::uint32_t channel) {
  protocol::StoreU32(descriptionHeader_.data(),
                     protocol::MakeDescriptionHeaderWord(streamFlags_, totalSize_));
  std::array<protocol::Buffer, kMaxStreams + 1> list{};
  list[0] = protocol::MakeBuffer(descriptionHeader_.data(), descriptionHeader_.size());
  for (std::size_t i = 0; i < streamCount_; ++i) {
    Slot& s = streams_[i];
    const std::int64_t now = s.grabber != nullptr ? s.grabber->ReadClock() : 0;
    protocol::StoreU64(s.record.data() + protocol::kFormatRecordClockOffset,
                       static_cast<std::uint64_t>(now));
    list[i + 1] = protocol::MakeBuffer(s.record.data(), s.record.size());
  }
  Packetizer::Send(channel, protocol::BufferList(list.data(), streamCount_ + 1));
  ++stats_.descriptions;
}

int StreamMultiplexer::Send(std::uint32_t channel, protocol::BufferList buffers) {
  std::lock_guard guard(lock_);
  if (protocol::TotalLength(buffers) > kMaxSenderMessage) {
    ++stats_.droppedOversized;
    return 0;
  }
  const std::uint32_t now = clock_.NowMs();
  if (now - lastTick_ >= kTickIntervalMs) {
    lastTick_ = now;
    if (streamCount_ > 0) SendDescription(channel);
  }
  Packetizer::Send(channel, buffers);
  ++stats_.messages;
  return 1;
}

MultiplexerStats StreamMultiplexer::Stats() const {
  std::lock_guard guard(lock_);
  return stats_;
}

std::size_t StreamMultiplexer::StreamCount() const {
  std::lock_guard guard(lock_);
  return streamCount_;
}

}  // namespace vantorel::sender
