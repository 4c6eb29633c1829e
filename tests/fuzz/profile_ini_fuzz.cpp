// Feeds arbitrary bytes to the INI reader: the first line of the input names the section and
// key to look up, the rest is the file. Every lookup result must fit the profile buffer, and a
// written entry must read back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/profile/ini_text.h"

using vantorel::profile::IniText;
using vantorel::profile::kProfileTextSize;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t lineEnd = std::min(input.find('\n'), input.size());
  const std::string_view names = input.substr(0, lineEnd);
  const std::size_t slash = names.find('/');
  const std::string_view section = names.substr(0, slash);
  const std::string_view key = slash == std::string_view::npos ? "" : names.substr(slash + 1);

  IniText text(input.substr(std::min(lineEnd + 1, input.size())));
  if (const auto value = text.Lookup(section, key)) {
    if (value->size() >= kProfileTextSize) std::abort();
  }
  if (text.Assign(section, key, "fuzz value")) {
    const IniText again(text.Bytes());
    if (again.Lookup(section, key) != "fuzz value") std::abort();
  }
  return 0;
}
