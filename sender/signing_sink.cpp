#include "sender/signing_sink.h"

#include <algorithm>
#include <array>

#include "protocol/parity.h"
#include "protocol/wire_format.h"

namespace vantorel::sender {

namespace {

// Counters go on from the wall clock in microseconds: a sender started again later counts on
// from above where it stopped, so receivers that remember its last counter take it at once.
std::uint64_t FirstCounter() {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  return static_cast<std::uint64_t>(std::max<std::int64_t>(
      1, std::chrono::duration_cast<std::chrono::microseconds>(now).count()));
}

// Where a media datagram stands in its message: whether it begins a stream description, and
// whether it ends its message.
struct Place {
  bool beginsDescription = false;
  bool endsMessage = false;
};

Place PlaceOf(std::uint32_t key, protocol::BufferList buffers) {
  if (key != protocol::kRouteKeyMedia) return {};
  std::array<std::uint8_t, protocol::kFirstFragmentHeaderSize + protocol::kHeaderWordSize> head{};
  const std::size_t got = protocol::CopyPrefix(buffers, head);
  const auto id = protocol::ReadFragmentId(std::span(head).first(got));
  if (!id) return {};
  const bool first = id->fragment == 0 && got == head.size();
  const std::uint8_t kind = head[protocol::kFirstFragmentHeaderSize + 3];  // the word's top byte
  return {first && kind == static_cast<std::uint8_t>(protocol::BlockKind::kStreamDescription),
          id->last};
}

}  // namespace

SigningSink::SigningSink(protocol::PacketSink& out, protocol::SigningKey key, int repeats)
    : SigningSink(out, std::move(key), repeats, &Clock::now) {
  closer_ = std::jthread([this](std::stop_token stop) { CloseInTime(stop); });
}

SigningSink::SigningSink(protocol::PacketSink& out, protocol::SigningKey key, int repeats,
                         std::function<Clock::time_point()> now)
    : out_(out),
      key_(std::move(key)),
      fingerprint_(key_.FingerprintOf()),
      repeats_(std::clamp(repeats, 1, 2)),
      now_(std::move(now)),
      counter_(FirstCounter()) {
  hashes_.reserve(protocol::kMaxSignedDatagrams);
}

SigningSink::~SigningSink() {
  if (closer_.joinable()) {
    closer_.request_stop();
    closer_.join();
  }
}

// A group whose stream pauses (or a slow audio stream) is still signed after kGroupSpan.
void SigningSink::CloseInTime(std::stop_token stop) {
  std::unique_lock guard(lock_);
  while (!stop.stop_requested()) {
    if (hashes_.empty()) {
      groupOpened_.wait(guard, stop, [this] { return !hashes_.empty(); });
      continue;
    }
    const Clock::time_point opened = opened_;
    const bool replaced = groupOpened_.wait_until(
        guard, stop, opened + kGroupSpan, [&] { return hashes_.empty() || opened_ != opened; });
    if (!replaced && !stop.stop_requested()) CloseGroup();
  }
}

int SigningSink::Send(std::uint32_t key, protocol::BufferList buffers) {
  return SendBatch(key, {&buffers, 1});
}

int SigningSink::SendBatch(std::uint32_t key, std::span<const protocol::BufferList> lists) {
  std::lock_guard guard(lock_);
  const int sent = out_.SendBatch(key, lists);
  const Clock::time_point now = now_();
  for (const protocol::BufferList& buffers : lists) {
    if (hashes_.empty()) {
      opened_ = now;
      groupOpened_.notify_one();
    }
    hashes_.push_back(protocol::HashDatagram(key, buffers));
    const Place place = PlaceOf(key, buffers);
    describing_ = describing_ || place.beginsDescription;
    if (hashes_.size() == protocol::kMaxSignedDatagrams ||
        (place.endsMessage && (describing_ || now - opened_ >= kMessageSpan))) {
      describing_ = false;
      CloseGroup();
    }
  }
  if (!hashes_.empty() && now - opened_ >= kGroupSpan) CloseGroup();
  return sent;
}

void SigningSink::Flush() {
  std::lock_guard guard(lock_);
  CloseGroup();
}

void SigningSink::SignAhead(std::uint32_t key, protocol::BufferList payload, int times) {
  std::lock_guard guard(lock_);
  CloseGroup();
  const protocol::DatagramHash hash = protocol::HashDatagram(key, payload);
  for (int i = 0; i < times && hashes_.size() < protocol::kMaxSignedDatagrams; ++i) {
    hashes_.push_back(hash);
  }
  CloseGroup();
}

SigningStats SigningSink::Stats() const {
  std::lock_guard guard(lock_);
  return stats_;
}

void SigningSink::CloseGroup() {
  if (hashes_.empty()) return;
  const std::vector<std::uint8_t> payload =
      protocol::WriteSignatureDatagram(key_, counter_++, hashes_);
  const protocol::Buffer buffer = protocol::MakeBuffer(payload.data(), payload.size());
  for (int i = 0; i < repeats_; ++i) out_.Send(protocol::kRouteKeySignature, {&buffer, 1});
  ++stats_.signatures;
  stats_.signedDatagrams += hashes_.size();
  stats_.signatureDatagrams += static_cast<std::uint64_t>(repeats_);
  stats_.signatureBytes += static_cast<std::uint64_t>(repeats_) * payload.size();
  hashes_.clear();
}

}  // namespace vantorel::sender
