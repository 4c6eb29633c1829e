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

// Digits and dots only: meant as an address, never looked up as a host name.
bool IsDottedNumber(const std::string& text) {
  return text.find_first_not_of("0123456789.") == std::string::npos;
}

// One option with its value: knows the option's name, reads the value, words the error.
class OptionValue {
 public:
  OptionValue(int argc, char** argv, int& i, std::string& error)
      : argc_(argc), argv_(argv), i_(i), error_(error), name_(argv[i]) {}

  // The value after the option; false (with the error) when the option ends the line (the walk
  // over the arguments ends it before a value that starts with "--").
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
  std::optional<std::uint32_t> address = net::ParseIpv4(option.Text());
  if (!address && IsDottedNumber(option.Text())) return option.Refuse("not an IPv4 address");
  if (!address) address = net::ResolveIpv4(option.Text());
  if (!address) return option.Refuse("unknown host");
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

std::optional<receiver::SenderChoice> ParseSenderChoice(const std::string& text, bool only) {
  if (text.empty()) return std::nullopt;
  receiver::SenderChoice choice;
  choice.only = only;
  const std::size_t colon = text.rfind(':');
  const std::string host = text.substr(0, colon);
  if (IsDottedNumber(host)) {
    if (const std::optional<std::uint32_t> address = net::ParseIpv4(host)) {
      std::optional<long> port = 0;
      if (colon != std::string::npos) port = ParseInteger(text.substr(colon + 1), 1, kMaxPort);
      if (!port) return std::nullopt;
      choice.address = receiver::DatagramSource{*address, static_cast<std::uint16_t>(*port)};
      return choice;
    }
  }
  choice.name = text;
  return choice;
}

Taken TakeSenderChoice(int argc, char** argv, int& i, receiver::SenderChoice& choice,
                       std::string& error) {
  const std::string_view arg = argv[i];
  if (arg != "--sender" && arg != "--prefer") return Taken::kNotMine;
  OptionValue option(argc, argv, i, error);
  if (!option.Read()) return Taken::kError;
  const std::optional<receiver::SenderChoice> parsed =
      ParseSenderChoice(option.Text(), arg == "--sender");
  if (!parsed) return option.Refuse("a sender's name, its address or ADDR:PORT");
  choice = *parsed;
  return Taken::kTaken;
}

}  // namespace vantorel::ui
