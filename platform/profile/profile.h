// Reading and writing settings in INI files by path, one value at a time. Every call reads
// the file afresh, so a change made by another program is seen at once.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/profile/ini_text.h"

namespace vantorel::profile {

// Only the first kMaxProfileFileSize bytes of a file are read; the rest is ignored.
inline constexpr std::size_t kMaxProfileFileSize = 4 * 1024 * 1024;

// The file's text, or nothing when it cannot be opened.
std::optional<IniText> ReadIniFile(const std::filesystem::path& path);

// The value of section/key in the file (see IniText::Lookup), or defaultValue when the file,
// the section or the key is missing. An empty value is returned as it is.
std::string ReadProfileString(std::string_view section, std::string_view key,
                              std::string_view defaultValue, const std::filesystem::path& path);

// Sets section/key in the file, creating the file when it does not exist; other lines keep
// their bytes. False when the name or value cannot be stored or the file cannot be written.
bool WriteProfileString(std::string_view section, std::string_view key, std::string_view value,
                        const std::filesystem::path& path);

}  // namespace vantorel::profile
