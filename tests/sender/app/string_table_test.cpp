// The file dialog's filter list, converted from the table's "name|patterns|" form.
#include <gtest/gtest.h>

#include <QStringList>

#include "sender/app/string_table.h"

namespace vantorel::sender::app {
namespace {

TEST(FileDialogFilter, ConvertsEveryEntryOfTheOpenFilter) {
  const QStringList filters = FileDialogFilter(Strings().String(IDS_FILE_FILTER)).split(";;");
  ASSERT_EQ(filters.size(), 11);
  EXPECT_EQ(filters[0],
            "Media Files(All Types) (*.mpg *.mpeg *.dat *.avi *.asf *.ivf *.mp3 *.wav *.wma "
            "*.au *.snd *.mp4 *.mkv *.webm)");
  EXPECT_EQ(filters[1], "MPEG Files (*.mpg *.mpeg *.m1v)");
  EXPECT_EQ(filters[9], "UNIX Audio Files (*.au *.snd)");
  EXPECT_EQ(filters[10], "All Files (*.*)");

  const QStringList withPlayable =
      WithPlayableEntry(filters.join(";;"), "Every file", {"mkv", "mp4"}).split(";;");
  ASSERT_EQ(withPlayable.size(), 12);
  EXPECT_EQ(withPlayable[1], "Every file (*.mkv *.mp4)");
  EXPECT_EQ(WithPlayableEntry("A (*.a)", "Every file", {}), "A (*.a)");
}

TEST(FileDialogFilter, StopsAtTheEmptyEntryAndIgnoresAHalfEntry) {
  EXPECT_EQ(FileDialogFilter("A|*.a;;*.b ;|"), "A (*.a *.b)");
  EXPECT_EQ(FileDialogFilter("A|*.a||B|*.b||"), "A (*.a)");
  EXPECT_EQ(FileDialogFilter("A"), "");
}

}  // namespace
}  // namespace vantorel::sender::app
