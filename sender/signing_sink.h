// Signs the broadcast on its way to the socket. Every datagram (media, parity, end of
// broadcast) goes out at once, unchanged; its hash joins the open group. A group closes when it
// holds kMaxSignedDatagrams, at the end of a message once it has spanned kMessageSpan, at the
// end of a stream description (receivers time their presentation from its arrival), or at
// kGroupSpan by the signer's own thread, and its signature datagram follows it under its own
// route key. A receiver that checks signatures therefore holds a datagram for at most about a
// group's span.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <stop_token>
#include <thread>
#include <vector>

#include "protocol/packet_sink.h"
#include "protocol/signing.h"

namespace vantorel::sender {

struct SigningStats {
  std::uint64_t signatures = 0;  // groups signed
  std::uint64_t signedDatagrams = 0;
  std::uint64_t signatureDatagrams = 0;  // repeats included
  std::uint64_t signatureBytes = 0;
};

class SigningSink : public protocol::PacketSink {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds kGroupSpan{30};
  // A message that ends after this much of a group closes it: a picture's datagrams do not
  // wait for the next picture's.
  static constexpr std::chrono::milliseconds kMessageSpan{10};

  // With repeats, a signature goes out a third time after kLateCopyAfter more datagrams or
  // kLateCopyDelay, whichever comes first.
  static constexpr std::size_t kLateCopyAfter = 8;
  static constexpr std::chrono::milliseconds kLateCopyDelay{10};

  // `out` (not owned) takes the datagrams and the signatures, from the senders' threads and
  // from the signer's own. Each signature datagram goes out `repeats` times (1 or 2) at once,
  // and with 2 once more, later: a broadcast that sends parity for a lossy link loses a group
  // only with every copy.
  SigningSink(protocol::PacketSink& out, protocol::SigningKey key, int repeats = 1);
  // With a clock of the caller's and no thread: groups close only as datagrams come (tests).
  SigningSink(protocol::PacketSink& out, protocol::SigningKey key, int repeats,
              std::function<Clock::time_point()> now);
  ~SigningSink() override;
  SigningSink(const SigningSink&) = delete;
  SigningSink& operator=(const SigningSink&) = delete;

  int Send(std::uint32_t key, protocol::BufferList buffers) override;
  // The batch goes out together; the groups it closes are signed after it.
  int SendBatch(std::uint32_t key, std::span<const protocol::BufferList> lists) override;
  // Closes the open group and sends its signature.
  void Flush();
  // Flushes, then signs ahead `times` copies of a datagram that the caller sends next, past
  // the signer (the end of a broadcast: nothing of the broadcast comes after it).
  void SignAhead(std::uint32_t key, protocol::BufferList payload, int times);
  SigningStats Stats() const;
  const protocol::Fingerprint& FingerprintOf() const { return fingerprint_; }

 private:
  void CloseGroup();
  void SendLateCopy();  // the pending late copy, if any
  void Put(const std::vector<std::uint8_t>& payload);
  void CloseInTime(std::stop_token stop);

  protocol::PacketSink& out_;
  const protocol::SigningKey key_;
  const protocol::Fingerprint fingerprint_;
  const int repeats_;
  std::function<Clock::time_point()> now_;
  mutable std::mutex lock_;
  std::vector<protocol::DatagramHash> hashes_;  // of the open group
  Clock::time_point opened_{};
  bool describing_ = false;             // a stream description is being sent
  std::uint64_t counter_;               // of the next signature
  std::vector<std::uint8_t> lateCopy_;  // the last signature, to be sent once more
  Clock::time_point lateCopyMade_{};
  std::size_t sinceLateCopy_ = 0;  // datagrams sent since lateCopy_ was made
  std::uint64_t changes_ = 0;      // tells the closer's thread that its deadlines moved
  SigningStats stats_;
  std::condition_variable_any groupOpened_;
  std::jthread closer_;  // last: it stops before the rest goes
};

}  // namespace vantorel::sender
