// A sender window on the offscreen platform with the real pictures, a recording desktop and
// its broadcast going to a loopback socket of the test.
#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QImage>
#include <QMenu>
#include <QTemporaryDir>

#include <memory>
#include <optional>
#include <string>

#include "protocol/announcement.h"
#include "sender/app/sender_main_window.h"
#include "tests/sender/app/app_test_support.h"
#include "ui/lang/language_manager.h"
#include "ui/skin/skin_bitmap.h"

namespace vantorel::testing {

// The entry with this text in the menu or one of its submenus; null when there is none.
QAction* FindEntry(const QMenu& menu, const QString& text);

class SenderWindowTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  sender::app::SenderMainWindow& MakeWindow(media::OutputMode output = media::OutputMode::kPlay);
  void Command(int id);
  void Send(const skin::FrameEvent& event);
  // Opens through the Open command with the dialog answering `path`.
  bool OpenThroughDialog(const QString& path);
  // Waits until media datagrams arrive on the test socket.
  bool WaitForMedia(std::size_t count = 1);
  // Waits until the window announces this state, source and title.
  bool WaitForAnnouncement(protocol::SenderState state, protocol::SenderSource source,
                           const std::string& title);
  // Triggers the entry with this text in the window's source menu (or one of its submenus)
  // and runs what it queued; false when there is no such entry or it is disabled.
  bool ChooseSource(const QString& text);
  // The window as it is drawn; also saved as NAME.png when VANTOREL_SCREENSHOT_DIR is set.
  QImage Grab(const char* name);

  QTemporaryDir temp_;
  FakeDesktop desktop_;
  DatagramCapture capture_;
  std::unique_ptr<lang::LanguageManager> languages_;
  std::optional<protocol::SigningKey> identity_;  // the next window's; none: unsigned
  // The windows' microphone: the generated tone, never a device of the machine.
  std::string microphone_ = std::string(sender::kTestMicrophone);
  std::unique_ptr<sender::app::SenderMainWindow> window_;
};

}  // namespace vantorel::testing
