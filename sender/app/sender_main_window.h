// Strovan's main window: the skinned frame with the transport buttons and the seek slider,
// the one broadcast sink of the run and at most one session, for a file of the list or a live
// source (the screen, a camera, the microphone).
#pragma once

#include <QString>
#include <QStringList>

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>

#include "platform/gui/qt_mailbox.h"
#include "platform/media/output_modes.h"
#include "platform/net/udp_socket.h"
#include "protocol/wire_format.h"
#include "sender/broadcast.h"
#include "sender/live_source.h"
#include "sender/playlist.h"
#include "sender/udp_broadcast_sink.h"
#include "ui/skin/playback_volume.h"
#include "ui/skin/skin_slider.h"
#include "ui/skin/skinned_frame.h"

class QListWidget;
class QMenu;
class QSlider;

namespace vantorel::lang {
class LanguageManager;
}
namespace vantorel::skin {
class VideoWidget;
}

namespace vantorel::sender {
class Broadcast;
class SenderSession;
}  // namespace vantorel::sender

namespace vantorel::sender::app {

class SenderDesktop;

struct SenderWindowOptions {
  // Where the broadcast goes and through which interface; tests give a loopback address and a
  // port of their own.
  SinkOptions sink;
  // The folder holding help/help.htm.
  std::filesystem::path appFolder;
  media::OutputMode output = media::OutputMode::kPlay;
  // Parity added to the broadcast, in percent (0: none).
  int fecPercent = kDefaultFecPercent;
  // Signs the broadcast; none: unsigned.
  std::optional<protocol::SigningKey> identity;
  // The name receivers list the sender by; empty: the one the user gave last, else the host's.
  std::string name;
  // The sound input "Add the microphone" takes; empty: the default one.
  std::string microphone;
};

// The window menu's "Sender name..." (a program system command, beside the about entry).
inline constexpr int kNameCommand = skin::kAboutCommand + 1;

inline constexpr int kTimerId = 1;
// How far Left and Right seek.
inline constexpr double kSeekStepSeconds = 5;

class SenderMainWindow : public skin::SkinnedFrame {
 public:
  // `module` (may be null: no pictures) is only read during construction. `desktop` and
  // `languages` are not owned and must outlive the window.
  SenderMainWindow(const skin::ResourceLibrary* module, SenderWindowOptions options,
                   SenderDesktop& desktop, lang::LanguageManager& languages);
  ~SenderMainWindow() override;

  // The Open command without the dialog: closes the current session and opens the file.
  // True when the file plays and is broadcast.
  bool OpenFile(const QString& path);
  // Makes the files (a folder gives its media files) the list and plays it from its first
  // item; items that cannot be opened are skipped. True when one of them plays.
  bool OpenFiles(const QStringList& paths);
  // Closes the current session and broadcasts the live source in a new one. True when it plays.
  bool OpenLive(const sender::LiveSource& source);
  // Plays the list's item, or the next or the previous one (Page Down, Page Up); true when an
  // item plays.
  bool PlayItem(std::size_t index);
  bool PlayNext();
  bool PlayPrevious();
  void SetLoop(bool loop);
  // The source menu as a right click on the Open button or the video shows it.
  std::unique_ptr<QMenu> MakeSourceMenu();

  SenderSession* Session() const;
  std::uint8_t SessionNumber() const;
  skin::ImageButton* PlayButton() const { return transport_[kPlay]; }
  skin::ImageButton* PauseButton() const { return transport_[kPause]; }
  skin::ImageButton* StopButton() const { return transport_[kStop]; }
  skin::ImageButton* OpenButton() const { return transport_[kOpen]; }
  skin::SkinSlider* SeekSlider() const { return slider_; }
  const QSlider* Trackbar() const { return trackbar_; }
  skin::VideoWidget* Video() const { return video_; }
  UdpBroadcastSink* Sink() const { return sink_.get(); }
  const Playlist& List() const { return playlist_; }
  QListWidget* ListPanel() const { return listPanel_; }
  // The live source on the air; none when a file plays or nothing does.
  const std::optional<sender::LiveSource>& LiveOnAir() const { return live_; }

 protected:
  void LayoutWidgets(int cx, int cy) override;
  // Takes the graph notices; everything else goes to the frame.
  bool event(QEvent* e) override;
  void OnVideoAreaChanged(const skin::Rect& area) override;
  void OnTimerTick() override;
  bool OnCommand(int id) override;
  void OnSliderDrag(int position) override;
  void OnMenuEntry(int id) override;
  void keyPressEvent(QKeyEvent* e) override;
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dropEvent(QDropEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void contextMenuEvent(QContextMenuEvent* e) override;

 private:
  static constexpr std::size_t kPlay = 0, kPause = 1, kStop = 2, kOpen = 3;

  void CreateTransport(const skin::ResourceLibrary* module);
  void OnOpen();
  void OnOpenFolder();
  // Which way the list is gone through past an item that fails.
  enum class Step { kForward, kBack };
  // Opens the list's items from `index` on until one plays, skipping those that fail.
  bool PlayFrom(std::optional<std::size_t> index, Step step = Step::kForward);
  // Opens the list's item in a new session; false when it could not be opened (a list of one
  // says why in a box, a longer one in the status line).
  bool OpenItem(std::size_t index);
  // Plays the new session, shows it and tells the receivers.
  void StartSession();
  // Why an open failed, in the chosen language.
  QString FailureReason(const sender::OpenError& error) const;
  void ToggleMicrophone();
  void ToggleMute();
  void CreateListPanel();
  void ToggleListPanel();
  void FillListPanel();
  void PlaceListPanel();
  void ShowSourceMenu(const QPoint& at);
  void FillSourceEntries(QMenu& menu);
  // A file of the list is open and playing or paused: the microphone may not be added.
  bool FilePlays() const;
  void OnPlay();
  void OnGraphEvent();
  void SeekBy(double seconds);
  // Tells the user, once per run, that the sound is broadcast but not played here.
  void NoteMissingAudioDevice();
  void OnLanguage();
  void OpenHelp();
  void SetRanges();
  void CloseSession();
  void RefreshTransport();
  // Tells the receivers what plays and whether it plays, at once when that changed.
  void Announce();
  void AskName();
  // The status line over the video area: a hint before a file is open, then the file's name
  // and times with a mark that shows whether the broadcast is going out.
  void ShowStatus();
  QString LiveTitle(const sender::LiveSource& source) const;
  QString PlayingText(SenderSession& session) const;
  // Who signs the broadcast, for the about box and the figures.
  QString SigningText() const;
  QString Text(int id) const;
  void Shutdown();

  SenderWindowOptions options_;
  SenderDesktop& desktop_;
  lang::LanguageManager& languages_;
  gui::QtMailbox<sender::GraphNotice> notices_;  // the graph's notices, to this window
  skin::PlaybackVolume volume_;  // before the broadcast, whose graphs follow its level
  std::array<skin::ImageButton*, 4> transport_{};
  skin::SkinSlider* slider_ = nullptr;
  QSlider* trackbar_ = nullptr;
  skin::VideoWidget* video_ = nullptr;
  std::unique_ptr<UdpBroadcastSink> sink_;
  std::unique_ptr<Broadcast> broadcast_;  // over sink_
  bool timerRunning_ = false;
  bool noAudioNoted_ = false;
  bool showFigures_ = false;         // the I key: what went out, under the status line
  std::uint64_t datagramsSeen_ = 0;  // by the last ShowStatus
  std::chrono::steady_clock::time_point lastSent_{};
  QString fileName_;
  Playlist playlist_;
  QListWidget* listPanel_ = nullptr;
  std::optional<sender::LiveSource> live_;
  bool microphoneMuted_ = false;
  // The items skipped last, named under the status line until the item after the one that
  // then played.
  QString skipped_;
  bool skippedJustNow_ = false;
};

}  // namespace vantorel::sender::app
