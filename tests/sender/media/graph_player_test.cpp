// The transport state table of GraphPlayer, over a scripted graph.
#include "sender/graph_player.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "tests/sender/media/scripted_graph.h"

namespace vantorel::sender {
namespace {

using testing::NullOwner;
using testing::ScriptedFactory;
using testing::ScriptedGraph;

constexpr double kDuration = ScriptedGraph::kDuration;

class CountingPlayer : public GraphPlayer {
 public:
  explicit CountingPlayer(ScriptedGraph** created)
      : GraphPlayer(std::make_unique<ScriptedFactory<>>(created)) {}
  ~CountingPlayer() override { Close(); }
  int builds = 0;
  int teardowns = 0;

 protected:
  HRESULT OnBuild(sender::MediaGraph&) override {
    ++builds;
    return S_OK;
  }
  HRESULT OnTeardown(sender::MediaGraph&) override {
    ++teardowns;
    return S_OK;
  }
};

class GraphPlayerTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(player.Open(&owner, "file.mpg"), S_OK); }
  ScriptedGraph* graph = nullptr;
  NullOwner owner;
  CountingPlayer player{&graph};
};

TEST(GraphPlayerOpen, MissingOwnerOrPathFailsWithoutAGraph) {
  ScriptedGraph* graph = nullptr;
  NullOwner owner;
  CountingPlayer player(&graph);
  EXPECT_EQ(player.Open(nullptr, "file.mpg"), E_FAIL);
  EXPECT_EQ(player.Open(&owner, ""), E_FAIL);
  EXPECT_EQ(graph, nullptr);
  EXPECT_EQ(player.State(), PlayerState::kNoGraph);
}

TEST(GraphPlayerOpen, FailedRenderTearsDownAndReturnsTheFailure) {
  class FailingFactory : public sender::GraphFactory {
    std::unique_ptr<sender::MediaGraph> CreateGraph() override {
      auto graph = std::make_unique<ScriptedGraph>();
      graph->renderResult = sender::Status(sender::MediaErrc::kUnsupportedStream,
                                           "Could not determine type of stream.");
      return graph;
    }
  };
  class Player : public GraphPlayer {
   public:
    Player() : GraphPlayer(std::make_unique<FailingFactory>()) {}
    int teardowns = 0;
    HRESULT OnTeardown(sender::MediaGraph&) override {
      ++teardowns;
      return S_OK;
    }
  } player;
  NullOwner owner;
  EXPECT_EQ(player.Open(&owner, "not-media.txt"), VFW_E_UNSUPPORTED_STREAM);
  // GStreamer's words for it outlive the graph.
  EXPECT_EQ(player.Findings().errorText, "Could not determine type of stream.");
  EXPECT_EQ(player.teardowns, 1);
  EXPECT_EQ(player.State(), PlayerState::kNoGraph);
  EXPECT_FALSE(player.Loaded());
}

TEST_F(GraphPlayerTest, OpenLeavesTheGraphStoppedAndLoaded) {
  EXPECT_EQ(player.State(), PlayerState::kStopped);
  EXPECT_TRUE(player.Loaded());
  EXPECT_EQ(player.builds, 1);
  EXPECT_DOUBLE_EQ(player.Duration(), kDuration);
}

struct PlayCase {
  double position;
  double expectedStart;
};

class GraphPlayerPlayTest : public GraphPlayerTest,
                            public ::testing::WithParamInterface<PlayCase> {};

TEST_P(GraphPlayerPlayTest, PlayNearTheEndRestartsFromZero) {
  graph->position = GetParam().position;
  EXPECT_EQ(player.Play(), S_OK);
  EXPECT_EQ(player.State(), PlayerState::kRunning);
  EXPECT_DOUBLE_EQ(player.Position(), GetParam().expectedStart);
  // Every Play seeks to where it starts, so the streams begin a new segment.
  ASSERT_GE(graph->calls.size(), 2u);
  EXPECT_EQ(graph->calls.back(), "Run");
}

INSTANTIATE_TEST_SUITE_P(Margin, GraphPlayerPlayTest,
                         ::testing::Values(PlayCase{9.9, 0.0}, PlayCase{9.61, 0.0},
                                           PlayCase{9.6, 9.6}, PlayCase{5.0, 5.0},
                                           PlayCase{0.0, 0.0}));

TEST_F(GraphPlayerTest, SeekToTheDurationOrPastIsIgnored) {
  EXPECT_EQ(player.Seek(kDuration), S_OK);
  EXPECT_EQ(player.Seek(kDuration + 1), S_OK);
  EXPECT_TRUE(graph->calls.empty());
  EXPECT_EQ(player.Seek(kDuration - 1), S_OK);
  EXPECT_DOUBLE_EQ(player.Position(), kDuration - 1);
}

TEST_F(GraphPlayerTest, StopFromPauseRunsSeeksToZeroAndPauses) {
  player.Play();
  player.Pause();
  graph->position = 4;
  graph->calls.clear();
  EXPECT_EQ(player.Stop(), S_OK);
  EXPECT_THAT(graph->calls, ::testing::ElementsAre("Run", "Put 0.00", "Pause"));
  EXPECT_EQ(player.State(), PlayerState::kStopped);
  EXPECT_DOUBLE_EQ(player.Position(), 0.0);
  graph->calls.clear();
  EXPECT_EQ(player.Stop(), S_OK);
  EXPECT_TRUE(graph->calls.empty());
}

TEST_F(GraphPlayerTest, PauseAndPlayMoveThroughTheTable) {
  EXPECT_EQ(player.Pause(), S_OK);
  EXPECT_EQ(player.State(), PlayerState::kPaused);
  EXPECT_EQ(player.Play(), S_OK);
  EXPECT_EQ(player.State(), PlayerState::kRunning);
  graph->calls.clear();
  EXPECT_EQ(player.Play(), S_OK);
  EXPECT_TRUE(graph->calls.empty());
}

TEST_F(GraphPlayerTest, EndOfStreamRestsBeforeTheEndAndTheNextPlayRestarts) {
  player.Play();
  graph->position = kDuration;
  graph->events.push_back({sender::EC_COMPLETE, {}});
  EXPECT_EQ(player.HandleGraphEvents(), S_OK);
  EXPECT_EQ(player.State(), PlayerState::kStopped);
  EXPECT_NEAR(player.Position(), kDuration - GraphPlayer::kEndRestBack, 1e-9);
  EXPECT_EQ(player.EventCounts().completes, 1u);
  player.Play();
  EXPECT_DOUBLE_EQ(player.Position(), 0.0);
  EXPECT_EQ(player.State(), PlayerState::kRunning);
}

TEST_F(GraphPlayerTest, EndOfStreamWhosePauseFailsStopsAndRunsAgain) {
  player.Play();
  graph->pauseResult = sender::Status(sender::MediaErrc::kFailed);
  graph->events.push_back({sender::EC_COMPLETE, {}});
  graph->calls.clear();
  EXPECT_EQ(player.HandleGraphEvents(), S_OK);
  EXPECT_THAT(graph->calls,
              ::testing::ElementsAre(::testing::StartsWith("Put"), "Pause", "Stop", "Run"));
  EXPECT_EQ(player.State(), PlayerState::kRunning);
}

TEST_F(GraphPlayerTest, OtherEventsAreCountedAndDrained) {
  graph->events.push_back({sender::EC_NO_AUDIO_DEVICE, {}});
  graph->events.push_back({sender::EC_ERRORABORT, sender::Status(sender::MediaErrc::kFailed,
                                                                 "Internal data stream error.")});
  EXPECT_EQ(player.HandleGraphEvents(), S_OK);
  EXPECT_TRUE(graph->events.empty());
  EXPECT_TRUE(player.EventCounts().noAudioDevice);
  EXPECT_EQ(player.EventCounts().errors, 1u);
  EXPECT_EQ(player.EventCounts().lastError, E_FAIL);
  // The error's words are kept for the user, not only its code.
  EXPECT_EQ(player.EventCounts().lastErrorText, "Internal data stream error.");
  EXPECT_EQ(player.State(), PlayerState::kStopped);
}

TEST_F(GraphPlayerTest, CloseTearsDownOnceAndForgetsTheFile) {
  player.Close();
  EXPECT_EQ(player.teardowns, 1);
  EXPECT_EQ(player.State(), PlayerState::kNoGraph);
  EXPECT_DOUBLE_EQ(player.Position(), 0.0);
  EXPECT_EQ(player.Seek(1.0), E_FAIL);
  player.Close();
  EXPECT_EQ(player.teardowns, 1);
}

}  // namespace
}  // namespace vantorel::sender
