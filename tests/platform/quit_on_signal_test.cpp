#include "platform/gui/quit_on_signal.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QTimer>
#include <cstdlib>
#include <thread>

namespace vantorel::gui {
namespace {

enum class Dispatcher { kGlib, kQt };
enum class Target { kProcess, kOtherThread };

struct SignalCase {
  const char* name;
  Dispatcher dispatcher;
  int signal;
  Target target;
  int exitCode;  // what the program returns through ExitCode(0)
};

void PrintTo(const SignalCase& c, std::ostream* os) {
  *os << c.name;
}

// Exit codes of the child that are not the program's own.
constexpr int kWrongDispatcher = 90;
constexpr int kNeverQuit = 91;
// Only ends a loop the signal never reached, so that the test fails instead of hanging.
constexpr int kGiveUpMs = 60'000;

// What a program's main does: the application, QuitOnSignal, the event loop, then ExitCode. A
// thread that does not block the signals stands for those the toolkit starts on its own.
int RunUntilSignal(const SignalCase& c) {
  if (c.dispatcher == Dispatcher::kQt) {
    setenv("QT_NO_GLIB", "1", 1);
  } else {
    unsetenv("QT_NO_GLIB");
  }
  int argc = 1;
  char name[] = "quit_on_signal_test";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);
  const bool glib = QCoreApplication::eventDispatcher()->inherits("QEventDispatcherGlib");
  if (glib != (c.dispatcher == Dispatcher::kGlib)) return kWrongDispatcher;
  // Started before QuitOnSignal, as the toolkit's own threads are. It returns from pause() only
  // once it has run a signal handler; the child's exit ends it.
  std::thread other([] { pause(); });
  const pthread_t otherThread = other.native_handle();
  other.detach();
  const QuitOnSignal quitOnSignal(&QCoreApplication::quit);

  QTimer::singleShot(0, &app, [&c, otherThread] {
    if (c.target == Target::kOtherThread) {
      pthread_kill(otherThread, c.signal);
    } else {
      kill(getpid(), c.signal);
    }
  });
  QTimer::singleShot(kGiveUpMs, &app, [] { QCoreApplication::exit(kNeverQuit); });
  const int code = QCoreApplication::exec();
  return code == 0 ? QuitOnSignal::ExitCode(0) : code;
}

class QuitOnSignalTest : public testing::TestWithParam<SignalCase> {};

// The signal ends the event loop and the program returns, rather than dying of the signal.
TEST_P(QuitOnSignalTest, TheEventLoopEndsAndTheProgramReturns) {
  EXPECT_EXIT(std::exit(RunUntilSignal(GetParam())), testing::ExitedWithCode(GetParam().exitCode),
              "");
}

INSTANTIATE_TEST_SUITE_P(
    Signals, QuitOnSignalTest,
    testing::Values(
        SignalCase{"TermGlib", Dispatcher::kGlib, SIGTERM, Target::kProcess, 0},
        SignalCase{"TermQtDispatcher", Dispatcher::kQt, SIGTERM, Target::kProcess, 0},
        SignalCase{"TermOnAnotherThread", Dispatcher::kGlib, SIGTERM, Target::kOtherThread, 0},
        SignalCase{"InterruptGlib", Dispatcher::kGlib, SIGINT, Target::kProcess, 130},
        SignalCase{"InterruptQtDispatcher", Dispatcher::kQt, SIGINT, Target::kProcess, 130},
        SignalCase{"InterruptOnAnotherThreadQtDispatcher", Dispatcher::kQt, SIGINT,
                   Target::kOtherThread, 130}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vantorel::gui
