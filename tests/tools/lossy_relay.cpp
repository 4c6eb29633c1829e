// vantorel-relay: forwards UDP datagrams from a port to a destination through a seeded lossy
// link, for tests and benchmarks inside a private network namespace. Prints what it did when
// it ends (SIGINT, SIGTERM, or --seconds).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "tests/tools/link_model.h"

namespace {

constexpr const char* kUsage =
    "usage: vantorel-relay --listen PORT --to ADDR:PORT [--seed N] [--loss P]\n"
    "                      [--burst TO_BAD,TO_GOOD,BAD_LOSS] [--duplicate P] [--reorder P]\n"
    "                      [--depth N] [--seconds S]\n"
    "  Forwards every datagram arriving on 0.0.0.0:PORT to ADDR:PORT. Probabilities are per\n"
    "  datagram: --loss random loss, --burst a Gilbert-Elliott chain (switch to the bad state,\n"
    "  back to the good one, loss while bad), --duplicate a second copy, --reorder held back\n"
    "  behind the next 1 to N datagrams (--depth, default 3).\n";

volatile std::sig_atomic_t stopRequested = 0;
void OnSignal(int) {
  stopRequested = 1;
}

class Socket {
 public:
  Socket() : fd_(::socket(AF_INET, SOCK_DGRAM, 0)) {}
  ~Socket() {
    if (fd_ >= 0) ::close(fd_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  int Fd() const { return fd_; }

 private:
  int fd_;
};

struct Options {
  std::uint16_t listenPort = 0;
  sockaddr_in to{};
  vantorel::testing::LinkParameters link;
  double seconds = 0;
};

bool ParseDouble(const char* text, double& out) {
  char* end = nullptr;
  out = std::strtod(text, &end);
  return end != text && *end == '\0' && out >= 0;
}

std::optional<Options> Parse(int argc, char** argv) {
  Options o;
  bool haveTo = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      std::exit(0);
    }
    if (i + 1 >= argc) return std::nullopt;
    const char* value = argv[++i];
    double d = 0;
    if (arg == "--listen") {
      if (!ParseDouble(value, d) || d < 1 || d > 65535) return std::nullopt;
      o.listenPort = static_cast<std::uint16_t>(d);
    } else if (arg == "--to") {
      const std::string v = value;
      const auto colon = v.rfind(':');
      if (colon == std::string::npos) return std::nullopt;
      o.to.sin_family = AF_INET;
      if (::inet_pton(AF_INET, v.substr(0, colon).c_str(), &o.to.sin_addr) != 1) {
        return std::nullopt;
      }
      o.to.sin_port = htons(static_cast<std::uint16_t>(std::atoi(v.c_str() + colon + 1)));
      haveTo = true;
    } else if (arg == "--seed") {
      o.link.seed = static_cast<std::uint32_t>(std::strtoul(value, nullptr, 10));
    } else if (arg == "--loss" && ParseDouble(value, d)) {
      o.link.loss = d;
    } else if (arg == "--duplicate" && ParseDouble(value, d)) {
      o.link.duplicate = d;
    } else if (arg == "--reorder" && ParseDouble(value, d)) {
      o.link.reorder = d;
    } else if (arg == "--depth" && ParseDouble(value, d)) {
      o.link.reorderDepth = static_cast<int>(d);
    } else if (arg == "--seconds" && ParseDouble(value, d)) {
      o.seconds = d;
    } else if (arg == "--burst") {
      if (std::sscanf(value, "%lf,%lf,%lf", &o.link.toBad, &o.link.toGood, &o.link.badLoss) != 3) {
        return std::nullopt;
      }
    } else {
      return std::nullopt;
    }
  }
  if (o.listenPort == 0 || !haveTo) return std::nullopt;
  return o;
}

struct Pending {
  int wait;
  std::vector<std::uint8_t> bytes;
};

}  // namespace

int main(int argc, char** argv) {
  const auto options = Parse(argc, argv);
  if (!options) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  Socket in, out;
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(options->listenPort);
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  const int on = 1;
  ::setsockopt(in.Fd(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  const int buffer = 4 * 1024 * 1024;
  ::setsockopt(in.Fd(), SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
  ::setsockopt(out.Fd(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
  if (::bind(in.Fd(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    std::perror("vantorel-relay: bind");
    return 1;
  }
  std::fprintf(stderr, "vantorel-relay: relaying UDP port %u\n", unsigned{options->listenPort});

  vantorel::testing::LinkModel link(options->link);
  std::deque<Pending> held;
  std::uint64_t forwarded = 0;
  auto send = [&](const std::vector<std::uint8_t>& bytes) {
    if (::sendto(out.Fd(), bytes.data(), bytes.size(), 0,
                 reinterpret_cast<const sockaddr*>(&options->to), sizeof options->to) >= 0) {
      ++forwarded;
    }
  };
  // Held datagrams go once enough others have passed, or when the link falls idle.
  auto passed = [&] {
    for (auto it = held.begin(); it != held.end();) {
      if (--it->wait > 0) {
        ++it;
        continue;
      }
      send(it->bytes);
      it = held.erase(it);
    }
  };
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::uint8_t> datagram(65536);
  while (!stopRequested) {
    if (options->seconds > 0 && std::chrono::steady_clock::now() - start >=
                                    std::chrono::duration<double>(options->seconds)) {
      break;
    }
    pollfd p{in.Fd(), POLLIN, 0};
    if (::poll(&p, 1, 20) <= 0) {
      for (const Pending& h : held) send(h.bytes);
      held.clear();
      continue;
    }
    const ssize_t n = ::recv(in.Fd(), datagram.data(), datagram.size(), 0);
    if (n < 0) continue;
    const std::vector<std::uint8_t> bytes(datagram.begin(), datagram.begin() + n);
    const vantorel::testing::LinkFate fate = link.Next();
    if (fate.lost) continue;
    for (int c = 0; c < fate.copies; ++c) {
      if (fate.holdBack > 0 && c == 0) {
        held.push_back(Pending{fate.holdBack, bytes});
        continue;
      }
      send(bytes);
      passed();
    }
  }
  for (const Pending& h : held) send(h.bytes);
  const auto& c = link.Counts();
  std::printf(
      "relay: in=%llu forwarded=%llu lost=%llu lost-in-bursts=%llu duplicated=%llu "
      "reordered=%llu\n",
      static_cast<unsigned long long>(c.in), static_cast<unsigned long long>(forwarded),
      static_cast<unsigned long long>(c.lost), static_cast<unsigned long long>(c.lostInBursts),
      static_cast<unsigned long long>(c.duplicated), static_cast<unsigned long long>(c.reordered));
  return 0;
}
