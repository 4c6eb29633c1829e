// The sender window's sources: files, one or a list played one after another, and live
// sources; the source menu and the list panel.
#include <QContextMenuEvent>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QLoggingCategory>
#include <QMenu>

#include <utility>

#include "platform/media/video_output.h"
#include "sender/app/sender_desktop.h"
#include "sender/app/sender_main_window.h"
#include "sender/app/source_menu.h"
#include "sender/app/string_table.h"
#include "sender/gst/capture_devices.h"
#include "sender/gst/playable_files.h"
#include "sender/sender_session.h"
#include "ui/lang/language_manager.h"
#include "ui/skin/video_widget.h"

namespace vantorel::sender::app {

Q_DECLARE_LOGGING_CATEGORY(lcStrovan)

namespace {

// The list stands at the right of the video area, over a third of its width (at least
// kListMinWidth), above the status line.
constexpr int kListMinWidth = 180;
constexpr int kListWidthShare = 3;
constexpr int kListMargin = 6;
constexpr int kListStatusRoom = 44;
constexpr int kListPadding = 4;
constexpr const char* kListStyle =
    "QListWidget { background: rgba(0, 0, 0, 170); color: #e6e6e6;"
    " border: 1px solid rgba(255, 255, 255, 50); }"
    "QListWidget::item:selected { background: rgba(60, 120, 200, 210); color: white; }";

QString ShownPath(const std::string& path) {
  return QFile::decodeName(path.c_str());
}

}  // namespace

void SenderMainWindow::OnOpen() {
  const QString filter =
      WithPlayableEntry(FileDialogFilter(Strings().String(IDS_FILE_FILTER)),
                        Text(IDS_PLAYABLE_FILES), sender::gst::PlayableExtensions());
  const QStringList paths = desktop_.ChooseFilesToOpen(this, filter);
  if (!paths.isEmpty()) OpenFiles(paths);
}

void SenderMainWindow::OnOpenFolder() {
  const QString folder = desktop_.ChooseFolderToOpen(this);
  if (!folder.isEmpty()) OpenFiles({folder});
}

bool SenderMainWindow::OpenFile(const QString& path) {
  return OpenFiles({path});
}

// A folder without a media file is told like a file without a stream, with its path.
bool SenderMainWindow::OpenFiles(const QStringList& paths) {
  std::vector<std::string> given;
  for (const QString& path : paths) given.push_back(QFile::encodeName(path).toStdString());
  std::vector<std::string> items = ExpandPlaylist(given, sender::gst::PlayableExtensions());
  if (items.empty()) {
    desktop_.ShowMessage(this,
                         QString::fromStdString(languages_.LookUp(
                             sender::FailureText(sender::OpenFailure::kNoPlayableStream))),
                         MessageIcon::kExclamation, QFileInfo(paths.value(0)).absoluteFilePath());
    return false;
  }
  playlist_.Assign(std::move(items));
  skipped_.clear();
  skippedJustNow_ = false;
  FillListPanel();
  if (playlist_.Size() > 1) listPanel_->show();
  return PlayFrom(playlist_.Next());
}

bool SenderMainWindow::PlayFrom(std::optional<std::size_t> index, Step step) {
  while (index) {
    if (OpenItem(*index)) return true;
    if (playlist_.Size() == 1 || playlist_.Exhausted()) break;
    index = step == Step::kForward ? playlist_.Next() : playlist_.Previous();
  }
  FillListPanel();
  RefreshTransport();
  return false;
}

bool SenderMainWindow::OpenItem(std::size_t index) {
  playlist_.Select(index);
  const std::string path = playlist_.CurrentItem();
  const QString shown = ShownPath(path);
  CloseSession();
  live_.reset();
  if (!broadcast_->Open(&notices_, path).ok()) {
    playlist_.MarkFailed();
    const sender::OpenError& error = broadcast_->LastOpenError();
    const QString reason = FailureReason(error);
    video_->Clear();
    if (playlist_.Size() == 1) {
      // The box is headed by what happened and gives the whole path.
      qCWarning(lcStrovan, "cannot broadcast %s: %s%s%s", qUtf8Printable(shown),
                sender::FailureMessage(error).c_str(), error.detail.empty() ? "" : " ",
                error.detail.c_str());
      desktop_.ShowMessage(this, reason, MessageIcon::kExclamation,
                           QFileInfo(shown).absoluteFilePath());
      RefreshTransport();
      return false;
    }
    qCWarning(lcStrovan, "skipped %s: %s", qUtf8Printable(shown),
              sender::FailureMessage(error).c_str());
    skipped_ = Text(IDS_SKIPPED).arg(QFileInfo(shown).fileName(), reason);
    skippedJustNow_ = true;
    return false;
  }
  playlist_.MarkPlayed();
  if (!skippedJustNow_) skipped_.clear();
  skippedJustNow_ = false;
  fileName_ = QFileInfo(shown).fileName();
  StartSession();
  FillListPanel();
  SenderSession* session = Session();
  if (!noAudioNoted_ && options_.output == media::OutputMode::kPlay &&
      session->AudioGrabber() != nullptr && session->AudioGrabber()->IsConnected() &&
      media::AudioDeviceMissing()) {
    NoteMissingAudioDevice();
  }
  return true;
}

bool SenderMainWindow::OpenLive(const sender::LiveSource& source) {
  CloseSession();
  live_.reset();
  skipped_.clear();
  microphoneMuted_ = source.microphoneMuted;
  if (!broadcast_->OpenLive(&notices_, source).ok()) {
    const sender::OpenError& error = broadcast_->LastOpenError();
    qCWarning(lcStrovan, "cannot broadcast %s: %s", sender::DescribeLive(source).c_str(),
              sender::FailureMessage(error).c_str());
    video_->Clear();
    desktop_.ShowMessage(this, FailureReason(error), MessageIcon::kExclamation, {});
    FillListPanel();
    RefreshTransport();
    return false;
  }
  live_ = source;
  StartSession();
  FillListPanel();
  return true;
}

// Events that the graph queued while it was built, before it knew this window, are collected
// like any later ones.
void SenderMainWindow::StartSession() {
  SenderSession* session = Session();
  const skin::Rect area = VideoArea();
  session->SetVideoRect(area.left, area.top, area.Width(), area.Height());
  SetRanges();
  slider_->SetPos(0);
  session->Play();
  RefreshTransport();
  notices_.Post(sender::GraphNotice{});
}

QString SenderMainWindow::FailureReason(const sender::OpenError& error) const {
  return QString::fromStdString(sender::FillFailureText(
      languages_.LookUp(sender::FailureText(sender::FailureOf(error))), error));
}

bool SenderMainWindow::PlayItem(std::size_t index) {
  skipped_.clear();
  skippedJustNow_ = false;
  return PlayFrom(playlist_.Select(index));
}

bool SenderMainWindow::PlayNext() {
  return !playlist_.Empty() && PlayFrom(playlist_.Next());
}

bool SenderMainWindow::PlayPrevious() {
  return !playlist_.Empty() && PlayFrom(playlist_.Previous(), Step::kBack);
}

void SenderMainWindow::SetLoop(bool loop) {
  playlist_.SetLoop(loop);
  desktop_.RememberLoop(loop);
}

bool SenderMainWindow::FilePlays() const {
  return Session() != nullptr && !live_ && Session()->State() != PlayerState::kStopped;
}

// Beside the screen or a camera the microphone is added by building the source again; alone,
// it is broadcast when nothing else plays, and taking it away then leaves nothing on the air.
void SenderMainWindow::ToggleMicrophone() {
  if (FilePlays()) return;
  sender::LiveSource source = Session() && live_ ? *live_ : sender::LiveSource{};
  source.microphone = !source.microphone;
  source.microphoneDevice = options_.microphone;
  source.microphoneMuted = microphoneMuted_;
  if (!sender::HasStream(source)) {
    CloseSession();
    live_.reset();
    RefreshTransport();
    return;
  }
  OpenLive(source);
}

// Muting takes effect at once, without building the source again.
void SenderMainWindow::ToggleMute() {
  microphoneMuted_ = !microphoneMuted_;
  if (live_) live_->microphoneMuted = microphoneMuted_;
  if (Session() && live_) Session()->SetMicrophoneMuted(microphoneMuted_);
}

std::unique_ptr<QMenu> SenderMainWindow::MakeSourceMenu() {
  auto menu = std::make_unique<QMenu>();
  FillSourceEntries(*menu);
  return menu;
}

void SenderMainWindow::ShowSourceMenu(const QPoint& at) {
  std::unique_ptr<QMenu> menu = MakeSourceMenu();
  menu->setParent(this, menu->windowFlags());
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu.release()->popup(at);  // deletes itself once closed
}

// A new live source keeps the microphone of the one on the air.
void SenderMainWindow::FillSourceEntries(QMenu& menu) {
  SourceMenuState state;
  state.windows = sender::gst::ListWindows();
  state.cameras = sender::gst::ListCameras();
  if (Session()) state.onAir = live_;
  state.microphoneAllowed = !FilePlays();
  state.microphoneMuted = microphoneMuted_;
  state.listShown = !listPanel_->isHidden();
  state.loop = playlist_.Loop();
  const auto withMicrophone = [this](sender::LiveSource source) {
    source.microphone = Session() && live_ && live_->microphone;
    source.microphoneDevice = options_.microphone;
    source.microphoneMuted = microphoneMuted_;
    return source;
  };
  SourceMenuActions actions;
  actions.openFolder = [this] { OnOpenFolder(); };
  actions.screen = [this, withMicrophone](std::uint64_t window) {
    sender::LiveSource source;
    source.video = sender::LiveVideo::kScreen;
    source.window = window;
    OpenLive(withMicrophone(source));
  };
  actions.camera = [this, withMicrophone](const sender::gst::CaptureDevice& camera) {
    sender::LiveSource source;
    source.video = sender::LiveVideo::kCamera;
    source.camera = camera.device;
    source.cameraName = camera.name;
    OpenLive(withMicrophone(source));
  };
  actions.toggleMicrophone = [this] { ToggleMicrophone(); };
  actions.toggleMute = [this] { ToggleMute(); };
  actions.toggleList = [this] { ToggleListPanel(); };
  actions.toggleLoop = [this] { SetLoop(!playlist_.Loop()); };
  app::FillSourceMenu(
      menu, state, actions, [this](int id) { return Text(id); }, *this);
}

// On the Open button and on the video: the source menu; elsewhere on the frame: the window
// menu.
void SenderMainWindow::contextMenuEvent(QContextMenuEvent* e) {
  const skin::Point p{e->pos().x(), e->pos().y()};
  if (OpenButton()->GetRect().Contains(p) || VideoArea().Contains(p)) {
    ShowSourceMenu(e->globalPos());
    return;
  }
  SkinnedFrame::contextMenuEvent(e);
}

// The panel never takes the keyboard, so that the window's keys work while it shows; a double
// click plays an item.
void SenderMainWindow::CreateListPanel() {
  listPanel_ = new QListWidget(this);
  listPanel_->setObjectName(QStringLiteral("PlayList"));
  listPanel_->setFocusPolicy(Qt::NoFocus);
  listPanel_->setStyleSheet(QString::fromLatin1(kListStyle));
  listPanel_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  listPanel_->setTextElideMode(Qt::ElideMiddle);
  listPanel_->hide();
  connect(listPanel_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
    PlayItem(static_cast<std::size_t>(listPanel_->row(item)));
  });
}

void SenderMainWindow::ToggleListPanel() {
  listPanel_->setVisible(listPanel_->isHidden());
  if (!listPanel_->isHidden()) {
    PlaceListPanel();
    listPanel_->raise();
  }
}

// The item on the air is selected; none while a live source or nothing plays.
void SenderMainWindow::FillListPanel() {
  listPanel_->clear();
  for (const std::string& item : playlist_.Items()) {
    const QString path = ShownPath(item);
    auto* entry = new QListWidgetItem(QFileInfo(path).fileName(), listPanel_);
    entry->setToolTip(path);
  }
  const std::optional<std::size_t> current = playlist_.Current();
  listPanel_->clearSelection();
  if (current && Session() && !live_) {
    QListWidgetItem* entry = listPanel_->item(static_cast<int>(*current));
    entry->setSelected(true);
    listPanel_->scrollToItem(entry);
  }
  PlaceListPanel();
}

// As tall as its items, as far down as the status line.
void SenderMainWindow::PlaceListPanel() {
  if (listPanel_ == nullptr || video_ == nullptr) return;
  const QRect area = video_->geometry();
  const int width = std::max(kListMinWidth, area.width() / kListWidthShare);
  const int rows = listPanel_->count();
  const int items = rows > 0 ? rows * listPanel_->sizeHintForRow(0) : 0;
  const int height = std::min(items + 2 * listPanel_->frameWidth() + kListPadding,
                              area.height() - kListMargin - kListStatusRoom);
  listPanel_->setGeometry(area.right() - width - kListMargin + 1, area.top() + kListMargin, width,
                          std::max(0, height));
  listPanel_->raise();
}

}  // namespace vantorel::sender::app
