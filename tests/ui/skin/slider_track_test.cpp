#include <gtest/gtest.h>

#include "ui/skin/slider_track.h"

namespace vantorel::skin {
namespace {

constexpr Rect kTrack{130, 300, 330, 308};  // 200 wide
constexpr Rect kThumb{130, 300, 146, 308};

TEST(SliderTrack, PositionAndThumbLeftAreInverse) {
  const SliderRange range{0, 100};
  EXPECT_EQ(ThumbLeftForPos(kTrack, range, 0), 130);
  EXPECT_EQ(ThumbLeftForPos(kTrack, range, 50), 230);
  EXPECT_EQ(ThumbLeftForPos(kTrack, range, 100), 330);
  EXPECT_EQ(ThumbLeftForPos(kTrack, range, 103), 330);  // past the end: stays on the track
  EXPECT_EQ(ThumbLeftForPos(kTrack, range, -7), 130);
  EXPECT_EQ(PosForThumbLeft(kTrack, range, 230), 50);
  EXPECT_EQ(PosForThumbLeft(kTrack, range, 131), 0);  // truncates
}

TEST(SliderTrack, EmptyRangeOrTrackStaysAtTheStart) {
  EXPECT_EQ(ThumbLeftForPos(kTrack, SliderRange{0, 0}, 0), 130);
  EXPECT_EQ(PosForThumbLeft(Rect{5, 0, 5, -1}, SliderRange{3, 9}, 7), 3);
}

TEST(SliderTrack, DragKeepsTheLeftEdgeOnTheTrack) {
  const Point press{135, 304};
  EXPECT_EQ(DragThumb(kTrack, kThumb, press, Point{185, 400}), (Rect{180, 300, 196, 308}));
  EXPECT_EQ(DragThumb(kTrack, kThumb, press, Point{-500, 304}), kThumb);
  EXPECT_EQ(DragThumb(kTrack, kThumb, press, Point{5000, 304}), (Rect{330, 300, 346, 308}));
}

TEST(SliderTrack, VerticalTrackMovesTheTopEdge) {
  const Rect track{10, 10, 18, 110};
  const Rect thumb{10, 10, 18, 26};
  EXPECT_EQ(DragThumb(track, thumb, Point{12, 12}, Point{50, 62}), (Rect{10, 60, 18, 76}));
  EXPECT_EQ(DragThumb(track, thumb, Point{12, 12}, Point{12, 900}), (Rect{10, 110, 18, 126}));
}

TEST(SliderTrack, NewTrackKeepsTheRelativePlace) {
  const Rect half{230, 300, 246, 308};
  EXPECT_EQ(KeepRelativePlace(kTrack, Rect{100, 0, 500, 8}, half), (Rect{300, 300, 316, 308}));
  const Rect vertical{10, 10, 18, 110};
  EXPECT_EQ(KeepRelativePlace(vertical, kTrack, half), half);
}

}  // namespace
}  // namespace vantorel::skin
