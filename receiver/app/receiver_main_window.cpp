#include "receiver/app/receiver_main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLoggingCategory>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QSettings>

#include "platform/profile/key_files.h"
#include "platform/profile/program_folder.h"
#include "receiver/app/receiver_strings.h"
#include "receiver/app/senders_menu.h"
#include "receiver/app/session_autostart.h"
#include "receiver/app/web_viewing.h"
#include "receiver/gst/receiver_playback_graph.h"
#include "ui/lang/help_page.h"
#include "ui/lang/language_access.h"
#include "ui/lang/language_manager.h"
#include "ui/lang/language_menu.h"
#include "ui/program_settings.h"
#include "ui/skin/skin_bitmap.h"
#include "ui/skin/video_widget.h"

namespace vantorel::receiver::app {
namespace {

Q_LOGGING_CATEGORY(lcLunnet, "vantorel.lunnet")

using Clock = std::chrono::steady_clock;

const QString kProgram = QStringLiteral("lunnet");
const QString kFullScreenKey = QStringLiteral("window/fullScreen");

bool RememberedFullScreen() {
  return ui::ProgramSettings(kProgram).value(kFullScreenKey, false).toBool();
}

// The addresses a sender can reach the window on: its interface's, or every interface's.
std::vector<std::string> ListenAddresses(const receiver::ReceiveOptions& receive) {
  if (receive.interfaceName.empty()) return net::LocalIpv4Addresses();
  const std::optional<net::NetworkInterface> device = net::FindInterface(receive.interfaceName);
  return device ? device->addresses : std::vector<std::string>{};
}

receiver::gst::ReceiverGraphOptions GraphOptions(media::ReceiverOutput output,
                                                 skin::VideoWidget* video,
                                                 media::AudioLevel& level) {
  receiver::gst::ReceiverGraphOptions options;
  options.output = output;
  options.videoFrames = video;
  options.audioLevel = &level;
  return options;
}

QRect ToQRect(const skin::Rect& r) {
  return QRect(r.left, r.top, r.Width(), r.Height());
}

}  // namespace

ReceiverMainWindow::ReceiverMainWindow(const skin::ResourceLibrary* module,
                                       ReceiverWindowOptions options)
    : SkinnedFrame(skin::FrameProgram::kReceiver, module),
      options_(std::move(options)),
      notices_(this),
      volume_(kProgram),
      video_(new skin::VideoWidget(this, skin::WithoutPicture::kBlack)),
      builder_(std::make_unique<receiver::gst::GstPlaybackGraphBuilder>(
          GraphOptions(options_.output, video_, volume_.Level()))),
      webViewer_(WebViewerEvents{
          [this](const std::vector<std::string>& addresses) { ShowWebAddresses(addresses); },
          [this](const std::string& reason) { OnWebViewerEnded(reason); }}) {
  if (options_.applicationFolder.empty()) options_.applicationFolder = profile::ProgramFolder();
  if (!options_.sender) options_.sender = RememberedSender();
  setWindowTitle(Strings().String(kIdsCaption));
  AppendSystemMenuItem(skin::kAboutCommand, Strings().String(kIdsAboutMenu));
  AppendSystemMenuItem(kTrustCommand, Strings().String(kIdsTrustMenu));
  AppendSystemMenuItem(kAutostartCommand, Strings().String(kIdsAutostartMenu));
  autostartEntry_ = SystemMenu()->actions().last();
  autostartEntry_->setCheckable(true);
  AppendSystemMenuItem(kWebCommand, Strings().String(kIdsWebMenu));
  webEntry_ = SystemMenu()->actions().last();
  connect(SystemMenu(), &QMenu::aboutToShow, this, [this] {
    std::error_code error;
    autostartEntry_->setChecked(std::filesystem::exists(AutostartFile(), error));
    // In the current language, whatever the last translation pass made of it.
    ShowWebEntry();
  });
  setWindowIcon(QIcon(QStringLiteral(":/lunnet/lunnet.png")));
  hasWidgets_ = AllButtonPicturesLoad(module);
  if (!hasWidgets_) DropWidgets();
  resize(skin::kDefaultFrameWidth, skin::kDefaultFrameHeight);
  Languages().TranslateAllWindows();
  const skin::Rect area = VideoArea();
  video_->setGeometry(ToQRect(area));
  StartReception();
  addresses_ = ListenAddresses(options_.receive);
  ShowStatus();
}

ReceiverMainWindow::~ReceiverMainWindow() {
  StopReception();
}

lang::LanguageManager& ReceiverMainWindow::Languages() const {
  return options_.languages != nullptr ? *options_.languages : lang::TheLanguageManager();
}

// The frame makes its buttons whatever the library holds; the window shows them only when
// every one of them has its pictures.
bool ReceiverMainWindow::AllButtonPicturesLoad(const skin::ResourceLibrary* module) const {
  if (module == nullptr) return false;
  for (const skin::SkinButtonInfo& button : skin::kFrameButtons) {
    const skin::ButtonPictures& p = button.pictures;
    for (std::size_t state = 0; state < p.colour.size(); ++state) {
      if (skin::LoadAlphaBitmap(*module, p.colour[state], p.mask[state]).isNull()) return false;
    }
  }
  return true;
}

// The buttons leave the widget set, so they neither draw nor take the mouse, and their
// tooltips go quiet.
void ReceiverMainWindow::DropWidgets() {
  for (std::size_t i = 0; i < skin::kFrameButtons.size(); ++i) {
    Widgets().Remove(GetFrameButton(static_cast<skin::FrameButton>(i)));
  }
  for (int i = 0; i < ToolTipCount(); ++i) SetToolTipText(i, QString());
}

// A port that cannot be opened is tried again every few seconds; the status line says so
// meanwhile.
void ReceiverMainWindow::StartReception() {
  const skin::Rect area = VideoArea();
  receiver::ReceptionOptions reception;
  reception.receive = options_.receive;
  reception.graph = builder_.get();
  reception.videoRect = receiver::VideoRect{area.left, area.top, area.Width(), area.Height()};
  reception.trusted = options_.trusted;
  reception.knownCounters = options_.knownCounters;
  reception.choice.name = options_.sender.value_or(std::string());
  reception_ = std::make_unique<receiver::Reception>(reception,
                                                     static_cast<receiver::ReceptionEvents*>(this));
  if (!reception_->Listening()) {
    const std::string& device = options_.receive.interfaceName;
    qCWarning(lcLunnet, "cannot listen on UDP port %u%s%s yet: trying again",
              unsigned{options_.receive.port}, device.empty() ? "" : " on interface ",
              device.c_str());
  }
}

void ReceiverMainWindow::TrustSender() {
  const receiver::ReceptionView view = reception_->View();
  if (view.trustedOnly && view.sender) return;  // already a trusted one
  if (!view.fingerprint || !view.sender) {
    QMessageBox::information(this, windowTitle(), Text(kIdsUnsignedSender));
    return;
  }
  const protocol::Fingerprint fingerprint = *view.fingerprint;
  std::string error = "no configuration folder";
  if (!options_.trustedSendersFile.empty()) {
    error = profile::AddTrustedSender(options_.trustedSendersFile, fingerprint,
                                      view.sender->ToString());
  }
  options_.trusted.push_back(fingerprint);
  // Built again with the trust: the sender plays on once its next signature is checked.
  StopReception();
  options_.knownCounters = reception_->Totals().counters;
  reception_.reset();
  StartReception();
  status_.OnSenderChanged(view.sender->ToString(), receiver::ReceptionStatus::Clock::now());
  const QString said = Text(kIdsNowTrusted).arg(QString::fromStdString(fingerprint.Text()));
  if (error.empty()) {
    qCInfo(lcLunnet, "%s", qUtf8Printable(said));
  } else {
    QMessageBox::warning(this, windowTitle(),
                         Text(kIdsTrustNotSaved).arg(QString::fromStdString(error)));
  }
  ShowStatus();
}

void ReceiverMainWindow::StopReception() {
  if (reception_) reception_->Stop();
  SaveCounters();
  video_->Clear();
}

void ReceiverMainWindow::OnEndOfBroadcast() {
  notices_.Post(BroadcastEndedNotice{});
}

void ReceiverMainWindow::OnSenderChanged(const net::Endpoint& sender) {
  notices_.Post(SenderNotice{sender});
}

// Told as a sender change to nobody: the window waits again.
void ReceiverMainWindow::OnChoiceApplied(const net::Endpoint&) {
  notices_.Post(SenderNotice{std::nullopt});
}

void ReceiverMainWindow::OnHeard(const net::Endpoint& sender) {
  notices_.Post(HeardNotice{sender});
}

ReceptionTotals ReceiverMainWindow::Totals() const {
  return reception_ ? reception_->Totals() : ReceptionTotals{};
}

bool ReceiverMainWindow::event(QEvent* e) {
  if (const Notice* notice = gui::PostedEvent<Notice>::From(e)) {
    Take(*notice);
    return true;
  }
  return SkinnedFrame::event(e);
}

void ReceiverMainWindow::Take(const Notice& notice) {
  std::visit(gui::Overloaded{
                 [this](const BroadcastEndedNotice&) { ShowEndOfBroadcast(); },
                 [this](const SenderNotice& changed) { ShowSenderChanged(changed.sender); },
                 [this](const HeardNotice& heard) {
                   status_.OnDatagrams(heard.sender.ToString(),
                                       receiver::ReceptionStatus::Clock::now());
                 },
             },
             notice);
}

void ReceiverMainWindow::ShowSenderChanged(const std::optional<net::Endpoint>& sender) {
  video_->Clear();
  if (!sender) {
    status_.OnWaiting();
  } else {
    status_.OnSenderChanged(sender->ToString(), receiver::ReceptionStatus::Clock::now());
  }
  ShowStatus();
}

// The reception was built again already; the old picture goes with its graph.
void ReceiverMainWindow::ShowEndOfBroadcast() {
  video_->Clear();
  status_.OnEndOfBroadcast();
  addresses_ = ListenAddresses(options_.receive);
  ShowStatus();
}

bool ReceiverMainWindow::OnCommand(int command) {
  switch (command) {
    case skin::kCmdPlay:
      reception_->Play();
      return true;
    case skin::kCmdHelp:
    case kCmdAppHelp:
    case skin::kCmdHomePage:
      OpenHelp();
      return true;
    case skin::kCmdLanguage:
      ShowLanguageMenu();
      return true;
    default:
      // The frame buttons.
      return false;
  }
}

void ReceiverMainWindow::ShowLanguageMenu() {
  const QPoint at = mapFromGlobal(QCursor::pos());
  lang::ShowLanguageMenu(Languages(), this, at.x(), at.y());
}

void ReceiverMainWindow::OpenHelp() {
  lang::OpenHelpPage(lang::HelpPage(options_.applicationFolder), this, Text(kIdsMessageTitle),
                     Text(kIdsHelpNotOpened));
}

void ReceiverMainWindow::Quit() {
  Send(skin::WindowActionEvent{skin::WindowAction::kClose});
}

void ReceiverMainWindow::ToggleFigures() {
  status_.ToggleStatistics();
  ShowStatus();
}

SendersMenuTexts ReceiverMainWindow::MenuTexts() const {
  return {Text(kIdsSendersMenu), Text(kIdsAnySender), Text(kIdsSenderPaused),
          Text(kIdsSenderStopped)};
}

void ReceiverMainWindow::ChooseSender(const std::string& name) {
  options_.sender = name;
  RememberSender(name);
  receiver::SenderChoice choice;
  choice.name = name;
  reception_->Choose(choice);
  ShowStatus();
}

// Chosen once the menu has closed: the reception may be built again for the choice.
void ReceiverMainWindow::ShowSendersMenu() {
  std::unique_ptr<QMenu> menu =
      BuildSendersMenu(reception_->View(), MenuTexts(), [this](const std::string& name) {
        QMetaObject::invokeMethod(
            this, [this, name] { ChooseSender(name); }, Qt::QueuedConnection);
      });
  menu->setAttribute(Qt::WA_DeleteOnClose);
  const QPoint at =
      video_->underMouse() ? QCursor::pos() : video_->mapToGlobal(video_->rect().center());
  menu.release()->popup(at);
}

void ReceiverMainWindow::BuildContextMenu(QMenu& menu) {
  QAction* fullScreen = menu.addAction(Text(kIdsFullScreenMenu));
  fullScreen->setCheckable(true);
  fullScreen->setChecked(isFullScreen());
  connect(fullScreen, &QAction::triggered, this, [this] { ToggleFullScreen(); });
  QAction* figures = menu.addAction(Text(kIdsFiguresMenu));
  figures->setCheckable(true);
  figures->setChecked(status_.StatisticsAsked());
  connect(figures, &QAction::triggered, this, [this] { ToggleFigures(); });
  std::unique_ptr<QMenu> senders =
      BuildSendersMenu(reception_->View(), MenuTexts(), [this](const std::string& name) {
        QMetaObject::invokeMethod(
            this, [this, name] { ChooseSender(name); }, Qt::QueuedConnection);
      });
  senders->setParent(&menu, senders->windowFlags());
  menu.addMenu(senders.release());  // owned by `menu` from here
  std::unique_ptr<QMenu> languages = lang::BuildLanguageMenu(Languages());
  languages->setTitle(Text(kIdsLanguageMenu));
  // The choice is made once the menu has closed, so that the translation pass skips it.
  connect(languages.get(), &QMenu::triggered, this, [this](QAction* chosen) {
    const QByteArray name = chosen->data().toString().toUtf8();
    QMetaObject::invokeMethod(
        this,
        [this, name] {
          Languages().ChooseLanguage(std::string_view(name.constData(), name.size()));
        },
        Qt::QueuedConnection);
  });
  languages->setParent(&menu, languages->windowFlags());
  menu.addMenu(languages.release());  // owned by `menu` from here
  menu.addSeparator();
  QAction* quit = menu.addAction(Text(kIdsQuitMenu));
  connect(quit, &QAction::triggered, this, [this] { Quit(); });
}

// On the video: the window's own menu; elsewhere on the frame: the window menu.
void ReceiverMainWindow::contextMenuEvent(QContextMenuEvent* e) {
  if (!video_->geometry().contains(e->pos())) {
    SkinnedFrame::contextMenuEvent(e);
    return;
  }
  auto* menu = new QMenu(this);
  menu->setAttribute(Qt::WA_DeleteOnClose);
  BuildContextMenu(*menu);
  menu->popup(e->globalPos());
}

void ReceiverMainWindow::ToggleAutostart() {
  const std::filesystem::path file = AutostartFile();
  std::error_code ignored;
  const bool installed = std::filesystem::exists(file, ignored);
  const std::string error =
      installed ? RemoveAutostart(file)
                : InstallAutostart(file, QCoreApplication::applicationFilePath().toStdString());
  autostartEntry_->setChecked(std::filesystem::exists(file, ignored));
  if (!error.empty()) {
    QMessageBox::warning(this, windowTitle(),
                         Text(kIdsAutostartFailed).arg(QString::fromStdString(error)));
  }
}

void ReceiverMainWindow::ToggleWebViewer() {
  if (webViewer_.Running()) {
    webViewer_.Stop();
    if (webAddressBox_) webAddressBox_->close();
    return;
  }
  // Beside the executable: an installed program keeps its data apart from its programs.
  const std::filesystem::path program = options_.webServer.empty()
                                            ? profile::ExecutableFolder() / kWebServerName
                                            : options_.webServer;
  const receiver::SenderChoice choice =
      reception_ ? reception_->View().choice : receiver::SenderChoice{};
  webViewer_.Start(program, WebServerArguments(options_.receive, options_.trusted, choice));
  ShowWebEntry();
}

// The server prints one line per address, perhaps in several pieces: an open box grows.
void ReceiverMainWindow::ShowWebAddresses(const std::vector<std::string>& addresses) {
  QStringList lines{Text(kIdsWebAddresses), QString()};
  for (const std::string& address : addresses) lines << QString::fromStdString(address);
  const QString text = lines.join(QLatin1Char('\n'));
  if (webAddressBox_) {
    webAddressBox_->setText(text);
    return;
  }
  webAddressBox_ = OpenMessage(QMessageBox::Information, text);
}

void ReceiverMainWindow::OnWebViewerEnded(const std::string& reason) {
  if (webAddressBox_) webAddressBox_->close();
  ShowWebEntry();
  if (!reason.empty()) {
    OpenMessage(QMessageBox::Warning, Text(kIdsWebFailed).arg(QString::fromStdString(reason)));
  }
}

void ReceiverMainWindow::ShowWebEntry() {
  webEntry_->setText(Text(webViewer_.Running() ? kIdsWebStopMenu : kIdsWebMenu));
}

QMessageBox* ReceiverMainWindow::OpenMessage(QMessageBox::Icon icon, const QString& text) {
  auto box = std::make_unique<QMessageBox>(icon, windowTitle(), text, QMessageBox::Ok, this);
  box->setAttribute(Qt::WA_DeleteOnClose);
  // The addresses are to be copied into another device's browser.
  box->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  box->show();
  return box.release();  // the window's child until it closes
}

void ReceiverMainWindow::ShowAtStart() {
  if (options_.screen) {
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (*options_.screen >= 0 && *options_.screen < screens.size()) {
      QScreen* screen = screens[*options_.screen];
      setScreen(screen);
      QRect place(QPoint(), size());
      place.moveCenter(screen->availableGeometry().center());
      move(place.topLeft());
    }
  }
  // The saved geometry may hold a full screen of its own; the remembered choice decides.
  setWindowState(windowState() & ~Qt::WindowFullScreen);
  if (options_.fullScreen == FullScreenAtStart::kAlways || RememberedFullScreen()) {
    showFullScreen();
  } else {
    show();
  }
}

void ReceiverMainWindow::OnFullScreenChosen(bool fullScreen) {
  ui::ProgramSettings(kProgram).setValue(kFullScreenKey, fullScreen);
}

void ReceiverMainWindow::changeEvent(QEvent* e) {
  if (e->type() == QEvent::WindowStateChange) {
    lastPointerMove_ = Clock::now();
    if (!isFullScreen() && pointerHidden_) {
      pointerHidden_ = false;
      unsetCursor();
    }
  }
  SkinnedFrame::changeEvent(e);
}

void ReceiverMainWindow::mouseMoveEvent(QMouseEvent* e) {
  lastPointerMove_ = Clock::now();
  if (pointerHidden_) {
    pointerHidden_ = false;
    unsetCursor();
  }
  SkinnedFrame::mouseMoveEvent(e);
}

void ReceiverMainWindow::HidePointerWhenIdle() {
  if (pointerHidden_ || !isFullScreen() || Clock::now() - lastPointerMove_ < kHidePointerAfter) {
    return;
  }
  pointerHidden_ = true;
  setCursor(Qt::BlankCursor);
}

void ReceiverMainWindow::OnVideoAreaChanged(const skin::Rect& area) {
  video_->setGeometry(VideoWidgetRect(area));
  if (reception_) {
    reception_->SetVideoRect(receiver::VideoRect{area.left, area.top, area.Width(), area.Height()});
  }
}

void ReceiverMainWindow::SaveCounters() {
  if (!reception_ || options_.countersFile.empty()) return;
  const receiver::SignatureGate::Counters counters = reception_->Totals().counters;
  if (counters.empty() || counters == options_.knownCounters) return;
  if (const std::string error = profile::SaveCounters(options_.countersFile, counters);
      !error.empty()) {
    qCWarning(lcLunnet, "%s", error.c_str());
    return;
  }
  options_.knownCounters = counters;
}

void ReceiverMainWindow::OnTimerTick() {
  // Every 10 s or so: a screen switched off at the wall loses at most that much.
  constexpr int kTicksBetweenSaves = 10'000 / skin::kFrameTimerMs;
  if (++ticksToSave_ >= kTicksBetweenSaves) {
    ticksToSave_ = 0;
    SaveCounters();
  }
  if (reception_) {
    bitRate_.Sample(receiver::BitRateMeter::Clock::now(), reception_->Totals().reassembly.bytes);
  }
  // Told without stopping anything or waiting for anyone: a screen may be unattended.
  if (!audioNoted_ && builder_->NoAudioDevice()) {
    audioNoted_ = true;
    if (options_.audioNote == AudioNote::kShow) audioNoteUntil_ = Clock::now() + kAudioNoteShownFor;
  }
  HidePointerWhenIdle();
  ShowStatus();
}

QString ReceiverMainWindow::Text(int id) const {
  return QString::fromStdString(Languages().LookUp(Strings().Text(id)));
}

void ReceiverMainWindow::OnMenuEntry(int command) {
  if (command == kTrustCommand) {
    TrustSender();
    return;
  }
  if (command == kAutostartCommand) {
    ToggleAutostart();
    return;
  }
  if (command == kWebCommand) {
    ToggleWebViewer();
    return;
  }
  QMessageBox::about(this, Text(kIdsAboutTitle),
                     Text(kIdsAboutVersion) + QLatin1Char('\n') + Text(kIdsAboutText));
}

void ReceiverMainWindow::keyPressEvent(QKeyEvent* e) {
  // Escape never closes the window: on a screen nobody watches, a stray key must not end it.
  if (e->key() == Qt::Key_Escape) {
    LeaveFullScreen();
    return;
  }
  if (e->key() == Qt::Key_Q && e->modifiers() == Qt::ControlModifier) {
    Quit();
    return;
  }
  if (e->key() == Qt::Key_F1 && e->modifiers() == Qt::NoModifier) {
    Send(skin::CommandEvent{kCmdAppHelp});
    return;
  }
  if (volume_.OnKey(*e)) {
    ShowStatus();
    return;
  }
  if (e->key() == Qt::Key_I && e->modifiers() == Qt::NoModifier) {
    ToggleFigures();
    return;
  }
  if (e->key() == Qt::Key_S && e->modifiers() == Qt::NoModifier) {
    ShowSendersMenu();
    return;
  }
  if (e->key() == Qt::Key_T && e->modifiers() == Qt::NoModifier) {
    Send(skin::MenuEntryEvent{kTrustCommand});
    return;
  }
  SkinnedFrame::keyPressEvent(e);
}

void ReceiverMainWindow::closeEvent(QCloseEvent* e) {
  webViewer_.Stop();
  StopReception();
  e->accept();
}

}  // namespace vantorel::receiver::app
