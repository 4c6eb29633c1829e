#include <gtest/gtest.h>

#include "tests/ui/lang/fake_desktop.h"
#include "ui/lang/open_with_browser.h"

namespace vantorel::lang {
namespace {

// Empty desktop folders: no application is registered for text/html.
const test_support::FakeDesktop& Desktop() {
  static const test_support::FakeDesktop desktop(test_support::FakeDesktop::Handler::kNone);
  return desktop;
}
[[maybe_unused]] const test_support::FakeDesktop& kDesktop = Desktop();

TEST(OpenWithBrowser, NoHandlerReturnsZero) {
  EXPECT_EQ(OpenWithBrowser("/srv/help.htm"), 0);
}

}  // namespace
}  // namespace vantorel::lang
