// Lunnet's main window: the skinned frame with the home page, language, help and frame
// buttons, the video area, and the reception that it starts when it opens and stops when it
// closes. Everything here runs on the window thread, but for the reception's events, which are
// posted to it.
#pragma once

#include <QMessageBox>
#include <QPointer>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/gui/qt_mailbox.h"
#include "platform/media/output_modes.h"
#include "receiver/app/senders_menu.h"
#include "receiver/app/web_viewer.h"
#include "receiver/reception.h"
#include "receiver/reception_status.h"
#include "ui/skin/playback_volume.h"
#include "ui/skin/skinned_frame.h"

class QAction;
class QMenu;

namespace vantorel::lang {
class LanguageManager;
}
namespace vantorel::skin {
class VideoWidget;
}

namespace vantorel::receiver::gst {
class GstPlaybackGraphBuilder;
}

namespace vantorel::receiver::app {

inline constexpr int kCmdAppHelp = 57670;
// The window menu's "Trust this sender", "Start with the session" and "Show in browsers"
// (program system commands, beside the about entry).
inline constexpr int kTrustCommand = skin::kAboutCommand + 1;
inline constexpr int kAutostartCommand = kTrustCommand + 1;
inline constexpr int kWebCommand = kAutostartCommand + 1;

enum class AudioNote { kShow, kSilent };
// Whether the window opens in full screen: as the user last left it, or in any case (this run
// only; the remembered choice stays).
enum class FullScreenAtStart { kAsRemembered, kAlways };

struct ReceiverWindowOptions {
  // The broadcast port on every address by default; tests pass loopback addresses.
  receiver::ReceiveOptions receive;
  media::ReceiverOutput output = media::ReceiverOutput::kDevices;
  // Whether the window tells the user that the machine has no audio device (a few seconds in
  // the status line, and a line of the figures).
  AudioNote audioNote = AudioNote::kShow;
  FullScreenAtStart fullScreen = FullScreenAtStart::kAsRemembered;
  // The monitor, an index into QGuiApplication::screens(); none: where the system puts it.
  std::optional<int> screen;
  // Null: the process-wide manager.
  lang::LanguageManager* languages = nullptr;
  // The folder holding help/help.htm; empty: the folder of the running program.
  std::filesystem::path applicationFolder;
  // Empty: any sender plays. Otherwise only senders whose signatures these trust.
  std::vector<protocol::Fingerprint> trusted;
  // Where "Trust this sender" adds the sender; empty: trusted until the window closes only.
  std::filesystem::path trustedSendersFile;
  // The signature counters an earlier run saw, and where this one keeps them (empty: nowhere).
  receiver::SignatureGate::Counters knownCounters;
  std::filesystem::path countersFile;
  // The sender chosen by name (empty: the first heard); nothing: the one chosen last time.
  std::optional<std::string> sender;
  // The browser page's server; empty: vantorel-web beside the running program.
  std::filesystem::path webServer;
};

using receiver::ReceptionTotals;

class ReceiverMainWindow : public skin::SkinnedFrame, private receiver::ReceptionEvents {
 public:
  // In full screen the pointer hides after resting this long; a move shows it again.
  static constexpr std::chrono::seconds kHidePointerAfter{2};
  // How long the status line tells that there is no audio device.
  static constexpr std::chrono::seconds kAudioNoteShownFor{8};

  // `module` is the resource library for the pictures; it may be freed once the window exists.
  explicit ReceiverMainWindow(const skin::ResourceLibrary* module,
                              ReceiverWindowOptions options = {});
  ~ReceiverMainWindow() override;

  // What the reception's events become, posted to the window from the reception thread.
  struct BroadcastEndedNotice {};
  // Another sender took the lock; nothing: the reception waits again (for the chosen one).
  struct SenderNotice {
    std::optional<net::Endpoint> sender;
  };
  // A sender's datagrams arrived.
  struct HeardNotice {
    net::Endpoint sender;
  };
  using Notice = std::variant<BroadcastEndedNotice, SenderNotice, HeardNotice>;

  // True when all seven buttons got their pictures and are in the widget set.
  bool HasWidgets() const { return hasWidgets_; }
  bool HasPipeline() const { return reception_ && reception_->Listening(); }
  // The reception as it stands (it runs on a thread of its own).
  receiver::ReceptionView Reception() const {
    return reception_ ? reception_->View() : receiver::ReceptionView{};
  }
  const skin::VideoWidget& Video() const { return *video_; }
  ReceptionTotals Totals() const;
  // Shows the window on the chosen monitor, in full screen when asked for or remembered.
  void ShowAtStart();
  // The entries of the context menu on the video.
  void BuildContextMenu(QMenu& menu);

 protected:
  bool event(QEvent* e) override;
  void OnVideoAreaChanged(const skin::Rect& area) override;
  void OnTimerTick() override;
  // False for the commands the frame handles.
  bool OnCommand(int command) override;
  void OnMenuEntry(int id) override;
  void OnFullScreenChosen(bool fullScreen) override;
  void keyPressEvent(QKeyEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void contextMenuEvent(QContextMenuEvent* e) override;
  void changeEvent(QEvent* e) override;
  void closeEvent(QCloseEvent* e) override;

 private:
  bool AllButtonPicturesLoad(const skin::ResourceLibrary* module) const;
  void DropWidgets();
  void StartReception();
  void StopReception();
  // Keeps the counters seen for the next run, when they changed.
  void SaveCounters();
  // Trusts the sender being received (its fingerprint) and receives only trusted senders.
  void TrustSender();
  // ReceptionEvents, on the reception thread: each becomes a notice posted to the window.
  void OnEndOfBroadcast() override;
  void OnSenderChanged(const net::Endpoint& sender) override;
  void OnChoiceApplied(const net::Endpoint& chosen) override;
  void OnHeard(const net::Endpoint& sender) override;
  // On the window thread.
  void Take(const Notice& notice);
  void ShowEndOfBroadcast();
  void ShowSenderChanged(const std::optional<net::Endpoint>& sender);
  void ShowLanguageMenu();
  void OpenHelp();
  // Closes the window the way its close button does, so that reception stops in order.
  void Quit();
  void ToggleFigures();
  // Prefers the sender of that name from now on (empty: the first heard), and remembers it.
  void ChooseSender(const std::string& name);
  void ShowSendersMenu();
  SendersMenuTexts MenuTexts() const;
  // The sender as the status line names it: its name and address, or its address.
  QString SenderShown(const std::string& address) const;
  // Installs or removes the autostart entry, whichever it is not.
  void ToggleAutostart();
  // Starts the browser page's server with this window's reception, or stops it.
  void ToggleWebViewer();
  void ShowWebAddresses(const std::vector<std::string>& addresses);
  void OnWebViewerEnded(const std::string& reason);
  // The entry reads "Show in browsers" or, while the server runs, "Stop showing in browsers".
  void ShowWebEntry();
  // A message box that does not wait: the window goes on while it is open.
  QMessageBox* OpenMessage(QMessageBox::Icon icon, const QString& text);
  void HidePointerWhenIdle();
  // The status line over the video, as the reception stands now.
  void ShowStatus();
  struct Status;
  Status StatusFor(const receiver::StatusLine& line, const QString& port) const;
  // The note that there is no audio device: shown for a while, and kept in the figures.
  bool AudioNoteShown() const;
  lang::LanguageManager& Languages() const;
  // A text of the string table in the current language.
  QString Text(int id) const;

  ReceiverWindowOptions options_;
  gui::QtMailbox<Notice> notices_;
  skin::PlaybackVolume volume_;  // before the graphs, which follow its level
  skin::VideoWidget* video_;     // child widget, owned by the window
  std::unique_ptr<receiver::gst::GstPlaybackGraphBuilder> builder_;
  QAction* autostartEntry_ = nullptr;    // in the window menu, owned by it
  QAction* webEntry_ = nullptr;          // in the window menu, owned by it
  QPointer<QMessageBox> webAddressBox_;  // owned by the window while open
  bool hasWidgets_ = false;
  bool audioNoted_ = false;
  std::chrono::steady_clock::time_point audioNoteUntil_{};
  bool pointerHidden_ = false;
  std::chrono::steady_clock::time_point lastPointerMove_{};
  int ticksToSave_ = 0;

  std::unique_ptr<receiver::Reception> reception_;
  // The browser page's server while the broadcast is shown in browsers; stopped with the window.
  WebViewer webViewer_;
  QString StatisticsText(const std::string& sender) const;
  QString TrustLine() const;

  receiver::ReceptionStatus status_;
  receiver::BitRateMeter bitRate_;
  std::vector<std::string> addresses_;  // this host's, for the waiting line
};

}  // namespace vantorel::receiver::app
