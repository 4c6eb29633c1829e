// Where the running program is installed: its language files, help page and resource library
// stand beside it.
#pragma once

#include <filesystem>

namespace vantorel::profile {

// The folder of the running executable (the current directory when that cannot be read).
std::filesystem::path ProgramFolder();

}  // namespace vantorel::profile
