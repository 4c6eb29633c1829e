// The text of one INI file, held as its lines so that a change keeps every other line as it
// was. Section and key names match without regard to ASCII letter case; text is 8-bit and
// passes through unchanged (UTF-8 bytes included); there are no escapes and no inline
// comments: a line whose first non-blank character is ';' is a comment.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantorel::profile {

// Buffers exchanged with callers hold this many bytes including the terminating zero, so a
// value read is at most kProfileTextSize - 1 bytes long.
inline constexpr std::size_t kProfileTextSize = 260;

class IniText {
 public:
  IniText() = default;
  // Splits at "\n", "\r\n" or "\r"; a UTF-8 byte-order mark at the start is dropped.
  explicit IniText(std::string_view bytes);

  // The value of the first matching key in the first matching section, blanks around it
  // removed, cut at the first zero byte and at kProfileTextSize - 1 bytes. Blanks around the
  // names asked for are ignored. Nothing when the section or key is absent.
  std::optional<std::string> Lookup(std::string_view section, std::string_view key) const;

  // Sets the key, replacing its first line or adding it at the end of the section; the section
  // is added at the end when missing. False (nothing changed) when a name is empty after
  // trimming, a name or the value holds a line break, a section name holds ']' or a key
  // holds '='.
  bool Assign(std::string_view section, std::string_view key, std::string_view value);

  // The file's bytes: every line followed by "\n"; they read back as the same lines.
  std::string Bytes() const;
  std::size_t LineCount() const { return lines_.size(); }

 private:
  struct Position {
    std::size_t sectionLine;  // the header line of the first matching section
    std::size_t end;          // one past the section's last line
  };
  std::optional<Position> FindSection(std::string_view section) const;
  std::optional<std::size_t> FindKey(const Position& where, std::string_view key) const;

  std::vector<std::string> lines_;
};

// ASCII-only case-insensitive comparison; bytes above 127 must match exactly.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);
// Removes spaces and tabs at both ends.
std::string_view TrimBlanks(std::string_view text);

}  // namespace vantorel::profile
