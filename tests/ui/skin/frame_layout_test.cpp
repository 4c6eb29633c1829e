// The frame's geometry for both programs' layouts.
#include <gtest/gtest.h>

#include "ui/skin/frame_layout.h"

namespace vantorel::skin {
namespace {

const FrameMetrics kMetrics;
constexpr Rect kParkedButton{-100, -100, -84, -84};

struct HitCase {
  Point point;
  FrameHit expected;
};

class FrameHitTestTest : public ::testing::TestWithParam<HitCase> {};

TEST_P(FrameHitTestTest, BandsAreEightPixelsAtEveryEdge) {
  EXPECT_EQ(FrameHitTest(kMetrics, GetParam().point, 500, 400), GetParam().expected);
}

// A 500 x 400 client area: x < 8 and x > 492 are the side bands, y < 8 and y > 392 the top
// and bottom bands; the bottom panel above y = 392 is not a band.
INSTANTIATE_TEST_SUITE_P(
    Bands, FrameHitTestTest,
    ::testing::Values(HitCase{{0, 0}, FrameHit::kTopLeft}, HitCase{{7, 7}, FrameHit::kTopLeft},
                      HitCase{{8, 8}, FrameHit::kClient}, HitCase{{3, 399}, FrameHit::kBottomLeft},
                      HitCase{{499, 0}, FrameHit::kTopRight},
                      HitCase{{493, 393}, FrameHit::kBottomRight},
                      HitCase{{492, 200}, FrameHit::kClient}, HitCase{{4, 200}, FrameHit::kLeft},
                      HitCase{{495, 200}, FrameHit::kRight}, HitCase{{250, 2}, FrameHit::kTop},
                      HitCase{{250, 396}, FrameHit::kBottom},
                      HitCase{{250, 392}, FrameHit::kClient},
                      HitCase{{250, 340}, FrameHit::kClient}));

struct LayoutCase {
  FrameProgram program;
  int cx, cy;
  bool homeInView;
};

class FrameButtonLayoutTest : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(FrameButtonLayoutTest, PlacesTheFrameButtons) {
  const LayoutCase& c = GetParam();
  const FrameButtonLayout l = LayoutFrameButtons(kMetrics, c.program, c.cx, c.cy, true);
  if (c.homeInView) {
    EXPECT_EQ(l.homePage, (Rect{18, c.cy - 52, 82, c.cy - 12}));
  } else {
    EXPECT_EQ(l.homePage, (Rect{-1000, -1000, -936, -960}));
  }
  const int top = c.cy - 28;
  EXPECT_EQ(l.language, (Rect{c.cx - 98, top, c.cx - 82, top + 16}));
  EXPECT_EQ(l.help.left, c.cx - 82);
  EXPECT_EQ(l.minimise.left, c.cx - 66);
  EXPECT_EQ(l.maximise, (Rect{c.cx - 50, top, c.cx - 34, top + 16}));
  EXPECT_EQ(l.restore, kParkedButton);
  EXPECT_EQ(l.close, (Rect{c.cx - 34, top, c.cx - 18, top + 16}));
}

// The home page button is parked at a width of 300 or less in the sender and 162 or less
// in the receiver.
INSTANTIATE_TEST_SUITE_P(BothPrograms, FrameButtonLayoutTest,
                         ::testing::Values(LayoutCase{FrameProgram::kSender, 300, 285, false},
                                           LayoutCase{FrameProgram::kSender, 301, 285, true},
                                           LayoutCase{FrameProgram::kSender, 640, 480, true},
                                           LayoutCase{FrameProgram::kReceiver, 162, 300, false},
                                           LayoutCase{FrameProgram::kReceiver, 163, 300, true},
                                           LayoutCase{FrameProgram::kReceiver, 406, 285, true}));

TEST(FrameButtonLayout, RestoreTakesMaximisesPlaceUnlessShownNormally) {
  const FrameButtonLayout normal =
      LayoutFrameButtons(kMetrics, FrameProgram::kReceiver, 640, 480, true);
  const FrameButtonLayout maximised =
      LayoutFrameButtons(kMetrics, FrameProgram::kReceiver, 640, 480, false);
  EXPECT_EQ(maximised.restore, normal.maximise);
  EXPECT_EQ(maximised.maximise, kParkedButton);
}

TEST(TransportLayout, SenderButtonsAndSlider) {
  const TransportLayout l = LayoutTransport(kMetrics, 640, 480);
  EXPECT_EQ(l.buttons[0], (Rect{140, 438, 172, 470}));
  EXPECT_EQ(l.buttons[3], (Rect{236, 438, 268, 470}));
  EXPECT_EQ(l.track, (Rect{130, 418, 612, 426}));
  EXPECT_EQ(l.thumbTop, 418);
}

TEST(NinePieces, CornersAreCopiedAndTheRestStretched) {
  const auto pieces = NinePieces(kMetrics, 600, 400);
  EXPECT_EQ(pieces[0].destination, pieces[0].source);  // top-left
  EXPECT_EQ(pieces[1].destination, (Rect{592, 0, 600, 8}));
  EXPECT_EQ(pieces[1].source, (Rect{376, 0, 384, 8}));
  EXPECT_EQ(pieces[5].destination, (Rect{8, 8, 592, 336}));  // centre
  EXPECT_EQ(pieces[5].source, (Rect{8, 8, 376, 224}));
  EXPECT_EQ(pieces[6].destination, (Rect{0, 336, 150, 400}));  // bottom-left
  EXPECT_EQ(pieces[7].destination, (Rect{580, 336, 600, 400}));
  EXPECT_EQ(pieces[8].destination, (Rect{150, 336, 580, 400}));  // bottom edge
  EXPECT_EQ(pieces[8].source, (Rect{150, 224, 364, 288}));
  int area = 0;
  for (const FramePiece& p : pieces) area += p.destination.Width() * p.destination.Height();
  EXPECT_EQ(area, 600 * 400);
}

TEST(VideoArea, IsTheClientAreaLessTheBorders) {
  EXPECT_EQ(VideoArea(kMetrics, 640, 480), (Rect{8, 8, 632, 416}));
}

}  // namespace
}  // namespace vantorel::skin
