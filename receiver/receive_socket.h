// The receiver's socket on the broadcast port and the thread that reads it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/net/udp_socket.h"
#include "protocol/wire_format.h"
#include "receiver/receive_thread.h"

namespace vantorel::receiver {

struct ReceiveOptions {
  std::uint16_t port = protocol::kBroadcastPort;  // 0 picks a free port (tests)
  std::uint32_t bindAddress = net::kAnyAddress;
  // Where the one-byte wake-up datagram goes when the thread stops (the socket's own port).
  std::uint32_t wakeAddress = net::kLimitedBroadcast;
  // How much the reception may fall behind before the oldest datagrams are dropped.
  DatagramQueueLimits queueLimits;
  // How long the locked sender may be silent before another sender can take the lock.
  std::chrono::milliseconds senderSilence = kSenderSilence;
  // Parity datagrams are taken (and used to rebuild losses); false drops them like a receiver
  // that does not know them.
  bool useParity = true;
  // Who may lock the reception: the first sender heard (kFirstSender), or nobody here, when
  // the signature check after the queue decides (kBySignature): every datagram then goes on
  // with its source, the end of a broadcast too.
  LockPolicy lock = LockPolicy::kFirstSender;
  // Who may take the lock, with the first-sender policy.
  SenderPreference preference = {};
  // A multicast group to join besides the broadcasts (kAnyAddress: none).
  std::uint32_t group = net::kAnyAddress;
  // Empty: every interface. Otherwise only what arrives on this one is received, and the group
  // is joined there.
  std::string interfaceName = {};
};

class ReceiveSocket {
 public:
  // Room for bursts while the receive thread waits for a processor: a 720p broadcast cuts a
  // picture into a burst of about 60 datagrams. The system caps it at net.core.rmem_max.
  static constexpr int kReceiveBufferBytes = 4 * 1024 * 1024;

  // Opens the socket and starts its thread; when the socket cannot be opened the object
  // exists without a thread and receives nothing.
  explicit ReceiveSocket(ReceiveOwner& owner, ReceiveOptions options = {});
  // Stops the thread, then closes the socket. The stats stay readable, final: nothing the thread
  // counted after they were read can be missing from them.
  void Stop();
  ~ReceiveSocket();
  ReceiveSocket(const ReceiveSocket&) = delete;
  ReceiveSocket& operator=(const ReceiveSocket&) = delete;

  bool IsOpen() const { return thread_ != nullptr; }
  std::uint16_t LocalPort() const { return localPort_; }
  std::uint32_t MaxMessageSize() const { return net::kMaxUdpPayload; }
  ReceiveStats Stats() const { return thread_ ? thread_->Stats() : final_; }
  // The datagrams the thread queued since the last call; called on the owner's thread.
  std::deque<Datagram> TakeDatagrams() {
    return thread_ ? thread_->TakeDatagrams() : std::deque<Datagram>{};
  }
  std::optional<net::Endpoint> LockedSender() const {
    return thread_ ? thread_->LockedSender() : std::nullopt;
  }
  bool AllTaken() const { return !thread_ || thread_->AllTaken(); }
  void SetPreference(const SenderPreference& preference) {
    if (thread_) thread_->SetPreference(preference);
  }
  // The index of the interface the socket is bound to; 0 when it takes every interface.
  unsigned InterfaceIndex() const { return interfaceIndex_; }

 private:
  bool Open(const ReceiveOptions& options);

  net::UdpSocket socket_;
  std::uint16_t localPort_ = 0;
  unsigned interfaceIndex_ = 0;
  std::unique_ptr<ReceiveThread> thread_;
  ReceiveStats final_;  // the stopped thread's
};

}  // namespace vantorel::receiver
