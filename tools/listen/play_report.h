// The listening tool's playback: the playback graph with null outputs, the window-message hook
// that drops queued datagrams after a build, and the per-stream lines printed at exit.
#pragma once

#include <QObject>

#include <memory>
#include <string>
#include <vector>

#include "platform/media/receiver_playback_graph.h"
#include "receiver/playback_graph.h"

namespace vantorel::tools {

// Removes the datagram messages posted to a window and not yet handled.
class QtPostedDatagrams : public receiver::PostedDatagrams {
 public:
  explicit QtPostedDatagrams(QObject* window) : window_(window) {}
  void DiscardQueued() override;

 private:
  QObject* window_;
};

// "stream=<video|audio> caps=<caps> delivered=<packets> decoded=<n> late=<n>"
std::string DescribeStream(const receiver::StreamReport& report);
// "timing stream=... timed=<n> median-margin-ms=<x> worst-margin-ms=<y>"
std::string DescribeTiming(const receiver::StreamReport& report);

}  // namespace vantorel::tools
