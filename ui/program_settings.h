// A program's own settings (window place, volume, full screen, the sender's name, the chosen
// sender): the file <program>.conf in the user's settings folder, beside the key files and the
// language choice, so that everything a user set lives in one folder.
#pragma once

#include <QSettings>
#include <QString>

#include "platform/profile/program_folder.h"

namespace vantorel::ui {

// `program` is "strovan" or "lunnet". Without a known settings folder the toolkit's default
// place is used.
inline QSettings ProgramSettings(const QString& program) {
  const std::filesystem::path folder = profile::UserConfigFolder();
  if (folder.empty()) return QSettings(QStringLiteral("vantorel"), program);
  return QSettings(QString::fromStdString((folder / (program.toStdString() + ".conf")).string()),
                   QSettings::IniFormat);
}

}  // namespace vantorel::ui
