#include "platform/profile/program_folder.h"

#include <cstdlib>
#include <system_error>

namespace vantorel::profile {
namespace {

bool HoldsResourceLibrary(const std::filesystem::path& folder) {
  std::error_code error;
  return std::filesystem::is_regular_file(folder / kResourceLibraryName, error);
}

}  // namespace

std::filesystem::path ExecutableFolder() {
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::current_path(error) : program.parent_path();
}

std::filesystem::path ProgramFolderFor(const std::filesystem::path& executableFolder) {
  if (HoldsResourceLibrary(executableFolder)) return executableFolder;
  const std::filesystem::path shared =
      (executableFolder / ".." / "share" / "vantorel").lexically_normal();
  return HoldsResourceLibrary(shared) ? shared : executableFolder;
}

std::filesystem::path ProgramFolder() {
  return ProgramFolderFor(ExecutableFolder());
}

namespace {
// $variable when it holds an absolute path, else ~/fallback; empty when neither is known.
std::filesystem::path XdgFolder(const char* variable, const char* fallback) {
  if (const char* xdg = std::getenv(variable); xdg != nullptr && *xdg == '/') return xdg;
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    return std::filesystem::path(home) / fallback;
  }
  return {};
}
}  // namespace

std::filesystem::path UserConfigHome() {
  return XdgFolder("XDG_CONFIG_HOME", ".config");
}

std::filesystem::path UserConfigFolder() {
  const std::filesystem::path home = UserConfigHome();
  return home.empty() ? home : home / "vantorel";
}

std::filesystem::path UserStateFolder() {
  const std::filesystem::path state = XdgFolder("XDG_STATE_HOME", ".local/state");
  return state.empty() ? state : state / "vantorel";
}

}  // namespace vantorel::profile
