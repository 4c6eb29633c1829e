#include "sender/playlist.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

namespace vantorel::sender {

namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// "clip 2" before "clip 10": runs of digits compare by their value.
bool NaturalLess(const std::string& a, const std::string& b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    const bool da = std::isdigit(static_cast<unsigned char>(a[i])) != 0;
    const bool db = std::isdigit(static_cast<unsigned char>(b[j])) != 0;
    if (da && db) {
      std::size_t ei = i, ej = j;
      while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei])) != 0) ++ei;
      while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej])) != 0) ++ej;
      // Leading zeros do not count; the longer run of significant digits is the larger.
      std::size_t si = i, sj = j;
      while (si + 1 < ei && a[si] == '0') ++si;
      while (sj + 1 < ej && b[sj] == '0') ++sj;
      if (ei - si != ej - sj) return ei - si < ej - sj;
      if (const int c = a.compare(si, ei - si, b, sj, ej - sj); c != 0) return c < 0;
      i = ei;
      j = ej;
      continue;
    }
    const auto ca = static_cast<unsigned char>(std::tolower(static_cast<unsigned char>(a[i])));
    const auto cb = static_cast<unsigned char>(std::tolower(static_cast<unsigned char>(b[j])));
    if (ca != cb) return ca < cb;
    ++i;
    ++j;
  }
  if (a.size() - i != b.size() - j) return a.size() - i < b.size() - j;
  return a < b;
}

}  // namespace

void Playlist::Assign(std::vector<std::string> items) {
  items_ = std::move(items);
  current_.reset();
  failuresInRow_ = 0;
}

void Playlist::Append(const std::vector<std::string>& items) {
  items_.insert(items_.end(), items.begin(), items.end());
}

std::string Playlist::CurrentItem() const {
  return current_ ? items_[*current_] : std::string();
}

std::optional<std::size_t> Playlist::Select(std::size_t index) {
  if (index >= items_.size()) return std::nullopt;
  current_ = index;
  return current_;
}

std::optional<std::size_t> Playlist::Next() {
  if (items_.empty() || Exhausted()) return std::nullopt;
  if (!current_) return current_ = 0;
  if (*current_ + 1 < items_.size()) return current_ = *current_ + 1;
  if (!loop_) return std::nullopt;
  return current_ = 0;
}

std::optional<std::size_t> Playlist::Previous() {
  if (items_.empty()) return std::nullopt;
  if (!current_) return current_ = 0;
  if (*current_ > 0) return current_ = *current_ - 1;
  if (!loop_) return std::nullopt;
  return current_ = items_.size() - 1;
}

std::vector<std::string> ExpandPlaylist(const std::vector<std::string>& paths,
                                        const std::vector<std::string>& extensions) {
  std::vector<std::string> items;
  for (const std::string& path : paths) {
    std::error_code error;
    if (!std::filesystem::is_directory(path, error)) {
      items.push_back(path);
      continue;
    }
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(path, error)) {
      if (!entry.is_regular_file(error)) continue;
      std::string extension = entry.path().extension().string();
      if (extension.size() < 2) continue;
      extension = Lower(extension.substr(1));
      if (std::find(extensions.begin(), extensions.end(), extension) == extensions.end()) continue;
      found.push_back(entry.path().string());
    }
    std::sort(found.begin(), found.end(), [](const std::string& a, const std::string& b) {
      return NaturalLess(std::filesystem::path(a).filename().string(),
                         std::filesystem::path(b).filename().string());
    });
    items.insert(items.end(), found.begin(), found.end());
  }
  return items;
}

}  // namespace vantorel::sender
