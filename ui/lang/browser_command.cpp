#include "ui/lang/browser_command.h"

#include <algorithm>
#include <array>

namespace vantorel::lang {
namespace {

constexpr std::array<std::string_view, 4> kPlaceholders = {"%u", "%U", "%f", "%F"};

// The earliest position of any placeholder, each with `quote` on both sides when given.
std::string_view::size_type FindPlaceholder(std::string_view command, std::string_view quote) {
  auto earliest = std::string_view::npos;
  for (std::string_view placeholder : kPlaceholders) {
    const std::string pattern = std::string(quote) + std::string(placeholder) + std::string(quote);
    earliest = std::min(earliest, command.find(pattern));
  }
  return earliest;
}

// Field codes other than the placeholder have no meaning in a plain command line.
std::string RemoveFieldCodes(std::string_view command) {
  std::string result;
  for (std::size_t i = 0; i < command.size(); ++i) {
    if (command[i] != '%') {
      result += command[i];
    } else if (i + 1 < command.size()) {
      if (command[i + 1] == '%') result += '%';
      ++i;
    }
  }
  return result;
}

}  // namespace

std::string QuoteForShell(std::string_view text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

std::string BuildBrowserCommand(std::string_view registered, std::string_view argument) {
  auto cut = std::min(FindPlaceholder(registered, "\""), FindPlaceholder(registered, "'"));
  if (cut == std::string_view::npos) cut = FindPlaceholder(registered, "");
  if (cut != std::string_view::npos) registered = registered.substr(0, cut);
  return RemoveFieldCodes(registered) + " " + QuoteForShell(argument);
}

}  // namespace vantorel::lang
