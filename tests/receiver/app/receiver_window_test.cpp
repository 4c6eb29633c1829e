// The receiver window's shell: its buttons, menu, keys and resizing, and what happens to
// datagram messages still queued when the pipeline goes away.
#include "receiver/app/receiver_main_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <signal.h>

#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>

#include "receiver/app/session_autostart.h"
#include "receiver_test_support.h"
#include "ui/program_settings.h"
#include "ui/skin/video_widget.h"

namespace vantorel::receiver::app {
namespace {

using testing::FreeLoopbackPort;
using testing::LoopbackReceiver;
using testing::WaitUntil;
using namespace std::chrono_literals;

// In the bottom panel, between the buttons.
QPoint OffTheVideo(const ReceiverMainWindow& window) {
  return QPoint(window.width() / 2, window.height() - 30);
}

bool ShowsFigures(const ReceiverMainWindow& window) {
  return window.Video().StatusText().contains(QStringLiteral(" Mbit/s"));
}

// Waits for `done` while the window hears from a sender all along, as the reception tells it:
// the figures are a sender's.
bool WaitHearing(ReceiverMainWindow& window, const std::function<bool()>& done,
                 std::chrono::milliseconds deadline = 20s) {
  return WaitUntil(
      [&] {
        gui::QtMailbox<ReceiverMainWindow::Notice>(&window).Post(
            ReceiverMainWindow::HeardNotice{{net::kLoopbackAddress, 5000}});
        return done();
      },
      deadline);
}

bool InNormalLayout(const ReceiverMainWindow& window) {
  return !window.isFullScreen() &&
         window.Video().geometry() == QRect(8, 8, window.width() - 16, window.height() - 72);
}

void AlwaysFullScreen(ReceiverWindowOptions& options) {
  options.fullScreen = FullScreenAtStart::kAlways;
}

QAction* WindowMenuEntry(ReceiverMainWindow& window, const QString& text) {
  for (QAction* action : window.SystemMenu()->actions()) {
    if (action->text() == text) return action;
  }
  return nullptr;
}

// The text of the message box the window shows (empty: none is open).
QString ShownBoxText(ReceiverMainWindow& window) {
  for (const QMessageBox* box : window.findChildren<QMessageBox*>()) {
    if (box->isVisible()) return box->text();
  }
  return {};
}

// The text of the box once one opens.
QString OpenBoxText(ReceiverMainWindow& window) {
  QString text;
  WaitUntil([&] { return !(text = ShownBoxText(window)).isEmpty(); });
  return text;
}

// A stand-in for the browser page's server that needs no network: a script that keeps its
// arguments and its process id beside itself, then runs `body`.
class FakeWebServer {
 public:
  static constexpr const char* kServes =
      "echo 'vantorel-web: listening on UDP port 5937' >&2\n"
      "echo 'vantorel-web: serving http://192.0.2.7:8080/' >&2\n"
      "echo 'vantorel-web: serving http://198.51.100.3:8080/' >&2\n"
      "exec sleep 600\n";

  explicit FakeWebServer(const std::string& body) {
    std::ofstream(Program()) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" << Path("args").string()
                             << "'\necho $$ > '" << Path("pid").string() << "'\n"
                             << body;
    std::filesystem::permissions(Program(), std::filesystem::perms::owner_all);
  }
  std::filesystem::path Program() const { return Path("vantorel-web"); }
  std::string Arguments() const {
    std::stringstream text;
    text << std::ifstream(Path("args")).rdbuf();
    return text.str();
  }
  bool Alive() const {
    pid_t pid = 0;
    return (std::ifstream(Path("pid")) >> pid) && pid > 0 && kill(pid, 0) == 0;
  }

 private:
  std::filesystem::path Path(const char* name) const {
    return std::filesystem::path(dir_.path().toStdString()) / name;
  }
  QTemporaryDir dir_;
};

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
    if (action->text() == QStringLiteral("&About Lunnet...")) about = action;
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

// A stray Escape cannot end an unattended screen: it only leaves full screen. Ctrl+Q quits the
// way the close button does.
TEST(ReceiverWindowTest, EscapeOnlyLeavesFullScreenAndCtrlQQuits) {
  LoopbackReceiver receiver(FreeLoopbackPort());
  ReceiverMainWindow& window = receiver.Window();
  QTest::keyClick(&window, Qt::Key_F11);
  ASSERT_TRUE(WaitUntil([&] { return window.isFullScreen(); }));
  QTest::keyClick(&window, Qt::Key_Escape);
  ASSERT_TRUE(WaitUntil([&] { return !window.isFullScreen(); }));
  QTest::keyClick(&window, Qt::Key_Escape);
  QTest::keyClick(&window, Qt::Key_Escape);
  EXPECT_TRUE(window.isVisible());
  EXPECT_TRUE(window.HasPipeline());
  QTest::keyClick(&window, Qt::Key_Q, Qt::ControlModifier);
  EXPECT_FALSE(window.isVisible());
  EXPECT_FALSE(window.HasPipeline());
}

// --fullscreen holds for its run only; otherwise the window opens as the user last left it.
TEST(ReceiverWindowTest, OpensInFullScreenWhenAskedOrAsTheUserLeftIt) {
  const auto remembered = [] {
    return ui::ProgramSettings(QStringLiteral("lunnet"))
        .value(QStringLiteral("window/fullScreen"), false)
        .toBool();
  };
  {
    LoopbackReceiver asked(FreeLoopbackPort(), AlwaysFullScreen);
    EXPECT_TRUE(WaitUntil([&] { return asked.Window().isFullScreen(); }));
  }
  EXPECT_FALSE(remembered());
  {
    LoopbackReceiver first(FreeLoopbackPort());
    ReceiverMainWindow& window = first.Window();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_FALSE(window.isFullScreen());
    // A real double click on the video still reaches the frame through the video widget.
    QTest::mouseDClick(window.windowHandle(), Qt::LeftButton, {},
                       window.Video().geometry().center());
    ASSERT_TRUE(WaitUntil([&] { return window.isFullScreen(); }));
  }
  EXPECT_TRUE(remembered());
  {
    LoopbackReceiver next(FreeLoopbackPort());
    ASSERT_TRUE(WaitUntil([&] { return next.Window().isFullScreen(); }));
    QTest::keyClick(&next.Window(), Qt::Key_Escape);
    ASSERT_TRUE(WaitUntil([&] { return !next.Window().isFullScreen(); }));
  }
  EXPECT_FALSE(remembered());
}

// The pointer resting on the video shows the figures; moved off it, the status line is back.
TEST(ReceiverWindowTest, ThePointerOnTheVideoShowsTheFigures) {
  LoopbackReceiver receiver(FreeLoopbackPort());
  ReceiverMainWindow& window = receiver.Window();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  QTest::mouseMove(&window, OffTheVideo(window));
  const auto receiving = [&window] {
    return window.Video().StatusText().startsWith(
               QStringLiteral("Receiving from 127.0.0.1:5000")) &&
           !ShowsFigures(window);
  };
  ASSERT_TRUE(WaitHearing(window, receiving)) << window.Video().StatusText().toStdString();
  QTest::mouseMove(&window, window.Video().geometry().center());
  EXPECT_TRUE(WaitHearing(window, [&] { return ShowsFigures(window); }));
  QTest::mouseMove(&window, OffTheVideo(window));
  EXPECT_TRUE(WaitHearing(window, receiving));
}

// On a full screen the pointer hides when it rests, and asks for no figures meanwhile; a move
// brings it back.
TEST(ReceiverWindowTest, InFullScreenARestingPointerHides) {
  LoopbackReceiver receiver(FreeLoopbackPort(), AlwaysFullScreen);
  ReceiverMainWindow& window = receiver.Window();
  ASSERT_TRUE(WaitUntil([&] { return window.isFullScreen(); }));
  QTest::mouseMove(&window, window.rect().center());
  EXPECT_NE(window.cursor().shape(), Qt::BlankCursor);
  EXPECT_TRUE(WaitHearing(window, [&] { return ShowsFigures(window); }));
  EXPECT_TRUE(WaitHearing(
      window, [&] { return window.cursor().shape() == Qt::BlankCursor; },
      ReceiverMainWindow::kHidePointerAfter + 3s));
  EXPECT_TRUE(WaitHearing(window, [&] { return !ShowsFigures(window); }));
  QTest::mouseMove(&window, window.rect().center() + QPoint(20, 10));
  EXPECT_NE(window.cursor().shape(), Qt::BlankCursor);
}

// A right click on the video opens Lunnet's own menu.
TEST(ReceiverWindowTest, ARightClickOnTheVideoOpensItsMenu) {
  LoopbackReceiver receiver(FreeLoopbackPort());
  ReceiverMainWindow& window = receiver.Window();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  QTest::mouseMove(&window, OffTheVideo(window));
  const auto openMenu = [&] {
    QTest::mouseClick(window.windowHandle(), Qt::RightButton, {},
                      window.Video().geometry().center());
    QMenu* menu = nullptr;
    WaitUntil([&] { return (menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())); }, 5s);
    return menu;
  };
  const auto choose = [](QMenu* menu, int entry) {
    menu->actions()[entry]->trigger();
    menu->close();
  };
  QMenu* menu = openMenu();
  ASSERT_NE(menu, nullptr);
  QStringList entries;
  for (const QAction* action : menu->actions()) {
    QString shown = action->isSeparator() ? QStringLiteral("-") : action->text();
    if (action->isCheckable()) shown += action->isChecked() ? " [x]" : " [ ]";
    if (action->menu() != nullptr) shown += QStringLiteral(" >");
    entries << shown;
  }
  EXPECT_EQ(entries, (QStringList{"Full screen\tF11 [ ]", "Figures\tI [ ]", "Senders\tS >",
                                  "Language >", "-", "Quit\tCtrl+Q"}));
  // No sender on the air: only the first one heard, which is the choice.
  const QList<QAction*> senders = menu->actions()[2]->menu()->actions();
  ASSERT_EQ(senders.size(), 1);
  EXPECT_EQ(senders[0]->text(), QStringLiteral("The first sender heard"));
  EXPECT_TRUE(senders[0]->isChecked());
  ASSERT_FALSE(menu->actions()[3]->menu()->actions().isEmpty());
  EXPECT_EQ(menu->actions()[3]->menu()->actions()[0]->text(), QStringLiteral("English"));

  choose(menu, 1);
  EXPECT_TRUE(WaitHearing(window, [&] { return ShowsFigures(window); }));
  menu = openMenu();
  ASSERT_NE(menu, nullptr);
  EXPECT_TRUE(menu->actions()[1]->isChecked());
  choose(menu, 0);
  ASSERT_TRUE(WaitUntil([&] {
    return window.isFullScreen() &&
           QRect(QPoint(), window.windowHandle()->size()).contains(window.Video().geometry());
  }));
  menu = openMenu();
  ASSERT_NE(menu, nullptr);
  EXPECT_TRUE(menu->actions()[0]->isChecked());
  choose(menu, 0);
  ASSERT_TRUE(WaitUntil([&] { return InNormalLayout(window); }));
  menu = openMenu();
  ASSERT_NE(menu, nullptr);
  choose(menu, 5);
  EXPECT_FALSE(window.isVisible());
  EXPECT_FALSE(window.HasPipeline());
}

// "Start with the session" in the window menu writes the session's autostart entry for this
// program, and takes it away again.
TEST(ReceiverWindowTest, StartWithTheSessionWritesAndRemovesTheAutostartEntry) {
  const QTemporaryDir config;
  const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
  qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
  LoopbackReceiver receiver(FreeLoopbackPort());
  QMenu* windowMenu = receiver.Window().SystemMenu();
  QAction* entry = nullptr;
  for (QAction* action : windowMenu->actions()) {
    if (action->text() == QStringLiteral("Start with the session")) entry = action;
  }
  ASSERT_NE(entry, nullptr);
  ASSERT_TRUE(entry->isCheckable());
  const std::filesystem::path file =
      std::filesystem::path(config.path().toStdString()) / "autostart" / "lunnet.desktop";

  entry->trigger();
  std::stringstream text;
  text << std::ifstream(file).rdbuf();
  EXPECT_TRUE(text.str().starts_with("[Desktop Entry]\n")) << text.str();
  EXPECT_NE(text.str().find(
                "\nExec=" + ExecWord(QCoreApplication::applicationFilePath().toStdString()) + "\n"),
            std::string::npos)
      << text.str();
  emit windowMenu->aboutToShow();
  EXPECT_TRUE(entry->isChecked());

  entry->trigger();
  EXPECT_FALSE(std::filesystem::exists(file));
  emit windowMenu->aboutToShow();
  EXPECT_FALSE(entry->isChecked());
  if (saved.isNull()) {
    qunsetenv("XDG_CONFIG_HOME");
  } else {
    qputenv("XDG_CONFIG_HOME", saved);
  }
}

struct ExecCase {
  const char* name;
  const char* program;
  const char* word;
};

class AutostartExec : public ::testing::TestWithParam<ExecCase> {};

TEST_P(AutostartExec, TheProgramStaysOneWordOfTheExecLine) {
  EXPECT_EQ(ExecWord(GetParam().program), GetParam().word);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, AutostartExec,
    ::testing::Values(ExecCase{"Plain", "/usr/bin/lunnet", "/usr/bin/lunnet"},
                      ExecCase{"Space", "/opt/my programs/lunnet", "\"/opt/my programs/lunnet\""},
                      ExecCase{"EscapedInQuotes", "/opt/a$b/x\"y", "\"/opt/a\\\\$b/x\\\\\"y\""},
                      ExecCase{"PercentIsNoFieldCode", "/opt/100%/lunnet", "/opt/100%%/lunnet"}),
    [](const auto& info) { return std::string(info.param.name); });

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
  gui::QtMailbox<ReceiverMainWindow::Notice> handle(&window);
  ASSERT_TRUE(handle.Post(ReceiverMainWindow::BroadcastEndedNotice{}));
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

// "Show in browsers" runs the server with the window's reception and shows where it serves;
// chosen again, it stops the server, by force when the server does not end when asked.
class ShowInBrowsers : public ::testing::TestWithParam<const char*> {};

TEST_P(ShowInBrowsers, RunsTheServerShowsItsAddressesAndStopsIt) {
  const FakeWebServer server(std::string(GetParam()) + FakeWebServer::kServes);
  const std::uint16_t port = FreeLoopbackPort();
  LoopbackReceiver receiver(port, [&](ReceiverWindowOptions& options) {
    options.webServer = server.Program();
    options.sender = "Main hall";
  });
  ReceiverMainWindow& window = receiver.Window();
  QAction* entry = WindowMenuEntry(window, QStringLiteral("Show in browsers..."));
  ASSERT_NE(entry, nullptr);

  entry->trigger();
  EXPECT_EQ(OpenBoxText(window),
            QStringLiteral("Open this address in a browser on any device of the network:\n\n"
                           "http://192.0.2.7:8080/\nhttp://198.51.100.3:8080/"));
  EXPECT_EQ(entry->text(), QStringLiteral("Stop showing in browsers"));
  EXPECT_EQ(server.Arguments(), "--port\n" + std::to_string(port) + "\n--prefer\nMain hall\n");
  EXPECT_TRUE(server.Alive());

  entry->trigger();
  ASSERT_TRUE(WaitUntil([&] { return !server.Alive(); }, WebViewer::kKillAfter + 10s));
  EXPECT_TRUE(WaitUntil([&] { return entry->text() == QStringLiteral("Show in browsers..."); }));
  EXPECT_TRUE(ShownBoxText(window).isEmpty()) << "the addresses are no longer served";
}

INSTANTIATE_TEST_SUITE_P(Servers, ShowInBrowsers, ::testing::Values("", "trap '' TERM\n"),
                         [](const auto& info) {
                           return std::string(*info.param == '\0' ? "EndsWhenAsked"
                                                                  : "IgnoresTheRequest");
                         });

// A server that exits before it serves leaves its last word as the reason; one that cannot
// start at all, why not.
TEST(ShowInBrowsersFailure, TheServerThatCannotServeTellsWhy) {
  const FakeWebServer refused(
      "echo 'vantorel-web: listening on UDP port 5937' >&2\n"
      "echo 'vantorel-web: cannot listen on HTTP port 8080: Address already in use' >&2\n"
      "exit 1\n");
  const QTemporaryDir empty;
  const std::filesystem::path missing = std::filesystem::path(empty.path().toStdString()) / "none";
  const std::pair<std::filesystem::path, QString> cases[] = {
      {refused.Program(), "vantorel-web: cannot listen on HTTP port 8080: Address already in use"},
      {missing, QString::fromStdString(missing.string()) + ": "}};
  for (const auto& [program, reason] : cases) {
    LoopbackReceiver receiver(FreeLoopbackPort(),
                              [&](ReceiverWindowOptions& options) { options.webServer = program; });
    ReceiverMainWindow& window = receiver.Window();
    QAction* entry = WindowMenuEntry(window, QStringLiteral("Show in browsers..."));
    ASSERT_NE(entry, nullptr);
    entry->trigger();
    const QString text = OpenBoxText(window);
    EXPECT_TRUE(
        text.startsWith(QStringLiteral("The broadcast cannot be shown in browsers: ") + reason))
        << text.toStdString();
    EXPECT_TRUE(WaitUntil([&] { return entry->text() == QStringLiteral("Show in browsers..."); }));
  }
}

// The server goes with the window, even one that does not end when asked.
TEST(ShowInBrowsersFailure, ClosingTheWindowStopsTheServer) {
  const FakeWebServer server(std::string("trap '' TERM\n") + FakeWebServer::kServes);
  std::optional<LoopbackReceiver> receiver;
  receiver.emplace(FreeLoopbackPort(),
                   [&](ReceiverWindowOptions& options) { options.webServer = server.Program(); });
  WindowMenuEntry(receiver->Window(), QStringLiteral("Show in browsers..."))->trigger();
  ASSERT_FALSE(OpenBoxText(receiver->Window()).isEmpty());
  ASSERT_TRUE(server.Alive());
  receiver.reset();
  EXPECT_FALSE(server.Alive());
}

}  // namespace
}  // namespace vantorel::receiver::app
