// vantorel-cast: broadcasts media files one after another, or a live source (the screen, a
// camera, the microphone), on the local network without a window, in real time, and ends the
// broadcast when the last file ends or the tool is interrupted.
#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/command_line.h"
#include "cli/network_options.h"
#include "cli/trust_options.h"
#include "platform/gui/quit_on_signal.h"
#include "sender/file_kind.h"
#include "sender/gst/playable_files.h"
#include "sender/playlist.h"
#include "sender/udp_broadcast_sink.h"
#include "tools/cast/cast_window.h"

namespace {

constexpr int kProgressIntervalMs = 1000;

constexpr const char* kProgram = "vantorel-cast";
constexpr const char* kUsageHead =
    "usage: vantorel-cast [--port P] [--dest ADDR] [--ttl N] [--interface NAME] [--fec PERCENT]\n"
    "                     [--identity FILE | --unsigned] [--name TEXT] [--loop] [--] "
    "FILE|FOLDER...\n"
    "       vantorel-cast [options] [--screen | --camera DEVICE] [--microphone [DEVICE]]\n"
    "                     [--bitrate KBIT]\n"
    "       vantorel-cast [--identity FILE] --show-identity\n";
constexpr const char* kUsageTail =
    "  --show-identity   print the fingerprint that receivers trust, and exit\n"
    "  --name TEXT       the name receivers list this sender by (default: the host's name)\n"
    "  --loop            start again from the first file at the end of the last\n"
    "  FILE|FOLDER...    files play one after another; a folder gives its media files in\n"
    "                    the order of their names; a file that cannot be opened is skipped\n"
    "  --screen          broadcast the X display in $DISPLAY; on a Wayland desktop, what its\n"
    "                    screen-cast portal shares\n"
    "  --camera DEVICE   broadcast a camera (/dev/video0; 'test' for a generated picture)\n"
    "  --microphone [DEVICE]  add the microphone (default input; 'test' for a tone), or\n"
    "                    broadcast it alone\n"
    "  --bitrate KBIT    the live picture's bit rate (default: follows its size)\n"
    "  --help, -h        this text; --version, -V the version\n"
    "  An option's value may also follow an '=' (--port=6000). After --, FILE may start with\n"
    "  a '-'.\n";

constexpr int kMaxBitrateKbit = 100000;

enum : int {
  kShowIdentityOption = vantorel::cli::kProgramOptionIds,
  kLoopOption,
  kNameOption,
  kScreenOption,
  kCameraOption,
  kMicrophoneOption,
  kBitrateOption,
};
constexpr option kOwnOptions[] = {
    {"show-identity", no_argument, nullptr, kShowIdentityOption},
    {"loop", no_argument, nullptr, kLoopOption},
    {"name", required_argument, nullptr, kNameOption},
    {"screen", no_argument, nullptr, kScreenOption},
    {"camera", required_argument, nullptr, kCameraOption},
    // The device is optional: it follows when it does not start with '-'.
    {"microphone", optional_argument, nullptr, kMicrophoneOption},
    {"bitrate", required_argument, nullptr, kBitrateOption},
};

struct Parsed {
  vantorel::tools::CastOptions cast;
  vantorel::sender::SinkOptions sink;
  vantorel::cli::IdentityChoice identity;
  bool showIdentity = false;
};

vantorel::sender::LiveSource& Live(Parsed& p) {
  if (!p.cast.live) p.cast.live.emplace();
  return *p.cast.live;
}

// What the options, each good alone, say against each other; empty when nothing.
std::string Contradiction(const Parsed& p) {
  if (p.showIdentity && !p.identity.sign) {
    return "--show-identity and --unsigned exclude each other";
  }
  if (p.cast.live && !p.cast.paths.empty()) {
    return "a live source and files exclude each other: " + p.cast.paths.front();
  }
  if (p.cast.live && p.cast.loop) return "--loop is for files";
  if (p.cast.live && p.cast.live->bitrateKbit > 0 &&
      p.cast.live->video == vantorel::sender::LiveVideo::kNone) {
    return "--bitrate is for the screen or a camera";
  }
  if (!p.cast.live && p.cast.paths.empty() && !p.showIdentity) return "no file given";
  return {};
}

// The options, or nothing when the usage error has been told (exit code 2).
std::optional<Parsed> Parse(int argc, char** argv) {
  Parsed p;
  std::string liveError;
  const auto take = [&p, &liveError](const vantorel::cli::GivenOption& given, std::string& error) {
    vantorel::cli::Taken taken =
        vantorel::cli::TakeSendOption(given, p.sink, p.cast.fecPercent, error);
    if (taken == vantorel::cli::Taken::kNotMine)
      taken = vantorel::cli::TakeIdentityOption(given, p.identity, error);
    if (taken != vantorel::cli::Taken::kNotMine) return taken;
    const auto value = [&given, &error](const char* what) -> const char* {
      if (given.value == nullptr || given.value[0] == '\0') {
        given.Missing(error, what);
        return nullptr;
      }
      return given.value;
    };
    switch (given.id) {
      case kShowIdentityOption:
        p.showIdentity = true;
        break;
      case kLoopOption:
        p.cast.loop = true;
        break;
      case kNameOption: {
        const char* name = value("a value");
        if (name == nullptr) return vantorel::cli::Taken::kError;
        p.cast.name = name;
        break;
      }
      case kScreenOption:
      case kCameraOption:
        if (Live(p).video != vantorel::sender::LiveVideo::kNone) {
          liveError = "--screen and --camera exclude each other, and each is given once";
        }
        if (given.id == kScreenOption) {
          Live(p).video = vantorel::sender::LiveVideo::kScreen;
        } else {
          const char* device = value("a device");
          if (device == nullptr) return vantorel::cli::Taken::kError;
          Live(p).video = vantorel::sender::LiveVideo::kCamera;
          Live(p).camera = device;
        }
        break;
      case kMicrophoneOption:
        Live(p).microphone = true;
        if (given.value != nullptr) Live(p).microphoneDevice = given.value;
        break;
      case kBitrateOption: {
        const char* text = value("a value");
        if (text == nullptr) return vantorel::cli::Taken::kError;
        char* end = nullptr;
        const long kbit = std::strtol(text, &end, 10);
        if (end == text || *end != '\0' || kbit < 1 || kbit > kMaxBitrateKbit) {
          error =
              "--bitrate takes kbit/s from 1 to " + std::to_string(kMaxBitrateKbit) + ": " + text;
          return vantorel::cli::Taken::kError;
        }
        Live(p).bitrateKbit = static_cast<int>(kbit);
        break;
      }
      default:
        return vantorel::cli::Taken::kNotMine;
    }
    return vantorel::cli::Taken::kTaken;
  };
  const auto keep = [&p](const char* arg, vantorel::cli::Place place, std::string& error) {
    if (place == vantorel::cli::Place::kAmongOptions && arg[0] == '-') {
      error = "unknown option " + std::string(arg);
      return vantorel::cli::Taken::kError;
    }
    p.cast.paths.emplace_back(arg);
    return vantorel::cli::Taken::kTaken;
  };
  const std::vector<option> table = vantorel::cli::JoinOptions(
      {vantorel::cli::kSendOptions, vantorel::cli::kIdentityOptions, kOwnOptions});
  if (vantorel::cli::ParseArguments(argc, argv, kProgram, table, take, keep) >= 0) {
    return std::nullopt;
  }
  const std::string error = liveError.empty() ? Contradiction(p) : liveError;
  if (!error.empty()) {
    vantorel::cli::UsageError(kProgram, error);
    return std::nullopt;
  }
  return p;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string usage = std::string(kUsageHead) + vantorel::cli::kSendOptionsUsage +
                            vantorel::cli::kIdentityOptionsUsage + kUsageTail;
  if (const int code = vantorel::cli::AnswerEarlyRequest(argc, argv, kProgram, usage.c_str());
      code >= 0) {
    return code;
  }
  auto parsed = Parse(argc, argv);
  if (!parsed) return 2;
  if (parsed->identity.sign) {
    auto identity = vantorel::cli::LoadIdentity(parsed->identity);
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
  // for one file the tool says why before it opens a socket.
  if (!parsed->cast.live) {
    std::vector<std::string>& paths = parsed->cast.paths;
    const bool folders = std::any_of(paths.begin(), paths.end(), [](const std::string& path) {
      return std::filesystem::is_directory(path);
    });
    if (folders) {
      paths = vantorel::sender::ExpandPlaylist(paths, vantorel::sender::gst::PlayableExtensions());
    }
    if (paths.empty()) {
      std::fprintf(stderr, "vantorel-cast: the folders given hold no media file\n");
      return 1;
    }
    const vantorel::sender::FileKind kind = vantorel::sender::KindOfFile(paths.front());
    if (paths.size() == 1 && kind != vantorel::sender::FileKind::kRegular) {
      const std::string_view reason = vantorel::sender::RefusalReason(kind);
      std::fprintf(stderr, "vantorel-cast: %s %.*s\n", paths.front().c_str(),
                   static_cast<int>(reason.size()), reason.data());
      return 1;
    }
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
  if (!window.Start().ok()) {
    const std::string reason = vantorel::sender::FailureMessage(window.LastOpenError());
    if (parsed->cast.live) {
      std::fprintf(stderr, "vantorel-cast: %s\n", reason.c_str());
    } else if (parsed->cast.paths.size() == 1) {
      std::fprintf(stderr, "vantorel-cast: %s: %s\n", parsed->cast.paths.front().c_str(),
                   reason.c_str());
    } else {
      std::fprintf(stderr, "vantorel-cast: none of the %zu files could be played\n",
                   parsed->cast.paths.size());
    }
    return 1;
  }

  QTimer progress;
  QObject::connect(&progress, &QTimer::timeout, &window, [&window] { window.PrintProgress(); });
  progress.start(kProgressIntervalMs);

  app.exec();
  window.Finish();
  return vantorel::gui::QuitOnSignal::ExitCode(window.ExitCode());
}
