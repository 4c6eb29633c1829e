// The gallery's window: the sender's frame with every button and the seek slider, playing a
// pretend two-minute file so that the transport buttons change state as in the sender.
#pragma once

#include <array>
#include <cstdio>

#include "ui/skin/skin_slider.h"
#include "ui/skin/skinned_frame.h"

namespace vantorel::tools {

class GalleryFrame : public skin::SkinnedFrame {
 public:
  // Commands and slider reports are printed to out (may be null).
  GalleryFrame(const skin::ResourceLibrary* module, std::FILE* out);

  skin::ImageButton* Transport(std::size_t index) const { return transport_.buttons[index]; }
  skin::SkinSlider* Slider() const { return transport_.slider; }
  int Position() const { return position_; }
  // Holds Play in its hover look and Pause in its pressed look, to look at the states.
  void Pose();

  static constexpr int kDurationSeconds = 120;

 protected:
  void LayoutWidgets(int cx, int cy) override;
  bool OnCommand(int command) override;
  void OnSliderDrag(int position) override;
  void OnTimerTick() override;
  void OnMenuEntry(int id) override;

 private:
  enum class Playback { kStopped, kRunning, kPaused };
  void Command(int id);
  void Refresh();

  std::FILE* out_;
  skin::TransportWidgets transport_;
  Playback playback_ = Playback::kStopped;
  int position_ = 0;
  int ticks_ = 0;
};

}  // namespace vantorel::tools
