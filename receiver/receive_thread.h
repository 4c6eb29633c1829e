// The receive loop on a thread of its own: locks onto the first sender heard, posts each media
// datagram to the owner window (the buffer travels with the message) and turns end-of-broadcast
// datagrams into a message of their own. Touches only the socket and fresh buffers.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "platform/gui/window_message.h"
#include "platform/net/udp_socket.h"

namespace vantorel::receiver {

struct ReceiveStats {
  std::uint64_t datagrams = 0;      // everything the socket returned
  std::uint64_t posted = 0;         // media datagrams handed to the window
  std::uint64_t endOfBroadcast = 0;
  std::uint64_t wakeUps = 0;
  std::uint64_t foreignSender = 0;
  std::uint64_t oversized = 0;      // larger than the receive buffers; the thread goes on
  std::uint64_t malformed = 0;      // too short for a route key and header
  std::uint64_t unknownKey = 0;
  std::uint64_t postFailed = 0;
};

class ReceiveThread {
 public:
  static constexpr std::uint32_t kPayloadBufferSize = 1472;
  static constexpr int kStopTimeoutMs = 3000;

  // Starts the loop at once. `wakeTarget` receives the one-byte wake-up datagram at stop.
  ReceiveThread(gui::WindowHandle& owner, net::UdpSocket& socket, net::Endpoint wakeTarget);
  // Stops the loop: wake-up datagram, up to 3 s for the thread to notice, then the socket is
  // shut down under it; always joins.
  ~ReceiveThread();
  ReceiveThread(const ReceiveThread&) = delete;
  ReceiveThread& operator=(const ReceiveThread&) = delete;

  ReceiveStats Stats() const;
  bool Locked() const { return locked_.load(); }

 private:
  void Run();                 // called on the receive thread
  void Handle(std::unique_ptr<std::uint8_t[]> payload, std::uint32_t key, std::size_t length,
              const net::Endpoint& source);  // called on the receive thread

  gui::WindowHandle& owner_;
  net::UdpSocket& socket_;
  net::Endpoint wakeTarget_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> locked_{false};
  net::Endpoint sender_;  // receive thread only

  std::mutex exitLock_;
  std::condition_variable exited_;
  bool finished_ = false;

  std::atomic<std::uint64_t> datagrams_{0}, posted_{0}, endOfBroadcast_{0}, wakeUps_{0},
      foreignSender_{0}, oversized_{0}, malformed_{0}, unknownKey_{0}, postFailed_{0};
  std::thread thread_;  // last: starts after every member above exists
};

}  // namespace vantorel::receiver
