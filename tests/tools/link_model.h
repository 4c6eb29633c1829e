// What a lossy link does to each datagram, seeded so that a run can be repeated: random loss,
// bursts of loss (a two-state Gilbert-Elliott chain), duplication, and reordering (a datagram
// held back behind the next one to `reorderDepth` datagrams).
#pragma once

#include <cstdint>
#include <random>

namespace vantorel::testing {

struct LinkParameters {
  std::uint32_t seed = 1;
  double loss = 0;  // in the good state
  // Bursts: good to bad, bad to good, and the loss in the bad state. No bursts when 0.
  double toBad = 0;
  double toGood = 0;
  double badLoss = 1;
  double duplicate = 0;
  double reorder = 0;
  int reorderDepth = 3;
};

struct LinkCounts {
  std::uint64_t in = 0;
  std::uint64_t lost = 0;
  std::uint64_t lostInBursts = 0;
  std::uint64_t duplicated = 0;
  std::uint64_t reordered = 0;
};

struct LinkFate {
  bool lost = false;
  int copies = 1;    // 2 when duplicated
  int holdBack = 0;  // datagrams to let pass first; 0 goes at once
};

class LinkModel {
 public:
  explicit LinkModel(const LinkParameters& p);
  // The fate of the next datagram.
  LinkFate Next();
  const LinkCounts& Counts() const { return counts_; }

 private:
  LinkParameters p_;
  std::mt19937_64 rng_;
  std::uniform_real_distribution<double> roll_{0, 1};
  bool bad_ = false;
  LinkCounts counts_;
};

}  // namespace vantorel::testing
