// lunnet [OPTIONS]: receives what a Vantorel sender broadcasts on the local network and plays it.
#include <QApplication>

#include <string>
#include <vector>

#include "platform/gui/quit_on_signal.h"
#include "receiver/app/receiver_app.h"
#include "ui/command_line.h"
#include "ui/lang/language_access.h"
#include "ui/network_options.h"

namespace {

constexpr const char* kProgram = "lunnet";
constexpr const char* kUsageHead =
    "usage: lunnet [--port P] [--group ADDR] [--interface NAME]\n"
    "  Receives what a Vantorel sender broadcasts on the local network and plays it.\n";
constexpr const char* kUsageTail = "  --help            this text; --version the version\n";

}  // namespace

int main(int argc, char** argv) {
  const std::string usage =
      std::string(kUsageHead) + vantorel::ui::kReceiveOptionsUsage + kUsageTail;
  if (const int code = vantorel::ui::AnswerEarlyRequest(argc, argv, kProgram, usage.c_str());
      code >= 0) {
    return code;
  }
  vantorel::receiver_app::ReceiverWindowOptions options;
  std::vector<char*> toolkitArgs;
  const auto takeOption = [&options](int n, char** args, int& i, std::string& error) {
    return vantorel::ui::TakeReceiveOption(n, args, i, options.receive, error);
  };
  if (const int code =
          vantorel::ui::SplitToolkitArguments(argc, argv, kProgram, takeOption, toolkitArgs);
      code >= 0) {
    return code;
  }
  // The toolkit keeps the count and the arguments for the application's life.
  int toolkitArgc = static_cast<int>(toolkitArgs.size()) - 1;
  QApplication application(toolkitArgc, toolkitArgs.data());
  // Set up before the window, saved when the process ends.
  vantorel::lang::TheLanguageManager();
  // A termination request closes the window the way its close button does, so that
  // reception stops in order.
  const vantorel::gui::QuitOnSignal quitOnSignal(&QApplication::closeAllWindows);

  vantorel::receiver_app::ReceiverApp app(std::move(options));
  return vantorel::gui::QuitOnSignal::ExitCode(app.Run());
}
