#include "ui/lang/open_with_browser.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/ui/lang/fake_desktop.h"

namespace vantorel::lang {
namespace {

// Set up while static objects are made, before anything can ask GLib for its folders.
const test_support::FakeDesktop& Desktop() {
  static const test_support::FakeDesktop desktop(test_support::FakeDesktop::Handler::kRecorder);
  return desktop;
}
const test_support::FakeDesktop& kDesktop = Desktop();

// The recorder starts on its own; wait until its file appears.
std::string RecordedArguments() {
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!std::filesystem::exists(kDesktop.Record()) &&
         std::chrono::steady_clock::now() < give_up) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::ifstream file(kDesktop.Record());
  std::stringstream text;
  text << file.rdbuf();
  std::filesystem::remove(kDesktop.Record());
  return text.str();
}

TEST(OpenWithBrowser, HelpPathWithSpacesArrivesAsOneArgument) {
  ASSERT_EQ(OpenWithBrowser("/opt/my programs/help/help.htm", kShowNormal), 1);
  EXPECT_EQ(RecordedArguments(), "--new-window\n/opt/my programs/help/help.htm\n");
}

TEST(OpenWithBrowser, AddressIsPassedUnchanged) {
  ASSERT_EQ(OpenWithBrowser("http://vantorel.invalid/?a=1&b='x'"), 1);
  EXPECT_EQ(RecordedArguments(), "--new-window\nhttp://vantorel.invalid/?a=1&b='x'\n");
}

}  // namespace
}  // namespace vantorel::lang
