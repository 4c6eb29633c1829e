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
    "                     [--identity FILE | --unsigned] [--loop] FILE\n"
    "       vantorel-cast [--identity FILE] --show-identity\n";
constexpr const char* kUsageTail =
    "  --show-identity   print the fingerprint that receivers trust, and exit\n"
    "  --loop            start again from the beginning at the end of the file\n"
    "  --help            this text; --version the version\n";

struct Parsed {
  vantorel::tools::CastOptions cast;
  vantorel::sender::SinkOptions sink;
  vantorel::ui::IdentityChoice identity;
  bool showIdentity = false;
};

// The options, or nothing with `error` saying what is wrong.
std::optional<Parsed> Parse(int argc, char** argv, std::string& error) {
  Parsed p;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    vantorel::ui::Taken taken =
        vantorel::ui::TakeSendOption(argc, argv, i, p.sink, p.cast.fecPercent, error);
    if (taken == vantorel::ui::Taken::kNotMine)
      taken = vantorel::ui::TakeIdentityOption(argc, argv, i, p.identity, error);
    if (taken == vantorel::ui::Taken::kError) return std::nullopt;
    if (taken == vantorel::ui::Taken::kTaken) continue;
    if (arg == "--show-identity") {
      p.showIdentity = true;
    } else if (arg == "--loop") {
      p.cast.loop = true;
    } else if (arg.starts_with("-")) {
      error = "unknown option " + arg;
      return std::nullopt;
    } else if (!p.cast.path.empty()) {
      error = "one file only: " + arg;
      return std::nullopt;
    } else {
      p.cast.path = arg;
    }
  }
  if (p.showIdentity && !p.identity.sign) {
    error = "--show-identity and --unsigned exclude each other";
    return std::nullopt;
  }
  if (p.cast.path.empty() && !p.showIdentity) {
    error = "no file given";
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
  std::string error;
  auto parsed = Parse(argc, argv, error);
  if (!parsed) return vantorel::ui::UsageError(kProgram, error);
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
  if (const vantorel::HRESULT hr = window.Start(); vantorel::FAILED(hr)) {
    const std::string reason = vantorel::media::WithDecoderNames(
        vantorel::media::FailureText(vantorel::media::FailureOf(hr, window.MissingDecoders())),
        window.MissingDecoders());
    std::fprintf(stderr, "vantorel-cast: %s: Does not support this file type. %s\n",
                 parsed->cast.path.c_str(), reason.c_str());
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
