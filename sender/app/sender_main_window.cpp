#include "sender/app/sender_main_window.h"

#include <QCloseEvent>
#include <QCursor>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QIcon>
#include <QKeyEvent>
#include <QLoggingCategory>
#include <QMenu>
#include <QMimeData>
#include <QSlider>
#include <QUrl>

#include <algorithm>
#include <chrono>

#include "sender/app/sender_desktop.h"
#include "sender/app/string_table.h"
#include "sender/broadcast.h"
#include "sender/file_kind.h"
#include "sender/sender_session.h"
#include "ui/lang/help_page.h"
#include "ui/lang/language_manager.h"
#include "ui/lang/language_menu.h"
#include "ui/skin/video_widget.h"

namespace vantorel::sender::app {

Q_LOGGING_CATEGORY(lcStrovan, "vantorel.strovan")

SenderMainWindow::SenderMainWindow(const skin::ResourceLibrary* module, SenderWindowOptions options,
                                   SenderDesktop& desktop, lang::LanguageManager& languages)
    : SkinnedFrame(skin::FrameProgram::kSender, module),
      options_(std::move(options)),
      desktop_(desktop),
      languages_(languages),
      notices_(this),
      volume_(QStringLiteral("strovan")) {
  AppendSystemMenuItem(skin::kAboutCommand, Strings().String(IDS_ABOUTBOX));
  AppendSystemMenuItem(kNameCommand, Strings().String(IDS_NAME_MENU));
  SystemMenu()->addSeparator();
  QMenu* sources = SystemMenu()->addMenu(Strings().String(IDS_SOURCE_MENU));
  connect(sources, &QMenu::aboutToShow, this, [this, sources] { FillSourceEntries(*sources); });
  setWindowIcon(QIcon(QStringLiteral(":/strovan/strovan.png")));
  setWindowTitle(Strings().String(IDS_TITLE));
  CreateTransport(module);
  trackbar_ = new QSlider(Qt::Horizontal, this);
  trackbar_->setObjectName(QStringLiteral("Slider1"));
  trackbar_->setRange(0, 100);
  trackbar_->hide();
  video_ = new skin::VideoWidget(this, skin::WithoutPicture::kHidden);
  CreateListPanel();
  sink_ = std::make_unique<UdpBroadcastSink>(options_.sink);
  if (!sink_->IsOpen()) qCWarning(lcStrovan, "cannot open the broadcast socket: nothing is sent");
  if (options_.name.empty()) options_.name = desktop_.RememberedName().toStdString();
  playlist_.SetLoop(desktop_.RememberedLoop());
  broadcast_ = std::make_unique<Broadcast>(
      *sink_, media::GraphOptions{options_.output, video_, &volume_.Level()}, options_.fecPercent,
      options_.identity, options_.name);
  timerRunning_ = true;
  resize(skin::kDefaultFrameWidth, skin::kDefaultFrameHeight);
  setAcceptDrops(true);
  languages_.TranslateAllWindows();
  ShowStatus();
}

SenderMainWindow::~SenderMainWindow() {
  Shutdown();
}

SenderSession* SenderMainWindow::Session() const {
  return broadcast_ ? broadcast_->Session() : nullptr;
}

std::uint8_t SenderMainWindow::SessionNumber() const {
  return broadcast_ ? broadcast_->SessionNumber() : 0;
}

void SenderMainWindow::CreateTransport(const skin::ResourceLibrary* module) {
  for (std::size_t i = 0; i < transport_.size(); ++i) {
    skin::SkinButtonInfo button = skin::kTransportButtons[i];
    const QByteArray tip = Strings().String(button.toolId).toUtf8();
    button.toolText = tip.constData();
    transport_[i] = AddButton(module, button, skin::kTransportFirstRect);
  }
  const skin::SkinButtonInfo& seek = skin::kSeekSlider;
  const QByteArray tip = Strings().String(seek.toolId).toUtf8();
  slider_ = AddWidget(
      std::make_unique<skin::SkinSlider>(
          skin::kSeekTrackFirstRect, *this, skin::kSeekThumbFirstRect,
          skin::CommandClick(seek.command), skin::LoadButtonImages(module, seek.pictures)),
      seek.toolId, tip.constData());
  for (std::size_t i : {kPlay, kPause, kStop}) transport_[i]->SetDisabled(true);
  slider_->SetDisabled(true);
}

void SenderMainWindow::LayoutWidgets(int cx, int cy) {
  SkinnedFrame::LayoutWidgets(cx, cy);
  const skin::TransportLayout layout = skin::LayoutTransport(Metrics(), cx, cy);
  for (std::size_t i = 0; i < transport_.size(); ++i) PlaceWidget(transport_[i], layout.buttons[i]);
  if (slider_ == nullptr) return;
  slider_->SetTrackRect(layout.track);
  slider_->SetTop(layout.thumbTop);
  PlaceWidget(slider_, slider_->GetRect());
}

bool SenderMainWindow::event(QEvent* e) {
  if (gui::PostedEvent<sender::GraphNotice>::From(e) == nullptr) return SkinnedFrame::event(e);
  OnGraphEvent();
  return true;
}

bool SenderMainWindow::OnCommand(int id) {
  switch (id) {
    case skin::kCmdOpen:
      OnOpen();
      break;
    case skin::kCmdPlay:
      OnPlay();
      break;
    case skin::kCmdPause:
      if (Session()) Session()->Pause();
      RefreshTransport();
      break;
    case skin::kCmdStop:
      if (Session()) {
        Session()->Stop();
        slider_->SetPos(0);
      }
      RefreshTransport();
      break;
    case skin::kCmdForward:
      RefreshTransport();
      break;
    case skin::kCmdHelp:
    case skin::kCmdHomePage:
      OpenHelp();
      break;
    case skin::kCmdLanguage:
      OnLanguage();
      break;
    default:
      return false;
  }
  return true;
}

// When no program opens the page, a note gives its path instead.
void SenderMainWindow::OpenHelp() {
  const std::string page = lang::HelpPage(options_.appFolder).string();
  if (desktop_.OpenWithBrowser(page) == 0) {
    desktop_.ShowNote(this, Text(IDS_HELP_NOT_OPENED).arg(QString::fromStdString(page)));
  }
}

void SenderMainWindow::OnPlay() {
  if (Session()) {
    SetRanges();
    Session()->Play();
  }
  RefreshTransport();
}

void SenderMainWindow::SetRanges() {
  const int seconds = static_cast<int>(Session()->Duration());
  trackbar_->setRange(0, seconds);
  slider_->SetRange(0, seconds, false);
}

// Only the skinned slider's drag seeks; the position is whole seconds.
void SenderMainWindow::OnSliderDrag(int position) {
  if (Session()) Session()->Seek(position);
}

void SenderMainWindow::SeekBy(double seconds) {
  if (Session()->Live()) return;
  const double duration = Session()->Duration();
  const double target = std::clamp(Session()->Position() + seconds, 0.0, std::max(0.0, duration));
  Session()->Seek(target);
  slider_->SetPos(static_cast<int>(target));
}

void SenderMainWindow::dragEnterEvent(QDragEnterEvent* e) {
  const QList<QUrl> urls = e->mimeData()->urls();
  if (!urls.isEmpty() && urls.front().isLocalFile()) e->acceptProposedAction();
}

// Media files dropped on the window open as through the Open command; several files, or a
// folder, make a list.
void SenderMainWindow::dropEvent(QDropEvent* e) {
  QStringList paths;
  for (const QUrl& url : e->mimeData()->urls()) {
    if (url.isLocalFile()) paths << url.toLocalFile();
  }
  if (paths.isEmpty()) return;
  e->acceptProposedAction();
  OpenFiles(paths);
}

// The end of a file starts the next item of the list at once; after the last one (without the
// loop) the file stays stopped just before its end.
void SenderMainWindow::OnGraphEvent() {
  if (!Session()) return;
  const GraphEventNews news = broadcast_->HandleGraphEvents();
  if (news.noAudioDevice) NoteMissingAudioDevice();
  if (news.completed && !live_) {
    if (const std::optional<std::size_t> next = playlist_.Next()) {
      PlayFrom(next);
      return;
    }
  }
  RefreshTransport();
}

void SenderMainWindow::NoteMissingAudioDevice() {
  if (noAudioNoted_) return;
  noAudioNoted_ = true;
  desktop_.ShowNote(this, Strings().String(IDS_NO_AUDIO_DEVICE));
}

void SenderMainWindow::OnLanguage() {
  const QPoint p = mapFromGlobal(QCursor::pos());
  lang::ShowLanguageMenu(languages_, this, p.x(), p.y());
}

void SenderMainWindow::RefreshTransport() {
  if (transport_[kPlay] == nullptr) return;
  bool play = false, pause = false, stop = false, seek = false;
  if (Session()) {
    const PlayerState state = Session()->State();
    play = state != PlayerState::kRunning;
    pause = state != PlayerState::kPaused;
    stop = state != PlayerState::kStopped;
    seek = !Session()->Live();
  }
  transport_[kPlay]->SetDisabled(!play);
  transport_[kPause]->SetDisabled(!pause);
  transport_[kStop]->SetDisabled(!stop);
  slider_->SetDisabled(!seek);
  Announce();
}

// The end of the file leaves the session stopped, like the Stop command.
void SenderMainWindow::Announce() {
  if (!broadcast_ || !timerRunning_) return;
  protocol::SenderState state = protocol::SenderState::kStopped;
  if (Session()) {
    const PlayerState player = Session()->State();
    if (player == PlayerState::kRunning) state = protocol::SenderState::kPlaying;
    if (player == PlayerState::kPaused) state = protocol::SenderState::kPaused;
  }
  protocol::SenderSource source = protocol::SenderSource::kNothing;
  std::string title;
  if (Session() && live_) {
    source = live_->video == sender::LiveVideo::kScreen   ? protocol::SenderSource::kScreen
             : live_->video == sender::LiveVideo::kCamera ? protocol::SenderSource::kCamera
                                                          : protocol::SenderSource::kMicrophone;
    title = sender::DescribeLive(*live_);
  } else if (Session()) {
    source = protocol::SenderSource::kFile;
    title = fileName_.toStdString();
  }
  broadcast_->Announce(state, source, std::move(title));
  broadcast_->TickAnnouncement();
}

void SenderMainWindow::AskName() {
  const QString current = QString::fromStdString(broadcast_->Announced().name);
  const std::optional<QString> name = desktop_.AskName(this, current);
  if (!name) return;
  options_.name = name->toStdString();
  broadcast_->Rename(options_.name);
}

void SenderMainWindow::OnVideoAreaChanged(const skin::Rect& area) {
  if (video_ != nullptr) video_->setGeometry(VideoWidgetRect(area));
  PlaceListPanel();
  if (Session()) Session()->SetVideoRect(area.left, area.top, area.Width(), area.Height());
}

QString SenderMainWindow::Text(int id) const {
  return QString::fromStdString(languages_.LookUp(Strings().Text(id)));
}

namespace {
QString Clock(double seconds) {
  const int s = std::max(0, static_cast<int>(seconds));
  return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}
}  // namespace

void SenderMainWindow::ShowStatus() {
  if (video_ == nullptr) return;
  const QString level = volume_.ShownText(Text(IDS_VOLUME), Text(IDS_MUTED));
  if (!level.isEmpty()) {
    video_->SetStatus(level, skin::StatusIcon::kSound);
    return;
  }
  const QString skipped = skipped_.isEmpty() ? QString() : QLatin1Char('\n') + skipped_;
  SenderSession* session = Session();
  if (session == nullptr) {
    video_->SetStatus(Text(IDS_STATUS_OPEN_HINT) + skipped, skin::StatusIcon::kWaiting);
    return;
  }
  QString text = PlayingText(*session);
  // The mark is filled while datagrams go out (some did within the last second).
  const auto now = std::chrono::steady_clock::now();
  const std::uint64_t sent = sink_->Stats().datagrams;
  if (sent != datagramsSeen_) lastSent_ = now;
  datagramsSeen_ = sent;
  const bool sending = now - lastSent_ < std::chrono::seconds(1);
  if (showFigures_) {
    const FecStats parity = broadcast_->Parity().value_or(FecStats{});
    const SigningStats signing = broadcast_->Signing().value_or(SigningStats{});
    text += QLatin1Char('\n') + SigningText() + QLatin1Char('\n') +
            Text(IDS_FIGURES_SENT)
                .arg(QString::number(sent), QString::number(parity.parityDatagrams),
                     QString::number(signing.signatureDatagrams));
  }
  video_->SetStatus(text + skipped,
                    sending ? skin::StatusIcon::kReceiving : skin::StatusIcon::kWaiting);
}

// In the window's language; receivers are told it in English (the announcement's title).
QString SenderMainWindow::LiveTitle(const sender::LiveSource& source) const {
  QString title;
  switch (source.video) {
    case sender::LiveVideo::kScreen:
      title = Text(source.window != 0 ? IDS_LIVE_WINDOW : IDS_LIVE_SCREEN);
      break;
    case sender::LiveVideo::kCamera:
      title = Text(IDS_LIVE_CAMERA)
                  .arg(QString::fromStdString(
                      sender::LiveDeviceName(source, sender::LiveDevice::kCamera)));
      break;
    case sender::LiveVideo::kNone:
      break;
  }
  if (source.microphone) {
    title += title.isEmpty() ? Text(IDS_LIVE_MICROPHONE)
                             : QStringLiteral(" + ") + Text(IDS_LIVE_MICROPHONE);
  }
  return title;
}

// A live source: what it is and how long it has been on the air; a file: its place in a
// list of several, its name and times.
QString SenderMainWindow::PlayingText(SenderSession& session) const {
  if (live_) {
    return QStringLiteral("%1   %2").arg(LiveTitle(*live_),
                                         Text(IDS_ON_AIR).arg(Clock(session.Position())));
  }
  QString text = QStringLiteral("%1   %2 / %3")
                     .arg(fileName_, Clock(session.Position()), Clock(session.Duration()));
  if (playlist_.Size() > 1 && playlist_.Current()) {
    text = QStringLiteral("%1/%2   ").arg(*playlist_.Current() + 1).arg(playlist_.Size()) + text;
  }
  const bool video = session.VideoGrabber() != nullptr && session.VideoGrabber()->IsConnected();
  if (!video) text += QStringLiteral("   ") + Text(IDS_STATUS_AUDIO_ONLY);
  return text;
}

void SenderMainWindow::OnTimerTick() {
  if (!timerRunning_) return;
  ShowStatus();
  Announce();
  if (Session() && Session()->State() == PlayerState::kRunning && !Session()->Live()) {
    slider_->SetPos(static_cast<int>(Session()->Position()));
  }
}

void SenderMainWindow::OnMenuEntry(int command) {
  if (command == kNameCommand) {
    AskName();
    return;
  }
  desktop_.ShowAbout(this, SigningText());
}

QString SenderMainWindow::SigningText() const {
  const std::optional<protocol::Fingerprint> by = broadcast_->SignedBy();
  return by ? Text(IDS_SIGNED_AS).arg(QString::fromStdString(by->Text())) : Text(IDS_UNSIGNED);
}

// Escape never closes the window (it leaves full screen); F1 is the application's help
// command; Space plays and pauses, Left and Right seek by 5 s, Ctrl+O opens, Ctrl+L shows the
// source menu, L the list, Page Down and Page Up play its next and previous item, Ctrl+Q quits.
void SenderMainWindow::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Escape) {
    LeaveFullScreen();
    e->accept();
    return;
  }
  if (volume_.OnKey(*e)) {
    ShowStatus();
    return;
  }
  if (e->modifiers() == Qt::ControlModifier && e->key() == Qt::Key_O) {
    OnCommand(skin::kCmdOpen);
    return;
  }
  if (e->modifiers() == Qt::ControlModifier && e->key() == Qt::Key_Q) {
    close();
    return;
  }
  if (e->modifiers() == Qt::ControlModifier && e->key() == Qt::Key_L) {
    const skin::Rect open = OpenButton()->GetRect();
    ShowSourceMenu(mapToGlobal(QPoint(open.left, open.bottom)));
    return;
  }
  if (e->modifiers() == Qt::NoModifier && e->key() == Qt::Key_L) {
    ToggleListPanel();
    return;
  }
  if (e->modifiers() == Qt::NoModifier &&
      (e->key() == Qt::Key_PageDown || e->key() == Qt::Key_PageUp)) {
    if (e->key() == Qt::Key_PageDown) {
      PlayNext();
    } else {
      PlayPrevious();
    }
    return;
  }
  if (e->modifiers() == Qt::NoModifier && Session()) {
    if (e->key() == Qt::Key_Space) {
      OnCommand(Session()->State() == PlayerState::kRunning ? skin::kCmdPause : skin::kCmdPlay);
      return;
    }
    if (e->key() == Qt::Key_Left || e->key() == Qt::Key_Right) {
      SeekBy(e->key() == Qt::Key_Left ? -kSeekStepSeconds : kSeekStepSeconds);
      return;
    }
  }
  if (e->key() == Qt::Key_F1 && e->modifiers() == Qt::NoModifier) {
    OnCommand(skin::kCmdHelp);
    return;
  }
  if (e->key() == Qt::Key_I && e->modifiers() == Qt::NoModifier) {
    showFigures_ = !showFigures_;
    ShowStatus();
    return;
  }
  SkinnedFrame::keyPressEvent(e);
}

void SenderMainWindow::closeEvent(QCloseEvent* e) {
  Shutdown();
  e->accept();
}

void SenderMainWindow::CloseSession() {
  if (!Session()) return;
  broadcast_->CloseSession();
  video_->Clear();
  notices_.RemovePosted();
}

// The session is closed, so no streaming thread sends any more, before the receivers are told
// that the broadcast has ended.
void SenderMainWindow::Shutdown() {
  timerRunning_ = false;
  CloseSession();
  if (!broadcast_) return;
  broadcast_->End();
  broadcast_.reset();
  sink_.reset();
}

}  // namespace vantorel::sender::app
