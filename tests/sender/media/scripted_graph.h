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

#include "sender/media_graph.h"

namespace vantorel::testing {

class ScriptedGraph : public sender::MediaGraph {
 public:
  static constexpr double kDuration = 10.0;

  std::vector<std::string> calls;
  double position = 0;
  sender::Status renderResult;
  sender::Status pauseResult;
  std::deque<sender::GraphEvent> events;

  sender::Status AddFilter(sender::GraphFilter&) override { return {}; }
  sender::Status RemoveFilter(sender::GraphFilter&) override { return {}; }
  sender::Status RenderFile(const std::string&) override { return renderResult; }
  sender::Status Run() override { return Record("Run"); }
  sender::Status Pause() override {
    Record("Pause");
    return pauseResult;
  }
  sender::Status Stop() override { return Record("Stop"); }
  sender::Status GetDuration(double& seconds) override {
    seconds = kDuration;
    return {};
  }
  sender::Status GetCurrentPosition(double& seconds) override {
    seconds = position;
    return {};
  }
  sender::Status PutCurrentPosition(double seconds) override {
    position = seconds;
    return Record("Put " + std::to_string(seconds).substr(0, 4));
  }
  sender::Status SetNotifyWindow(gui::Mailbox<sender::GraphNotice>*) override { return {}; }
  std::optional<sender::GraphEvent> GetEvent() override {
    if (events.empty()) return std::nullopt;
    auto e = events.front();
    events.pop_front();
    return e;
  }
  bool HasVideo() const override { return false; }

 protected:
  sender::Status Record(std::string call) {
    calls.push_back(std::move(call));
    return {};
  }
};

// Makes scripted graphs (of a derived type if the test needs one) and keeps a borrowed pointer
// to the latest for the test. The next graph made renders with `nextRender`.
template <typename Graph = ScriptedGraph>
class ScriptedFactory : public sender::GraphFactory {
 public:
  explicit ScriptedFactory(Graph** created) : created_(created) {}
  std::unique_ptr<sender::MediaGraph> CreateGraph() override {
    auto graph = std::make_unique<Graph>();
    graph->renderResult = std::exchange(nextRender, {});
    *created_ = graph.get();
    return graph;
  }

  sender::Status nextRender;

 private:
  Graph** created_;
};

// A graph owner that lets every notice go.
class NullOwner : public gui::Mailbox<sender::GraphNotice> {
 public:
  bool Post(sender::GraphNotice) override { return true; }
};

}  // namespace vantorel::testing
