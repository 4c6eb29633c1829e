#include "ui/lang/language_manager.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "platform/profile/profile.h"
#include "tests/ui/lang/temp_folder.h"

namespace vantorel::lang {
namespace {

const std::filesystem::path kFixtures = VANTOREL_LANG_FIXTURES;

// Stands for the windows: each string is one control's text.
class FakeWindows : public WindowTextWalker {
 public:
  explicit FakeWindows(std::vector<std::string>& texts) : texts_(texts) {}
  void WalkAllWindows(LanguageManager& manager) override {
    for (auto& text : texts_) {
      if (auto translated = manager.TranslateText(text)) text = *translated;
    }
  }

 private:
  std::vector<std::string>& texts_;
};

class LanguageManagerTest : public ::testing::Test {
 protected:
  std::unique_ptr<LanguageManager> Make(const std::filesystem::path& folder) {
    return std::make_unique<LanguageManager>(LanguageFolders{folder, temp_.Path() / "config"},
                                             std::make_unique<FakeWindows>(texts_));
  }
  std::unique_ptr<LanguageManager> MakeFromFixture(const char* name) {
    return Make(temp_.CopyOf(kFixtures / name));
  }

  test_support::TempFolder temp_;
  std::vector<std::string> texts_;
};

TEST_F(LanguageManagerTest, ListsLanguageFilesOnly) {
  const auto manager = MakeFromFixture("listing");
  std::map<std::string, std::string> names;
  for (const auto& [name, path] : manager->Languages()) {
    names[name] = std::filesystem::path(path).filename().string();
  }
  // Of two files with one name the first in file-name order stays; only the exact name
  // "Template.ini" is left out; the extension matches in any case.
  EXPECT_EQ(names, (std::map<std::string, std::string>{{"Deutsch", "a_first.ini"},
                                                       {"kleine Vorlage", "template.ini"},
                                                       {"Groß", "UPPER.INI"}}));
}

TEST_F(LanguageManagerTest, MissingSetFileIsCreatedWithEnglish) {
  const auto folder = temp_.CopyOf(kFixtures / "switching");
  const auto manager = Make(folder);
  EXPECT_EQ(manager->SetFile(), folder / "language.set");
  EXPECT_EQ(profile::ReadProfileString("Set", "Language", "", folder / "language.set"), "English");
  EXPECT_EQ(manager->CurrentLanguage(), "English");
  EXPECT_EQ(manager->CurrentFile(), folder / "English.ini");
}

TEST_F(LanguageManagerTest, UnwritableFolderKeepsTheSetFileInTheSettingsFolder) {
  const auto missing = temp_.Path() / "no_language_folder";
  {
    const auto manager = Make(missing);
    EXPECT_TRUE(manager->Languages().empty());
    EXPECT_EQ(manager->SetFile(), temp_.Path() / "config" / "language.set");
    EXPECT_EQ(manager->CurrentLanguage(), "English");
    EXPECT_TRUE(manager->CurrentFile().empty());  // "English" is read back, and has no file
  }
  EXPECT_FALSE(std::filesystem::exists(missing));
  EXPECT_EQ(
      profile::ReadProfileString("Set", "Language", "", temp_.Path() / "config" / "language.set"),
      "English");
}

TEST_F(LanguageManagerTest, ReadOnlySetFileIsReadAndTheChoiceSavedElsewhere) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
  const auto folder = temp_.CopyOf(kFixtures / "switching");
  profile::WriteProfileString("Set", "Language", "Deutsch", folder / "language.set");
  std::filesystem::permissions(folder, std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::remove);
  std::filesystem::permissions(folder / "language.set", std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::remove);
  {
    const auto manager = Make(folder);
    EXPECT_EQ(manager->CurrentLanguage(), "Deutsch");
    EXPECT_TRUE(manager->ChooseLanguage("Français"));
  }
  EXPECT_EQ(
      profile::ReadProfileString("Set", "Language", "", temp_.Path() / "config" / "language.set"),
      "Français");
  std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
}

// An installed program's language folder is shared: even when it can be written (by root),
// language.set goes to the settings folder only, and the folder is left as it was.
TEST_F(LanguageManagerTest, SharedFolderKeepsTheSetFileInTheSettingsFolder) {
  const auto folder = temp_.CopyOf(kFixtures / "switching");
  {
    const LanguageManager manager(
        LanguageFolders{folder, temp_.Path() / "config", SetFilePlace::kSettingsFolder}, nullptr);
    EXPECT_EQ(manager.SetFile(), temp_.Path() / "config" / "language.set");
    EXPECT_EQ(manager.CurrentLanguage(), "English");
  }
  {
    LanguageManager manager(
        LanguageFolders{folder, temp_.Path() / "config", SetFilePlace::kSettingsFolder}, nullptr);
    EXPECT_TRUE(manager.ChooseLanguage("Deutsch"));
  }
  EXPECT_FALSE(std::filesystem::exists(folder / "language.set"));
  EXPECT_EQ(
      profile::ReadProfileString("Set", "Language", "", temp_.Path() / "config" / "language.set"),
      "Deutsch");
}

TEST_F(LanguageManagerTest, VanishedLanguageShowsEnglishAndIsWrittenBack) {
  const auto folder = temp_.CopyOf(kFixtures / "switching");
  profile::WriteProfileString("Set", "Language", "Klingon", folder / "language.set");
  texts_ = {"Open", "Help"};
  {
    const auto manager = Make(folder);
    EXPECT_EQ(manager->CurrentLanguage(), "Klingon");
    EXPECT_TRUE(manager->CurrentFile().empty());
    manager->TranslateAllWindows();
    EXPECT_EQ(texts_, (std::vector<std::string>{"Open", "Help"}));
    for (const auto& entry : manager->LanguageMenuEntries())
      EXPECT_FALSE(entry.checked) << entry.text;
  }
  EXPECT_EQ(profile::ReadProfileString("Set", "Language", "", folder / "language.set"), "Klingon");
}

TEST_F(LanguageManagerTest, SwitchesAnyNumberOfTimes) {
  const auto manager = MakeFromFixture("switching");
  texts_ = {"Open", "Pause", "Stop", "Help", "Unknown"};
  ASSERT_TRUE(manager->ChooseLanguage("Deutsch"));
  // An empty entry counts as missing.
  EXPECT_EQ(texts_, (std::vector<std::string>{"Öffnen", "Anhalten", "Stop", "Hilfe", "Unknown"}));
  // French lacks "Pause": its English text comes back.
  ASSERT_TRUE(manager->ChooseLanguage("Français"));
  EXPECT_EQ(texts_, (std::vector<std::string>{"Ouvrir", "Pause", "Stop", "Aide", "Unknown"}));
  ASSERT_TRUE(manager->ChooseLanguage("Deutsch"));
  EXPECT_EQ(texts_, (std::vector<std::string>{"Öffnen", "Anhalten", "Stop", "Hilfe", "Unknown"}));
  ASSERT_TRUE(manager->ChooseLanguage("Leer"));  // no "String" section at all
  EXPECT_EQ(texts_, (std::vector<std::string>{"Open", "Pause", "Stop", "Help", "Unknown"}));
  ASSERT_TRUE(manager->ChooseLanguage("Deutsch"));
  ASSERT_TRUE(manager->ChooseLanguage("English"));
  EXPECT_EQ(texts_, (std::vector<std::string>{"Open", "Pause", "Stop", "Help", "Unknown"}));
}

TEST_F(LanguageManagerTest, TranslationEqualToTheShownTextIsStillRecorded) {
  const auto manager = MakeFromFixture("switching");
  texts_ = {"Help", "Same"};
  ASSERT_TRUE(manager->ChooseLanguage("Deutsch"));
  // "Hilfe" is already shown; the Swiss file says "Hilfe" too, and its key must survive.
  ASSERT_TRUE(manager->ChooseLanguage("Deutsch (Schweiz)"));
  EXPECT_EQ(texts_, (std::vector<std::string>{"Hilfe", "Same"}));
  ASSERT_TRUE(manager->ChooseLanguage("Français"));
  EXPECT_EQ(texts_, (std::vector<std::string>{"Aide", "Pareil"}));
}

TEST_F(LanguageManagerTest, TwoEnglishTextsWithOneTranslationFollowTheFirst) {
  const auto manager = MakeFromFixture("switching");
  texts_ = {"One", "Uno"};
  ASSERT_TRUE(manager->ChooseLanguage("Deutsch"));
  EXPECT_EQ(texts_, (std::vector<std::string>{"Eins", "Eins"}));
  ASSERT_TRUE(manager->ChooseLanguage("Français"));
  EXPECT_EQ(texts_, (std::vector<std::string>{"Un", "Un"}));
}

TEST_F(LanguageManagerTest, DeletedCurrentFileBringsEnglishBack) {
  const auto folder = temp_.CopyOf(kFixtures / "switching");
  const auto manager = Make(folder);
  texts_ = {"Open"};
  ASSERT_TRUE(manager->ChooseLanguage("Deutsch"));
  std::filesystem::remove(folder / "German.ini");
  manager->TranslateAllWindows();
  EXPECT_EQ(texts_, std::vector<std::string>{"Open"});
}

TEST_F(LanguageManagerTest, MenuListsLanguagesInByteOrder) {
  const auto folder = temp_.CopyOf(kFixtures / "order");
  profile::WriteProfileString("Set", "Language", "Zulu", folder / "language.set");
  const auto manager = Make(folder);
  std::vector<std::string> shown;
  for (const auto& entry : manager->LanguageMenuEntries()) {
    const bool separator = entry.kind == LanguageMenuEntry::Kind::kSeparator;
    shown.push_back(separator ? "-" : entry.text + (entry.checked ? " *" : ""));
  }
  EXPECT_EQ(shown, (std::vector<std::string>{"English", "-", "Beta", "Zulu *", "alpha", "Ärger"}));
}

TEST_F(LanguageManagerTest, EnglishWithoutAFileChangesNothing) {
  const auto folder = temp_.CopyOf(kFixtures / "order");
  const auto manager = Make(folder);
  ASSERT_TRUE(manager->ChooseLanguage("Beta"));
  EXPECT_FALSE(manager->ChooseLanguage("English"));
  EXPECT_EQ(manager->CurrentLanguage(), "Beta");
  EXPECT_EQ(manager->CurrentFile(), folder / "b.ini");
}

TEST_F(LanguageManagerTest, EnglishFileIsListedOnceUnderTheFixedEntry) {
  const auto manager = MakeFromFixture("switching");
  const auto entries = manager->LanguageMenuEntries();
  ASSERT_EQ(entries.size(), 6u);  // English, separator, four further languages
  EXPECT_TRUE(entries[0].checked);
  EXPECT_EQ(std::count_if(entries.begin(), entries.end(),
                          [](const auto& e) { return e.text == "English"; }),
            1);
}

TEST_F(LanguageManagerTest, LookUpServesMessageBoxes) {
  const auto manager = MakeFromFixture("switching");
  EXPECT_EQ(manager->LookUp("Open"), "Open");
  ASSERT_TRUE(manager->ChooseLanguage("Deutsch"));
  EXPECT_EQ(manager->LookUp("Open"), "Öffnen");
  EXPECT_EQ(manager->LookUp("Stop"), "Stop");
  EXPECT_EQ(manager->LookUp("Not there"), "Not there");
}

TEST_F(LanguageManagerTest, SaveWritesTheCurrentLanguage) {
  const auto folder = temp_.CopyOf(kFixtures / "switching");
  {
    const auto manager = Make(folder);
    ASSERT_TRUE(manager->ChooseLanguage("Français"));
  }
  EXPECT_EQ(profile::ReadProfileString("Set", "Language", "", folder / "language.set"), "Français");
  const auto again = Make(folder);
  EXPECT_EQ(again->CurrentLanguage(), "Français");
  EXPECT_EQ(again->CurrentFile(), folder / "French.ini");
}

TEST_F(LanguageManagerTest, HostileFilesAreHandledSafely) {
  const auto folder = temp_.Path() / "hostile";
  std::filesystem::create_directories(folder);
  std::ofstream(folder / "big.ini", std::ios::binary)
      << "[Info]\nLanguage=Big\n[String]\nOpen=" << std::string(100000, 'y') << "\n"
      << std::string(50000, '[') << "\n\0\0\xff\xfe=\n";
  std::ofstream(folder / "binary.ini", std::ios::binary) << std::string(5000, '\0');
  const auto manager = Make(folder);
  texts_ = {"Open", std::string(1000, 'z')};
  ASSERT_TRUE(manager->ChooseLanguage("Big"));
  EXPECT_EQ(texts_[0], std::string(259, 'y'));
  EXPECT_EQ(texts_[1], std::string(1000, 'z'));
}

}  // namespace
}  // namespace vantorel::lang

namespace vantorel::lang {
namespace {

TEST(DefaultLanguageFolders, BesideTheProgramAndInTheUsersConfigFolder) {
  setenv("XDG_CONFIG_HOME", "/tmp/a config", 1);
  setenv("HOME", "/home/someone", 1);
  EXPECT_EQ(DefaultLanguageFolders().folder,
            std::filesystem::path(VANTOREL_TEST_PROGRAM_FOLDER) / "Language");
  EXPECT_EQ(DefaultLanguageFolders().settingsFolder, "/tmp/a config/vantorel");
  EXPECT_EQ(DefaultLanguageFolders().setFilePlace, SetFilePlace::kBesideWhenWritable);
  setenv("XDG_CONFIG_HOME", "relative/is/ignored", 1);
  EXPECT_EQ(DefaultLanguageFolders().settingsFolder, "/home/someone/.config/vantorel");
}

}  // namespace
}  // namespace vantorel::lang
