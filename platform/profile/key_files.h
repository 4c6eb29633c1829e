// The files that hold who a sender is and whom a receiver trusts, in the user's configuration
// folder ($XDG_CONFIG_HOME/vantorel, else ~/.config/vantorel):
//
//   identity         a sender's Ed25519 key, created on first use, readable by its owner only
//   trusted-senders  one fingerprint a line, a name after it if wanted; '#' starts a comment
//
// and in the user's state folder ($XDG_STATE_HOME/vantorel, else ~/.local/state/vantorel):
//
//   counters         the highest signature counter a receiver has seen of each trusted key
//
// A file that cannot be used is named with the reason, never half read.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/profile/program_folder.h"
#include "protocol/signing.h"

namespace vantorel::profile {

inline constexpr const char* kIdentityFileName = "identity";
inline constexpr const char* kTrustedSendersFileName = "trusted-senders";
inline constexpr const char* kCountersFileName = "counters";

// What loading a key file gave: the value, or why there is none ("PATH: reason").
template <typename T>
struct Loaded {
  std::optional<T> value;
  std::string error;
};

enum class WhenMissing { kCreate, kRefuse };

// A sender's identity. A missing file is created with a new key (folder 0700, file 0600) or
// refused; a file that is not a regular file, cannot be read, can be read or changed by the
// group or others, or does not hold exactly one key line is refused.
Loaded<protocol::SigningKey> LoadIdentity(const std::filesystem::path& path, WhenMissing missing);

struct TrustedSender {
  protocol::Fingerprint fingerprint;
  std::string name;
};

// The trusted senders; a missing file trusts nobody. A file that others may change, or with a
// line that is not a fingerprint, is refused (with the line's number).
Loaded<std::vector<TrustedSender>> LoadTrustedSenders(const std::filesystem::path& path);
// Adds a line for `fingerprint` (creating the folder and the file); empty, or why not.
std::string AddTrustedSender(const std::filesystem::path& path,
                             const protocol::Fingerprint& fingerprint, const std::string& name);

using Counters = std::map<protocol::PublicKey, std::uint64_t>;

// The counters kept by an earlier run; a missing file keeps none. A line that is not a key in
// hexadecimal and a number is refused (with the line's number).
Loaded<Counters> LoadCounters(const std::filesystem::path& path);
// Replaces the file with `counters` (written aside, then renamed); empty, or why not.
std::string SaveCounters(const std::filesystem::path& path, const Counters& counters);

}  // namespace vantorel::profile
