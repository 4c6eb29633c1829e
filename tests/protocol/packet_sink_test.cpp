#include "protocol/packet_sink.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/protocol/recording_sink.h"

namespace vantorel::protocol {
namespace {

using testing::RecordingSink;

// Exposes the protected dispatch of the routing base.
class Router : public PacketSink {
 public:
  using PacketSink::Dispatch;
};

// Notes its name in a shared log, so that tests can see the order of calls across sinks.
class NamedSink : public PacketSink {
 public:
  NamedSink(std::string name, std::vector<std::string>& log) : name_(std::move(name)), log_(log) {}
  int Send(std::uint32_t, BufferList) override {
    log_.push_back(name_);
    return 1;
  }

 private:
  std::string name_;
  std::vector<std::string>& log_;
};

class PacketSinkTest : public ::testing::Test {
 protected:
  int DispatchPayload(std::uint32_t key) {
    const Buffer b = MakeBuffer(payload_, sizeof payload_);
    return router_.Dispatch(key, {&b, 1});
  }

  Router router_;
  RecordingSink a_, b_, fallback_;
  const std::uint8_t payload_[3] = {7, 8, 9};
};

TEST_F(PacketSinkTest, BaseSendTakesNothing) {
  PacketSink base;
  const Buffer b = MakeBuffer(payload_, sizeof payload_);
  EXPECT_EQ(base.Send(6666, {&b, 1}), 0);
}

TEST_F(PacketSinkTest, DispatchWithNoRouteAndNoDefaultReturnsZero) {
  EXPECT_EQ(DispatchPayload(6666), 0);
  router_.AddRoute(1, &a_);
  EXPECT_EQ(DispatchPayload(6666), 0);
  EXPECT_TRUE(a_.entries.empty());
}

TEST_F(PacketSinkTest, DispatchHandsKeyAndBuffersToTheRoute) {
  ASSERT_EQ(router_.AddRoute(6666, &a_), 1);
  EXPECT_EQ(DispatchPayload(6666), 1);
  ASSERT_EQ(a_.entries.size(), 1u);
  EXPECT_EQ(a_.entries[0].key, 6666u);
  EXPECT_EQ(a_.entries[0].bytes, (testing::Bytes{7, 8, 9}));
}

TEST_F(PacketSinkTest, DefaultSinkTakesKeysWithoutRoute) {
  router_.AddRoute(0, &fallback_);
  router_.AddRoute(1, &a_);
  EXPECT_EQ(DispatchPayload(5555), 1);
  ASSERT_EQ(fallback_.entries.size(), 1u);
  EXPECT_EQ(fallback_.entries[0].key, 5555u);
  // A routed key does not reach the default sink.
  EXPECT_EQ(DispatchPayload(1), 1);
  EXPECT_EQ(fallback_.entries.size(), 1u);
  EXPECT_EQ(a_.entries.size(), 1u);
}

TEST_F(PacketSinkTest, SeveralSinksUnderOneKeyAreCalledInInsertionOrder) {
  std::vector<std::string> log;
  NamedSink first("first", log), second("second", log), third("third", log);
  router_.AddRoute(6666, &first);
  router_.AddRoute(1, &a_);
  router_.AddRoute(6666, &second);
  router_.AddRoute(6666, &third);
  router_.AddRoute(0, &fallback_);
  EXPECT_EQ(DispatchPayload(6666), 3);
  EXPECT_EQ(log, (std::vector<std::string>{"first", "second", "third"}));
  EXPECT_TRUE(a_.entries.empty());
  EXPECT_TRUE(fallback_.entries.empty());
}

TEST_F(PacketSinkTest, RemoveRouteOfAPairNeverAddedReturnsZeroAndChangesNothing) {
  router_.AddRoute(6666, &a_);
  EXPECT_EQ(router_.RemoveRoute(6666, &b_), 0);
  EXPECT_EQ(router_.RemoveRoute(5555, &a_), 0);
  EXPECT_EQ(DispatchPayload(6666), 1);
  EXPECT_EQ(a_.entries.size(), 1u);
}

TEST_F(PacketSinkTest, RemoveRouteRemovesOneEntryOfTheKeyAndSink) {
  router_.AddRoute(6666, &a_);
  router_.AddRoute(6666, &b_);
  router_.AddRoute(6666, &a_);
  EXPECT_EQ(router_.RemoveRoute(6666, &a_), 1);
  EXPECT_EQ(DispatchPayload(6666), 2);
  EXPECT_EQ(a_.entries.size(), 1u);
  EXPECT_EQ(b_.entries.size(), 1u);
  EXPECT_EQ(router_.RemoveRoute(6666, &a_), 1);
  EXPECT_EQ(router_.RemoveRoute(6666, &a_), 0);
  EXPECT_EQ(router_.RemoveRoute(6666, &b_), 1);
  EXPECT_EQ(DispatchPayload(6666), 0);
}

TEST_F(PacketSinkTest, RemovingTheLastRouteFallsBackToTheDefaultSink) {
  router_.AddRoute(0, &fallback_);
  router_.AddRoute(6666, &a_);
  router_.RemoveRoute(6666, &a_);
  EXPECT_EQ(DispatchPayload(6666), 1);
  EXPECT_EQ(fallback_.entries.size(), 1u);
}

TEST_F(PacketSinkTest, KeyZeroClearsTheDefaultSink) {
  router_.AddRoute(0, &fallback_);
  EXPECT_EQ(router_.RemoveRoute(0, nullptr), 1);
  EXPECT_EQ(DispatchPayload(6666), 0);
  EXPECT_TRUE(fallback_.entries.empty());
}

}  // namespace
}  // namespace vantorel::protocol
