#include "ui/skin/playback_volume.h"

#include <QKeyEvent>
#include <QSettings>

#include "ui/program_settings.h"

namespace vantorel::skin {
namespace {

const QString kPercentKey = QStringLiteral("audio/volume");
const QString kMutedKey = QStringLiteral("audio/muted");

}  // namespace

PlaybackVolume::PlaybackVolume(const QString& program) : program_(program) {
  const QSettings settings = ui::ProgramSettings(program_);
  level_.SetPercent(settings.value(kPercentKey, 100).toInt());
  level_.SetMuted(settings.value(kMutedKey, false).toBool());
}

bool PlaybackVolume::OnKey(const QKeyEvent& key) {
  if (key.modifiers() != Qt::NoModifier) return false;
  switch (key.key()) {
    case Qt::Key_Up:
      level_.SetPercent(level_.Percent() + kStepPercent);
      level_.SetMuted(false);
      break;
    case Qt::Key_Down:
      level_.SetPercent(level_.Percent() - kStepPercent);
      break;
    case Qt::Key_M:
      level_.SetMuted(!level_.Muted());
      break;
    default:
      return false;
  }
  shownUntil_ = std::chrono::steady_clock::now() + kShownFor;
  Save();
  return true;
}

QString PlaybackVolume::ShownText(const QString& volumeText, const QString& mutedText) const {
  if (std::chrono::steady_clock::now() >= shownUntil_) return {};
  return level_.Muted() ? mutedText : volumeText.arg(level_.Percent());
}

void PlaybackVolume::Save() const {
  QSettings settings = ui::ProgramSettings(program_);
  settings.setValue(kPercentKey, level_.Percent());
  settings.setValue(kMutedKey, level_.Muted());
}

}  // namespace vantorel::skin
