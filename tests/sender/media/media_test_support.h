// Shared pieces of the media tests: a window that the graph posts to, a sink that rebuilds
// the broadcast's messages in the process, and where the generated test media are.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/gui/mailbox.h"
#include "protocol/messages.h"
#include "protocol/packet_sink.h"
#include "receiver/reassembler.h"
#include "sender/media_graph.h"

namespace vantorel::testing {

using Bytes = std::vector<std::uint8_t>;

// Folder of the generated test media.
std::string TestMediaPath(const std::string& name);

// Collects posted graph notices; the test thread waits for them.
class EventWindow : public gui::Mailbox<sender::GraphNotice> {
 public:
  bool Post(sender::GraphNotice notice) override;
  // True when a notice came within the timeout (and takes it).
  bool WaitForPost(std::chrono::milliseconds timeout);

 private:
  std::mutex lock_;
  std::condition_variable posted_;
  int pending_ = 0;
};

// Takes the datagrams of the media route (called under the multiplexer's lock on streaming
// threads) and keeps every whole message they carry.
class MessageCapture : public protocol::PacketSink {
 public:
  MessageCapture();
  int Send(std::uint32_t key, protocol::BufferList buffers) override;
  std::vector<Bytes> Messages();
  std::uint64_t Datagrams();
  receiver::ReassemblyStats ReassemblyStats();

 private:
  class Collector : public protocol::PacketSink {
   public:
    explicit Collector(std::vector<Bytes>& messages) : messages_(messages) {}
    int Send(std::uint32_t key, protocol::BufferList buffers) override;

   private:
    std::vector<Bytes>& messages_;
  };

  std::mutex lock_;
  std::vector<Bytes> messages_;
  Collector collector_{messages_};
  receiver::Reassembler reassembler_;
  std::uint64_t datagrams_ = 0;
};

// A message split by kind, for checking the broadcast of one file.
struct StreamLog {
  std::vector<protocol::SampleProperties> samples;
  std::vector<Bytes> data;
  std::size_t segmentStarts = 0;
  // For each segment start, the index of the first sample after it.
  std::vector<std::size_t> segmentBefore;
};

struct BroadcastLog {
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  std::vector<protocol::StreamDescription> descriptions;
  StreamLog video;
  StreamLog audio;
  std::size_t malformed = 0;
  // Index in the message sequence of each kind's first message.
  std::size_t firstDescription = kNone;
  std::size_t firstOther = kNone;
};

BroadcastLog Sort(const std::vector<Bytes>& messages);

}  // namespace vantorel::testing
