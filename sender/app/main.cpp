// strovan [FILE]: the sender. With a file it opens and broadcasts that file at once.
#include <QApplication>
#include <QStringList>

#include "platform/gui/quit_on_signal.h"
#include "sender/app/sender_app.h"
#include "sender/app/sender_desktop.h"
#include "ui/command_line.h"
#include "ui/lang/language_access.h"

namespace {

constexpr const char* kUsage =
    "usage: strovan [FILE]\n"
    "  Opens FILE, plays it in the window and broadcasts it on the local network.\n"
    "  --help       this text; --version the version\n";

}  // namespace

int main(int argc, char** argv) {
  if (const int code = vantorel::ui::AnswerEarlyRequest(argc, argv, "strovan", kUsage); code >= 0) {
    return code;
  }
  if (const int code = vantorel::ui::RefuseLongOptions(argc, argv, "strovan"); code >= 0) {
    return code;
  }
  // The language manager is set up before the application runs and saved at exit.
  vantorel::lang::LanguageManager& languages = vantorel::lang::TheLanguageManager();
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("strovan"));
  QApplication::setQuitOnLastWindowClosed(true);

  // SIGINT and SIGTERM close the window as its close button does, so the broadcast still ends
  // with its end-of-broadcast datagrams.
  const vantorel::gui::QuitOnSignal quitOnSignal(&QApplication::closeAllWindows);

  vantorel::sender::app::SenderAppOptions options;
  const QStringList args = QApplication::arguments();
  if (args.size() > 1) options.fileToOpen = args[1];
  vantorel::sender::app::QtSenderDesktop desktop(languages);
  vantorel::sender::app::SenderApp sender(std::move(options), desktop, languages);
  return vantorel::gui::QuitOnSignal::ExitCode(sender.Run());
}
