#include "ui/network_options.h"

#include <cstdlib>
#include <optional>
#include <string_view>
#include <type_traits>

#include "platform/net/udp_socket.h"

namespace vantorel::ui {
namespace {

constexpr long kMaxPort = 65535;
constexpr long kMaxTtl = 255;
constexpr long kMaxFecPercent = 100;

// A whole decimal number from `low` to `high`, or nothing.
std::optional<long> ParseInteger(const std::string& text, long low, long high) {
  if (text.empty() || (text[0] != '-' && (text[0] < '0' || text[0] > '9'))) return std::nullopt;
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || value < low || value > high) return std::nullopt;
  return value;
}

// One option with its value: knows the option's name, reads the value, words the error.
class OptionValue {
 public:
  OptionValue(int argc, char** argv, int& i, std::string& error)
      : argc_(argc), argv_(argv), i_(i), error_(error), name_(argv[i]) {}

  // The value after the option; false (with the error) when the option ends the line.
  bool Read() {
    if (i_ + 1 >= argc_) {
      error_ = name_ + " needs a value";
      return false;
    }
    value_ = argv_[++i_];
    return true;
  }
  const std::string& Text() const { return value_; }
  Taken Refuse(std::string_view why) {
    error_ = "bad value for " + name_ + ": " + value_ + " (" + std::string(why) + ")";
    return Taken::kError;
  }

 private:
  int argc_;
  char** argv_;
  int& i_;
  std::string& error_;
  std::string name_;
  std::string value_;
};

Taken TakeInteger(OptionValue& option, long low, long high, std::string_view range, auto& out) {
  if (!option.Read()) return Taken::kError;
  const std::optional<long> value = ParseInteger(option.Text(), low, high);
  if (!value) return option.Refuse(range);
  out = static_cast<std::remove_reference_t<decltype(out)>>(*value);
  return Taken::kTaken;
}

Taken TakeInterface(OptionValue& option, std::string& out) {
  if (!option.Read()) return Taken::kError;
  if (!net::FindInterface(option.Text())) return option.Refuse("no such network interface");
  out = option.Text();
  return Taken::kTaken;
}

}  // namespace

Taken TakeSendOption(int argc, char** argv, int& i, sender::SinkOptions& sink, int& fecPercent,
                     std::string& error) {
  const std::string_view arg = argv[i];
  OptionValue option(argc, argv, i, error);
  if (arg == "--port") return TakeInteger(option, 1, kMaxPort, "a port is 1 to 65535", sink.port);
  if (arg == "--ttl") return TakeInteger(option, 1, kMaxTtl, "1 to 255", sink.multicastTtl);
  if (arg == "--fec") return TakeInteger(option, 0, kMaxFecPercent, "0 to 100", fecPercent);
  if (arg == "--interface") return TakeInterface(option, sink.interfaceName);
  if (arg != "--dest") return Taken::kNotMine;
  if (!option.Read()) return Taken::kError;
  const std::optional<std::uint32_t> address = net::ParseIpv4(option.Text());
  if (!address) return option.Refuse("not an IPv4 address");
  sink.destination = *address;
  return Taken::kTaken;
}

Taken TakeReceiveOption(int argc, char** argv, int& i, receiver::ReceiveOptions& receive,
                        std::string& error) {
  const std::string_view arg = argv[i];
  OptionValue option(argc, argv, i, error);
  if (arg == "--port") {
    return TakeInteger(option, 1, kMaxPort, "a port is 1 to 65535", receive.port);
  }
  if (arg == "--interface") return TakeInterface(option, receive.interfaceName);
  if (arg != "--group") return Taken::kNotMine;
  if (!option.Read()) return Taken::kError;
  const std::optional<std::uint32_t> group = net::ParseIpv4(option.Text());
  if (!group || !net::IsMulticast(*group)) {
    return option.Refuse("not a multicast group, 224.0.0.0 to 239.255.255.255");
  }
  receive.group = *group;
  return Taken::kTaken;
}

}  // namespace vantorel::ui
