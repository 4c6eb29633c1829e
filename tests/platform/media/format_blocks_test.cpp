#include "protocol/format_blocks.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace vantorel::protocol {
namespace {

// Little-endian reads at a fixed offset, written out here so the layout checks do not
// depend on the reader under test.
std::uint32_t At16(const std::vector<std::uint8_t>& b, std::size_t offset) {
  return b.at(offset) | (b.at(offset + 1) << 8);
}
std::uint32_t At32(const std::vector<std::uint8_t>& b, std::size_t offset) {
  return At16(b, offset) | (At16(b, offset + 2) << 16);
}
std::uint64_t At64(const std::vector<std::uint8_t>& b, std::size_t offset) {
  return At32(b, offset) | (std::uint64_t{At32(b, offset + 4)} << 32);
}

const std::vector<std::uint8_t> kSequenceHeader{0x00, 0x00, 0x01, 0xB3, 0x14, 0x00,
                                                0xF0, 0x13, 0x02, 0xBF, 0x60, 0x9C};

VideoInfoHeader SampleVideoInfo() {
  VideoInfoHeader vih;
  vih.source = {1, 2, 3, 4};
  vih.target = {5, 6, 7, 8};
  vih.bitRate = 1125200;
  vih.bitErrorRate = 9;
  vih.avgTimePerFrame = 400000;
  vih.bmiHeader.width = 320;
  vih.bmiHeader.height = -240;
  vih.bmiHeader.bitCount = 24;
  vih.bmiHeader.compression = MakeFourcc('W', 'M', 'V', '2');
  vih.bmiHeader.sizeImage = 230400;
  vih.bmiHeader.xPelsPerMeter = 10;
  vih.bmiHeader.yPelsPerMeter = 11;
  vih.bmiHeader.clrUsed = 12;
  vih.bmiHeader.clrImportant = 13;
  vih.extra = {0x01, 0x86, 0xB4, 0x80};
  return vih;
}

Mpeg2VideoInfo SampleMpeg2VideoInfo() {
  Mpeg2VideoInfo info;
  info.hdr.avgTimePerFrame = 400000;
  info.hdr.interlaceFlags = 0x21;
  info.hdr.pictAspectRatioX = 4;
  info.hdr.pictAspectRatioY = 3;
  info.hdr.controlFlags = 0x81;
  info.hdr.bmiHeader.width = 720;
  info.hdr.bmiHeader.height = 576;
  info.startTimeCode = 0x1234;
  info.profile = 2;
  info.level = 2;
  info.flags = 0x40;
  info.sequenceHeader = kSequenceHeader;
  return info;
}

TEST(VideoFormatBlockLayout, VideoInfoHeaderMatchesTheSdkLayout) {
  const auto b = WriteVideoInfoHeader(SampleVideoInfo());
  ASSERT_EQ(b.size(), 88u + 4u);
  EXPECT_EQ(At32(b, 0), 1u);
  EXPECT_EQ(At32(b, 28), 8u);
  EXPECT_EQ(At32(b, 32), 1125200u);
  EXPECT_EQ(At32(b, 36), 9u);
  EXPECT_EQ(At64(b, 40), 400000u);
  EXPECT_EQ(At32(b, 48), 44u) << "biSize counts the codec bytes after the header";
  EXPECT_EQ(At32(b, 52), 320u);
  EXPECT_EQ(At32(b, 56), static_cast<std::uint32_t>(-240));
  EXPECT_EQ(At16(b, 60), 1u);
  EXPECT_EQ(At16(b, 62), 24u);
  EXPECT_EQ(At32(b, 64), 0x32564D57u);  // "WMV2"
  EXPECT_EQ(At32(b, 68), 230400u);
  EXPECT_EQ(At32(b, 72), 10u);
  EXPECT_EQ(At32(b, 76), 11u);
  EXPECT_EQ(At32(b, 80), 12u);
  EXPECT_EQ(At32(b, 84), 13u);
  EXPECT_EQ(At32(b, 88), 0x80B48601u);
}

TEST(VideoFormatBlockLayout, Mpeg1VideoInfoHoldsTheSequenceHeaderAfterItsLength) {
  Mpeg1VideoInfo info;
  info.hdr = SampleVideoInfo();
  info.hdr.extra.clear();
  info.startTimeCode = 0x0800;
  info.sequenceHeader = kSequenceHeader;
  const auto b = WriteMpeg1VideoInfo(info);
  ASSERT_EQ(b.size(), 96u + kSequenceHeader.size());
  EXPECT_EQ(At32(b, 48), 40u);
  EXPECT_EQ(At32(b, 52), 320u);
  EXPECT_EQ(At32(b, 88), 0x0800u);
  EXPECT_EQ(At32(b, 92), kSequenceHeader.size());
  EXPECT_EQ(std::vector<std::uint8_t>(b.begin() + 96, b.end()), kSequenceHeader);
}

TEST(VideoFormatBlockLayout, Mpeg2VideoInfoMatchesTheSdkLayout) {
  const auto b = WriteMpeg2VideoInfo(SampleMpeg2VideoInfo());
  ASSERT_EQ(b.size(), 132u + kSequenceHeader.size());
  EXPECT_EQ(At64(b, 40), 400000u);
  EXPECT_EQ(At32(b, 48), 0x21u);
  EXPECT_EQ(At32(b, 56), 4u);
  EXPECT_EQ(At32(b, 60), 3u);
  EXPECT_EQ(At32(b, 64), 0x81u);
  EXPECT_EQ(At32(b, 72), 40u);
  EXPECT_EQ(At32(b, 76), 720u);
  EXPECT_EQ(At32(b, 80), 576u);
  EXPECT_EQ(At32(b, 112), 0x1234u);
  EXPECT_EQ(At32(b, 116), kSequenceHeader.size());
  EXPECT_EQ(At32(b, 120), 2u);
  EXPECT_EQ(At32(b, 124), 2u);
  EXPECT_EQ(At32(b, 128), 0x40u);
  EXPECT_EQ(std::vector<std::uint8_t>(b.begin() + 132, b.end()), kSequenceHeader);
}

TEST(VideoFormatBlockRoundTrip, ReadersGiveBackWhatTheWritersWrote) {
  EXPECT_EQ(ReadVideoInfoHeader(WriteVideoInfoHeader(SampleVideoInfo()))->extra,
            SampleVideoInfo().extra);
  Mpeg1VideoInfo mpeg1;
  mpeg1.hdr.bmiHeader.width = 352;
  mpeg1.hdr.bmiHeader.height = 288;
  mpeg1.sequenceHeader = kSequenceHeader;
  EXPECT_EQ(ReadMpeg1VideoInfo(WriteMpeg1VideoInfo(mpeg1)), mpeg1);
  EXPECT_EQ(ReadMpeg2VideoInfo(WriteMpeg2VideoInfo(SampleMpeg2VideoInfo())),
            SampleMpeg2VideoInfo());
}

WaveFormatEx SampleWave(std::uint16_t tag, std::vector<std::uint8_t> extra) {
  WaveFormatEx wfx;
  wfx.formatTag = tag;
  wfx.channels = 2;
  wfx.samplesPerSec = 44100;
  wfx.avgBytesPerSec = 16000;
  wfx.blockAlign = 1;
  wfx.bitsPerSample = 0;
  wfx.extra = std::move(extra);
  return wfx;
}

TEST(WaveFormatLayout, WaveFormatExIsEighteenBytesAndItsExtra) {
  WaveFormatEx wfx = SampleWave(wave_tags::kWma2, {0, 0, 0, 0, 1, 0, 0, 0, 0, 0});
  wfx.blockAlign = 743;
  wfx.bitsPerSample = 16;
  const auto b = WriteWaveFormatEx(wfx);
  ASSERT_EQ(b.size(), 28u);
  EXPECT_EQ(At16(b, 0), 0x0161u);
  EXPECT_EQ(At16(b, 2), 2u);
  EXPECT_EQ(At32(b, 4), 44100u);
  EXPECT_EQ(At32(b, 8), 16000u);
  EXPECT_EQ(At16(b, 12), 743u);
  EXPECT_EQ(At16(b, 14), 16u);
  EXPECT_EQ(At16(b, 16), 10u);
  EXPECT_EQ(b[22], 1);
}

TEST(WaveFormatLayout, Mpeg1WaveFormatIsFortyBytes) {
  Mpeg1WaveExtra extra;
  extra.headLayer = 2;
  extra.headBitrate = 128000;
  extra.headMode = 1;
  extra.headModeExt = 3;
  extra.headEmphasis = 1;
  extra.headFlags = 0x10;
  extra.ptsLow = 0x11223344;
  extra.ptsHigh = 1;
  const auto b = WriteWaveFormatEx(SampleWave(wave_tags::kMpeg, WriteMpeg1WaveExtra(extra)));
  ASSERT_EQ(b.size(), 40u);
  EXPECT_EQ(At16(b, 16), 22u);
  EXPECT_EQ(At16(b, 18), 2u);
  EXPECT_EQ(At32(b, 20), 128000u);
  EXPECT_EQ(At16(b, 24), 1u);
  EXPECT_EQ(At16(b, 26), 3u);
  EXPECT_EQ(At16(b, 28), 1u);
  EXPECT_EQ(At16(b, 30), 0x10u);
  EXPECT_EQ(At32(b, 32), 0x11223344u);
  EXPECT_EQ(At32(b, 36), 1u);
  EXPECT_EQ(ReadMpeg1WaveExtra(ReadWaveFormatEx(b)->extra), extra);
}

TEST(WaveFormatLayout, MpegLayer3WaveFormatIsThirtyBytes) {
  MpegLayer3WaveExtra extra;
  extra.blockSize = 417;
  extra.codecDelay = 1393;
  const auto b =
      WriteWaveFormatEx(SampleWave(wave_tags::kMpegLayer3, WriteMpegLayer3WaveExtra(extra)));
  ASSERT_EQ(b.size(), 30u);
  EXPECT_EQ(At16(b, 16), 12u);
  EXPECT_EQ(At16(b, 18), 1u);
  EXPECT_EQ(At32(b, 20), 2u);
  EXPECT_EQ(At16(b, 24), 417u);
  EXPECT_EQ(At16(b, 26), 1u);
  EXPECT_EQ(At16(b, 28), 1393u);
  EXPECT_EQ(ReadMpegLayer3WaveExtra(ReadWaveFormatEx(b)->extra), extra);
}

TEST(WaveFormatLayout, ExtensibleCarriesMaskAndSubformatGuid) {
  ExtensibleWaveExtra extra;
  extra.validBitsPerSample = 16;
  extra.channelMask = 0x3F;
  extra.subFormat = GuidFromFourcc(wave_tags::kPcm);
  const auto b =
      WriteWaveFormatEx(SampleWave(wave_tags::kExtensible, WriteExtensibleWaveExtra(extra)));
  ASSERT_EQ(b.size(), 40u);
  EXPECT_EQ(At16(b, 18), 16u);
  EXPECT_EQ(At32(b, 20), 0x3Fu);
  const std::vector<std::uint8_t> guid(b.begin() + 24, b.end());
  EXPECT_EQ(guid, (std::vector<std::uint8_t>{0x01, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0,
                                             0x38, 0x9B, 0x71}));
  EXPECT_EQ(ReadExtensibleWaveExtra(ReadWaveFormatEx(b)->extra), extra);
}

TEST(WaveFormatLayout, AdpcmExtraBytes) {
  const auto ms = WriteMsAdpcmWaveExtra(1012);
  ASSERT_EQ(ms.size(), 32u);
  EXPECT_EQ(At16(ms, 0), 1012u);
  EXPECT_EQ(At16(ms, 2), 7u);
  EXPECT_EQ(At16(ms, 4), 256u);
  EXPECT_EQ(At16(ms, 8), 512u);
  EXPECT_EQ(At16(ms, 10), 0xFF00u);  // -256
  EXPECT_EQ(At16(ms, 30), static_cast<std::uint16_t>(-232));
  EXPECT_EQ(WriteImaAdpcmWaveExtra(1017), (std::vector<std::uint8_t>{0xF9, 0x03}));
}

// Malformed blocks from the network: each must give nothing.
struct Malformed {
  std::string name;
  std::function<bool(std::span<const std::uint8_t>)> readable;
  std::function<std::vector<std::uint8_t>()> bytes;
};

void PrintTo(const Malformed& m, std::ostream* os) {
  *os << m.name;
}

class MalformedFormatBlock : public ::testing::TestWithParam<Malformed> {};

TEST_P(MalformedFormatBlock, GivesNothing) {
  const auto bytes = GetParam().bytes();
  EXPECT_FALSE(GetParam().readable(bytes));
}

bool VihReadable(std::span<const std::uint8_t> b) {
  return ReadVideoInfoHeader(b).has_value();
}
bool Mpeg1Readable(std::span<const std::uint8_t> b) {
  return ReadMpeg1VideoInfo(b).has_value();
}
bool Mpeg2Readable(std::span<const std::uint8_t> b) {
  return ReadMpeg2VideoInfo(b).has_value();
}
bool WaveReadable(std::span<const std::uint8_t> b) {
  return ReadWaveFormatEx(b).has_value();
}

std::vector<std::uint8_t> WithU32(std::vector<std::uint8_t> b, std::size_t offset,
                                  std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.at(offset + i) = static_cast<std::uint8_t>(v >> (8 * i));
  return b;
}

std::vector<std::uint8_t> Mpeg1Block() {
  Mpeg1VideoInfo info;
  info.sequenceHeader = kSequenceHeader;
  return WriteMpeg1VideoInfo(info);
}

std::vector<std::uint8_t> Truncated(std::vector<std::uint8_t> b, std::size_t drop) {
  b.resize(b.size() - drop);
  return b;
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, MalformedFormatBlock,
    ::testing::Values(
        Malformed{"EmptyVideoInfo", VihReadable, [] { return std::vector<std::uint8_t>{}; }},
        Malformed{"ShortVideoInfo", VihReadable, [] { return std::vector<std::uint8_t>(87); }},
        Malformed{"VideoInfoBiSizeBeyondBlock", VihReadable,
                  [] { return Truncated(WriteVideoInfoHeader(SampleVideoInfo()), 1); }},
        Malformed{"VideoInfoBiSizeBelowHeader", VihReadable,
                  [] { return WithU32(WriteVideoInfoHeader(SampleVideoInfo()), 48, 39); }},
        Malformed{"VideoInfoBiSizeHuge", VihReadable,
                  [] { return WithU32(WriteVideoInfoHeader(SampleVideoInfo()), 48, 0xFFFFFFFF); }},
        Malformed{"OversizedVideoInfo", VihReadable,
                  [] { return std::vector<std::uint8_t>(kMaxFormatBlockSize + 1); }},
        Malformed{"ShortMpeg1VideoInfo", Mpeg1Readable,
                  [] { return std::vector<std::uint8_t>(95); }},
        Malformed{"Mpeg1SequenceHeaderCut", Mpeg1Readable,
                  [] { return Truncated(Mpeg1Block(), 1); }},
        Malformed{"Mpeg1SequenceLengthHuge", Mpeg1Readable,
                  [] { return WithU32(Mpeg1Block(), 92, 0xFFFFFFFF); }},
        Malformed{"ShortMpeg2VideoInfo", Mpeg2Readable,
                  [] { return std::vector<std::uint8_t>(131); }},
        Malformed{"Mpeg2SequenceHeaderCut", Mpeg2Readable,
                  [] { return Truncated(WriteMpeg2VideoInfo(SampleMpeg2VideoInfo()), 1); }},
        Malformed{
            "Mpeg2SequenceLengthHuge", Mpeg2Readable,
            [] { return WithU32(WriteMpeg2VideoInfo(SampleMpeg2VideoInfo()), 116, 0x7FFFFFFF); }},
        Malformed{"ShortWaveFormat", WaveReadable, [] { return std::vector<std::uint8_t>(17); }},
        Malformed{"WaveExtraCut", WaveReadable,
                  [] {
                    return Truncated(
                        WriteWaveFormatEx(SampleWave(wave_tags::kMpeg, WriteMpeg1WaveExtra({}))),
                        1);
                  }}),
    [](const auto& info) { return info.param.name; });

TEST(WaveExtraReaders, RefuseShortExtraBytes) {
  const std::vector<std::uint8_t> shortExtra(11);
  EXPECT_FALSE(ReadMpeg1WaveExtra(shortExtra));
  EXPECT_FALSE(ReadMpegLayer3WaveExtra(shortExtra));
  EXPECT_FALSE(ReadExtensibleWaveExtra(shortExtra));
}

TEST(FormatBlockReaders, EveryTruncationOfAValidBlockIsRefused) {
  const auto mpeg1 = Mpeg1Block();
  for (std::size_t n = 0; n < mpeg1.size(); ++n) {
    EXPECT_FALSE(ReadMpeg1VideoInfo(std::span(mpeg1).first(n))) << n;
  }
  const auto wave =
      WriteWaveFormatEx(SampleWave(wave_tags::kMpegLayer3, WriteMpegLayer3WaveExtra({})));
  for (std::size_t n = 0; n < wave.size(); ++n) {
    EXPECT_FALSE(ReadWaveFormatEx(std::span(wave).first(n))) << n;
  }
}

}  // namespace
}  // namespace vantorel::protocol
