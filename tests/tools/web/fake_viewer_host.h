// A media side for signalling tests: keeps the viewers it is offered, and answers each offer
// at once, later (when the test says), or with a failure.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>

#include "tools/web/viewer_host.h"

namespace vantorel::web::test {

class FakeViewerHost : public ViewerHost {
 public:
  enum class Answer { kAtOnce, kLater, kFail };

  void Offer(const std::string& id, const std::string& sdp, const OfferCodecs& codecs,
             Done done) override {
    viewers.insert(id);
    lastOffer = sdp;
    lastCodecs = codecs;
    if (answer == Answer::kLater) {
      waiting[id] = std::move(done);
    } else {
      Finish(id, std::move(done));
    }
  }
  bool Remove(const std::string& id) override { return viewers.erase(id) == 1; }
  std::size_t Viewers() const override { return viewers.size(); }

  // Answers the offer that waits for `id`.
  void AnswerLater(std::string id) {  // a copy: `id` may be the key erased below
    Done done = std::move(waiting.at(id));
    waiting.erase(id);
    Finish(id, std::move(done));
  }

  Answer answer = Answer::kAtOnce;
  std::set<std::string> viewers;
  std::map<std::string, Done> waiting;
  std::string lastOffer;
  std::optional<OfferCodecs> lastCodecs;

 private:
  void Finish(const std::string& id, Done done) {
    if (answer == Answer::kFail) {
      done(OfferResult{false, {}, "no encoder"});
    } else {
      done(OfferResult{true, "v=0\r\nanswer-for=" + id + "\r\n", {}});
    }
  }
};

}  // namespace vantorel::web::test
