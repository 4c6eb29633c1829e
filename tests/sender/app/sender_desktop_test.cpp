// The real boxes: what they say, in the chosen language, and that OK closes them.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdlib>

#include "sender/app/sender_desktop.h"
#include "ui/lang/language_manager.h"
#include "ui/lang/qt_window_walker.h"

namespace vantorel::sender::app {
namespace {

struct BoxSeen {
  QString title;
  QString text;
  QString informative;
};

// Answers the next modal box with OK, noting what it said; saved as NAME.png when
// VANTOREL_SCREENSHOT_DIR is set.
void AnswerNextBox(BoxSeen& seen, const char* name) {
  QTimer::singleShot(0, [&seen, name] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) {
      AnswerNextBox(seen, name);
      return;
    }
    seen = {box->windowTitle(), box->text(), box->informativeText()};
    if (const char* folder = std::getenv("VANTOREL_SCREENSHOT_DIR")) {
      box->grab().save(QStringLiteral("%1/%2.png").arg(QString::fromLocal8Bit(folder), name));
    }
    box->button(QMessageBox::Ok)->click();
  });
}

class SenderDesktopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.isValid());
    const std::filesystem::path folder = temp_.path().toStdString();
    std::filesystem::create_directories(folder / "Language");
    std::filesystem::copy_file(std::filesystem::path(VANTOREL_LANGUAGE_DIR) / "German.ini",
                               folder / "Language" / "German.ini");
    languages_ = std::make_unique<lang::LanguageManager>(
        lang::LanguageFolders{folder / "Language", folder / "config"},
        std::make_unique<lang::QtWindowWalker>());
  }

  QTemporaryDir temp_;
  std::unique_ptr<lang::LanguageManager> languages_;
};

TEST_F(SenderDesktopTest, TheAboutBoxNamesTheProgramAndItsVersion) {
  QtSenderDesktop desktop(*languages_);
  BoxSeen seen;
  AnswerNextBox(seen, "about-box");
  desktop.ShowAbout(nullptr, QStringLiteral("Signs its broadcasts as N9QR-BCZ7-HHAW-4HNZ-J29X"));
  EXPECT_EQ(seen.title, QStringLiteral("About Strovan"));
  EXPECT_EQ(seen.text, QStringLiteral("Strovan Version 1.0"));
  EXPECT_EQ(seen.informative,
            QStringLiteral("Vantorel: live media broadcasting on a local network\n"
                           "Signs its broadcasts as N9QR-BCZ7-HHAW-4HNZ-J29X"));
}

TEST_F(SenderDesktopTest, MessagesShowInTheChosenLanguage) {
  ASSERT_TRUE(languages_->ChooseLanguage("Deutsch"));
  const std::string translated = languages_->LookUp("Does not support this file type.");
  ASSERT_NE(translated, "Does not support this file type.");
  QtSenderDesktop desktop(*languages_);
  BoxSeen seen;
  AnswerNextBox(seen, "unsupported-file-de");
  desktop.ShowMessage(nullptr, QStringLiteral("Does not support this file type."),
                      MessageIcon::kExclamation, QStringLiteral("clip.xyz: Grund"));
  EXPECT_EQ(seen.text, QString::fromStdString(translated));
  EXPECT_EQ(seen.informative, QStringLiteral("clip.xyz: Grund"));
}

}  // namespace
}  // namespace vantorel::sender::app
