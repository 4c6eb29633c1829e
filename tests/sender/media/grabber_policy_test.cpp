// What the grabbers accept and how a buffer's facts become the wire's sample properties.
#include "sender/grabber_policy.h"

#include <gtest/gtest.h>

#include <limits>

#include "protocol/byte_io.h"
#include "protocol/media_codes.h"

namespace vantorel::sender {
namespace {

namespace g = protocol::guids;
using protocol::Guid;
using protocol::GuidFromFourcc;
using protocol::StreamKind;

constexpr std::uint32_t Fourcc(const char (&s)[5]) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(s[0])) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(s[1])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(s[2])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(s[3])) << 24;
}

protocol::MediaType Video(const Guid& subtype) {
  protocol::MediaType t;
  t.majorType = g::kMediaTypeVideo;
  t.subtype = subtype;
  return t;
}

struct SubtypeCase {
  const char* name;
  Guid subtype;
  HRESULT expected;
};

class VideoSubtypeTest : public ::testing::TestWithParam<SubtypeCase> {};

TEST_P(VideoSubtypeTest, VideoGrabberTakesCompressedVideoOnly) {
  EXPECT_EQ(CheckInputType(StreamKind::kVideo, Video(GetParam().subtype)), GetParam().expected);
}

constexpr Guid Rgb(std::uint32_t d1) {
  return Guid{d1, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
}

INSTANTIATE_TEST_SUITE_P(
    Subtypes, VideoSubtypeTest,
    ::testing::Values(
        SubtypeCase{"YUY2", GuidFromFourcc(Fourcc("YUY2")), E_FAIL},
        SubtypeCase{"UYVY", GuidFromFourcc(Fourcc("UYVY")), E_FAIL},
        SubtypeCase{"YVU9", GuidFromFourcc(Fourcc("YVU9")), E_FAIL},
        SubtypeCase{"CLJR", GuidFromFourcc(Fourcc("CLJR")), E_FAIL},
        SubtypeCase{"dvsd", GuidFromFourcc(Fourcc("dvsd")), E_FAIL},
        SubtypeCase{"RGB8", Rgb(0xE436EB7A), E_FAIL}, SubtypeCase{"RGB24", Rgb(0xE436EB7D), E_FAIL},
        SubtypeCase{"RGB32", Rgb(0xE436EB7E), E_FAIL},
        SubtypeCase{"Overlay", Rgb(0xE436EB7F), E_FAIL},
        SubtypeCase{
            "ARGB32",
            Guid{0x773C9AC0, 0x3274, 0x11D0, {0xB7, 0x24, 0x00, 0xAA, 0x00, 0x6C, 0x1A, 0x01}},
            E_FAIL},
        SubtypeCase{
            "VPVBI",
            Guid{0x5A9B6A41, 0x1A22, 0x11D1, {0xBA, 0xD9, 0x00, 0x60, 0x97, 0x44, 0x11, 0x1A}},
            E_FAIL},
        SubtypeCase{"MPEG1Payload", Rgb(0xE436EB81), S_OK},
        SubtypeCase{"MPEG1Packet", Rgb(0xE436EB80), S_OK},
        SubtypeCase{"MJPG", GuidFromFourcc(Fourcc("MJPG")), S_OK},
        SubtypeCase{"DIVX", GuidFromFourcc(Fourcc("DIVX")), S_OK},
        SubtypeCase{"I420", GuidFromFourcc(Fourcc("I420")), S_OK}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CheckInputType, MajorTypeDecidesFirst) {
  protocol::MediaType audio;
  audio.majorType = g::kMediaTypeAudio;
  audio.subtype = GuidFromFourcc(Fourcc("YUY2"));  // any subtype is fine for audio
  EXPECT_EQ(CheckInputType(StreamKind::kAudio, audio), S_OK);
  EXPECT_EQ(CheckInputType(StreamKind::kVideo, audio), E_INVALIDARG);
  EXPECT_EQ(CheckInputType(StreamKind::kAudio, Video(GuidFromFourcc(Fourcc("MJPG")))),
            E_INVALIDARG);
  protocol::MediaType text;
  text.majorType = g::kMediaTypeText;
  EXPECT_EQ(CheckInputType(StreamKind::kAudio, text), E_INVALIDARG);
  EXPECT_EQ(CheckInputType(StreamKind::kVideo, text), E_INVALIDARG);
}

TEST(MakeSampleProperties, KeyFrameWithTimesGetsTheSegmentBase) {
  BufferFacts f;
  f.start = 400000;
  f.stop = 800000;
  f.actualLength = 1200;
  f.bufferSize = 4096;
  const auto p = MakeSampleProperties(f, 5'000'000);
  EXPECT_EQ(p.sampleFlags,
            protocol::kSampleSplicePoint | protocol::kSampleTimeValid | protocol::kSampleStopValid);
  EXPECT_EQ(p.start, 5'400'000);
  EXPECT_EQ(p.stop, 5'800'000);
  EXPECT_EQ(p.actualLength, 1200);
  EXPECT_EQ(p.bufferSize, 4096);
}

TEST(MakeSampleProperties, SampleWithoutTimeKeepsItsTimesUnchanged) {
  BufferFacts f;
  f.deltaUnit = true;
  f.discontinuity = true;
  f.stop = 99;  // a stop without a start is not valid
  const auto p = MakeSampleProperties(f, 5'000'000);
  EXPECT_EQ(p.sampleFlags, protocol::kSampleDataDiscontinuity);
  EXPECT_EQ(p.start, 0);
  EXPECT_EQ(p.stop, 0);
}

TEST(MakeSampleProperties, StartWithoutDurationHasNoStop) {
  BufferFacts f;
  f.deltaUnit = true;
  f.start = 10;
  const auto p = MakeSampleProperties(f, 1);
  EXPECT_EQ(p.sampleFlags, protocol::kSampleTimeValid);
  EXPECT_EQ(p.start, 11);
}

TEST(FallbackAllocatorProperties, VideoHoldsAWholePictureAudioOneSecond) {
  auto video = Video(GuidFromFourcc(Fourcc("MJPG")));
  video.formatType = g::kFormatVideoInfo;
  video.formatBlock.assign(88, 0);
  protocol::StoreU32(video.formatBlock.data() + 52, 320);
  protocol::StoreU32(video.formatBlock.data() + 56, static_cast<std::uint32_t>(-240));
  const auto v = FallbackAllocatorProperties(video);
  EXPECT_EQ(v.buffers, 1);
  EXPECT_EQ(v.bufferSize, 320 * 240 * 4);
  EXPECT_EQ(v.alignment, 1);
  EXPECT_EQ(v.prefix, 0);

  protocol::MediaType audio;
  audio.majorType = g::kMediaTypeAudio;
  audio.formatType = g::kFormatWaveFormatEx;
  audio.formatBlock.assign(18, 0);
  protocol::StoreU32(audio.formatBlock.data() + 8, 176400);
  EXPECT_EQ(FallbackAllocatorProperties(audio).bufferSize, 176400);
  protocol::StoreU32(audio.formatBlock.data() + 8, 16000);
  EXPECT_EQ(FallbackAllocatorProperties(audio).bufferSize, 64 * 1024);
}

TEST(FallbackAllocatorProperties, ABrokenPictureSizeGivesTheLargestBufferOrTheDefault) {
  auto video = Video(GuidFromFourcc(Fourcc("MJPG")));
  video.formatType = g::kFormatVideoInfo;
  video.formatBlock.assign(88, 0);
  const auto sized = [&video](std::int32_t width, std::int32_t height) {
    protocol::StoreU32(video.formatBlock.data() + 52, static_cast<std::uint32_t>(width));
    protocol::StoreU32(video.formatBlock.data() + 56, static_cast<std::uint32_t>(height));
    return FallbackAllocatorProperties(video).bufferSize;
  };
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  EXPECT_EQ(sized(kMax, kMin), kMax);
  EXPECT_EQ(sized(kMax, kMax), kMax);
  EXPECT_EQ(sized(kMin, kMin), 1024 * 1024);
  EXPECT_EQ(sized(320, 0), 1024 * 1024);
}

TEST(FallbackAllocatorProperties, TruncatedFormatBlockGetsTheDefault) {
  auto video = Video(GuidFromFourcc(Fourcc("MJPG")));
  video.formatType = g::kFormatVideoInfo;
  video.formatBlock.assign(40, 0xFF);
  EXPECT_EQ(FallbackAllocatorProperties(video).bufferSize, 1024 * 1024);
}

}  // namespace
}  // namespace vantorel::sender
