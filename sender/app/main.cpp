// strovan [OPTIONS] [FILE|FOLDER...]: the sender. With a file it opens and broadcasts that file
// at once; several files, or a folder, play one after another as a list.
#include <QApplication>
#include <QFile>
#include <QStringList>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/network_options.h"
#include "cli/trust_options.h"
#include "platform/gui/quit_on_signal.h"
#include "sender/app/sender_app.h"
#include "sender/app/sender_desktop.h"
#include "ui/lang/language_access.h"

namespace {

constexpr const char* kProgram = "strovan";
constexpr const char* kUsageHead =
    "usage: strovan [--port P] [--dest ADDR] [--ttl N] [--interface NAME] [--fec PERCENT]\n"
    "               [--identity FILE | --unsigned] [--name TEXT] [--] [FILE]...\n"
    "  Opens FILE, plays it in the window and broadcasts it on the local network.\n";
constexpr const char* kUsageTail =
    "  --name TEXT       the name receivers list this sender by (default: the name given\n"
    "                    last in the window menu, else the host's name)\n"
    "  --help, -h        this text; --version, -V the version\n"
    "  An option's value may also follow an '=' (--port=6000). After --, FILE may start with\n"
    "  a '-'.\n";

enum : int { kNameOption = vantorel::cli::kProgramOptionIds };
constexpr option kOwnOptions[] = {{"name", required_argument, nullptr, kNameOption}};

}  // namespace

int main(int argc, char** argv) {
  const std::string usage = std::string(kUsageHead) + vantorel::cli::kSendOptionsUsage +
                            vantorel::cli::kIdentityOptionsUsage + kUsageTail;
  if (const int code = vantorel::cli::AnswerEarlyRequest(argc, argv, kProgram, usage.c_str());
      code >= 0) {
    return code;
  }
  vantorel::sender::app::SenderAppOptions options;
  vantorel::sender::app::SenderWindowOptions& window = options.window;
  std::vector<char*> toolkitArgs;
  std::vector<std::string> filesAfterOptions;  // those after "--"
  vantorel::cli::IdentityChoice identity;
  const auto takeOption = [&window, &identity](const vantorel::cli::GivenOption& given,
                                               std::string& error) {
    const vantorel::cli::Taken taken =
        vantorel::cli::TakeSendOption(given, window.sink, window.fecPercent, error);
    if (taken != vantorel::cli::Taken::kNotMine) return taken;
    if (given.id == kNameOption) {
      if (given.value == nullptr || given.value[0] == '\0') return given.Missing(error);
      window.name = given.value;
      return vantorel::cli::Taken::kTaken;
    }
    return vantorel::cli::TakeIdentityOption(given, identity, error);
  };
  const std::vector<option> table = vantorel::cli::JoinOptions(
      {vantorel::cli::kSendOptions, vantorel::cli::kIdentityOptions, kOwnOptions});
  if (const int code = vantorel::cli::SplitToolkitArguments(argc, argv, kProgram, table, takeOption,
                                                            toolkitArgs, &filesAfterOptions);
      code >= 0) {
    return code;
  }
  if (identity.sign) {
    auto key = vantorel::cli::LoadIdentity(identity);
    if (!key.value) {
      std::fprintf(stderr, "%s: %s\n", kProgram, key.error.c_str());
      return 2;
    }
    window.identity = std::move(key.value);
  }
  // An interface that refuses the socket ends the program before any window opens.
  if (!window.sink.interfaceName.empty()) {
    const vantorel::sender::UdpBroadcastSink probe(window.sink);
    if (!probe.IsOpen()) {
      std::fprintf(stderr, "%s: cannot open the broadcast socket: %s\n", kProgram,
                   probe.OpenError().c_str());
      return 1;
    }
  }
  // The language manager is set up before the application runs and saved at exit.
  vantorel::lang::LanguageManager& languages = vantorel::lang::TheLanguageManager();
  // The toolkit keeps the count and the arguments for the application's life.
  int toolkitArgc = static_cast<int>(toolkitArgs.size()) - 1;
  QApplication app(toolkitArgc, toolkitArgs.data());
  QApplication::setApplicationName(QStringLiteral("strovan"));
  QApplication::setQuitOnLastWindowClosed(true);

  // SIGINT and SIGTERM close the window as its close button does, so the broadcast still ends
  // with its end-of-broadcast datagrams.
  const vantorel::gui::QuitOnSignal quitOnSignal(&QApplication::closeAllWindows);

  // The toolkit has taken its own options out of what came before "--".
  QStringList files = QApplication::arguments().mid(1);
  for (const std::string& file : filesAfterOptions) files << QFile::decodeName(file.c_str());
  options.filesToOpen = files;
  if (files.size() > 1) {
    std::fprintf(stderr, "%s: playing the %lld files one after another\n", kProgram,
                 static_cast<long long>(files.size()));
  }
  vantorel::sender::app::QtSenderDesktop desktop(languages);
  vantorel::sender::app::SenderApp sender(std::move(options), desktop, languages);
  return vantorel::gui::QuitOnSignal::ExitCode(sender.Run());
}
