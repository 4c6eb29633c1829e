#include "platform/profile/key_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <span>
#include <sstream>
#include <string_view>

namespace vantorel::profile {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kSeedWord = "ed25519-seed";
constexpr std::uintmax_t kMaxKeyFile = 64 * 1024;
constexpr mode_t kGroupOrOthersRead = S_IRGRP | S_IROTH;
constexpr mode_t kGroupOrOthersWrite = S_IWGRP | S_IWOTH;

std::string Named(const fs::path& path, const std::string& reason) {
  return path.string() + ": " + reason;
}

std::string ModeText(mode_t mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
  return text;
}

std::string_view Trim(std::string_view s) {
  const auto first = s.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(" \t\r");
  return s.substr(first, last - first + 1);
}

// Checks what a key file is before reading it; empty when it may be read.
std::string CheckFile(const fs::path& path, mode_t forbidden, const char* why) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return Named(path, std::strerror(errno));
  if (!S_ISREG(st.st_mode)) return Named(path, "is not a regular file");
  if ((st.st_mode & forbidden) != 0) {
    return Named(path,
                 std::string(why) + " (mode " + ModeText(st.st_mode) + "); run chmod go-rwx on it");
  }
  if (static_cast<std::uintmax_t>(st.st_size) > kMaxKeyFile) return Named(path, "is too large");
  return {};
}

// Makes the folder that holds `path` (private to its owner) when it is missing; empty, or why
// not.
std::string MakeFolderFor(const fs::path& path) {
  std::error_code ec;
  if (!path.has_parent_path() || fs::exists(path.parent_path(), ec)) return {};
  fs::create_directories(path.parent_path(), ec);
  if (ec) return Named(path.parent_path(), ec.message());
  fs::permissions(path.parent_path(), fs::perms::owner_all, ec);
  return {};
}

void AppendHex(std::string& text, std::span<const std::uint8_t> bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  for (const std::uint8_t b : bytes) {
    text += kHex[b >> 4];
    text += kHex[b & 15];
  }
}

// The whole file, or nothing with `error` set.
std::optional<std::string> ReadAll(const fs::path& path, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = Named(path, std::strerror(errno));
    return std::nullopt;
  }
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// A file that lists things a line each: its text, empty when it is missing; refused when others
// may change it.
Loaded<std::string> ReadListFile(const fs::path& path) {
  std::error_code ec;
  if (!fs::exists(path, ec) && !fs::is_symlink(path, ec)) return {std::string(), {}};
  if (std::string error = CheckFile(path, kGroupOrOthersWrite, "can be changed by others");
      !error.empty()) {
    return {std::nullopt, error};
  }
  std::string error;
  std::optional<std::string> text = ReadAll(path, error);
  return {std::move(text), error};
}

std::optional<std::array<std::uint8_t, protocol::kSeedSize>> ParseSeed(std::string_view hex) {
  if (hex.size() != 2 * protocol::kSeedSize) return std::nullopt;
  std::array<std::uint8_t, protocol::kSeedSize> seed{};
  for (std::size_t i = 0; i < hex.size(); ++i) {
    const char c = hex[i];
    int v = -1;
    if (c >= '0' && c <= '9') v = c - '0';
    if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
    if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
    if (v < 0) return std::nullopt;
    seed[i / 2] = static_cast<std::uint8_t>(seed[i / 2] | (v << (i % 2 == 0 ? 4 : 0)));
  }
  return seed;
}

Loaded<protocol::SigningKey> ParseIdentity(const fs::path& path, const std::string& text) {
  std::optional<protocol::SigningKey> key;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    const std::string_view t = Trim(line);
    if (t.empty() || t.front() == '#') continue;
    if (!t.starts_with(kSeedWord) || key)
      return {std::nullopt, Named(path, "is not an identity file")};
    auto seed = ParseSeed(Trim(t.substr(kSeedWord.size())));
    if (!seed) return {std::nullopt, Named(path, "its key is not 64 hexadecimal digits")};
    key = protocol::SigningKey::FromSeed(*seed);
    std::fill(seed->begin(), seed->end(), 0);
  }
  if (!key) return {std::nullopt, Named(path, "holds no key")};
  return {std::move(key), {}};
}

// Writes a new identity; empty, or why not. An identity another process created first wins.
std::string CreateIdentity(const fs::path& path) {
  if (std::string error = MakeFolderFor(path); !error.empty()) return error;
  const protocol::SigningKey key = protocol::SigningKey::Generate();
  std::string text =
      "# Vantorel sender identity: whoever holds this file can broadcast in your name.\n"
      "# Fingerprint: " +
      key.FingerprintOf().Text() + "\n" + std::string(kSeedWord) + " ";
  AppendHex(text, key.Seed());
  text += '\n';
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return errno == EEXIST ? std::string() : Named(path, std::strerror(errno));
  const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  const int saved = errno;
  std::fill(text.begin(), text.end(), '\0');
  const bool synced = ::fsync(fd) == 0;
  ::close(fd);
  if (!written || !synced) {
    ::unlink(path.c_str());
    return Named(path, std::strerror(saved != 0 ? saved : EIO));
  }
  return {};
}

}  // namespace

Loaded<protocol::SigningKey> LoadIdentity(const fs::path& path, WhenMissing missing) {
  if (!protocol::CryptoReady()) return {std::nullopt, "the crypto library cannot start"};
  std::error_code ec;
  if (!fs::exists(path, ec) && !fs::is_symlink(path, ec) && missing == WhenMissing::kCreate) {
    if (std::string error = CreateIdentity(path); !error.empty()) return {std::nullopt, error};
  }
  if (std::string error =
          CheckFile(path, kGroupOrOthersRead | kGroupOrOthersWrite, "can be read by others");
      !error.empty()) {
    return {std::nullopt, error};
  }
  std::string error;
  std::optional<std::string> text = ReadAll(path, error);
  if (!text) return {std::nullopt, error};
  Loaded<protocol::SigningKey> loaded = ParseIdentity(path, *text);
  std::fill(text->begin(), text->end(), '\0');
  return loaded;
}

Loaded<std::vector<TrustedSender>> LoadTrustedSenders(const fs::path& path) {
  const Loaded<std::string> text = ReadListFile(path);
  if (!text.value) return {std::nullopt, text.error};
  std::vector<TrustedSender> senders;
  std::istringstream lines(*text.value);
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    const std::string_view t = Trim(line);
    if (t.empty() || t.front() == '#') continue;
    const std::size_t end = t.find_first_of(" \t");
    const std::string_view word = t.substr(0, end);
    const auto fingerprint = protocol::Fingerprint::Parse(word);
    if (!fingerprint) {
      return {std::nullopt, Named(path, "line " + std::to_string(number) + ": \"" +
                                            std::string(word) + "\" is not a fingerprint")};
    }
    const std::string_view name = end == std::string_view::npos ? "" : Trim(t.substr(end));
    senders.push_back({*fingerprint, std::string(name)});
  }
  return {std::move(senders), {}};
}

std::string AddTrustedSender(const fs::path& path, const protocol::Fingerprint& fingerprint,
                             const std::string& name) {
  if (std::string error = MakeFolderFor(path); !error.empty()) return error;
  std::error_code ec;
  const bool fresh = !fs::exists(path, ec);
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (fd < 0) return Named(path, std::strerror(errno));
  std::string text;
  if (fresh) text = "# Senders this receiver trusts: a fingerprint a line, a name after it.\n";
  text += fingerprint.Text();
  std::string clean;
  for (const char c : name) clean += (c == '\n' || c == '\r') ? ' ' : c;
  if (!clean.empty()) text += "  " + clean;
  text += '\n';
  const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  const int saved = errno;
  ::close(fd);
  return written ? std::string() : Named(path, std::strerror(saved));
}

Loaded<Counters> LoadCounters(const fs::path& path) {
  const Loaded<std::string> text = ReadListFile(path);
  if (!text.value) return {std::nullopt, text.error};
  Counters counters;
  std::istringstream lines(*text.value);
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    const std::string_view t = Trim(line);
    if (t.empty() || t.front() == '#') continue;
    const std::size_t space = t.find(' ');
    const auto key = ParseSeed(t.substr(0, space));  // 32 bytes in hexadecimal, as a seed is
    const std::string count =
        space == std::string_view::npos ? "" : std::string(Trim(t.substr(space)));
    char* end = nullptr;
    const unsigned long long value = std::strtoull(count.c_str(), &end, 10);
    if (!key || count.empty() || count[0] == '-' || *end != '\0') {
      return {std::nullopt,
              Named(path, "line " + std::to_string(number) + " is not a key and a counter")};
    }
    protocol::PublicKey k;
    std::copy(key->begin(), key->end(), k.begin());
    counters[k] = std::max<std::uint64_t>(counters[k], value);
  }
  return {std::move(counters), {}};
}

std::string SaveCounters(const fs::path& path, const Counters& counters) {
  if (std::string error = MakeFolderFor(path); !error.empty()) return error;
  std::string text = "# The highest signature counter seen of each trusted sender's key.\n";
  for (const auto& [key, counter] : counters) {
    AppendHex(text, key);
    text += ' ' + std::to_string(counter) + '\n';
  }
  const fs::path aside = path.string() + ".new";
  {
    std::ofstream out(aside, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) return Named(aside, std::strerror(errno));
  }
  std::error_code ec;
  fs::rename(aside, path, ec);
  return ec ? Named(path, ec.message()) : std::string();
}

}  // namespace vantorel::profile
