#include "platform/profile/profile.h"

#include <algorithm>
#include <fstream>
#include <system_error>
#include <vector>

namespace vantorel::profile {

std::optional<IniText> ReadIniFile(const std::filesystem::path& path) {
  std::error_code error;
  if (path.empty() || std::filesystem::is_directory(path, error)) return std::nullopt;
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  const auto size = std::filesystem::file_size(path, error);
  std::vector<char> bytes(error ? kMaxProfileFileSize
                                : std::min<std::uintmax_t>(size, kMaxProfileFileSize));
  file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return IniText(std::string_view(bytes.data(), static_cast<std::size_t>(file.gcount())));
}

std::string ReadProfileString(std::string_view section, std::string_view key,
                              std::string_view defaultValue, const std::filesystem::path& path) {
  if (const auto text = ReadIniFile(path)) {
    if (auto value = text->Lookup(section, key)) return std::move(*value);
  }
  return std::string(defaultValue.substr(0, kProfileTextSize - 1));
}

bool WriteProfileString(std::string_view section, std::string_view key, std::string_view value,
                        const std::filesystem::path& path) {
  std::error_code error;
  if (path.empty() || std::filesystem::is_directory(path, error)) return false;
  // A file too big to be read whole would lose its tail when written back.
  const auto size = std::filesystem::file_size(path, error);
  if (!error && size > kMaxProfileFileSize) return false;
  IniText text = ReadIniFile(path).value_or(IniText{});
  if (!text.Assign(section, key, value)) return false;
  const std::string bytes = text.Bytes();
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (!file) return false;
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  file.flush();
  return static_cast<bool>(file);
}

}  // namespace vantorel::profile
