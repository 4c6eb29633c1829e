#include <gtest/gtest.h>

#include <QMessageBox>

#include "tests/ui/lang/fake_desktop.h"
#include "ui/lang/help_page.h"
#include "ui/lang/open_with_browser.h"

namespace vantorel::lang {
namespace {

// The default handler for text/html runs in a terminal.
const test_support::FakeDesktop& Desktop() {
  static const test_support::FakeDesktop desktop(
      test_support::FakeDesktop::Handler::kTerminalRecorder);
  return desktop;
}
const test_support::FakeDesktop& kDesktop = Desktop();

TEST(OpenWithBrowser, AHandlerThatNeedsATerminalIsNotStarted) {
  EXPECT_EQ(OpenWithBrowser("/srv/help.htm"), 0);
  EXPECT_FALSE(std::filesystem::exists(kDesktop.Record()));
}

// Help answers all the same: a box that waits for nobody gives the page's path.
TEST(OpenHelpPage, WithoutAHandlerABoxGivesThePath) {
  QWidget window;
  QMessageBox* box = OpenHelpPage(HelpPage("/opt/vantorel"), &window, QStringLiteral("Lunnet"),
                                  QStringLiteral("Open it in a web browser: %1"));
  ASSERT_NE(box, nullptr);
  EXPECT_TRUE(box->isVisible());
  EXPECT_FALSE(box->isModal());
  EXPECT_EQ(box->windowTitle(), QStringLiteral("Lunnet"));
  EXPECT_EQ(box->text(), QStringLiteral("Open it in a web browser: /opt/vantorel/help/help.htm"));
  box->close();
}

}  // namespace
}  // namespace vantorel::lang
