// vantorel-wire-demo: a synthetic sender for trying the wire path without a media file. It
// describes one video and one audio stream, sends their segment starts and then samples of
// varied sizes (one datagram to many) at a steady pace, and ends with the end of broadcast.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/net/udp_socket.h"
#include "protocol/format_blocks.h"
#include "protocol/media_codes.h"
#include "protocol/messages.h"
#include "sender/stream_multiplexer.h"
#include "sender/udp_broadcast_sink.h"

namespace {

using namespace vantorel;

constexpr std::int32_t kVideoWidth = 320;
constexpr std::int32_t kVideoHeight = 240;

struct Options {
  std::uint16_t port = protocol::kBroadcastPort;
  std::uint32_t destination = net::kLimitedBroadcast;
  double seconds = 3;
  int rate = 50;  // samples per second, both streams together
  int session = 0;
  std::uint32_t videoBytes = 6000;
};

// Stands in for a grabber's reference clock: steady time in 100 ns units.
class SteadyStreamClock : public sender::StreamClock {
 public:
  std::int64_t ReadClock() override {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
               .count() /
           100;
  }
};

protocol::FormatRecord VideoRecord(std::uint8_t session) {
  protocol::FormatRecord r;
  r.stream = protocol::StreamKind::kVideo;
  r.subtype = protocol::GuidFromFourcc(0x47504A4D);  // 'MJPG'
  r.session = session;
  r.majorCode = protocol::MajorTypeCode(protocol::guids::kMediaTypeVideo);
  r.formatCode = protocol::FormatTypeCode(protocol::guids::kFormatVideoInfo);
  r.mediaFlags = protocol::kMediaFlagTemporalCompression;
  // A picture size and codec that a receiver can build a decoder for.
  protocol::VideoInfoHeader vih;
  vih.avgTimePerFrame = 400000;  // 25 frames a second
  vih.bmiHeader.width = kVideoWidth;
  vih.bmiHeader.height = kVideoHeight;
  vih.bmiHeader.bitCount = 24;
  vih.bmiHeader.compression = protocol::MakeFourcc('M', 'J', 'P', 'G');
  vih.bmiHeader.sizeImage = kVideoWidth * kVideoHeight * 3;
  r.formatBlock = protocol::WriteVideoInfoHeader(vih);
  return r;
}

protocol::FormatRecord AudioRecord(std::uint8_t session) {
  protocol::FormatRecord r;
  r.stream = protocol::StreamKind::kAudio;
  r.subtype = protocol::GuidFromFourcc(0x0001);  // PCM
  r.session = session;
  r.majorCode = protocol::MajorTypeCode(protocol::guids::kMediaTypeAudio);
  r.formatCode = protocol::FormatTypeCode(protocol::guids::kFormatWaveFormatEx);
  r.mediaFlags = protocol::kMediaFlagFixedSizeSamples;
  r.sampleSize = 2;
  protocol::WaveFormatEx wfx;  // 8 kHz mono 16-bit PCM
  wfx.formatTag = 1;
  wfx.channels = 1;
  wfx.samplesPerSec = 8000;
  wfx.blockAlign = 2;
  wfx.avgBytesPerSec = wfx.samplesPerSec * wfx.blockAlign;
  wfx.bitsPerSample = 16;
  r.formatBlock = protocol::WriteWaveFormatEx(wfx);
  return r;
}

std::optional<Options> Parse(int argc, char** argv) {
  Options o;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string arg = argv[i];
    const std::string value = argv[i + 1];
    if (arg == "--port") {
      o.port = static_cast<std::uint16_t>(std::atoi(value.c_str()));
    } else if (arg == "--dest") {
      auto a = net::ParseIpv4(value);
      if (!a) return std::nullopt;
      o.destination = *a;
    } else if (arg == "--seconds") {
      o.seconds = std::atof(value.c_str());
    } else if (arg == "--rate") {
      o.rate = std::max(1, std::atoi(value.c_str()));
    } else if (arg == "--session") {
      o.session = std::atoi(value.c_str());
    } else if (arg == "--video-bytes") {
      o.videoBytes = static_cast<std::uint32_t>(std::atol(value.c_str()));
    } else {
      return std::nullopt;
    }
  }
  if (argc % 2 == 0) return std::nullopt;
  return o;
}

}  // namespace

int main(int argc, char** argv) {
  auto options = Parse(argc, argv);
  if (!options) {
    std::fprintf(stderr,
                 "usage: vantorel-wire-demo [--port P] [--dest ADDR] [--seconds S] [--rate R] "
                 "[--session N] [--video-bytes B]\n");
    return 2;
  }
  sender::UdpBroadcastSink sink(options->port, options->destination);
  if (!sink.IsOpen()) {
    std::fprintf(stderr, "vantorel-wire-demo: cannot open a UDP socket\n");
    return 1;
  }
  SteadyStreamClock clock;
  const auto session = static_cast<std::uint8_t>(options->session);
  auto video = protocol::EncodeFormatRecord(VideoRecord(session));
  auto audio = protocol::EncodeFormatRecord(AudioRecord(session));
  {
    sender::StreamMultiplexer mux;
    mux.AddRoute(protocol::kRouteKeyMedia, &sink);
    mux.RegisterStream(&clock, protocol::kStreamFlagVideo, video);
    mux.RegisterStream(&clock, protocol::kStreamFlagAudio, audio);

    for (auto stream : {protocol::StreamKind::kVideo, protocol::StreamKind::kAudio}) {
      auto segment = protocol::EncodeSegmentStart({stream, clock.ReadClock()});
      const protocol::Buffer b = protocol::MakeBuffer(segment.data(), segment.size());
      mux.Send(protocol::kChannelMessage, {&b, 1});
    }

    std::vector<std::uint8_t> payload(options->videoBytes);
    for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<std::uint8_t>(i * 7);
    const auto period = std::chrono::microseconds(1000000 / options->rate);
    const auto total = static_cast<long>(options->seconds * options->rate);
    auto next = std::chrono::steady_clock::now();
    for (long i = 0; i < total; ++i) {
      const bool isVideo = i % 2 == 0;
      const auto stream = isVideo ? protocol::StreamKind::kVideo : protocol::StreamKind::kAudio;
      // Video samples vary from a fraction of a datagram to the full size; audio is small.
      const std::size_t size = isVideo ? payload.size() * static_cast<std::size_t>(1 + i % 5) / 5
                                       : std::min<std::size_t>(payload.size(), 1152);
      protocol::SampleProperties p;
      const std::int64_t time = i * 10'000'000 / options->rate;
      p.sampleFlags = protocol::kSampleTimeValid | protocol::kSampleStopValid |
                      (isVideo && i % 10 == 0 ? protocol::kSampleSplicePoint : 0u);
      p.actualLength = static_cast<std::int32_t>(size);
      p.start = time;
      p.stop = time + 10'000'000 / options->rate;
      p.bufferSize = static_cast<std::int32_t>(payload.size());
      auto message = protocol::SampleMessageBuffers::Make(stream, p, {payload.data(), size});
      mux.Send(protocol::kChannelMessage, message->Buffers());
      next += period;
      std::this_thread::sleep_until(next);
    }
    mux.RemoveRoute(protocol::kRouteKeyMedia, &sink);
    auto stats = mux.Stats();
    std::fprintf(stderr, "vantorel-wire-demo: messages=%llu descriptions=%llu\n",
                 static_cast<unsigned long long>(stats.messages),
                 static_cast<unsigned long long>(stats.descriptions));
  }
  sink.SendEndOfBroadcast();
  auto s = sink.Stats();
  std::fprintf(stderr, "vantorel-wire-demo: datagrams=%llu bytes=%llu errors=%llu\n",
               static_cast<unsigned long long>(s.datagrams),
               static_cast<unsigned long long>(s.bytes),
               static_cast<unsigned long long>(s.sendErrors));
  return 0;
}
