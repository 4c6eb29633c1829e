#include "receiver/playback_graph.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/receiver/playback/message_builders.h"

namespace vantorel::receiver {
namespace {

using protocol::StreamKind;
using testing::Body;

// Records what the playback graph asks of the media layer, in order.
struct Journal {
  std::vector<std::string> events;
  void Add(std::string e) { events.push_back(std::move(e)); }
};

class FakeGraph : public RenderedGraph {
 public:
  FakeGraph(Journal& journal, SourcePins& pins) : journal_(journal), pins_(pins) {}
  void Run(Clock::time_point) override { journal_.Add("run"); }
  void Stop() override {
    // The queues must already be stopped, or a streaming thread could stay blocked.
    bool allStopped = true;
    for (std::size_t i = 0; i < pins_.Count(); ++i) allStopped &= pins_.Pin(i).Queue().Stopped();
    journal_.Add(allStopped ? "stop after clear" : "stop before clear");
  }
  std::vector<StreamOutputStats> OutputStats() const override {
    StreamOutputStats stats;
    stats.rendered = true;
    stats.caps = "caps";
    stats.decoded = 3;
    return std::vector<StreamOutputStats>(pins_.Count(), stats);
  }

 private:
  Journal& journal_;
  SourcePins& pins_;
};

class FakeBuilder : public GraphBuilder {
 public:
  explicit FakeBuilder(Journal& journal) : journal_(journal) {}
  std::unique_ptr<RenderedGraph> Build(SourcePins& pins) override {
    journal_.Add("build " + std::to_string(pins.Count()));
    if (fail) return nullptr;
    // Like the media layer, only the first two pins get a decoder.
    for (std::size_t i = 0; i < pins.Count() && i < connectedPins; ++i)
      pins.Pin(i).SetConnected(true);
    lastPins = &pins;
    return std::make_unique<FakeGraph>(journal_, pins);
  }
  bool fail = false;
  std::size_t connectedPins = 2;
  SourcePins* lastPins = nullptr;

 private:
  Journal& journal_;
};

class PlaybackGraphTest : public ::testing::Test {
 protected:
  void Deliver(const Body& body) {
    const protocol::Buffer b = protocol::MakeBuffer(body.data(), body.size());
    EXPECT_EQ(graph_.Send(protocol::kChannelMessage, {&b, 1}), 1);
  }
  std::size_t Queued(std::size_t pin) { return graph_.Pins()->Pin(pin).Queue().Stats().depth; }

  Journal journal_;
  FakeBuilder builder_{journal_};
  PlaybackGraph graph_{builder_, VideoRect{8, 8, 320, 240}, 0};
};

TEST_F(PlaybackGraphTest, MessagesBeforeAnyDescriptionAreIgnored) {
  Deliver(testing::VideoSample(protocol::kSampleSplicePoint));
  Deliver(testing::Segment(StreamKind::kAudio));
  EXPECT_FALSE(graph_.HasGraph());
  EXPECT_TRUE(journal_.events.empty());
  EXPECT_EQ(graph_.Stats().beforeDescription, 2u);
}

TEST_F(PlaybackGraphTest, FirstDescriptionBuildsAndRunsAndTheMessagesAfterItAreKept) {
  Deliver(testing::AudioVideo(4));
  EXPECT_EQ(journal_.events, (std::vector<std::string>{"build 2", "run"}));
  // What arrived while the graph was built comes next: the key frame right after the
  // description must reach its pin.
  Deliver(testing::VideoSample(protocol::kSampleSplicePoint));
  Deliver(testing::AudioSample());
  EXPECT_EQ(Queued(0), 1u);
  EXPECT_EQ(Queued(1), 1u);
  ASSERT_TRUE(graph_.HasGraph());
  EXPECT_EQ(graph_.Session(), 4);
  EXPECT_EQ(graph_.Pins()->Count(), 2u);
}

TEST_F(PlaybackGraphTest, DescriptionsOfTheSameSessionAreIgnoredEvenWithOtherFormats) {
  Deliver(testing::AudioVideo(4));
  const SourcePins* first = graph_.Pins();
  Deliver(testing::AudioVideo(4, 99999));
  Deliver(testing::Description({testing::Record(StreamKind::kAudio, 4)}));
  EXPECT_EQ(graph_.Pins(), first);
  EXPECT_EQ(graph_.Stats().sameSession, 2u);
  EXPECT_EQ(graph_.Stats().builds, 1u);
}

TEST_F(PlaybackGraphTest, ANewSessionClosesInOrderAndRebuilds) {
  Deliver(testing::AudioVideo(4));
  Deliver(testing::AudioSample());
  journal_.events.clear();
  Deliver(testing::AudioVideo(5));
  EXPECT_EQ(journal_.events, (std::vector<std::string>{"stop after clear", "build 2", "run"}));
  EXPECT_EQ(graph_.Session(), 5);
  ASSERT_EQ(graph_.Reports().size(), 2u);
  EXPECT_EQ(graph_.Reports()[0].session, 4);
  EXPECT_EQ(graph_.Reports()[1].kind, kStreamKindAudio);
  EXPECT_EQ(graph_.Reports()[1].queue.pushed, 1u);
  EXPECT_EQ(graph_.Reports()[1].output.decoded, 3u);
}

TEST_F(PlaybackGraphTest, MessagesGoToThePinOfTheirStreamKind) {
  Deliver(testing::Description(
      {testing::Record(StreamKind::kAudio, 1), testing::Record(StreamKind::kVideo, 1)}));
  Deliver(testing::VideoSample(0));
  Deliver(testing::Segment(StreamKind::kVideo));
  Deliver(testing::AudioSample());
  EXPECT_EQ(Queued(0), 1u);
  EXPECT_EQ(Queued(1), 2u);
  auto packet = builder_.lastPins->Pin(0).Queue().TryPop();
  ASSERT_TRUE(packet);
  EXPECT_EQ(*packet, testing::AudioSample());
}

TEST_F(PlaybackGraphTest, MessagesWithoutAPinOfTheirKindAreDropped) {
  Deliver(testing::Description({testing::Record(StreamKind::kAudio, 1)}));
  Deliver(testing::VideoSample(protocol::kSampleSplicePoint));
  Body low(12, 0);
  testing::PutWord(low, 0, 0x05000008);
  Deliver(low);
  Deliver(Body{0x18});
  EXPECT_EQ(Queued(0), 0u);
  EXPECT_EQ(graph_.Stats().noStream, 3u);
}

TEST_F(PlaybackGraphTest, ThreeStreamsMakeThreePinsAndOnlyConnectedOnesKeepPackets) {
  Deliver(testing::Description({testing::Record(StreamKind::kVideo, 1),
                                testing::Record(StreamKind::kAudio, 1),
                                testing::Record(StreamKind::kAudio, 1)}));
  ASSERT_EQ(graph_.Pins()->Count(), 3u);
  EXPECT_FALSE(graph_.Pins()->Pin(2).Connected());
  Deliver(testing::AudioSample());
  EXPECT_EQ(Queued(1), 1u);
  EXPECT_EQ(Queued(2), 0u);
}

TEST_F(PlaybackGraphTest, APinWithNoDecoderKeepsNoPacketsAndCountsThem) {
  builder_.connectedPins = 1;
  Deliver(testing::AudioVideo(2));
  for (int i = 0; i < 5; ++i) Deliver(testing::AudioSample());
  EXPECT_EQ(Queued(1), 0u);
  EXPECT_EQ(graph_.Stats().unconnected, 5u);
  EXPECT_EQ(graph_.Pins()->Pin(1).DroppedUnconnected(), 5u);
  graph_.CloseGraph();
  EXPECT_EQ(graph_.Reports()[1].droppedUnconnected, 5u);
}

TEST_F(PlaybackGraphTest, AFailedBuildLeavesNoGraphAndTheNextDescriptionRetries) {
  builder_.fail = true;
  Deliver(testing::AudioVideo(2));
  EXPECT_FALSE(graph_.HasGraph());
  EXPECT_EQ(graph_.Stats().failedBuilds, 1u);
  Deliver(testing::AudioSample());
  EXPECT_EQ(graph_.Stats().beforeDescription, 1u);
  builder_.fail = false;
  Deliver(testing::AudioVideo(2));
  EXPECT_TRUE(graph_.HasGraph());
  EXPECT_EQ(journal_.events, (std::vector<std::string>{"build 2", "build 2", "run"}));
}

TEST_F(PlaybackGraphTest, MalformedDescriptionsAreDroppedAndKeepTheRunningGraph) {
  Deliver(testing::AudioVideo(1));
  Body cut = testing::AudioVideo(2);
  cut.resize(cut.size() - 1);
  Deliver(cut);
  Body noFlags = testing::AudioVideo(2);
  noFlags[2] = 0;  // records, but no stream flagged: no pin
  Deliver(noFlags);
  Body badKind = testing::AudioVideo(2);
  badKind[7] = 41;  // the first record's kind: no stream has it
  Deliver(badKind);
  Deliver(Body{0, 0, 0, 0x0A});  // no records
  EXPECT_EQ(graph_.Session(), 1);
  EXPECT_EQ(graph_.Stats().malformedDescriptions, 4u);
  EXPECT_EQ(graph_.Stats().builds, 1u);
}

// A peer's description: one pin per stream flag, each from the next record, and records of
// the third kind route that kind's samples.
TEST_F(PlaybackGraphTest, PeersDescriptionsMakeOnePinPerFlaggedRecord) {
  struct Case {
    std::uint8_t flags;
    std::vector<StreamKind> records;
    std::size_t pins;
  };
  const std::vector<Case> cases{
      {0x07, {StreamKind::kVideo, StreamKind::kAudio}, 2},  // more flags than records
      {0x01, {StreamKind::kVideo, StreamKind::kAudio}, 1},  // more records than flags
      {0x03, {StreamKind::kAudio, StreamKind::kThird}, 2},
  };
  std::uint8_t session = 1;
  for (const Case& c : cases) {
    std::vector<protocol::FormatRecord> records;
    for (StreamKind kind : c.records) records.push_back(testing::Record(kind, session));
    Deliver(protocol::EncodeStreamDescription(c.flags, records));
    ASSERT_TRUE(graph_.HasGraph()) << int{c.flags};
    EXPECT_EQ(graph_.Session(), session);
    EXPECT_EQ(graph_.Pins()->Count(), c.pins);
    ++session;
  }
  Deliver(testing::AudioSample());
  Deliver(testing::Sample({.stream = StreamKind::kThird}));
  EXPECT_EQ(Queued(0), 1u);
  EXPECT_EQ(Queued(1), 1u);
  EXPECT_EQ(graph_.Stats().malformedDescriptions, 0u);
}

TEST_F(PlaybackGraphTest, KindOneClosesTheGraph) {
  Deliver(testing::AudioVideo(1));
  Body close(4, 0);
  testing::PutWord(close, 0, 0x01000000);
  Deliver(close);
  EXPECT_FALSE(graph_.HasGraph());
  EXPECT_EQ(journal_.events.back(), "stop after clear");
}

}  // namespace
}  // namespace vantorel::receiver
