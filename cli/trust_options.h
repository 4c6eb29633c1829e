// The trust options of the command line. The sending programs (vantorel-cast, strovan) sign
// with the user's identity unless told --unsigned, and take --identity FILE; the receiving
// ones (vantorel-listen, lunnet) take --trust FINGERPRINT, as often as wanted, beside the
// trusted-senders file.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "platform/profile/key_files.h"
#include "protocol/signing.h"

namespace vantorel::cli {

inline constexpr const char* kIdentityOptionsUsage =
    "  --identity FILE   sign with the key in FILE (default: ~/.config/vantorel/identity,\n"
    "                    created on first use)\n"
    "  --unsigned        send no signatures, as senders before them did\n";
inline constexpr const char* kTrustOptionsUsage =
    "  --trust FINGERPRINT  play only senders whose fingerprint is trusted (repeatable; also\n"
    "                    read from ~/.config/vantorel/trusted-senders)\n";

struct IdentityChoice {
  std::filesystem::path file;  // empty: the default one
  bool sign = true;
};

// The ids of those options, and their tables for JoinOptions.
enum TrustOptionId : int { kIdentityOption = kTrustOptionIds, kUnsignedOption, kTrustOption };
inline constexpr option kIdentityOptions[] = {
    {"identity", required_argument, nullptr, kIdentityOption},
    {"unsigned", no_argument, nullptr, kUnsignedOption},
};
inline constexpr option kTrustOptions[] = {
    {"trust", required_argument, nullptr, kTrustOption},
};

// Takes --identity or --unsigned (kIdentityOptions).
Taken TakeIdentityOption(const GivenOption& given, IdentityChoice& choice, std::string& error);
// The key to sign with (choice.file, or the default one, created when missing); an error names
// the file and the reason.
profile::Loaded<protocol::SigningKey> LoadIdentity(const IdentityChoice& choice);

// Takes --trust (kTrustOptions).
Taken TakeTrustOption(const GivenOption& given, std::vector<protocol::Fingerprint>& trusted,
                      std::string& error);
// The fingerprints given on the command line and those of the trusted-senders file.
profile::Loaded<std::vector<protocol::Fingerprint>> LoadTrust(
    const std::vector<protocol::Fingerprint>& given);
// Where "Trust this sender" writes; empty when there is no configuration folder.
std::filesystem::path TrustedSendersFile();
// Where a trusting receiver keeps the counters it has seen; empty when there is no state
// folder.
std::filesystem::path CountersFile();
// The counters an earlier run kept (none without a state folder).
profile::Loaded<profile::Counters> LoadKnownCounters();

}  // namespace vantorel::cli
