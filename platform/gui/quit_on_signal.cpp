#include "platform/gui/quit_on_signal.h"

#include <atomic>
#include <csignal>

namespace vantorel::gui {
namespace {

// A signal handler may only set a lock-free flag; the event loop polls it.
std::atomic<bool> gSignalled{false};
std::atomic<bool> gInterrupted{false};
void OnSignal(int signal) {
  if (signal == SIGINT) gInterrupted.store(true);
  gSignalled.store(true);
}
constexpr int kInterruptedExitCode = 128 + SIGINT;
constexpr int kSignalPollMs = 50;

}  // namespace

QuitOnSignal::QuitOnSignal(std::function<void()> quit) {
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  QObject::connect(&poll_, &QTimer::timeout, &poll_, [quit = std::move(quit)] {
    if (gSignalled.exchange(false)) quit();
  });
  poll_.start(kSignalPollMs);
}

int QuitOnSignal::ExitCode(int normal) {
  return gInterrupted.load() ? kInterruptedExitCode : normal;
}

}  // namespace vantorel::gui
