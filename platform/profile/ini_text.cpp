#include "platform/profile/ini_text.h"

#include <algorithm>

namespace vantorel::profile {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

char FoldAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool HasLineBreak(std::string_view text) {
  return text.find_first_of("\r\n") != std::string_view::npos;
}

// The name of a section header line ("[name]", blanks allowed around it and the name; a
// missing ']' takes the rest of the line), or nothing for other lines.
std::optional<std::string_view> SectionName(std::string_view line) {
  line = TrimBlanks(line);
  if (line.empty() || line.front() != '[') return std::nullopt;
  line.remove_prefix(1);
  const std::size_t close = line.find(']');
  if (close != std::string_view::npos) line = line.substr(0, close);
  return TrimBlanks(line);
}

bool IsComment(std::string_view line) {
  line = TrimBlanks(line);
  return !line.empty() && line.front() == ';';
}

// Splits "key = value" at the first '='; nothing for lines without one.
std::optional<std::pair<std::string_view, std::string_view>> KeyAndValue(std::string_view line) {
  if (IsComment(line)) return std::nullopt;
  const std::size_t equals = line.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  return std::pair{TrimBlanks(line.substr(0, equals)), TrimBlanks(line.substr(equals + 1))};
}

}  // namespace

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return FoldAscii(x) == FoldAscii(y);
         });
}

std::string_view TrimBlanks(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const std::size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

IniText::IniText(std::string_view bytes) {
  if (bytes.starts_with(kByteOrderMark)) bytes.remove_prefix(kByteOrderMark.size());
  while (!bytes.empty()) {
    const std::size_t end = bytes.find_first_of("\r\n");
    if (end == std::string_view::npos) {
      lines_.emplace_back(bytes);
      break;
    }
    lines_.emplace_back(bytes.substr(0, end));
    const bool crlf = bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n';
    bytes.remove_prefix(end + (crlf ? 2 : 1));
  }
}

std::optional<IniText::Position> IniText::FindSection(std::string_view section) const {
  section = TrimBlanks(section);
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const auto name = SectionName(lines_[i]);
    if (!name || !EqualsIgnoringCase(*name, section)) continue;
    std::size_t end = i + 1;
    while (end < lines_.size() && !SectionName(lines_[end])) ++end;
    return Position{i, end};
  }
  return std::nullopt;
}

std::optional<std::size_t> IniText::FindKey(const Position& where, std::string_view key) const {
  key = TrimBlanks(key);
  for (std::size_t i = where.sectionLine + 1; i < where.end; ++i) {
    const auto entry = KeyAndValue(lines_[i]);
    if (entry && EqualsIgnoringCase(entry->first, key)) return i;
  }
  return std::nullopt;
}

std::optional<std::string> IniText::Lookup(std::string_view section, std::string_view key) const {
  const auto where = FindSection(section);
  if (!where) return std::nullopt;
  const auto line = FindKey(*where, key);
  if (!line) return std::nullopt;
  std::string_view value = KeyAndValue(lines_[*line])->second;
  value = value.substr(0, value.find('\0'));
  return std::string(value.substr(0, kProfileTextSize - 1));
}

bool IniText::Assign(std::string_view section, std::string_view key, std::string_view value) {
  section = TrimBlanks(section);
  key = TrimBlanks(key);
  if (section.empty() || key.empty() || HasLineBreak(section) || HasLineBreak(key) ||
      HasLineBreak(value) || section.find(']') != std::string_view::npos ||
      key.find('=') != std::string_view::npos || key.front() == ';' || key.front() == '[') {
    return false;
  }
  std::string line = std::string(key) + "=" + std::string(value);
  const auto where = FindSection(section);
  if (!where) {
    lines_.push_back("[" + std::string(section) + "]");
    lines_.push_back(std::move(line));
    return true;
  }
  if (const auto existing = FindKey(*where, key)) {
    lines_[*existing] = std::move(line);
    return true;
  }
  // After the section's last entry, so that blank lines before the next section stay there.
  std::size_t insertAt = where->end;
  while (insertAt > where->sectionLine + 1 && TrimBlanks(lines_[insertAt - 1]).empty()) --insertAt;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), std::move(line));
  return true;
}

std::string IniText::Bytes() const {
  std::string bytes;
  // A first line that itself starts with a byte-order mark keeps the mark that was dropped in
  // front of it, so that the bytes read back as the same lines.
  if (!lines_.empty() && lines_.front().starts_with(kByteOrderMark)) bytes = kByteOrderMark;
  for (const auto& line : lines_) {
    bytes += line;
    bytes += '\n';
  }
  return bytes;
}

}  // namespace vantorel::profile
