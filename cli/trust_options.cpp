#include "cli/trust_options.h"

#include <algorithm>

namespace vantorel::cli {

Taken TakeIdentityOption(const GivenOption& given, IdentityChoice& choice, std::string& error) {
  switch (given.id) {
    case kUnsignedOption:
      choice.sign = false;
      return Taken::kTaken;
    case kIdentityOption:
      if (given.value == nullptr) return given.Missing(error);
      choice.file = given.value;
      return Taken::kTaken;
    default:
      return Taken::kNotMine;
  }
}

profile::Loaded<protocol::SigningKey> LoadIdentity(const IdentityChoice& choice) {
  std::filesystem::path file = choice.file;
  profile::WhenMissing missing = profile::WhenMissing::kRefuse;
  if (file.empty()) {
    const std::filesystem::path folder = profile::UserConfigFolder();
    if (folder.empty())
      return {std::nullopt, "no configuration folder (HOME unset): give --identity FILE"};
    file = folder / profile::kIdentityFileName;
    missing = profile::WhenMissing::kCreate;
  }
  return profile::LoadIdentity(file, missing);
}

Taken TakeTrustOption(const GivenOption& given, std::vector<protocol::Fingerprint>& trusted,
                      std::string& error) {
  if (given.id != kTrustOption) return Taken::kNotMine;
  if (given.value == nullptr) return given.Missing(error);
  const std::string value = given.value;
  const auto fingerprint = protocol::Fingerprint::Parse(value);
  if (!fingerprint) {
    error = "bad value for --trust: " + value + " (a fingerprint: 20 letters and digits, as " +
            "vantorel-cast --show-identity prints it)";
    return Taken::kError;
  }
  trusted.push_back(*fingerprint);
  return Taken::kTaken;
}

std::filesystem::path TrustedSendersFile() {
  const std::filesystem::path folder = profile::UserConfigFolder();
  return folder.empty() ? folder : folder / profile::kTrustedSendersFileName;
}

std::filesystem::path CountersFile() {
  const std::filesystem::path folder = profile::UserStateFolder();
  return folder.empty() ? folder : folder / profile::kCountersFileName;
}

profile::Loaded<profile::Counters> LoadKnownCounters() {
  const std::filesystem::path file = CountersFile();
  if (file.empty()) return {profile::Counters{}, {}};
  return profile::LoadCounters(file);
}

profile::Loaded<std::vector<protocol::Fingerprint>> LoadTrust(
    const std::vector<protocol::Fingerprint>& given) {
  std::vector<protocol::Fingerprint> trusted = given;
  if (const std::filesystem::path file = TrustedSendersFile(); !file.empty()) {
    const auto loaded = profile::LoadTrustedSenders(file);
    if (!loaded.value) return {std::nullopt, loaded.error};
    for (const profile::TrustedSender& s : *loaded.value) trusted.push_back(s.fingerprint);
  }
  std::sort(trusted.begin(), trusted.end());
  trusted.erase(std::unique(trusted.begin(), trusted.end()), trusted.end());
  return {std::move(trusted), {}};
}

}  // namespace vantorel::cli
