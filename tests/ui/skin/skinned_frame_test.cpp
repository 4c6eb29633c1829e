// The frame on the offscreen platform: layout, resizing, moving, frame buttons, tooltips.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QTest>
#include <QToolTip>

#include <vector>

#include "tools/gallery/gallery_frame.h"
#include "ui/skin/skin_bitmap.h"
#include "ui/skin/skinned_frame.h"

namespace vantorel::skin {
namespace {

QPoint Centre(const Rect& r) {
  return QPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2);
}

// A receiver-like frame that keeps the commands it gets.
class RecordingFrame : public SkinnedFrame {
 public:
  explicit RecordingFrame(const ResourceLibrary* module)
      : SkinnedFrame(FrameProgram::kReceiver, module) {}
  std::vector<int> commands;
  std::vector<int> about;

 protected:
  bool OnCommand(int command) override {
    commands.push_back(command);
    return false;
  }
  void OnMenuEntry(int id) override { about.push_back(id); }
};

class FrameTest : public ::testing::Test {
 protected:
  FrameTest() : library(ResourceLibrary::Load(QStringLiteral(VANTOREL_RESDLL_PATH))) {}
  void ShowAt(QWidget& frame, int w, int h) {
    frame.resize(w, h);
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
  }
  std::unique_ptr<ResourceLibrary> library;
};

struct SizeCase {
  int w, h;
};

class FrameLayoutAtSizes : public FrameTest, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(FrameLayoutAtSizes, ReceiverPlacesItsButtonsByTheTable) {
  RecordingFrame frame(library.get());
  ShowAt(frame, GetParam().w, GetParam().h);
  const FrameButtonLayout expected = LayoutFrameButtons(frame.Metrics(), FrameProgram::kReceiver,
                                                        frame.width(), frame.height(), true);
  EXPECT_EQ(frame.GetFrameButton(FrameButton::kHomePage)->GetRect(), expected.homePage);
  EXPECT_EQ(frame.GetFrameButton(FrameButton::kLanguage)->GetRect(), expected.language);
  EXPECT_EQ(frame.GetFrameButton(FrameButton::kMaximize)->GetRect(), expected.maximise);
  EXPECT_EQ(frame.GetFrameButton(FrameButton::kRestore)->GetRect(), expected.restore);
  EXPECT_EQ(frame.GetFrameButton(FrameButton::kClose)->GetRect(), expected.close);
  EXPECT_EQ(frame.VideoArea(), (Rect{8, 8, frame.width() - 8, frame.height() - 64}));
}

TEST_P(FrameLayoutAtSizes, SenderPlacesTransportAndSlider) {
  tools::GalleryFrame frame(library.get(), nullptr);
  ShowAt(frame, GetParam().w, GetParam().h);
  const int cx = frame.width(), cy = frame.height();
  const FrameButtonLayout buttons =
      LayoutFrameButtons(frame.Metrics(), FrameProgram::kSender, cx, cy, true);
  const TransportLayout transport = LayoutTransport(frame.Metrics(), cx, cy);
  EXPECT_EQ(frame.GetFrameButton(FrameButton::kHomePage)->GetRect(), buttons.homePage);
  EXPECT_EQ(frame.GetFrameButton(FrameButton::kHelp)->GetRect(), buttons.help);
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(frame.Transport(i)->GetRect(), transport.buttons[i]);
  }
  EXPECT_EQ(frame.Slider()->Track(), (Rect{130, cy - 62, cx - 28, cy - 54}));
  EXPECT_EQ(frame.Slider()->GetRect().top, cy - 62);
}

INSTANTIATE_TEST_SUITE_P(Sizes, FrameLayoutAtSizes,
                         ::testing::Values(SizeCase{406, 285}, SizeCase{640, 480},
                                           SizeCase{1000, 700}));

TEST_F(FrameTest, CannotBeMadeSmallerThanTheMinimum) {
  RecordingFrame frame(library.get());
  ShowAt(frame, 100, 100);
  EXPECT_EQ(frame.size(), QSize(406, 285));
}

TEST_F(FrameTest, MaximiseAndRestoreSwapPlaces) {
  RecordingFrame frame(library.get());
  ShowAt(frame, 500, 400);
  ImageButton* maximise = frame.GetFrameButton(FrameButton::kMaximize);
  ImageButton* restore = frame.GetFrameButton(FrameButton::kRestore);
  const Rect place = maximise->GetRect();
  QTest::mouseClick(&frame, Qt::LeftButton, {}, Centre(place));
  EXPECT_EQ(frame.commands, (std::vector<int>{kCmdMaximize}));
  ASSERT_TRUE(QTest::qWaitFor([&] { return frame.isMaximized(); }));
  EXPECT_EQ(restore->GetRect().left, frame.width() - 50);
  EXPECT_EQ(maximise->GetRect(), (Rect{-100, -100, -84, -84}));
  QTest::mouseClick(&frame, Qt::LeftButton, {}, Centre(restore->GetRect()));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !frame.isMaximized(); }));
  EXPECT_EQ(maximise->GetRect(), place);
  EXPECT_EQ(restore->GetRect(), (Rect{-100, -100, -84, -84}));
}

TEST_F(FrameTest, BandsResizeAndTheRestOfTheFrameMoves) {
  RecordingFrame frame(library.get());
  ShowAt(frame, 500, 400);
  const QPoint start = frame.pos();
  // The bottom panel outside every widget: a move.
  QTest::mousePress(&frame, Qt::LeftButton, {}, QPoint(300, 360));
  QTest::mouseMove(&frame, QPoint(340, 390));
  QTest::mouseRelease(&frame, Qt::LeftButton, {}, QPoint(340, 390));
  ASSERT_TRUE(QTest::qWaitFor([&] { return frame.pos() == start + QPoint(40, 30); }));
  // The right band: a resize.
  QTest::mousePress(&frame, Qt::LeftButton, {}, QPoint(497, 200));
  QTest::mouseMove(&frame, QPoint(557, 200));
  QTest::mouseRelease(&frame, Qt::LeftButton, {}, QPoint(557, 200));
  ASSERT_TRUE(QTest::qWaitFor([&] { return frame.width() == 560; }));
  EXPECT_EQ(frame.GetFrameButton(FrameButton::kClose)->GetRect().right, 560 - 18);
  // The video area: nothing.
  const QPoint before = frame.pos();
  QTest::mousePress(&frame, Qt::LeftButton, {}, QPoint(200, 200));
  QTest::mouseMove(&frame, QPoint(260, 260));
  QTest::mouseRelease(&frame, Qt::LeftButton, {}, QPoint(260, 260));
  QTest::qWait(20);
  EXPECT_EQ(frame.pos(), before);
  EXPECT_EQ(frame.width(), 560);
  EXPECT_TRUE(frame.commands.empty());
}

TEST_F(FrameTest, PointerShapeShowsTheBands) {
  RecordingFrame frame(library.get());
  ShowAt(frame, 500, 400);
  QTest::mouseMove(&frame, QPoint(497, 397));
  EXPECT_EQ(frame.cursor().shape(), Qt::SizeFDiagCursor);
  QTest::mouseMove(&frame, QPoint(250, 3));
  EXPECT_EQ(frame.cursor().shape(), Qt::SizeVerCursor);
  QTest::mouseMove(&frame, QPoint(250, 370));
  EXPECT_EQ(frame.cursor().shape(), Qt::ArrowCursor);
}

TEST_F(FrameTest, LeavingTheWindowClearsTheHoverWithinOneTick) {
  RecordingFrame frame(library.get());
  ShowAt(frame, 500, 400);
  ImageButton* help = frame.GetFrameButton(FrameButton::kHelp);
  QCursor::setPos(frame.mapToGlobal(Centre(help->GetRect())));
  QTest::mouseMove(&frame, Centre(help->GetRect()));
  ASSERT_TRUE(help->IsHovered());
  QCursor::setPos(frame.mapToGlobal(QPoint(-200, -200)));
  frame.PollMouseLeave();
  EXPECT_FALSE(help->IsHovered());
}

TEST_F(FrameTest, HidingTheWindowEndsAPressWithoutAClick) {
  RecordingFrame frame(library.get());
  ShowAt(frame, 500, 400);
  QTest::mousePress(&frame, Qt::LeftButton, {},
                    Centre(frame.GetFrameButton(FrameButton::kHelp)->GetRect()));
  ASSERT_NE(frame.Widgets().Captured(), nullptr);
  frame.hide();
  EXPECT_EQ(frame.Widgets().Captured(), nullptr);
  EXPECT_TRUE(frame.commands.empty());
}

TEST_F(FrameTest, TooltipsFollowTheirWidgetsAndCanBeTranslated) {
  RecordingFrame frame(library.get());
  ShowAt(frame, 500, 400);
  ASSERT_EQ(frame.ToolTipCount(), 7);
  EXPECT_EQ(frame.ToolTipText(6), QStringLiteral("Exit from Vantorel"));
  const Point close{frame.width() - 26, frame.height() - 20};
  EXPECT_EQ(frame.ToolTipAt(close), QStringLiteral("Exit from Vantorel"));
  frame.SetToolTipText(6, QStringLiteral("Quitter"));
  EXPECT_EQ(frame.ToolTipAt(close), QStringLiteral("Quitter"));
  const Point maximise{frame.width() - 42, frame.height() - 20};
  EXPECT_EQ(frame.ToolTipAt(maximise), QStringLiteral("Maximize Window"));
  EXPECT_EQ(frame.ToolTipAt(Point{200, 200}), QString());

  // Shown over the window even while another window is the active one.
  QWidget other;
  other.show();
  QApplication::setActiveWindow(&other);
  ASSERT_FALSE(frame.isActiveWindow());
  // The toolkit's tooltip timer starts with a resting pointer.
  QTest::mouseMove(&frame, QPoint(close.x - 1, close.y));
  QTest::mouseMove(&frame, QPoint(close.x, close.y));
  EXPECT_TRUE(QTest::qWaitFor([] { return QToolTip::isVisible(); }, 3000));
  EXPECT_EQ(QToolTip::text(), QStringLiteral("Quitter"));
  QToolTip::hideText();
}

TEST_F(FrameTest, SystemMenuStandsInForTheWindowMenu) {
  RecordingFrame frame(library.get());
  frame.AppendSystemMenuItem(kAboutCommand, QStringLiteral("&About Lunnet..."));
  QStringList texts;
  for (QAction* action : frame.SystemMenu()->actions()) texts << action->text();
  EXPECT_EQ(texts, (QStringList{"Mi&nimize", "Ma&ximize", "&Restore", "&Close\tAlt+F4", "",
                                "&About Lunnet..."}));
  frame.SystemMenu()->actions().last()->trigger();
  EXPECT_EQ(frame.about, (std::vector<int>{kAboutCommand}));
}

TEST_F(FrameTest, CloseButtonClosesTheWindow) {
  RecordingFrame frame(library.get());
  ShowAt(frame, 500, 400);
  QTest::mouseClick(&frame, Qt::LeftButton, {},
                    Centre(frame.GetFrameButton(FrameButton::kClose)->GetRect()));
  EXPECT_FALSE(frame.isVisible());
}

TEST_F(FrameTest, WorksWithoutPictures) {
  RecordingFrame frame(nullptr);
  ShowAt(frame, 500, 400);
  QTest::mouseClick(&frame, Qt::LeftButton, {},
                    Centre(frame.GetFrameButton(FrameButton::kHelp)->GetRect()));
  EXPECT_EQ(frame.commands, (std::vector<int>{kCmdHelp}));
}

}  // namespace
}  // namespace vantorel::skin
