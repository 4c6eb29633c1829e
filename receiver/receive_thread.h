// The receive loop on a thread of its own: takes every datagram waiting at each wake-up in one
// call, locks onto the first sender heard, hands the media datagrams to its owner through a
// bounded queue, a wake-up's worth at a time (each buffer changes owner with its datagram, and
// the owner is told once per batch), and turns end-of-broadcast datagrams into an event of their
// own. Touches only the socket, fresh buffers and the queue.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>
#include <variant>

#include "platform/gui/mailbox.h"
#include "platform/net/udp_socket.h"
#include "protocol/wire_format.h"
#include "receiver/datagram_queue.h"
#include "receiver/rate_budget.h"

namespace vantorel::receiver {

struct ReceiveStats {
  std::uint64_t datagrams = 0;      // everything the socket returned
  std::uint64_t receiveCalls = 0;   // the calls that returned them
  std::uint64_t posted = 0;         // media and parity datagrams queued for the reception
  std::uint64_t queueOverflow = 0;  // queued datagrams freed because the reception fell behind
  std::uint64_t endOfBroadcast = 0;
  std::uint64_t wakeUps = 0;
  std::uint64_t foreignSender = 0;
  std::uint64_t senderChanges = 0;  // the lock passed from a silent sender to another
  std::uint64_t receiveErrors = 0;  // failed receive calls (the loop backs off)
  std::uint64_t oversized = 0;      // larger than the receive buffers; the thread goes on
  std::uint64_t malformed = 0;      // too short for a route key and header
  std::uint64_t unknownKey = 0;
  std::uint64_t postFailed = 0;
  std::uint64_t announcements = 0;      // queued for the list of senders
  std::uint64_t announcementFlood = 0;  // beyond the rate a room of senders sends
  // Queued datagrams freed unplayed: what was left of a broadcast that ended or of a sender
  // that gave way to another.
  std::uint64_t discarded = 0;

  ReceiveStats& operator+=(const ReceiveStats& b) {
    datagrams += b.datagrams;
    receiveCalls += b.receiveCalls;
    posted += b.posted;
    queueOverflow += b.queueOverflow;
    endOfBroadcast += b.endOfBroadcast;
    wakeUps += b.wakeUps;
    foreignSender += b.foreignSender;
    senderChanges += b.senderChanges;
    receiveErrors += b.receiveErrors;
    oversized += b.oversized;
    malformed += b.malformed;
    unknownKey += b.unknownKey;
    postFailed += b.postFailed;
    announcements += b.announcements;
    announcementFlood += b.announcementFlood;
    discarded += b.discarded;
    return *this;
  }
};

// How long the locked sender may send nothing before another sender may take the lock. A
// paused sender sends nothing at all, so this is also the longest pause that keeps the lock
// when another sender is on the air.
inline constexpr std::chrono::milliseconds kSenderSilence{2000};
// Announcements taken per second, and in a burst: each sender sends about one a second.
inline constexpr double kAnnouncementsPerSecond = 64;
inline constexpr double kAnnouncementBurst = 64;

enum class LockPolicy { kFirstSender, kBySignature };

// What the receive thread tells its owner, in the order it happened.
// Datagrams wait in the queue: TakeDatagrams hands over the batch.
struct DatagramsWaiting {};
// The locked sender ended its broadcast; `value` is the first 4 payload bytes (0 from ours).
struct BroadcastEnded {
  std::uint32_t value = 0;
};
// The locked sender fell silent (or gave way to the chosen one) and `sender` took the lock.
struct LockTaken {
  net::Endpoint sender;
};
using ReceiveEvent = std::variant<DatagramsWaiting, BroadcastEnded, LockTaken>;
using ReceiveOwner = gui::Mailbox<ReceiveEvent>;

class ReceiveThread {
 public:
  static constexpr std::uint32_t kPayloadBufferSize = protocol::kReceivePayloadBuffer;
  // The most datagrams one receive call takes.
  static constexpr std::size_t kBatch = 32;
  static constexpr int kStopTimeoutMs = 3000;

  // Starts the loop at once. `wakeTarget` receives the one-byte wake-up datagram at stop.
  ReceiveThread(ReceiveOwner& owner, net::UdpSocket& socket, net::Endpoint wakeTarget,
                DatagramQueueLimits limits = {},
                std::chrono::milliseconds senderSilence = kSenderSilence, bool useParity = true,
                LockPolicy lock = LockPolicy::kFirstSender, SenderPreference preference = {});
  // Stops the loop: wake-up datagram, up to 3 s for the thread to notice (none when the
  // wake-up cannot be sent), then the socket is shut down under it; always joins. Idempotent;
  // the stats stay readable.
  void Stop();
  ~ReceiveThread();
  ReceiveThread(const ReceiveThread&) = delete;
  ReceiveThread& operator=(const ReceiveThread&) = delete;

  ReceiveStats Stats() const;
  bool Locked() const { return locked_.load(); }
  // Who may take the lock from now on (with the first-sender policy). A preferred sender that
  // arrives while another holds the lock takes it over at once. Any thread.
  void SetPreference(const SenderPreference& preference);
  // The sender the thread is locked onto; any thread.
  std::optional<net::Endpoint> LockedSender() const;

  // The datagrams queued since the last call, oldest first. Called on the consumer's thread
  // when DatagramsWaiting arrives.
  std::deque<Datagram> TakeDatagrams() { return queue_.TakeAll(); }
  // How many datagrams wait for the consumer.
  std::size_t Queued() const { return queue_.Stats().depth; }
  // Everything that arrived before the call was handed to the consumer: nothing waits in the
  // socket, in the thread's hands or in the queue. (A batch the kernel is copying out at that
  // very moment is not seen: microseconds.)
  bool AllTaken() const { return !inHand_.load() && Queued() == 0 && !socket_.HasUnread(); }

 private:
  void Run();  // called on the receive thread
  // Takes one datagram; true when its buffer went with it. Called on the receive thread.
  bool Handle(std::unique_ptr<std::uint8_t[]>& payload, std::uint32_t key, std::size_t length,
              const net::Endpoint& source);
  // Adds the datagram to this wake-up's batch (its buffer goes with it). Receive thread.
  bool Queue(std::unique_ptr<std::uint8_t[]>& payload, DatagramKind kind, std::size_t length,
             const net::Endpoint& source);
  // Queues the pending media datagrams and wakes the owner if it waits. Receive thread.
  void Deliver();
  // True when the datagram from `source` may go on: it is the locked sender's, or it takes
  // the lock (first sender heard, or the locked one has been silent too long).
  bool Accept(const net::Endpoint& source);  // called on the receive thread
  void PublishSender();                      // called on the receive thread
  static std::uint64_t Encode(const SenderPreference& preference);
  SenderPreference Preference() const;
  // Waits a little longer after each failed receive, up to a cap, unless stopping.
  void BackOff();  // called on the receive thread

  ReceiveOwner& owner_;
  net::UdpSocket& socket_;
  net::Endpoint wakeTarget_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> locked_{false};
  std::atomic<bool> inHand_{false};  // a batch received and not yet queued
  const std::chrono::milliseconds senderSilence_;
  const bool useParity_;
  const LockPolicy lockPolicy_;
  net::Endpoint sender_;  // receive thread only
  // sender_ for other threads: address << 16 | port, with kSenderKnown set once locked.
  static constexpr std::uint64_t kSenderKnown = std::uint64_t{1} << 48;
  std::atomic<std::uint64_t> publishedSender_{0};
  // The preference as mode << 48 | address << 16 | port.
  std::atomic<std::uint64_t> preference_{0};
  RateBudget announcementBudget_{kAnnouncementsPerSecond, kAnnouncementBurst};  // receive thread
  std::chrono::steady_clock::time_point lastHeard_;  // of sender_; receive thread only
  std::chrono::milliseconds backOff_{0};             // receive thread only
  DatagramQueue queue_;
  std::vector<Datagram> pending_;  // media datagrams of this wake-up; receive thread only
  std::chrono::steady_clock::time_point arrived_{};  // of this wake-up's datagrams

  std::mutex exitLock_;
  std::condition_variable exited_;
  bool finished_ = false;

  std::atomic<std::uint64_t> datagrams_{0}, receiveCalls_{0}, posted_{0}, endOfBroadcast_{0},
      wakeUps_{0}, foreignSender_{0}, senderChanges_{0}, receiveErrors_{0}, oversized_{0},
      malformed_{0}, unknownKey_{0}, postFailed_{0}, announcements_{0}, announcementFlood_{0};
  std::thread thread_;  // last: starts after every member above exists
};

}  // namespace vantorel::receiver
