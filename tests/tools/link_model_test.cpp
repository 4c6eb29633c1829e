#include "tests/tools/link_model.h"

#include <gtest/gtest.h>

namespace vantorel::testing {
namespace {

// Over many datagrams each impairment comes at its rate, and a seed repeats a run exactly.
TEST(LinkModelTest, ImpairmentsComeAtTheirRatesAndRepeatBySeed) {
  constexpr int kDatagrams = 200'000;
  LinkParameters p;
  p.seed = 42;
  p.loss = 0.05;
  p.duplicate = 0.02;
  p.reorder = 0.10;
  LinkModel link(p), again(p);
  int heldTooFar = 0;
  for (int i = 0; i < kDatagrams; ++i) {
    const LinkFate fate = link.Next();
    const LinkFate repeat = again.Next();
    ASSERT_EQ(fate.lost, repeat.lost);
    ASSERT_EQ(fate.holdBack, repeat.holdBack);
    heldTooFar += fate.holdBack > p.reorderDepth;
  }
  const LinkCounts& c = link.Counts();
  EXPECT_NEAR(static_cast<double>(c.lost) / kDatagrams, 0.05, 0.003);
  EXPECT_NEAR(static_cast<double>(c.duplicated) / (kDatagrams - c.lost), 0.02, 0.002);
  EXPECT_NEAR(static_cast<double>(c.reordered) / (kDatagrams - c.lost), 0.10, 0.005);
  EXPECT_EQ(heldTooFar, 0);
}

// Gilbert-Elliott: the bad state lasts 1/toGood datagrams on average, so losses come in runs.
TEST(LinkModelTest, BurstsLoseRunsOfDatagrams) {
  LinkParameters p;
  p.seed = 7;
  p.toBad = 0.01;
  p.toGood = 0.25;
  p.badLoss = 1;
  LinkModel link(p);
  int runs = 0, lost = 0;
  bool previousLost = false;
  for (int i = 0; i < 200'000; ++i) {
    const bool isLost = link.Next().lost;
    lost += isLost;
    runs += isLost && !previousLost;
    previousLost = isLost;
  }
  EXPECT_NEAR(static_cast<double>(lost) / runs, 4.0, 0.3);  // mean run length 1 / 0.25
  // Stationary share of the bad state: toBad / (toBad + toGood).
  EXPECT_NEAR(lost / 200'000.0, 0.01 / 0.26, 0.005);
  EXPECT_EQ(link.Counts().lostInBursts, link.Counts().lost);
}

}  // namespace
}  // namespace vantorel::testing
