#include "tools/gallery/gallery_frame.h"

#include <QMessageBox>

#include "ui/skin/skin_bitmap.h"

namespace vantorel::tools {
namespace {

constexpr std::size_t kPlay = 0, kPause = 1, kStop = 2;
// Timer ticks in one second of pretend playback.
constexpr int kTicksPerSecond = 1000 / skin::kFrameTimerMs;

}  // namespace

GalleryFrame::GalleryFrame(const skin::ResourceLibrary* module, std::FILE* out)
    : SkinnedFrame(skin::FrameProgram::kSender, module), out_(out) {
  setWindowTitle(QStringLiteral("Vantorel - skin gallery"));
  transport_ = AddTransport(module);
  Slider()->SetRange(0, kDurationSeconds, false);
  AppendSystemMenuItem(skin::kAboutCommand, QStringLiteral("&About Gallery..."));
  Refresh();
}

void GalleryFrame::LayoutWidgets(int cx, int cy) {
  SkinnedFrame::LayoutWidgets(cx, cy);
  PlaceTransport(transport_, cx, cy);
}

// Every command is printed; the frame's own buttons then work as in the programs.
bool GalleryFrame::OnCommand(int command) {
  Command(command);
  return false;
}

void GalleryFrame::OnSliderDrag(int position) {
  position_ = position;
  if (out_ != nullptr) std::fprintf(out_, "seek %d\n", position_);
}

void GalleryFrame::Command(int id) {
  if (out_ != nullptr) {
    std::fprintf(out_, "command %d\n", id);
    std::fflush(out_);
  }
  switch (id) {
    case skin::kCmdPlay:
      playback_ = Playback::kRunning;
      break;
    case skin::kCmdPause:
      playback_ = Playback::kPaused;
      break;
    case skin::kCmdStop:
      playback_ = Playback::kStopped;
      position_ = 0;
      Slider()->SetPos(0);
      break;
    case skin::kCmdOpen:
      playback_ = Playback::kRunning;
      position_ = 0;
      break;
    default:
      return;
  }
  Refresh();
}

void GalleryFrame::Refresh() {
  transport_.buttons[kPlay]->SetDisabled(playback_ == Playback::kRunning);
  transport_.buttons[kPause]->SetDisabled(playback_ == Playback::kPaused);
  transport_.buttons[kStop]->SetDisabled(playback_ == Playback::kStopped);
}

void GalleryFrame::OnTimerTick() {
  if (playback_ != Playback::kRunning || ++ticks_ < kTicksPerSecond) return;
  ticks_ = 0;
  position_ = position_ >= kDurationSeconds ? 0 : position_ + 1;
  if (Widgets().Captured() != Slider()) Slider()->SetPos(position_);
}

void GalleryFrame::OnMenuEntry(int) {
  QMessageBox::about(this, QStringLiteral("About Gallery"),
                     QStringLiteral("Vantorel skin gallery: every skinned button and the slider."));
}

void GalleryFrame::Pose() {
  transport_.buttons[kPlay]->OnMouseEnter();
  const skin::Rect pause = transport_.buttons[kPause]->GetRect();
  transport_.buttons[kPause]->OnMouseEnter();
  transport_.buttons[kPause]->OnLButtonDown(pause.left + 1, pause.top + 1);
}

}  // namespace vantorel::tools
