// The video widget: where the picture goes in the area, and that a decoded BGRx frame handed
// over on another thread shows with its colours and shape.
#include "ui/skin/video_widget.h"

#include <gtest/gtest.h>

#include <QContextMenuEvent>
#include <QImage>
#include <QMouseEvent>
#include <QPixmap>
#include <QTest>

#include <gst/gst.h>

#include <cstring>
#include <thread>

namespace vantorel::skin {
namespace {

struct FitCase {
  const char* name;
  QRect area;
  int width;
  int height;
  int parN;
  int parD;
  QRect expected;
};

class FitPictureTest : public ::testing::TestWithParam<FitCase> {};

TEST_P(FitPictureTest, KeepsTheShapeAndCentres) {
  const FitCase& c = GetParam();
  EXPECT_EQ(FitPicture(c.area, c.width, c.height, c.parN, c.parD), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, FitPictureTest,
    ::testing::Values(
        FitCase{"SameShape", {0, 0, 400, 300}, 320, 240, 1, 1, {0, 0, 400, 300}},
        FitCase{"BarsLeftAndRight", {0, 0, 400, 200}, 320, 240, 1, 1, {67, 0, 266, 200}},
        FitCase{"BarsAboveAndBelow", {0, 0, 400, 300}, 640, 240, 1, 1, {0, 75, 400, 150}},
        FitCase{"OffsetArea", {8, 8, 390, 234}, 320, 240, 1, 1, {47, 8, 312, 234}},
        FitCase{"WidePixels", {0, 0, 360, 240}, 352, 240, 12, 11, {0, 7, 360, 225}},
        FitCase{"Pal43", {0, 0, 400, 300}, 720, 576, 16, 15, {0, 0, 400, 300}},
        FitCase{"NoArea", {0, 0, 0, 300}, 320, 240, 1, 1, {}},
        FitCase{"NoPicture", {0, 0, 400, 300}, 0, 240, 1, 1, {}},
        FitCase{"BrokenAspect", {0, 0, 400, 300}, 320, 240, 0, 1, {}}),
    [](const ::testing::TestParamInfo<FitCase>& info) { return std::string(info.param.name); });

// A w x h BGRx frame of one colour, as the video output hands it over.
std::unique_ptr<media::VideoFrame> SolidFrame(int w, int h, std::uint8_t b, std::uint8_t g,
                                              std::uint8_t r) {
  gst_init(nullptr, nullptr);
  const gsize size = static_cast<gsize>(w) * h * 4;
  GstBuffer* buffer = gst_buffer_new_allocate(nullptr, size, nullptr);
  GstMapInfo map;
  gst_buffer_map(buffer, &map, GST_MAP_WRITE);
  for (gsize i = 0; i < size; i += 4) {
    map.data[i] = b;
    map.data[i + 1] = g;
    map.data[i + 2] = r;
    map.data[i + 3] = 0;
  }
  gst_buffer_unmap(buffer, &map);
  media::CapsPtr caps(gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGRx", "width",
                                          G_TYPE_INT, w, "height", G_TYPE_INT, h,
                                          "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1,
                                          "framerate", GST_TYPE_FRACTION, 25, 1, nullptr));
  media::SamplePtr sample(gst_sample_new(buffer, caps.get(), nullptr, nullptr));
  gst_buffer_unref(buffer);
  return media::VideoFrame::FromSample(std::move(sample));
}

TEST(VideoWidgetTest, ShowsAFrameFromAnotherThreadInItsColoursAndShape) {
  VideoWidget window(nullptr, WithoutPicture::kBlack);
  window.resize(200, 100);
  window.show();
  EXPECT_EQ(qGray(window.grab().toImage().pixel(100, 50)), 0) << "black before any frame";

  auto frame = SolidFrame(320, 240, 0x10, 0x20, 0xF0);
  ASSERT_NE(frame, nullptr);
  std::thread streaming([&] { window.OnVideoFrame(std::move(frame)); });
  streaming.join();
  ASSERT_TRUE(QTest::qWaitFor([&] { return window.FramesShown() == 1; }));

  const QImage shot = window.grab().toImage();
  EXPECT_EQ(shot.pixel(100, 50), qRgb(0xF0, 0x20, 0x10));
  // 320 x 240 in 200 x 100 is 133 x 100 from x = 33: the sides stay black.
  EXPECT_EQ(shot.pixel(40, 50), qRgb(0xF0, 0x20, 0x10));
  EXPECT_EQ(shot.pixel(20, 50), qRgb(0, 0, 0));
  EXPECT_EQ(shot.pixel(180, 50), qRgb(0, 0, 0));

  window.Clear();
  EXPECT_EQ(window.grab().toImage().pixel(100, 50), qRgb(0, 0, 0));
}

// The frame's own picture shows until the first frame and again after Clear, even when a
// frame was still on its way to the window thread.
TEST(VideoWidgetTest, HiddenWithoutAPictureAndAfterClear) {
  QWidget frame;
  frame.resize(200, 100);
  frame.show();
  VideoWidget video(&frame, WithoutPicture::kHidden);
  video.resize(200, 100);
  EXPECT_FALSE(video.isVisible());

  video.OnVideoFrame(SolidFrame(320, 240, 0, 0, 0));
  ASSERT_TRUE(QTest::qWaitFor([&] { return video.FramesShown() == 1; }));
  EXPECT_TRUE(video.isVisible());
  EXPECT_EQ(video.PictureRect(), QRect(33, 0, 133, 100));

  video.OnVideoFrame(SolidFrame(320, 240, 0, 0, 0));
  video.Clear();
  QTest::qWait(0);
  EXPECT_FALSE(video.isVisible());
  EXPECT_EQ(video.FramesShown(), 0);
  EXPECT_TRUE(video.PictureRect().isEmpty());
}

// A window that keeps what reaches it of the pointer.
class PointerFrame : public QWidget {
 public:
  PointerFrame() { setMouseTracking(true); }
  QPoint lastMove{-1, -1};
  int menuRequests = 0;

 protected:
  void mouseMoveEvent(QMouseEvent* e) override { lastMove = e->position().toPoint(); }
  void contextMenuEvent(QContextMenuEvent*) override { ++menuRequests; }
};

// The pointer over the picture is on the widget (the figures follow it), and the window still
// gets the moves and the right clicks, in its own coordinates.
TEST(VideoWidgetTest, KnowsThePointerAndPassesItsEventsOnToTheWindow) {
  PointerFrame frame;
  frame.resize(200, 100);
  VideoWidget video(&frame, WithoutPicture::kBlack);
  video.setGeometry(10, 10, 100, 50);
  frame.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
  QTest::mouseMove(&frame, QPoint(150, 80));
  EXPECT_FALSE(video.underMouse());
  QTest::mouseMove(&frame, QPoint(40, 30));
  EXPECT_TRUE(video.underMouse());
  EXPECT_EQ(frame.lastMove, QPoint(40, 30));
  QTest::mouseClick(frame.windowHandle(), Qt::RightButton, {}, QPoint(40, 30));
  EXPECT_EQ(frame.menuRequests, 1);
}

}  // namespace
}  // namespace vantorel::skin
