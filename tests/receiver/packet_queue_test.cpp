#include "receiver/packet_queue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace vantorel::receiver {
namespace {

// A packet that carries its sequence number in its first four bytes.
Packet Numbered(std::uint32_t n, std::size_t size = 4) {
  Packet p(std::max<std::size_t>(size, 4));
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(n >> (8 * i));
  return p;
}

std::uint32_t NumberOf(const Packet& p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// Gives a consumer thread the time to reach its wait; the test holds either way.
void LetTheConsumerWait() {
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

TEST(PacketQueueTest, PopReturnsPacketsInOrderWithoutBlocking) {
  PacketQueue queue;
  for (std::uint32_t n = 0; n < 3; ++n) ASSERT_TRUE(queue.Push(Numbered(n, 10 + n)));
  EXPECT_EQ(queue.Stats().depth, 3u);
  EXPECT_EQ(queue.Stats().bytes, 33u);
  for (std::uint32_t n = 0; n < 3; ++n) {
    auto p = queue.Pop();
    ASSERT_TRUE(p);
    EXPECT_EQ(NumberOf(*p), n);
    EXPECT_EQ(p->size(), 10 + n);
  }
  EXPECT_FALSE(queue.TryPop());
  EXPECT_EQ(queue.Stats().popped, 3u);
  EXPECT_EQ(queue.Stats().bytes, 0u);
}

TEST(PacketQueueTest, ClearFreesPacketsAndStopsForGood) {
  PacketQueue queue;
  queue.Push(Numbered(1, 1000));
  queue.Push(Numbered(2, 1000));
  queue.Clear();
  EXPECT_TRUE(queue.Stopped());
  EXPECT_EQ(queue.Stats().depth, 0u);
  EXPECT_EQ(queue.Stats().bytes, 0u);
  EXPECT_FALSE(queue.Pop());  // at once: nothing left and the queue is stopped
  EXPECT_FALSE(queue.Push(Numbered(3)));
  EXPECT_FALSE(queue.Pop());
  EXPECT_FALSE(queue.TryPop());
  EXPECT_EQ(queue.Stats().droppedStopped, 1u);
  queue.Clear();
  EXPECT_TRUE(queue.Stopped());
}

TEST(PacketQueueTest, AtThePacketBoundTheOldestAreDropped) {
  PacketQueue queue(PacketQueueLimits{3, 1 << 20});
  for (std::uint32_t n = 0; n < 5; ++n) EXPECT_TRUE(queue.Push(Numbered(n)));
  EXPECT_EQ(queue.Stats().droppedOverflow, 2u);
  EXPECT_EQ(queue.Stats().depth, 3u);
  for (std::uint32_t n = 2; n < 5; ++n) EXPECT_EQ(NumberOf(*queue.Pop()), n);
}

TEST(PacketQueueTest, AtTheByteBoundTheOldestAreDropped) {
  PacketQueue queue(PacketQueueLimits{100, 25});
  queue.Push(Numbered(0, 10));
  queue.Push(Numbered(1, 10));
  queue.Push(Numbered(2, 5));  // 25 bytes: fits
  EXPECT_EQ(queue.Stats().droppedOverflow, 0u);
  queue.Push(Numbered(3, 12));  // pushes out packets 0 and 1
  EXPECT_EQ(queue.Stats().droppedOverflow, 2u);
  EXPECT_EQ(queue.Stats().bytes, 17u);
  EXPECT_EQ(NumberOf(*queue.Pop()), 2u);
  EXPECT_EQ(NumberOf(*queue.Pop()), 3u);
}

TEST(PacketQueueTest, PacketLargerThanTheByteBoundIsRefusedAlone) {
  PacketQueue queue(PacketQueueLimits{100, 25});
  queue.Push(Numbered(0, 10));
  EXPECT_FALSE(queue.Push(Numbered(1, 26)));
  EXPECT_EQ(queue.Stats().droppedOverflow, 1u);
  EXPECT_EQ(queue.Stats().depth, 1u);
  EXPECT_EQ(NumberOf(*queue.Pop()), 0u);
}

TEST(PacketQueueThreadTest, ClearWakesABlockedConsumer) {
  PacketQueue queue;
  std::optional<Packet> got = Numbered(99);
  std::thread consumer([&] { got = queue.Pop(); });
  LetTheConsumerWait();
  queue.Clear();
  consumer.join();
  EXPECT_FALSE(got);
}

// A flush wakes the consumer without ending its stream: the packets wait for it to resume.
TEST(PacketQueueThreadTest, InterruptWakesABlockedConsumerAndResumeGoesOn) {
  PacketQueue queue;
  std::optional<Packet> got = Numbered(99);
  std::thread consumer([&] { got = queue.Pop(); });
  LetTheConsumerWait();
  queue.Interrupt();
  consumer.join();
  EXPECT_FALSE(got);
  queue.Push(Numbered(5));
  EXPECT_FALSE(queue.Pop());  // still interrupted
  queue.Resume();
  got = queue.Pop();
  ASSERT_TRUE(got);
  EXPECT_EQ(NumberOf(*got), 5u);
  EXPECT_FALSE(queue.Stopped());
}

TEST(PacketQueueThreadTest, PushWakesABlockedConsumer) {
  PacketQueue queue;
  std::optional<Packet> got;
  std::thread consumer([&] { got = queue.Pop(); });
  LetTheConsumerWait();
  queue.Push(Numbered(7));
  consumer.join();
  ASSERT_TRUE(got);
  EXPECT_EQ(NumberOf(*got), 7u);
}

// Many packets from one producer to one consumer that keeps finding the queue empty: every
// push that races the consumer's wait must still wake it, and order is kept.
TEST(PacketQueueThreadTest, ProducerAndConsumerKeepOrder) {
  constexpr std::uint32_t kPackets = 20000;
  PacketQueue queue(PacketQueueLimits{kPackets, 1u << 30});
  std::vector<std::uint32_t> received;
  received.reserve(kPackets);
  std::thread consumer([&] {
    while (received.size() < kPackets) {
      auto p = queue.Pop();
      if (!p) return;
      received.push_back(NumberOf(*p));
    }
  });
  for (std::uint32_t n = 0; n < kPackets; ++n) {
    queue.Push(Numbered(n, 4 + n % 64));
    if (n % 1000 == 0) std::this_thread::yield();
  }
  consumer.join();
  ASSERT_EQ(received.size(), kPackets);
  for (std::uint32_t n = 0; n < kPackets; ++n) ASSERT_EQ(received[n], n);
  EXPECT_EQ(queue.Stats().droppedOverflow, 0u);
}

// A consumer that stops on Clear while the producer is still pushing ends cleanly.
TEST(PacketQueueThreadTest, ClearDuringTrafficEndsTheConsumer) {
  PacketQueue queue(PacketQueueLimits{64, 1 << 20});
  std::uint32_t last = 0;
  bool ordered = true;
  std::thread consumer([&] {
    while (auto p = queue.Pop()) {
      const std::uint32_t n = NumberOf(*p);
      if (n < last) ordered = false;
      last = n;
    }
  });
  std::thread producer([&] {
    for (std::uint32_t n = 1; queue.Push(Numbered(n)); ++n) {
    }
  });
  LetTheConsumerWait();
  queue.Clear();
  producer.join();
  consumer.join();
  EXPECT_TRUE(ordered);
  EXPECT_EQ(queue.Stats().droppedStopped, 1u);
}

}  // namespace
}  // namespace vantorel::receiver
