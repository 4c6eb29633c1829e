#include "sender/fec_encoder.h"

#include <algorithm>
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
  std::lock_guard guard(lock_);
  const int sent = out_.Send(key, buffers);
  if (key != protocol::kRouteKeyMedia || percent_ == 0) return sent;
  std::vector<std::uint8_t> payload;
  for (const protocol::Buffer& b : buffers)
    payload.insert(payload.end(), b.data, b.data + b.length);
  const auto id = protocol::ReadFragmentId(payload);
  if (!id || payload.size() > protocol::kMaxPacketizerDatagram) return sent;
  const Clock::time_point now = now_();
  // A group holds datagrams in sending order only; a new numbering starts a new group.
  if (!ids_.empty() && (now - opened_ >= kGroupSpan ||
                        !protocol::SamePlace(protocol::NextFragment(ids_.back()), *id))) {
    CloseGroup();
  }
  const bool opening = ids_.empty();
  if (opening) opened_ = now;
  ids_.push_back(*id);
  if (opening) groupOpened_.notify_one();
  sources_.push_back(std::move(payload));
  if (sources_.size() == kMaxSources || (id->last && now - opened_ >= kGroupSpan)) CloseGroup();
  return sent;
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
  if (sources_.empty()) return;
  protocol::ParityGroup group;
  group.number = groupNumber_++;
  group.firstMessage = ids_.front().message;
  group.firstFragment = ids_.front().fragment;
  std::size_t longest = 0;
  for (std::size_t i = 0; i < sources_.size(); ++i) {
    longest = std::max(longest, sources_[i].size());
    group.sources.push_back(static_cast<std::uint16_t>(
        sources_[i].size() | (ids_[i].last ? protocol::kParitySourceLast : 0)));
    stats_.sourceBytes += sources_[i].size();
  }
  const std::size_t size = (longest + 1) / 2;
  const std::size_t k = group.DataSymbols();
  const std::size_t p = ParitySymbols(sources_.size(), percent_);
  group.symbolSize = static_cast<std::uint16_t>(size);
  group.paritySymbols = static_cast<std::uint8_t>(p);

  // Each source, padded with zeros, fills two consecutive symbols.
  symbols_.assign((k + p) * size, 0);
  for (std::size_t i = 0; i < sources_.size(); ++i) {
    std::memcpy(symbols_.data() + 2 * i * size, sources_[i].data(), sources_[i].size());
  }
  std::vector<const std::uint8_t*> data(k);
  std::vector<std::uint8_t*> parity(p);
  for (std::size_t i = 0; i < k; ++i) data[i] = symbols_.data() + i * size;
  for (std::size_t j = 0; j < p; ++j) parity[j] = symbols_.data() + (k + j) * size;
  CodeFor(k, p).Encode(size, data.data(), parity.data());

  std::vector<std::uint8_t> header(protocol::ParityHeaderSize(sources_.size()));
  for (std::size_t j = 0; j < p; ++j) {
    WriteParityHeader(group, static_cast<std::uint8_t>(j), header);
    const protocol::Buffer parts[] = {protocol::MakeBuffer(header.data(), header.size()),
                                      protocol::MakeBuffer(parity[j], size)};
    out_.Send(protocol::kRouteKeyParity, parts);
    stats_.parityBytes += header.size() + size;
  }
  ++stats_.groups;
  stats_.sourceDatagrams += sources_.size();
  stats_.parityDatagrams += p;
  sources_.clear();
  ids_.clear();
}

}  // namespace vantorel::sender
