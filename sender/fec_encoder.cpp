#include "sender/fec_encoder.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "protocol/wire_format.h"

namespace vantorel::sender {

FecEncoder::FecEncoder(protocol::PacketSink& out, int percent)
    : FecEncoder(out, percent, &Clock::now) {
  if (percent_ > 0) closer_ = std::jthread([this](std::stop_token stop) { CloseInTime(stop); });
}

FecEncoder::FecEncoder(protocol::PacketSink& out, int percent,
                       std::function<Clock::time_point()> now)
    : out_(out), percent_(std::clamp(percent, 0, 100)), now_(std::move(now)) {}

FecEncoder::~FecEncoder() {
  if (closer_.joinable()) {
    closer_.request_stop();
    closer_.join();
  }
}

// A group whose stream pauses (or a slow audio stream) still gets its parity after kGroupSpan.
void FecEncoder::CloseInTime(std::stop_token stop) {
  std::unique_lock guard(lock_);
  while (!stop.stop_requested()) {
    if (ids_.empty()) {
      groupOpened_.wait(guard, stop, [this] { return !ids_.empty(); });
      continue;
    }
    const Clock::time_point opened = opened_;
    const bool replaced = groupOpened_.wait_until(
        guard, stop, opened + kGroupSpan, [&] { return ids_.empty() || opened_ != opened; });
    if (!replaced && !stop.stop_requested()) CloseGroup();
  }
}

std::size_t FecEncoder::ParitySymbols(std::size_t sources, int percent) {
  const std::size_t data = 2 * sources;
  const std::size_t wanted = (data * static_cast<std::size_t>(percent) + 99) / 100;
  return std::min(std::max(wanted, kMinParitySymbols), protocol::kMaxGroupSymbols - data);
}

int FecEncoder::Send(std::uint32_t key, protocol::BufferList buffers) {
  return SendBatch(key, {&buffers, 1});
}

int FecEncoder::SendBatch(std::uint32_t key, std::span<const protocol::BufferList> lists) {
  std::lock_guard guard(lock_);
  if (key != protocol::kRouteKeyMedia || percent_ == 0) return out_.SendBatch(key, lists);
  // A group's parity follows its last datagram: the media up to the one that closes a group
  // goes out before the group's parity.
  std::size_t unsent = 0;
  const auto sendThrough = [&](std::size_t i) {
    if (unsent > i) return;
    out_.SendBatch(key, lists.subspan(unsent, i + 1 - unsent));
    unsent = i + 1;
  };
  const Clock::time_point now = now_();
  for (std::size_t i = 0; i < lists.size(); ++i) {
    std::array<std::uint8_t, protocol::kFragmentHeaderSize> head{};
    const std::size_t length = protocol::TotalLength(lists[i]);
    if (length < head.size() || length > kSlot) continue;  // not grouped, only sent
    protocol::CopyPrefix(lists[i], head);
    const protocol::FragmentId id = *protocol::ReadFragmentId(head);
    // A group holds datagrams in sending order only; a new numbering starts a new group.
    if (!ids_.empty() && (now - opened_ >= kGroupSpan ||
                          !protocol::SamePlace(protocol::NextFragment(ids_.back()), id))) {
      sendThrough(i);
      CloseGroup();
    }
    Add(lists[i], length, id, now);
    if (ids_.size() == kMaxSources || (id.last && now - opened_ >= kGroupSpan)) {
      sendThrough(i);
      CloseGroup();
    }
  }
  if (unsent < lists.size()) out_.SendBatch(key, lists.subspan(unsent));
  return static_cast<int>(lists.size());
}

void FecEncoder::Add(protocol::BufferList buffers, std::size_t length,
                     const protocol::FragmentId& id, Clock::time_point now) {
  if (arena_.empty()) arena_.resize(kMaxSources * kSlot);
  std::uint8_t* slot = arena_.data() + ids_.size() * kSlot;
  for (const protocol::Buffer& b : buffers) {
    if (b.length == 0) continue;
    std::memcpy(slot, b.data, b.length);
    slot += b.length;
  }
  std::memset(slot, 0, kSlot - length);
  const bool opening = ids_.empty();
  if (opening) opened_ = now;
  ids_.push_back(id);
  lengths_.push_back(static_cast<std::uint16_t>(length));
  if (opening) groupOpened_.notify_one();
}

void FecEncoder::Flush() {
  std::lock_guard guard(lock_);
  CloseGroup();
}

FecStats FecEncoder::Stats() const {
  std::lock_guard guard(lock_);
  return stats_;
}

const protocol::ErasureCode& FecEncoder::CodeFor(std::size_t k, std::size_t p) {
  auto& code = codes_[{k, p}];
  if (!code) code = std::make_unique<protocol::ErasureCode>(k, p);
  return *code;
}

void FecEncoder::CloseGroup() {
  if (ids_.empty()) return;
  protocol::ParityGroup group;
  group.number = groupNumber_++;
  group.firstMessage = ids_.front().message;
  group.firstFragment = ids_.front().fragment;
  std::size_t longest = 0;
  for (std::size_t i = 0; i < ids_.size(); ++i) {
    longest = std::max<std::size_t>(longest, lengths_[i]);
    group.sources.push_back(
        static_cast<std::uint16_t>(lengths_[i] | (ids_[i].last ? protocol::kParitySourceLast : 0)));
    stats_.sourceBytes += lengths_[i];
  }
  const std::size_t size = (longest + 1) / 2;
  const std::size_t k = group.DataSymbols();
  const std::size_t p = ParitySymbols(ids_.size(), percent_);
  group.symbolSize = static_cast<std::uint16_t>(size);
  group.paritySymbols = static_cast<std::uint8_t>(p);

  // Each source fills two consecutive symbols, read in place: its slot is zeroed past its end.
  std::vector<const std::uint8_t*> data(k);
  for (std::size_t i = 0; i < ids_.size(); ++i) {
    data[2 * i] = arena_.data() + i * kSlot;
    data[2 * i + 1] = data[2 * i] + size;
  }
  parity_.resize(p * size);
  std::vector<std::uint8_t*> parity(p);
  for (std::size_t j = 0; j < p; ++j) parity[j] = parity_.data() + j * size;
  CodeFor(k, p).Encode(size, data.data(), parity.data());

  // The parity datagrams are equal in size: they go out in one batch.
  const std::size_t headerSize = protocol::ParityHeaderSize(ids_.size());
  std::vector<std::uint8_t> headers(p * headerSize);
  std::vector<protocol::Buffer> parts(2 * p);
  std::vector<protocol::BufferList> lists(p);
  for (std::size_t j = 0; j < p; ++j) {
    const std::span<std::uint8_t> header(headers.data() + j * headerSize, headerSize);
    WriteParityHeader(group, static_cast<std::uint8_t>(j), header);
    parts[2 * j] = protocol::MakeBuffer(header.data(), header.size());
    parts[2 * j + 1] = protocol::MakeBuffer(parity[j], size);
    lists[j] = protocol::BufferList(parts.data() + 2 * j, 2);
    stats_.parityBytes += headerSize + size;
  }
  out_.SendBatch(protocol::kRouteKeyParity, lists);
  ++stats_.groups;
  stats_.sourceDatagrams += ids_.size();
  stats_.parityDatagrams += p;
  ids_.clear();
  lengths_.clear();
}

}  // namespace vantorel::sender
