// vantorel-cast: broadcasts a media file on the local network without a window, in real time,
// and ends the broadcast when the file ends or the tool is interrupted.
#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "platform/gui/quit_on_signal.h"
#include "platform/media/file_kind.h"
#include "platform/net/udp_socket.h"
#include "sender/udp_broadcast_sink.h"
#include "tools/cast/cast_window.h"
#include "ui/command_line.h"

namespace {

constexpr int kProgressIntervalMs = 1000;

constexpr const char* kProgram = "vantorel-cast";
constexpr const char* kUsage =
    "usage: vantorel-cast [--port P] [--dest ADDR] [--loop] FILE\n"
    "  --port P     UDP destination port (default 5937)\n"
    "  --dest ADDR  destination address (default 255.255.255.255)\n"
    "  --loop       start again from the beginning at the end of the file\n"
    "  --help       this text; --version the version\n";

struct Parsed {
  vantorel::tools::CastOptions cast;
  std::uint16_t port = vantorel::protocol::kBroadcastPort;
  std::uint32_t destination = vantorel::net::kLimitedBroadcast;
};

// The options, or nothing with `error` saying what is wrong.
std::optional<Parsed> Parse(int argc, char** argv, std::string& error) {
  Parsed p;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if ((arg == "--port" || arg == "--dest") && i + 1 >= argc) {
      error = arg + " needs a value";
      return std::nullopt;
    }
    if (arg == "--loop") {
      p.cast.loop = true;
    } else if (arg == "--port") {
      const std::string value = argv[++i];
      char* end = nullptr;
      const long port = std::strtol(value.c_str(), &end, 10);
      if (value.empty() || *end != '\0' || port <= 0 || port > 65535) {
        error = "not a port (1 to 65535): " + value;
        return std::nullopt;
      }
      p.port = static_cast<std::uint16_t>(port);
    } else if (arg == "--dest") {
      auto address = vantorel::net::ParseIpv4(argv[++i]);
      if (!address) {
        error = std::string("not an IPv4 address: ") + argv[i];
        return std::nullopt;
      }
      p.destination = *address;
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
  if (p.cast.path.empty()) {
    error = "no file given";
    return std::nullopt;
  }
  return p;
}

}  // namespace

int main(int argc, char** argv) {
  if (const int code = vantorel::ui::AnswerEarlyRequest(argc, argv, kProgram, kUsage); code >= 0) {
    return code;
  }
  std::string error;
  auto parsed = Parse(argc, argv, error);
  if (!parsed) return vantorel::ui::UsageError(kProgram, error);
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

  vantorel::sender::UdpBroadcastSink sink(parsed->port, parsed->destination);
  if (!sink.IsOpen()) {
    std::fprintf(stderr, "vantorel-cast: cannot open the broadcast socket\n");
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
  std::fprintf(stderr, "vantorel-cast: broadcasting %s\n", parsed->cast.path.c_str());

  QTimer progress;
  QObject::connect(&progress, &QTimer::timeout, &window, [&window] { window.PrintProgress(); });
  progress.start(kProgressIntervalMs);

  app.exec();
  window.Finish();
  return vantorel::gui::QuitOnSignal::ExitCode(window.ExitCode());
}
