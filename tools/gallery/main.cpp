// vantorel-gallery [--pose] [--quit-after MS]: opens a skinned frame with every button and
// the seek slider. --pose holds Play in its hover look and Pause in its pressed look.
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>

#include "tools/gallery/gallery_frame.h"
#include "ui/skin/skin_bitmap.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const QStringList args = QApplication::arguments();
  auto library =
      vantorel::skin::ResourceLibrary::Load(vantorel::skin::ResourceLibrary::DefaultPath());
  if (!library) {
    QMessageBox::critical(nullptr, QStringLiteral("Vantorel"),
                          QStringLiteral("Error: Can not load resource files."));
    return 1;
  }
  vantorel::tools::GalleryFrame frame(library.get(), stdout);
  library.reset();  // the frame holds its pictures; the library is not needed any more
  frame.resize(560, 380);
  frame.show();
  if (args.contains(QStringLiteral("--pose"))) frame.Pose();
  const qsizetype quit = args.indexOf(QStringLiteral("--quit-after"));
  if (quit >= 0 && quit + 1 < args.size()) {
    QTimer::singleShot(args[quit + 1].toInt(), &app, &QApplication::quit);
  }
  return QApplication::exec();
}
