// A sender window on the offscreen platform with the real pictures, a recording desktop and
// its broadcast going to a loopback socket of the test.
#pragma once

#include <gtest/gtest.h>

#include <QImage>
#include <QTemporaryDir>

#include <memory>
#include <optional>

#include "platform/gui/qt_window_message.h"
#include "sender/app/sender_main_window.h"
#include "tests/sender/app/app_test_support.h"
#include "ui/lang/language_manager.h"
#include "ui/skin/skin_bitmap.h"

namespace vantorel::testing {

class SenderWindowTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  sender::app::SenderMainWindow& MakeWindow(media::OutputMode output = media::OutputMode::kPlay);
  std::intptr_t Command(int id);
  std::intptr_t Send(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);
  // Opens through the Open command with the dialog answering `path`.
  bool OpenThroughDialog(const QString& path);
  // Waits until media datagrams arrive on the test socket.
  bool WaitForMedia(std::size_t count = 1);
  // The window as it is drawn; also saved as NAME.png when VANTOREL_SCREENSHOT_DIR is set.
  QImage Grab(const char* name);

  QTemporaryDir temp_;
  FakeDesktop desktop_;
  DatagramCapture capture_;
  std::unique_ptr<lang::LanguageManager> languages_;
  std::optional<protocol::SigningKey> identity_;  // the next window's; none: unsigned
  std::unique_ptr<sender::app::SenderMainWindow> window_;
};

}  // namespace vantorel::testing
