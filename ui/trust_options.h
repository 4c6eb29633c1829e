// The trust options of the command line. The sending programs (vantorel-cast, strovan) sign
// with the user's identity unless told --unsigned, and take --identity FILE; the receiving
// ones (vantorel-listen, lunnet) take --trust FINGERPRINT, as often as wanted, beside the
// trusted-senders file.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/profile/key_files.h"
#include "protocol/signing.h"
#include "ui/command_line.h"

namespace vantorel::ui {

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

// Takes argv[i] (and its value) when it is --identity or --unsigned.
Taken TakeIdentityOption(int argc, char** argv, int& i, IdentityChoice& choice, std::string& error);
// The key to sign with (choice.file, or the default one, created when missing); an error names
// the file and the reason.
profile::Loaded<protocol::SigningKey> LoadIdentity(const IdentityChoice& choice);

// Takes argv[i] (and its value) when it is --trust.
Taken TakeTrustOption(int argc, char** argv, int& i, std::vector<protocol::Fingerprint>& trusted,
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

}  // namespace vantorel::ui
