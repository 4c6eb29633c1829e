#include "receiver/app/session_autostart.h"

#include <fstream>
#include <string_view>
#include <system_error>

#include "platform/profile/program_folder.h"

namespace vantorel::receiver::app {
namespace {

constexpr std::string_view kReservedInExec = " \t\n\"'\\><~|&;$*?#()`";
constexpr std::string_view kEscapedInQuotes = "\"`$\\";

// A desktop entry's string value: a backslash, a newline and a tab are written as escapes.
std::string EscapeForEntry(const std::string& text) {
  std::string escaped;
  for (const char c : text) {
    if (c == '\\') {
      escaped += "\\\\";
    } else if (c == '\n') {
      escaped += "\\n";
    } else if (c == '\t') {
      escaped += "\\t";
    } else {
      escaped += c;
    }
  }
  return escaped;
}

}  // namespace

std::filesystem::path AutostartFile() {
  const std::filesystem::path config = profile::UserConfigHome();
  return config.empty() ? config : config / "autostart" / "lunnet.desktop";
}

std::string ExecWord(const std::string& program) {
  std::string word;
  // '%' starts a field code; "%%" is a plain '%'.
  for (const char c : program) {
    if (c == '%') word += '%';
    word += c;
  }
  if (word.find_first_of(kReservedInExec) != std::string::npos) {
    std::string quoted = "\"";
    for (const char c : word) {
      if (kEscapedInQuotes.find(c) != std::string_view::npos) quoted += '\\';
      quoted += c;
    }
    word = quoted + '"';
  }
  return EscapeForEntry(word);
}

std::string AutostartEntry(const std::filesystem::path& program) {
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=Lunnet\n"
         "Comment=Plays what a Vantorel sender broadcasts on the local network\n"
         "Exec=" +
         ExecWord(program.string()) +
         "\n"
         "Icon=lunnet\n"
         "Terminal=false\n"
         "X-GNOME-Autostart-enabled=true\n";
}

std::string InstallAutostart(const std::filesystem::path& file,
                             const std::filesystem::path& program) {
  if (file.empty()) return "no configuration folder (HOME unset)";
  std::error_code error;
  std::filesystem::create_directories(file.parent_path(), error);
  if (error) return file.parent_path().string() + ": " + error.message();
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << AutostartEntry(program);
  out.close();
  if (!out) return file.string() + ": cannot be written";
  return {};
}

std::string RemoveAutostart(const std::filesystem::path& file) {
  std::error_code error;
  std::filesystem::remove(file, error);
  if (error) return file.string() + ": " + error.message();
  return {};
}

}  // namespace vantorel::receiver::app
