#include "sender/announcer.h"

#include <unistd.h>

#include <algorithm>
#include <array>

#include "protocol/wire_format.h"

namespace vantorel::sender {

Announcer::Announcer(protocol::PacketSink& out, std::string name,
                     std::optional<protocol::SigningKey> key,
                     std::function<Clock::time_point()> now)
    : out_(out), key_(std::move(key)), now_(std::move(now)) {
  SetName(name);
  const auto wall = std::chrono::system_clock::now().time_since_epoch();
  current_.counter = static_cast<std::uint64_t>(std::max<std::int64_t>(
      1, std::chrono::duration_cast<std::chrono::microseconds>(wall).count()));
}

void Announcer::Set(protocol::SenderState state, protocol::SenderSource source, std::string title,
                    std::uint8_t session) {
  title = protocol::CleanAnnouncedText(title, protocol::kMaxSenderTitle);
  const bool changed = state != current_.state || source != current_.source ||
                       title != current_.title || session != current_.session;
  current_.state = state;
  current_.source = source;
  current_.title = std::move(title);
  current_.session = session;
  if (changed || sent_ == 0) Send();
}

void Announcer::SetName(const std::string& name) {
  std::string cleaned = protocol::CleanAnnouncedText(name, protocol::kMaxSenderName);
  if (cleaned.empty()) cleaned = DefaultSenderName();
  if (cleaned == current_.name) return;
  current_.name = std::move(cleaned);
  if (sent_ != 0) Send();
}

void Announcer::Tick() {
  if (sent_ == 0 || now_() - lastSent_ >= kInterval) Send();
}

void Announcer::Send() {
  const std::vector<std::uint8_t> payload =
      protocol::WriteAnnouncement(current_, key_ ? &*key_ : nullptr);
  ++current_.counter;
  const protocol::Buffer buffer = protocol::MakeBuffer(payload.data(), payload.size());
  out_.Send(protocol::kRouteKeyAnnouncement, {&buffer, 1});
  lastSent_ = now_();
  ++sent_;
}

std::string DefaultSenderName() {
  std::array<char, 256> host{};
  if (gethostname(host.data(), host.size() - 1) != 0 || host[0] == '\0') return "Vantorel";
  return protocol::CleanAnnouncedText(host.data(), protocol::kMaxSenderName);
}

}  // namespace vantorel::sender
