#include "ui/skin/skinned_frame.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QCursor>
#include <QHelpEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QSettings>
#include <QToolTip>

#include "platform/gui/mailbox.h"
#include "ui/program_settings.h"
#include "ui/skin/frame_drag.h"
#include "ui/skin/skin_bitmap.h"

namespace vantorel::skin {
namespace {

QRect ToQRect(const Rect& r) {
  return QRect(r.left, r.top, r.Width(), r.Height());
}
Point ToPoint(const QPoint& p) {
  return Point{p.x(), p.y()};
}

// The pen the seek slider draws its track with.
const QColor kTrackColour(0x46, 0x52, 0x66);
constexpr int kTrackPenWidth = 2;

// Where the leave handling moves the pointer: outside every widget.
Point LeavePoint(FrameProgram program) {
  return program == FrameProgram::kSender ? Point{-1, -1} : Point{-1000, -1000};
}

}  // namespace

SkinnedFrame::SkinnedFrame(FrameProgram program, const ResourceLibrary* module, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint),
      program_(program),
      drag_(std::make_unique<FrameDrag>(*this)),
      trackPen_(kTrackColour, kTrackPenWidth, Qt::SolidLine, Qt::FlatCap) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  // Tooltips show over the window whether or not it is the active one.
  setAttribute(Qt::WA_AlwaysShowToolTips);
  setMouseTracking(true);
  setMinimumSize(kMinimumFrameWidth, kMinimumFrameHeight);
  if (module != nullptr) framePicture_ = LoadSkinBitmap(*module, kFramePicture);
  for (std::size_t i = 0; i < kFrameButtons.size(); ++i) {
    const Rect first = i == 0 ? kHomePageFirstRect : kSmallButtonFirstRect;
    frameButtons_[i] = AddButton(module, kFrameButtons[i], first);
  }
  BuildSystemMenu();
  timer_.start(kFrameTimerMs, this);
}

SkinnedFrame::~SkinnedFrame() {
  for (const auto& widget : owned_) widgets_.Remove(widget.get());
}

void SkinnedFrame::AdoptWidget(std::unique_ptr<SkinWidget> widget, int toolId,
                               const char* toolText) {
  if (toolText != nullptr) {
    tools_.push_back(Tool{widget.get(), toolId, QString::fromUtf8(toolText), widget->GetRect()});
  }
  widgets_.Add(widget.get());
  owned_.push_back(std::move(widget));
}

ImageButton* SkinnedFrame::AddButton(const ResourceLibrary* module, const SkinButtonInfo& button,
                                     const Rect& firstRect) {
  return AddWidget(std::make_unique<ImageButton>(*this, firstRect, CommandClick(button.command),
                                                 LoadButtonImages(module, button.pictures)),
                   button.toolId, button.toolText);
}

ImageButton* SkinnedFrame::GetFrameButton(FrameButton which) const {
  return frameButtons_[static_cast<std::size_t>(which)];
}

void SkinnedFrame::PlaceWidget(SkinWidget* widget, const Rect& rect) {
  if (widget == nullptr) return;
  widget->SetRect(rect);
  for (Tool& tool : tools_) {
    if (tool.widget == widget) tool.rect = rect;
  }
}

TransportWidgets SkinnedFrame::AddTransport(const ResourceLibrary* module) {
  TransportWidgets transport;
  for (std::size_t i = 0; i < transport.buttons.size(); ++i) {
    transport.buttons[i] = AddButton(module, kTransportButtons[i], kTransportFirstRect);
  }
  transport.slider =
      AddWidget(std::make_unique<SkinSlider>(kSeekTrackFirstRect, *this, kSeekThumbFirstRect,
                                             CommandClick(kSeekSlider.command),
                                             LoadButtonImages(module, kSeekSlider.pictures)),
                kSeekSlider.toolId, kSeekSlider.toolText);
  return transport;
}

void SkinnedFrame::PlaceTransport(const TransportWidgets& transport, int cx, int cy) {
  const TransportLayout layout = LayoutTransport(metrics_, cx, cy);
  for (std::size_t i = 0; i < transport.buttons.size(); ++i) {
    PlaceWidget(transport.buttons[i], layout.buttons[i]);
  }
  if (transport.slider == nullptr) return;
  transport.slider->SetTrackRect(layout.track);
  transport.slider->SetTop(layout.thumbTop);
  PlaceWidget(transport.slider, transport.slider->GetRect());
}

Rect SkinnedFrame::VideoArea() const {
  return skin::VideoArea(metrics_, width(), height());
}

QRect SkinnedFrame::VideoWidgetRect(const Rect& area) const {
  return isFullScreen() ? rect() : ToQRect(area);
}

void SkinnedFrame::ToggleFullScreen() {
  const bool fullScreen = !isFullScreen();
  if (fullScreen) {
    showFullScreen();
  } else {
    showNormal();
  }
  OnFullScreenChosen(fullScreen);
}

bool SkinnedFrame::LeaveFullScreen() {
  if (!isFullScreen()) return false;
  showNormal();
  OnFullScreenChosen(false);
  return true;
}

void SkinnedFrame::RestoreGeometry(const QString& program) {
  const QSettings settings = ui::ProgramSettings(program);
  const QByteArray saved = settings.value(QStringLiteral("window/geometry")).toByteArray();
  if (!saved.isEmpty()) restoreGeometry(saved);
}

void SkinnedFrame::SaveGeometry(const QString& program) const {
  QSettings settings = ui::ProgramSettings(program);
  settings.setValue(QStringLiteral("window/geometry"), saveGeometry());
}

bool SkinnedFrame::ShowsNormal() const {
  return (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)) == 0;
}

void SkinnedFrame::LayoutWidgets(int cx, int cy) {
  const FrameButtonLayout l = LayoutFrameButtons(metrics_, program_, cx, cy, ShowsNormal());
  const std::array<Rect, kFrameButtons.size()> rects{l.homePage, l.language, l.help, l.minimise,
                                                     l.maximise, l.restore,  l.close};
  for (std::size_t i = 0; i < rects.size(); ++i) PlaceWidget(frameButtons_[i], rects[i]);
}

void SkinnedFrame::Relayout() {
  if (program_ == FrameProgram::kSender && isMinimized()) return;
  LayoutWidgets(width(), height());
  OnVideoAreaChanged(VideoArea());
}

void SkinnedFrame::resizeEvent(QResizeEvent*) {
  const qreal ratio = devicePixelRatioF();
  const QSize pixels = size() * ratio;
  if (backBuffer_.size() != pixels) {
    backBuffer_ = QImage(pixels, QImage::Format_RGB32);
    backBuffer_.setDevicePixelRatio(ratio);
    if (!backBuffer_.isNull()) backBuffer_.fill(Qt::black);
  }
  Relayout();
}

void SkinnedFrame::changeEvent(QEvent* e) {
  if (e->type() == QEvent::WindowStateChange) Relayout();
  QWidget::changeEvent(e);
}

void SkinnedFrame::DrawFrame(QPainter& painter) const {
  if (framePicture_.isNull()) return;
  for (const FramePiece& piece : NinePieces(metrics_, width(), height())) {
    if (piece.destination.Width() <= 0 || piece.destination.Height() <= 0) continue;
    painter.drawImage(ToQRect(piece.destination), framePicture_, ToQRect(piece.source));
  }
}

void SkinnedFrame::paintEvent(QPaintEvent* e) {
  if (backBuffer_.isNull()) return;
  {
    QPainter memory(&backBuffer_);
    memory.setClipRegion(e->region());
    DrawFrame(memory);
    memory.setPen(trackPen_);
    widgets_.DrawAll(memory);
  }
  QPainter screen(this);
  screen.setClipRegion(e->region());
  screen.drawImage(0, 0, backBuffer_);
}

void SkinnedFrame::InvalidateRect(const Rect& rect) {
  update(ToQRect(rect));
}

void SkinnedFrame::SetCapture() {
  captureHeld_ = true;
}

void SkinnedFrame::ReleaseCapture() {
  captureHeld_ = false;
  widgets_.CancelCapture();
}

Point SkinnedFrame::CursorClientPos() const {
  return ToPoint(mapFromGlobal(QCursor::pos()));
}

bool SkinnedFrame::event(QEvent* e) {
  if (e->type() == QEvent::Hide && captureHeld_) {
    // A hidden window gets no release: the press is over, as when the capture is taken away.
    ReleaseCapture();
  }
  if (e->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(e);
    if (const Tool* tool = ToolAt(ToPoint(help->pos()))) {
      QToolTip::showText(help->globalPos(), tool->text, this, ToQRect(tool->rect));
      return true;
    }
    QToolTip::hideText();
    e->ignore();
    return true;
  }
  return QWidget::event(e);
}

void SkinnedFrame::Send(const FrameEvent& event) {
  std::visit(gui::Overloaded{
                 [this](const CommandEvent& e) {
                   if (!OnCommand(e.command)) FrameCommand(e.command);
                 },
                 [this](const SliderDragEvent& e) { OnSliderDrag(e.position); },
                 [this](const WindowActionEvent& e) { DoWindowAction(e.action); },
                 [this](const MenuEntryEvent& e) {
                   if (e.id >= kAboutCommand && e.id <= kLastMenuEntry) OnMenuEntry(e.id);
                 },
             },
             event);
}

void SkinnedFrame::FrameCommand(int command) {
  switch (command) {
    case kCmdMinimize:
      return Send(WindowActionEvent{WindowAction::kMinimize});
    case kCmdMaximize:
      return Send(WindowActionEvent{WindowAction::kMaximize});
    case kCmdRestore:
      return Send(WindowActionEvent{WindowAction::kRestore});
    case kCmdClose:
      return Send(WindowActionEvent{WindowAction::kClose});
    default:
      return;
  }
}

void SkinnedFrame::DoWindowAction(WindowAction action) {
  switch (action) {
    case WindowAction::kMinimize:
      showMinimized();
      break;
    case WindowAction::kMaximize:
      showMaximized();
      break;
    case WindowAction::kRestore:
      showNormal();
      break;
    case WindowAction::kClose:
      close();
      break;
  }
}

void SkinnedFrame::mousePressEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) {
    QWidget::mousePressEvent(e);
    return;
  }
  const Point p = ToPoint(e->position().toPoint());
  const FrameHit hit = FrameHitTest(metrics_, p, width(), height());
  if (hit != FrameHit::kClient) {
    drag_->StartResize(EdgesFor(hit), e->globalPosition().toPoint());
    return;
  }
  if (widgets_.OnLButtonDown(*this, 0, p)) return;
  if (VideoArea().Contains(p)) return;
  drag_->StartMove(e->globalPosition().toPoint());
}

void SkinnedFrame::mouseMoveEvent(QMouseEvent* e) {
  if (drag_->Active()) {
    drag_->Follow(e->globalPosition().toPoint());
    return;
  }
  const Point p = ToPoint(e->position().toPoint());
  mouseInside_ = true;
  widgets_.OnMouseMove(0, p);
  if (e->buttons() == Qt::NoButton) {
    setCursor(CursorFor(FrameHitTest(metrics_, p, width(), height())));
  }
}

void SkinnedFrame::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) {
    QWidget::mouseReleaseEvent(e);
    return;
  }
  drag_->End();
  widgets_.OnLButtonUp(0, ToPoint(e->position().toPoint()));
}

void SkinnedFrame::MouseLeft() {
  mouseInside_ = false;
  widgets_.OnMouseMove(0, LeavePoint(program_));
}

void SkinnedFrame::leaveEvent(QEvent* e) {
  if (!captureHeld_) MouseLeft();
  QWidget::leaveEvent(e);
}

void SkinnedFrame::PollMouseLeave() {
  if (!mouseInside_ || captureHeld_) return;
  const QPoint cursor = QCursor::pos();
  const QWidget* under = QApplication::widgetAt(cursor);
  if (under != nullptr && under->window() == this) {
    const QRect inner =
        frameGeometry().adjusted(metrics_.left, metrics_.top, -metrics_.right, -metrics_.top);
    if (!inner.contains(cursor)) MouseLeft();
  } else {
    MouseLeft();
  }
}

void SkinnedFrame::timerEvent(QTimerEvent* e) {
  if (e->timerId() != timer_.timerId()) {
    QWidget::timerEvent(e);
    return;
  }
  PollMouseLeave();
  widgets_.TickAll();
  OnTimerTick();
}

void SkinnedFrame::BuildSystemMenu() {
  systemMenu_ = new QMenu(this);
  auto add = [this](const QString& text, WindowAction action) {
    QAction* entry = systemMenu_->addAction(text);
    connect(entry, &QAction::triggered, this, [this, action] { Send(WindowActionEvent{action}); });
    return entry;
  };
  add(QStringLiteral("Mi&nimize"), WindowAction::kMinimize);
  QAction* maximize = add(QStringLiteral("Ma&ximize"), WindowAction::kMaximize);
  QAction* restore = add(QStringLiteral("&Restore"), WindowAction::kRestore);
  add(QStringLiteral("&Close\tAlt+F4"), WindowAction::kClose);
  connect(systemMenu_, &QMenu::aboutToShow, this, [this, maximize, restore] {
    maximize->setVisible(ShowsNormal());
    restore->setVisible(!ShowsNormal());
  });
}

void SkinnedFrame::AppendSystemMenuItem(int id, const QString& text) {
  if (text.isEmpty()) return;
  systemMenu_->addSeparator();
  QAction* action = systemMenu_->addAction(text);
  connect(action, &QAction::triggered, this, [this, id] { Send(MenuEntryEvent{id}); });
}

void SkinnedFrame::contextMenuEvent(QContextMenuEvent* e) {
  const Point p = ToPoint(e->pos());
  if (VideoArea().Contains(p) || widgets_.Captured() != nullptr) return;
  systemMenu_->popup(e->globalPos());
}

void SkinnedFrame::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Space && e->modifiers() == Qt::AltModifier) {
    systemMenu_->popup(mapToGlobal(QPoint(metrics_.left, metrics_.top)));
    return;
  }
  if ((e->key() == Qt::Key_F11 || e->key() == Qt::Key_F) && e->modifiers() == Qt::NoModifier) {
    ToggleFullScreen();
    return;
  }
  QWidget::keyPressEvent(e);
}

void SkinnedFrame::mouseDoubleClickEvent(QMouseEvent* e) {
  const Point p = ToPoint(e->position().toPoint());
  if (e->button() == Qt::LeftButton && (isFullScreen() || VideoArea().Contains(p))) {
    ToggleFullScreen();
    return;
  }
  QWidget::mouseDoubleClickEvent(e);
}

int SkinnedFrame::ToolTipCount() const {
  return static_cast<int>(tools_.size());
}

QString SkinnedFrame::ToolTipText(int index) const {
  if (index < 0 || index >= ToolTipCount()) return {};
  return tools_[static_cast<std::size_t>(index)].text;
}

void SkinnedFrame::SetToolTipText(int index, const QString& text) {
  if (index < 0 || index >= ToolTipCount()) return;
  tools_[static_cast<std::size_t>(index)].text = text;
}

const SkinnedFrame::Tool* SkinnedFrame::ToolAt(Point point) const {
  for (const Tool& tool : tools_) {
    if (tool.rect.Contains(point)) return &tool;
  }
  return nullptr;
}

QString SkinnedFrame::ToolTipAt(Point point) const {
  const Tool* tool = ToolAt(point);
  return tool != nullptr ? tool->text : QString();
}

}  // namespace vantorel::skin
