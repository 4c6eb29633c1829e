// Ends a program on SIGINT or SIGTERM from its event loop rather than from the signal handler,
// so that the program can still close in order (a broadcast sends its end-of-broadcast
// datagrams, reception stops its threads).
#pragma once

#include <functional>
#include <memory>

namespace vantorel::gui {

class QuitOnSignal {
 public:
  // Installs the handlers for SIGINT and SIGTERM; `quit` then runs on the event loop of the
  // constructing thread, once per signal received. One instance per process, made once the
  // application object exists. The handlers stay installed after the object is gone.
  explicit QuitOnSignal(std::function<void()> quit);
  ~QuitOnSignal();

  QuitOnSignal(const QuitOnSignal&) = delete;
  QuitOnSignal& operator=(const QuitOnSignal&) = delete;

  // The exit code of a program that ends now: 130, as shells expect, once an interrupt (Ctrl+C)
  // was received; `normal` otherwise (a termination request is an orderly end).
  static int ExitCode(int normal);

 private:
  class Wakeup;
  std::unique_ptr<Wakeup> wakeup_;
};

}  // namespace vantorel::gui
