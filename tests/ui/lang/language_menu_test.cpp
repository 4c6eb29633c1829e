#include "ui/lang/language_menu.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include "platform/gui/qt_mailbox.h"
#include "platform/profile/profile.h"
#include "tests/ui/lang/temp_folder.h"
#include "ui/lang/qt_window_walker.h"

namespace vantorel::lang {
namespace {

const std::filesystem::path kFixtures = VANTOREL_LANG_FIXTURES;

// A main window that records the window messages it receives.
class Owner : public QWidget {
 public:
  bool event(QEvent* event) override {
    if (gui::PostedEvent<LanguageMenuClosed>::From(event) != nullptr) {
      received.push_back({Received::kMenuClosed});
      return true;
    }
    return QWidget::event(event);
  }
  struct Received {
    enum Kind { kMenuClosed } kind;
    bool operator==(const Received&) const = default;
  };
  std::vector<Received> received;
};

class LanguageMenuTest : public ::testing::Test {
 protected:
  void Make(const char* fixture, const char* current) {
    const auto folder = temp_.CopyOf(kFixtures / fixture);
    profile::WriteProfileString("Set", "Language", current, folder / "language.set");
    manager_ = std::make_unique<LanguageManager>(LanguageFolders{folder, temp_.Path() / "config"},
                                                 std::make_unique<QtWindowWalker>());
  }

  // Picks the item named `choice` (or dismisses the menu when there is none) once it shows.
  int ShowAndPick(const char* choice) {
    QTimer::singleShot(0, [choice] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      ASSERT_NE(menu, nullptr);
      for (QAction* action : menu->actions()) {
        if (choice != nullptr && action->data().toString() == QString::fromUtf8(choice)) {
          menu->setActiveAction(action);
        }
      }
      QTest::keyClick(menu, choice != nullptr ? Qt::Key_Return : Qt::Key_Escape);
    });
    const int result = ShowLanguageMenu(*manager_, &owner_, 10, 20);
    QCoreApplication::sendPostedEvents(&owner_);
    return result;
  }

  test_support::TempFolder temp_;
  std::unique_ptr<LanguageManager> manager_;
  Owner owner_;
};

TEST_F(LanguageMenuTest, ListsEnglishSeparatorAndLanguagesInByteOrder) {
  Make("order", "alpha");
  const auto menu = BuildLanguageMenu(*manager_);
  QStringList shown;
  for (const QAction* action : menu->actions()) {
    shown << (action->isSeparator() ? "-" : action->text() + (action->isChecked() ? " *" : ""));
  }
  EXPECT_EQ(shown,
            (QStringList{"English", "-", "Beta", "Zulu", "alpha *", QString::fromUtf8("Ärger")}));
}

TEST_F(LanguageMenuTest, ChoiceTranslatesAtOnceAndNotifiesTheOwner) {
  Make("switching", "English");
  auto* label = new QLabel("Open", &owner_);
  EXPECT_EQ(ShowAndPick("Deutsch"), 1);
  EXPECT_EQ(manager_->CurrentLanguage(), "Deutsch");
  EXPECT_EQ(label->text(), QString::fromUtf8("Öffnen"));
  EXPECT_EQ(owner_.received, (std::vector<Owner::Received>{{Owner::Received::kMenuClosed}}));
  const auto menu = BuildLanguageMenu(*manager_);
  EXPECT_FALSE(menu->actions()[0]->isChecked());
  EXPECT_TRUE(menu->actions()[2]->isChecked());  // "Deutsch"
}

TEST_F(LanguageMenuTest, DismissedMenuChangesNothingButStillNotifies) {
  Make("switching", "Deutsch");
  EXPECT_EQ(ShowAndPick(nullptr), 1);
  EXPECT_EQ(manager_->CurrentLanguage(), "Deutsch");
  EXPECT_EQ(owner_.received.size(), 1u);
}

TEST_F(LanguageMenuTest, EnglishWithoutAnEnglishFileChangesNothing) {
  Make("order", "Beta");
  auto* label = new QLabel("Open", &owner_);
  EXPECT_EQ(ShowAndPick("English"), 1);
  EXPECT_EQ(manager_->CurrentLanguage(), "Beta");
  EXPECT_EQ(label->text(), "Open");
  EXPECT_EQ(owner_.received.size(), 1u);
}

TEST_F(LanguageMenuTest, NoOwnerNoMenu) {
  Make("order", "Beta");
  EXPECT_EQ(ShowLanguageMenu(*manager_, nullptr, 0, 0), 0);
}

}  // namespace
}  // namespace vantorel::lang
