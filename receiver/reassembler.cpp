#include "receiver/reassembler.h"

#include <limits>

#include "protocol/byte_io.h"

namespace vantorel::receiver {

using protocol::kFragmentHeaderSize;

namespace {
// The buffer is kept between messages up to this size, so that large frames reuse warm pages.
constexpr std::size_t kKeptCapacity = 4 * 1024 * 1024;
}  // namespace

Reassembler::Reassembler(std::uint32_t maxMessage) : maxMessage_(maxMessage) {}

void Reassembler::Discard() {
  assembling_ = false;
  message_.clear();
  if (message_.capacity() > kKeptCapacity) message_.shrink_to_fit();
  channel_ = announced_ = lastTaken_ = 0;
}

Reassembler::Outcome Reassembler::Drop(std::uint64_t& reason) {
  ++reason;
  return Outcome::kDropped;
}

// A message left unfinished is lost: its datagrams after the switch are dropped. The first
// number heard may be a message joined halfway, and numbers behind the newest (late copies)
// were counted already: neither counts.
void Reassembler::StartNumber(std::uint32_t number) {
  if (currentCounts_ && !completed_) ++stats_.lostMessages;
  // Modulo 2^32: a little below the newest is a late copy, far off either way a new numbering.
  const std::uint32_t ahead = number - newest_;
  const bool behind = ahead == 0 || ahead > std::numeric_limits<std::uint32_t>::max() - kCountedGap;
  currentCounts_ = numbered_ && !behind;
  if (currentCounts_ && ahead < kCountedGap) stats_.lostMessages += ahead - 1;
  if (!numbered_ || !behind) newest_ = number;
  numbered_ = true;
  completed_ = false;
  current_ = number;
}

int Reassembler::Send(std::uint32_t /*key*/, protocol::BufferList buffers) {
  ++stats_.datagrams;
  if (!buffers.empty()) stats_.bytes += buffers[0].length;
  if (buffers.empty() || buffers[0].data == nullptr || buffers[0].length < kFragmentHeaderSize) {
    Drop(stats_.malformed);
    return 0;
  }
  const std::uint8_t* p = buffers[0].data;
  const std::uint32_t length = buffers[0].length;
  const std::uint32_t number = protocol::LoadU32(p);
  const std::uint32_t word = protocol::LoadU32(p + 4);
  const std::uint32_t index = word & protocol::kFragmentIndexMask;
  const bool last = (word & protocol::kLastFragmentFlag) != 0;

  if (number != current_) {
    if (assembling_) ++stats_.abandoned;
    Discard();
    StartNumber(number);
  } else if (completed_) {
    ++stats_.repeated;
    return 1;
  }
  const std::uint8_t* body = p + kFragmentHeaderSize;
  const std::uint32_t bodyLength = length - kFragmentHeaderSize;
  switch (index == 0 ? TakeFirst(body, bodyLength) : Append(index, body, bodyLength)) {
    case Outcome::kDropped:
      return 0;
    case Outcome::kRepeated:
      return 1;
    case Outcome::kTaken:
      break;
  }
  return last ? Complete() : 1;
}

Reassembler::Outcome Reassembler::TakeFirst(const std::uint8_t* body, std::uint32_t bodyLength) {
  if (assembling_) {
    ++stats_.repeated;
    return Outcome::kRepeated;
  }
  if (bodyLength < 8) return Drop(stats_.malformed);
  const std::uint32_t announced = protocol::LoadU32(body + 4);
  if (announced > maxMessage_) return Drop(stats_.oversized);
  if (bodyLength - 8 > announced) return Drop(stats_.malformed);
  channel_ = protocol::LoadU32(body);
  announced_ = announced;
  // Reserving only maps address space: pages are touched as bytes arrive.
  message_.reserve(announced);
  message_.assign(body + 8, body + bodyLength);
  lastTaken_ = 0;
  assembling_ = true;
  return Outcome::kTaken;
}

Reassembler::Outcome Reassembler::Append(std::uint32_t index, const std::uint8_t* body,
                                         std::uint32_t bodyLength) {
  if (!assembling_) return Drop(stats_.lostFragment);
  if (index <= lastTaken_) {
    ++stats_.repeated;
    return Outcome::kRepeated;
  }
  if (index != lastTaken_ + 1) {
    Discard();
    return Drop(stats_.lostFragment);
  }
  if (bodyLength > announced_ - message_.size()) {
    Discard();
    return Drop(stats_.malformed);
  }
  message_.insert(message_.end(), body, body + bodyLength);
  lastTaken_ = index;
  return Outcome::kTaken;
}

int Reassembler::Complete() {
  if (message_.size() != announced_) {
    Discard();
    Drop(stats_.incomplete);
    return 0;
  }
  const protocol::Buffer entry = protocol::MakeBuffer(message_.data(), message_.size());
  ++stats_.delivered;
  completed_ = true;
  Dispatch(channel_, {&entry, 1});
  Discard();
  return 1;
}

}  // namespace vantorel::receiver
