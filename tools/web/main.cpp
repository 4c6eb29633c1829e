// vantorel-web: receives what a sender broadcasts, as a receiver does, and serves a page that
// plays it in any browser on the network (WebRTC, with an HTTP offer and answer), and with
// --janus also through a Janus server.
#include <glib-unix.h>
#include <glib.h>
#include <gst/gst.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/network_options.h"
#include "cli/trust_options.h"
#include "platform/net/udp_socket.h"
#include "platform/profile/program_folder.h"
#include "receiver/reception.h"
#include "tools/web/http_server.h"
#include "tools/web/janus_publisher.h"
#include "tools/web/web_graph.h"
#include "tools/web/web_output.h"
#include "tools/web/web_status.h"

namespace {

constexpr const char* kProgram = "vantorel-web";
constexpr const char* kUsageHead =
    "usage: vantorel-web [--port P] [--group ADDR] [--interface NAME] [--http-port P]\n"
    "                    [--max-viewers N] [--janus URL] [--janus-mountpoint ID]\n"
    "                    [--trust FINGERPRINT]... [--sender WHO | --prefer WHO] [--seconds S]\n";
constexpr const char* kUsageTail =
    "  --http-port P     the page's HTTP port (default 8080); it listens on the address of\n"
    "                    --interface when given, else on every interface\n"
    "  --max-viewers N   browsers watching at once, 1 to 1000 (default 20)\n"
    "  --janus URL       also publish into a mountpoint of this Janus server's streaming\n"
    "                    plugin (its HTTP API, e.g. http://host:8088/janus)\n"
    "  --janus-mountpoint ID  the mountpoint's number (default 5937)\n"
    "  --seconds S       stop after S seconds\n"
    "  --help, -h        this text; --version, -V the version\n"
    "  An option's value may also follow an '=' (--http-port=8081).\n";

struct Parsed {
  vantorel::receiver::ReceiveOptions receive;
  std::vector<vantorel::protocol::Fingerprint> trusted;
  vantorel::receiver::SenderChoice sender;
  long httpPort = vantorel::web::kDefaultHttpPort;
  long maxViewers = vantorel::web::kDefaultMaxViewers;
  std::string janus;
  long mountpoint = vantorel::web::janus::kDefaultMountpoint;
  double seconds = 0;
};

enum : int {
  kHttpPortOption = vantorel::cli::kProgramOptionIds,
  kMaxViewersOption,
  kJanusOption,
  kMountpointOption,
  kSecondsOption,
};
constexpr option kOwnOptions[] = {
    {"http-port", required_argument, nullptr, kHttpPortOption},
    {"max-viewers", required_argument, nullptr, kMaxViewersOption},
    {"janus", required_argument, nullptr, kJanusOption},
    {"janus-mountpoint", required_argument, nullptr, kMountpointOption},
    {"seconds", required_argument, nullptr, kSecondsOption},
};

// A whole number from `low` to `high`.
bool ReadNumber(const char* text, long low, long high, long& out) {
  if (text == nullptr || *text == '\0') return false;
  char* end = nullptr;
  out = std::strtol(text, &end, 10);
  return *end == '\0' && out >= low && out <= high;
}

vantorel::cli::Taken TakeOwn(const vantorel::cli::GivenOption& given, Parsed& p,
                             std::string& error) {
  using vantorel::cli::Taken;
  if (given.value == nullptr) return given.Missing(error);
  bool ok = true;
  switch (given.id) {
    case kHttpPortOption:
      ok = ReadNumber(given.value, 0, 65535, p.httpPort);
      break;
    case kMaxViewersOption:
      ok = ReadNumber(given.value, 1, 1000, p.maxViewers);
      break;
    case kJanusOption:
      p.janus = given.value;
      ok = !p.janus.empty();
      break;
    case kMountpointOption:
      ok = ReadNumber(given.value, 1, 2147483647, p.mountpoint);
      break;
    case kSecondsOption: {
      char* end = nullptr;
      p.seconds = std::strtod(given.value, &end);
      ok = *given.value != '\0' && *end == '\0' && p.seconds >= 0;
      break;
    }
    default:
      return Taken::kNotMine;
  }
  if (ok) return Taken::kTaken;
  error = "bad value for " + given.name + ": " + given.value;
  return Taken::kError;
}

// The options, or nothing when the usage error has been told (exit code 2).
std::optional<Parsed> Parse(int argc, char** argv) {
  Parsed p;
  const auto take = [&p](const vantorel::cli::GivenOption& given, std::string& error) {
    vantorel::cli::Taken taken = vantorel::cli::TakeReceiveOption(given, p.receive, error);
    if (taken == vantorel::cli::Taken::kNotMine)
      taken = vantorel::cli::TakeTrustOption(given, p.trusted, error);
    if (taken == vantorel::cli::Taken::kNotMine)
      taken = vantorel::cli::TakeSenderChoice(given, p.sender, error);
    if (taken == vantorel::cli::Taken::kNotMine) taken = TakeOwn(given, p, error);
    return taken;
  };
  const std::vector<option> table =
      vantorel::cli::JoinOptions({vantorel::cli::kReceiveOptions, vantorel::cli::kTrustOptions,
                                  vantorel::cli::kSenderChoiceOptions, kOwnOptions});
  if (vantorel::cli::ParseArguments(argc, argv, kProgram, table, take,
                                    vantorel::cli::RefuseArgument) >= 0) {
    return std::nullopt;
  }
  return p;
}

struct Quit {
  GMainLoop* loop = nullptr;
  int code = 0;
};

}  // namespace

int main(int argc, char** argv) {
  const std::string usage = std::string(kUsageHead) + vantorel::cli::kReceiveOptionsUsage +
                            vantorel::cli::kTrustOptionsUsage + vantorel::cli::kSenderChoiceUsage +
                            kUsageTail;
  if (const int code = vantorel::cli::AnswerEarlyRequest(argc, argv, kProgram, usage.c_str());
      code >= 0) {
    return code;
  }
  auto parsed = Parse(argc, argv);
  if (!parsed) return 2;
  auto trusted = vantorel::cli::LoadTrust(parsed->trusted);
  if (!trusted.value) {
    std::fprintf(stderr, "vantorel-web: %s\n", trusted.error.c_str());
    return 2;
  }
  // A browser that leaves in the middle of a write must not end the program.
  std::signal(SIGPIPE, SIG_IGN);

  std::string error;
  std::unique_ptr<vantorel::web::WebOutput> output = vantorel::web::WebOutput::Create(error);
  if (!output) {
    std::fprintf(stderr, "vantorel-web: %s\n", error.c_str());
    return 1;
  }
  const std::filesystem::path folder = vantorel::profile::ProgramFolder();
  vantorel::web::WebStatusOptions statusOptions;
  statusOptions.udpPort = parsed->receive.port;
  statusOptions.texts = vantorel::web::LoadStatusTexts(vantorel::web::EnglishLanguageFile());
  statusOptions.maxViewers = static_cast<std::size_t>(parsed->maxViewers);
  statusOptions.janusUrl = parsed->janus;
  statusOptions.mountpoint = static_cast<int>(parsed->mountpoint);
  vantorel::web::WebStatus status(statusOptions);

  vantorel::web::WebGraphBuilder builder(*output);
  vantorel::receiver::ReceptionOptions receptionOptions;
  receptionOptions.receive = parsed->receive;
  receptionOptions.graph = &builder;
  receptionOptions.trusted = std::move(*trusted.value);
  receptionOptions.choice = parsed->sender;
  vantorel::receiver::Reception reception(std::move(receptionOptions), &status);
  if (!reception.Listening()) {
    std::fprintf(stderr, "vantorel-web: cannot listen on UDP port %u\n",
                 unsigned{parsed->receive.port});
    return 1;
  }
  std::fprintf(stderr, "vantorel-web: listening on UDP port %u\n", unsigned{parsed->receive.port});

  vantorel::web::WebServerOptions serverOptions;
  serverOptions.port = static_cast<std::uint16_t>(parsed->httpPort);
  serverOptions.interfaceName = parsed->receive.interfaceName;
  serverOptions.maxViewers = static_cast<std::size_t>(parsed->maxViewers);
  serverOptions.pageFolder = folder / "web";
  vantorel::web::WebServer server(serverOptions, *output, [&status, &reception](std::size_t n) {
    return status.Json(reception.View(), n);
  });
  if (!server.Start(error)) {
    std::fprintf(stderr, "vantorel-web: %s\n", error.c_str());
    return 1;
  }
  // Only the interface's own address goes into the viewers' candidates.
  if (!parsed->receive.interfaceName.empty()) output->SetIceAddresses(server.Addresses());
  for (const std::string& url : server.Urls()) {
    std::fprintf(stderr, "vantorel-web: serving %s\n", url.c_str());
  }
  if (server.Urls().empty()) {
    std::fprintf(stderr, "vantorel-web: serving on HTTP port %u\n", unsigned{server.Port()});
  }

  std::unique_ptr<vantorel::web::JanusPublisher> janus;
  if (!parsed->janus.empty()) {
    vantorel::web::JanusPublisher::Options janusOptions;
    janusOptions.url = parsed->janus;
    janusOptions.settings.mountpoint = static_cast<int>(parsed->mountpoint);
    janus = std::make_unique<vantorel::web::JanusPublisher>(
        janusOptions, [&output](const vantorel::web::JanusPublisher::Target& target) {
          output->PublishTo(target.host, target.videoPort, target.audioPort);
        });
    if (!janus->Start(error)) {
      std::fprintf(stderr, "vantorel-web: %s\n", error.c_str());
      return 2;
    }
  }

  Quit quit;
  quit.loop = g_main_loop_new(nullptr, FALSE);
  g_unix_signal_add(
      SIGINT,
      [](gpointer data) -> gboolean {
        auto* q = static_cast<Quit*>(data);
        q->code = 130;
        g_main_loop_quit(q->loop);
        return G_SOURCE_CONTINUE;
      },
      &quit);
  g_unix_signal_add(
      SIGTERM,
      [](gpointer data) -> gboolean {
        g_main_loop_quit(static_cast<Quit*>(data)->loop);
        return G_SOURCE_CONTINUE;
      },
      &quit);
  if (parsed->seconds > 0) {
    g_timeout_add(
        static_cast<guint>(parsed->seconds * 1000),
        [](gpointer data) -> gboolean {
          g_main_loop_quit(static_cast<Quit*>(data)->loop);
          return G_SOURCE_REMOVE;
        },
        &quit);
  }
  g_main_loop_run(quit.loop);
  g_main_loop_unref(quit.loop);

  janus.reset();
  reception.Stop();
  const vantorel::web::WebOutputStats o = output->Stats();
  const vantorel::web::WebGraphStats g = builder.Stats();
  std::printf(
      "vantorel-web: viewers=%llu failed=%llu video-in=%llu audio-in=%llu passed-through=%llu "
      "transcoded=%llu encoder-in=%llu encoder-out=%llu key-frames-asked=%llu\n",
      static_cast<unsigned long long>(o.viewersAdded),
      static_cast<unsigned long long>(o.viewersFailed), static_cast<unsigned long long>(o.videoIn),
      static_cast<unsigned long long>(o.audioIn), static_cast<unsigned long long>(g.passedThrough),
      static_cast<unsigned long long>(g.transcoded), static_cast<unsigned long long>(g.framesIn),
      static_cast<unsigned long long>(g.framesOut),
      static_cast<unsigned long long>(o.keyFramesAsked));
  return quit.code;
}
