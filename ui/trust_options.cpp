#include "ui/trust_options.h"

#include <algorithm>
#include <string_view>

namespace vantorel::ui {

namespace {

// The value after argv[i]; false (with the error) when the option ends the line.
bool ReadValue(int argc, char** argv, int& i, std::string& value, std::string& error) {
  if (i + 1 >= argc) {
    error = std::string(argv[i]) + " needs a value";
    return false;
  }
  value = argv[++i];
  return true;
}

}  // namespace

Taken TakeIdentityOption(int argc, char** argv, int& i, IdentityChoice& choice,
                         std::string& error) {
  const std::string_view arg = argv[i];
  if (arg == "--unsigned") {
    choice.sign = false;
    return Taken::kTaken;
  }
  if (arg != "--identity") return Taken::kNotMine;
  std::string value;
  if (!ReadValue(argc, argv, i, value, error)) return Taken::kError;
  choice.file = value;
  return Taken::kTaken;
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

Taken TakeTrustOption(int argc, char** argv, int& i, std::vector<protocol::Fingerprint>& trusted,
                      std::string& error) {
  if (std::string_view(argv[i]) != "--trust") return Taken::kNotMine;
  std::string value;
  if (!ReadValue(argc, argv, i, value, error)) return Taken::kError;
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

}  // namespace vantorel::ui
