#include "receiver/source_pins.h"

#include <algorithm>
#include <bit>

namespace vantorel::receiver {
namespace {

std::uint8_t KindOfRecord(const protocol::FormatRecord& record) {
  return static_cast<std::uint8_t>(protocol::FormatRecordKind(record.stream));
}

}  // namespace

SourcePin::SourcePin(std::uint8_t kind, protocol::FormatRecord record, std::int64_t delay,
                     PacketQueueLimits limits)
    : kind_(kind), record_(std::move(record)), queue_(limits), logic_(kind, record_, delay) {}

std::unique_ptr<SourcePins> SourcePins::Make(const protocol::StreamDescription& description,
                                             std::int64_t delay, PacketQueueLimits limits) {
  // One pin per stream flag, each made from the next record; records beyond the flags are not
  // used, and flags beyond the records have no record to make a pin from.
  const auto& records = description.records;
  const std::size_t count =
      std::min<std::size_t>(std::popcount(description.streamFlags), records.size());
  if (count == 0 || count > protocol::kMaxDescribedStreams) return nullptr;
  auto pins = std::unique_ptr<SourcePins>(new SourcePins);
  for (std::size_t i = 0; i < count; ++i) {
    pins->pins_.push_back(
        std::make_unique<SourcePin>(KindOfRecord(records[i]), records[i], delay, limits));
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
