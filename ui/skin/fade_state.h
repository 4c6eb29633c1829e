// The cross-fade of an image button, without the pictures: which of the two buffers holds
// the picture on screen, which state picture the fade goes to, and how far it has come.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantorel::skin {

enum class StatePicture { kNone, kNormal, kHover, kPressed, kDisabled };

// The picture a button in this state fades to.
StatePicture TargetFor(bool disabled, bool hovered, bool pressed);

class FadeState {
 public:
  // The fade was restarted and none of its frames has been drawn yet.
  static constexpr std::uint8_t kRestarted = 31;
  static constexpr std::uint8_t kFinished = 255;
  static constexpr std::uint8_t kStep = 32;

  // Starts a fade to the target. When a frame of the running fade has been drawn, the buffer
  // last composed becomes the one the fade starts from; several restarts before the next
  // frame keep starting from the same picture.
  void Restart(StatePicture target);
  // Steps one frame; false when the fade is finished and the composite stays as it is.
  bool Advance();

  bool Running() const { return fadeLevel_ != kFinished; }
  std::uint8_t FadeLevel() const { return fadeLevel_; }
  StatePicture Target() const { return target_; }
  int CompositeIndex() const { return composite_; }
  int FadeFromIndex() const { return 1 - composite_; }

 private:
  int composite_ = 0;
  StatePicture target_ = StatePicture::kNone;
  std::uint8_t fadeLevel_ = kRestarted;
};

// composite = from x (255 - level) / 255 + to x level / 255 in every byte (all four channels
// of premultiplied pixels), rounded. The three ranges hold count bytes each.
void BlendConstantAlpha(std::uint8_t* composite, const std::uint8_t* from, const std::uint8_t* to,
                        std::size_t count, std::uint8_t level);

}  // namespace vantorel::skin
