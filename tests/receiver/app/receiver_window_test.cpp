// The receiver window's shell: its buttons, menu, keys and resizing, and what happens to
// datagram messages still queued when the pipeline goes away.
#include "receiver/app/receiver_main_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <cstring>

#include "receiver_test_support.h"
#include "ui/skin/video_widget.h"

namespace vantorel::receiver_app {
namespace {

using testing::FreeLoopbackPort;
using testing::LoopbackReceiver;
using testing::WaitUntil;

TEST(ReceiverWindowTest, OpensWithItsCaptionButtonsTooltipsAndPipeline) {
  LoopbackReceiver receiver(FreeLoopbackPort());
  ReceiverMainWindow& window = receiver.Window();
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Vantorel - [Lunnet]"));
  EXPECT_FALSE(window.windowIcon().availableSizes().isEmpty()) << "the program icon is missing";
  ASSERT_TRUE(window.HasWidgets());
  for (std::size_t i = 0; i < skin::kFrameButtons.size(); ++i) {
    skin::ImageButton* button = window.GetFrameButton(static_cast<skin::FrameButton>(i));
    EXPECT_TRUE(window.Widgets().Contains(button)) << i;
  }
  ASSERT_EQ(window.ToolTipCount(), 7);
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(window.ToolTipText(i), QString::fromUtf8(skin::kFrameButtons[i].toolText));
  }
  EXPECT_TRUE(window.HasPipeline());
  EXPECT_TRUE(window.Reception().listening);
}

TEST(ReceiverWindowTest, WithoutPicturesHasNoWidgetsButStillReceives) {
  LoopbackReceiver receiver(FreeLoopbackPort(), {}, LoopbackReceiver::Pictures::kNone);
  ReceiverMainWindow& window = receiver.Window();
  EXPECT_FALSE(window.HasWidgets());
  for (std::size_t i = 0; i < skin::kFrameButtons.size(); ++i) {
    EXPECT_FALSE(
        window.Widgets().Contains(window.GetFrameButton(static_cast<skin::FrameButton>(i))));
  }
  for (int i = 0; i < window.ToolTipCount(); ++i) EXPECT_TRUE(window.ToolTipText(i).isEmpty());
  EXPECT_TRUE(window.HasPipeline());
}

TEST(ReceiverWindowTest, AboutEntryOfTheFrameMenuOpensTheAboutBox) {
  LoopbackReceiver receiver(FreeLoopbackPort());
  QAction* about = nullptr;
  for (QAction* action : receiver.Window().SystemMenu()->actions()) {
    if (action->text() == QStringLiteral("About Lunnet(&A)...")) about = action;
  }
  ASSERT_NE(about, nullptr);
  QString shownTitle;
  QTimer::singleShot(0, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      shownTitle = box->windowTitle();
      box->accept();
    }
  });
  about->trigger();
  EXPECT_EQ(shownTitle, QStringLiteral("About Lunnet"));
}

TEST(ReceiverWindowTest, EscapeClosesTheWindowAndEndsReception) {
  LoopbackReceiver receiver(FreeLoopbackPort());
  ReceiverMainWindow& window = receiver.Window();
  ASSERT_TRUE(window.isVisible());
  QTest::keyClick(&window, Qt::Key_Escape);
  EXPECT_FALSE(window.isVisible());
  EXPECT_FALSE(window.HasPipeline());
}

TEST(ReceiverWindowTest, ResizingMovesTheVideoToTheNewVideoAreaAtOnce) {
  LoopbackReceiver receiver(FreeLoopbackPort());
  ReceiverMainWindow& window = receiver.Window();
  EXPECT_EQ(window.Video().geometry(), QRect(8, 8, window.width() - 16, window.height() - 72));
  for (const QSize size : {QSize(640, 480), QSize(500, 700), QSize(406, 285)}) {
    window.resize(size);
    ASSERT_TRUE(WaitUntil([&] { return window.size() == size; })) << size.width();
    EXPECT_EQ(window.Video().geometry(), QRect(8, 8, size.width() - 16, size.height() - 72));
  }
}

// The reception tells the window that the broadcast ended once it has rebuilt itself; the
// window only says so.
TEST(ReceiverWindowTest, AnEndOfBroadcastShowsThatTheBroadcastEnded) {
  const std::uint16_t port = FreeLoopbackPort();
  LoopbackReceiver receiver(port);
  ReceiverMainWindow& window = receiver.Window();
  EXPECT_EQ(window.Video().StatusText(),
            QStringLiteral("Waiting for a broadcast on UDP port %1").arg(port));
  gui::QtWindowHandle handle(&window);
  ASSERT_TRUE(handle.Post({gui::kMsgEndOfBroadcast, 0, 0, nullptr}));
  ASSERT_TRUE(WaitUntil([&] {
    return window.Video().StatusText() ==
           QStringLiteral("The broadcast has ended. Waiting for the next one.");
  }));
  EXPECT_TRUE(window.HasPipeline());
}

// On a chosen interface the waiting line lists that interface's addresses, and no other.
TEST(ReceiverWindowTest, WaitingLineListsTheChosenInterfacesAddresses) {
  const std::uint16_t port = FreeLoopbackPort();
  LoopbackReceiver receiver(port, {}, LoopbackReceiver::Pictures::kLibrary, "lo");
  ReceiverMainWindow& window = receiver.Window();
  ASSERT_TRUE(window.Reception().listening);
  EXPECT_EQ(
      window.Video().StatusText(),
      QStringLiteral("Waiting for a broadcast on UDP port %1\nListening on 127.0.0.1").arg(port));
}

}  // namespace
}  // namespace vantorel::receiver_app
