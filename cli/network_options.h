// The network options of the command line. The sending programs (vantorel-cast, strovan) take
// --port, --dest, --ttl, --interface and --fec; the receiving ones (vantorel-listen, lunnet)
// --port, --group and --interface. An interface name is checked against this host's interfaces.
#pragma once

#include <optional>
#include <string>

#include "cli/command_line.h"
#include "receiver/receive_socket.h"
#include "receiver/sender_directory.h"
#include "sender/udp_broadcast_sink.h"

namespace vantorel::cli {

// The usage lines of those options, for each program's --help.
inline constexpr const char* kSendOptionsUsage =
    "  --port P          UDP destination port (default 5937)\n"
    "  --dest ADDR       destination: the broadcast address (default 255.255.255.255), a\n"
    "                    multicast group (224.0.0.0 to 239.255.255.255) or one host (an\n"
    "                    address or a name)\n"
    "  --ttl N           routers a multicast datagram may cross, 1 to 255 (default 1)\n"
    "  --interface NAME  send through this network interface only\n"
    "  --fec PERCENT     parity added to the broadcast, 0 to 100 (0: none)\n";
inline constexpr const char* kReceiveOptionsUsage =
    "  --port P          UDP port to listen on (default 5937)\n"
    "  --group ADDR      also receive this multicast group (224.0.0.0 to 239.255.255.255)\n"
    "  --interface NAME  receive on this network interface only\n";

inline constexpr const char* kSenderChoiceUsage =
    "  --sender WHO      receive only this sender: its name, its address or ADDR:PORT\n"
    "  --prefer WHO      receive this sender while it is on the air, else the first heard\n";

// The ids of those options, and their tables for JoinOptions.
enum NetworkOptionId : int {
  kPortOption = kNetworkOptionIds,
  kDestOption,
  kTtlOption,
  kInterfaceOption,
  kFecOption,
  kGroupOption,
  kSenderOption,
  kPreferOption,
};
inline constexpr option kSendOptions[] = {
    {"port", required_argument, nullptr, kPortOption},
    {"dest", required_argument, nullptr, kDestOption},
    {"ttl", required_argument, nullptr, kTtlOption},
    {"interface", required_argument, nullptr, kInterfaceOption},
    {"fec", required_argument, nullptr, kFecOption},
};
inline constexpr option kReceiveOptions[] = {
    {"port", required_argument, nullptr, kPortOption},
    {"group", required_argument, nullptr, kGroupOption},
    {"interface", required_argument, nullptr, kInterfaceOption},
};
inline constexpr option kSenderChoiceOptions[] = {
    {"sender", required_argument, nullptr, kSenderOption},
    {"prefer", required_argument, nullptr, kPreferOption},
};

// A sender as a person names it: "ADDR" or "ADDR:PORT" is an address (a port of 0 for every
// port), anything else a name. Nothing for an empty text or a port out of range.
std::optional<receiver::SenderChoice> ParseSenderChoice(const std::string& text, bool only);

// Takes a sending option (kSendOptions).
Taken TakeSendOption(const GivenOption& given, sender::SinkOptions& sink, int& fecPercent,
                     std::string& error);
// Takes a receiving option (kReceiveOptions).
Taken TakeReceiveOption(const GivenOption& given, receiver::ReceiveOptions& receive,
                        std::string& error);
// Takes --sender or --prefer (kSenderChoiceOptions).
Taken TakeSenderChoice(const GivenOption& given, receiver::SenderChoice& choice,
                       std::string& error);

}  // namespace vantorel::cli
