// The listening tool's playback: the playback graph with null outputs, the window-message hook
// that drops queued datagrams after a build, and the per-stream lines printed at exit.
#pragma once

#include <QObject>

#include <memory>
#include <string>
#include <vector>

#include "platform/media/receiver_playback_graph.h"
#include "receiver/playback_graph.h"
#include "receiver/receive_socket.h"

namespace vantorel::tools {

// Drops the datagrams waiting for a window: its posted datagram messages, the receive thread's
// queue, and the rest of a batch being delivered (which checks Discards()).
class QtPostedDatagrams : public receiver::PostedDatagrams {
 public:
  explicit QtPostedDatagrams(QObject* window) : window_(window) {}
  void SetSocket(receiver::ReceiveSocket* socket) { socket_ = socket; }
  void DiscardQueued() override;
  std::uint64_t Discards() const { return discards_; }

 private:
  QObject* window_;
  receiver::ReceiveSocket* socket_ = nullptr;  // not owned
  std::uint64_t discards_ = 0;
};

// "stream=<video|audio> caps=<caps> delivered=<packets> decoded=<n> late=<n>"
std::string DescribeStream(const receiver::StreamReport& report);
// "timing stream=... timed=<n> median-margin-ms=<x> worst-margin-ms=<y>"
std::string DescribeTiming(const receiver::StreamReport& report);

}  // namespace vantorel::tools
