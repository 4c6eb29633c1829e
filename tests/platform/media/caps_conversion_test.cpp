#include "platform/media/caps_conversion.h"

#include "platform/media/gst_ptr.h"
#include "protocol/format_blocks.h"
#include "protocol/media_codes.h"

#include <gtest/gtest.h>

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
  GCharPtr text(gst_caps_to_string(caps));
  return text.get();
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
                      "audio/x-raw, format={ S16LE, S32LE }, layout=interleaved, " + kStereo));

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

TEST_F(GstTest, BrokenMediaTypesGiveNoCaps) {
  const auto good = MediaTypeFromCaps(
      Caps(With("video/mpeg, mpegversion=(int)1, systemstream=(boolean)false, " + kPicture,
                kMpeg1Sequence))
          .get());
  ASSERT_TRUE(good.has_value());

  protocol::MediaType cut = *good;
  cut.formatBlock.resize(cut.formatBlock.size() - 1);
  EXPECT_EQ(CapsFromMediaType(cut), nullptr);

  protocol::MediaType wrongFormat = *good;
  wrongFormat.formatType = guids::kFormatWaveFormatEx;
  EXPECT_EQ(CapsFromMediaType(wrongFormat), nullptr);

  protocol::MediaType noMajor = *good;
  noMajor.majorType = guids::kNull;
  EXPECT_EQ(CapsFromMediaType(noMajor), nullptr);

  protocol::VideoInfoHeader vih;
  vih.bmiHeader.width = 320;
  vih.bmiHeader.height = 240;
  vih.bmiHeader.compression = MakeFourcc('Z', 'Z', 'Z', 'Z');
  protocol::MediaType unknown = *good;
  unknown.formatType = guids::kFormatVideoInfo;
  unknown.formatBlock = protocol::WriteVideoInfoHeader(vih);
  EXPECT_EQ(CapsFromMediaType(unknown), nullptr);

  protocol::WaveFormatEx silent;
  silent.formatTag = tags::kPcm;
  protocol::MediaType noChannels;
  noChannels.majorType = guids::kMediaTypeAudio;
  noChannels.formatType = guids::kFormatWaveFormatEx;
  noChannels.formatBlock = protocol::WriteWaveFormatEx(silent);
  EXPECT_EQ(CapsFromMediaType(noChannels), nullptr);
}

}  // namespace
}  // namespace vantorel::media
