// vantorel-cast: broadcasts a media file on the local network without a window, in real time,
// and ends the broadcast when the file ends or the tool is interrupted.
#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "platform/gui/quit_on_signal.h"
#include "platform/media/file_kind.h"
#include "sender/udp_broadcast_sink.h"
#include "tools/cast/cast_window.h"
#include "ui/command_line.h"
#include "ui/network_options.h"
#include "ui/trust_options.h"

namespace {

constexpr int kProgressIntervalMs = 1000;

constexpr const char* kProgram = "vantorel-cast";
constexpr const char* kUsageHead =
    "usage: vantorel-cast [--port P] [--dest ADDR] [--ttl N] [--interface NAME] [--fec PERCENT]\n"
    "                     [--identity FILE | --unsigned] [--name TEXT] [--loop] [--] FILE\n"
    "       vantorel-cast [--identity FILE] --show-identity\n";
constexpr const char* kUsageTail =
    "  --show-identity   print the fingerprint that receivers trust, and exit\n"
    "  --name TEXT       the name receivers list this sender by (default: the host's name)\n"
    "  --loop            start again from the beginning at the end of the file\n"
    "  --help, -h        this text; --version, -V the version\n"
    "  An option's value may also follow an '=' (--port=6000). After --, FILE may start with\n"
    "  a '-'.\n";

struct Parsed {
  vantorel::tools::CastOptions cast;
  vantorel::sender::SinkOptions sink;
  vantorel::ui::IdentityChoice identity;
  bool showIdentity = false;
};

// The options, or nothing when the usage error has been told (exit code 2).
std::optional<Parsed> Parse(int argc, char** argv) {
  Parsed p;
  const auto take = [&p](int n, char** args, int& i, std::string& error) {
    vantorel::ui::Taken taken =
        vantorel::ui::TakeSendOption(n, args, i, p.sink, p.cast.fecPercent, error);
    if (taken == vantorel::ui::Taken::kNotMine)
      taken = vantorel::ui::TakeIdentityOption(n, args, i, p.identity, error);
    if (taken != vantorel::ui::Taken::kNotMine) return taken;
    const std::string_view arg = args[i];
    if (arg == "--show-identity") {
      p.showIdentity = true;
    } else if (arg == "--loop") {
      p.cast.loop = true;
    } else if (arg == "--name") {
      if (n <= i + 1 || args[i + 1][0] == '\0') {
        error = "--name needs a value";
        return vantorel::ui::Taken::kError;
      }
      p.cast.name = args[++i];
    } else {
      return vantorel::ui::Taken::kNotMine;
    }
    return vantorel::ui::Taken::kTaken;
  };
  const auto keep = [&p](const char* arg, vantorel::ui::Place place, std::string& error) {
    if (place == vantorel::ui::Place::kAmongOptions && arg[0] == '-') {
      error = "unknown option " + std::string(arg);
    } else if (!p.cast.path.empty()) {
      error = "one file only: " + std::string(arg);
    } else {
      p.cast.path = arg;
      return vantorel::ui::Taken::kTaken;
    }
    return vantorel::ui::Taken::kError;
  };
  if (vantorel::ui::WalkArguments(argc, argv, kProgram, take, keep) >= 0) return std::nullopt;
  std::string error;
  if (p.showIdentity && !p.identity.sign) {
    error = "--show-identity and --unsigned exclude each other";
  } else if (p.cast.path.empty() && !p.showIdentity) {
    error = "no file given";
  }
  if (!error.empty()) {
    vantorel::ui::UsageError(kProgram, error);
    return std::nullopt;
  }
  return p;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string usage = std::string(kUsageHead) + vantorel::ui::kSendOptionsUsage +
                            vantorel::ui::kIdentityOptionsUsage + kUsageTail;
  if (const int code = vantorel::ui::AnswerEarlyRequest(argc, argv, kProgram, usage.c_str());
      code >= 0) {
    return code;
  }
  auto parsed = Parse(argc, argv);
  if (!parsed) return 2;
  if (parsed->identity.sign) {
    auto identity = vantorel::ui::LoadIdentity(parsed->identity);
    if (!identity.value) {
      std::fprintf(stderr, "vantorel-cast: %s\n", identity.error.c_str());
      return 2;
    }
    if (parsed->showIdentity) {
      std::printf("%s\n", identity.value->FingerprintOf().Text().c_str());
      return 0;
    }
    parsed->cast.identity = std::move(identity.value);
  }
  // The graph refuses anything but a regular file (a FIFO would block its open for good);
  // the tool says why before it opens a socket.
  const vantorel::media::FileKind kind = vantorel::media::KindOfFile(parsed->cast.path);
  if (kind != vantorel::media::FileKind::kRegular) {
    const std::string_view reason = vantorel::media::RefusalReason(kind);
    std::fprintf(stderr, "vantorel-cast: %s %.*s\n", parsed->cast.path.c_str(),
                 static_cast<int>(reason.size()), reason.data());
    return 1;
  }
  QCoreApplication app(argc, argv);
  const vantorel::gui::QuitOnSignal quitOnSignal(&QCoreApplication::quit);

  vantorel::sender::UdpBroadcastSink sink(parsed->sink);
  if (!sink.IsOpen()) {
    std::fprintf(stderr, "vantorel-cast: cannot open the broadcast socket: %s\n",
                 sink.OpenError().c_str());
    return 1;
  }
  vantorel::tools::CastWindow window(parsed->cast, sink, stderr);
  if (vantorel::FAILED(window.Start())) {
    std::fprintf(stderr, "vantorel-cast: %s: %s\n", parsed->cast.path.c_str(),
                 vantorel::media::FailureMessage(window.LastOpenError()).c_str());
    return 1;
  }
  // Scripts wait for this line: the file plays and its samples go out from here on.
  if (parsed->cast.identity) {
    std::fprintf(stderr, "vantorel-cast: signing as %s\n",
                 parsed->cast.identity->FingerprintOf().Text().c_str());
  }
  std::fprintf(stderr, "vantorel-cast: broadcasting %s\n", parsed->cast.path.c_str());

  QTimer progress;
  QObject::connect(&progress, &QTimer::timeout, &window, [&window] { window.PrintProgress(); });
  progress.start(kProgressIntervalMs);

  app.exec();
  window.Finish();
  return vantorel::gui::QuitOnSignal::ExitCode(window.ExitCode());
}
