// Start-up: the resource library check, and a run that opens the file of the command line.
#include <gtest/gtest.h>

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include "sender/app/sender_app.h"
#include "sender/app/string_table.h"
#include "sender/sender_session.h"
#include "tests/sender/app/app_test_support.h"
#include "ui/lang/language_manager.h"
#include "ui/program_settings.h"

namespace vantorel::testing {
namespace {

using namespace std::chrono_literals;
using sender::app::SenderApp;
using sender::app::StartupResult;

class SenderAppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.isValid());
    folder_ = temp_.path().toStdString();
    languages_ = std::make_unique<lang::LanguageManager>(
        lang::LanguageFolders{folder_ / "Language", folder_ / "config"}, nullptr);
  }

  sender::app::SenderAppOptions Options() {
    sender::app::SenderAppOptions options;
    options.appFolder = folder_;
    options.window.sink.port = capture_.Port();
    options.window.sink.destination = net::kLoopbackAddress;
    return options;
  }

  QTemporaryDir temp_;
  std::filesystem::path folder_;
  FakeDesktop desktop_;
  DatagramCapture capture_;
  std::unique_ptr<lang::LanguageManager> languages_;
};

TEST_F(SenderAppTest, RefusesToRunWithoutTheResourceLibrary) {
  SenderApp app(Options(), desktop_, *languages_);
  EXPECT_EQ(app.InitInstance(), StartupResult::kNoResources);
  EXPECT_EQ(app.Run(), 1);
  EXPECT_EQ(app.MainWindow(), nullptr);
  ASSERT_EQ(desktop_.messages.size(), 2u);
  EXPECT_EQ(desktop_.messages[0].text, QStringLiteral("Error: Can not load resource files."));
  EXPECT_EQ(desktop_.messages[0].icon, sender::app::MessageIcon::kError);
}

TEST_F(SenderAppTest, AFileThatIsNotAResourceLibraryIsRefusedToo) {
  QFile bogus(temp_.filePath(QStringLiteral("RESDLL.rcc")));
  ASSERT_TRUE(bogus.open(QIODevice::WriteOnly));
  bogus.write("not a resource bundle");
  bogus.close();
  SenderApp app(Options(), desktop_, *languages_);
  EXPECT_EQ(app.InitInstance(), StartupResult::kNoResources);
}

// The whole run: the file of the command line plays and is broadcast at once; closing the
// window ends the run, and the language choice is saved.
TEST_F(SenderAppTest, RunsTheWindowWithTheFileOfTheCommandLine) {
  ASSERT_TRUE(QFile::copy(QStringLiteral(VANTOREL_RESDLL_PATH),
                          temp_.filePath(QStringLiteral("RESDLL.rcc"))));
  auto options = Options();
  options.filesToOpen = {TestMedia("mpeg1-av.mpg")};
  SenderApp app(std::move(options), desktop_, *languages_);
  bool sawPlaying = false;
  QTimer poll;
  poll.callOnTimeout([&] {
    sender::app::SenderMainWindow* w = app.MainWindow();
    if (w == nullptr || w->Session() == nullptr) return;
    sawPlaying = w->Session()->State() == sender::PlayerState::kRunning;
    if (w->width() != 600) w->resize(600, 400);
    if (!capture_.Datagrams().empty()) w->close();
  });
  poll.start(50);
  QTimer::singleShot(20s, [&] {
    if (app.MainWindow() != nullptr) app.MainWindow()->close();
  });
  EXPECT_EQ(app.Run(), 0);
  EXPECT_TRUE(sawPlaying);
  EXPECT_EQ(app.MainWindow(), nullptr);
  EXPECT_TRUE(desktop_.messages.empty());
  EXPECT_TRUE(std::filesystem::exists(folder_ / "Language" / "language.set") ||
              std::filesystem::exists(folder_ / "config" / "language.set"));
  // The next run's window comes back at the size this one ended with.
  const QSettings settings = ui::ProgramSettings(QStringLiteral("strovan"));
  QWidget next;
  ASSERT_TRUE(
      next.restoreGeometry(settings.value(QStringLiteral("window/geometry")).toByteArray()));
  EXPECT_EQ(next.size(), QSize(600, 400));
}

}  // namespace
}  // namespace vantorel::testing
