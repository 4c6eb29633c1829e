// The window around the session: seeking, the timer's thumb, the end of the broadcast at
// close, the video in the frame, and the keys, menu and browser commands.
#include <QAction>
#include <QApplication>
#include <QImage>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <algorithm>

#include "protocol/announcement.h"
#include "protocol/wire_format.h"
#include "sender/sender_session.h"
#include "tests/sender/app/window_fixture.h"
#include "ui/lang/qt_window_walker.h"
#include "ui/skin/video_widget.h"

namespace vantorel::testing {
namespace {

using namespace std::chrono_literals;
using sender::PlayerState;

TEST_F(SenderWindowTest, SeeksOnlyWhileTheThumbIsDragged) {
  auto& w = MakeWindow();
  ASSERT_TRUE(OpenThroughDialog(TestMedia("tone.wav")));
  Command(skin::kCmdPause);
  ASSERT_LT(w.Session()->Position(), 1.0);
  EXPECT_LT(w.Session()->Position(), 1.0);
  Send(skin::SliderDragEvent{2});
  EXPECT_TRUE(WaitUntil([&] { return w.Session()->Position() >= 1.9; }, 5s))
      << w.Session()->Position();
}

TEST_F(SenderWindowTest, DraggingTheThumbWithTheMouseSeeks) {
  auto& w = MakeWindow();
  ASSERT_TRUE(OpenThroughDialog(TestMedia("tone.wav")));
  Command(skin::kCmdPause);
  const skin::Rect thumb = w.SeekSlider()->GetRect();
  const skin::Rect track = w.SeekSlider()->Track();
  const QPoint grip(thumb.left + thumb.Width() / 2, thumb.top + thumb.Height() / 2);
  QTest::mousePress(&w, Qt::LeftButton, {}, grip);
  // Five sixths along the track of the three-second tone is second 2.
  QTest::mouseMove(&w, grip + QPoint(track.Width() * 5 / 6, 0));
  QTest::mouseRelease(&w, Qt::LeftButton, {}, grip + QPoint(track.Width() * 5 / 6, 0));
  EXPECT_GT(w.SeekSlider()->GetRect().left, thumb.left);
  EXPECT_TRUE(WaitUntil([&] { return w.Session()->Position() >= 1.5; }, 5s))
      << w.Session()->Position();

  // A press on the track, away from the thumb, seeks there and never moves the window.
  const QPoint before = w.pos();
  const QPoint start(track.left + thumb.Width() / 2, grip.y());
  QTest::mousePress(&w, Qt::LeftButton, {}, start);
  QTest::mouseMove(&w, start + QPoint(0, 30));
  QTest::mouseRelease(&w, Qt::LeftButton, {}, start + QPoint(0, 30));
  EXPECT_EQ(w.SeekSlider()->GetRect().left, track.left);
  EXPECT_TRUE(WaitUntil([&] { return w.Session()->Position() < 0.5; }, 5s))
      << w.Session()->Position();
  EXPECT_EQ(w.pos(), before);
}

TEST_F(SenderWindowTest, TheTimerMovesTheThumbOnlyWhilePlaying) {
  auto& w = MakeWindow();
  ASSERT_TRUE(OpenThroughDialog(TestMedia("tone.wav")));
  Command(skin::kCmdPause);
  const int startLeft = w.SeekSlider()->GetRect().left;
  Send(skin::SliderDragEvent{2});
  // Several ticks pass while paused: the thumb stays.
  WaitUntil([] { return false; }, 300ms);
  EXPECT_EQ(w.SeekSlider()->GetRect().left, startLeft);
  Command(skin::kCmdPlay);
  EXPECT_TRUE(WaitUntil([&] { return w.SeekSlider()->GetRect().left > startLeft; }, 5s));
}

TEST_F(SenderWindowTest, ClosingEndsTheSessionBeforeTheEndOfBroadcast) {
  auto& w = MakeWindow();
  ASSERT_TRUE(OpenThroughDialog(TestMedia("mpeg1-av.mpg")));
  ASSERT_TRUE(WaitForMedia(10));
  w.close();
  EXPECT_EQ(w.Session(), nullptr);
  EXPECT_EQ(w.Sink(), nullptr);
  ASSERT_TRUE(capture_.WaitFor(
      [](const auto& datagrams) {
        int ends = 0;
        for (const auto& d : datagrams) ends += RouteKey(d) == protocol::kRouteKeyEndOfBroadcast;
        return ends >= 3;
      },
      5s));
  // The window's announcements go out beside the broadcast, and none after its end.
  std::vector<std::vector<std::uint8_t>> datagrams = capture_.Datagrams();
  const auto announcement = [](const auto& d) {
    return RouteKey(d) == protocol::kRouteKeyAnnouncement;
  };
  EXPECT_TRUE(std::any_of(datagrams.begin(), datagrams.end(), announcement));
  std::erase_if(datagrams, announcement);
  ASSERT_GE(datagrams.size(), 4u);
  // The last three are the 8-byte end-of-broadcast datagrams; no media follows the first.
  for (std::size_t i = datagrams.size() - 3; i < datagrams.size(); ++i) {
    EXPECT_EQ(datagrams[i], (std::vector<std::uint8_t>{0xB3, 0x15, 0, 0, 0, 0, 0, 0}));
  }
  // Before them the parity of the last group, closed with the session, and its media.
  std::size_t i = datagrams.size() - 4;
  EXPECT_EQ(RouteKey(datagrams[i]), protocol::kRouteKeyParity);
  while (i > 0 && RouteKey(datagrams[i]) == protocol::kRouteKeyParity) --i;
  EXPECT_EQ(RouteKey(datagrams[i]), protocol::kRouteKeyMedia);
}

bool IsBlack(QRgb p) {
  return qRed(p) < 8 && qGreen(p) < 8 && qBlue(p) < 8;
}
bool IsLight(QRgb p) {
  return qRed(p) > 200 && qGreen(p) > 200 && qBlue(p) > 200;
}

TEST_F(SenderWindowTest, TheVideoPlaysInsideTheFrame) {
  auto& w = MakeWindow();
  ASSERT_TRUE(OpenThroughDialog(TestMedia("mpeg1-av.mpg")));
  skin::VideoWidget* video = w.Video();
  ASSERT_TRUE(WaitUntil([&] { return video->FramesShown() >= 5; }, 10s));
  const skin::Rect area = w.VideoArea();
  EXPECT_EQ(video->geometry(), QRect(area.left, area.top, area.Width(), area.Height()));
  // 320 x 240 in a 390 x 234 area: full height, centred, black bars beside it.
  const QRect picture = video->PictureRect();
  EXPECT_EQ(picture.height(), area.Height());
  EXPECT_EQ(picture.width(), area.Height() * 4 / 3);
  const QImage grab = Grab("video-playing");
  // The frame around the video is the skin's picture, not black.
  EXPECT_FALSE(IsBlack(grab.pixel(3, grab.height() / 2)));
  EXPECT_FALSE(IsBlack(grab.pixel(grab.width() / 2, 3)));
  EXPECT_FALSE(IsBlack(grab.pixel(grab.width() / 2, grab.height() - 4)));
  // The bars are black; the test pattern's moving ball is light.
  EXPECT_TRUE(IsBlack(grab.pixel(area.left + 4, area.top + area.Height() / 2)));
  int light = 0;
  const QRect shown = picture.translated(area.left, area.top);
  for (int y = shown.top(); y <= shown.bottom(); y += 2) {
    for (int x = shown.left(); x <= shown.right(); x += 2) light += IsLight(grab.pixel(x, y));
  }
  EXPECT_GT(light, 50);

  // While paused, a seek shows the picture of the place sought.
  Command(skin::kCmdPause);
  QTest::qWait(200);
  const int before = video->FramesShown();
  Send(skin::SliderDragEvent{1});
  EXPECT_TRUE(WaitUntil([&] { return video->FramesShown() > before; }, 5s));
  EXPECT_EQ(w.Session()->State(), PlayerState::kPaused);
}

TEST_F(SenderWindowTest, ResizingMovesTheVideoAndTheTransport) {
  auto& w = MakeWindow();
  w.resize(640, 480);
  ASSERT_TRUE(WaitUntil([&] { return w.width() == 640; }, 2s));
  EXPECT_EQ(w.Video()->geometry(), QRect(8, 8, 640 - 16, 480 - 72));
  EXPECT_EQ(w.PlayButton()->GetRect(), skin::Rect::FromSize(140, 480 - 42, 32, 32));
  EXPECT_EQ(w.OpenButton()->GetRect(), skin::Rect::FromSize(140 + 96, 480 - 42, 32, 32));
  EXPECT_EQ(w.SeekSlider()->Track(), (skin::Rect{130, 480 - 62, 640 - 28, 480 - 54}));
}

TEST_F(SenderWindowTest, LaysOutAtTheSmallestSizeAndMaximised) {
  auto& w = MakeWindow();
  ASSERT_TRUE(OpenThroughDialog(TestMedia("mpeg1-av.mpg")));
  w.resize(200, 100);
  ASSERT_TRUE(WaitUntil([&] { return w.Video()->FramesShown() >= 3; }, 10s));
  EXPECT_EQ(w.size(), QSize(406, 285));
  EXPECT_EQ(w.Video()->geometry(), QRect(8, 8, 390, 213));
  EXPECT_EQ(w.GetFrameButton(skin::FrameButton::kHomePage)->GetRect(),
            skin::Rect::FromSize(18, 285 - 52, 64, 40));
  EXPECT_EQ(w.GetFrameButton(skin::FrameButton::kLanguage)->GetRect(),
            skin::Rect::FromSize(406 - 98, 285 - 28, 16, 16));
  EXPECT_EQ(w.OpenButton()->GetRect(), skin::Rect::FromSize(140 + 96, 285 - 42, 32, 32));
  Grab("layout-406x285");

  w.showMaximized();
  ASSERT_TRUE(WaitUntil([&] { return w.isMaximized() && w.width() > 406; }, 2s));
  const int cx = w.width(), cy = w.height();
  EXPECT_EQ(w.Video()->geometry(), QRect(8, 8, cx - 16, cy - 72));
  // Restore stands where maximise stood; maximise is parked out of view.
  EXPECT_EQ(w.GetFrameButton(skin::FrameButton::kRestore)->GetRect(),
            skin::Rect::FromSize(cx - 98 + 48, cy - 28, 16, 16));
  EXPECT_LT(w.GetFrameButton(skin::FrameButton::kMaximize)->GetRect().right, 0);
  EXPECT_EQ(w.SeekSlider()->Track(), (skin::Rect{130, cy - 62, cx - 28, cy - 54}));
  Grab("layout-maximised");

  Command(skin::kCmdRestore);
  ASSERT_TRUE(WaitUntil([&] { return !w.isMaximized(); }, 2s));
  EXPECT_EQ(w.GetFrameButton(skin::FrameButton::kMaximize)->GetRect(),
            skin::Rect::FromSize(w.width() - 98 + 48, w.height() - 28, 16, 16));
}

// A dropped file opens; the keys people expect work; Escape only leaves full screen.
TEST_F(SenderWindowTest, DropsKeysAndFullScreen) {
  auto& w = MakeWindow();
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(TestMedia("tone.wav"))});
  QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&w, &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&w, &drop);
  ASSERT_NE(w.Session(), nullptr);
  EXPECT_EQ(w.Session()->State(), PlayerState::kRunning);
  w.Session()->Pause();
  QTest::qWait(100);  // the status line follows on the window's timer
  EXPECT_TRUE(w.Video()->StatusText().startsWith(QStringLiteral("tone.wav   0:0")));
  EXPECT_TRUE(w.Video()->StatusText().endsWith(QStringLiteral("Audio only")));

  QTest::keyClick(&w, Qt::Key_Space);
  EXPECT_EQ(w.Session()->State(), PlayerState::kRunning);
  QTest::keyClick(&w, Qt::Key_Space);
  EXPECT_EQ(w.Session()->State(), PlayerState::kPaused);
  QTest::keyClick(&w, Qt::Key_Right);  // 5 s on, held at the end of the 3 s file
  EXPECT_EQ(w.SeekSlider()->GetRect().left,
            skin::ThumbLeftForPos(w.SeekSlider()->Track(), w.SeekSlider()->Range(),
                                  w.SeekSlider()->Range().rangeMax));

  // The local volume: Down and M, shown at once, remembered for the next run.
  QTest::keyClick(&w, Qt::Key_Down);
  EXPECT_EQ(w.Video()->StatusText(), QStringLiteral("Volume 95%"));
  QTest::keyClick(&w, Qt::Key_M);
  EXPECT_EQ(w.Video()->StatusText(), QStringLiteral("Muted"));
  skin::PlaybackVolume next(QStringLiteral("strovan"));
  EXPECT_TRUE(next.Level().Muted());
  EXPECT_EQ(next.Level().Percent(), 95);

  QTest::keyClick(&w, Qt::Key_F11);
  ASSERT_TRUE(WaitUntil([&] { return w.isFullScreen(); }, 2s));
  EXPECT_TRUE(WaitUntil([&] { return w.Video()->geometry() == w.rect(); }, 2s));
  QTest::keyClick(&w, Qt::Key_Escape);
  ASSERT_TRUE(WaitUntil([&] { return !w.isFullScreen(); }, 2s));
  QTest::keyClick(&w, Qt::Key_Escape);
  EXPECT_TRUE(w.isVisible());
  EXPECT_NE(w.Session(), nullptr);
}

// The about box also says who signs the broadcast, if anyone.
TEST_F(SenderWindowTest, TheFrameMenuOpensTheAboutBox) {
  const auto openAbout = [this] {
    QAction* about = nullptr;
    for (QAction* action : MakeWindow().SystemMenu()->actions()) {
      if (action->text() == QStringLiteral("&About Strovan...")) about = action;
    }
    ASSERT_NE(about, nullptr);
    about->trigger();
  };
  openAbout();
  EXPECT_EQ(desktop_.aboutBoxes, 1);
  EXPECT_TRUE(desktop_.aboutSigning.startsWith(QStringLiteral("Broadcasts unsigned")));
  std::array<std::uint8_t, protocol::kSeedSize> seed{};
  identity_ = protocol::SigningKey::FromSeed(seed);
  openAbout();
  EXPECT_EQ(desktop_.aboutSigning, QStringLiteral("Signs its broadcasts as ") +
                                       QString::fromStdString(identity_->FingerprintOf().Text()));
}

// The window tells the network its name, its file and whether it plays, pauses or stopped;
// the name comes from the window menu and is remembered for the next start.
TEST_F(SenderWindowTest, AnnouncesItsNameFileAndState) {
  using protocol::SenderState;
  desktop_.rememberedName = QStringLiteral("Saal Nord");
  MakeWindow();
  const auto announced = [this](SenderState state, const std::string& title) {
    return capture_.WaitFor(
        [&](const auto&) {
          const auto a = LastAnnouncement(capture_);
          return a && a->state == state && a->title == title;
        },
        5s);
  };
  ASSERT_TRUE(announced(SenderState::kStopped, ""));
  EXPECT_EQ(LastAnnouncement(capture_)->name, "Saal Nord");
  ASSERT_TRUE(OpenThroughDialog(TestMedia("mpeg1-av.mpg")));
  EXPECT_TRUE(announced(SenderState::kPlaying, "mpeg1-av.mpg"));
  Command(skin::kCmdPause);
  EXPECT_TRUE(announced(SenderState::kPaused, "mpeg1-av.mpg"));
  Command(skin::kCmdStop);
  EXPECT_TRUE(announced(SenderState::kStopped, "mpeg1-av.mpg"));

  desktop_.nameAnswer = QStringLiteral("Foyer");
  Send(skin::MenuEntryEvent{sender::app::kNameCommand});
  EXPECT_TRUE(capture_.WaitFor(
      [&](const auto&) { return LastAnnouncement(capture_)->name == "Foyer"; }, 5s));
  EXPECT_EQ(desktop_.rememberedName, QStringLiteral("Foyer"));
}

void UseFrench(const QTemporaryDir& temp, std::unique_ptr<lang::LanguageManager>& languages) {
  const std::filesystem::path folder = temp.path().toStdString();
  std::filesystem::create_directories(folder / "Language");
  std::filesystem::copy_file(std::filesystem::path(VANTOREL_LANGUAGE_DIR) / "French.ini",
                             folder / "Language" / "French.ini");
  languages = std::make_unique<lang::LanguageManager>(
      lang::LanguageFolders{folder / "Language", folder / "config"},
      std::make_unique<lang::QtWindowWalker>());
}

bool MenuHas(const QMenu* menu, const QString& text) {
  for (const QAction* action : menu->actions()) {
    if (action->text() == text) return true;
  }
  return false;
}

// The window is translated into the chosen language as it is made, tooltips and menu included.
TEST_F(SenderWindowTest, ShowsTheChosenLanguageFromTheStart) {
  UseFrench(temp_, languages_);
  ASSERT_TRUE(languages_->ChooseLanguage("Français"));
  auto& w = MakeWindow();
  const skin::Rect play = w.PlayButton()->GetRect();
  EXPECT_EQ(w.ToolTipAt({play.left + 1, play.top + 1}), QStringLiteral("Diffuser"));
  EXPECT_TRUE(MenuHas(w.SystemMenu(), QStringLiteral("À &propos de Strovan...")));
  EXPECT_TRUE(MenuHas(w.SystemMenu(), QStringLiteral("&Sources")));
  EXPECT_NE(FindEntry(*w.MakeSourceMenu(), QStringLiteral("Diffuser l'écran")), nullptr);
  // What is on the air too; the receivers are told it in English.
  sender::LiveSource camera;
  camera.video = sender::LiveVideo::kCamera;
  camera.camera = std::string(sender::kTestCamera);
  ASSERT_TRUE(w.OpenLive(camera));
  EXPECT_TRUE(WaitUntil(
      [&] {
        return w.Video()->StatusText().startsWith(QStringLiteral("Caméra : test   à l'antenne"));
      },
      5s))
      << w.Video()->StatusText().toStdString();
  EXPECT_TRUE(w.Session()->Live());
}

// The language button's menu offers the languages; a choice translates the window at once.
TEST_F(SenderWindowTest, TheLanguageMenuSwitchesTheWindowsLanguage) {
  UseFrench(temp_, languages_);
  auto& w = MakeWindow();
  bool offered = false;
  QTimer::singleShot(0, [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (menu == nullptr) return;
    offered = MenuHas(menu, QStringLiteral("English"));
    for (QAction* action : menu->actions()) {
      if (action->text() == QStringLiteral("Français")) menu->setActiveAction(action);
    }
    QTest::keyClick(menu, Qt::Key_Return);
  });
  Command(skin::kCmdLanguage);
  EXPECT_TRUE(offered);
  EXPECT_EQ(languages_->CurrentLanguage(), "Français");
  const skin::Rect open = w.OpenButton()->GetRect();
  EXPECT_NE(w.ToolTipAt({open.left + 1, open.top + 1}),
            QStringLiteral("Open a media file and broadcast"));
}

// The help button, the logo and F1 all open the help page; when no program opens it, a note
// gives its path.
TEST_F(SenderWindowTest, HelpHomePageAndF1OpenTheHelpPageOrGiveItsPath) {
  MakeWindow();
  Command(skin::kCmdHelp);
  Command(skin::kCmdHomePage);
  QTest::keyClick(window_.get(), Qt::Key_F1);
  const std::string page = temp_.path().toStdString() + "/help/help.htm";
  EXPECT_EQ(desktop_.browsed, (std::vector<std::string>{page, page, page}));
  EXPECT_TRUE(desktop_.notes.empty());
  desktop_.browserStarts = 0;
  Command(skin::kCmdHelp);
  ASSERT_EQ(desktop_.notes.size(), 1u);
  EXPECT_EQ(desktop_.notes[0],
            QStringLiteral("No program opened the help page. Open it in a web browser: ") +
                QString::fromStdString(page));
}

}  // namespace
}  // namespace vantorel::testing
