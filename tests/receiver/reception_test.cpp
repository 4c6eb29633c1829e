// The reception on its own thread, with no window and no QApplication: real sockets on
// 127.0.0.1 (nothing leaves the machine), a sender's real packetizer, and a media layer that
// takes its time to build a graph.
#include "receiver/reception.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "protocol/byte_io.h"
#include "protocol/signing.h"
#include "sender/announcer.h"
#include "sender/packetizer.h"
#include "sender/signing_sink.h"
#include "sender/udp_broadcast_sink.h"
#include "tests/receiver/playback/message_builders.h"

namespace vantorel::receiver {
namespace {

using namespace std::chrono_literals;

// Everything the reception tells, in the order it told it (its own thread).
class Journal : public ReceptionEvents, public protocol::PacketSink {
 public:
  void OnEndOfBroadcast() override { Add("end"); }
  void OnSenderChanged(const net::Endpoint&) override { Add("sender"); }
  void OnChoiceApplied(const net::Endpoint&) override { Add("chosen"); }
  void OnHeard(const net::Endpoint&) override { ++heard; }
  std::atomic<int> heard{0};
  int Send(std::uint32_t, protocol::BufferList buffers) override {
    if (!buffers.empty() && buffers[0].length >= 4) {
      Add("kind " + std::to_string(protocol::HeaderKind(protocol::LoadU32(buffers[0].data))));
    }
    return 1;
  }
  std::vector<std::string> Events() {
    std::lock_guard guard(lock_);
    return events_;
  }

 private:
  void Add(std::string e) {
    std::lock_guard guard(lock_);
    events_.push_back(std::move(e));
  }
  std::mutex lock_;
  std::vector<std::string> events_;
};

class IdleGraph : public RenderedGraph {
 public:
  explicit IdleGraph(std::size_t pins) : pins_(pins) {}
  void Run(Clock::time_point) override {}
  void Stop() override {}
  std::vector<StreamOutputStats> OutputStats() const override {
    return std::vector<StreamOutputStats>(pins_);
  }

 private:
  std::size_t pins_;
};

// A media layer that needs a while to make a graph, as a decoder that starts slowly does.
class SlowBuilder : public GraphBuilder {
 public:
  explicit SlowBuilder(std::chrono::milliseconds time) : time_(time) {}
  std::unique_ptr<RenderedGraph> Build(SourcePins& pins) override {
    std::this_thread::sleep_for(time_);
    for (std::size_t i = 0; i < pins.Count(); ++i) pins.Pin(i).SetConnected(true);
    return std::make_unique<IdleGraph>(pins.Count());
  }

 private:
  std::chrono::milliseconds time_;
};

std::uint16_t FreePort() {
  net::UdpSocket probe;
  probe.Bind(net::Endpoint{net::kLoopbackAddress, 0});
  const auto local = probe.LocalEndpoint();
  return local ? local->port : 0;
}

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds deadline = 10s) {
  const auto until = std::chrono::steady_clock::now() + deadline;
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

class ReceptionPathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    port_ = FreePort();
    ASSERT_NE(port_, 0);
    sink_ = std::make_unique<sender::UdpBroadcastSink>(port_, net::kLoopbackAddress);
    packetizer_.AddRoute(protocol::kRouteKeyMedia, sink_.get());
  }
  ReceptionOptions Options(GraphBuilder* graph) {
    ReceptionOptions options;
    options.receive = ReceiveOptions{port_, net::kLoopbackAddress, net::kLoopbackAddress, {}};
    options.graph = graph;
    options.observer = &journal_;
    return options;
  }
  void SendMessage(const testing::Body& body) {
    const protocol::Buffer b = protocol::MakeBuffer(body.data(), body.size());
    packetizer_.Send(protocol::kChannelMessage, {&b, 1});
  }
  void SendEnd() {
    const std::uint8_t end[4] = {1, 0, 0, 0};
    const protocol::Buffer b = protocol::MakeBuffer(end, sizeof end);
    sink_->Send(protocol::kRouteKeyEndOfBroadcast, {&b, 1});
  }

  std::uint16_t port_ = 0;
  Journal journal_;
  std::unique_ptr<sender::UdpBroadcastSink> sink_;
  sender::Packetizer packetizer_;
};

// What arrives while the graph is being built waits and then reaches the pins: the key frame
// right behind the description is not thrown away, and nothing counts as lost.
TEST_F(ReceptionPathTest, NothingSentDuringASlowBuildIsLost) {
  SlowBuilder builder(300ms);
  Reception reception(Options(&builder));
  ASSERT_TRUE(reception.Listening());
  SendMessage(testing::AudioVideo(3));
  SendMessage(testing::VideoSample(protocol::kSampleSplicePoint));
  constexpr int kAudio = 20;
  for (int i = 0; i < kAudio; ++i) SendMessage(testing::AudioSample(0, i * 100'000));
  ASSERT_TRUE(WaitFor([&] { return reception.Totals().reassembly.delivered == 2 + kAudio; }));
  EXPECT_EQ(reception.View().session, 3);
  reception.Stop();

  const ReceptionTotals totals = reception.Totals();
  EXPECT_EQ(totals.LostMessages(), 0u);
  EXPECT_EQ(totals.receive.queueOverflow, 0u);
  ASSERT_EQ(totals.streams.size(), 2u);
  for (const StreamReport& stream : totals.streams) {
    const std::uint64_t expected = stream.kind == kStreamKindVideo ? 1 : kAudio;
    EXPECT_EQ(stream.queue.pushed, expected) << int{stream.kind};
  }
}

// The end of a broadcast is told after the messages sent before it, once the pipeline is built
// again, and the next broadcast plays on the new pipeline.
TEST_F(ReceptionPathTest, EndOfBroadcastIsToldInOrderAndTheNextBroadcastPlays) {
  SlowBuilder builder(0ms);
  Reception reception(Options(&builder), &journal_);
  SendMessage(testing::AudioVideo(1));
  SendMessage(testing::AudioSample());
  SendEnd();
  ASSERT_TRUE(WaitFor([&] { return reception.Totals().endOfBroadcastHandled == 1; }));
  EXPECT_EQ(journal_.Events(), (std::vector<std::string>{"kind 10", "kind 24", "end"}));
  EXPECT_EQ(reception.Totals().pipelinesBuilt, 2u);
  EXPECT_TRUE(reception.Listening());

  SendMessage(testing::AudioVideo(2));
  EXPECT_TRUE(WaitFor([&] { return reception.View().session == 2; }));
}

// Trusting one key: only what that sender signed reaches the reassembler and the graph, the end
// of its broadcast only when signed, and once, however many copies come.
TEST_F(ReceptionPathTest, OnlyWhatATrustedSenderSignedIsDelivered) {
  std::array<std::uint8_t, protocol::kSeedSize> seed{};
  seed.fill(3);
  const protocol::SigningKey key = protocol::SigningKey::FromSeed(seed);
  sender::SigningSink signer(*sink_, key, 2);
  sender::Packetizer signedPacketizer;
  signedPacketizer.AddRoute(protocol::kRouteKeyMedia, &signer);
  const auto sendSigned = [&](const testing::Body& body) {
    const protocol::Buffer b = protocol::MakeBuffer(body.data(), body.size());
    signedPacketizer.Send(protocol::kChannelMessage, {&b, 1});
  };
  SlowBuilder builder(0ms);
  ReceptionOptions options = Options(&builder);
  options.trusted = {key.FingerprintOf()};
  Reception reception(options, &journal_);
  EXPECT_TRUE(reception.View().trustedOnly);

  SendMessage(testing::AudioVideo(1));  // an unsigned sender's description
  sendSigned(testing::AudioVideo(2));
  sendSigned(testing::AudioSample());
  signer.Flush();
  ASSERT_TRUE(WaitFor([&] { return reception.Totals().reassembly.delivered == 2; }));
  EXPECT_EQ(reception.View().session, 2);
  EXPECT_EQ(reception.View().fingerprint, key.FingerprintOf());

  SendEnd();  // unsigned: ends nothing
  const protocol::Buffer end = protocol::MakeBuffer(sender::kEndOfBroadcastValue.data(), 4);
  signer.SignAhead(protocol::kRouteKeyEndOfBroadcast, {&end, 1}, 3);
  sink_->SendEndOfBroadcast(3, 0);
  ASSERT_TRUE(WaitFor([&] { return reception.Totals().endOfBroadcastHandled == 1; }));
  ASSERT_TRUE(WaitFor([&] { return reception.Totals().trust.unsignedDropped >= 2; }, 2s));
  reception.Stop();
  const ReceptionTotals totals = reception.Totals();
  EXPECT_EQ(totals.endOfBroadcastHandled, 1u);
  EXPECT_EQ(journal_.Events(), (std::vector<std::string>{"kind 10", "kind 24", "end"}));
  EXPECT_EQ(totals.reassembly.delivered, 2u);
  EXPECT_EQ(totals.trust.badSignature + totals.trust.replayed, 0u);
}

// Two named senders on the air: both are listed; the chosen one is played, from the moment it
// is heard, and the first sender heard plays again when the choice is dropped.
TEST_F(ReceptionPathTest, TheChosenSenderIsPlayedAndBothAreListed) {
  sender::UdpBroadcastSink southSink(port_, net::kLoopbackAddress);
  sender::Packetizer southPacketizer;
  southPacketizer.AddRoute(protocol::kRouteKeyMedia, &southSink);
  sender::Announcer north(*sink_, "North"), south(southSink, "South");
  SlowBuilder builder(0ms);
  ReceptionOptions options = Options(&builder);
  options.choice.name = "South";
  Reception reception(options, &journal_);

  north.Set(protocol::SenderState::kPlaying, protocol::SenderSource::kFile, "n.mkv", 1);
  SendMessage(testing::AudioVideo(1));  // nobody chosen is on the air: North plays
  ASSERT_TRUE(WaitFor([&] { return reception.View().session == 1; }));
  EXPECT_FALSE(reception.View().chosen);
  ASSERT_TRUE(reception.View().announced);
  EXPECT_EQ(reception.View().announced->announcement.name, "North");

  south.Set(protocol::SenderState::kPaused, protocol::SenderSource::kScreen, "Screen", 4);
  ASSERT_TRUE(WaitFor([&] { return reception.Totals().choicesApplied == 1; }));
  EXPECT_EQ(journal_.Events().back(), "chosen");
  SendMessage(testing::AudioVideo(2));  // North is no longer taken
  const testing::Body southDescription = testing::AudioVideo(3);
  const protocol::Buffer b = protocol::MakeBuffer(southDescription.data(), southDescription.size());
  southPacketizer.Send(protocol::kChannelMessage, {&b, 1});
  ASSERT_TRUE(WaitFor([&] { return reception.View().session == 3; }));
  ReceptionView view = reception.View();
  ASSERT_EQ(view.senders.size(), 2u);
  EXPECT_EQ(view.senders[0].announcement.name, "North");
  EXPECT_EQ(view.senders[1].announcement.title, "Screen");
  ASSERT_TRUE(view.chosen);
  EXPECT_EQ(view.chosen->announcement.name, "South");
  EXPECT_EQ(view.announced->announcement.state, protocol::SenderState::kPaused);

  // The announcements of the sender played, paused, do not tell that it is heard.
  std::this_thread::sleep_for(Reception::kHeardInterval * 2);
  const int heard = journal_.heard;
  for (int i = 0; i < 3; ++i) {
    south.Set(protocol::SenderState::kPaused, protocol::SenderSource::kScreen,
              "Screen " + std::to_string(i), 4);
    std::this_thread::sleep_for(Reception::kHeardInterval);
  }
  ASSERT_TRUE(WaitFor([&] { return reception.Totals().directory.taken >= 5; }));
  EXPECT_EQ(journal_.heard, heard);

  reception.Choose({});
  std::this_thread::sleep_for(50ms);
  SendMessage(testing::AudioVideo(4));  // South holds the lock; North is not taken
  southPacketizer.Send(protocol::kChannelMessage, {&b, 1});
  ASSERT_TRUE(WaitFor([&] { return reception.Totals().receive.foreignSender >= 2; }));
  EXPECT_FALSE(reception.View().chosen);
  EXPECT_EQ(reception.Totals().directory.taken, 5u);
}

// A port held by another program is tried again until it is free; meanwhile the reception says
// it is not listening.
TEST_F(ReceptionPathTest, APortInUseIsTriedAgainUntilItIsFree) {
  auto holder = std::make_unique<net::UdpSocket>();
  ASSERT_TRUE(holder->Bind(net::Endpoint{net::kLoopbackAddress, port_}));
  ReceptionOptions options = Options(nullptr);
  options.retryInterval = 50ms;
  Reception reception(options);
  EXPECT_FALSE(reception.Listening());
  std::this_thread::sleep_for(150ms);
  EXPECT_FALSE(reception.Listening());
  holder.reset();
  ASSERT_TRUE(WaitFor([&] { return reception.Listening(); }));
  SendMessage(testing::AudioSample());
  EXPECT_TRUE(WaitFor([&] { return reception.Totals().reassembly.delivered == 1; }));
  EXPECT_EQ(reception.Totals().pipelinesBuilt, 1u);
}

}  // namespace
}  // namespace vantorel::receiver
