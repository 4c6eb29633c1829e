#include "platform/media/audio_level.h"

#include <gst/gst.h>

#include <algorithm>

namespace vantorel::media {

AudioLevel::~AudioLevel() {
  std::lock_guard hold(lock_);
  for (void* element : elements_) {
    g_object_weak_unref(G_OBJECT(element), reinterpret_cast<GWeakNotify>(&OnElementGone), this);
  }
}

void AudioLevel::SetPercent(int percent) {
  std::lock_guard hold(lock_);
  percent_ = std::clamp(percent, 0, 100);
  for (void* element : elements_) ApplyLocked(element);
}

void AudioLevel::SetMuted(bool muted) {
  std::lock_guard hold(lock_);
  muted_ = muted;
  for (void* element : elements_) ApplyLocked(element);
}

int AudioLevel::Percent() const {
  std::lock_guard hold(lock_);
  return percent_;
}

bool AudioLevel::Muted() const {
  std::lock_guard hold(lock_);
  return muted_;
}

void AudioLevel::Follow(void* volumeElement) {
  if (volumeElement == nullptr) return;
  std::lock_guard hold(lock_);
  elements_.push_back(volumeElement);
  g_object_weak_ref(G_OBJECT(volumeElement), reinterpret_cast<GWeakNotify>(&OnElementGone), this);
  ApplyLocked(volumeElement);
}

// On whichever thread drops the element's last reference.
void AudioLevel::OnElementGone(void* self, void* element) {
  auto* level = static_cast<AudioLevel*>(self);
  std::lock_guard hold(level->lock_);
  std::erase(level->elements_, element);
}

void AudioLevel::ApplyLocked(void* element) const {
  g_object_set(element, "volume", percent_ / 100.0, "mute", muted_ ? TRUE : FALSE, nullptr);
}

}  // namespace vantorel::media
