// Starting Lunnet with the user's desktop session: an XDG autostart entry,
// $XDG_CONFIG_HOME/autostart/lunnet.desktop (else ~/.config/autostart/lunnet.desktop), that
// runs the program by its absolute path.
#pragma once

#include <filesystem>
#include <string>

namespace vantorel::receiver::app {

// Empty when neither an absolute XDG_CONFIG_HOME nor HOME is set.
std::filesystem::path AutostartFile();

// `program` as one word of a desktop entry's Exec line: quoted when it holds a space or
// another reserved character, with the escapes of the quoted form and of the entry's strings.
std::string ExecWord(const std::string& program);

// The entry's text, running `program`.
std::string AutostartEntry(const std::filesystem::path& program);

// Write or remove the entry (the folder is made when missing); each returns the reason when it
// cannot, else an empty text.
std::string InstallAutostart(const std::filesystem::path& file,
                             const std::filesystem::path& program);
std::string RemoveAutostart(const std::filesystem::path& file);

}  // namespace vantorel::receiver::app
