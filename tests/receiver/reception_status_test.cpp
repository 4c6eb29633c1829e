#include "receiver/reception_status.h"

#include <gtest/gtest.h>

#include "protocol/format_blocks.h"
#include "protocol/media_codes.h"

namespace vantorel::receiver {
namespace {

using namespace std::chrono_literals;
using Clock = ReceptionStatus::Clock;

// One life of the status line: what a user sees, step by step, as a broadcast comes and goes.
TEST(ReceptionStatusTest, TellsWhatTheReceptionIsDoing) {
  ReceptionStatus status;
  const Clock::time_point t0{};
  EXPECT_EQ(status.Current(t0).kind, StatusKind::kWaiting);

  status.OnDatagrams("10.0.0.5:4000", t0 + 1s);
  EXPECT_EQ(status.Current(t0 + 1s), (StatusLine{StatusKind::kReceiving, "10.0.0.5:4000", 0}));
  status.OnDatagrams("10.0.0.5:4000", t0 + 4s);
  EXPECT_EQ(status.Current(t0 + 4s).kind, StatusKind::kReceiving);  // still within 4 s
  status.OnDatagrams("10.0.0.5:4000", t0 + 5s);
  EXPECT_EQ(status.Current(t0 + 5s).kind, StatusKind::kNone);  // the picture speaks
  // The figures: while the pointer rests on the video, or from one key press to the next.
  status.SetHover(true);
  EXPECT_EQ(status.Current(t0 + 5s), (StatusLine{StatusKind::kStatistics, "10.0.0.5:4000", 0}));
  status.SetHover(false);
  status.ToggleStatistics();
  EXPECT_EQ(status.Current(t0 + 5s).kind, StatusKind::kStatistics);
  EXPECT_EQ(status.Current(t0 + 8s).kind, StatusKind::kNoSignal);  // silence comes first
  status.ToggleStatistics();

  status.SetAudioOnly(true);
  EXPECT_EQ(status.Current(t0 + 5s).kind, StatusKind::kAudioOnly);
  // Silence: counted in whole seconds from 2 s on; it goes when datagrams come back.
  EXPECT_EQ(status.Current(t0 + 6900ms).kind, StatusKind::kAudioOnly);
  EXPECT_EQ(status.Current(t0 + 8500ms), (StatusLine{StatusKind::kNoSignal, "", 3}));
  status.OnDatagrams("10.0.0.5:4000", t0 + 9s);
  EXPECT_EQ(status.Current(t0 + 9s).kind, StatusKind::kAudioOnly);

  status.OnEndOfBroadcast();
  EXPECT_EQ(status.Current(t0 + 20s).kind, StatusKind::kEnded);  // no "no signal" after an end
  status.OnDatagrams("10.0.0.6:4000", t0 + 21s);
  EXPECT_EQ(status.Current(t0 + 21s), (StatusLine{StatusKind::kReceiving, "10.0.0.6:4000", 0}));

  status.OnSenderChanged("10.0.0.7:4000", t0 + 30s);
  EXPECT_EQ(status.Current(t0 + 30s), (StatusLine{StatusKind::kReceiving, "10.0.0.7:4000", 0}));
}

// A sender that announces its pause or stop is told by name, quietly; one that falls silent
// without a word (or goes off the air) is still "no signal".
TEST(ReceptionStatusTest, APauseOrStopTheSenderAnnouncedIsNoFault) {
  using protocol::SenderState;
  ReceptionStatus status;
  const Clock::time_point t0{};
  status.SetWaitingFor("Saal Nord");
  EXPECT_EQ(status.Current(t0), (StatusLine{StatusKind::kWaiting, "Saal Nord", 0}));
  status.OnDatagrams("10.0.0.5:4000", t0);
  status.SetAnnounced(ReceptionStatus::Announced{"Saal Nord", SenderState::kPaused});
  EXPECT_EQ(status.Current(t0 + 400ms).kind, StatusKind::kReceiving);
  EXPECT_EQ(status.Current(t0 + 10s), (StatusLine{StatusKind::kPaused, "Saal Nord", 0}));
  status.SetAnnounced(ReceptionStatus::Announced{"Saal Nord", SenderState::kStopped});
  EXPECT_EQ(status.Current(t0 + 10s), (StatusLine{StatusKind::kStopped, "Saal Nord", 0}));
  status.SetAnnounced(ReceptionStatus::Announced{"Saal Nord", SenderState::kPlaying});
  EXPECT_EQ(status.Current(t0 + 10s).kind, StatusKind::kNoSignal);
  status.SetAnnounced(std::nullopt);
  EXPECT_EQ(status.Current(t0 + 10s).kind, StatusKind::kNoSignal);

  // A second sender coming on the air brings the line back for a few seconds, with the count.
  status.OnDatagrams("10.0.0.5:4000", t0 + 20s);
  EXPECT_EQ(status.Current(t0 + 20s).kind, StatusKind::kNone);
  status.SetSendersOnAir(2, t0 + 20s);
  EXPECT_EQ(status.Current(t0 + 20s), (StatusLine{StatusKind::kReceiving, "10.0.0.5:4000", 0, 2}));
  status.OnDatagrams("10.0.0.5:4000", t0 + 25s);
  status.SetSendersOnAir(2, t0 + 25s);
  EXPECT_EQ(status.Current(t0 + 25s), (StatusLine{StatusKind::kNone, "", 0, 2}));
}

TEST(ReceptionStatusTest, BitRateIsMeasuredOverTheLastSeconds) {
  BitRateMeter meter;
  const Clock::time_point t0{};
  meter.Sample(t0, 0);
  EXPECT_EQ(meter.BitsPerSecond(), 0);
  meter.Sample(t0 + 1s, 250'000);  // 2 Mbit/s
  EXPECT_DOUBLE_EQ(meter.BitsPerSecond(), 2e6);
  for (int s = 2; s <= 10; ++s) meter.Sample(t0 + std::chrono::seconds(s), 250'000);
  EXPECT_EQ(meter.BitsPerSecond(), 0);  // the burst has left the span
  meter.Sample(t0 + 11s, 1000);         // a rebuilt reception counts from zero
  meter.Sample(t0 + 12s, 126'000);
  EXPECT_DOUBLE_EQ(meter.BitsPerSecond(), 1e6);
}

protocol::FormatRecord Record(const protocol::Guid& major, const protocol::Guid& subtype,
                              const protocol::Guid& format, std::vector<std::uint8_t> block) {
  protocol::FormatRecord r;
  r.majorCode = protocol::MajorTypeCode(major);
  r.subtype = subtype;
  r.formatCode = protocol::FormatTypeCode(format);
  r.formatBlock = std::move(block);
  return r;
}

TEST(ReceptionStatusTest, FormatsAreToldInAFewWords) {
  namespace guids = protocol::guids;
  protocol::VideoInfoHeader vih;
  vih.bmiHeader.width = 320;
  vih.bmiHeader.height = -240;
  vih.avgTimePerFrame = 400'000;
  const auto mjpg = protocol::GuidFromFourcc(protocol::MakeFourcc('M', 'J', 'P', 'G'));
  protocol::WaveFormatEx wave;
  wave.formatTag = protocol::wave_tags::kMpegLayer3;
  wave.samplesPerSec = 44100;
  wave.channels = 2;
  const auto video = protocol::WriteVideoInfoHeader(vih);
  const struct {
    protocol::FormatRecord record;
    const char* text;
  } cases[] = {
      {Record(guids::kMediaTypeVideo, mjpg, guids::kFormatVideoInfo, video), "MJPG 320x240 25 fps"},
      {Record(guids::kMediaTypeVideo, guids::kSubtypeMpeg1Payload, guids::kFormatVideoInfo, video),
       "MPEG-1 320x240 25 fps"},
      // A block cut short, or an unprintable FOURCC, leaves the figures out.
      {Record(guids::kMediaTypeVideo, mjpg, guids::kFormatVideoInfo, {1, 2, 3}), "MJPG"},
      {Record(guids::kMediaTypeVideo, protocol::GuidFromFourcc(0x01020304), guids::kFormatVideoInfo,
              {}),
       "video"},
      {Record(guids::kMediaTypeAudio, protocol::GuidFromFourcc(0x55), guids::kFormatWaveFormatEx,
              protocol::WriteWaveFormatEx(wave)),
       "MP3 44100 Hz 2 ch"},
      {Record(guids::kMediaTypeAudio, protocol::GuidFromFourcc(0x55), guids::kFormatWaveFormatEx,
              {}),
       "audio"},
  };
  for (const auto& c : cases) EXPECT_EQ(DescribeFormat(c.record), c.text);
}

}  // namespace
}  // namespace vantorel::receiver
