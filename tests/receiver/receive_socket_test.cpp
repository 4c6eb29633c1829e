// Real sockets on 127.0.0.1 only: the receiver binds to loopback and sends its wake-up datagram
// there, and every test sender sends there. Nothing in these tests leaves the machine.
#include "receiver/receive_socket.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <iostream>
#include <mutex>

#include "protocol/byte_io.h"
#include "protocol/messages.h"
#include "receiver/reassembler.h"
#include "sender/packetizer.h"
#include "sender/udp_broadcast_sink.h"
#include "tests/protocol/recording_sink.h"

namespace vantorel::receiver {
namespace {

using testing::Bytes;
using testing::Pattern;
using namespace std::chrono_literals;

// Stands in for the reception: keeps what the receive thread posts. With a source, a datagram
// wake-up takes the queued batch at once and records each datagram as its own entry; without
// one, the owner stalls and the datagrams stay queued.
class CollectingWindow : public ReceiveOwner {
 public:
  struct Posted {
    enum Kind { kDatagram, kEndOfBroadcast, kLockTaken };
    Kind kind = kDatagram;
    std::size_t length = 0;   // of a datagram
    std::uint32_t value = 0;  // of an end of broadcast
    net::Endpoint sender;     // that took the lock
    bool hasBuffer = false;   // a datagram taken with its payload
    Bytes payload;
  };

  // Called on the receive thread.
  bool Post(ReceiveEvent event) override {
    std::vector<Posted> entries;
    ReceiveSocket* source = source_.load();
    if (std::holds_alternative<DatagramsWaiting>(event)) {
      if (source == nullptr) {
        entries.push_back(Posted{Posted::kDatagram, 0, 0, {}, false, {}});
      } else {
        for (const Datagram& d : source->TakeDatagrams()) {
          entries.push_back(Posted{Posted::kDatagram,
                                   d.length,
                                   0,
                                   {},
                                   true,
                                   Bytes(d.payload.get(), d.payload.get() + d.length)});
        }
      }
    } else if (const auto* ended = std::get_if<BroadcastEnded>(&event)) {
      entries.push_back(Posted{Posted::kEndOfBroadcast, 0, ended->value, {}, false, {}});
    } else {
      entries.push_back(
          Posted{Posted::kLockTaken, 0, 0, std::get<LockTaken>(event).sender, false, {}});
    }
    {
      std::lock_guard guard(lock_);
      for (Posted& p : entries) posted_.push_back(std::move(p));
      ++messages_;
    }
    changed_.notify_all();
    return true;
  }

  void TakeFrom(ReceiveSocket* source) { source_.store(source); }
  std::size_t Messages() {
    std::lock_guard guard(lock_);
    return messages_;
  }

  // Waits (at most 10 s, against a hang) until n messages have arrived; returns them all.
  std::vector<Posted> WaitFor(std::size_t n) {
    std::unique_lock guard(lock_);
    changed_.wait_for(guard, 10s, [&] { return posted_.size() >= n; });
    return posted_;
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<Posted> posted_;
  std::size_t messages_ = 0;
  std::atomic<ReceiveSocket*> source_{nullptr};
};

// A test sender: its own socket on 127.0.0.1 with a port of its own.
class Sender {
 public:
  Sender() { socket_.Bind(net::Endpoint{net::kLoopbackAddress, 0}); }
  DatagramSource Source() const {
    const net::Endpoint at = socket_.LocalEndpoint().value_or(net::Endpoint{});
    return {at.address, at.port};
  }
  void Send(std::uint16_t port, const Bytes& datagram) {
    const net::ConstBytes part{datagram.data(), datagram.size()};
    ASSERT_EQ(socket_.SendTo(net::Endpoint{net::kLoopbackAddress, port}, {&part, 1}),
              static_cast<long>(datagram.size()));
  }

 private:
  net::UdpSocket socket_;
};

Bytes Keyed(std::uint32_t key, const Bytes& payload) {
  Bytes d(4 + payload.size());
  protocol::StoreU32(d.data(), key);
  if (!payload.empty()) std::memcpy(d.data() + 4, payload.data(), payload.size());
  return d;
}
Bytes Media(const Bytes& payload) {
  return Keyed(protocol::kRouteKeyMedia, payload);
}
Bytes MediaOfTotalSize(std::size_t datagramSize) {
  return Media(Pattern(datagramSize - 4, 1));
}
// A media datagram that tests send last, to know that everything before it was handled.
Bytes Marker() {
  return Media(Pattern(12, 200));
}

ReceiveOptions LoopbackOptions(std::uint16_t port = 0) {
  return ReceiveOptions{port, net::kLoopbackAddress, net::kLoopbackAddress, {}};
}

class ReceiveSocketTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(socket_.IsOpen());
    ASSERT_NE(Port(), 0);
    window_.TakeFrom(&socket_);
  }
  void TearDown() override { window_.TakeFrom(nullptr); }
  std::uint16_t Port() const { return socket_.LocalPort(); }

  CollectingWindow window_;
  ReceiveSocket socket_{window_, LoopbackOptions()};
  Sender a_, b_;
};

TEST_F(ReceiveSocketTest, MediaDatagramIsPostedWithItsPayload) {
  const Bytes payload = Pattern(20, 5);
  a_.Send(Port(), Media(payload));
  const auto posted = window_.WaitFor(1);
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].kind, CollectingWindow::Posted::kDatagram);
  EXPECT_EQ(posted[0].length, 20u);
  EXPECT_TRUE(posted[0].hasBuffer);
  EXPECT_EQ(posted[0].payload, payload);
}

TEST_F(ReceiveSocketTest, LargestSenderDatagramIsPostedWhole) {
  a_.Send(Port(), MediaOfTotalSize(1472));
  a_.Send(Port(), MediaOfTotalSize(1476));  // fills the payload buffer exactly
  const auto posted = window_.WaitFor(2);
  ASSERT_EQ(posted.size(), 2u);
  EXPECT_EQ(posted[0].length, 1468u);
  EXPECT_EQ(posted[0].payload, Pattern(1468, 1));
  EXPECT_EQ(posted[1].length, 1472u);
}

TEST_F(ReceiveSocketTest, OversizedDatagramIsDroppedAndReceptionGoesOn) {
  a_.Send(Port(), MediaOfTotalSize(1477));
  a_.Send(Port(), MediaOfTotalSize(9000));
  a_.Send(Port(), Marker());
  const auto posted = window_.WaitFor(1);
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].payload, Pattern(12, 200));
  EXPECT_EQ(socket_.Stats().oversized, 2u);
}

TEST_F(ReceiveSocketTest, OneByteDatagramsAreNeverPosted) {
  b_.Send(Port(), Bytes{0});  // before the lock: it must not lock onto b
  a_.Send(Port(), Media(Pattern(8)));
  b_.Send(Port(), Bytes{0});
  a_.Send(Port(), Bytes{0x0A});
  a_.Send(Port(), Marker());
  const auto posted = window_.WaitFor(2);
  ASSERT_EQ(posted.size(), 2u);
  EXPECT_EQ(posted[1].payload, Pattern(12, 200));
  const ReceiveStats stats = socket_.Stats();
  EXPECT_EQ(stats.wakeUps, 3u);
  EXPECT_EQ(stats.foreignSender, 0u);
}

TEST_F(ReceiveSocketTest, DatagramsTooShortForTheirHeaderAreDropped) {
  a_.Send(Port(), Bytes{0x0A, 0x1A});
  a_.Send(Port(), Bytes{0x0A, 0x1A, 0x00});
  for (std::size_t payload = 0; payload < 8; ++payload) a_.Send(Port(), Media(Pattern(payload)));
  a_.Send(Port(), Media(Pattern(8)));  // the shortest datagram that can carry a fragment
  a_.Send(Port(), Marker());
  const auto posted = window_.WaitFor(2);
  ASSERT_EQ(posted.size(), 2u);
  EXPECT_EQ(posted[0].length, 8u);
  EXPECT_EQ(socket_.Stats().malformed, 10u);
}

TEST_F(ReceiveSocketTest, DatagramTooShortForItsHeaderDoesNotLock) {
  b_.Send(Port(), Media(Pattern(3)));
  a_.Send(Port(), Media(Pattern(10)));
  a_.Send(Port(), Marker());
  const auto posted = window_.WaitFor(2);
  ASSERT_EQ(posted.size(), 2u);
  EXPECT_EQ(posted[0].length, 10u);
  EXPECT_EQ(socket_.Stats().foreignSender, 0u);
}

TEST_F(ReceiveSocketTest, DatagramWithAnUnknownKeyNeitherLocksNorIsPosted) {
  b_.Send(Port(), Keyed(1234, Pattern(20)));
  a_.Send(Port(), Media(Pattern(10)));
  b_.Send(Port(), Media(Pattern(11)));
  a_.Send(Port(), Keyed(0, Pattern(12)));
  a_.Send(Port(), Marker());
  const auto posted = window_.WaitFor(2);
  ASSERT_EQ(posted.size(), 2u);
  EXPECT_EQ(posted[0].length, 10u);
  const ReceiveStats stats = socket_.Stats();
  EXPECT_EQ(stats.unknownKey, 2u);
  EXPECT_EQ(stats.foreignSender, 1u);
}

TEST_F(ReceiveSocketTest, OnlyTheFirstSenderHeardIsPlayed) {
  a_.Send(Port(), Media(Pattern(30)));
  b_.Send(Port(), Media(Pattern(31)));
  b_.Send(Port(), Keyed(protocol::kRouteKeyEndOfBroadcast, Bytes(4)));
  a_.Send(Port(), Marker());
  const auto posted = window_.WaitFor(2);
  ASSERT_EQ(posted.size(), 2u);
  EXPECT_EQ(posted[0].length, 30u);
  EXPECT_EQ(posted[1].payload, Pattern(12, 200));
  EXPECT_EQ(socket_.Stats().foreignSender, 2u);
}

// A sender that pauses keeps the lock; one that stays silent longer than the bound loses it to
// the next foreign sender, which is announced to the window (not played: the window rebuilds).
TEST(ReceiveSocketLockTest, ASilentSenderLosesTheLockAndAPausedOneKeepsIt) {
  CollectingWindow window;
  ReceiveOptions options = LoopbackOptions();
  options.senderSilence = 150ms;
  ReceiveSocket socket(window, options);
  ASSERT_TRUE(socket.IsOpen());
  window.TakeFrom(&socket);
  Sender a, b;
  a.Send(socket.LocalPort(), Media(Pattern(30)));
  b.Send(socket.LocalPort(), Media(Pattern(31)));  // a is live: ignored
  ASSERT_EQ(window.WaitFor(1).size(), 1u);
  const std::optional<net::Endpoint> first = socket.LockedSender();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->address, net::kLoopbackAddress);
  std::this_thread::sleep_for(250ms);
  a.Send(socket.LocalPort(), Media(Pattern(32)));  // a resumes without a foreign one between
  ASSERT_EQ(window.WaitFor(2).size(), 2u);
  std::this_thread::sleep_for(250ms);
  b.Send(socket.LocalPort(), Media(Pattern(33)));  // takes the lock from the silent a
  b.Send(socket.LocalPort(), Media(Pattern(34)));
  a.Send(socket.LocalPort(), Media(Pattern(35)));  // now a is the foreign one
  b.Send(socket.LocalPort(), Marker());
  const auto posted = window.WaitFor(5);
  window.TakeFrom(nullptr);
  ASSERT_EQ(posted.size(), 5u);
  EXPECT_EQ(posted[1].length, 32u);
  EXPECT_EQ(posted[2].kind, CollectingWindow::Posted::kLockTaken);
  EXPECT_EQ(posted[2].sender.address, net::kLoopbackAddress);
  EXPECT_NE(posted[2].sender.port, first->port);
  EXPECT_EQ(socket.LockedSender()->port, posted[2].sender.port);
  EXPECT_EQ(posted[3].length, 34u);
  EXPECT_EQ(posted[4].payload, Pattern(12, 200));
  const ReceiveStats stats = socket.Stats();
  EXPECT_EQ(stats.senderChanges, 1u);
  EXPECT_EQ(stats.foreignSender, 2u);
}

// Announcements of every sender go on, whoever holds the lock, and lock nothing; a flood of
// them is cut to the rate a room of senders sends.
TEST_F(ReceiveSocketTest, EverySendersAnnouncementsGoOnWithinTheRate) {
  const Bytes announcement = Keyed(protocol::kRouteKeyAnnouncement, Pattern(40));
  a_.Send(Port(), Media(Pattern(30)));
  for (int i = 0; i < 100; ++i) b_.Send(Port(), announcement);
  a_.Send(Port(), Marker());
  const auto posted = window_.WaitFor(2 + static_cast<std::size_t>(kAnnouncementBurst));
  std::this_thread::sleep_for(20ms);
  const ReceiveStats stats = socket_.Stats();
  EXPECT_GE(stats.announcements, static_cast<std::uint64_t>(kAnnouncementBurst));
  EXPECT_LT(stats.announcements, 100u);
  EXPECT_EQ(stats.announcements + stats.announcementFlood, 100u);
  EXPECT_EQ(stats.foreignSender, 0u);
  EXPECT_EQ(socket_.LockedSender()->port, a_.Source().port);
}

// A preferred sender takes the lock at once from another (which the window is told, as for a
// silent one); the one not preferred never gets it back, and with nobody preferred nothing
// plays.
TEST(ReceiveSocketLockTest, APreferredSenderTakesTheLockAtOnce) {
  CollectingWindow window;
  ReceiveOptions options = LoopbackOptions();
  options.senderSilence = 50ms;
  ReceiveSocket socket(window, options);
  ASSERT_TRUE(socket.IsOpen());
  window.TakeFrom(&socket);
  Sender a, b;
  a.Send(socket.LocalPort(), Media(Pattern(30)));
  ASSERT_EQ(window.WaitFor(1).size(), 1u);
  socket.SetPreference(SenderPreference::Only(b.Source()));
  a.Send(socket.LocalPort(), Media(Pattern(31)));
  b.Send(socket.LocalPort(), Media(Pattern(32)));  // takes over: the window rebuilds
  b.Send(socket.LocalPort(), Media(Pattern(33)));
  std::this_thread::sleep_for(100ms);
  a.Send(socket.LocalPort(), Media(Pattern(34)));  // silent long enough, still not preferred
  b.Send(socket.LocalPort(), Media(Pattern(35)));
  auto posted = window.WaitFor(4);
  ASSERT_EQ(posted.size(), 4u);
  EXPECT_EQ(posted[1].kind, CollectingWindow::Posted::kLockTaken);
  EXPECT_EQ(posted[1].sender.port, b.Source().port);
  EXPECT_EQ(posted[2].length, 33u);
  EXPECT_EQ(posted[3].length, 35u);
  socket.SetPreference(SenderPreference::Nobody());
  b.Send(socket.LocalPort(), Media(Pattern(36)));
  std::this_thread::sleep_for(50ms);
  window.TakeFrom(nullptr);
  EXPECT_EQ(window.WaitFor(5).size(), 4u);
  const ReceiveStats stats = socket.Stats();
  EXPECT_EQ(stats.senderChanges, 1u);
  EXPECT_EQ(stats.foreignSender, 3u);
}

TEST_F(ReceiveSocketTest, EndOfBroadcastPostsItsOwnMessage) {
  a_.Send(Port(), Keyed(protocol::kRouteKeyEndOfBroadcast, Bytes{0x04, 0x03, 0x02, 0x01}));
  a_.Send(Port(), Keyed(protocol::kRouteKeyEndOfBroadcast, Bytes{}));
  const auto posted = window_.WaitFor(2);
  ASSERT_EQ(posted.size(), 2u);
  for (const auto& p : posted) {
    EXPECT_EQ(p.kind, CollectingWindow::Posted::kEndOfBroadcast);
    EXPECT_EQ(p.length, 0u);
    EXPECT_FALSE(p.hasBuffer);
  }
  EXPECT_EQ(posted[0].value, 0x01020304u);
  EXPECT_EQ(posted[1].value, 0u);
}

// Waits (at most 10 s, against a hang) until the thread has queued n datagrams.
bool WaitQueued(const ReceiveSocket& socket, std::uint64_t n) {
  for (int i = 0; i < 1000 && socket.Stats().posted < n; ++i) std::this_thread::sleep_for(10ms);
  return socket.Stats().posted >= n;
}

// Bursts of datagrams sent in one segmented send arrive together; taken several per call,
// every one reaches the window once, in the order sent, with an end of broadcast after the
// datagrams sent before it.
TEST_F(ReceiveSocketTest, BatchedReceiveKeepsEveryDatagramInOrder) {
  sender::UdpBroadcastSink sink(Port(), net::kLoopbackAddress);
  ASSERT_TRUE(sink.IsOpen());
  constexpr std::uint32_t kBursts = 40, kBurst = 40;
  std::vector<Bytes> payloads(kBurst);
  std::vector<protocol::Buffer> buffers(kBurst);
  std::vector<protocol::BufferList> lists(kBurst);
  for (std::uint32_t burst = 0; burst < kBursts; ++burst) {
    for (std::uint32_t i = 0; i < kBurst; ++i) {
      payloads[i] = Pattern(1468, static_cast<std::uint8_t>(i));
      protocol::StoreU32(payloads[i].data(), burst * kBurst + i);
      buffers[i] = protocol::MakeBuffer(payloads[i].data(), payloads[i].size());
      lists[i] = protocol::BufferList(&buffers[i], 1);
    }
    sink.SendBatch(protocol::kRouteKeyMedia, lists);
    // The socket's buffer holds a few bursts; this one is queued before the next goes.
    ASSERT_TRUE(WaitQueued(socket_, (burst + 1) * kBurst));
  }
  const Bytes end{1, 0, 0, 0};
  const protocol::Buffer e = protocol::MakeBuffer(end.data(), end.size());
  sink.Send(protocol::kRouteKeyEndOfBroadcast, {&e, 1});
  const auto posted = window_.WaitFor(kBursts * kBurst + 1);
  ASSERT_EQ(posted.size(), kBursts * kBurst + 1);
  for (std::uint32_t n = 0; n < kBursts * kBurst; ++n) {
    ASSERT_EQ(posted[n].kind, CollectingWindow::Posted::kDatagram) << n;
    ASSERT_EQ(testing::WordAt(posted[n].payload, 0), n);
    ASSERT_EQ(posted[n].payload.size(), 1468u);
  }
  EXPECT_EQ(posted.back().kind, CollectingWindow::Posted::kEndOfBroadcast);
  const ReceiveStats stats = socket_.Stats();
  EXPECT_EQ(stats.posted, kBursts * kBurst);
  EXPECT_LT(stats.receiveCalls * 2, stats.datagrams);
}

// A window that stops taking datagrams costs the queue's bound and no more: the oldest are
// freed and counted, the newest wait, and the stalled window was woken only once.
TEST(ReceiveSocketQueueTest, StalledWindowKeepsTheNewestDatagramsWithinTheBound) {
  CollectingWindow stalled;
  ReceiveOptions options = LoopbackOptions();
  options.queueLimits = DatagramQueueLimits{16, 1u << 20};
  ReceiveSocket socket(stalled, options);
  ASSERT_TRUE(socket.IsOpen());
  Sender a;
  constexpr int kSent = 100;
  for (int i = 0; i < kSent; ++i) a.Send(socket.LocalPort(), Media(Pattern(40, i)));
  ASSERT_TRUE(WaitQueued(socket, kSent));
  EXPECT_EQ(socket.Stats().queueOverflow, kSent - 16u);
  EXPECT_EQ(stalled.Messages(), 1u);
  const std::deque<Datagram> queued = socket.TakeDatagrams();
  ASSERT_EQ(queued.size(), 16u);
  for (std::size_t i = 0; i < queued.size(); ++i) {
    EXPECT_EQ(Bytes(queued[i].payload.get(), queued[i].payload.get() + queued[i].length),
              Pattern(40, static_cast<int>(kSent - 16 + i)));
  }
  // Taken, the queue wakes the window for the next datagram again.
  a.Send(socket.LocalPort(), Marker());
  EXPECT_EQ(stalled.WaitFor(2).size(), 2u);
}

TEST(ReceiveSocketQueueTest, ByteBoundDropsOldestAndTakingRearmsTheWakeUp) {
  CollectingWindow stalled;
  ReceiveOptions options = LoopbackOptions();
  options.queueLimits = DatagramQueueLimits{1000, 10 * 100};
  ReceiveSocket socket(stalled, options);
  ASSERT_TRUE(socket.IsOpen());
  Sender a;
  for (int i = 0; i < 30; ++i) a.Send(socket.LocalPort(), Media(Pattern(100, i)));
  ASSERT_TRUE(WaitQueued(socket, 30));
  EXPECT_EQ(socket.Stats().queueOverflow, 20u);
  EXPECT_FALSE(socket.AllTaken()) << "datagrams wait in the queue";
  EXPECT_EQ(socket.TakeDatagrams().size(), 10u);
  EXPECT_TRUE(socket.AllTaken());
  a.Send(socket.LocalPort(), Marker());
  EXPECT_EQ(stalled.WaitFor(2).size(), 2u);
  EXPECT_EQ(socket.Stats().queueOverflow, 20u);
}

// A datagram not yet received still counts as waiting: the parity stage's clock waits for it.
TEST(ReceiveSocketQueueTest, ADatagramInTheSocketIsUnread) {
  net::UdpSocket socket;
  ASSERT_TRUE(socket.Bind(net::Endpoint{net::kLoopbackAddress, 0}));
  const std::uint16_t port = socket.LocalEndpoint().value_or(net::Endpoint{}).port;
  EXPECT_FALSE(socket.HasUnread());
  Sender a;
  a.Send(port, Marker());
  EXPECT_TRUE(socket.HasUnread()) << "loopback delivers before the send returns";
  std::array<std::uint8_t, 4> head{};
  Bytes body(64);
  EXPECT_EQ(socket.ReceiveFrom(head, body).status, net::ReceiveStatus::kOk);
  EXPECT_FALSE(socket.HasUnread());
}

// The sender's chain on one side, the receiver's on the other, over the loopback interface.
TEST_F(ReceiveSocketTest, MessagesCrossFromPacketizerToReassembler) {
  sender::UdpBroadcastSink sink(Port(), net::kLoopbackAddress);
  sender::Packetizer packetizer;
  packetizer.AddRoute(protocol::kRouteKeyMedia, &sink);
  const Bytes data = Pattern(5000, 3);
  auto sample = protocol::SampleMessageBuffers::Make(protocol::StreamKind::kVideo, {}, data);
  packetizer.Send(protocol::kChannelMessage, sample->Buffers());
  sink.SendEndOfBroadcast(1, 0);

  const auto posted = window_.WaitFor(5);
  ASSERT_EQ(posted.size(), 5u);
  Reassembler reassembler;
  testing::RecordingSink delivered;
  reassembler.AddRoute(protocol::kChannelMessage, &delivered);
  for (std::size_t i = 0; i < 4; ++i) {
    ASSERT_EQ(posted[i].kind, CollectingWindow::Posted::kDatagram);
    EXPECT_EQ(posted[i].length, i < 3 ? 1468u : 5048u - 1452 - 2 * 1460 + 8);
    const protocol::Buffer b = protocol::MakeBuffer(posted[i].payload.data(), posted[i].length);
    EXPECT_EQ(reassembler.Send(1, {&b, 1}), 1);
  }
  EXPECT_EQ(posted[4].kind, CollectingWindow::Posted::kEndOfBroadcast);
  ASSERT_EQ(delivered.entries.size(), 1u);
  EXPECT_EQ(delivered.entries[0].bytes, testing::Flatten(sample->Buffers()));
}

TEST(ReceiveSocketLifeTest, StopsAThreadBlockedInReceive) {
  CollectingWindow window;
  auto socket = std::make_unique<ReceiveSocket>(window, LoopbackOptions());
  ASSERT_TRUE(socket->IsOpen());
  std::this_thread::sleep_for(50ms);  // lets the thread reach its blocking receive
  const auto start = std::chrono::steady_clock::now();
  socket.reset();
  const auto elapsed = std::chrono::steady_clock::now() - start;
  std::cout << "stopped in "
            << std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count() << " us\n";
  EXPECT_LT(elapsed, std::chrono::milliseconds(ReceiveThread::kStopTimeoutMs));
  EXPECT_TRUE(window.WaitFor(0).empty());  // the wake-up datagram is not posted
}

// The wake-up goes to another loopback address that this socket does not listen on, so it
// never arrives: the stop must fall back to shutting the socket down under the thread.
TEST(ReceiveSocketLifeTest, StopFallsBackToShutdownWhenTheWakeUpIsLost) {
  constexpr std::uint32_t kOtherLoopback = 0x7F000002u;  // 127.0.0.2
  CollectingWindow window;
  auto socket = std::make_unique<ReceiveSocket>(
      window, ReceiveOptions{0, net::kLoopbackAddress, kOtherLoopback, {}});
  ASSERT_TRUE(socket->IsOpen());
  std::this_thread::sleep_for(50ms);
  const auto start = std::chrono::steady_clock::now();
  socket.reset();
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_GE(elapsed, std::chrono::milliseconds(ReceiveThread::kStopTimeoutMs - 100));
  EXPECT_TRUE(window.WaitFor(0).empty());
}

// A socket that fails every receive (here: closed under the thread) costs a few wake-ups a
// second, not a core; and with no way to send the wake-up the stop does not wait for it.
TEST(ReceiveSocketLifeTest, FailingReceivesBackOffAndAnUnsendableWakeUpStopsAtOnce) {
  CollectingWindow window;
  net::UdpSocket closed;
  closed.Close();
  auto thread =
      std::make_unique<ReceiveThread>(window, closed, net::Endpoint{net::kLoopbackAddress, 9});
  std::this_thread::sleep_for(500ms);
  const auto start = std::chrono::steady_clock::now();
  thread->Stop();
  const auto elapsed = std::chrono::steady_clock::now() - start;
  const ReceiveStats stats = thread->Stats();
  EXPECT_GT(stats.receiveErrors, 0u);
  EXPECT_LT(stats.receiveErrors, 50u);
  EXPECT_LT(elapsed, 1s);
  EXPECT_TRUE(window.WaitFor(0).empty());
}

// Bound to the loopback interface by name and to the port on every address: datagrams to
// 127.0.0.1 arrive, and the stop's wake-up reaches the socket, so the stop does not wait.
TEST(ReceiveSocketLifeTest, ABoundDeviceStillReceivesAndIsWokenAtStop) {
  CollectingWindow window;
  ReceiveOptions options{0, net::kAnyAddress, net::kLoopbackAddress, {}};
  options.interfaceName = "lo";
  auto socket = std::make_unique<ReceiveSocket>(window, options);
  ASSERT_TRUE(socket->IsOpen());
  window.TakeFrom(socket.get());
  Sender a;
  a.Send(socket->LocalPort(), Marker());
  ASSERT_EQ(window.WaitFor(1).size(), 1u);
  window.TakeFrom(nullptr);
  const auto start = std::chrono::steady_clock::now();
  socket->Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  EXPECT_EQ(socket->Stats().wakeUps, 1u);
}

TEST(ReceiveSocketLifeTest, AnUnknownInterfaceLeavesTheSocketClosed) {
  CollectingWindow window;
  ReceiveOptions options = LoopbackOptions();
  options.interfaceName = "vantorel-none0";
  const ReceiveSocket socket(window, options);
  EXPECT_FALSE(socket.IsOpen());
}

TEST(ReceiveSocketLifeTest, TwoReceiversMayShareOnePort) {
  CollectingWindow first, second;
  ReceiveSocket a(first, LoopbackOptions());
  ASSERT_TRUE(a.IsOpen());
  ReceiveSocket b(second, LoopbackOptions(a.LocalPort()));
  EXPECT_TRUE(b.IsOpen());
  EXPECT_EQ(b.LocalPort(), a.LocalPort());
}

}  // namespace
}  // namespace vantorel::receiver
