// lunnet: receives what a Vantorel sender broadcasts on the local network and plays it.
#include <QApplication>
#include <QTimer>

#include <atomic>
#include <csignal>

#include "receiver/app/receiver_app.h"
#include "ui/lang/language_access.h"

namespace {

std::atomic<bool> gStopRequested{false};

void OnSignal(int) { gStopRequested.store(true); }

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  // Set up before the window, saved when the process ends.
  vantorel::lang::TheLanguageManager();
  // A termination request closes the window the way its close button does, so that
  // reception stops in order.
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  QTimer signalPoll;
  QObject::connect(&signalPoll, &QTimer::timeout, &application, [] {
    if (gStopRequested.exchange(false)) QApplication::closeAllWindows();
  });
  signalPoll.start(100);

  vantorel::receiver_app::ReceiverApp app;
  return app.Run();
}
