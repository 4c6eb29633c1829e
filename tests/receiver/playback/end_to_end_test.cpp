// Sender to receiver in one process, without sockets: SenderSession -> Packetizer -> (datagrams)
// -> Reassembler -> PlaybackGraph with null outputs, decoding for real.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <random>
#include <string>
#include <thread>

#include "protocol/byte_io.h"
#include "receiver/reassembler.h"
#include "sender/sender_session.h"
#include "tests/receiver/playback/in_process_broadcast.h"

namespace vantorel::testing {
namespace {

using namespace std::chrono_literals;

// Under a sanitizer everything runs several times slower than real time, so nothing can be
// promised about lateness there; the counts are still reported.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr bool kRealTime = false;
#else
constexpr bool kRealTime = true;
#endif

std::string MediaPath(const std::string& name) {
  return std::string(VANTOREL_TEST_MEDIA_DIR) + "/" + name;
}

// Takes the sender's graph events.
class EventFlag : public gui::Mailbox<sender::GraphNotice> {
 public:
  bool Post(sender::GraphNotice) override {
    raised.store(true);
    return true;
  }
  std::atomic<bool> raised{false};
};

struct PlayOptions {
  std::uint8_t session = 0;
  std::chrono::milliseconds joinAfter{0};  // datagrams sent before this are never received
  double loss = 0;                         // share of datagrams dropped at random
  int seeks = 0;  // seeks to random places, 400 ms apart, from 600 ms into the file
};

struct Playback {
  SentTotals sent;
  std::vector<receiver::StreamReport> streams;
  std::vector<DecodedBuffer> decoded;
  receiver::ReassemblyStats reassembly;
  std::uint64_t datagramsDropped = 0;
  std::uint64_t unfedMessages = 0;       // sent after the sender's end of file, not fed
  std::vector<double> sendToDecodeMs;    // per decoded buffer matched to its sample
  std::optional<double> firstPictureMs;  // from the first datagram received
  std::optional<double> builtMs;         // graph built, from the first datagram received
  const receiver::StreamReport* Stream(std::uint8_t kind) const {
    for (const auto& s : streams) {
      if (s.kind == kind) return &s;
    }
    return nullptr;
  }
  // Buffers of one kind that left the decoder too late to be presented (the outputs drop what
  // is more than 20 ms late): during start-up, the first half second after the stream's first
  // buffer, while its decoder was still being made, and after it.
  struct Late {
    std::size_t startUp = 0;
    std::size_t steady = 0;
  };
  Late LateDecodes(bool video) const {
    Late late;
    std::optional<Clock::time_point> first;
    for (const DecodedBuffer& d : decoded) {
      if (d.video != video || !GST_CLOCK_TIME_IS_VALID(d.runningTime)) continue;
      if (!first) first = d.at;
      if (d.runningTime <= d.pts + 20 * GST_MSECOND) continue;
      ++(d.at - *first < 500ms ? late.startUp : late.steady);
    }
    return late;
  }

  double DecodedAudioSeconds() const {
    double seconds = 0;
    for (const DecodedBuffer& d : decoded) {
      if (!d.video && GST_CLOCK_TIME_IS_VALID(d.duration)) seconds += d.duration / 1e9;
    }
    return seconds;
  }
};

class Receiver {
 public:
  Receiver()
      : builder_(
            receiver::gst::ReceiverGraphOptions{media::ReceiverOutput::kNullSinks, nullptr, &log_}),
        graph_(builder_, receiver::VideoRect{}),
        tap_(graph_) {
    reassembler_.AddRoute(protocol::kChannelMessage, &tap_);
  }
  ~Receiver() { reassembler_.RemoveRoute(protocol::kChannelMessage, &tap_); }

  void Feed(const SentDatagram& d) {
    if (!firstFed_) firstFed_ = Clock::now();
    tap_.SetCurrentSend(d.sent);
    const protocol::Buffer b = protocol::MakeBuffer(d.payload.data(), d.payload.size());
    reassembler_.Send(protocol::kChannelMessage, {&b, 1});
    if (graph_.Pins() != nullptr && !built_) built_ = Clock::now();
    if (graph_.Pins() != nullptr && timeBase_.empty()) {
      for (std::size_t i = 0; i < graph_.Pins()->Count(); ++i) {
        timeBase_.push_back(graph_.Pins()->Pin(i).Record().clockTime);
      }
    }
  }

  void Finish(Playback& out) {
    graph_.CloseGraph();
    out.streams = graph_.Reports();
    out.decoded = log_.Take();
    out.reassembly = reassembler_.Stats();
    if (auto first = log_.FirstVideo(); first && firstFed_) {
      out.firstPictureMs = std::chrono::duration<double, std::milli>(*first - *firstFed_).count();
    }
    if (built_ && firstFed_) {
      out.builtMs = std::chrono::duration<double, std::milli>(*built_ - *firstFed_).count();
    }
    MatchSendTimes(out);
  }

  receiver::PlaybackGraph& Graph() { return graph_; }

  // The last samples play one presentation delay after they arrive; waits until then, and
  // until every queue is empty and the decoders have gone quiet (a slow machine takes longer).
  void WaitForTail() {
    std::this_thread::sleep_for(std::chrono::milliseconds(receiver::kPresentationDelay / 10'000) +
                                300ms);
    std::size_t decoded = log_.Take().size();
    for (int i = 0; i < 30; ++i) {
      std::this_thread::sleep_for(100ms);
      const std::size_t now = log_.Take().size();
      if (now == decoded && QueuesEmpty()) return;
      decoded = now;
    }
  }

 private:
  // A decoded buffer's time, back on the wire's clock, finds the sample it came from.
  void MatchSendTimes(Playback& out) const {
    for (const DecodedBuffer& d : out.decoded) {
      if (!GST_CLOCK_TIME_IS_VALID(d.pts) || d.pin >= timeBase_.size()) continue;
      const std::int64_t start =
          static_cast<std::int64_t>(d.pts / 100) - receiver::kPresentationDelay + timeBase_[d.pin];
      const std::uint8_t kind = d.video ? 14 : 24;
      if (auto sent = tap_.SentAt(kind, start)) {
        out.sendToDecodeMs.push_back(
            std::chrono::duration<double, std::milli>(d.at - *sent).count());
      }
    }
  }

  bool QueuesEmpty() const {
    const receiver::SourcePins* pins = graph_.Pins();
    for (std::size_t i = 0; pins != nullptr && i < pins->Count(); ++i) {
      if (pins->Pin(i).Queue().Stats().depth != 0) return false;
    }
    return true;
  }

  DecodeLog log_;
  receiver::gst::GstPlaybackGraphBuilder builder_;
  receiver::PlaybackGraph graph_;
  SendTimes tap_;
  receiver::Reassembler reassembler_;
  std::optional<Clock::time_point> firstFed_;
  std::optional<Clock::time_point> built_;
  std::vector<std::int64_t> timeBase_;
};

// Plays one file through the chain in real time; returns once the receiver has decoded the
// tail of the broadcast.
void Broadcast(const std::string& file, const PlayOptions& options, Receiver& receiver,
               Playback& out) {
  InProcessBroadcast broadcast;
  EventFlag events;
  sender::SenderSession session(options.session, &broadcast,
                                media::GraphOptions{media::OutputMode::kNullSinks, nullptr});
  const Clock::time_point start = Clock::now();
  ASSERT_TRUE(SUCCEEDED(session.Open(&events, MediaPath(file)))) << file;
  ASSERT_TRUE(SUCCEEDED(session.Play()));
  std::mt19937 random(1234);
  std::uniform_real_distribution<double> chance(0, 1);
  Clock::time_point lastDatagram = start;
  bool complete = false;
  int seeks = 0;
  Clock::time_point nextSeek = start + 600ms;
  std::uniform_real_distribution<double> place(0, 0.8);
  while (Clock::now() - start < 45s) {
    if (seeks < options.seeks && Clock::now() >= nextSeek) {
      ASSERT_TRUE(SUCCEEDED(session.Seek(place(random) * session.Duration())));
      ++seeks;
      nextSeek += 400ms;
    }
    if (events.raised.exchange(false)) {
      session.HandleGraphEvents();
      complete = session.EventCounts().completes > 0 || session.EventCounts().errors > 0;
    }
    auto d = broadcast.Next(10ms);
    if (!d) {
      if (complete && Clock::now() - lastDatagram > 300ms) break;
      continue;
    }
    lastDatagram = Clock::now();
    // What the sender sends after the end of its file (it rests paused just before the end)
    // is not part of the broadcast being measured.
    if (complete) {
      if (d->payload.size() >= 8 &&
          (protocol::LoadU32(d->payload.data() + 4) & protocol::kFragmentIndexMask) == 0) {
        ++out.unfedMessages;
      }
      continue;
    }
    if (d->sent - start < options.joinAfter ||
        (options.loss > 0 && chance(random) < options.loss)) {
      ++out.datagramsDropped;
      continue;
    }
    receiver.Feed(*d);
  }
  EXPECT_TRUE(complete) << file << " did not reach its end";
  out.sent = broadcast.Totals();
  session.Close();
  receiver.WaitForTail();
}

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[static_cast<std::size_t>(p * static_cast<double>(v.size() - 1))];
}

// A new graph's first samples may come out of a decoder that was still being made, too late,
// and be dropped; after that, nothing is late, and the outputs drop nothing else.
void ExpectLateOnlyAtStartUp(const Playback& p, const receiver::StreamReport& stream) {
  const Playback::Late late = p.LateDecodes(stream.output.video);
  EXPECT_EQ(late.steady, 0u) << "kind " << unsigned{stream.kind};
  EXPECT_LE(stream.output.late, late.startUp) << "kind " << unsigned{stream.kind};
}

class FilePlaysTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override { gst_init(nullptr, nullptr); }
};

TEST_P(FilePlaysTest, NinetyPercentOfWhatWasSentIsDecodedAndNothingLateAfterStartUp) {
  Receiver receiver;
  Playback p;
  Broadcast(GetParam(), PlayOptions{}, receiver, p);
  receiver.Finish(p);
  ASSERT_FALSE(p.streams.empty()) << "no graph was built";
  if (p.sent.videoSamples > 0) {
    const receiver::StreamReport* video = p.Stream(receiver::kStreamKindVideo);
    ASSERT_NE(video, nullptr);
    EXPECT_GE(video->output.decoded, p.sent.videoSamples * 9 / 10)
        << "sent " << p.sent.videoSamples << " caps " << video->output.caps;
    if (kRealTime) ExpectLateOnlyAtStartUp(p, *video);
  }
  if (p.sent.audioSamples > 0) {
    const receiver::StreamReport* audio = p.Stream(receiver::kStreamKindAudio);
    ASSERT_NE(audio, nullptr);
    EXPECT_GE(p.DecodedAudioSeconds(), 0.9 * p.sent.AudioSeconds())
        << "caps " << audio->output.caps;
    if (kRealTime) ExpectLateOnlyAtStartUp(p, *audio);
  }
  EXPECT_EQ(p.reassembly.Dropped(), 0u);
  // Every sample goes out with its time, delta frames of containers with a frame index too.
  EXPECT_EQ(p.sent.untimedSamples, 0u);
  std::printf("%s: send-to-decode median %.1f ms, worst %.1f ms over %zu buffers\n", GetParam(),
              Percentile(p.sendToDecodeMs, 0.5), Percentile(p.sendToDecodeMs, 1.0),
              p.sendToDecodeMs.size());
  for (const auto& s : p.streams) {
    std::printf("  kind %u decoded %llu margin median %.1f ms worst %.1f ms\n", unsigned{s.kind},
                static_cast<unsigned long long>(s.output.decoded), s.output.medianMarginNs / 1e6,
                s.output.worstMarginNs / 1e6);
  }
}

INSTANTIATE_TEST_SUITE_P(GeneratedMedia, FilePlaysTest,
                         ::testing::Values("mpeg1-av.mpg", "mpeg1-av-no-b.mpg", "mjpeg-pcm.avi",
                                           "mpeg4-pcm.avi", "raw-rgb-pcm.avi", "tone.wav",
                                           "tone.mp3", "tone.au"),
                         [](const auto& info) {
                           std::string name = info.param;
                           std::replace_if(
                               name.begin(), name.end(),
                               [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); },
                               '_');
                           return name;
                         });

class BroadcastTest : public ::testing::Test {
 protected:
  void SetUp() override { gst_init(nullptr, nullptr); }
};

TEST_F(BroadcastTest, ALateJoinerShowsPicturesFromTheNextKeyFrameAfterTheNextDescription) {
  Receiver receiver;
  Playback p;
  Broadcast("mpeg1-av.mpg", PlayOptions{0, 1300ms, 0}, receiver, p);
  receiver.Finish(p);
  const receiver::StreamReport* video = p.Stream(receiver::kStreamKindVideo);
  ASSERT_NE(video, nullptr);
  // The decoder starts mid-stream with the sequence header that the description carried.
  EXPECT_NE(video->output.caps.find("codec_data="), std::string::npos) << video->output.caps;
  EXPECT_GT(video->output.decoded, 0u);
  if (kRealTime) ExpectLateOnlyAtStartUp(p, *video);
  ASSERT_TRUE(p.firstPictureMs);
  // The next description comes within a second; a key frame follows within a group of pictures.
  EXPECT_LT(*p.firstPictureMs, 2500.0);
  ASSERT_TRUE(p.builtMs);
  std::printf(
      "late joiner: graph built %.1f ms and first picture decoded %.1f ms after the first "
      "datagram received (shown one presentation delay later)\n",
      *p.builtMs, *p.firstPictureMs);
}

// After every seek each sample still carries its time, so the receiver presents nothing at
// once and nothing late: frames decoded only to reach the seek's place are not shown.
TEST_F(BroadcastTest, SeeksKeepEverySampleTimedAndNothingLate) {
  Receiver receiver;
  Playback p;
  Broadcast("mpeg1-av.mpg", PlayOptions{0, 0ms, 0, 10}, receiver, p);
  receiver.Finish(p);
  EXPECT_EQ(p.sent.untimedSamples, 0u);
  for (const auto& s : p.streams) {
    std::printf("10 seeks: kind %u decoded %llu late %llu margin median %.1f ms worst %.1f ms\n",
                unsigned{s.kind}, static_cast<unsigned long long>(s.output.decoded),
                static_cast<unsigned long long>(s.output.late), s.output.medianMarginNs / 1e6,
                s.output.worstMarginNs / 1e6);
    if (kRealTime) {
      EXPECT_EQ(s.output.late, 0u) << unsigned{s.kind};
    }
  }
}

TEST_F(BroadcastTest, PlaybackGoesOnWithOnePercentOfDatagramsLostAndTheCountsSaySo) {
  Receiver receiver;
  Playback p;
  Broadcast("mjpeg-pcm.avi", PlayOptions{0, 0ms, 0.01}, receiver, p);
  receiver.Finish(p);
  const receiver::StreamReport* video = p.Stream(receiver::kStreamKindVideo);
  const receiver::StreamReport* audio = p.Stream(receiver::kStreamKindAudio);
  ASSERT_NE(video, nullptr);
  ASSERT_NE(audio, nullptr);
  ASSERT_GT(p.datagramsDropped, 0u);
  // Every dropped datagram costs its whole message, and nothing else is lost.
  const std::uint64_t lost = p.sent.messages - p.unfedMessages - p.reassembly.delivered;
  EXPECT_GE(lost, 1u);
  EXPECT_LE(lost, p.datagramsDropped);
  EXPECT_GE(video->output.decoded, p.sent.videoSamples * 8 / 10);
  EXPECT_GE(p.DecodedAudioSeconds(), 0.8 * p.sent.AudioSeconds());
  std::printf(
      "loss: %llu datagrams dropped, %llu messages lost (%llu cut by a lost fragment), "
      "video %llu of %llu decoded\n",
      static_cast<unsigned long long>(p.datagramsDropped), static_cast<unsigned long long>(lost),
      static_cast<unsigned long long>(p.reassembly.lostFragment),
      static_cast<unsigned long long>(video->output.decoded),
      static_cast<unsigned long long>(p.sent.videoSamples));
}

TEST_F(BroadcastTest, ANewSessionRebuildsAndPlaysTheNextFile) {
  Receiver receiver;
  Playback first;
  Broadcast("mjpeg-pcm.avi", PlayOptions{0, 0ms, 0}, receiver, first);
  Playback second;
  Broadcast("mpeg1-av-no-b.mpg", PlayOptions{1, 0ms, 0}, receiver, second);
  receiver.Finish(second);
  ASSERT_EQ(second.streams.size(), 4u);
  EXPECT_EQ(receiver.Graph().Stats().builds, 2u);
  EXPECT_EQ(second.streams[0].session, 0);
  EXPECT_EQ(second.streams[2].session, 1);
  for (const auto& s : second.streams) EXPECT_GT(s.output.decoded, 0u) << unsigned{s.session};
}

}  // namespace
}  // namespace vantorel::testing
