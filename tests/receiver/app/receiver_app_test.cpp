// Start-up refuses to run without the resource library, with the program's own text.
#include "receiver/app/receiver_app.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <filesystem>

namespace vantorel::receiver::app {
namespace {

ReceiverWindowOptions InFolder(const std::filesystem::path& folder) {
  ReceiverWindowOptions options;
  options.applicationFolder = folder;
  return options;
}

TEST(ReceiverAppTest, WithoutTheResourceLibraryTheProgramEndsWithItsMessage) {
  QTemporaryDir empty;
  const ReceiverApp app(InFolder(empty.path().toStdString()));
  EXPECT_EQ(app.CheckPrerequisites(), "Error: Can not load resource files. ");
}

TEST(ReceiverAppTest, WithTheResourceLibraryBesideItTheProgramRuns) {
  const std::filesystem::path library(VANTOREL_RESDLL_PATH);
  const ReceiverApp app(InFolder(library.parent_path()));
  EXPECT_EQ(app.ResourceLibraryPath(), library);
  EXPECT_EQ(app.CheckPrerequisites(), std::nullopt);
}

}  // namespace
}  // namespace vantorel::receiver::app
