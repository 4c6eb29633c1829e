// Lunnet's main window: the skinned frame with the home page, language, help and frame
// buttons, the video area, and the reception pipeline (playback graph, reassembler, receive
// socket) that it builds when it opens, rebuilds when a sender ends its broadcast and tears
// down when it closes. Everything here runs on the window thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>

#include "platform/gui/qt_window_message.h"
#include "platform/media/receiver_playback_graph.h"
#include "receiver/playback_graph.h"
#include "receiver/reassembler.h"
#include "receiver/receive_socket.h"
#include "ui/skin/skinned_frame.h"

namespace vantorel::lang {
class LanguageManager;
}
namespace vantorel::skin {
class VideoWidget;
}

namespace vantorel::receiver_app {

inline constexpr std::uint32_t kCmdAppHelp = 57670;

enum class AudioNote { kShow, kSilent };

struct ReceiverWindowOptions {
  // The broadcast port on every address by default; tests pass loopback addresses.
  receiver::ReceiveOptions receive;
  media::ReceiverOutput output = media::ReceiverOutput::kDevices;
  // Whether the window tells the user once that the machine has no audio device.
  AudioNote audioNote = AudioNote::kShow;
  // Null: the process-wide manager.
  lang::LanguageManager* languages = nullptr;
  // The folder holding help/help.htm; empty: the folder of the running program.
  std::filesystem::path applicationFolder;
};

// Counts over every pipeline the window has built, for whoever watches the window.
struct ReceptionTotals {
  std::uint64_t pipelinesBuilt = 0;
  std::uint64_t endOfBroadcastHandled = 0;
  std::uint64_t datagramsDelivered = 0;  // handed to a reassembler
  // What the receive threads did, over the sockets already deleted and the current one.
  std::uint64_t datagramsPosted = 0;
  std::uint64_t endOfBroadcastAccepted = 0;
  std::uint64_t foreignSender = 0;
  std::uint64_t queueOverflow = 0;  // dropped because the window fell behind
};

class ReceiverMainWindow : public skin::SkinnedFrame, public receiver::PostedDatagrams {
 public:
  // `module` is the resource library for the pictures; it may be freed once the window exists.
  explicit ReceiverMainWindow(const skin::ResourceLibrary* module,
                              ReceiverWindowOptions options = {});
  ~ReceiverMainWindow() override;

  // PostedDatagrams: the playback graph drops what was queued while it was being built.
  void DiscardQueued() override;

  // True when all seven buttons got their pictures and are in the widget set.
  bool HasWidgets() const { return hasWidgets_; }
  bool HasPipeline() const { return graph_ != nullptr; }
  const receiver::PlaybackGraph* Graph() const { return graph_.get(); }
  const receiver::ReceiveSocket* Socket() const { return socket_.get(); }
  const skin::VideoWidget& Video() const { return *video_; }
  ReceptionTotals Totals() const;

 protected:
  bool event(QEvent* e) override;
  std::intptr_t HandleMessage(gui::WindowMessage& message) override;
  void OnVideoAreaChanged(const skin::Rect& area) override;
  void OnTimerTick() override;
  void OnAboutCommand(std::uintptr_t command) override;
  void keyPressEvent(QKeyEvent* e) override;
  void closeEvent(QCloseEvent* e) override;

 private:
  // Posts for the receive thread under a lock that the window takes before it reads any
  // event: the hand-over of each datagram then shows as ordered to thread checkers, which do
  // not see the toolkit's own locking.
  class PostHandle : public gui::WindowHandle {
   public:
    explicit PostHandle(QObject* target) : inner_(target) {}
    bool Post(gui::WindowMessage message) override;
    void Acquire();

   private:
    std::mutex lock_;
    gui::QtWindowHandle inner_;
  };

  bool AllButtonPicturesLoad(const skin::ResourceLibrary* module) const;
  void DropWidgets();
  void BuildPipeline(const skin::Rect& area);
  void TearDownPipeline();
  void OnDatagram(gui::WindowMessage& message);
  void Deliver(const std::uint8_t* payload, std::size_t length);
  void OnEndOfBroadcast();
  // False for the commands the frame handles.
  bool OnCommand(std::uintptr_t command);
  void ShowLanguageMenu();
  void NoteMissingAudioDevice();
  lang::LanguageManager& Languages() const;
  // A text of the string table in the current language.
  QString Text(int id) const;

  ReceiverWindowOptions options_;
  PostHandle handle_;
  skin::VideoWidget* video_;  // child widget, owned by the window
  media::GstPlaybackGraphBuilder builder_;
  bool hasWidgets_ = false;
  bool audioNoted_ = false;

  // The reception pipeline: all three exist, or none.
  std::unique_ptr<receiver::PlaybackGraph> graph_;
  std::unique_ptr<receiver::Reassembler> reassembler_;
  std::unique_ptr<receiver::ReceiveSocket> socket_;
  ReceptionTotals totals_;  // receive counts of the current socket not yet included
  std::uint64_t discards_ = 0;  // DiscardQueued calls: a batch being delivered stops there
};

}  // namespace vantorel::receiver_app
