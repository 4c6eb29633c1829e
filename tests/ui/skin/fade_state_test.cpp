#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "ui/skin/fade_state.h"

namespace vantorel::skin {
namespace {

std::vector<int> DrawnLevels(FadeState& fade) {
  std::vector<int> levels;
  while (fade.Advance()) levels.push_back(fade.FadeLevel());
  return levels;
}

TEST(FadeState, AFadeTakesSevenFrames) {
  FadeState fade;
  EXPECT_EQ(DrawnLevels(fade), (std::vector<int>{63, 95, 127, 159, 191, 223, 255}));
  EXPECT_FALSE(fade.Running());
}

TEST(FadeState, RestartsBeforeAFrameKeepTheBufferRoles) {
  FadeState fade;
  fade.Restart(StatePicture::kHover);
  fade.Restart(StatePicture::kPressed);
  EXPECT_EQ(fade.CompositeIndex(), 0);
  EXPECT_EQ(fade.Target(), StatePicture::kPressed);
  EXPECT_EQ(fade.FadeLevel(), FadeState::kRestarted);
}

TEST(FadeState, RestartAfterAFrameStartsFromThePictureOnScreen) {
  FadeState fade;
  fade.Advance();
  const int shown = fade.CompositeIndex();
  fade.Restart(StatePicture::kHover);
  EXPECT_EQ(fade.FadeFromIndex(), shown);
  EXPECT_EQ(fade.CompositeIndex(), 1 - shown);
  EXPECT_EQ(DrawnLevels(fade).size(), 7u);
}

struct TargetCase {
  bool disabled, hovered, pressed;
  StatePicture expected;
};

class TargetForTest : public ::testing::TestWithParam<TargetCase> {};

TEST_P(TargetForTest, PicksThePictureOfTheState) {
  const TargetCase& c = GetParam();
  EXPECT_EQ(TargetFor(c.disabled, c.hovered, c.pressed), c.expected);
}

INSTANTIATE_TEST_SUITE_P(States, TargetForTest,
                         ::testing::Values(TargetCase{false, false, false, StatePicture::kNormal},
                                           TargetCase{false, false, true, StatePicture::kNormal},
                                           TargetCase{false, true, false, StatePicture::kHover},
                                           TargetCase{false, true, true, StatePicture::kPressed},
                                           TargetCase{true, true, true, StatePicture::kDisabled}));

TEST(BlendConstantAlpha, MixesEveryChannelByTheLevel) {
  const std::array<std::uint8_t, 4> from{0, 100, 200, 255};
  const std::array<std::uint8_t, 4> to{255, 0, 200, 0};
  std::array<std::uint8_t, 4> out{};
  BlendConstantAlpha(out.data(), from.data(), to.data(), 4, 255);
  EXPECT_EQ(out, to);
  BlendConstantAlpha(out.data(), from.data(), to.data(), 4, 0);
  EXPECT_EQ(out, from);
  BlendConstantAlpha(out.data(), from.data(), to.data(), 4, 127);
  EXPECT_EQ(out, (std::array<std::uint8_t, 4>{127, 50, 200, 128}));
}

}  // namespace
}  // namespace vantorel::skin
