#include "protocol/format_blocks.h"

#include "protocol/byte_io.h"

#include <array>
#include <limits>

namespace vantorel::protocol {
namespace {

// Offset of the BITMAPINFOHEADER inside VIDEOINFOHEADER.
constexpr std::size_t kVihBitmapOffset = 48;

// The standard MS ADPCM coefficient pairs.
constexpr std::array<std::array<std::int16_t, 2>, 7> kMsAdpcmCoefficients{{
    {256, 0},
    {512, -256},
    {0, 0},
    {192, 64},
    {240, 0},
    {460, -208},
    {392, -232},
}};

void WriteRect(ByteWriter& w, const Rect& r) {
  w.I32(r.left);
  w.I32(r.top);
  w.I32(r.right);
  w.I32(r.bottom);
}

Rect ReadRect(ByteReader& r) {
  Rect rect;
  rect.left = r.I32();
  rect.top = r.I32();
  rect.right = r.I32();
  rect.bottom = r.I32();
  return rect;
}

void WriteBitmapInfoHeader(ByteWriter& w, const BitmapInfoHeader& b) {
  w.U32(b.size);
  w.I32(b.width);
  w.I32(b.height);
  w.U16(b.planes);
  w.U16(b.bitCount);
  w.U32(b.compression);
  w.U32(b.sizeImage);
  w.I32(b.xPelsPerMeter);
  w.I32(b.yPelsPerMeter);
  w.U32(b.clrUsed);
  w.U32(b.clrImportant);
}

BitmapInfoHeader ReadBitmapInfoHeader(ByteReader& r) {
  BitmapInfoHeader b;
  b.size = r.U32();
  b.width = r.I32();
  b.height = r.I32();
  b.planes = r.U16();
  b.bitCount = r.U16();
  b.compression = r.U32();
  b.sizeImage = r.U32();
  b.xPelsPerMeter = r.I32();
  b.yPelsPerMeter = r.I32();
  b.clrUsed = r.U32();
  b.clrImportant = r.U32();
  return b;
}

// Fields shared by VIDEOINFOHEADER and VIDEOINFOHEADER2 up to AvgTimePerFrame.
template <typename Header>
void WriteVideoHead(ByteWriter& w, const Header& h) {
  WriteRect(w, h.source);
  WriteRect(w, h.target);
  w.U32(h.bitRate);
  w.U32(h.bitErrorRate);
  w.I64(h.avgTimePerFrame);
}

template <typename Header>
void ReadVideoHead(ByteReader& r, Header& h) {
  h.source = ReadRect(r);
  h.target = ReadRect(r);
  h.bitRate = r.U32();
  h.bitErrorRate = r.U32();
  h.avgTimePerFrame = r.I64();
}

void WriteVideoInfoHeader2(ByteWriter& w, const VideoInfoHeader2& h) {
  WriteVideoHead(w, h);
  w.U32(h.interlaceFlags);
  w.U32(h.copyProtectFlags);
  w.U32(h.pictAspectRatioX);
  w.U32(h.pictAspectRatioY);
  w.U32(h.controlFlags);
  w.U32(h.reserved2);
  WriteBitmapInfoHeader(w, h.bmiHeader);
}

VideoInfoHeader2 ReadVideoInfoHeader2(ByteReader& r) {
  VideoInfoHeader2 h;
  ReadVideoHead(r, h);
  h.interlaceFlags = r.U32();
  h.copyProtectFlags = r.U32();
  h.pictAspectRatioX = r.U32();
  h.pictAspectRatioY = r.U32();
  h.controlFlags = r.U32();
  h.reserved2 = r.U32();
  h.bmiHeader = ReadBitmapInfoHeader(r);
  return h;
}

bool FitsLengthField(std::size_t size, std::size_t max) {
  return size <= max;
}

std::vector<std::uint8_t> ToVector(std::span<const std::uint8_t> bytes) {
  return {bytes.begin(), bytes.end()};
}

}  // namespace

std::vector<std::uint8_t> WriteVideoInfoHeader(const VideoInfoHeader& vih) {
  if (!FitsLengthField(vih.extra.size(), kMaxFormatBlockSize)) return {};
  std::vector<std::uint8_t> out(VideoInfoHeader::kSize + vih.extra.size());
  ByteWriter w(out);
  WriteVideoHead(w, vih);
  BitmapInfoHeader bmi = vih.bmiHeader;
  bmi.size = static_cast<std::uint32_t>(BitmapInfoHeader::kSize + vih.extra.size());
  WriteBitmapInfoHeader(w, bmi);
  w.Bytes(vih.extra);
  return out;
}

std::optional<VideoInfoHeader> ReadVideoInfoHeader(std::span<const std::uint8_t> block) {
  if (block.size() < VideoInfoHeader::kSize || block.size() > kMaxFormatBlockSize) return {};
  ByteReader r(block);
  VideoInfoHeader vih;
  ReadVideoHead(r, vih);
  vih.bmiHeader = ReadBitmapInfoHeader(r);
  const std::uint32_t biSize = vih.bmiHeader.size;
  if (!r.Ok() || biSize < BitmapInfoHeader::kSize || biSize > block.size() - kVihBitmapOffset) {
    return {};
  }
  vih.extra = ToVector(r.Bytes(r.Remaining()));
  return vih;
}

std::vector<std::uint8_t> WriteMpeg1VideoInfo(const Mpeg1VideoInfo& info) {
  if (!FitsLengthField(info.sequenceHeader.size(), kMaxFormatBlockSize)) return {};
  std::vector<std::uint8_t> out(Mpeg1VideoInfo::kHeaderSize + info.sequenceHeader.size());
  ByteWriter w(out);
  WriteVideoHead(w, info.hdr);
  BitmapInfoHeader bmi = info.hdr.bmiHeader;
  bmi.size = BitmapInfoHeader::kSize;
  WriteBitmapInfoHeader(w, bmi);
  w.U32(info.startTimeCode);
  w.U32(static_cast<std::uint32_t>(info.sequenceHeader.size()));
  w.Bytes(info.sequenceHeader);
  return out;
}

std::optional<Mpeg1VideoInfo> ReadMpeg1VideoInfo(std::span<const std::uint8_t> block) {
  if (block.size() < Mpeg1VideoInfo::kHeaderSize || block.size() > kMaxFormatBlockSize) {
    return {};
  }
  ByteReader r(block);
  Mpeg1VideoInfo info;
  ReadVideoHead(r, info.hdr);
  info.hdr.bmiHeader = ReadBitmapInfoHeader(r);
  info.startTimeCode = r.U32();
  const std::uint32_t length = r.U32();
  if (!r.Ok() || length > r.Remaining()) return {};
  info.sequenceHeader = ToVector(r.Bytes(length));
  return info;
}

std::vector<std::uint8_t> WriteMpeg2VideoInfo(const Mpeg2VideoInfo& info) {
  if (!FitsLengthField(info.sequenceHeader.size(), kMaxFormatBlockSize)) return {};
  std::vector<std::uint8_t> out(Mpeg2VideoInfo::kHeaderSize + info.sequenceHeader.size());
  ByteWriter w(out);
  WriteVideoInfoHeader2(w, info.hdr);
  w.U32(info.startTimeCode);
  w.U32(static_cast<std::uint32_t>(info.sequenceHeader.size()));
  w.U32(info.profile);
  w.U32(info.level);
  w.U32(info.flags);
  w.Bytes(info.sequenceHeader);
  return out;
}

std::optional<Mpeg2VideoInfo> ReadMpeg2VideoInfo(std::span<const std::uint8_t> block) {
  if (block.size() < Mpeg2VideoInfo::kHeaderSize || block.size() > kMaxFormatBlockSize) {
    return {};
  }
  ByteReader r(block);
  Mpeg2VideoInfo info;
  info.hdr = ReadVideoInfoHeader2(r);
  info.startTimeCode = r.U32();
  const std::uint32_t length = r.U32();
  info.profile = r.U32();
  info.level = r.U32();
  info.flags = r.U32();
  if (!r.Ok() || length > r.Remaining()) return {};
  info.sequenceHeader = ToVector(r.Bytes(length));
  return info;
}

std::vector<std::uint8_t> WriteWaveFormatEx(const WaveFormatEx& wfx) {
  if (!FitsLengthField(wfx.extra.size(), std::numeric_limits<std::uint16_t>::max())) return {};
  std::vector<std::uint8_t> out(WaveFormatEx::kSize + wfx.extra.size());
  ByteWriter w(out);
  w.U16(wfx.formatTag);
  w.U16(wfx.channels);
  w.U32(wfx.samplesPerSec);
  w.U32(wfx.avgBytesPerSec);
  w.U16(wfx.blockAlign);
  w.U16(wfx.bitsPerSample);
  w.U16(static_cast<std::uint16_t>(wfx.extra.size()));
  w.Bytes(wfx.extra);
  return out;
}

std::optional<WaveFormatEx> ReadWaveFormatEx(std::span<const std::uint8_t> block) {
  if (block.size() < WaveFormatEx::kSize) return {};
  ByteReader r(block);
  WaveFormatEx wfx;
  wfx.formatTag = r.U16();
  wfx.channels = r.U16();
  wfx.samplesPerSec = r.U32();
  wfx.avgBytesPerSec = r.U32();
  wfx.blockAlign = r.U16();
  wfx.bitsPerSample = r.U16();
  const std::uint16_t length = r.U16();
  if (!r.Ok() || length > r.Remaining()) return {};
  wfx.extra = ToVector(r.Bytes(length));
  return wfx;
}

std::vector<std::uint8_t> WriteMpeg1WaveExtra(const Mpeg1WaveExtra& e) {
  std::vector<std::uint8_t> out(Mpeg1WaveExtra::kSize);
  ByteWriter w(out);
  w.U16(e.headLayer);
  w.U32(e.headBitrate);
  w.U16(e.headMode);
  w.U16(e.headModeExt);
  w.U16(e.headEmphasis);
  w.U16(e.headFlags);
  w.U32(e.ptsLow);
  w.U32(e.ptsHigh);
  return out;
}

std::optional<Mpeg1WaveExtra> ReadMpeg1WaveExtra(std::span<const std::uint8_t> extra) {
  if (extra.size() < Mpeg1WaveExtra::kSize) return {};
  ByteReader r(extra);
  Mpeg1WaveExtra e;
  e.headLayer = r.U16();
  e.headBitrate = r.U32();
  e.headMode = r.U16();
  e.headModeExt = r.U16();
  e.headEmphasis = r.U16();
  e.headFlags = r.U16();
  e.ptsLow = r.U32();
  e.ptsHigh = r.U32();
  return e;
}

std::vector<std::uint8_t> WriteMpegLayer3WaveExtra(const MpegLayer3WaveExtra& e) {
  std::vector<std::uint8_t> out(MpegLayer3WaveExtra::kSize);
  ByteWriter w(out);
  w.U16(e.id);
  w.U32(e.flags);
  w.U16(e.blockSize);
  w.U16(e.framesPerBlock);
  w.U16(e.codecDelay);
  return out;
}

std::optional<MpegLayer3WaveExtra> ReadMpegLayer3WaveExtra(std::span<const std::uint8_t> extra) {
  if (extra.size() < MpegLayer3WaveExtra::kSize) return {};
  ByteReader r(extra);
  MpegLayer3WaveExtra e;
  e.id = r.U16();
  e.flags = r.U32();
  e.blockSize = r.U16();
  e.framesPerBlock = r.U16();
  e.codecDelay = r.U16();
  return e;
}

std::vector<std::uint8_t> WriteExtensibleWaveExtra(const ExtensibleWaveExtra& e) {
  std::vector<std::uint8_t> out(ExtensibleWaveExtra::kSize);
  ByteWriter w(out);
  w.U16(e.validBitsPerSample);
  w.U32(e.channelMask);
  w.Bytes(e.subFormat.ToBytes());
  return out;
}

std::optional<ExtensibleWaveExtra> ReadExtensibleWaveExtra(std::span<const std::uint8_t> extra) {
  if (extra.size() < ExtensibleWaveExtra::kSize) return {};
  ByteReader r(extra);
  ExtensibleWaveExtra e;
  e.validBitsPerSample = r.U16();
  e.channelMask = r.U32();
  e.subFormat = Guid::FromBytes(r.Bytes(Guid::kSize));
  return e;
}

std::vector<std::uint8_t> WriteMsAdpcmWaveExtra(std::uint16_t samplesPerBlock) {
  std::vector<std::uint8_t> out(4 + 4 * kMsAdpcmCoefficients.size());
  ByteWriter w(out);
  w.U16(samplesPerBlock);
  w.U16(static_cast<std::uint16_t>(kMsAdpcmCoefficients.size()));
  for (const auto& pair : kMsAdpcmCoefficients) {
    w.U16(static_cast<std::uint16_t>(pair[0]));
    w.U16(static_cast<std::uint16_t>(pair[1]));
  }
  return out;
}

std::vector<std::uint8_t> WriteImaAdpcmWaveExtra(std::uint16_t samplesPerBlock) {
  std::vector<std::uint8_t> out(2);
  ByteWriter w(out);
  w.U16(samplesPerBlock);
  return out;
}

}  // namespace vantorel::protocol
