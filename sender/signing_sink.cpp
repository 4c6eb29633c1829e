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

// A group whose stream pauses (or a slow audio stream) is still signed after kGroupSpan, and
// a late copy still goes out kLateCopyDelay after the first ones.
void SigningSink::CloseInTime(std::stop_token stop) {
  std::unique_lock guard(lock_);
  while (!stop.stop_requested()) {
    auto deadline = Clock::time_point::max();
    if (!hashes_.empty()) deadline = opened_ + kGroupSpan;
    if (!lateCopy_.empty()) deadline = std::min(deadline, lateCopyMade_ + kLateCopyDelay);
    const std::uint64_t seen = changes_;
    const auto changed = [&] { return changes_ != seen; };
    if (deadline == Clock::time_point::max()) {
      groupOpened_.wait(guard, stop, changed);
      continue;
    }
    if (groupOpened_.wait_until(guard, stop, deadline, changed) || stop.stop_requested()) continue;
    const Clock::time_point now = now_();
    if (!hashes_.empty() && now - opened_ >= kGroupSpan) CloseGroup();
    if (!lateCopy_.empty() && now - lateCopyMade_ >= kLateCopyDelay) SendLateCopy();
  }
}

int SigningSink::Send(std::uint32_t key, protocol::BufferList buffers) {
  return SendBatch(key, {&buffers, 1});
}

int SigningSink::SendBatch(std::uint32_t key, std::span<const protocol::BufferList> lists) {
  std::lock_guard guard(lock_);
  const int sent = out_.SendBatch(key, lists);
  // The batch went out after the pending late copy was made: it counts towards its distance.
  sinceLateCopy_ += lists.size();
  if (!lateCopy_.empty() && sinceLateCopy_ >= kLateCopyAfter) SendLateCopy();
  const Clock::time_point now = now_();
  for (const protocol::BufferList& buffers : lists) {
    if (hashes_.empty()) {
      opened_ = now;
      ++changes_;
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
  SendLateCopy();
}

void SigningSink::SignAhead(std::uint32_t key, protocol::BufferList payload, int times) {
  std::lock_guard guard(lock_);
  CloseGroup();
  SendLateCopy();
  const protocol::DatagramHash hash = protocol::HashDatagram(key, payload);
  for (int i = 0; i < times && hashes_.size() < protocol::kMaxSignedDatagrams; ++i) {
    hashes_.push_back(hash);
  }
  CloseGroup();
  SendLateCopy();  // nothing follows the end for a late copy to wait behind
}

SigningStats SigningSink::Stats() const {
  std::lock_guard guard(lock_);
  return stats_;
}

void SigningSink::CloseGroup() {
  if (hashes_.empty()) return;
  const std::vector<std::uint8_t> payload =
      protocol::WriteSignatureDatagram(key_, counter_++, hashes_);
  for (int i = 0; i < repeats_; ++i) Put(payload);
  ++stats_.signatures;
  stats_.signedDatagrams += hashes_.size();
  // A lost signature loses its whole group: with repeats it gets a third copy, later, out of
  // reach of the burst of loss that may take the first two.
  hashes_.clear();
  if (repeats_ < 2) return;
  SendLateCopy();
  lateCopy_ = payload;
  lateCopyMade_ = now_();
  sinceLateCopy_ = 0;
  ++changes_;
  groupOpened_.notify_one();
}

void SigningSink::SendLateCopy() {
  if (lateCopy_.empty()) return;
  Put(lateCopy_);
  lateCopy_.clear();
  ++changes_;
}

void SigningSink::Put(const std::vector<std::uint8_t>& payload) {
  const protocol::Buffer buffer = protocol::MakeBuffer(payload.data(), payload.size());
  out_.Send(protocol::kRouteKeySignature, {&buffer, 1});
  ++stats_.signatureDatagrams;
  stats_.signatureBytes += payload.size();
}

}  // namespace vantorel::sender
