// One broadcast's sessions, parity, signing and end over scripted graphs: nothing is decoded,
// and the sink sends to 127.0.0.1 only.
#include "sender/broadcast.h"

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/media/caps_conversion.h"
#include "platform/media/gst_ptr.h"
#include "protocol/messages.h"
#include "sender/gst/grabber_element.h"
#include "sender/gst/gst_media_graph.h"
#include "tests/sender/loopback_receiver.h"
#include "tests/sender/media/scripted_graph.h"

namespace vantorel::sender {
namespace {

using testing::Bytes;
using testing::LoopbackReceiver;

// The graph offers one MPEG audio stream, but a raw video stream for this file, which no
// grabber takes.
constexpr const char* kAudioFile = "song.mp2";
constexpr const char* kRawVideoFile = "raw.avi";
constexpr const char* kMpegAudioCaps =
    "audio/mpeg, mpegversion=(int)1, layer=(int)2, rate=(int)44100, channels=(int)2";
constexpr const char* kRawVideoCaps =
    "video/x-raw, format=(string)YUY2, width=(int)320, height=(int)240, framerate=(fraction)25/1";
constexpr std::size_t kSampleBytes = 3000;  // a few datagrams

struct BufferUnref {
  void operator()(GstBuffer* buffer) const { gst_buffer_unref(buffer); }
};
using BufferPtr = std::unique_ptr<GstBuffer, BufferUnref>;

// Plays the part of GStreamer for the session's grabbers: rendering links those that take the
// file's stream, and PushSample hands each linked grabber a buffer as its streaming thread
// would.
class StreamingGraph : public testing::ScriptedGraph {
 public:
  sender::Status AddFilter(sender::GraphFilter& filter) override {
    filters_.push_back(&filter);
    return {};
  }
  sender::Status RemoveFilter(sender::GraphFilter& filter) override {
    std::erase(filters_, &filter);
    std::erase(linked_, &filter);
    return {};
  }
  sender::Status RenderFile(const std::string& path) override {
    if (!renderResult.ok()) return renderResult;
    const media::CapsPtr caps(
        gst_caps_from_string(path == kRawVideoFile ? kRawVideoCaps : kMpegAudioCaps));
    const auto type = media::MediaTypeFromCaps(caps.get());
    for (sender::GraphFilter* filter : filters_) {
      auto* grabber = dynamic_cast<sender::gst::GstGraphFilter*>(filter);
      if (grabber == nullptr || !type || !filter->AcceptsInput(*type)) continue;
      grabber->CompleteConnect(caps.get());
      linked_.push_back(filter);
    }
    return {};
  }
  void PushSample() {
    GstSegment segment;
    gst_segment_init(&segment, GST_FORMAT_TIME);
    for (sender::GraphFilter* filter : linked_) {
      const BufferPtr buffer(gst_buffer_new_allocate(nullptr, kSampleBytes, nullptr));
      gst_buffer_memset(buffer.get(), 0, 0x5A, kSampleBytes);
      GST_BUFFER_PTS(buffer.get()) = 0;
      dynamic_cast<sender::gst::GrabberCallbacks&>(*filter).Transform(buffer.get(), segment);
    }
  }

 private:
  std::vector<sender::GraphFilter*> filters_;
  std::vector<sender::GraphFilter*> linked_;
};

using StreamingFactory = testing::ScriptedFactory<StreamingGraph>;

std::vector<std::uint32_t> RouteKeys(const std::vector<Bytes>& datagrams) {
  std::vector<std::uint32_t> keys;
  for (const Bytes& d : datagrams) keys.push_back(testing::WordAt(d, 0));
  return keys;
}

std::optional<std::uint8_t> SessionOf(const Broadcast& broadcast) {
  if (broadcast.Session() == nullptr || broadcast.Session()->AudioGrabber() == nullptr) return {};
  const auto record =
      protocol::ParseFormatRecord(broadcast.Session()->AudioGrabber()->FormatRecord());
  return record ? std::optional<std::uint8_t>(record->session) : std::nullopt;
}

// Cases of the tables below print, and name their tests, by their `name`.
template <typename Case>
requires requires(const Case& c) {
  c.name;
}
void PrintTo(const Case& c, std::ostream* os) {
  *os << c.name;
}
const auto kCaseName = [](const auto& info) { return std::string(info.param.name); };

class BroadcastTest : public ::testing::Test {
 protected:
  void SetUp() override { Make(0); }
  void Make(int fecPercent, std::optional<protocol::SigningKey> identity = std::nullopt) {
    broadcast.reset();
    auto factory = std::make_unique<StreamingFactory>(&graph);
    graphs = factory.get();
    broadcast = std::make_unique<Broadcast>(sink, std::move(factory), fecPercent,
                                            std::move(identity), "test sender");
  }
  sender::Status OpenAudio() { return broadcast->Open(&owner, kAudioFile); }

  LoopbackReceiver receiver;
  UdpBroadcastSink sink{receiver.Port(), net::kLoopbackAddress};
  testing::NullOwner owner;
  StreamingGraph* graph = nullptr;  // the latest session's
  StreamingFactory* graphs = nullptr;
  std::unique_ptr<Broadcast> broadcast;
};

TEST_F(BroadcastTest, SessionsAreNumberedInTurnAndWrapAfter255) {
  for (int i = 0; i < 258; ++i) {
    ASSERT_TRUE(OpenAudio().ok()) << i;
    // The number reaches the grabbers' format records, which receivers tell sessions apart by.
    ASSERT_EQ(SessionOf(*broadcast), static_cast<std::uint8_t>(i)) << i;
  }
  EXPECT_EQ(broadcast->SessionNumber(), 2);
  broadcast->Announce(protocol::SenderState::kPlaying, protocol::SenderSource::kFile, "song");
  EXPECT_EQ(broadcast->Announced().session, 1);
}

struct FailedOpen {
  const char* name;
  const char* file;
  sender::Status render;  // what the graph answers
  sender::MediaErrc code;
  const char* detail;
};

class BroadcastFailedOpenTest : public BroadcastTest,
                                public ::testing::WithParamInterface<FailedOpen> {};

TEST_P(BroadcastFailedOpenTest, LeavesNoSessionAndKeepsTheNumber) {
  ASSERT_TRUE(OpenAudio().ok());
  graphs->nextRender = GetParam().render;
  EXPECT_EQ(broadcast->Open(&owner, GetParam().file).code(), GetParam().code);
  EXPECT_EQ(broadcast->Session(), nullptr);
  EXPECT_EQ(broadcast->LastOpenError().code, GetParam().code);
  EXPECT_EQ(broadcast->LastOpenError().detail, GetParam().detail);
  EXPECT_EQ(broadcast->SessionNumber(), 1);
  ASSERT_TRUE(OpenAudio().ok());
  EXPECT_EQ(SessionOf(*broadcast), 1);
  EXPECT_EQ(broadcast->LastOpenError().code, sender::MediaErrc::kOk);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BroadcastFailedOpenTest,
    ::testing::Values(
        FailedOpen{"RenderFails", kAudioFile,
                   sender::Status(sender::MediaErrc::kFileNotFound, "Resource not found."),
                   sender::MediaErrc::kFileNotFound, "Resource not found."},
        FailedOpen{
            "NothingToBroadcast", kRawVideoFile, {}, sender::MediaErrc::kUnsupportedStream, ""}),
    kCaseName);

struct Chain {
  const char* name;
  int fecPercent;
  bool signedBroadcast;
};

class BroadcastEndTest : public BroadcastTest, public ::testing::WithParamInterface<Chain> {};

// Whatever the chain, the session's last datagrams (and its parity and signatures) go out
// before the end, the end goes out kEndOfBroadcastTimes times, and nothing follows it.
TEST_P(BroadcastEndTest, ClosesTheSessionThenEndsOnce) {
  const protocol::SigningKey key = protocol::SigningKey::Generate();
  Make(GetParam().fecPercent, GetParam().signedBroadcast ? std::optional(key) : std::nullopt);
  ASSERT_TRUE(OpenAudio().ok());
  broadcast->Session()->Play();
  broadcast->Announce(protocol::SenderState::kPlaying, protocol::SenderSource::kFile, "song");
  for (int i = 0; i < 4; ++i) graph->PushSample();
  broadcast->End();
  EXPECT_EQ(broadcast->Session(), nullptr);
  EXPECT_EQ(broadcast->ClosedSessionSamples().sent, 4u);

  const std::vector<std::uint32_t> keys = RouteKeys(receiver.ReceiveWaiting());
  const auto first = [&keys](std::uint32_t k) { return std::ranges::find(keys, k) - keys.begin(); };
  const auto count = [&keys](std::uint32_t k) { return std::ranges::count(keys, k); };
  ASSERT_GT(keys.size(), std::size_t{Broadcast::kEndOfBroadcastTimes});
  const auto endStart = keys.end() - Broadcast::kEndOfBroadcastTimes;
  EXPECT_TRUE(std::all_of(endStart, keys.end(),
                          [](std::uint32_t k) { return k == protocol::kRouteKeyEndOfBroadcast; }));
  EXPECT_EQ(count(protocol::kRouteKeyEndOfBroadcast), Broadcast::kEndOfBroadcastTimes);
  EXPECT_EQ(first(protocol::kRouteKeyAnnouncement), 0);
  EXPECT_GT(count(protocol::kRouteKeyMedia), 4);

  const bool parity = GetParam().fecPercent > 0;
  EXPECT_EQ(count(protocol::kRouteKeyParity) > 0, parity);
  EXPECT_EQ(broadcast->Parity().has_value(), parity);
  if (parity) {
    EXPECT_GT(first(protocol::kRouteKeyParity), first(protocol::kRouteKeyMedia));
  }

  const bool signs = GetParam().signedBroadcast;
  EXPECT_EQ(count(protocol::kRouteKeySignature) > 0, signs);
  EXPECT_EQ(broadcast->Signing().has_value(), signs);
  EXPECT_EQ(broadcast->SignedBy(), signs ? std::optional(key.FingerprintOf()) : std::nullopt);

  broadcast->End();
  broadcast->Announce(protocol::SenderState::kStopped, protocol::SenderSource::kNothing, "");
  broadcast->TickAnnouncement();
  EXPECT_TRUE(receiver.ReceiveWaiting().empty());
}

INSTANTIATE_TEST_SUITE_P(Chains, BroadcastEndTest,
                         ::testing::Values(Chain{"Plain", 0, false}, Chain{"Parity", 20, false},
                                           Chain{"Signed", 0, true},
                                           Chain{"ParityAndSigned", 20, true}),
                         kCaseName);

struct EventCase {
  const char* name;
  sender::GraphEvent event;
  bool completed;
  bool failed;
  sender::Status error;
  bool noAudioDevice;
};

class BroadcastEventsTest : public BroadcastTest,
                            public ::testing::WithParamInterface<EventCase> {};

TEST_P(BroadcastEventsTest, ReportsWhatTheGraphSaid) {
  EXPECT_FALSE(broadcast->HandleGraphEvents().completed);  // no session yet
  ASSERT_TRUE(OpenAudio().ok());
  broadcast->Session()->Play();
  graph->events.push_back(GetParam().event);
  const GraphEventNews news = broadcast->HandleGraphEvents();
  EXPECT_EQ(news.completed, GetParam().completed);
  EXPECT_EQ(news.failed, GetParam().failed);
  EXPECT_EQ(news.lastError.code(), GetParam().error.code());
  EXPECT_EQ(news.lastError.message(), GetParam().error.message());
  EXPECT_EQ(news.noAudioDevice, GetParam().noAudioDevice);
  // Completion and failure are news once.
  const GraphEventNews again = broadcast->HandleGraphEvents();
  EXPECT_FALSE(again.completed || again.failed);
}

const sender::Status kStreamError(sender::MediaErrc::kFailed, "Internal data stream error.");

INSTANTIATE_TEST_SUITE_P(
    Events, BroadcastEventsTest,
    ::testing::Values(
        EventCase{"Complete", {sender::EC_COMPLETE, {}}, true, false, {}, false},
        EventCase{"Error", {sender::EC_ERRORABORT, kStreamError}, false, true, kStreamError, false},
        EventCase{"NoAudioDevice", {sender::EC_NO_AUDIO_DEVICE, {}}, false, false, {}, true}),
    kCaseName);

}  // namespace
}  // namespace vantorel::sender
