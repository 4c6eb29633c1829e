// The chosen language and the translation of every text the windows show. The manager reads
// the language files of one folder; the toolkit side walks the windows (WindowTextWalker) and
// offers each text to TranslateText. Texts are 8-bit strings; the shipped files are UTF-8.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/profile/ini_text.h"

namespace vantorel::lang {

class LanguageManager;

// Walks every window of the calling thread and offers each text to the manager.
class WindowTextWalker {
 public:
  virtual ~WindowTextWalker() = default;
  virtual void WalkAllWindows(LanguageManager& manager) = 0;
};

// Where language.set may be kept: beside the language files when that folder can be written
// (a program folder of its own), or only in the settings folder (an installed, shared tree).
enum class SetFilePlace { kBesideWhenWritable, kSettingsFolder };

struct LanguageFolders {
  std::filesystem::path folder;          // the language files
  std::filesystem::path settingsFolder;  // where language.set goes when `folder` is read-only
  SetFilePlace setFilePlace = SetFilePlace::kBesideWhenWritable;
};

// One entry of the language menu, in menu order.
struct LanguageMenuEntry {
  enum class Kind { kLanguage, kSeparator };
  Kind kind = Kind::kLanguage;
  std::string text;
  bool checked = false;
};

inline constexpr std::string_view kEnglish = "English";
inline constexpr std::string_view kTemplateFileName = "Template.ini";
inline constexpr std::string_view kSetFileName = "language.set";

class LanguageManager {
 public:
  // Runs Load. Without a walker TranslateAllWindows only exchanges the maps.
  LanguageManager(LanguageFolders folders, std::unique_ptr<WindowTextWalker> walker);
  virtual ~LanguageManager();
  LanguageManager(const LanguageManager&) = delete;
  LanguageManager& operator=(const LanguageManager&) = delete;

  void Load();
  void TranslateAllWindows();
  // Writes currentLanguage to language.set; false when it cannot be written.
  bool Save() const;

  // For the walker, during a pass: the text to put in place of `shown`, or nothing when the
  // control keeps its text. Records the translation for the next pass.
  std::optional<std::string> TranslateText(std::string_view shown);

  // The current language's text for an English text, or the English text itself; for texts
  // shown outside any window pass (message boxes). Touches no map.
  std::string LookUp(std::string_view englishText) const;

  std::vector<LanguageMenuEntry> LanguageMenuEntries() const;
  // Makes the named language current and translates every window; false (nothing changed)
  // when no language file declares that name.
  bool ChooseLanguage(std::string_view displayName);

  // std::string compares as unsigned bytes, so the map is in unsigned byte order.
  const std::map<std::string, std::string>& Languages() const { return languages; }
  const std::string& CurrentLanguage() const { return currentLanguage; }
  const std::filesystem::path& CurrentFile() const { return currentFile; }
  const std::filesystem::path& SetFile() const { return setFile_; }
  const std::filesystem::path& Folder() const { return folder; }

 private:
  void FindLanguageFiles();
  void ChooseSetFile();
  void ReadCurrentLanguage();

  std::map<std::string, std::string> textKeys;
  std::map<std::string, std::string> pendingTextKeys;
  std::map<std::string, std::string> languages;
  std::string currentLanguage;
  std::filesystem::path currentFile;
  std::filesystem::path folder;

  std::filesystem::path settingsFolder_;
  SetFilePlace setFilePlace_;
  std::filesystem::path setFile_;
  std::unique_ptr<WindowTextWalker> walker_;
  // The current file as read at the start of the running pass.
  std::optional<profile::IniText> passText_;
};

// The language folder in the program's data folder, and $XDG_CONFIG_HOME/vantorel (or
// ~/.config/vantorel) for language.set; an installed program (its data in ../share/vantorel)
// keeps language.set there only.
LanguageFolders DefaultLanguageFolders();

}  // namespace vantorel::lang
