// lunnet [OPTIONS]: receives what a Vantorel sender broadcasts on the local network and plays it.
#include <QApplication>
#include <QGuiApplication>
#include <QScreen>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/network_options.h"
#include "cli/trust_options.h"
#include "platform/gui/quit_on_signal.h"
#include "receiver/app/receiver_app.h"
#include "ui/lang/language_access.h"

namespace {

constexpr const char* kProgram = "lunnet";
constexpr const char* kUsageHead =
    "usage: lunnet [--port P] [--group ADDR] [--interface NAME] [--trust FINGERPRINT]...\n"
    "              [--fullscreen] [--screen N] [--prefer NAME]\n"
    "  Receives what a Vantorel sender broadcasts on the local network and plays it.\n";
constexpr const char* kDisplayUsage =
    "  --fullscreen      start in full screen (also remembered from the last run)\n"
    "  --screen N        show on monitor N, counted from 0\n"
    "  --prefer NAME     play the sender of that name while it is on the air, else the first\n"
    "                    heard (this run; the senders menu's choice is remembered)\n";
constexpr const char* kUsageTail =
    "  --help, -h        this text; --version, -V the version\n"
    "  An option's value may also follow an '=' (--port=6000).\n";

enum : int { kFullScreenOption = vantorel::cli::kProgramOptionIds, kScreenOption, kPreferOption };
constexpr option kDisplayOptions[] = {
    {"fullscreen", no_argument, nullptr, kFullScreenOption},
    {"screen", required_argument, nullptr, kScreenOption},
    {"prefer", required_argument, nullptr, kPreferOption},
};

// --fullscreen, --screen N and --prefer NAME.
vantorel::cli::Taken TakeDisplayOption(const vantorel::cli::GivenOption& given,
                                       vantorel::receiver::app::ReceiverWindowOptions& options,
                                       std::string& error) {
  switch (given.id) {
    case kFullScreenOption:
      options.fullScreen = vantorel::receiver::app::FullScreenAtStart::kAlways;
      return vantorel::cli::Taken::kTaken;
    case kPreferOption:
      if (given.value == nullptr || given.value[0] == '\0') return given.Missing(error);
      options.sender = given.value;
      return vantorel::cli::Taken::kTaken;
    case kScreenOption:
      break;
    default:
      return vantorel::cli::Taken::kNotMine;
  }
  if (given.value == nullptr) return given.Missing(error);
  const char* value = given.value;
  char* end = nullptr;
  const long screen = std::strtol(value, &end, 10);
  if (*value < '0' || *value > '9' || *end != '\0' || screen > 999) {
    error = std::string("bad value for --screen: ") + value + " (a monitor number from 0)";
    return vantorel::cli::Taken::kError;
  }
  options.screen = static_cast<int>(screen);
  return vantorel::cli::Taken::kTaken;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string usage = std::string(kUsageHead) + vantorel::cli::kReceiveOptionsUsage +
                            vantorel::cli::kTrustOptionsUsage + kDisplayUsage + kUsageTail;
  if (const int code = vantorel::cli::AnswerEarlyRequest(argc, argv, kProgram, usage.c_str());
      code >= 0) {
    return code;
  }
  vantorel::receiver::app::ReceiverWindowOptions options;
  std::vector<char*> toolkitArgs;
  const auto takeOption = [&options](const vantorel::cli::GivenOption& given, std::string& error) {
    vantorel::cli::Taken taken = vantorel::cli::TakeReceiveOption(given, options.receive, error);
    if (taken != vantorel::cli::Taken::kNotMine) return taken;
    taken = vantorel::cli::TakeTrustOption(given, options.trusted, error);
    if (taken != vantorel::cli::Taken::kNotMine) return taken;
    return TakeDisplayOption(given, options, error);
  };
  const std::vector<option> table = vantorel::cli::JoinOptions(
      {vantorel::cli::kReceiveOptions, vantorel::cli::kTrustOptions, kDisplayOptions});
  if (const int code = vantorel::cli::SplitToolkitArguments(argc, argv, kProgram, table, takeOption,
                                                            toolkitArgs);
      code >= 0) {
    return code;
  }
  auto trusted = vantorel::cli::LoadTrust(options.trusted);
  if (!trusted.value) {
    std::fprintf(stderr, "lunnet: %s\n", trusted.error.c_str());
    return 2;
  }
  options.trusted = std::move(*trusted.value);
  options.trustedSendersFile = vantorel::cli::TrustedSendersFile();
  options.countersFile = vantorel::cli::CountersFile();
  auto counters = vantorel::cli::LoadKnownCounters();
  if (!counters.value) {
    std::fprintf(stderr, "lunnet: %s\n", counters.error.c_str());
    return 2;
  }
  options.knownCounters = std::move(*counters.value);
  // The toolkit keeps the count and the arguments for the application's life.
  int toolkitArgc = static_cast<int>(toolkitArgs.size()) - 1;
  QApplication application(toolkitArgc, toolkitArgs.data());
  // The monitors are known only now.
  if (const auto screens = QGuiApplication::screens().size();
      options.screen && *options.screen >= screens) {
    std::fprintf(stderr, "lunnet: no screen %d (%d screens)\n", *options.screen,
                 static_cast<int>(screens));
    return 2;
  }
  // Set up before the window, saved when the process ends.
  vantorel::lang::TheLanguageManager();
  // A termination request closes the window the way its close button does, so that
  // reception stops in order.
  const vantorel::gui::QuitOnSignal quitOnSignal(&QApplication::closeAllWindows);

  vantorel::receiver::app::ReceiverApp app(std::move(options));
  return vantorel::gui::QuitOnSignal::ExitCode(app.Run());
}
