#include "ui/lang/language_manager.h"

#include <algorithm>
#include <fstream>
#include <system_error>
#include <utility>

#include "platform/profile/profile.h"
#include "platform/profile/program_folder.h"

namespace vantorel::lang {
namespace {

constexpr std::string_view kInfoSection = "Info";
constexpr std::string_view kStringSection = "String";
constexpr std::string_view kSetSection = "Set";
constexpr std::string_view kLanguageKey = "Language";

bool HasIniExtension(const std::filesystem::path& name) {
  return profile::EqualsIgnoringCase(name.extension().string(), ".ini");
}

// Opening for update neither creates nor truncates the file.
bool CanWrite(const std::filesystem::path& path) {
  std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
  return file.is_open();
}

// language.set beside the language files: usable when it can be written, or made when missing.
bool UsableBeside(const std::filesystem::path& setFile) {
  std::error_code error;
  if (std::filesystem::exists(setFile, error)) return CanWrite(setFile);
  return profile::WriteProfileString(kSetSection, kLanguageKey, kEnglish, setFile);
}

std::string Cut(std::string_view text) {
  return std::string(text.substr(0, profile::kProfileTextSize - 1));
}

}  // namespace

LanguageManager::LanguageManager(LanguageFolders folders, std::unique_ptr<WindowTextWalker> walker)
    : folder(std::move(folders.folder)),
      settingsFolder_(std::move(folders.settingsFolder)),
      setFilePlace_(folders.setFilePlace),
      walker_(std::move(walker)) {
  Load();
}

LanguageManager::~LanguageManager() {
  Save();
}

void LanguageManager::Load() {
  FindLanguageFiles();
  ChooseSetFile();
  ReadCurrentLanguage();
}

// The directory is read in file-name order, so that of two files declaring one display name
// the same one wins on every run.
void LanguageManager::FindLanguageFiles() {
  languages.clear();
  std::error_code error;
  std::vector<std::filesystem::directory_entry> entries;
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    entries.push_back(*it);
  }
  std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
    return a.path().filename().string() < b.path().filename().string();
  });
  for (const auto& entry : entries) {
    const std::filesystem::path name = entry.path().filename();
    if (entry.is_directory(error) || !HasIniExtension(name) || name == kTemplateFileName) continue;
    std::string displayName =
        profile::ReadProfileString(kInfoSection, kLanguageKey, "", entry.path());
    if (!displayName.empty()) languages.emplace(std::move(displayName), entry.path().string());
  }
}

// language.set lives in the language folder when that can be written (and may be), else in the
// settings folder; a missing file starts as "English".
void LanguageManager::ChooseSetFile() {
  std::error_code error;
  const std::filesystem::path shipped = folder / kSetFileName;
  if (setFilePlace_ == SetFilePlace::kBesideWhenWritable && UsableBeside(shipped)) {
    setFile_ = shipped;
    return;
  }
  if (settingsFolder_.empty()) return;
  setFile_ = settingsFolder_ / kSetFileName;
  if (std::filesystem::exists(setFile_, error) || std::filesystem::exists(shipped, error)) return;
  std::filesystem::create_directories(settingsFolder_, error);
  profile::WriteProfileString(kSetSection, kLanguageKey, kEnglish, setFile_);
}

void LanguageManager::ReadCurrentLanguage() {
  std::error_code error;
  const std::filesystem::path source =
      std::filesystem::exists(setFile_, error) ? setFile_ : folder / kSetFileName;
  std::string chosen = profile::ReadProfileString(kSetSection, kLanguageKey, "", source);
  if (chosen.empty()) {
    currentLanguage = kEnglish;
    currentFile = folder / "English.ini";
    return;
  }
  const auto found = languages.find(chosen);
  currentFile =
      found != languages.end() ? std::filesystem::path(found->second) : std::filesystem::path();
  currentLanguage = std::move(chosen);
}

bool LanguageManager::Save() const {
  if (setFile_.empty()) return false;
  // The settings folder is made only when a choice is first saved there: beside a shipped,
  // read-only language.set it need not exist yet.
  std::error_code error;
  std::filesystem::create_directories(setFile_.parent_path(), error);
  return profile::WriteProfileString(kSetSection, kLanguageKey, currentLanguage, setFile_);
}

void LanguageManager::TranslateAllWindows() {
  passText_ = currentFile.empty() ? std::nullopt : profile::ReadIniFile(currentFile);
  if (walker_) walker_->WalkAllWindows(*this);
  passText_.reset();
  textKeys.clear();
  std::swap(textKeys, pendingTextKeys);
}

std::optional<std::string> LanguageManager::TranslateText(std::string_view shown) {
  const std::string text = Cut(shown);
  const auto earlier = textKeys.find(text);
  const std::string key = earlier != textKeys.end() ? earlier->second : text;
  std::string translated;
  if (passText_) translated = passText_->Lookup(kStringSection, key).value_or("");
  if (!translated.empty()) {
    pendingTextKeys.emplace(translated, key);
    if (translated != text) return translated;
    return std::nullopt;
  }
  if (key != text) return key;
  return std::nullopt;
}

std::string LanguageManager::LookUp(std::string_view englishText) const {
  std::string translated = currentFile.empty() ? std::string()
                                               : profile::ReadProfileString(
                                                     kStringSection, englishText, "", currentFile);
  return translated.empty() ? std::string(englishText) : translated;
}

std::vector<LanguageMenuEntry> LanguageManager::LanguageMenuEntries() const {
  std::vector<LanguageMenuEntry> entries;
  entries.push_back(
      {LanguageMenuEntry::Kind::kLanguage, std::string(kEnglish), currentLanguage == kEnglish});
  entries.push_back({LanguageMenuEntry::Kind::kSeparator, {}, false});
  for (const auto& [name, path] : languages) {
    if (name == kEnglish) continue;
    entries.push_back({LanguageMenuEntry::Kind::kLanguage, name, name == currentLanguage});
  }
  return entries;
}

bool LanguageManager::ChooseLanguage(std::string_view displayName) {
  const auto found = languages.find(std::string(displayName));
  if (found == languages.end()) return false;
  currentLanguage = found->first;
  currentFile = found->second;
  TranslateAllWindows();
  return true;
}

LanguageFolders DefaultLanguageFolders() {
  const std::filesystem::path data = profile::ProgramFolder();
  const SetFilePlace place = data == profile::ExecutableFolder() ? SetFilePlace::kBesideWhenWritable
                                                                 : SetFilePlace::kSettingsFolder;
  return {data / "Language", profile::UserConfigFolder(), place};
}

}  // namespace vantorel::lang
