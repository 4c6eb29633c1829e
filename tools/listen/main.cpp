// vantorel-listen: receives what senders broadcast on the local network and prints one line
// per delivered message.
#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/network_options.h"
#include "cli/trust_options.h"
#include "platform/gui/quit_on_signal.h"
#include "platform/net/udp_socket.h"
#include "tools/listen/listen_window.h"

namespace {

constexpr const char* kProgram = "vantorel-listen";
constexpr const char* kUsageHead =
    "usage: vantorel-listen [--port P] [--group ADDR] [--interface NAME] [--count N]\n"
    "                       [--seconds S] [--bind ADDR] [--wake ADDR] [--play] [--no-parity]\n"
    "                       [--trust FINGERPRINT]... [--sender WHO | --prefer WHO]\n"
    "                       [--list-senders]\n";
constexpr const char* kUsageTail =
    "  --count N         stop after N delivered messages\n"
    "  --seconds S       stop after S seconds\n"
    "  --bind ADDR       local address to bind (default: every address)\n"
    "  --wake ADDR       where the stop wake-up datagram goes (default 255.255.255.255)\n"
    "  --play            also play what is received (decoded, to null outputs) and print\n"
    "                    one line per stream at exit\n"
    "  --no-parity       drop parity datagrams, as a receiver that does not know them\n"
    "  --list-senders    print no messages; at the end one line per sender heard:\n"
    "                    sender name=... address=A:P playing=... state=... (with --seconds)\n"
    "  --help, -h        this text; --version, -V the version\n"
    "  An option's value may also follow an '=' (--port=6000).\n";

struct Parsed {
  vantorel::tools::ListenOptions listen;
  double seconds = 0;
};

enum : int {
  kPlayOption = vantorel::cli::kProgramOptionIds,
  kNoParityOption,
  kListSendersOption,
  kCountOption,
  kSecondsOption,
  kBindOption,
  kWakeOption,
};
constexpr option kOwnOptions[] = {
    {"play", no_argument, nullptr, kPlayOption},
    {"no-parity", no_argument, nullptr, kNoParityOption},
    {"list-senders", no_argument, nullptr, kListSendersOption},
    {"count", required_argument, nullptr, kCountOption},
    {"seconds", required_argument, nullptr, kSecondsOption},
    {"bind", required_argument, nullptr, kBindOption},
    {"wake", required_argument, nullptr, kWakeOption},
};

// One of the tool's own options with a value: --count, --seconds, --bind or --wake.
vantorel::cli::Taken TakeListenValue(const vantorel::cli::GivenOption& given, Parsed& p,
                                     std::string& error) {
  if (given.value == nullptr) return given.Missing(error);
  const std::string value = given.value;
  char* end = nullptr;
  bool ok = !value.empty();
  if (given.id == kCountOption) {
    ok = ok && value[0] != '-';
    p.listen.count = std::strtoull(value.c_str(), &end, 10);
    ok = ok && *end == '\0';
  } else if (given.id == kSecondsOption) {
    p.seconds = std::strtod(value.c_str(), &end);
    ok = ok && *end == '\0' && p.seconds >= 0;
  } else {
    auto address = vantorel::net::ParseIpv4(value);
    ok = ok && address.has_value();
    if (address) {
      (given.id == kBindOption ? p.listen.receive.bindAddress : p.listen.receive.wakeAddress) =
          *address;
    }
  }
  if (ok) return vantorel::cli::Taken::kTaken;
  error = "bad value for " + given.name + ": " + value;
  return vantorel::cli::Taken::kError;
}

// The options, or nothing when the usage error has been told (exit code 2).
std::optional<Parsed> Parse(int argc, char** argv) {
  Parsed p;
  const auto take = [&p](const vantorel::cli::GivenOption& given, std::string& error) {
    vantorel::cli::Taken taken = vantorel::cli::TakeReceiveOption(given, p.listen.receive, error);
    if (taken == vantorel::cli::Taken::kNotMine)
      taken = vantorel::cli::TakeTrustOption(given, p.listen.trusted, error);
    if (taken == vantorel::cli::Taken::kNotMine)
      taken = vantorel::cli::TakeSenderChoice(given, p.listen.sender, error);
    if (taken != vantorel::cli::Taken::kNotMine) return taken;
    switch (given.id) {
      case kPlayOption:
        p.listen.play = true;
        break;
      case kNoParityOption:
        p.listen.receive.useParity = false;
        break;
      case kListSendersOption:
        p.listen.listSenders = true;
        break;
      case kCountOption:
      case kSecondsOption:
      case kBindOption:
      case kWakeOption:
        return TakeListenValue(given, p, error);
      default:
        return vantorel::cli::Taken::kNotMine;
    }
    return vantorel::cli::Taken::kTaken;
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
  auto trusted = vantorel::cli::LoadTrust(parsed->listen.trusted);
  if (!trusted.value) {
    std::fprintf(stderr, "vantorel-listen: %s\n", trusted.error.c_str());
    return 2;
  }
  parsed->listen.trusted = std::move(*trusted.value);
  if (!parsed->listen.trusted.empty()) {
    auto counters = vantorel::cli::LoadKnownCounters();
    if (!counters.value) {
      std::fprintf(stderr, "vantorel-listen: %s\n", counters.error.c_str());
      return 2;
    }
    parsed->listen.knownCounters = std::move(*counters.value);
  }
  QCoreApplication app(argc, argv);
  const vantorel::gui::QuitOnSignal quitOnSignal(&QCoreApplication::quit);

  vantorel::tools::ListenWindow window(parsed->listen, stdout);
  if (!window.Listening()) {
    const vantorel::receiver::ReceiveOptions& receive = parsed->listen.receive;
    std::string where;
    if (!receive.interfaceName.empty()) where += " on interface " + receive.interfaceName;
    if (receive.group != vantorel::net::kAnyAddress) {
      where += " in group " + vantorel::net::FormatIpv4(receive.group);
    }
    std::fprintf(stderr, "vantorel-listen: cannot listen on UDP port %u%s\n",
                 unsigned{receive.port}, where.c_str());
    return 1;
  }
  // Scripts wait for this line: from here on every datagram to the port is received.
  std::fprintf(stderr, "vantorel-listen: listening on UDP port %u\n",
               unsigned{parsed->listen.receive.port});
  if (!parsed->listen.trusted.empty()) {
    std::fprintf(stderr, "vantorel-listen: only trusted senders (%zu fingerprints)\n",
                 parsed->listen.trusted.size());
  }
  if (parsed->seconds > 0) {
    QTimer::singleShot(static_cast<int>(parsed->seconds * 1000), &app, &QCoreApplication::quit);
  }

  app.exec();
  window.Finish();
  if (const auto file = vantorel::cli::CountersFile();
      !parsed->listen.trusted.empty() && !file.empty()) {
    if (const std::string error = vantorel::profile::SaveCounters(file, window.Counters());
        !error.empty()) {
      std::fprintf(stderr, "vantorel-listen: %s\n", error.c_str());
    }
  }
  return vantorel::gui::QuitOnSignal::ExitCode(0);
}
