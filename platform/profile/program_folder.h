// Where the running program's data stand (its language files, help page and resource library)
// and where the user's settings and state are kept.
// In the build's output folder (or any folder of its own) they stand beside the executable; an
// installed program keeps them in ../share/vantorel relative to its bin/ folder.
#pragma once

#include <filesystem>

namespace vantorel::profile {

// The skin's resource bundle; a folder holding it holds the program's data.
inline constexpr char kResourceLibraryName[] = "RESDLL.rcc";

// The folder of the running executable (the current directory when that cannot be read).
std::filesystem::path ExecutableFolder();

// The data folder of a program in `executableFolder`: that folder when the resource library
// stands in it, else `../share/vantorel` relative to it when that holds the library, else
// `executableFolder` itself (where a missing library is then reported).
std::filesystem::path ProgramFolderFor(const std::filesystem::path& executableFolder);

// The data folder of the running program: ProgramFolderFor(ExecutableFolder()).
std::filesystem::path ProgramFolder();

// The user's configuration folder: $XDG_CONFIG_HOME (an absolute one only), else ~/.config;
// empty when neither is known. Read afresh on each call.
std::filesystem::path UserConfigHome();
// Where every setting of the user's lives, the programs' own and the key files: the folder
// "vantorel" in UserConfigHome(); empty when that is unknown.
std::filesystem::path UserConfigFolder();
// $XDG_STATE_HOME/vantorel, else ~/.local/state/vantorel; empty when neither is known.
std::filesystem::path UserStateFolder();

}  // namespace vantorel::profile
