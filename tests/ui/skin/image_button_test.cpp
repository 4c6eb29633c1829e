// Image buttons and the slider drawn into pictures, driven through a widget set.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "tests/ui/skin/fake_owner.h"
#include "ui/skin/image_button.h"
#include "ui/skin/skin_slider.h"

namespace vantorel::skin {
namespace {

using testing::FakeOwner;

QImage Solid(QRgb colour, int w = 8, int h = 8) {
  QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
  image.fill(colour);
  return image;
}

const QRgb kRed = qRgb(255, 0, 0), kGreen = qRgb(0, 255, 0), kBlue = qRgb(0, 0, 255),
           kGrey = qRgb(90, 90, 90);

ButtonImages FourColours() {
  return {Solid(kRed), Solid(kGreen), Solid(kBlue), Solid(kGrey)};
}

// One paint of the widget onto a transparent canvas; the pixel at the widget's corner.
QRgb PaintOnce(SkinWidget& widget, QImage* canvasOut = nullptr) {
  QImage canvas(64, 64, QImage::Format_ARGB32_Premultiplied);
  canvas.fill(Qt::transparent);
  {
    QPainter painter(&canvas);
    widget.Draw(painter);
  }
  if (canvasOut != nullptr) *canvasOut = canvas;
  const Rect r = widget.GetRect();
  return canvas.pixel(r.left + 1, r.top + 1);
}

QRgb FinishFade(ImageButton& button) {
  QRgb shown = 0;
  for (int i = 0; i < 8; ++i) shown = PaintOnce(button);
  EXPECT_FALSE(button.Fade().Running());
  return shown;
}

class ImageButtonTest : public ::testing::Test {
 protected:
  ImageButtonTest() { owner.set.Add(&button); }
  FakeOwner owner;
  ImageButton button{owner, Rect{10, 10, 18, 18}, CommandClick(1000), FourColours()};
  const Point inside{12, 12};
  const Point outside{40, 40};
};

TEST_F(ImageButtonTest, ShowsTheNormalPictureAfterSevenFrames) {
  int frames = 0;
  while (button.Fade().Running()) {
    PaintOnce(button);
    ++frames;
  }
  EXPECT_EQ(frames, 7);
  EXPECT_EQ(PaintOnce(button), kRed);
}

TEST_F(ImageButtonTest, TwoChangesBeforeAPaintFadeFromThePictureOnScreen) {
  FinishFade(button);
  owner.Press(inside);  // enter, then press
  const QRgb first = PaintOnce(button);
  EXPECT_NEAR(qRed(first), 192, 1);
  EXPECT_EQ(qGreen(first), 0);  // never through the hover picture
  EXPECT_NEAR(qBlue(first), 63, 1);
  EXPECT_EQ(FinishFade(button), kBlue);
}

TEST_F(ImageButtonTest, ChangeInTheMiddleOfAFadeStartsFromThePartlyBlendedPicture) {
  FinishFade(button);
  owner.MoveTo(inside);
  for (int i = 0; i < 3; ++i) PaintOnce(button);  // red halfway to green
  owner.set.OnLButtonDown(owner, 0, inside);
  const QRgb first = PaintOnce(button);
  EXPECT_GT(qRed(first), 60);
  EXPECT_GT(qGreen(first), 60);
  EXPECT_NEAR(qBlue(first), 63, 1);
}

TEST_F(ImageButtonTest, ClickIsSentAsTheClickMessage) {
  owner.Press(inside);
  EXPECT_TRUE(owner.sent.empty());
  owner.Release(inside);
  EXPECT_EQ(owner.sent, (std::vector<FrameEvent>{CommandEvent{1000}}));
}

TEST_F(ImageButtonTest, DisablingAHoveredButtonClearsHoverAndPressAndFadesToDisabled) {
  owner.Press(inside);
  button.SetDisabled(true);
  EXPECT_FALSE(button.IsHovered());
  EXPECT_FALSE(button.IsPressed());
  EXPECT_EQ(button.Fade().Target(), StatePicture::kDisabled);
  EXPECT_EQ(FinishFade(button), kGrey);
}

TEST_F(ImageButtonTest, EnablingUnderThePointerHoversAtOnce) {
  button.SetDisabled(true);
  FinishFade(button);
  owner.cursor = inside;
  button.SetDisabled(false);
  EXPECT_TRUE(button.IsHovered());
  EXPECT_EQ(FinishFade(button), kGreen);
}

TEST_F(ImageButtonTest, HiddenButtonNeitherDrawsNorTakesPresses) {
  button.SetHidden(true);
  QImage canvas;
  PaintOnce(button, &canvas);
  QImage empty(64, 64, QImage::Format_ARGB32_Premultiplied);
  empty.fill(Qt::transparent);
  EXPECT_EQ(canvas, empty);
  EXPECT_FALSE(owner.set.OnLButtonDown(owner, 0, inside));
  EXPECT_FALSE(button.IsPressed());
}

TEST_F(ImageButtonTest, TicksAskForRedrawsOnlyWhileFading) {
  button.OnTick();
  EXPECT_EQ(owner.invalidated.size(), 1u);
  FinishFade(button);
  button.OnTick();
  EXPECT_EQ(owner.invalidated.size(), 1u);
}

TEST(ImageButtonPictures, MissingPicturesDrawNothingOrKeepThePictureOnScreen) {
  FakeOwner owner;
  ImageButton none(owner, Rect{0, 0, 8, 8}, CommandClick(1), ButtonImages{});
  QImage canvas;
  PaintOnce(none, &canvas);
  EXPECT_EQ(canvas.pixel(4, 4), qRgba(0, 0, 0, 0));

  ImageButton noHover(owner, Rect{0, 0, 8, 8}, CommandClick(1),
                      ButtonImages{Solid(kRed), {}, {}, {}});
  FinishFade(noHover);
  noHover.OnMouseEnter();
  EXPECT_EQ(FinishFade(noHover), kRed);
}

TEST(ImageButtonPictures, DrawsAtThePictureSizeWhateverTheRectangle) {
  FakeOwner owner;
  ImageButton button(owner, Rect{0, 0, 4, 4}, CommandClick(1),
                     ButtonImages{Solid(kRed, 4, 4), {}, {}, {}});
  button.SetRect(Rect{20, 20, 50, 50});
  QImage canvas;
  for (int i = 0; i < 8; ++i) PaintOnce(button, &canvas);
  EXPECT_EQ(canvas.pixel(23, 23), kRed);
  EXPECT_EQ(canvas.pixel(24, 24), qRgba(0, 0, 0, 0));
}

class SkinSliderTest : public ::testing::Test {
 protected:
  SkinSliderTest() { owner.set.Add(&slider); }
  static constexpr Rect kTrack{130, 30, 330, 38};
  FakeOwner owner;
  SkinSlider slider{kTrack, owner, Rect{130, 30, 146, 38}, CommandClick(1104),
                    ButtonImages{Solid(kRed, 16, 8), Solid(kGreen, 16, 8), Solid(kBlue, 16, 8),
                                 Solid(kGrey, 16, 8)}};
};

FrameEvent Report(int pos) {
  return SliderDragEvent{pos};
}

TEST_F(SkinSliderTest, ClampsAtBothEndsAndReportsTheRangeEnds) {
  owner.Press(Point{135, 34});
  owner.MoveTo(Point{-500, 34});
  EXPECT_EQ(slider.GetRect().left, 130);
  EXPECT_EQ(owner.sent.back(), Report(0));
  owner.MoveTo(Point{5000, 34});
  EXPECT_EQ(slider.GetRect().left, 330);
  EXPECT_EQ(owner.sent.back(), Report(100));
  owner.MoveTo(Point{235, 90});
  EXPECT_EQ(slider.GetRect(), (Rect{230, 30, 246, 38}));
  EXPECT_EQ(owner.sent.back(), Report(50));
}

TEST_F(SkinSliderTest, ClickComesAfterTheLastPositionReport) {
  owner.Press(Point{135, 34});
  owner.Release(Point{175, 34});
  ASSERT_GE(owner.sent.size(), 2u);
  EXPECT_EQ(owner.sent[owner.sent.size() - 2], Report(20));
  EXPECT_EQ(owner.sent.back(), FrameEvent{CommandEvent{1104}});
}

TEST_F(SkinSliderTest, SetPosAndTrackKeepTheThumbInPlace) {
  slider.SetRange(0, 120, false);
  slider.SetPos(60);
  EXPECT_EQ(slider.GetRect().left, 230);
  slider.SetTrackRect(Rect{100, 50, 500, 58});
  EXPECT_EQ(slider.GetRect().left, 300);
  slider.SetTop(50);
  EXPECT_EQ(slider.GetRect(), (Rect{300, 50, 316, 58}));
}

TEST_F(SkinSliderTest, DrawsTheTrackWithThePaintersPen) {
  QImage canvas(400, 64, QImage::Format_ARGB32_Premultiplied);
  canvas.fill(Qt::transparent);
  {
    QPainter painter(&canvas);
    painter.setPen(QPen(QColor(kGrey), 1));
    slider.Draw(painter);
  }
  EXPECT_EQ(canvas.pixel(300, 34), kGrey);  // y = track top + thumb height / 2
  EXPECT_EQ(canvas.pixel(345, 34), kGrey);  // the line runs a thumb's width past the track
  EXPECT_EQ(canvas.pixel(300, 33), qRgba(0, 0, 0, 0));
  slider.SetHidden(true);
  canvas.fill(Qt::transparent);
  {
    QPainter painter(&canvas);
    slider.Draw(painter);
  }
  EXPECT_EQ(canvas.pixel(300, 34), qRgba(0, 0, 0, 0));
}

}  // namespace
}  // namespace vantorel::skin
