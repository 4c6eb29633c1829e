#include "receiver/app/web_viewing.h"

#include <algorithm>

#include "platform/net/udp_socket.h"

namespace vantorel::receiver::app {
namespace {

constexpr std::string_view kServingPrefix = "vantorel-web: serving ";
constexpr std::string_view kHttpScheme = "http://";

// A sender's address as the command line takes it: a port of 0 stands for every port.
std::string SourceText(const receiver::DatagramSource& source) {
  if (source.port == 0) return net::FormatIpv4(source.address);
  return net::Endpoint{source.address, source.port}.ToString();
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.back() == '\r' || text.back() == ' ')) text.remove_suffix(1);
  return text;
}

}  // namespace

std::vector<std::string> WebServerArguments(const receiver::ReceiveOptions& receive,
                                            const std::vector<protocol::Fingerprint>& trusted,
                                            const receiver::SenderChoice& choice) {
  std::vector<std::string> args{"--port", std::to_string(receive.port)};
  if (receive.group != net::kAnyAddress) {
    args.insert(args.end(), {"--group", net::FormatIpv4(receive.group)});
  }
  if (!receive.interfaceName.empty()) {
    args.insert(args.end(), {"--interface", receive.interfaceName});
  }
  for (const protocol::Fingerprint& fingerprint : trusted) {
    args.insert(args.end(), {"--trust", fingerprint.Text()});
  }
  // An address is the sharper choice when the reception has both.
  const std::string who = choice.address ? SourceText(*choice.address) : choice.name;
  if (!who.empty()) args.insert(args.end(), {choice.only ? "--sender" : "--prefer", who});
  return args;
}

std::string ServedAddress(std::string_view line) {
  line = Trimmed(line);
  if (!line.starts_with(kServingPrefix)) return {};
  line.remove_prefix(kServingPrefix.size());
  const bool oneWord = std::none_of(line.begin(), line.end(), [](char c) { return c == ' '; });
  if (!line.starts_with(kHttpScheme) || line.size() == kHttpScheme.size() || !oneWord) return {};
  return std::string(line);
}

std::vector<std::string> WebServerOutput::Feed(std::string_view bytes) {
  std::vector<std::string> added;
  for (std::size_t end; (end = bytes.find('\n')) != std::string_view::npos;) {
    pending_.append(bytes.substr(0, std::min(end, kMaxLine - std::min(kMaxLine, pending_.size()))));
    TakeLine(pending_, added);
    pending_.clear();
    bytes.remove_prefix(end + 1);
  }
  pending_.append(bytes.substr(0, kMaxLine - std::min(kMaxLine, pending_.size())));
  return added;
}

void WebServerOutput::Finish() {
  std::vector<std::string> added;
  TakeLine(pending_, added);
  pending_.clear();
}

void WebServerOutput::TakeLine(std::string_view line, std::vector<std::string>& added) {
  line = Trimmed(line);
  if (line.empty()) return;
  lastLine_ = std::string(line);
  std::string address = ServedAddress(line);
  if (address.empty() ||
      std::find(addresses_.begin(), addresses_.end(), address) != addresses_.end()) {
    return;
  }
  addresses_.push_back(address);
  added.push_back(std::move(address));
}

}  // namespace vantorel::receiver::app
