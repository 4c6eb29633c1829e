// What a sender says of itself on the air: its name, what it plays and whether it plays, is
// paused or stopped. Sent once a second, and at once when any of it changes, straight to the
// wire (not through the parity or the signer: an announcement signs itself when the sender
// has an identity). Called on one thread (the window's, or the casting tool's).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "protocol/announcement.h"
#include "protocol/packet_sink.h"
#include "protocol/signing.h"

namespace vantorel::sender {

class Announcer {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds kInterval{1000};

  // `out` (not owned) outlives this. The counter starts at the wall clock's microseconds, so
  // a restarted sender counts on from above where it stopped.
  Announcer(protocol::PacketSink& out, std::string name,
            std::optional<protocol::SigningKey> key = std::nullopt,
            std::function<Clock::time_point()> now = Clock::now);

  // What is announced from now on; sent at once when it differs from what was.
  void Set(protocol::SenderState state, protocol::SenderSource source, std::string title,
           std::uint8_t session);
  // Announces under another name from now on (sent at once when it changed).
  void SetName(const std::string& name);
  // Sends again when the last one is kInterval old.
  void Tick();
  const protocol::Announcement& Current() const { return current_; }
  std::uint64_t Sent() const { return sent_; }

 private:
  void Send();

  protocol::PacketSink& out_;
  std::optional<protocol::SigningKey> key_;
  std::function<Clock::time_point()> now_;
  protocol::Announcement current_;
  Clock::time_point lastSent_{};
  std::uint64_t sent_ = 0;
};

// The sender's name when none is given: this host's name.
std::string DefaultSenderName();

}  // namespace vantorel::sender
