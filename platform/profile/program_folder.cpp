#include "platform/profile/program_folder.h"

#include <system_error>

namespace vantorel::profile {

std::filesystem::path ProgramFolder() {
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::current_path(error) : program.parent_path();
}

}  // namespace vantorel::profile
