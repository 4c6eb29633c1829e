// A program's texts by identifier. Each program keeps one constant table of its own; the
// language files translate the English texts the table holds.
#pragma once

#include <QString>

#include <cstddef>
#include <span>

namespace vantorel::ui {

struct StringEntry {
  int id;
  const char* text;  // UTF-8
};

class StringTable {
 public:
  // The entries are not copied: the table is made over a constant array.
  constexpr explicit StringTable(std::span<const StringEntry> entries) : entries_(entries) {}

  // The text of `id`; "" for an identifier the table does not hold.
  constexpr const char* Text(int id) const {
    for (const StringEntry& entry : entries_) {
      if (entry.id == id) return entry.text;
    }
    return "";
  }
  QString String(int id) const { return QString::fromUtf8(Text(id)); }

 private:
  std::span<const StringEntry> entries_;
};

}  // namespace vantorel::ui
