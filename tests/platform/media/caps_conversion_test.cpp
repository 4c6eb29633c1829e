#include "platform/media/caps_conversion.h"

#include "platform/media/gst_ptr.h"
#include "protocol/format_blocks.h"
#include "protocol/media_codes.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace vantorel::media {
namespace {

using protocol::GuidFromFourcc;
using protocol::MakeFourcc;
namespace guids = protocol::guids;
namespace tags = protocol::wave_tags;

CapsPtr Caps(const std::string& text) {
  return CapsPtr(gst_caps_from_string(text.c_str()));
}

std::string ToString(const GstCaps* caps) {
  if (caps == nullptr) return "no caps";
  GCharPtr text(gst_caps_to_string(caps));
  return text.get();
}

int IntField(const GstCaps* caps, const char* field) {
  int value = 0;
  gst_structure_get_int(gst_caps_get_structure(caps, 0), field, &value);
  return value;
}

class GstTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { gst_init(nullptr, nullptr); }
};

// One mapped format: the caps a parser exposes, the media type it must become, and the fields
// that the caps rebuilt from that media type must hold for the decoder.
struct Mapping {
  std::string name;
  std::string caps;
  protocol::Guid subtype;
  protocol::Guid formatType;
  std::string decoderCaps;
};

void PrintTo(const Mapping& m, std::ostream* os) {
  *os << m.name;
}

class CapsRoundTrip : public ::testing::TestWithParam<Mapping> {
 protected:
  static void SetUpTestSuite() { gst_init(nullptr, nullptr); }
};

TEST_P(CapsRoundTrip, KeepsWhatTheDecoderNeeds) {
  const Mapping& m = GetParam();
  CapsPtr input = Caps(m.caps);
  ASSERT_TRUE(input) << m.caps;
  const auto type = MediaTypeFromCaps(input.get());
  ASSERT_TRUE(type.has_value());
  EXPECT_EQ(type->subtype, m.subtype) << type->subtype.ToString();
  EXPECT_EQ(type->formatType, m.formatType);
  const bool video = m.caps.starts_with("video/") || m.caps.starts_with("image/");
  EXPECT_EQ(type->majorType, video ? guids::kMediaTypeVideo : guids::kMediaTypeAudio);

  CapsPtr output(CapsFromMediaType(*type));
  ASSERT_TRUE(output);
  EXPECT_TRUE(gst_caps_is_fixed(output.get())) << ToString(output.get());
  CapsPtr expected = Caps(m.decoderCaps);
  ASSERT_TRUE(expected) << m.decoderCaps;
  EXPECT_TRUE(gst_structure_is_subset(gst_caps_get_structure(output.get(), 0),
                                      gst_caps_get_structure(expected.get(), 0)))
      << "got      " << ToString(output.get()) << "\nexpected " << m.decoderCaps;
}

constexpr const char* kMpeg1Sequence = "000001b31400f01302bf609c";
constexpr const char* kMpeg2Sequence = "000001b32d0240330249a3f8000001b5148a00010000";
constexpr const char* kMpeg4Config = "000001b001000001b58913000001000000012000c48d8ffffd0a041e1463";

std::string With(const std::string& text, const std::string& codecData) {
  return text + ", codec_data=(buffer)" + codecData;
}

const std::string kPicture = "width=(int)320, height=(int)240, framerate=(fraction)25/1";

INSTANTIATE_TEST_SUITE_P(
    Video, CapsRoundTrip,
    ::testing::Values(
        Mapping{"Mpeg1",
                With("video/mpeg, mpegversion=(int)1, systemstream=(boolean)false, "
                     "parsed=(boolean)true, "
                     "pixel-aspect-ratio=(fraction)1/1, " +
                         kPicture,
                     kMpeg1Sequence),
                guids::kSubtypeMpeg1Payload, guids::kFormatMpegVideo,
                With("video/mpeg, mpegversion=(int)1, systemstream=(boolean)false, " + kPicture,
                     kMpeg1Sequence)},
        Mapping{
            "Mpeg2",
            With("video/mpeg, mpegversion=(int)2, systemstream=(boolean)false, profile=main, "
                 "level=main, pixel-aspect-ratio=(fraction)16/15, width=(int)720, height=(int)576, "
                 "framerate=(fraction)25/1",
                 kMpeg2Sequence),
            guids::kSubtypeMpeg2Video, guids::kFormatMpeg2Video,
            With("video/mpeg, mpegversion=(int)2, systemstream=(boolean)false, width=(int)720, "
                 "height=(int)576, framerate=(fraction)25/1, pixel-aspect-ratio=(fraction)16/15",
                 kMpeg2Sequence)},
        Mapping{"Mjpeg", "image/jpeg, parsed=(boolean)true, " + kPicture,
                GuidFromFourcc(MakeFourcc('M', 'J', 'P', 'G')), guids::kFormatVideoInfo,
                "image/jpeg, " + kPicture},
        Mapping{"Mpeg4Part2",
                With("video/mpeg, mpegversion=(int)4, systemstream=(boolean)false, " + kPicture,
                     kMpeg4Config),
                GuidFromFourcc(MakeFourcc('X', 'V', 'I', 'D')), guids::kFormatVideoInfo,
                With("video/mpeg, mpegversion=(int)4, systemstream=(boolean)false, " + kPicture,
                     kMpeg4Config)},
        Mapping{"DivX4", With("video/x-divx, divxversion=(int)4, " + kPicture, kMpeg4Config),
                GuidFromFourcc(MakeFourcc('D', 'I', 'V', 'X')), guids::kFormatVideoInfo,
                With("video/x-divx, divxversion=(int)4, " + kPicture, kMpeg4Config)},
        Mapping{"H264ByteStream",
                "video/x-h264, stream-format=byte-stream, alignment=au, " + kPicture,
                GuidFromFourcc(MakeFourcc('H', '2', '6', '4')), guids::kFormatVideoInfo,
                "video/x-h264, stream-format=byte-stream, " + kPicture},
        Mapping{"Wmv1", "video/x-wmv, wmvversion=(int)1, " + kPicture,
                GuidFromFourcc(MakeFourcc('W', 'M', 'V', '1')), guids::kFormatVideoInfo,
                "video/x-wmv, wmvversion=(int)1, " + kPicture},
        Mapping{"Wmv2",
                With("video/x-wmv, wmvversion=(int)2, format=WMV2, " + kPicture, "0186b480"),
                GuidFromFourcc(MakeFourcc('W', 'M', 'V', '2')), guids::kFormatVideoInfo,
                With("video/x-wmv, wmvversion=(int)2, " + kPicture, "0186b480")},
        Mapping{"Wmv3",
                With("video/x-wmv, wmvversion=(int)3, format=WMV3, " + kPicture, "4ff1080a"),
                GuidFromFourcc(MakeFourcc('W', 'M', 'V', '3')), guids::kFormatVideoInfo,
                With("video/x-wmv, wmvversion=(int)3, format=WMV3, " + kPicture, "4ff1080a")},
        Mapping{"Cinepak", "video/x-cinepak, " + kPicture,
                GuidFromFourcc(MakeFourcc('c', 'v', 'i', 'd')), guids::kFormatVideoInfo,
                "video/x-cinepak, " + kPicture},
        Mapping{"Indeo5", "video/x-indeo, indeoversion=(int)5, " + kPicture,
                GuidFromFourcc(MakeFourcc('I', 'V', '5', '0')), guids::kFormatVideoInfo,
                "video/x-indeo, indeoversion=(int)5, " + kPicture},
        Mapping{"MsVideo1", "video/x-msvideocodec, msvideoversion=(int)1, bpp=(int)16, " + kPicture,
                GuidFromFourcc(MakeFourcc('M', 'S', 'V', 'C')), guids::kFormatVideoInfo,
                "video/x-msvideocodec, msvideoversion=(int)1, bpp=(int)16, " + kPicture}),
    [](const auto& info) { return info.param.name; });

const std::string kStereo = "rate=(int)44100, channels=(int)2";

std::string Raw(const std::string& format, const std::string& rest = kStereo) {
  return "audio/x-raw, format=" + format + ", layout=interleaved, " + rest;
}

INSTANTIATE_TEST_SUITE_P(
    Audio, CapsRoundTrip,
    ::testing::Values(
        Mapping{"PcmU8", Raw("U8", "rate=(int)8000, channels=(int)1"), GuidFromFourcc(tags::kPcm),
                guids::kFormatWaveFormatEx, Raw("U8", "rate=(int)8000, channels=(int)1")},
        Mapping{"PcmS16", Raw("S16LE"), GuidFromFourcc(tags::kPcm), guids::kFormatWaveFormatEx,
                Raw("S16LE")},
        Mapping{"PcmS24", Raw("S24LE"), GuidFromFourcc(tags::kPcm), guids::kFormatWaveFormatEx,
                Raw("S24LE")},
        Mapping{"PcmS32", Raw("S32LE"), GuidFromFourcc(tags::kPcm), guids::kFormatWaveFormatEx,
                Raw("S32LE")},
        Mapping{"Float32", Raw("F32LE"), GuidFromFourcc(tags::kIeeeFloat),
                guids::kFormatWaveFormatEx, Raw("F32LE")},
        Mapping{"PcmSixChannels",
                Raw("S16LE", "rate=(int)48000, channels=(int)6, channel-mask=(bitmask)0x3f"),
                GuidFromFourcc(tags::kPcm), guids::kFormatWaveFormatEx,
                Raw("S16LE", "rate=(int)48000, channels=(int)6, channel-mask=(bitmask)0x3f")},
        Mapping{"ALaw", "audio/x-alaw, rate=(int)8000, channels=(int)1",
                GuidFromFourcc(tags::kALaw), guids::kFormatWaveFormatEx,
                "audio/x-alaw, rate=(int)8000, channels=(int)1"},
        Mapping{"MuLaw", "audio/x-mulaw, rate=(int)8000, channels=(int)1",
                GuidFromFourcc(tags::kMuLaw), guids::kFormatWaveFormatEx,
                "audio/x-mulaw, rate=(int)8000, channels=(int)1"},
        Mapping{"MsAdpcm", "audio/x-adpcm, layout=microsoft, block_align=(int)1024, " + kStereo,
                GuidFromFourcc(tags::kMsAdpcm), guids::kFormatWaveFormatEx,
                "audio/x-adpcm, layout=microsoft, block_align=(int)1024, " + kStereo},
        Mapping{"ImaAdpcm", "audio/x-adpcm, layout=dvi, block_align=(int)1024, " + kStereo,
                GuidFromFourcc(tags::kImaAdpcm), guids::kFormatWaveFormatEx,
                "audio/x-adpcm, layout=dvi, block_align=(int)1024, " + kStereo},
        Mapping{"MpegLayer1",
                "audio/mpeg, mpegversion=(int)1, mpegaudioversion=(int)1, layer=(int)1, " + kStereo,
                GuidFromFourcc(tags::kMpeg), guids::kFormatWaveFormatEx,
                "audio/mpeg, mpegversion=(int)1, layer=(int)1, " + kStereo},
        Mapping{
            "MpegLayer2",
            "audio/mpeg, mpegversion=(int)1, mpegaudioversion=(int)1, layer=(int)2, parsed=true, " +
                kStereo,
            GuidFromFourcc(tags::kMpeg), guids::kFormatWaveFormatEx,
            "audio/mpeg, mpegversion=(int)1, layer=(int)2, " + kStereo},
        Mapping{"Mp3",
                "audio/mpeg, mpegversion=(int)1, mpegaudioversion=(int)1, layer=(int)3, " + kStereo,
                GuidFromFourcc(tags::kMpegLayer3), guids::kFormatWaveFormatEx,
                "audio/mpeg, mpegversion=(int)1, layer=(int)3, " + kStereo},
        Mapping{"AacRaw",
                With("audio/mpeg, mpegversion=(int)4, stream-format=raw, " + kStereo, "1210"),
                GuidFromFourcc(tags::kRawAac), guids::kFormatWaveFormatEx,
                With("audio/mpeg, mpegversion=(int)4, stream-format=raw, " + kStereo, "1210")},
        Mapping{"AacAdts", "audio/mpeg, mpegversion=(int)4, stream-format=adts, " + kStereo,
                GuidFromFourcc(tags::kRawAac), guids::kFormatWaveFormatEx,
                "audio/mpeg, mpegversion=(int)4, stream-format=adts, " + kStereo},
        Mapping{"Wma1",
                With("audio/x-wma, wmaversion=(int)1, bitrate=(int)64000, depth=(int)16, "
                     "block_align=(int)371, " +
                         kStereo,
                     "0000000001"),
                GuidFromFourcc(tags::kWma1), guids::kFormatWaveFormatEx,
                With("audio/x-wma, wmaversion=(int)1, bitrate=(int)64000, depth=(int)16, "
                     "block_align=(int)371, " +
                         kStereo,
                     "0000000001")},
        Mapping{"Wma2",
                With("audio/x-wma, wmaversion=(int)2, bitrate=(int)128000, depth=(int)16, "
                     "block_align=(int)743, " +
                         kStereo,
                     "00000000010000000000"),
                GuidFromFourcc(tags::kWma2), guids::kFormatWaveFormatEx,
                With("audio/x-wma, wmaversion=(int)2, bitrate=(int)128000, depth=(int)16, "
                     "block_align=(int)743, " +
                         kStereo,
                     "00000000010000000000")},
        Mapping{"Wma3",
                With("audio/x-wma, wmaversion=(int)3, bitrate=(int)192000, depth=(int)16, "
                     "block_align=(int)8192, " +
                         kStereo,
                     "100000000000000000000000e0000000"),
                GuidFromFourcc(tags::kWma3), guids::kFormatWaveFormatEx,
                With("audio/x-wma, wmaversion=(int)3, bitrate=(int)192000, depth=(int)16, "
                     "block_align=(int)8192, " +
                         kStereo,
                     "100000000000000000000000e0000000")}),
    [](const auto& info) { return info.param.name; });

// Uncompressed and DV video map to their own subtypes, which the video grabber refuses.
struct RawMapping {
  std::string caps;
  protocol::Guid subtype;
};

class RawVideoSubtype : public ::testing::TestWithParam<RawMapping> {
 protected:
  static void SetUpTestSuite() { gst_init(nullptr, nullptr); }
};

TEST_P(RawVideoSubtype, NamesTheUncompressedSubtype) {
  CapsPtr caps = Caps(GetParam().caps);
  const auto type = MediaTypeFromCaps(caps.get());
  ASSERT_TRUE(type.has_value());
  EXPECT_EQ(type->subtype, GetParam().subtype);
  EXPECT_FALSE(type->temporalCompression);
}

INSTANTIATE_TEST_SUITE_P(
    Video, RawVideoSubtype,
    ::testing::Values(RawMapping{"video/x-raw, format=BGR, " + kPicture, guids::kSubtypeRgb24},
                      RawMapping{"video/x-raw, format=BGRx, " + kPicture, guids::kSubtypeRgb32},
                      RawMapping{"video/x-raw, format=RGB16, " + kPicture, guids::kSubtypeRgb565},
                      RawMapping{"video/x-raw, format=YUY2, " + kPicture,
                                 GuidFromFourcc(MakeFourcc('Y', 'U', 'Y', '2'))},
                      RawMapping{"video/x-raw, format=UYVY, " + kPicture,
                                 GuidFromFourcc(MakeFourcc('U', 'Y', 'V', 'Y'))},
                      RawMapping{"video/x-dv, systemstream=(boolean)false, " + kPicture,
                                 GuidFromFourcc(MakeFourcc('d', 'v', 's', 'd'))}));

class UnmappedCaps : public ::testing::TestWithParam<std::string> {
 protected:
  static void SetUpTestSuite() { gst_init(nullptr, nullptr); }
};

TEST_P(UnmappedCaps, GiveNoMediaType) {
  CapsPtr caps = Caps(GetParam());
  EXPECT_FALSE(MediaTypeFromCaps(caps.get()).has_value());
}

INSTANTIATE_TEST_SUITE_P(
    Caps, UnmappedCaps,
    ::testing::Values(Raw("S16BE"), Raw("S8"),
                      "audio/x-raw, format=S16LE, layout=non-interleaved, " + kStereo,
                      "video/x-h264, stream-format=avc, " + kPicture,
                      "video/mpeg, mpegversion=(int)2, systemstream=(boolean)true",
                      "video/x-vp8, " + kPicture, "application/x-subtitle",
                      "audio/mpeg, mpegversion=(int)4, stream-format=raw, " + kStereo,
                      "audio/x-raw, format={ S16LE, S32LE }, layout=interleaved, " + kStereo,
                      // What a broken file header puts in caps.
                      "video/x-divx, divxversion=(int)4, width=(int)2147483647, "
                      "height=(int)2147483647",
                      "video/mpeg, mpegversion=(int)1, systemstream=(boolean)false, "
                      "width=(int)320, height=(int)-2147483648",
                      "video/mpeg, mpegversion=(int)2, systemstream=(boolean)false, "
                      "width=(int)-320, height=(int)240",
                      Raw("S16LE", "rate=(int)-1, channels=(int)2"),
                      Raw("F64LE", "rate=(int)768000, channels=(int)64"),
                      "audio/mpeg, mpegversion=(int)1, layer=(int)3, rate=(int)44100, "
                      "channels=(int)65537",
                      "audio/x-adpcm, layout=dvi, block_align=(int)65535, rate=(int)8000, "
                      "channels=(int)1"));

TEST_F(GstTest, NullAndEmptyCapsGiveNothing) {
  EXPECT_FALSE(MediaTypeFromCaps(nullptr));
  CapsPtr empty(gst_caps_new_empty());
  EXPECT_FALSE(MediaTypeFromCaps(empty.get()));
}

TEST_F(GstTest, BigEndianAndOddRawAudioNeedsConversionFirst) {
  EXPECT_TRUE(NeedsLittleEndianConversion(Caps(Raw("S16BE")).get()));
  EXPECT_TRUE(NeedsLittleEndianConversion(Caps(Raw("S8")).get()));
  EXPECT_TRUE(NeedsLittleEndianConversion(Caps(Raw("F32BE")).get()));
  EXPECT_FALSE(NeedsLittleEndianConversion(Caps(Raw("S16LE")).get()));
  EXPECT_FALSE(NeedsLittleEndianConversion(Caps("audio/mpeg, mpegversion=(int)1").get()));
  EXPECT_FALSE(NeedsLittleEndianConversion(nullptr));

  // What the conversion produces maps.
  CapsPtr converted(gst_caps_fixate(WaveRawAudioCaps()));
  gst_caps_set_simple(converted.get(), "rate", G_TYPE_INT, 44100, "channels", G_TYPE_INT, 2,
                      nullptr);
  EXPECT_TRUE(MediaTypeFromCaps(converted.get()).has_value()) << ToString(converted.get());
}

TEST_F(GstTest, OnlyNonByteStreamH264NeedsConversion) {
  EXPECT_TRUE(NeedsByteStreamConversion(Caps("video/x-h264, stream-format=avc").get()));
  EXPECT_FALSE(NeedsByteStreamConversion(Caps("video/x-h264, stream-format=byte-stream").get()));
  EXPECT_FALSE(NeedsByteStreamConversion(Caps("video/mpeg, mpegversion=(int)4").get()));
}

TEST_F(GstTest, Mpeg1FormatBlockDescribesThePicture) {
  CapsPtr caps = Caps(With(
      "video/mpeg, mpegversion=(int)1, systemstream=(boolean)false, " + kPicture, kMpeg1Sequence));
  const auto type = MediaTypeFromCaps(caps.get());
  ASSERT_TRUE(type.has_value());
  const auto info = protocol::ReadMpeg1VideoInfo(type->formatBlock);
  ASSERT_TRUE(info.has_value());
  EXPECT_EQ(info->hdr.bmiHeader.width, 320);
  EXPECT_EQ(info->hdr.bmiHeader.height, 240);
  EXPECT_EQ(info->hdr.avgTimePerFrame, 400000);
  EXPECT_EQ(info->hdr.bitRate, 2813u * 400) << "bit rate from the sequence header";
  EXPECT_EQ(info->sequenceHeader.size(), 12u);
  EXPECT_TRUE(type->temporalCompression);
}

// A media type from the wire that no decoder can be given: no caps, so the stream is not
// rendered.
struct BrokenType {
  std::string name;
  protocol::MediaType (*make)();
};

void PrintTo(const BrokenType& b, std::ostream* os) {
  *os << b.name;
}

class BrokenMediaType : public ::testing::TestWithParam<BrokenType> {
 protected:
  static void SetUpTestSuite() { gst_init(nullptr, nullptr); }
};

TEST_P(BrokenMediaType, GivesNoCaps) {
  CapsPtr caps(CapsFromMediaType(GetParam().make()));
  EXPECT_FALSE(caps) << ToString(caps.get());
}

protocol::MediaType GoodMpeg1() {
  const auto type = MediaTypeFromCaps(
      Caps(With("video/mpeg, mpegversion=(int)1, systemstream=(boolean)false, " + kPicture,
                kMpeg1Sequence))
          .get());
  return type.value();
}

protocol::MediaType VideoOf(const protocol::Guid& formatType, std::vector<std::uint8_t> block) {
  protocol::MediaType type;
  type.majorType = guids::kMediaTypeVideo;
  type.formatType = formatType;
  type.formatBlock = std::move(block);
  return type;
}

protocol::MediaType Mpeg1Sized(std::int32_t width, std::int32_t height) {
  protocol::Mpeg1VideoInfo info;
  info.hdr.bmiHeader.width = width;
  info.hdr.bmiHeader.height = height;
  return VideoOf(guids::kFormatMpegVideo, protocol::WriteMpeg1VideoInfo(info));
}

protocol::MediaType Mpeg2Sized(std::int32_t width, std::int32_t height) {
  protocol::Mpeg2VideoInfo info;
  info.hdr.bmiHeader.width = width;
  info.hdr.bmiHeader.height = height;
  info.hdr.pictAspectRatioX = 4;
  info.hdr.pictAspectRatioY = 3;
  return VideoOf(guids::kFormatMpeg2Video, protocol::WriteMpeg2VideoInfo(info));
}

protocol::MediaType FourccSized(std::uint32_t fourcc, std::int32_t width, std::int32_t height) {
  protocol::VideoInfoHeader vih;
  vih.bmiHeader.width = width;
  vih.bmiHeader.height = height;
  vih.bmiHeader.compression = fourcc;
  return VideoOf(guids::kFormatVideoInfo, protocol::WriteVideoInfoHeader(vih));
}

protocol::MediaType Wave(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate,
                         std::uint32_t avgBytesPerSec = 0) {
  protocol::WaveFormatEx wfx;
  wfx.formatTag = tag;
  wfx.channels = channels;
  wfx.samplesPerSec = rate;
  wfx.avgBytesPerSec = avgBytesPerSec;
  wfx.blockAlign = 4;
  wfx.bitsPerSample = 16;
  protocol::MediaType type;
  type.majorType = guids::kMediaTypeAudio;
  type.formatType = guids::kFormatWaveFormatEx;
  type.formatBlock = protocol::WriteWaveFormatEx(wfx);
  return type;
}

constexpr std::int32_t kIntMin = std::numeric_limits<std::int32_t>::min();

INSTANTIATE_TEST_SUITE_P(
    Types, BrokenMediaType,
    ::testing::Values(
        BrokenType{"CutFormatBlock",
                   [] {
                     protocol::MediaType cut = GoodMpeg1();
                     cut.formatBlock.resize(cut.formatBlock.size() - 1);
                     return cut;
                   }},
        BrokenType{"WrongFormatType",
                   [] {
                     protocol::MediaType wrong = GoodMpeg1();
                     wrong.formatType = guids::kFormatWaveFormatEx;
                     return wrong;
                   }},
        BrokenType{"NoMajorType",
                   [] {
                     protocol::MediaType noMajor = GoodMpeg1();
                     noMajor.majorType = guids::kNull;
                     return noMajor;
                   }},
        BrokenType{"UnknownFourcc",
                   [] { return FourccSized(MakeFourcc('Z', 'Z', 'Z', 'Z'), 320, 240); }},
        BrokenType{"Mpeg1HeightIntMin", [] { return Mpeg1Sized(320, kIntMin); }},
        BrokenType{"Mpeg1WidthPastTheLargestPicture", [] { return Mpeg1Sized(32769, 240); }},
        BrokenType{"Mpeg2HeightIntMin", [] { return Mpeg2Sized(720, kIntMin); }},
        BrokenType{"Mpeg2NegativeWidth", [] { return Mpeg2Sized(-720, 576); }},
        BrokenType{"FourccHeightIntMin",
                   [] { return FourccSized(MakeFourcc('H', '2', '6', '4'), 320, kIntMin); }},
        BrokenType{"FourccTallerThanTheLargestPicture",
                   [] { return FourccSized(MakeFourcc('M', 'J', 'P', 'G'), 320, 40000); }},
        BrokenType{"PcmNoChannels", [] { return Wave(tags::kPcm, 0, 44100); }},
        BrokenType{"PcmRateMinusOne", [] { return Wave(tags::kPcm, 2, 0xFFFFFFFF); }},
        BrokenType{"Mp3RateMinusOne", [] { return Wave(tags::kMpegLayer3, 2, 0xFFFFFFFF); }},
        BrokenType{"AacTooManyChannels", [] { return Wave(tags::kRawAac, 65535, 44100); }},
        BrokenType{"WmaByteRatePastTheLargestBitRate",
                   [] { return Wave(tags::kWma2, 2, 44100, 0x80000000u); }}),
    [](const auto& info) { return info.param.name; });

// A negative height is a top-down bitmap: the caps carry the picture's height.
TEST_F(GstTest, TopDownPicturesKeepTheirHeight) {
  CapsPtr mpeg(CapsFromMediaType(Mpeg2Sized(720, -576)));
  CapsPtr mjpeg(CapsFromMediaType(FourccSized(MakeFourcc('M', 'J', 'P', 'G'), 320, -240)));
  ASSERT_TRUE(mpeg);
  ASSERT_TRUE(mjpeg);
  EXPECT_EQ(IntField(mpeg.get(), "height"), 576);
  EXPECT_EQ(IntField(mjpeg.get(), "height"), 240);
}

}  // namespace
}  // namespace vantorel::media
