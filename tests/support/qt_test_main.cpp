// Runs the tests inside a QApplication, on the offscreen platform unless told otherwise. What
// the windows remember between runs, and every other setting, goes to a folder of this run,
// never the user's.
#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdlib>

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  const QTemporaryDir settings;
  setenv("XDG_CONFIG_HOME", settings.path().toLocal8Bit().constData(), 1);
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
