// A grab of the gallery window shows the frame and every button in its state's picture.
#include <gtest/gtest.h>

#include <QTest>

#include "tools/gallery/gallery_frame.h"
#include "ui/skin/skin_bitmap.h"

namespace vantorel::tools {
namespace {

using skin::Rect;

// What a button picture shows at its centre on screen (the pictures are opaque there).
QRgb CentreOf(const skin::ResourceLibrary& library, const skin::SkinButtonInfo& button, int state) {
  const QImage picture =
      skin::LoadAlphaBitmap(library, button.pictures.colour[state], button.pictures.mask[state]);
  return picture.pixel(picture.width() / 2, picture.height() / 2);
}

bool Near(QRgb a, QRgb b, int tolerance = 3) {
  return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
         std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

QPoint Centre(const Rect& r) {
  return QPoint(r.left + r.Width() / 2, r.top + r.Height() / 2);
}

class GalleryGrab : public ::testing::Test {
 protected:
  GalleryGrab() : library(skin::ResourceLibrary::Load(QStringLiteral(VANTOREL_RESDLL_PATH))) {}
  // Each paint draws one frame of the running fades; eight paints finish them.
  QImage Grab(GalleryFrame& frame) {
    QImage image;
    for (int i = 0; i < 8; ++i) image = frame.grab().toImage();
    return image;
  }
  std::unique_ptr<skin::ResourceLibrary> library;
};

TEST_F(GalleryGrab, ShowsTheFrameAndTheButtons) {
  ASSERT_NE(library, nullptr);
  GalleryFrame frame(library.get(), nullptr);
  frame.resize(560, 380);
  frame.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
  const QImage shot = Grab(frame);
  const QImage picture = skin::LoadSkinBitmap(*library, skin::kFramePicture);
  // Corners are copied 1:1 from the frame picture.
  EXPECT_EQ(shot.pixel(3, 3), picture.pixel(3, 3));
  EXPECT_EQ(shot.pixel(556, 2), picture.pixel(380, 2));
  EXPECT_EQ(shot.pixel(5, 375), picture.pixel(5, 283));
  EXPECT_EQ(shot.pixel(557, 376), picture.pixel(381, 284));
  // Buttons in their states: Play and Pause enabled, Stop disabled while stopped.
  EXPECT_TRUE(Near(shot.pixel(Centre(frame.Transport(0)->GetRect())),
                   CentreOf(*library, skin::kTransportButtons[0], 0)));
  const QRgb stop = shot.pixel(Centre(frame.Transport(2)->GetRect()));
  EXPECT_TRUE(Near(stop, CentreOf(*library, skin::kTransportButtons[2], 3)));
  EXPECT_FALSE(Near(stop, CentreOf(*library, skin::kTransportButtons[2], 0)));
  const Rect close = frame.GetFrameButton(skin::FrameButton::kClose)->GetRect();
  EXPECT_TRUE(Near(shot.pixel(Centre(close)), CentreOf(*library, skin::kFrameButtons[6], 0)));
}

TEST_F(GalleryGrab, PosedButtonsShowHoverAndPressedPictures) {
  ASSERT_NE(library, nullptr);
  GalleryFrame frame(library.get(), nullptr);
  frame.resize(560, 380);
  frame.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
  frame.Pose();
  const QImage shot = Grab(frame);
  EXPECT_TRUE(Near(shot.pixel(Centre(frame.Transport(0)->GetRect())),
                   CentreOf(*library, skin::kTransportButtons[0], 1)));
  EXPECT_TRUE(Near(shot.pixel(Centre(frame.Transport(1)->GetRect())),
                   CentreOf(*library, skin::kTransportButtons[1], 2)));
}

TEST_F(GalleryGrab, TransportFollowsThePretendPlayback) {
  GalleryFrame frame(library.get(), nullptr);
  frame.resize(560, 380);
  frame.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
  QTest::mouseClick(&frame, Qt::LeftButton, {}, Centre(frame.Transport(0)->GetRect()));
  EXPECT_TRUE(frame.Transport(0)->IsDisabled());
  EXPECT_FALSE(frame.Transport(2)->IsDisabled());
  // Drag the thumb to the end of the track: the position follows the reports.
  const Rect thumb = frame.Slider()->GetRect();
  QTest::mousePress(&frame, Qt::LeftButton, {}, Centre(thumb));
  QTest::mouseMove(&frame, Centre(thumb) + QPoint(2000, 0));
  QTest::mouseRelease(&frame, Qt::LeftButton, {}, Centre(thumb) + QPoint(2000, 0));
  EXPECT_EQ(frame.Position(), GalleryFrame::kDurationSeconds);
}

}  // namespace
}  // namespace vantorel::tools
