// lunnet: receives what a Vantorel sender broadcasts on the local network and plays it.
#include <QApplication>

#include "platform/gui/quit_on_signal.h"
#include "receiver/app/receiver_app.h"
#include "ui/lang/language_access.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  // Set up before the window, saved when the process ends.
  vantorel::lang::TheLanguageManager();
  // A termination request closes the window the way its close button does, so that
  // reception stops in order.
  const vantorel::gui::QuitOnSignal quitOnSignal(&QApplication::closeAllWindows);

  vantorel::receiver_app::ReceiverApp app;
  return app.Run();
}
