#include "tests/sender/app/window_fixture.h"

#include <QCoreApplication>
#include <QSettings>

#include <cstdlib>

#include "protocol/wire_format.h"

namespace vantorel::testing {

using namespace std::chrono_literals;

void SenderWindowTest::SetUp() {
  ASSERT_TRUE(temp_.isValid());
  // What the window remembers goes to this test's folder.
  setenv("XDG_CONFIG_HOME", temp_.path().toLocal8Bit().constData(), 1);
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, temp_.path());
  const std::filesystem::path folder = temp_.path().toStdString();
  languages_ = std::make_unique<lang::LanguageManager>(
      lang::LanguageFolders{folder / "Language", folder / "config"}, nullptr);
  ASSERT_NE(capture_.Port(), 0);
}

void SenderWindowTest::TearDown() {
  window_.reset();
  languages_.reset();
}

sender::app::SenderMainWindow& SenderWindowTest::MakeWindow(media::OutputMode output) {
  sender::app::SenderWindowOptions options;
  options.sink.port = capture_.Port();
  options.sink.destination = net::kLoopbackAddress;
  options.appFolder = temp_.path().toStdString();
  options.output = output;
  options.identity = identity_;
  options.microphone = microphone_;
  const auto library = skin::ResourceLibrary::Load(QStringLiteral(VANTOREL_RESDLL_PATH));
  EXPECT_NE(library, nullptr);
  window_ = std::make_unique<sender::app::SenderMainWindow>(library.get(), options, desktop_,
                                                            *languages_);
  window_->show();
  return *window_;
}

void SenderWindowTest::Command(int id) {
  Send(skin::CommandEvent{id});
}

void SenderWindowTest::Send(const skin::FrameEvent& event) {
  window_->Send(event);
}

bool SenderWindowTest::OpenThroughDialog(const QString& path) {
  desktop_.choices.push_back(QStringList{path});
  Command(skin::kCmdOpen);
  return window_->Session() != nullptr;
}

bool SenderWindowTest::WaitForMedia(std::size_t count) {
  return capture_.WaitFor(
      [count](const auto& datagrams) {
        std::size_t media = 0;
        for (const auto& d : datagrams) media += RouteKey(d) == protocol::kRouteKeyMedia;
        return media >= count;
      },
      10s);
}

bool SenderWindowTest::WaitForAnnouncement(protocol::SenderState state,
                                           protocol::SenderSource source,
                                           const std::string& title) {
  return capture_.WaitFor(
      [&](const auto&) {
        const auto a = LastAnnouncement(capture_);
        return a && a->state == state && a->source == source && a->title == title;
      },
      10s);
}

QAction* FindEntry(const QMenu& menu, const QString& text) {
  for (QAction* action : menu.actions()) {
    if (action->text() == text) return action;
    if (action->menu() != nullptr) {
      if (QAction* inner = FindEntry(*action->menu(), text)) return inner;
    }
  }
  return nullptr;
}

bool SenderWindowTest::ChooseSource(const QString& text) {
  const std::unique_ptr<QMenu> menu = window_->MakeSourceMenu();
  QAction* entry = FindEntry(*menu, text);
  if (entry == nullptr || !entry->isEnabled()) return false;
  entry->trigger();
  QCoreApplication::processEvents();
  return true;
}

QImage SenderWindowTest::Grab(const char* name) {
  const QImage image = window_->grab().toImage();
  if (const char* folder = std::getenv("VANTOREL_SCREENSHOT_DIR")) {
    image.save(QStringLiteral("%1/%2.png").arg(QString::fromLocal8Bit(folder), name));
  }
  return image;
}

}  // namespace vantorel::testing
