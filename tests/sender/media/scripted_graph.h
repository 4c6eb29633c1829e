// A media graph of the tests' own: transport calls are recorded, the position moves only when
// it is put, and events come from a script. Free of GStreamer, so that the player's logic runs
// without a media framework.
#pragma once

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/media/media_graph.h"

namespace vantorel::testing {

class ScriptedGraph : public media::MediaGraph {
 public:
  static constexpr double kDuration = 10.0;

  std::vector<std::string> calls;
  double position = 0;
  media::Status renderResult;
  media::Status pauseResult;
  std::deque<media::GraphEvent> events;

  media::Status AddFilter(media::GraphFilter&) override { return {}; }
  media::Status RemoveFilter(media::GraphFilter&) override { return {}; }
  media::Status RenderFile(const std::string&) override { return renderResult; }
  media::Status Run() override { return Record("Run"); }
  media::Status Pause() override {
    Record("Pause");
    return pauseResult;
  }
  media::Status Stop() override { return Record("Stop"); }
  media::Status GetDuration(double& seconds) override {
    seconds = kDuration;
    return {};
  }
  media::Status GetCurrentPosition(double& seconds) override {
    seconds = position;
    return {};
  }
  media::Status PutCurrentPosition(double seconds) override {
    position = seconds;
    return Record("Put " + std::to_string(seconds).substr(0, 4));
  }
  media::Status SetNotifyWindow(gui::Mailbox<media::GraphNotice>*) override { return {}; }
  std::optional<media::GraphEvent> GetEvent() override {
    if (events.empty()) return std::nullopt;
    auto e = events.front();
    events.pop_front();
    return e;
  }
  bool HasVideo() const override { return false; }

 protected:
  media::Status Record(std::string call) {
    calls.push_back(std::move(call));
    return {};
  }
};

// Makes scripted graphs (of a derived type if the test needs one) and keeps a borrowed pointer
// to the latest for the test. The next graph made renders with `nextRender`.
template <typename Graph = ScriptedGraph>
class ScriptedFactory : public media::GraphFactory {
 public:
  explicit ScriptedFactory(Graph** created) : created_(created) {}
  std::unique_ptr<media::MediaGraph> CreateGraph() override {
    auto graph = std::make_unique<Graph>();
    graph->renderResult = std::exchange(nextRender, {});
    *created_ = graph.get();
    return graph;
  }

  media::Status nextRender;

 private:
  Graph** created_;
};

// A graph owner that lets every notice go.
class NullOwner : public gui::Mailbox<media::GraphNotice> {
 public:
  bool Post(media::GraphNotice) override { return true; }
};

}  // namespace vantorel::testing
