#include "receiver/receive_thread.h"

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <array>
#include <chrono>

#include "protocol/byte_io.h"
#include "protocol/wire_format.h"

namespace vantorel::receiver {

namespace {

// Datagrams should leave the socket as they arrive; where the system allows it the thread
// runs with a real-time priority, otherwise at the normal one.
void RaisePriority() {
  sched_param param{};
  param.sched_priority = sched_get_priority_min(SCHED_FIFO);
  pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
}

void Count(std::atomic<std::uint64_t>& counter) {
  counter.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

ReceiveThread::ReceiveThread(ReceiveOwner& owner, net::UdpSocket& socket, net::Endpoint wakeTarget,
                             DatagramQueueLimits limits, std::chrono::milliseconds senderSilence,
                             bool useParity, LockPolicy lock, SenderPreference preference)
    : owner_(owner),
      socket_(socket),
      wakeTarget_(wakeTarget),
      senderSilence_(senderSilence),
      useParity_(useParity),
      lockPolicy_(lock),
      preference_(Encode(preference)),
      queue_(limits),
      thread_([this] { Run(); }) {}

ReceiveThread::~ReceiveThread() {
  Stop();
}

void ReceiveThread::Stop() {
  if (!thread_.joinable()) return;
  stop_.store(true);
  static constexpr std::array<std::uint8_t, protocol::kWakeUpSize> kWakeUp{};
  const net::ConstBytes part{kWakeUp.data(), kWakeUp.size()};
  // Without a wake-up (no route to its address) nothing would end the blocked receive.
  const bool woken = socket_.SendTo(wakeTarget_, {&part, 1}) > 0;
  {
    std::unique_lock guard(exitLock_);
    const auto wait = std::chrono::milliseconds(woken ? kStopTimeoutMs : 0);
    if (!exited_.wait_for(guard, wait, [this] { return finished_; })) {
      socket_.ShutdownReceive();
    }
  }
  thread_.join();
}

void ReceiveThread::Run() {
  RaisePriority();
  const auto fresh = [] {
    return std::make_unique_for_overwrite<std::uint8_t[]>(kPayloadBufferSize);
  };
  std::array<std::unique_ptr<std::uint8_t[]>, kBatch> payloads;
  std::array<std::array<std::uint8_t, protocol::kRouteKeySize>, kBatch> keys{};
  std::array<net::ScatterPair, kBatch> into;
  std::array<net::ReceiveResult, kBatch> results;
  for (std::size_t i = 0; i < kBatch; ++i) {
    payloads[i] = fresh();
    into[i] = {keys[i], {payloads[i].get(), kPayloadBufferSize}};
  }
  pending_.reserve(kBatch);
  bool closed = false;
  while (!closed && !stop_.load()) {
    const std::size_t got = socket_.ReceiveMany(into, results);
    if (got == 0) {
      if (results[0].status == net::ReceiveStatus::kClosed) break;
      Count(receiveErrors_);
      BackOff();
      continue;
    }
    inHand_.store(true);
    backOff_ = std::chrono::milliseconds(0);
    Count(receiveCalls_);
    arrived_ = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < got && !closed; ++i) {
      const net::ReceiveResult& r = results[i];
      closed = r.status == net::ReceiveStatus::kClosed;
      if (closed) break;
      Count(datagrams_);
      if (r.length == protocol::kWakeUpSize) {
        Count(wakeUps_);
      } else if (r.status == net::ReceiveStatus::kTruncated) {
        Count(oversized_);
      } else if (r.length < protocol::kRouteKeySize) {
        Count(malformed_);
      } else if (Handle(payloads[i], protocol::LoadU32(keys[i].data()),
                        r.length - protocol::kRouteKeySize, r.source)) {
        payloads[i] = fresh();
        into[i].body = {payloads[i].get(), kPayloadBufferSize};
      }
    }
    Deliver();
    inHand_.store(false);
  }
  std::lock_guard guard(exitLock_);
  finished_ = true;
  exited_.notify_all();
}

bool ReceiveThread::Handle(std::unique_ptr<std::uint8_t[]>& payload, std::uint32_t key,
                           std::size_t length, const net::Endpoint& source) {
  const bool parity = useParity_ && key == protocol::kRouteKeyParity;
  const bool signature = key == protocol::kRouteKeySignature;
  const bool media = key == protocol::kRouteKeyMedia || parity;
  const bool end = key == protocol::kRouteKeyEndOfBroadcast;
  if (key == protocol::kRouteKeyAnnouncement) {
    // Every sender's announcements go on, whoever holds the lock: they make the list of
    // senders on the air. A flood of them must not push the media out of the queue.
    if (!announcementBudget_.Spend(arrived_)) {
      Count(announcementFlood_);
      return false;
    }
    Count(announcements_);
    return Queue(payload, DatagramKind::kAnnouncement, length, source);
  }
  if (!media && !end && !signature) {
    Count(unknownKey_);  // not a sender of ours: it neither locks nor is played
    return false;
  }
  if (media && length < protocol::kFragmentHeaderSize) {
    Count(malformed_);  // too short to be one of ours: it must not lock either
    return false;
  }
  const DatagramKind kind = end         ? DatagramKind::kEndOfBroadcast
                            : signature ? DatagramKind::kSignature
                            : parity    ? DatagramKind::kParity
                                        : DatagramKind::kMedia;
  if (lockPolicy_ == LockPolicy::kBySignature) return Queue(payload, kind, length, source);
  if (!Accept(source)) return false;
  if (!end) return Queue(payload, kind, length, source);
  // The media datagrams before it reach the owner first.
  Deliver();
  const std::uint32_t value = length >= 4 ? protocol::LoadU32(payload.get()) : 0;
  Count(owner_.Post(BroadcastEnded{value}) ? endOfBroadcast_ : postFailed_);
  return false;
}

bool ReceiveThread::Queue(std::unique_ptr<std::uint8_t[]>& payload, DatagramKind kind,
                          std::size_t length, const net::Endpoint& source) {
  pending_.push_back(
      Datagram{std::move(payload), length, kind, arrived_, {source.address, source.port}});
  if (kind == DatagramKind::kEndOfBroadcast) Count(endOfBroadcast_);
  return true;
}

void ReceiveThread::Deliver() {
  if (pending_.empty()) return;
  posted_.fetch_add(pending_.size(), std::memory_order_relaxed);
  if (!queue_.Push(pending_)) return;
  // The owner takes the whole batch when this event reaches it.
  if (!owner_.Post(DatagramsWaiting{})) {
    Count(postFailed_);
    queue_.Clear();
  }
}

bool ReceiveThread::Accept(const net::Endpoint& source) {
  const auto now = std::chrono::steady_clock::now();
  const SenderPreference preference = Preference();
  if (!preference.Allows({source.address, source.port})) {
    Count(foreignSender_);
    return false;
  }
  if (!locked_.load()) {
    sender_ = source;
    lastHeard_ = now;
    PublishSender();
    locked_.store(true);
    return true;
  }
  if (source == sender_) {
    lastHeard_ = now;
    return true;
  }
  // A preferred sender takes the lock over at once from one that is not.
  const bool preferred = preference.mode == SenderPreference::Mode::kOnly &&
                         !preference.Allows({sender_.address, sender_.port});
  if (!preferred && now - lastHeard_ < senderSilence_) {
    Count(foreignSender_);
    return false;
  }
  // The locked sender is gone (or paused for long): this one takes over. The owner rebuilds
  // its reception for it, so what is queued of the old sender, and this datagram, go unplayed.
  sender_ = source;
  lastHeard_ = now;
  PublishSender();
  Count(senderChanges_);
  pending_.clear();
  queue_.Clear();
  if (!owner_.Post(LockTaken{source})) Count(postFailed_);
  return false;
}

std::uint64_t ReceiveThread::Encode(const SenderPreference& preference) {
  return std::uint64_t{static_cast<std::uint8_t>(preference.mode)} << 48 |
         std::uint64_t{preference.only.address} << 16 | preference.only.port;
}

void ReceiveThread::SetPreference(const SenderPreference& preference) {
  preference_.store(Encode(preference));
}

SenderPreference ReceiveThread::Preference() const {
  const std::uint64_t v = preference_.load();
  return {static_cast<SenderPreference::Mode>(v >> 48),
          {static_cast<std::uint32_t>(v >> 16), static_cast<std::uint16_t>(v)}};
}

void ReceiveThread::PublishSender() {
  publishedSender_.store(kSenderKnown | (std::uint64_t{sender_.address} << 16) | sender_.port);
}

std::optional<net::Endpoint> ReceiveThread::LockedSender() const {
  const std::uint64_t v = publishedSender_.load();
  if ((v & kSenderKnown) == 0) return std::nullopt;
  return net::Endpoint{static_cast<std::uint32_t>(v >> 16), static_cast<std::uint16_t>(v)};
}

void ReceiveThread::BackOff() {
  static constexpr std::chrono::milliseconds kFirst{1}, kMost{200};
  backOff_ = std::min(kMost, backOff_ == backOff_.zero() ? kFirst : backOff_ * 2);
  std::unique_lock guard(exitLock_);
  // Stop wakes the loop through the socket; a sleeping loop notices at its next test.
  exited_.wait_for(guard, backOff_, [this] { return stop_.load(); });
}

ReceiveStats ReceiveThread::Stats() const {
  ReceiveStats s;
  s.datagrams = datagrams_.load();
  s.receiveCalls = receiveCalls_.load();
  s.posted = posted_.load();
  const DatagramQueueStats queue = queue_.Stats();
  s.queueOverflow = queue.droppedOverflow;
  s.discarded = queue.droppedCleared + queue.depth;
  s.endOfBroadcast = endOfBroadcast_.load();
  s.wakeUps = wakeUps_.load();
  s.foreignSender = foreignSender_.load();
  s.senderChanges = senderChanges_.load();
  s.receiveErrors = receiveErrors_.load();
  s.oversized = oversized_.load();
  s.malformed = malformed_.load();
  s.unknownKey = unknownKey_.load();
  s.postFailed = postFailed_.load();
  s.announcements = announcements_.load();
  s.announcementFlood = announcementFlood_.load();
  return s;
}

}  // namespace vantorel::receiver
