// Shared pieces of the sender program's tests: a desktop that records what the window asks of
// it, a loopback socket that keeps every datagram sent to it, and the generated media.
#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/net/udp_socket.h"
#include "protocol/announcement.h"
#include "sender/app/sender_desktop.h"
#include "tests/support/wait_until.h"

namespace vantorel::testing {

class FakeDesktop : public sender::app::SenderDesktop {
 public:
  struct Message {
    QString text;
    sender::app::MessageIcon icon;
    QString detail;
  };

  // The answers the file dialog gives, in turn (one file or several); nothing left means
  // "cancel".
  std::deque<std::optional<QStringList>> choices;
  // The answers the folder dialog gives, in turn; nothing left means "cancel".
  std::deque<QString> folders;
  bool loop = false;  // remembered
  std::vector<QString> filters;
  std::vector<Message> messages;
  std::vector<QString> notes;
  std::vector<std::string> browsed;
  int browserStarts = 1;  // what OpenWithBrowser answers
  QString aboutSigning;
  int aboutBoxes = 0;

  QStringList ChooseFilesToOpen(QWidget*, const QString& filter) override;
  QString ChooseFolderToOpen(QWidget*) override;
  bool RememberedLoop() override { return loop; }
  void RememberLoop(bool on) override { loop = on; }
  void ShowMessage(QWidget*, const QString& text, sender::app::MessageIcon icon,
                   const QString& detail) override;
  void ShowNote(QWidget*, const QString& text) override { notes.push_back(text); }
  void ShowAbout(QWidget*, const QString& signing) override {
    ++aboutBoxes;
    aboutSigning = signing;
  }
  // The name remembered, and what the name dialog answers (nothing: cancel).
  QString rememberedName;
  std::optional<QString> nameAnswer;
  QString RememberedName() override { return rememberedName; }
  std::optional<QString> AskName(QWidget*, const QString&) override {
    if (nameAnswer) rememberedName = *nameAnswer;
    return nameAnswer;
  }
  int OpenWithBrowser(std::string_view argument) override;
};

// A socket on 127.0.0.1 whose thread keeps every datagram it receives.
class DatagramCapture {
 public:
  DatagramCapture();
  ~DatagramCapture();
  DatagramCapture(const DatagramCapture&) = delete;
  DatagramCapture& operator=(const DatagramCapture&) = delete;

  std::uint16_t Port() const { return port_; }
  std::vector<std::vector<std::uint8_t>> Datagrams();
  // Waits (running the window's events) until the predicate holds for the datagrams so far.
  bool WaitFor(const std::function<bool(const std::vector<std::vector<std::uint8_t>>&)>& done,
               std::chrono::milliseconds timeout);

 private:
  void Receive();

  net::UdpSocket socket_;
  std::uint16_t port_ = 0;
  std::mutex lock_;
  std::vector<std::vector<std::uint8_t>> datagrams_;
  std::thread thread_;
};

std::uint32_t RouteKey(const std::vector<std::uint8_t>& datagram);

// The last announcement among the datagrams received so far.
std::optional<protocol::Announcement> LastAnnouncement(DatagramCapture& capture);

// A generated test file; see tools/make-test-media.
QString TestMedia(const std::string& name);

// A WAV file of `milliseconds` of tone, made with gst-launch-1.0 in `folder`.
QString MakeToneWav(const QTemporaryDir& folder, const std::string& name, int milliseconds);

}  // namespace vantorel::testing
