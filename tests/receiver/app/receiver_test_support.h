// What the receiver window tests share: a window that listens on loopback only, a sender that
// broadcasts a generated file to it over a loopback socket, and waiting with the event loop
// running.
#pragma once

#include <QObject>
#include <QTemporaryDir>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/gui/qt_mailbox.h"
#include "receiver/app/receiver_main_window.h"
#include "sender/announcer.h"
#include "sender/sender_session.h"
#include "sender/signing_sink.h"
#include "sender/udp_broadcast_sink.h"
#include "tests/support/wait_until.h"
#include "ui/lang/language_manager.h"
#include "ui/skin/skin_bitmap.h"

namespace vantorel::receiver::app::testing {

// A free UDP port on 127.0.0.1 (free when asked; the window binds it right after).
std::uint16_t FreeLoopbackPort();

// The path of a generated test file; empty (and the test skipped) when it is missing.
std::string TestMedia(const char* name);

using vantorel::testing::WaitUntil;

// A receiver window on the resource library of the build, receiving on 127.0.0.1:`port` and
// waking its thread over loopback: nothing is ever sent beyond this machine. With the loopback
// interface's name it binds the port on every address instead, receiving on that interface only.
class LoopbackReceiver {
 public:
  enum class Pictures { kLibrary, kNone };
  explicit LoopbackReceiver(std::uint16_t port, QSize size = {},
                            Pictures pictures = Pictures::kLibrary,
                            const std::string& loopbackInterface = {},
                            std::filesystem::path trustedSendersFile = {});
  // With options of the test's own, set by `adjust` before the window is made.
  LoopbackReceiver(std::uint16_t port, const std::function<void(ReceiverWindowOptions&)>& adjust);
  ReceiverMainWindow& Window() { return *window_; }

 private:
  void Open(ReceiverWindowOptions options, const skin::ResourceLibrary* library, QSize size);

  QTemporaryDir languageFolder_;
  std::unique_ptr<lang::LanguageManager> languages_;
  std::unique_ptr<ReceiverMainWindow> window_;
};

// A sender session broadcasting a file to 127.0.0.1:`port` over and over, with null outputs;
// signed when given an identity.
class LoopbackSender : public QObject {
 public:
  LoopbackSender(std::uint16_t port, std::uint8_t session,
                 std::optional<protocol::SigningKey> identity = std::nullopt);
  ~LoopbackSender() override;
  bool Start(const std::string& path);
  // Closes the session and sends the three end-of-broadcast datagrams.
  void Finish();
  // Pauses the session, or plays it again.
  void Pause(bool paused);
  bool Paused() const { return paused_; }
  // Announces the sender as `name`, with its file and state, from the sender's own port.
  void Announce(const std::string& name, protocol::SenderState state, const std::string& title);
  bool event(QEvent* e) override;

 private:
  sender::UdpBroadcastSink sink_;
  std::unique_ptr<sender::SigningSink> signer_;
  gui::QtMailbox<sender::GraphNotice> notices_;
  std::uint8_t session_;
  std::unique_ptr<sender::SenderSession> player_;
  std::unique_ptr<sender::Announcer> announcer_;
  bool paused_ = false;
};

// Pixels brighter than mid-grey in the video area of a grab of the window.
int BrightPixelsInVideoArea(ReceiverMainWindow& window);

}  // namespace vantorel::receiver::app::testing
