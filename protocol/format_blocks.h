// The format blocks that media types carry, laid out byte for byte as the media framework's
// structures: BITMAPINFOHEADER, VIDEOINFOHEADER, VIDEOINFOHEADER2, MPEG1VIDEOINFO,
// MPEG2VIDEOINFO, WAVEFORMATEX and the extra bytes of its MPEG, MP3, extensible and ADPCM
// forms. Writers produce the exact bytes; readers take bytes from the network and check every
// length before reading: a block that is too short, or whose length fields claim more bytes
// than it holds, gives nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "protocol/guid.h"

namespace vantorel::protocol {

// Subtype GUIDs that are not derived from a FOURCC or wave format tag.
namespace guids {
inline constexpr Guid kSubtypeMpeg1Packet{
    0xE436EB80, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr Guid kSubtypeMpeg1Payload{
    0xE436EB81, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr Guid kSubtypeMpeg2Video{
    0xE06D8026, 0xDB46, 0x11CF, {0xB4, 0xD1, 0x00, 0x80, 0x5F, 0x6C, 0xBB, 0xEA}};
inline constexpr Guid kSubtypeRgb8{
    0xE436EB7A, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr Guid kSubtypeRgb565{
    0xE436EB7B, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr Guid kSubtypeRgb555{
    0xE436EB7C, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr Guid kSubtypeRgb24{
    0xE436EB7D, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr Guid kSubtypeRgb32{
    0xE436EB7E, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr Guid kSubtypeArgb32{
    0x773C9AC0, 0x3274, 0x11D0, {0xB7, 0x24, 0x00, 0xAA, 0x00, 0x6C, 0x1A, 0x01}};
}  // namespace guids

// Wave format tags (wFormatTag); the audio subtype is GuidFromFourcc(tag).
namespace wave_tags {
inline constexpr std::uint16_t kPcm = 0x0001;
inline constexpr std::uint16_t kMsAdpcm = 0x0002;
inline constexpr std::uint16_t kIeeeFloat = 0x0003;
inline constexpr std::uint16_t kALaw = 0x0006;
inline constexpr std::uint16_t kMuLaw = 0x0007;
inline constexpr std::uint16_t kImaAdpcm = 0x0011;
inline constexpr std::uint16_t kMpeg = 0x0050;
inline constexpr std::uint16_t kMpegLayer3 = 0x0055;
inline constexpr std::uint16_t kRawAac = 0x00FF;
inline constexpr std::uint16_t kWma1 = 0x0160;
inline constexpr std::uint16_t kWma2 = 0x0161;
inline constexpr std::uint16_t kWma3 = 0x0162;
inline constexpr std::uint16_t kExtensible = 0xFFFE;
}  // namespace wave_tags

constexpr std::uint32_t MakeFourcc(char a, char b, char c, char d) {
  return static_cast<std::uint32_t>(static_cast<std::uint8_t>(a)) |
         (static_cast<std::uint32_t>(static_cast<std::uint8_t>(b)) << 8) |
         (static_cast<std::uint32_t>(static_cast<std::uint8_t>(c)) << 16) |
         (static_cast<std::uint32_t>(static_cast<std::uint8_t>(d)) << 24);
}

// Format blocks come from the network: larger ones are refused before anything is copied.
inline constexpr std::size_t kMaxFormatBlockSize = 64 * 1024;

struct Rect {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
  friend bool operator==(const Rect&, const Rect&) = default;
};

struct BitmapInfoHeader {
  static constexpr std::size_t kSize = 40;
  std::uint32_t size = kSize;  // biSize: 40 plus any codec bytes that follow
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::uint16_t planes = 1;
  std::uint16_t bitCount = 0;
  std::uint32_t compression = 0;
  std::uint32_t sizeImage = 0;
  std::int32_t xPelsPerMeter = 0;
  std::int32_t yPelsPerMeter = 0;
  std::uint32_t clrUsed = 0;
  std::uint32_t clrImportant = 0;
  friend bool operator==(const BitmapInfoHeader&, const BitmapInfoHeader&) = default;
};

// VIDEOINFOHEADER (88 bytes) followed by `extra`: codec data or a palette after the
// BITMAPINFOHEADER. The writer sets biSize to 40 + extra size.
struct VideoInfoHeader {
  static constexpr std::size_t kSize = 88;
  Rect source;
  Rect target;
  std::uint32_t bitRate = 0;
  std::uint32_t bitErrorRate = 0;
  std::int64_t avgTimePerFrame = 0;  // 100 ns units
  BitmapInfoHeader bmiHeader;
  std::vector<std::uint8_t> extra;
  friend bool operator==(const VideoInfoHeader&, const VideoInfoHeader&) = default;
};

// VIDEOINFOHEADER2 (112 bytes).
struct VideoInfoHeader2 {
  static constexpr std::size_t kSize = 112;
  Rect source;
  Rect target;
  std::uint32_t bitRate = 0;
  std::uint32_t bitErrorRate = 0;
  std::int64_t avgTimePerFrame = 0;
  std::uint32_t interlaceFlags = 0;
  std::uint32_t copyProtectFlags = 0;
  std::uint32_t pictAspectRatioX = 0;
  std::uint32_t pictAspectRatioY = 0;
  std::uint32_t controlFlags = 0;
  std::uint32_t reserved2 = 0;
  BitmapInfoHeader bmiHeader;
  friend bool operator==(const VideoInfoHeader2&, const VideoInfoHeader2&) = default;
};

// MPEG1VIDEOINFO: VIDEOINFOHEADER, dwStartTimeCode, cbSequenceHeader, then the sequence header
// bytes; the block is 96 + cbSequenceHeader bytes. `hdr.extra` is not part of this layout.
struct Mpeg1VideoInfo {
  static constexpr std::size_t kHeaderSize = 96;
  VideoInfoHeader hdr;
  std::uint32_t startTimeCode = 0;
  std::vector<std::uint8_t> sequenceHeader;
  friend bool operator==(const Mpeg1VideoInfo&, const Mpeg1VideoInfo&) = default;
};

// MPEG2VIDEOINFO: VIDEOINFOHEADER2, dwStartTimeCode, cbSequenceHeader, dwProfile, dwLevel,
// dwFlags, then the sequence header bytes; the block is 132 + cbSequenceHeader bytes.
struct Mpeg2VideoInfo {
  static constexpr std::size_t kHeaderSize = 132;
  VideoInfoHeader2 hdr;
  std::uint32_t startTimeCode = 0;
  std::uint32_t profile = 0;
  std::uint32_t level = 0;
  std::uint32_t flags = 0;
  std::vector<std::uint8_t> sequenceHeader;
  friend bool operator==(const Mpeg2VideoInfo&, const Mpeg2VideoInfo&) = default;
};

// WAVEFORMATEX (18 bytes) followed by cbSize bytes, kept in `extra`.
struct WaveFormatEx {
  static constexpr std::size_t kSize = 18;
  std::uint16_t formatTag = 0;
  std::uint16_t channels = 0;
  std::uint32_t samplesPerSec = 0;
  std::uint32_t avgBytesPerSec = 0;
  std::uint16_t blockAlign = 0;
  std::uint16_t bitsPerSample = 0;
  std::vector<std::uint8_t> extra;
  friend bool operator==(const WaveFormatEx&, const WaveFormatEx&) = default;
};

// The 22 bytes that MPEG1WAVEFORMAT adds to WAVEFORMATEX (tag 0x50).
struct Mpeg1WaveExtra {
  static constexpr std::size_t kSize = 22;
  std::uint16_t headLayer = 0;  // ACM_MPEG_LAYER1 1, LAYER2 2, LAYER3 4
  std::uint32_t headBitrate = 0;
  std::uint16_t headMode = 0;  // STEREO 1, JOINTSTEREO 2, DUALCHANNEL 4, SINGLECHANNEL 8
  std::uint16_t headModeExt = 0;
  std::uint16_t headEmphasis = 1;
  std::uint16_t headFlags = 0;  // ID_MPEG1 0x10, ...
  std::uint32_t ptsLow = 0;
  std::uint32_t ptsHigh = 0;
  friend bool operator==(const Mpeg1WaveExtra&, const Mpeg1WaveExtra&) = default;
};

// The 12 bytes that MPEGLAYER3WAVEFORMAT adds to WAVEFORMATEX (tag 0x55).
struct MpegLayer3WaveExtra {
  static constexpr std::size_t kSize = 12;
  std::uint16_t id = 1;     // MPEGLAYER3_ID_MPEG
  std::uint32_t flags = 2;  // MPEGLAYER3_FLAG_PADDING_OFF
  std::uint16_t blockSize = 0;
  std::uint16_t framesPerBlock = 1;
  std::uint16_t codecDelay = 0;
  friend bool operator==(const MpegLayer3WaveExtra&, const MpegLayer3WaveExtra&) = default;
};

// The 22 bytes that WAVEFORMATEXTENSIBLE adds to WAVEFORMATEX (tag 0xFFFE).
struct ExtensibleWaveExtra {
  static constexpr std::size_t kSize = 22;
  std::uint16_t validBitsPerSample = 0;
  std::uint32_t channelMask = 0;
  Guid subFormat;
  friend bool operator==(const ExtensibleWaveExtra&, const ExtensibleWaveExtra&) = default;
};

// Writers. The result is empty when a variable part is too large for its length field.
std::vector<std::uint8_t> WriteVideoInfoHeader(const VideoInfoHeader& vih);
std::vector<std::uint8_t> WriteMpeg1VideoInfo(const Mpeg1VideoInfo& info);
std::vector<std::uint8_t> WriteMpeg2VideoInfo(const Mpeg2VideoInfo& info);
std::vector<std::uint8_t> WriteWaveFormatEx(const WaveFormatEx& wfx);

std::vector<std::uint8_t> WriteMpeg1WaveExtra(const Mpeg1WaveExtra& extra);
std::vector<std::uint8_t> WriteMpegLayer3WaveExtra(const MpegLayer3WaveExtra& extra);
std::vector<std::uint8_t> WriteExtensibleWaveExtra(const ExtensibleWaveExtra& extra);
// MS ADPCM: wSamplesPerBlock, wNumCoef and the seven standard coefficient pairs.
std::vector<std::uint8_t> WriteMsAdpcmWaveExtra(std::uint16_t samplesPerBlock);
// IMA ADPCM: wSamplesPerBlock.
std::vector<std::uint8_t> WriteImaAdpcmWaveExtra(std::uint16_t samplesPerBlock);

// Readers: nothing when the block is shorter than its fixed part or its length fields
// (biSize, cbSequenceHeader, cbSize) claim more bytes than the block holds. Bytes after
// the described structure are ignored.
std::optional<VideoInfoHeader> ReadVideoInfoHeader(std::span<const std::uint8_t> block);
std::optional<Mpeg1VideoInfo> ReadMpeg1VideoInfo(std::span<const std::uint8_t> block);
std::optional<Mpeg2VideoInfo> ReadMpeg2VideoInfo(std::span<const std::uint8_t> block);
std::optional<WaveFormatEx> ReadWaveFormatEx(std::span<const std::uint8_t> block);

std::optional<Mpeg1WaveExtra> ReadMpeg1WaveExtra(std::span<const std::uint8_t> extra);
std::optional<MpegLayer3WaveExtra> ReadMpegLayer3WaveExtra(std::span<const std::uint8_t> extra);
std::optional<ExtensibleWaveExtra> ReadExtensibleWaveExtra(std::span<const std::uint8_t> extra);

}  // namespace vantorel::protocol
