// The files a sender broadcasts one after another: the list, the item on the air, the way to
// the next and the previous one, and the loop. Files that cannot be opened are skipped; a list
// none of whose items opens, one after another, is given up rather than tried for ever.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace vantorel::sender {

class Playlist {
 public:
  // Replaces the list; no item is current.
  void Assign(std::vector<std::string> items);
  // Adds items at the end; the current one stays.
  void Append(const std::vector<std::string>& items);
  void Clear() { Assign({}); }

  const std::vector<std::string>& Items() const { return items_; }
  std::size_t Size() const { return items_.size(); }
  bool Empty() const { return items_.empty(); }
  std::optional<std::size_t> Current() const { return current_; }
  // The path of the current item; empty when none is current.
  std::string CurrentItem() const;

  // After the last item comes the first again.
  void SetLoop(bool loop) { loop_ = loop; }
  bool Loop() const { return loop_; }

  // Makes `index` current; nothing when there is no such item.
  std::optional<std::size_t> Select(std::size_t index);
  // Moves to the item after the current one (the first when none is current), or back to the
  // first after the last when looping; nothing, and no move, at the end of the list, or when
  // every item failed since the last one that played.
  std::optional<std::size_t> Next();
  // Moves to the item before the current one, or to the last from the first when looping;
  // nothing at the start.
  std::optional<std::size_t> Previous();

  // The current item opened and plays, or could not be opened.
  void MarkPlayed() { failuresInRow_ = 0; }
  void MarkFailed() { ++failuresInRow_; }
  // Every item has failed, one after another: trying the next would go round for ever.
  bool Exhausted() const { return !items_.empty() && failuresInRow_ >= items_.size(); }

 private:
  std::vector<std::string> items_;
  std::optional<std::size_t> current_;
  bool loop_ = false;
  std::size_t failuresInRow_ = 0;
};

// The paths given on a command line or dropped on a window, with each folder replaced by the
// files in it (not its sub-folders) whose extension is among `extensions` (lower case, without
// the dot; compared without case), in the order of their names. Files are kept as given, even
// without such an extension: opening tells what they are.
std::vector<std::string> ExpandPlaylist(const std::vector<std::string>& paths,
                                        const std::vector<std::string>& extensions);

}  // namespace vantorel::sender
