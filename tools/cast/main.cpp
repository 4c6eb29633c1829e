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

namespace {

constexpr int kProgressIntervalMs = 1000;

void Usage() {
  std::fprintf(stderr,
               "usage: vantorel-cast [--port P] [--dest ADDR] [--loop] FILE\n"
               "  --port P     UDP destination port (default 5937)\n"
               "  --dest ADDR  destination address (default 255.255.255.255)\n"
               "  --loop       start again from the beginning at the end of the file\n");
}

struct Parsed {
  vantorel::tools::CastOptions cast;
  std::uint16_t port = vantorel::protocol::kBroadcastPort;
  std::uint32_t destination = vantorel::net::kLimitedBroadcast;
};

std::optional<Parsed> Parse(int argc, char** argv) {
  Parsed p;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--loop") {
      p.cast.loop = true;
    } else if (arg == "--port" && i + 1 < argc) {
      char* end = nullptr;
      const long port = std::strtol(argv[++i], &end, 10);
      if (*end != '\0' || port <= 0 || port > 65535) return std::nullopt;
      p.port = static_cast<std::uint16_t>(port);
    } else if (arg == "--dest" && i + 1 < argc) {
      auto address = vantorel::net::ParseIpv4(argv[++i]);
      if (!address) return std::nullopt;
      p.destination = *address;
    } else if (!arg.starts_with("--") && p.cast.path.empty()) {
      p.cast.path = arg;
    } else {
      return std::nullopt;
    }
  }
  if (p.cast.path.empty()) return std::nullopt;
  return p;
}

}  // namespace

int main(int argc, char** argv) {
  auto parsed = Parse(argc, argv);
  if (!parsed) {
    Usage();
    return 2;
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

  vantorel::sender::UdpBroadcastSink sink(parsed->port, parsed->destination);
  if (!sink.IsOpen()) {
    std::fprintf(stderr, "vantorel-cast: cannot open the broadcast socket\n");
    return 1;
  }
  vantorel::tools::CastWindow window(parsed->cast, sink, stderr);
  if (!window.Start()) {
    std::fprintf(stderr, "Does not support this file type.\n");
    return 1;
  }
  // Scripts wait for this line: the file plays and its samples go out from here on.
  std::fprintf(stderr, "vantorel-cast: broadcasting %s\n", parsed->cast.path.c_str());

  QTimer progress;
  QObject::connect(&progress, &QTimer::timeout, &window, [&window] { window.PrintProgress(); });
  progress.start(kProgressIntervalMs);

  app.exec();
  window.Finish();
  return window.ExitCode();
}
