// The local playback volume as the windows offer it: Up and Down change it by 5 %, M mutes
// and unmutes, the change shows on screen for a moment, and the level is remembered between
// runs in the user's configuration.
#pragma once

#include <QString>

#include <chrono>

#include "platform/media/audio_level.h"

class QKeyEvent;

namespace vantorel::skin {

class PlaybackVolume {
 public:
  static constexpr int kStepPercent = 5;
  static constexpr std::chrono::milliseconds kShownFor{1500};

  // `program` names the configuration file ("strovan", "lunnet"); the level starts as saved.
  explicit PlaybackVolume(const QString& program);

  media::AudioLevel& Level() { return level_; }
  // True when the key was one of Up, Down or M (without modifiers) and was taken.
  bool OnKey(const QKeyEvent& key);
  // While a change is shown: the level in words, from the texts "Volume %1%" and "Muted"
  // (already translated); empty otherwise.
  QString ShownText(const QString& volumeText, const QString& mutedText) const;

 private:
  void Save() const;

  QString program_;
  media::AudioLevel level_;
  std::chrono::steady_clock::time_point shownUntil_{};
};

}  // namespace vantorel::skin
