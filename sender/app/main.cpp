// strovan [FILE]: the sender. With a file it opens and broadcasts that file at once.
#include <QApplication>
#include <QStringList>
#include <QTimer>

#include <atomic>
#include <csignal>

#include "sender/app/sender_app.h"
#include "sender/app/sender_desktop.h"
#include "ui/lang/language_access.h"

namespace {

std::atomic<bool> gInterrupted{false};
void OnSignal(int) { gInterrupted.store(true); }
constexpr int kSignalPollMs = 50;

}  // namespace

int main(int argc, char** argv) {
  // The language manager is set up before the application runs and saved at exit.
  vantorel::lang::LanguageManager& languages = vantorel::lang::TheLanguageManager();
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("strovan"));
  QApplication::setQuitOnLastWindowClosed(true);

  // SIGINT and SIGTERM close the window as its close button does, so the broadcast still ends
  // with its end-of-broadcast datagrams.
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  QTimer signalPoll;
  QObject::connect(&signalPoll, &QTimer::timeout, &app, [] {
    if (gInterrupted.exchange(false)) QApplication::closeAllWindows();
  });
  signalPoll.start(kSignalPollMs);

  vantorel::sender::app::SenderAppOptions options;
  const QStringList args = QApplication::arguments();
  if (args.size() > 1) options.fileToOpen = args[1];
  vantorel::sender::app::QtSenderDesktop desktop(languages);
  vantorel::sender::app::SenderApp sender(std::move(options), desktop, languages);
  return sender.Run();
}
