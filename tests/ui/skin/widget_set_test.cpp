// The widget state machine and the widget set, without any toolkit.
#include <gtest/gtest.h>

#include "tests/ui/skin/fake_owner.h"
#include "ui/skin/skin_widget.h"
#include "ui/skin/widget_set.h"

namespace vantorel::skin {
namespace {

using testing::FakeOwner;

class CountingWidget : public SkinWidget {
 public:
  using SkinWidget::SkinWidget;
  void OnClick() override { ++clicks; }
  void OnMouseMove(int x, int y) override { moves.push_back(Point{x, y}); }
  int clicks = 0;
  std::vector<Point> moves;
};

class WidgetSetTest : public ::testing::Test {
 protected:
  WidgetSetTest() {
    owner.set.Add(&a);
    owner.set.Add(&b);
  }
  FakeOwner owner;
  CountingWidget a{owner, Rect{10, 10, 42, 42}};
  CountingWidget b{owner, Rect{50, 10, 82, 42}};
  const Point inA{20, 20};
  const Point inB{60, 20};
  const Point outside{200, 200};
};

TEST_F(WidgetSetTest, PressLeaveReleaseOutsideGivesNoClick) {
  owner.Press(inA);
  EXPECT_TRUE(a.IsPressed());
  EXPECT_TRUE(owner.captured);
  owner.MoveTo(outside);
  EXPECT_FALSE(a.IsHovered());
  EXPECT_TRUE(a.IsPressed());  // still held, drawn as normal while the pointer is away
  owner.Release(outside);
  EXPECT_EQ(a.clicks, 0);
  EXPECT_FALSE(a.IsPressed());
  EXPECT_FALSE(owner.captured);
  EXPECT_EQ(owner.set.Captured(), nullptr);
}

TEST_F(WidgetSetTest, PressLeaveReturnReleaseGivesOneClick) {
  owner.Press(inA);
  owner.MoveTo(outside);
  owner.MoveTo(inA);
  EXPECT_TRUE(a.IsHovered());
  EXPECT_TRUE(a.IsPressed());
  owner.Release(inA);
  EXPECT_EQ(a.clicks, 1);
  EXPECT_EQ(b.clicks, 0);
}

TEST_F(WidgetSetTest, OnlyTheCapturedWidgetSeesMovement) {
  owner.Press(inA);
  owner.MoveTo(inB);
  EXPECT_FALSE(b.IsHovered());
  EXPECT_TRUE(b.moves.empty());
  EXPECT_EQ(a.moves.back(), inB);
  owner.Release(inB);
  EXPECT_EQ(a.clicks, 0);
  EXPECT_EQ(b.clicks, 0);
  owner.MoveTo(inB);
  EXPECT_TRUE(b.IsHovered());
}

TEST_F(WidgetSetTest, LeavingTheWindowClearsEveryHover) {
  owner.MoveTo(inA);
  EXPECT_TRUE(a.IsHovered());
  EXPECT_FALSE(owner.set.OnMouseMove(0, Point{-1, -1}));
  EXPECT_FALSE(a.IsHovered());
  EXPECT_FALSE(b.IsHovered());
}

TEST_F(WidgetSetTest, HiddenOrDisabledWidgetTakesNoPress) {
  b.SetHidden(true);
  a.SetDisabled(true);
  EXPECT_FALSE(owner.set.OnLButtonDown(owner, 0, inA));
  EXPECT_FALSE(owner.set.OnLButtonDown(owner, 0, inB));
  EXPECT_FALSE(owner.captured);
  EXPECT_FALSE(owner.set.OnMouseMove(0, inB));
  EXPECT_FALSE(b.IsHovered());
}

TEST_F(WidgetSetTest, DisablingClearsHoverAndPress) {
  owner.Press(inA);
  a.SetDisabled(true);
  EXPECT_FALSE(a.IsHovered());
  EXPECT_FALSE(a.IsPressed());
  owner.Release(inA);
  EXPECT_EQ(a.clicks, 0);  // a disabled widget refuses the release's hit test
}

TEST_F(WidgetSetTest, EnablingUnderThePointerHoversAtOnce) {
  a.SetDisabled(true);
  owner.cursor = inA;
  a.SetDisabled(false);
  EXPECT_TRUE(a.IsHovered());
  b.SetHidden(true);
  owner.cursor = outside;
  b.SetHidden(false);
  EXPECT_FALSE(b.IsHovered());
}

TEST_F(WidgetSetTest, ShowingADisabledWidgetDoesNotHoverIt) {
  a.SetDisabled(true);
  a.SetHidden(true);
  owner.cursor = inA;
  a.SetHidden(false);
  EXPECT_FALSE(a.IsHovered());
}

TEST_F(WidgetSetTest, UnchangedFlagsAndRectanglesAskForNoRedraw) {
  a.SetDisabled(false);
  a.SetHidden(false);
  a.SetRect(a.GetRect());
  EXPECT_TRUE(owner.invalidated.empty());
  const Rect old = a.GetRect();
  a.SetRect(Rect{0, 0, 5, 5});
  EXPECT_EQ(owner.invalidated, (std::vector<Rect>{old, Rect{0, 0, 5, 5}}));
}

TEST_F(WidgetSetTest, RemovingTheCapturedWidgetForgetsIt) {
  owner.Press(inA);
  owner.set.Remove(&a);
  EXPECT_EQ(owner.set.Captured(), nullptr);
  EXPECT_FALSE(owner.set.OnLButtonUp(0, inA));
}

TEST(SkinWidgetHitTest, RightAndBottomAreExclusive) {
  FakeOwner owner;
  SkinWidget w(owner, Rect{0, 0, 10, 10});
  EXPECT_TRUE(w.HitTest(Point{0, 0}));
  EXPECT_TRUE(w.HitTest(Point{9, 9}));
  EXPECT_FALSE(w.HitTest(Point{10, 5}));
  EXPECT_FALSE(w.HitTest(Point{5, 10}));
}

}  // namespace
}  // namespace vantorel::skin
