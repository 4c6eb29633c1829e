#include "receiver/source_pins.h"

#include <bit>

namespace vantorel::receiver {
namespace {

std::uint8_t KindOfRecord(const protocol::FormatRecord& record) {
  return record.stream == protocol::StreamKind::kVideo ? kStreamKindVideo : kStreamKindAudio;
}

}  // namespace

SourcePin::SourcePin(std::uint8_t kind, protocol::FormatRecord record, std::int64_t delay,
                     PacketQueueLimits limits)
    : kind_(kind), record_(std::move(record)), queue_(limits), logic_(kind, record_, delay) {}

std::unique_ptr<SourcePins> SourcePins::Make(const protocol::StreamDescription& description,
                                             std::int64_t delay, PacketQueueLimits limits) {
  const auto& records = description.records;
  if (records.empty() || records.size() > protocol::kMaxDescribedStreams ||
      static_cast<std::size_t>(std::popcount(description.streamFlags)) != records.size()) {
    return nullptr;
  }
  auto pins = std::unique_ptr<SourcePins>(new SourcePins);
  for (const protocol::FormatRecord& record : records) {
    pins->pins_.push_back(std::make_unique<SourcePin>(KindOfRecord(record), record, delay, limits));
  }
  return pins;
}

RouteResult SourcePins::RoutePacket(std::span<const std::uint8_t> body) {
  const std::uint8_t kind = StreamKindOfPacket(body);
  if (kind == kStreamKindNone) return RouteResult::kNoStream;
  for (auto& pin : pins_) {
    if (pin->Kind() != kind) continue;
    // A pin with no decoder behind it would only pile packets up.
    if (!pin->Connected()) {
      pin->CountUnconnected();
      return RouteResult::kUnconnected;
    }
    if (!pin->Queue().Push(Packet(body.begin(), body.end()))) return RouteResult::kQueueStopped;
    return RouteResult::kQueued;
  }
  return RouteResult::kNoStream;
}

void SourcePins::ClearQueues() {
  for (auto& pin : pins_) pin->Queue().Clear();
}

}  // namespace vantorel::receiver
