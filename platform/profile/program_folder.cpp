#include "platform/profile/program_folder.h"

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

}  // namespace vantorel::profile
