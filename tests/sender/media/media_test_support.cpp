#include "tests/sender/media/media_test_support.h"

#include <cstdlib>

namespace vantorel::testing {

std::string TestMediaPath(const std::string& name) {
  const char* folder = std::getenv("VANTOREL_TEST_MEDIA");
  return std::string(folder != nullptr ? folder : VANTOREL_TEST_MEDIA_DIR) + "/" + name;
}

bool EventWindow::Post(sender::GraphNotice) {
  {
    std::lock_guard guard(lock_);
    ++pending_;
  }
  posted_.notify_all();
  return true;
}

bool EventWindow::WaitForPost(std::chrono::milliseconds timeout) {
  std::unique_lock guard(lock_);
  if (!posted_.wait_for(guard, timeout, [this] { return pending_ > 0; })) return false;
  --pending_;
  return true;
}

MessageCapture::MessageCapture() {
  reassembler_.AddRoute(0, &collector_);
}

int MessageCapture::Send(std::uint32_t, protocol::BufferList buffers) {
  Bytes datagram;
  for (const protocol::Buffer& b : buffers) {
    if (b.length != 0) datagram.insert(datagram.end(), b.data, b.data + b.length);
  }
  std::lock_guard guard(lock_);
  ++datagrams_;
  const protocol::Buffer whole = protocol::MakeBuffer(datagram.data(), datagram.size());
  reassembler_.Send(protocol::kRouteKeyMedia, {&whole, 1});
  return 1;
}

int MessageCapture::Collector::Send(std::uint32_t, protocol::BufferList buffers) {
  Bytes message;
  for (const protocol::Buffer& b : buffers) {
    if (b.length != 0) message.insert(message.end(), b.data, b.data + b.length);
  }
  messages_.push_back(std::move(message));
  return 1;
}

std::vector<Bytes> MessageCapture::Messages() {
  std::lock_guard guard(lock_);
  return messages_;
}

std::uint64_t MessageCapture::Datagrams() {
  std::lock_guard guard(lock_);
  return datagrams_;
}

receiver::ReassemblyStats MessageCapture::ReassemblyStats() {
  std::lock_guard guard(lock_);
  return reassembler_.Stats();
}

BroadcastLog Sort(const std::vector<Bytes>& messages) {
  BroadcastLog log;
  for (std::size_t i = 0; i < messages.size(); ++i) {
    const Bytes& m = messages[i];
    switch (protocol::ClassifyMessage(m)) {
      case protocol::MessageKind::kStreamDescription:
        if (auto d = protocol::ParseStreamDescription(m)) {
          log.descriptions.push_back(std::move(*d));
          log.firstDescription = std::min(log.firstDescription, i);
        } else {
          ++log.malformed;
        }
        break;
      case protocol::MessageKind::kSample:
        if (auto s = protocol::ParseSampleMessage(m)) {
          StreamLog& stream = s->stream == protocol::StreamKind::kVideo ? log.video : log.audio;
          stream.samples.push_back(s->properties);
          stream.data.emplace_back(s->data.begin(), s->data.end());
          log.firstOther = std::min(log.firstOther, i);
        } else {
          ++log.malformed;
        }
        break;
      case protocol::MessageKind::kSegmentStart:
        if (auto s = protocol::ParseSegmentStart(m)) {
          StreamLog& stream = s->stream == protocol::StreamKind::kVideo ? log.video : log.audio;
          stream.segmentStarts++;
          stream.segmentBefore.push_back(stream.samples.size());
          log.firstOther = std::min(log.firstOther, i);
        } else {
          ++log.malformed;
        }
        break;
      case protocol::MessageKind::kUnknown:
        ++log.malformed;
        break;
    }
  }
  return log;
}

}  // namespace vantorel::testing
