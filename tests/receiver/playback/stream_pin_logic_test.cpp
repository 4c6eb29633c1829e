#include "receiver/stream_pin_logic.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

#include "protocol/media_codes.h"
#include "protocol/saturating.h"
#include "tests/receiver/playback/message_builders.h"

namespace vantorel::receiver {
namespace {

using protocol::StreamKind;
using testing::Body;

constexpr std::uint32_t kSplice = protocol::kSampleSplicePoint;
constexpr std::uint32_t kDiscontinuity = protocol::kSampleDataDiscontinuity;
constexpr std::uint32_t kTime = protocol::kSampleTimeValid;
constexpr std::uint32_t kStop = protocol::kSampleStopValid;

class PinLogicTest : public ::testing::Test {
 protected:
  StreamPinLogic video_{kStreamKindVideo, testing::Record(StreamKind::kVideo, 0, 1000), 0};
  StreamPinLogic audio_{kStreamKindAudio, testing::Record(StreamKind::kAudio, 0, 1000), 0};
  PinSample sample_;
};

TEST_F(PinLogicTest, VideoWaitsForTheFirstSplicePointAudioDoesNot) {
  EXPECT_EQ(video_.Take(testing::VideoSample(0), sample_), PinStep::kSkip);
  EXPECT_EQ(video_.Take(testing::VideoSample(0), sample_), PinStep::kSkip);
  EXPECT_EQ(video_.Counters().unsynchronised, 2u);
  EXPECT_EQ(video_.Take(testing::VideoSample(kSplice), sample_), PinStep::kDeliver);
  EXPECT_TRUE(video_.Synchronised());
  // Once synchronised, delta frames pass.
  EXPECT_EQ(video_.Take(testing::VideoSample(0), sample_), PinStep::kDeliver);

  EXPECT_TRUE(audio_.Synchronised());
  EXPECT_EQ(audio_.Take(testing::AudioSample(0), sample_), PinStep::kDeliver);
}

TEST_F(PinLogicTest, FirstSampleAndFirstAfterEverySegmentStartAreDiscontinuities) {
  ASSERT_EQ(audio_.Take(testing::AudioSample(kTime), sample_), PinStep::kDeliver);
  EXPECT_EQ(sample_.properties.sampleFlags, kTime | kSplice | kDiscontinuity);
  ASSERT_EQ(audio_.Take(testing::AudioSample(kTime), sample_), PinStep::kDeliver);
  EXPECT_EQ(sample_.properties.sampleFlags, kTime);

  EXPECT_EQ(audio_.Take(testing::Segment(StreamKind::kAudio), sample_), PinStep::kFlush);
  ASSERT_EQ(audio_.Take(testing::AudioSample(kTime), sample_), PinStep::kDeliver);
  EXPECT_EQ(sample_.properties.sampleFlags, kTime | kSplice | kDiscontinuity);
  EXPECT_EQ(audio_.Counters().flushes, 1u);
}

TEST_F(PinLogicTest, PacketsOfOtherKindsAreSkipped) {
  EXPECT_EQ(video_.Take(testing::AudioSample(kSplice), sample_), PinStep::kSkip);
  EXPECT_EQ(video_.Take(testing::Segment(StreamKind::kAudio), sample_), PinStep::kSkip);
  EXPECT_EQ(video_.Take(testing::AudioVideo(0), sample_), PinStep::kSkip);
  EXPECT_EQ(video_.Take(Body{1, 2}, sample_), PinStep::kSkip);
  EXPECT_EQ(video_.Counters().foreign, 4u);
  EXPECT_FALSE(video_.Synchronised());
}

TEST_F(PinLogicTest, DeliveredDataIsTheSamplesBytes) {
  Body body = testing::Sample({StreamKind::kAudio, 0, 0, 0, 300});
  ASSERT_EQ(audio_.Take(body, sample_), PinStep::kDeliver);
  ASSERT_EQ(sample_.data.size(), 300u);
  EXPECT_EQ(sample_.data.data(), body.data() + protocol::kSampleMessageOverhead);
}

TEST(PinLogicKindTest, AStreamKindOutsideTheTableUsesNothing) {
  StreamPinLogic none{42, testing::Record(StreamKind::kVideo, 0), 0};
  PinSample sample;
  EXPECT_EQ(none.Kind(), kStreamKindNone);
  EXPECT_EQ(none.Take(testing::VideoSample(kSplice), sample), PinStep::kSkip);
}

constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();

struct TimeCase {
  std::uint32_t flags;
  std::int64_t start, stop;
  std::int64_t delay;
  std::int64_t wantStart, wantStop;
  std::int64_t clock = 5'000'000;
  std::uint32_t dropped = 0;  // time flags cleared because the move would overflow
};

class PinTimeTest : public ::testing::TestWithParam<TimeCase> {};

TEST_P(PinTimeTest, TimesMoveOntoTheDescriptionsClockOnlyWhenValid) {
  const TimeCase& c = GetParam();
  StreamPinLogic pin{kStreamKindAudio, testing::Record(StreamKind::kAudio, 0, c.clock), c.delay};
  PinSample sample;
  ASSERT_EQ(pin.Take(testing::Sample({StreamKind::kAudio, c.flags, c.start, c.stop, 4}), sample),
            PinStep::kDeliver);
  EXPECT_EQ(sample.properties.start, c.wantStart);
  EXPECT_EQ(sample.properties.stop, c.wantStop);
  EXPECT_EQ(sample.properties.sampleFlags & (kTime | kStop),
            c.flags & (kTime | kStop) & ~c.dropped);
  EXPECT_EQ(pin.Counters().untimed, c.dropped != 0 ? 1u : 0u);
  // The presentation log gives each sample's time on the wire back: the move undone, saturated.
  if ((c.flags & kTime) != 0 && (c.dropped & kTime) == 0) {
    EXPECT_EQ(pin.WireTime(sample.properties.start), c.start);
  }
  // Beyond the range, the end of it: worked out in 128 bits here.
  const auto wire = [&c](std::int64_t presented) {
    const __int128 exact = static_cast<__int128>(presented) + c.clock - c.delay;
    return static_cast<std::int64_t>(std::clamp<__int128>(exact, kMin, kMax));
  };
  for (const std::int64_t presented : {kMin, kMin + 1, std::int64_t{-1}, std::int64_t{0}, kMax}) {
    EXPECT_EQ(pin.WireTime(presented), wire(presented)) << presented;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Flags, PinTimeTest,
    ::testing::Values(TimeCase{kTime | kStop, 5'400'000, 5'800'000, 0, 400'000, 800'000},
                      TimeCase{kTime, 5'400'000, 5'800'000, 0, 400'000, 5'800'000},
                      TimeCase{0, 5'400'000, 5'800'000, 0, 5'400'000, 5'800'000},
                      TimeCase{kStop, 5'400'000, 5'800'000, 0, 5'400'000, 5'800'000},
                      TimeCase{kTime | kStop, 4'000'000, 4'100'000, 2'000'000, 1'000'000,
                               1'100'000},
                      TimeCase{kTime, 5'000'000, 0, 300, 300, 0}));

// Times and clocks at the ends of the range: a time that cannot be moved is dropped (the stop
// with the start), never wrapped.
INSTANTIATE_TEST_SUITE_P(
    Extremes, PinTimeTest,
    ::testing::Values(TimeCase{kTime | kStop, kMin, 10, 0, kMin, 10, 5'000'000, kTime | kStop},
                      TimeCase{kTime | kStop, 0, 10, 0, 0, 10, kMin, kTime | kStop},
                      TimeCase{kTime, -10, 0, 0, -10, 0, kMax, kTime},
                      TimeCase{kTime | kStop, kMax - 5, kMax, 5, kMax, kMax, 0, kStop},
                      TimeCase{kTime | kStop, kMax, kMax, 1, kMax, kMax, 0, kTime | kStop},
                      TimeCase{kTime | kStop, 5'400'000, kMin, 0, 400'000, kMin, 5'000'000, kStop},
                      TimeCase{kTime | kStop, kMin + 5'000'000, kMax, 0, kMin, kMax - 5'000'000},
                      // The clock less the delay is out of range; the moved time is not.
                      TimeCase{kTime, -10, 0, 5, kMax - 4, 0, kMin},
                      TimeCase{kTime | kStop, 10, 20, -5, kMin + 6, kMin + 16, kMax}));

TEST(SaturatingTest, SumsStopAtTheEndsOfTheRange) {
  using protocol::SaturatingAdd;
  using protocol::SaturatingAddSub;
  using protocol::SaturatingSub;
  EXPECT_EQ(SaturatingAdd(kMax, 1), kMax);
  EXPECT_EQ(SaturatingAdd(kMin, -1), kMin);
  EXPECT_EQ(SaturatingAdd(kMin, kMax), -1);
  EXPECT_EQ(SaturatingSub(kMin, 1), kMin);
  EXPECT_EQ(SaturatingSub(0, kMin), kMax);
  EXPECT_EQ(SaturatingSub(-1, kMin), kMax);
  EXPECT_EQ(SaturatingSub(kMax, kMax), 0);
  // Exact whenever the sum fits, whichever step would overflow alone.
  EXPECT_EQ(SaturatingAddSub(kMax, kMin, 1), -2);
  EXPECT_EQ(SaturatingAddSub(kMin, kMax, -1), 0);
  EXPECT_EQ(SaturatingAddSub(-1, kMin, 1), kMin);
  EXPECT_EQ(SaturatingAddSub(1, kMax, -1), kMax);
  EXPECT_EQ(SaturatingAddSub(kMax, 0, kMin), kMax);
  EXPECT_EQ(SaturatingAddSub(kMin, 0, kMax), kMin);
}

struct MalformedCase {
  const char* name;
  void (*spoil)(Body&);
};

class PinMalformedTest : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(PinMalformedTest, EndsTheStreamWithoutReadingPastThePacket) {
  StreamPinLogic pin{kStreamKindVideo, testing::Record(StreamKind::kVideo, 0), 0};
  Body body = testing::Sample({StreamKind::kVideo, kSplice, 0, 0, 16});
  GetParam().spoil(body);
  PinSample sample;
  EXPECT_EQ(pin.Take(body, sample), PinStep::kEnd);
  EXPECT_EQ(pin.Counters().malformed, 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, PinMalformedTest,
    ::testing::Values(
        MalformedCase{"WrongDataKind", [](Body& b) { testing::PutWord(b, 44, 0x19000010); }},
        MalformedCase{"PropertiesLongerThan40",
                      [](Body& b) { testing::PutWord(b, 0, 0x0E000029); }},
        MalformedCase{"PropertiesShorterThan40",
                      [](Body& b) { testing::PutWord(b, 0, 0x0E000010); }},
        MalformedCase{"DataPastTheBody", [](Body& b) { testing::PutWord(b, 44, 0x0F000011); }},
        MalformedCase{"HugeDataLength", [](Body& b) { testing::PutWord(b, 44, 0x0FFFFFFF); }},
        MalformedCase{"CutInTheProperties", [](Body& b) { b.resize(20); }},
        MalformedCase{"CutBeforeTheDataHeader", [](Body& b) { b.resize(46); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PinBufferSizeTest, DataLargerThanThePinsBuffersIsDroppedAndCounted) {
  StreamPinLogic pin{kStreamKindAudio, testing::Record(StreamKind::kAudio, 0, 0, 100), 0};
  PinSample sample;
  EXPECT_EQ(pin.BufferSize(), 100u);
  EXPECT_EQ(pin.Take(testing::Sample({StreamKind::kAudio, 0, 0, 0, 101}), sample), PinStep::kSkip);
  EXPECT_EQ(pin.Counters().oversized, 1u);
  EXPECT_EQ(pin.Take(testing::Sample({StreamKind::kAudio, 0, 0, 0, 100}), sample),
            PinStep::kDeliver);
  EXPECT_EQ(sample.data.size(), 100u);
}

TEST(PinBufferSizeTest, NoAnnouncedSizeMeansTheWiresLargestSample) {
  StreamPinLogic pin{kStreamKindAudio, testing::Record(StreamKind::kAudio, 0, 0, 0), 0};
  EXPECT_EQ(pin.BufferSize(), protocol::kMaxSampleData);
  protocol::FormatRecord record = testing::Record(StreamKind::kAudio, 0, 0, 4096);
  record.allocator = {6, 4096, 16, 8};
  StreamPinLogic announced{kStreamKindAudio, record, 0};
  EXPECT_EQ(announced.DecideBufferSize(), (protocol::AllocatorProperties{1, 4096, 16, 8}));
}

TEST(PinMediaTypeTest, OffersExactlyTheRecordsType) {
  protocol::FormatRecord record = testing::Record(StreamKind::kVideo, 0);
  record.mediaFlags = protocol::kMediaFlagTemporalCompression;
  record.sampleSize = 77;
  StreamPinLogic pin{kStreamKindVideo, record, 0};
  protocol::MediaType type;
  EXPECT_EQ(pin.GetMediaType(-1, type), E_INVALIDARG);
  EXPECT_EQ(pin.GetMediaType(1, type), VFW_S_NO_MORE_ITEMS);
  ASSERT_EQ(pin.GetMediaType(0, type), S_OK);
  EXPECT_EQ(type.majorType, protocol::guids::kMediaTypeVideo);
  EXPECT_EQ(type.formatType, protocol::guids::kFormatMpegVideo);
  EXPECT_EQ(type.subtype, record.subtype);
  EXPECT_TRUE(type.temporalCompression);
  EXPECT_FALSE(type.fixedSizeSamples);
  EXPECT_EQ(type.sampleSize, 77u);
  EXPECT_EQ(type.formatBlock, record.formatBlock);

  EXPECT_EQ(pin.CheckMediaType(type), S_OK);
  protocol::MediaType other = type;
  other.formatBlock.push_back(0);
  EXPECT_EQ(pin.CheckMediaType(other), E_INVALIDARG);
  other = type;
  other.subtype = protocol::GuidFromFourcc(0x12345678);
  EXPECT_EQ(pin.CheckMediaType(other), E_INVALIDARG);
}

TEST(PinMediaTypeTest, UnknownCodesBecomeTheNullGuid) {
  protocol::FormatRecord record = testing::Record(StreamKind::kAudio, 0);
  record.majorCode = 200;
  record.formatCode = protocol::kOtherCode;
  const protocol::MediaType type = MediaTypeOfRecord(record);
  EXPECT_EQ(type.majorType, protocol::guids::kNull);
  EXPECT_EQ(type.formatType, protocol::guids::kNull);
}

struct RouteCase {
  std::uint32_t word;
  std::uint8_t kind;
};

class PacketKindTest : public ::testing::TestWithParam<RouteCase> {};

TEST_P(PacketKindTest, FirstWordChoosesTheStream) {
  Body body(12, 0);
  testing::PutWord(body, 0, GetParam().word);
  EXPECT_EQ(StreamKindOfPacket(body), GetParam().kind);
}

INSTANTIATE_TEST_SUITE_P(Words, PacketKindTest,
                         ::testing::Values(RouteCase{0x0AFFFFFF, kStreamKindNone},
                                           RouteCase{0x0B000000, kStreamKindVideo},
                                           RouteCase{0x0E000028, kStreamKindVideo},
                                           RouteCase{0x10000008, kStreamKindVideo},
                                           RouteCase{0x14FFFFFF, kStreamKindVideo},
                                           RouteCase{0x15000000, kStreamKindAudio},
                                           RouteCase{0x18000028, kStreamKindAudio},
                                           RouteCase{0x1EFFFFFF, kStreamKindAudio},
                                           RouteCase{0x1F000000, kStreamKindThird},
                                           RouteCase{0xFF000000, kStreamKindThird}));

TEST(PacketKindShortTest, ShorterThanAWordGoesNowhere) {
  EXPECT_EQ(StreamKindOfPacket(Body{0x18, 0x18, 0x18}), kStreamKindNone);
}

}  // namespace
}  // namespace vantorel::receiver
