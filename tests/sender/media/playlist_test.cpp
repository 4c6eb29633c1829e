// The order in which a list of files plays, its loop, the items it skips, and the files a
// folder gives.
#include "sender/playlist.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace vantorel::sender {
namespace {

std::vector<std::size_t> Walk(Playlist& list, int steps, bool forward = true) {
  std::vector<std::size_t> seen;
  for (int i = 0; i < steps; ++i) {
    const auto index = forward ? list.Next() : list.Previous();
    if (!index) break;
    seen.push_back(*index);
  }
  return seen;
}

TEST(Playlist, PlaysInOrderAndLoopsOnlyWhenAsked) {
  Playlist list;
  EXPECT_FALSE(list.Next());
  list.Assign({"a", "b", "c"});
  EXPECT_EQ(Walk(list, 5), (std::vector<std::size_t>{0, 1, 2}));
  EXPECT_EQ(list.CurrentItem(), "c");  // the end leaves the last item current
  list.SetLoop(true);
  EXPECT_EQ(Walk(list, 4), (std::vector<std::size_t>{0, 1, 2, 0}));
  EXPECT_EQ(Walk(list, 2, false), (std::vector<std::size_t>{2, 1}));
  list.SetLoop(false);
  EXPECT_EQ(Walk(list, 3, false), (std::vector<std::size_t>{0}));
  // Appending keeps the current item; assigning forgets it.
  list.Append({"d"});
  EXPECT_EQ(list.Current(), 0u);
  EXPECT_EQ(list.Select(3), 3u);
  EXPECT_FALSE(list.Select(4));
  list.Assign({"x"});
  EXPECT_FALSE(list.Current());
  EXPECT_EQ(list.CurrentItem(), "");
}

// A looping list whose items all fail would go round for ever: it stops once every item has
// failed in a row, and one that plays resets the count.
TEST(Playlist, AListWhoseItemsAllFailIsGivenUp) {
  Playlist list;
  list.Assign({"bad", "good", "bad too"});
  list.SetLoop(true);
  ASSERT_EQ(list.Next(), 0u);
  list.MarkFailed();
  ASSERT_EQ(list.Next(), 1u);
  list.MarkPlayed();
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(list.Next());
    list.MarkFailed();
  }
  EXPECT_FALSE(list.Exhausted());
  ASSERT_EQ(list.Next(), 1u);
  list.MarkFailed();  // the good one is gone now
  EXPECT_TRUE(list.Exhausted());
  EXPECT_FALSE(list.Next());
}

TEST(Playlist, AFolderGivesItsMediaFilesInNaturalOrder) {
  const std::filesystem::path folder = std::filesystem::path(::testing::TempDir()) / "playlist";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder / "sub.mp4");
  for (const char* name : {"clip 10.mp4", "clip 2.MKV", "clip 02b.webm", "notes.txt", "Alpha.mp4",
                           ".hidden", "noextension"}) {
    std::ofstream(folder / name) << "x";
  }
  std::ofstream(folder / "sub.mp4" / "inner.mp4") << "x";
  const std::vector<std::string> extensions{"mkv", "mp4", "webm"};
  const std::vector<std::string> items =
      ExpandPlaylist({"first.avi", folder.string(), "missing.ogg"}, extensions);
  std::vector<std::string> names;
  for (const std::string& item : items) names.push_back(std::filesystem::path(item).filename());
  EXPECT_EQ(names, (std::vector<std::string>{"first.avi", "Alpha.mp4", "clip 2.MKV",
                                             "clip 02b.webm", "clip 10.mp4", "missing.ogg"}));
}

}  // namespace
}  // namespace vantorel::sender
