#include <gtest/gtest.h>

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QWidgetAction>

#include <functional>
#include <memory>
#include <sstream>
#include <vector>

#include "platform/profile/profile.h"
#include "tests/ui/lang/temp_folder.h"
#include "ui/lang/language_manager.h"
#include "ui/lang/qt_window_walker.h"
#include "ui/tool_tip_registry.h"

namespace vantorel::lang {
namespace {

const std::filesystem::path kShippedLanguages = VANTOREL_SHIPPED_LANGUAGES;

// A window that draws its own buttons and keeps their tooltips itself.
class SkinnedWindow : public QWidget, public ui::ToolTipRegistry {
 public:
  int ToolTipCount() const override { return static_cast<int>(tips.size()); }
  QString ToolTipText(int index) const override { return tips.at(index); }
  void SetToolTipText(int index, const QString& text) override { tips[index] = text; }
  QStringList tips;
};

// One shown text: where it is read from and the English text it started as.
struct ShownText {
  QString english;
  std::function<QString()> read;
};

// Every kind of place a text can be shown in, filled with the programs' own texts.
class TestWindows {
 public:
  TestWindows() {
    main_.setWindowTitle("Vantorel - [Strovan]");
    main_.tips = {"Open Vantorel's help page",
                  "Choose a language",
                  "Help of Vantorel",
                  "Minimize Window",
                  "Maximize Window",
                  "Restore Window",
                  "Exit from Vantorel",
                  "Broadcast",
                  "Pause",
                  "Stop",
                  "Open a media file and broadcast",
                  "Seek"};
    for (int i = 0; i < main_.tips.size(); ++i) {
      Add(main_.tips[i], [this, i] { return main_.tips[i]; });
    }
    Add(main_.windowTitle(), [this] { return main_.windowTitle(); });
    AddChildren();
    AddFrameMenu();
    about_.setWindowTitle("About Lunnet");
    auto* version = new QLabel("Lunnet Version 1.0", &about_);
    Add("About Lunnet", [this] { return about_.windowTitle(); });
    Add("Lunnet Version 1.0", [version] { return version->text(); });
    auto* dialog = new QWidget(&main_, Qt::Dialog);  // a window with a parent
    dialog->setWindowTitle("About Strovan");
    Add("About Strovan", [dialog] { return dialog->windowTitle(); });
  }

  const std::vector<ShownText>& Texts() const { return texts_; }
  QMenu* FrameMenu() const { return menu_; }

 private:
  void Add(const QString& english, std::function<QString()> read) {
    texts_.push_back({english, std::move(read)});
  }

  void AddChildren() {
    auto* ok = new QPushButton("OK", &main_);
    ok->setToolTip("Choose a language");
    Add("OK", [ok] { return ok->text(); });
    Add("Choose a language", [ok] { return ok->toolTip(); });
    auto* box = new QGroupBox("About Strovan", &main_);
    auto* cancel = new QPushButton("Cancel", box);
    auto* check = new QCheckBox("Broadcast", box);
    auto* label = new QLabel("Does not support this file type.", box);
    auto* blank = new QLabel("Error: Can not load resource files. ", &main_);
    auto* edit = new QLineEdit("Pause", &main_);
    auto* combo = new QComboBox(&main_);
    combo->addItems({"Stop", "Seek"});
    Add("About Strovan", [box] { return box->title(); });
    Add("Cancel", [cancel] { return cancel->text(); });
    Add("Broadcast", [check] { return check->text(); });
    Add("Does not support this file type.", [label] { return label->text(); });
    Add("Error: Can not load resource files. ", [blank] { return blank->text(); });
    Add("Pause", [edit] { return edit->text(); });
    Add("Stop", [combo] { return combo->currentText(); });
  }

  // The frame's window menu, as a persistent menu of the window.
  void AddFrameMenu() {
    menu_ = new QMenu(&main_);
    for (const char* text : {"&Restore", "&Move", "&Size", "Mi&nimize", "Ma&ximize"}) {
      QAction* action = menu_->addAction(text);
      Add(text, [action] { return action->text(); });
    }
    QAction* close = menu_->addAction("&Close\tAlt+F4");
    Add(close->text(), [close] { return close->text(); });
    menu_->addSeparator();
    QAction* about = menu_->addAction("&About Strovan...");
    Add(about->text(), [about] { return about->text(); });
  }

  SkinnedWindow main_;
  QWidget about_;
  QMenu* menu_ = nullptr;
  std::vector<ShownText> texts_;
};

class WindowTranslationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    manager_ = std::make_unique<LanguageManager>(
        LanguageFolders{temp_.CopyOf(kShippedLanguages), temp_.Path() / "config"},
        std::make_unique<QtWindowWalker>());
  }

  // Every text shows the current file's translation, or its English text when there is none.
  void ExpectAllTexts(const TestWindows& windows) {
    for (const ShownText& shown : windows.Texts()) {
      const std::string key = shown.english.toStdString();
      const std::string translated =
          profile::ReadProfileString("String", key, "", manager_->CurrentFile());
      const QString expected =
          translated.empty() ? shown.english : QString::fromStdString(translated);
      EXPECT_EQ(shown.read(), expected) << key << " in " << manager_->CurrentLanguage();
    }
  }

  test_support::TempFolder temp_;
  std::unique_ptr<LanguageManager> manager_;
};

TEST_F(WindowTranslationTest, EnglishGermanChineseEnglish) {
  TestWindows windows;
  manager_->TranslateAllWindows();
  ExpectAllTexts(windows);
  ASSERT_TRUE(manager_->ChooseLanguage("Deutsch"));
  ExpectAllTexts(windows);
  EXPECT_EQ(windows.FrameMenu()->actions()[5]->text(), "&Schließen\tAlt+F4");
  // The toolkit's own texts (dialogs, standard buttons) follow.
  EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Abbrechen"));
  ASSERT_TRUE(manager_->ChooseLanguage("简体中文"));
  ExpectAllTexts(windows);
  EXPECT_EQ(windows.Texts()[1].read(), QString::fromUtf8("选择语言"));
  EXPECT_EQ(windows.FrameMenu()->actions()[7]->text(), QString::fromUtf8("关于 Strovan(&A)..."));
  ASSERT_TRUE(manager_->ChooseLanguage("English"));
  EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Cancel"));
  for (const ShownText& shown : windows.Texts()) {
    EXPECT_EQ(shown.read(), shown.english) << shown.english.toStdString();
  }
}

TEST_F(WindowTranslationTest, EveryLanguageChangesEveryTranslatableText) {
  TestWindows windows;
  for (const char* language : {"Deutsch", "Français", "Español", "简体中文"}) {
    ASSERT_TRUE(manager_->ChooseLanguage(language));
    int changed = 0;
    for (const ShownText& shown : windows.Texts()) changed += shown.read() != shown.english;
    // Window titles, "OK" and "Pause" may stay as they are in some languages.
    EXPECT_GE(changed, static_cast<int>(windows.Texts().size()) - 6) << language;
  }
}

TEST_F(WindowTranslationTest, MenuItemsOtherThanPlainTextKeepTheirTextButSubmenusAreVisited) {
  QWidget window;
  QMenu menu(&window);
  QAction* separator = menu.addSeparator();
  separator->setText("Stop");
  auto* widgetItem = new QWidgetAction(&menu);
  widgetItem->setText("Pause");
  menu.addAction(widgetItem);
  QActionGroup group(&menu);
  QAction* radio = menu.addAction("Restore");
  radio->setCheckable(true);
  group.addAction(radio);
  QAction* checked = menu.addAction("Close");
  checked->setCheckable(true);
  checked->setChecked(true);
  QMenu* sub = menu.addMenu("Seek");
  QAction* inner = sub->addAction("Mi&nimize");
  QMenu* deeper = sub->addMenu("Broadcast");
  QAction* deepest = deeper->addAction("Cancel");

  ASSERT_TRUE(manager_->ChooseLanguage("Deutsch"));
  EXPECT_EQ(separator->text(), "Stop");
  EXPECT_EQ(widgetItem->text(), "Pause");
  EXPECT_EQ(radio->text(), "Restore");
  EXPECT_EQ(checked->text(), QString::fromUtf8("Schließen"));
  EXPECT_EQ(sub->title(), "Wiedergabeposition");
  EXPECT_EQ(inner->text(), "Mi&nimieren");
  EXPECT_EQ(deeper->title(), "Senden");
  EXPECT_EQ(deepest->text(), "Abbrechen");
}

TEST_F(WindowTranslationTest, TextsAreCutWithoutSplittingCharacters) {
  const QString longText = QString(100, QChar(0x4E2D));  // 300 bytes in UTF-8
  const std::string cut = ToProfileText(longText);
  EXPECT_EQ(cut.size(), 258u);
  EXPECT_EQ(QString::fromStdString(cut), QString(86, QChar(0x4E2D)));
}

// Every shipped translation has a text for every key of the template, and nothing else.
class ShippedLanguageFile : public ::testing::TestWithParam<const char*> {};

TEST_P(ShippedLanguageFile, TranslatesEveryTemplateText) {
  const auto translation = profile::ReadIniFile(kShippedLanguages / GetParam());
  const auto templateFile = profile::ReadIniFile(kShippedLanguages / "Template.ini");
  ASSERT_TRUE(translation && templateFile);
  const std::string bytes = templateFile->Bytes();
  std::istringstream lines(bytes.substr(bytes.find("\n[String]\n")));
  int keys = 0;
  for (std::string line; std::getline(lines, line);) {
    const auto equals = line.find('=');
    if (line.empty() || line[0] == ';' || equals == std::string::npos) continue;
    const std::string key = line.substr(0, equals);
    EXPECT_NE(translation->Lookup("String", key).value_or(""), "") << key;
    ++keys;
  }
  EXPECT_EQ(keys, 109);
}

INSTANTIATE_TEST_SUITE_P(Shipped, ShippedLanguageFile,
                         testing::Values("German.ini", "French.ini", "Spanish.ini",
                                         "ChineseSimplified.ini"),
                         [](const auto& info) {
                           const std::string file = info.param;
                           return file.substr(0, file.find('.'));
                         });

}  // namespace
}  // namespace vantorel::lang
