#include "cli/network_options.h"

#include <cstdlib>
#include <optional>
#include <string_view>
#include <type_traits>

#include "platform/net/udp_socket.h"

namespace vantorel::cli {
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

Taken TakeInteger(const GivenOption& given, long low, long high, std::string_view range, auto& out,
                  std::string& error) {
  if (given.value == nullptr) return given.Missing(error);
  const std::optional<long> value = ParseInteger(given.value, low, high);
  if (!value) return given.Refuse(error, range);
  out = static_cast<std::remove_reference_t<decltype(out)>>(*value);
  return Taken::kTaken;
}

Taken TakeInterface(const GivenOption& given, std::string& out, std::string& error) {
  if (given.value == nullptr) return given.Missing(error);
  if (!net::FindInterface(given.value)) return given.Refuse(error, "no such network interface");
  out = given.value;
  return Taken::kTaken;
}

}  // namespace

Taken TakeSendOption(const GivenOption& given, sender::SinkOptions& sink, int& fecPercent,
                     std::string& error) {
  switch (given.id) {
    case kPortOption:
      return TakeInteger(given, 1, kMaxPort, "a port is 1 to 65535", sink.port, error);
    case kTtlOption:
      return TakeInteger(given, 1, kMaxTtl, "1 to 255", sink.multicastTtl, error);
    case kFecOption:
      return TakeInteger(given, 0, kMaxFecPercent, "0 to 100", fecPercent, error);
    case kInterfaceOption:
      return TakeInterface(given, sink.interfaceName, error);
    case kDestOption:
      break;
    default:
      return Taken::kNotMine;
  }
  if (given.value == nullptr) return given.Missing(error);
  const std::string text = given.value;
  std::optional<std::uint32_t> address = net::ParseIpv4(text);
  if (!address && IsDottedNumber(text)) return given.Refuse(error, "not an IPv4 address");
  if (!address) address = net::ResolveIpv4(text);
  if (!address) return given.Refuse(error, "unknown host");
  sink.destination = *address;
  return Taken::kTaken;
}

Taken TakeReceiveOption(const GivenOption& given, receiver::ReceiveOptions& receive,
                        std::string& error) {
  switch (given.id) {
    case kPortOption:
      return TakeInteger(given, 1, kMaxPort, "a port is 1 to 65535", receive.port, error);
    case kInterfaceOption:
      return TakeInterface(given, receive.interfaceName, error);
    case kGroupOption:
      break;
    default:
      return Taken::kNotMine;
  }
  if (given.value == nullptr) return given.Missing(error);
  const std::optional<std::uint32_t> group = net::ParseIpv4(given.value);
  if (!group || !net::IsMulticast(*group)) {
    return given.Refuse(error, "not a multicast group, 224.0.0.0 to 239.255.255.255");
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

Taken TakeSenderChoice(const GivenOption& given, receiver::SenderChoice& choice,
                       std::string& error) {
  if (given.id != kSenderOption && given.id != kPreferOption) return Taken::kNotMine;
  if (given.value == nullptr) return given.Missing(error);
  const std::optional<receiver::SenderChoice> parsed =
      ParseSenderChoice(given.value, given.id == kSenderOption);
  if (!parsed) return given.Refuse(error, "a sender's name, its address or ADDR:PORT");
  choice = *parsed;
  return Taken::kTaken;
}

}  // namespace vantorel::cli
