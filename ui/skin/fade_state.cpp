#include "ui/skin/fade_state.h"

namespace vantorel::skin {

StatePicture TargetFor(bool disabled, bool hovered, bool pressed) {
  if (disabled) return StatePicture::kDisabled;
  if (!hovered) return StatePicture::kNormal;
  return pressed ? StatePicture::kPressed : StatePicture::kHover;
}

void FadeState::Restart(StatePicture target) {
  if (fadeLevel_ != kRestarted) {
    composite_ = 1 - composite_;
    fadeLevel_ = kRestarted;
  }
  target_ = target;
}

bool FadeState::Advance() {
  if (fadeLevel_ == kFinished) return false;
  fadeLevel_ = static_cast<std::uint8_t>(fadeLevel_ + kStep);
  return true;
}

void BlendConstantAlpha(std::uint8_t* composite, const std::uint8_t* from, const std::uint8_t* to,
                        std::size_t count, std::uint8_t level) {
  const unsigned keep = 255u - level;
  for (std::size_t i = 0; i < count; ++i) {
    composite[i] = static_cast<std::uint8_t>((from[i] * keep + to[i] * level + 127u) / 255u);
  }
}

}  // namespace vantorel::skin
