// lunnet: receives what a Vantorel sender broadcasts on the local network and plays it.
#include <QApplication>

#include "platform/gui/quit_on_signal.h"
#include "receiver/app/receiver_app.h"
#include "ui/command_line.h"
#include "ui/lang/language_access.h"

namespace {

constexpr const char* kUsage =
    "usage: lunnet\n"
    "  Receives what a Vantorel sender broadcasts on the local network and plays it.\n"
    "  --help       this text; --version the version\n";

}  // namespace

int main(int argc, char** argv) {
  if (const int code = vantorel::ui::AnswerEarlyRequest(argc, argv, "lunnet", kUsage); code >= 0) {
    return code;
  }
  if (const int code = vantorel::ui::RefuseLongOptions(argc, argv, "lunnet"); code >= 0) {
    return code;
  }
  QApplication application(argc, argv);
  // Set up before the window, saved when the process ends.
  vantorel::lang::TheLanguageManager();
  // A termination request closes the window the way its close button does, so that
  // reception stops in order.
  const vantorel::gui::QuitOnSignal quitOnSignal(&QApplication::closeAllWindows);

  vantorel::receiver_app::ReceiverApp app;
  return vantorel::gui::QuitOnSignal::ExitCode(app.Run());
}
