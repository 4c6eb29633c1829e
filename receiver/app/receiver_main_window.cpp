#include "receiver/app/receiver_main_window.h"

#include <QCloseEvent>
#include <QCursor>
#include <QIcon>
#include <QKeyEvent>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QScreen>

#include "platform/profile/key_files.h"
#include "platform/profile/program_folder.h"
#include "receiver/app/receiver_strings.h"
#include "receiver/gst/receiver_playback_graph.h"
#include "ui/lang/language_access.h"
#include "ui/lang/language_manager.h"
#include "ui/lang/language_menu.h"
#include "ui/lang/open_with_browser.h"
#include "ui/skin/skin_bitmap.h"
#include "ui/skin/video_widget.h"

namespace vantorel::receiver_app {
namespace {

Q_LOGGING_CATEGORY(lcLunnet, "vantorel.lunnet")

// The addresses a sender can reach the window on: its interface's, or every interface's.
std::vector<std::string> ListenAddresses(const receiver::ReceiveOptions& receive) {
  if (receive.interfaceName.empty()) return net::LocalIpv4Addresses();
  const std::optional<net::NetworkInterface> device = net::FindInterface(receive.interfaceName);
  return device ? device->addresses : std::vector<std::string>{};
}

media::ReceiverGraphOptions GraphOptions(media::ReceiverOutput output, skin::VideoWidget* video,
                                         media::AudioLevel& level) {
  media::ReceiverGraphOptions options;
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
      handle_(this),
      volume_(QStringLiteral("lunnet")),
      video_(new skin::VideoWidget(this, skin::WithoutPicture::kBlack)),
      builder_(std::make_unique<media::GstPlaybackGraphBuilder>(
          GraphOptions(options_.output, video_, volume_.Level()))) {
  if (options_.applicationFolder.empty()) options_.applicationFolder = profile::ProgramFolder();
  setWindowTitle(Strings().String(kIdsCaption));
  AppendSystemMenuItem(skin::kAboutCommand, Strings().String(kIdsAboutMenu));
  AppendSystemMenuItem(kTrustCommand, Strings().String(kIdsTrustMenu));
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
  handle_.Post(gui::WindowMessage{gui::kMsgEndOfBroadcast, 0, 0, nullptr});
}

void ReceiverMainWindow::OnSenderChanged(const net::Endpoint& sender) {
  handle_.Post(gui::WindowMessage{gui::kMsgSenderChanged, sender.address, sender.port, nullptr});
}

void ReceiverMainWindow::OnHeard(const net::Endpoint& sender) {
  handle_.Post(gui::WindowMessage{gui::kMsgDatagram, sender.address, sender.port, nullptr});
}

ReceptionTotals ReceiverMainWindow::Totals() const {
  return reception_ ? reception_->Totals() : ReceptionTotals{};
}

std::intptr_t ReceiverMainWindow::HandleMessage(gui::WindowMessage& message) {
  switch (message.message) {
    case gui::kMsgDatagram:
      status_.OnDatagrams(net::Endpoint{static_cast<std::uint32_t>(message.wParam),
                                        static_cast<std::uint16_t>(message.lParam)}
                              .ToString(),
                          receiver::ReceptionStatus::Clock::now());
      return 0;
    case gui::kMsgEndOfBroadcast:
      ShowEndOfBroadcast();
      return 0;
    case gui::kMsgSenderChanged:
      video_->Clear();
      status_.OnSenderChanged(net::Endpoint{static_cast<std::uint32_t>(message.wParam),
                                            static_cast<std::uint16_t>(message.lParam)}
                                  .ToString(),
                              receiver::ReceptionStatus::Clock::now());
      ShowStatus();
      return 0;
    case gui::WM_COMMAND:
      if (OnCommand(message.wParam)) return 0;
      return SkinnedFrame::HandleMessage(message);
    default:
      return SkinnedFrame::HandleMessage(message);
  }
}

// The reception was built again already; the old picture goes with its graph.
void ReceiverMainWindow::ShowEndOfBroadcast() {
  video_->Clear();
  status_.OnEndOfBroadcast();
  addresses_ = ListenAddresses(options_.receive);
  ShowStatus();
}

void ReceiverMainWindow::ShowStatus() {
  const QString port = QString::number(options_.receive.port);
  if (!reception_->Listening()) {
    video_->SetStatus(Text(kIdsStatusCannotListen).arg(port), skin::StatusIcon::kWarning);
    return;
  }
  const QString level = volume_.ShownText(Text(kIdsVolume), Text(kIdsMuted));
  if (!level.isEmpty()) {
    video_->SetStatus(level, skin::StatusIcon::kSound);
    return;
  }
  status_.SetAudioOnly(reception_->View().audioOnly);
  status_.SetHover(video_->underMouse());
  const receiver::StatusLine line = status_.Current(receiver::ReceptionStatus::Clock::now());
  switch (line.kind) {
    case receiver::StatusKind::kNone:
      video_->SetStatus(QString(), skin::StatusIcon::kNone);
      break;
    case receiver::StatusKind::kWaiting: {
      QString text = Text(kIdsStatusWaiting).arg(port);
      // On a host with several addresses, or on a chosen interface, which ones a sender can
      // reach.
      const bool chosen = !options_.receive.interfaceName.empty();
      if ((addresses_.size() > 1 || (chosen && !addresses_.empty())) &&
          options_.receive.bindAddress == net::kAnyAddress) {
        QStringList list;
        for (const std::string& a : addresses_) list << QString::fromStdString(a);
        text += QLatin1Char('\n') + Text(kIdsStatusListeningOn).arg(list.join(QLatin1String(", ")));
      }
      video_->SetStatus(text + TrustLine(), skin::StatusIcon::kWaiting);
      break;
    }
    case receiver::StatusKind::kReceiving:
      video_->SetStatus(
          Text(kIdsStatusReceiving).arg(QString::fromStdString(line.sender)) + TrustLine(),
          skin::StatusIcon::kReceiving);
      break;
    case receiver::StatusKind::kNoSignal:
      video_->SetStatus(Text(kIdsStatusNoSignal).arg(line.silentSeconds),
                        skin::StatusIcon::kWarning);
      break;
    case receiver::StatusKind::kEnded:
      video_->SetStatus(Text(kIdsStatusEnded) + TrustLine(), skin::StatusIcon::kWaiting);
      break;
    case receiver::StatusKind::kAudioOnly:
      video_->SetStatus(Text(kIdsStatusAudioOnly), skin::StatusIcon::kSound);
      break;
    case receiver::StatusKind::kStatistics:
      video_->SetStatus(StatisticsText(line.sender), skin::StatusIcon::kReceiving);
      break;
  }
}

// The sender, the formats of its streams, the bit rate, and what was lost on the way.
QString ReceiverMainWindow::StatisticsText(const std::string& sender) const {
  QStringList lines{Text(kIdsStatusReceiving).arg(QString::fromStdString(sender)) + TrustLine()};
  QStringList formats;
  for (const std::string& format : reception_->View().formats) {
    formats << QString::fromStdString(format);
  }
  if (!formats.isEmpty()) lines << formats.join(QStringLiteral(" · "));
  lines << Text(kIdsStatisticsRate).arg(bitRate_.BitsPerSecond() / 1e6, 0, 'f', 2);
  const receiver::ReceptionTotals totals = reception_->Totals();
  const receiver::ReassemblyStats& r = totals.reassembly;
  const receiver::ReceiveStats& t = totals.receive;
  const std::uint64_t dropped =
      r.Dropped() + t.queueOverflow + t.oversized + t.malformed + t.postFailed + t.discarded;
  lines << Text(kIdsStatisticsCounts)
               .arg(QString::number(totals.LostMessages()), QString::number(totals.fec.recovered),
                    QString::number(dropped));
  const receiver::TrustStats& trust = totals.trust;
  if (trust.Refused() != 0 || reception_->View().trustedOnly) {
    lines << Text(kIdsStatisticsTrust)
                 .arg(QString::number(trust.unsignedDropped), QString::number(trust.badSignature),
                      QString::number(trust.replayed), QString::number(trust.untrusted));
  }
  return lines.join(QLatin1Char('\n'));
}

// Under the waiting and receiving lines: that only trusted senders are received, or who signs
// what is received and how to trust it.
QString ReceiverMainWindow::TrustLine() const {
  const receiver::ReceptionView view = reception_->View();
  if (view.trustedOnly) return QLatin1Char('\n') + Text(kIdsStatusTrustedOnly);
  if (view.fingerprint && view.sender) {
    return QLatin1Char('\n') +
           Text(kIdsStatusSignedBy).arg(QString::fromStdString(view.fingerprint->Text())) +
           QStringLiteral("\nT: ") + Text(kIdsTrustMenu);
  }
  return {};
}

bool ReceiverMainWindow::OnCommand(std::uintptr_t command) {
  switch (command) {
    case skin::kCmdPlay:
      reception_->Play();
      return true;
    case skin::kCmdHelp:
    case kCmdAppHelp:
      lang::OpenWithBrowser((options_.applicationFolder / "help" / "help.htm").string(),
                            lang::kShowNormal);
      return true;
    case skin::kCmdLanguage:
      ShowLanguageMenu();
      return true;
    case skin::kCmdHomePage:
      lang::OpenWithBrowser(Strings().Text(kIdsHomePage), lang::kShowNormal);
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
  ShowStatus();
  if (!audioNoted_ && builder_->NoAudioDevice()) {
    audioNoted_ = true;
    if (options_.audioNote == AudioNote::kShow) NoteMissingAudioDevice();
  }
}

// Told once, without stopping anything. The note stands below the window, where it hides
// none of the video, unless the screen has no room there.
void ReceiverMainWindow::NoteMissingAudioDevice() {
  auto* box = new QMessageBox(QMessageBox::Information, windowTitle(), Text(kIdsNoAudioDevice),
                              QMessageBox::Ok, this);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setModal(false);
  box->adjustSize();
  const QPoint below = frameGeometry().bottomLeft() + QPoint(0, 1);
  const QScreen* screen = this->screen();
  if (screen != nullptr &&
      screen->availableGeometry().contains(QRect(below, box->frameGeometry().size()))) {
    box->move(below);
  }
  box->show();
}

QString ReceiverMainWindow::Text(int id) const {
  return QString::fromStdString(Languages().LookUp(Strings().Text(id)));
}

void ReceiverMainWindow::OnAboutCommand(std::uintptr_t command) {
  if (command == kTrustCommand) {
    TrustSender();
    return;
  }
  QMessageBox::about(this, Text(kIdsAboutTitle),
                     Text(kIdsAboutVersion) + QLatin1Char('\n') + Text(kIdsAboutText));
}

void ReceiverMainWindow::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier) {
    if (!LeaveFullScreen()) close();
    return;
  }
  if (e->key() == Qt::Key_F1 && e->modifiers() == Qt::NoModifier) {
    SendMessage({gui::WM_COMMAND, kCmdAppHelp, 0, nullptr});
    return;
  }
  if (volume_.OnKey(*e)) {
    ShowStatus();
    return;
  }
  if (e->key() == Qt::Key_I && e->modifiers() == Qt::NoModifier) {
    status_.ToggleStatistics();
    ShowStatus();
    return;
  }
  if (e->key() == Qt::Key_T && e->modifiers() == Qt::NoModifier) {
    SendMessage({skin::WM_SYSCOMMAND, kTrustCommand, 0, nullptr});
    return;
  }
  SkinnedFrame::keyPressEvent(e);
}

void ReceiverMainWindow::closeEvent(QCloseEvent* e) {
  StopReception();
  e->accept();
}

}  // namespace vantorel::receiver_app
