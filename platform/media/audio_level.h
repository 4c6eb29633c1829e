// The local playback volume of a program: one level, kept in steps of 5 %, that every audio
// output of its graphs follows, now and when later graphs are built. Only what plays here
// changes; what is broadcast stays as it is. Free of GStreamer, so windows can hold one.
#pragma once

#include <mutex>
#include <vector>

namespace vantorel::media {

class AudioLevel {
 public:
  AudioLevel() = default;
  ~AudioLevel();
  AudioLevel(const AudioLevel&) = delete;
  AudioLevel& operator=(const AudioLevel&) = delete;

  // 0 to 100; clamped. Any thread.
  void SetPercent(int percent);
  void SetMuted(bool muted);
  int Percent() const;
  bool Muted() const;

  // An audio output's volume element (a GstElement) follows the level from now on, until it
  // is finalised. Any thread.
  void Follow(void* volumeElement);

 private:
  static void OnElementGone(void* self, void* element);
  void ApplyLocked(void* element) const;

  mutable std::mutex lock_;
  int percent_ = 100;
  bool muted_ = false;
  std::vector<void*> elements_;  // weakly referenced
};

}  // namespace vantorel::media
