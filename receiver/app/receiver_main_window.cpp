#include "receiver/app/receiver_main_window.h"

#include <QCloseEvent>
#include <QCursor>
#include <QIcon>
#include <QKeyEvent>
#include <QMessageBox>
#include <QScreen>

#include <thread>

#include "platform/profile/program_folder.h"
#include "receiver/app/receiver_strings.h"
#include "ui/lang/language_access.h"
#include "ui/lang/language_manager.h"
#include "ui/lang/language_menu.h"
#include "ui/lang/open_with_browser.h"
#include "ui/skin/skin_bitmap.h"
#include "ui/skin/video_widget.h"

namespace vantorel::receiver_app {
namespace {

media::ReceiverGraphOptions GraphOptions(media::ReceiverOutput output, skin::VideoWidget* video) {
  media::ReceiverGraphOptions options;
  options.output = output;
  options.videoFrames = video;
  return options;
}

void AddReceiveCounts(ReceptionTotals& totals, const receiver::ReceiveStats& stats) {
  totals.datagramsPosted += stats.posted;
  totals.endOfBroadcastAccepted += stats.endOfBroadcast;
  totals.foreignSender += stats.foreignSender;
  totals.queueOverflow += stats.queueOverflow;
}

QRect ToQRect(const skin::Rect& r) { return QRect(r.left, r.top, r.Width(), r.Height()); }

}  // namespace

ReceiverMainWindow::ReceiverMainWindow(const skin::ResourceLibrary* module,
                                       ReceiverWindowOptions options)
    : SkinnedFrame(skin::FrameProgram::kReceiver, module),
      options_(std::move(options)),
      handle_(this),
      video_(new skin::VideoWidget(this, skin::WithoutPicture::kBlack)),
      builder_(GraphOptions(options_.output, video_)) {
  if (options_.applicationFolder.empty()) options_.applicationFolder = profile::ProgramFolder();
  setWindowTitle(Strings().String(kIdsCaption));
  AppendSystemMenuItem(skin::kAboutCommand, Strings().String(kIdsAboutMenu));
  setWindowIcon(QIcon(QStringLiteral(":/lunnet/lunnet.png")));
  hasWidgets_ = AllButtonPicturesLoad(module);
  if (!hasWidgets_) DropWidgets();
  resize(skin::kDefaultFrameWidth, skin::kDefaultFrameHeight);
  Languages().TranslateAllWindows();
  const skin::Rect area = VideoArea();
  video_->setGeometry(ToQRect(area));
  BuildPipeline(area);
}

ReceiverMainWindow::~ReceiverMainWindow() { TearDownPipeline(); }

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

void ReceiverMainWindow::BuildPipeline(const skin::Rect& area) {
  const receiver::VideoRect rect{area.left, area.top, area.Width(), area.Height()};
  graph_ = std::make_unique<receiver::PlaybackGraph>(builder_, this, rect);
  reassembler_ = std::make_unique<receiver::Reassembler>();
  reassembler_->AddRoute(protocol::kChannelMessage, graph_.get());
  socket_ = std::make_unique<receiver::ReceiveSocket>(handle_, options_.receive);
  if (!socket_->IsOpen()) {
    // Nothing is received until the program starts again; the window stays open.
    TearDownPipeline();
    return;
  }
  ++totals_.pipelinesBuilt;
}

void ReceiverMainWindow::TearDownPipeline() {
  if (socket_) {
    AddReceiveCounts(totals_, socket_->Stats());
    socket_.reset();
  }
  gui::RemovePostedMessages(this, gui::kMsgDatagram);
  if (reassembler_) {
    reassembler_->RemoveRoute(protocol::kChannelMessage, graph_.get());
    reassembler_.reset();
  }
  graph_.reset();
  video_->Clear();
}

// The posted wake-ups go first: the queue's own Clear arms the next one.
void ReceiverMainWindow::DiscardQueued() {
  ++discards_;
  gui::RemovePostedMessages(this, gui::kMsgDatagram);
  if (socket_) socket_->DiscardQueued();
}

ReceptionTotals ReceiverMainWindow::Totals() const {
  ReceptionTotals totals = totals_;
  if (socket_) AddReceiveCounts(totals, socket_->Stats());
  return totals;
}

bool ReceiverMainWindow::PostHandle::Post(gui::WindowMessage message) {
  std::lock_guard<std::mutex> hold(lock_);
  return inner_.Post(std::move(message));
}

void ReceiverMainWindow::PostHandle::Acquire() { std::lock_guard<std::mutex> hold(lock_); }

bool ReceiverMainWindow::event(QEvent* e) {
  handle_.Acquire();
  return SkinnedFrame::event(e);
}

std::intptr_t ReceiverMainWindow::HandleMessage(gui::WindowMessage& message) {
  switch (message.message) {
    case gui::kMsgDatagram:
      OnDatagram(message);
      return 0;
    case gui::kMsgEndOfBroadcast:
      OnEndOfBroadcast();
      return 0;
    case gui::WM_COMMAND:
      if (OnCommand(message.wParam)) return 0;
      return SkinnedFrame::HandleMessage(message);
    default:
      return SkinnedFrame::HandleMessage(message);
  }
}

// A message with a buffer carries one datagram, which it frees when the handling is over; one
// without says that the receive thread has queued a batch, taken here whole.
void ReceiverMainWindow::OnDatagram(gui::WindowMessage& message) {
  if (message.buffer) {
    Deliver(message.buffer.get(), message.wParam);
    return;
  }
  if (!socket_) return;
  const std::uint64_t discards = discards_;
  for (const receiver::Datagram& datagram : socket_->TakeDatagrams()) {
    // A rebuild for a new session drops what was queued behind its description.
    if (discards != discards_) break;
    Deliver(datagram.payload.get(), datagram.length);
  }
}

void ReceiverMainWindow::Deliver(const std::uint8_t* payload, std::size_t length) {
  if (!reassembler_) return;
  const protocol::Buffer datagram = protocol::MakeBuffer(payload, length);
  ++totals_.datagramsDelivered;
  reassembler_->Send(protocol::kChannelMessage, {&datagram, 1});
}

void ReceiverMainWindow::OnEndOfBroadcast() {
  ++totals_.endOfBroadcastHandled;
  TearDownPipeline();
  std::this_thread::yield();
  BuildPipeline(VideoArea());
}

bool ReceiverMainWindow::OnCommand(std::uintptr_t command) {
  switch (command) {
    case skin::kCmdPlay:
      if (graph_) graph_->Run();
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
  video_->setGeometry(ToQRect(area));
  if (graph_) graph_->SetVideoRect(area.left, area.top, area.Width(), area.Height());
}

void ReceiverMainWindow::OnTimerTick() {
  if (!audioNoted_ && builder_.NoAudioDevice()) {
    audioNoted_ = true;
    if (options_.audioNote == AudioNote::kShow) NoteMissingAudioDevice();
  }
}

// Told once, without stopping anything. The note stands below the window, where it hides
// none of the video, unless the screen has no room there.
void ReceiverMainWindow::NoteMissingAudioDevice() {
  auto* box = new QMessageBox(QMessageBox::Information, windowTitle(),
                              Text(kIdsNoAudioDevice),
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

void ReceiverMainWindow::OnAboutCommand(std::uintptr_t) {
  QMessageBox::about(this, Text(kIdsAboutTitle),
                     Text(kIdsAboutVersion) + QLatin1Char('\n') + Text(kIdsAboutText));
}

void ReceiverMainWindow::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier) {
    close();
    return;
  }
  if (e->key() == Qt::Key_F1 && e->modifiers() == Qt::NoModifier) {
    SendMessage({gui::WM_COMMAND, kCmdAppHelp, 0, nullptr});
    return;
  }
  SkinnedFrame::keyPressEvent(e);
}

void ReceiverMainWindow::closeEvent(QCloseEvent* e) {
  TearDownPipeline();
  e->accept();
}

}  // namespace vantorel::receiver_app
