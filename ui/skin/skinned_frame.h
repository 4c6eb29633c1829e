// The frameless main window both programs derive from: the whole window is client area,
// painted through a back buffer from the frame picture cut into nine pieces, with the skinned
// widgets on top. The outer 8 pixels resize the window and the rest of the frame drags it;
// the frame buttons minimise, maximise, restore and close it; a context menu stands in for
// the system menu. Subclasses add their widgets, extend the layout and handle the commands.
#pragma once

#include <QBasicTimer>
#include <QImage>
#include <QPen>
#include <QWidget>

#include <array>
#include <memory>
#include <vector>

#include "ui/skin/frame_event.h"
#include "ui/skin/frame_layout.h"
#include "ui/skin/image_button.h"
#include "ui/skin/skin_ids.h"
#include "ui/skin/skin_slider.h"
#include "ui/skin/widget_set.h"
#include "ui/tool_tip_registry.h"

class QMenu;

namespace vantorel::skin {

class FrameDrag;
class ResourceLibrary;

// The program's own window-menu entries are numbered 16 to 31 (its about entry is 16).
inline constexpr int kAboutCommand = 16;
inline constexpr int kLastMenuEntry = 31;
inline constexpr int kFrameTimerMs = 33;

// The sender's transport buttons (Play, Pause, Stop, Open) and its seek slider.
struct TransportWidgets {
  std::array<ImageButton*, kTransportButtons.size()> buttons{};
  SkinSlider* slider = nullptr;
};

class SkinnedFrame : public QWidget, public WidgetOwner, public ui::ToolTipRegistry {
 public:
  // Loads the frame picture and makes the frame buttons from the library; without a library
  // (null) the frame has no pictures but still lays out and works.
  SkinnedFrame(FrameProgram program, const ResourceLibrary* module, QWidget* parent = nullptr);
  ~SkinnedFrame() override;

  // WidgetOwner
  void InvalidateRect(const Rect& rect) override;
  // Handles the event at once: a command first goes to OnCommand, then to the frame's own
  // buttons; a slider drag to OnSliderDrag; a window action to the window; a menu entry to
  // OnMenuEntry.
  void Send(const FrameEvent& event) override;
  void SetCapture() override;
  void ReleaseCapture() override;
  Point CursorClientPos() const override;

  // ToolTipRegistry: one tooltip per widget that was added with one.
  int ToolTipCount() const override;
  QString ToolTipText(int index) const override;
  void SetToolTipText(int index, const QString& text) override;
  // The tooltip of the widget under the client point, if any.
  QString ToolTipAt(Point point) const;

  const FrameMetrics& Metrics() const { return metrics_; }
  Rect VideoArea() const;
  // Where the video widget goes for this video area: the whole window in full screen.
  QRect VideoWidgetRect(const Rect& area) const;
  // Full screen on and off (F11, F, or a double click on the video).
  void ToggleFullScreen();
  // Back to the normal window; false when it was not in full screen.
  bool LeaveFullScreen();
  // The window's size and place from the last run of `program` (the user's configuration),
  // when there is one; and kept for the next run.
  void RestoreGeometry(const QString& program);
  void SaveGeometry(const QString& program) const;
  ImageButton* GetFrameButton(FrameButton which) const;
  WidgetSet& Widgets() { return widgets_; }
  QMenu* SystemMenu() const { return systemMenu_; }
  // Adds a separator and an entry sending MenuEntryEvent with the identifier (16 to 31).
  void AppendSystemMenuItem(int id, const QString& text);
  // The leave handling when the pointer is outside the window (less its borders) or over
  // another window; run on every timer tick.
  void PollMouseLeave();
  const QImage& BackBuffer() const { return backBuffer_; }

 protected:
  // Takes ownership of the widget, adds it to the widget set and registers its tooltip
  // (toolText may be null: no tooltip).
  template <class W>
  W* AddWidget(std::unique_ptr<W> widget, int toolId, const char* toolText) {
    W* raw = widget.get();
    AdoptWidget(std::move(widget), toolId, toolText);
    return raw;
  }
  // An image button from the library's pictures, sending CommandEvent with button.command.
  ImageButton* AddButton(const ResourceLibrary* module, const SkinButtonInfo& button,
                         const Rect& firstRect);
  // Moves the widget and its tooltip.
  void PlaceWidget(SkinWidget* widget, const Rect& rect);
  // Makes the transport widgets from the library, with the tables' commands and tooltips.
  TransportWidgets AddTransport(const ResourceLibrary* module);
  // Places them by the sender's layout; called from LayoutWidgets.
  void PlaceTransport(const TransportWidgets& transport, int cx, int cy);

  // Places the frame's widgets for a cx x cy client area; subclasses place theirs after
  // calling this.
  virtual void LayoutWidgets(int cx, int cy);
  // The program's commands: true when handled; false lets the frame handle it (its own
  // buttons), or ignore it.
  virtual bool OnCommand(int) { return false; }
  // The seek slider's thumb dragged to `position`.
  virtual void OnSliderDrag(int) {}
  // Runs after each resize with the new video area.
  virtual void OnVideoAreaChanged(const Rect&) {}
  // Runs on each 33 ms tick after the mouse-leave polling and the widgets' ticks.
  virtual void OnTimerTick() {}
  // The program's window-menu entries, 16 to 31.
  virtual void OnMenuEntry(int) {}
  // Runs when ToggleFullScreen or LeaveFullScreen changed the full screen state (true: now
  // full screen).
  virtual void OnFullScreenChosen(bool) {}

  bool event(QEvent* e) override;
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void changeEvent(QEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void leaveEvent(QEvent* e) override;
  void contextMenuEvent(QContextMenuEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void timerEvent(QTimerEvent* e) override;

 private:
  struct Tool {
    SkinWidget* widget;
    int id;
    QString text;
    Rect rect;
  };

  const Tool* ToolAt(Point point) const;
  void AdoptWidget(std::unique_ptr<SkinWidget> widget, int toolId, const char* toolText);
  void Relayout();
  void DrawFrame(QPainter& painter) const;
  void MouseLeft();
  void BuildSystemMenu();
  void FrameCommand(int command);
  void DoWindowAction(WindowAction action);
  bool ShowsNormal() const;

  FrameProgram program_;
  FrameMetrics metrics_;
  QImage framePicture_;
  QImage backBuffer_;
  bool mouseInside_ = false;
  bool captureHeld_ = false;
  WidgetSet widgets_;
  std::vector<std::unique_ptr<SkinWidget>> owned_;
  std::array<ImageButton*, kFrameButtons.size()> frameButtons_{};
  std::vector<Tool> tools_;
  QMenu* systemMenu_ = nullptr;
  std::unique_ptr<FrameDrag> drag_;
  QBasicTimer timer_;
  QPen trackPen_;
};

}  // namespace vantorel::skin
