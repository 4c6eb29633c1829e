#include "sender/grabber_policy.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>

#include "protocol/byte_io.h"
#include "protocol/media_codes.h"

namespace vantorel::sender {

namespace {

using protocol::Guid;
using protocol::GuidFromFourcc;

constexpr std::uint32_t Fourcc(char a, char b, char c, char d) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(a)) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(d)) << 24;
}

// The RGB family shares one base GUID, differing in the first field.
constexpr Guid RgbSubtype(std::uint32_t data1) {
  return Guid{data1, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
}
constexpr Guid VideoPortSubtype(std::uint32_t data1) {
  return Guid{data1, 0x1A22, 0x11D1, {0xBA, 0xD9, 0x00, 0x60, 0x97, 0x44, 0x11, 0x1A}};
}

constexpr std::array kRefusedVideoSubtypes{
    GuidFromFourcc(Fourcc('Y', 'V', 'U', '9')),
    GuidFromFourcc(Fourcc('Y', '4', '1', '1')),
    GuidFromFourcc(Fourcc('Y', '4', '1', 'P')),
    GuidFromFourcc(Fourcc('Y', 'U', 'Y', '2')),
    GuidFromFourcc(Fourcc('Y', 'V', 'Y', 'U')),
    GuidFromFourcc(Fourcc('U', 'Y', 'V', 'Y')),
    GuidFromFourcc(Fourcc('Y', '2', '1', '1')),
    GuidFromFourcc(Fourcc('C', 'L', 'J', 'R')),
    GuidFromFourcc(Fourcc('I', 'F', '0', '9')),
    GuidFromFourcc(Fourcc('C', 'P', 'L', 'A')),
    RgbSubtype(0xE436EB78),                                                              // RGB1
    RgbSubtype(0xE436EB79),                                                              // RGB4
    RgbSubtype(0xE436EB7A),                                                              // RGB8
    RgbSubtype(0xE436EB7B),                                                              // RGB565
    RgbSubtype(0xE436EB7C),                                                              // RGB555
    RgbSubtype(0xE436EB7D),                                                              // RGB24
    RgbSubtype(0xE436EB7E),                                                              // RGB32
    Guid{0x773C9AC0, 0x3274, 0x11D0, {0xB7, 0x24, 0x00, 0xAA, 0x00, 0x6C, 0x1A, 0x01}},  // ARGB32
    RgbSubtype(0xE436EB7F),                                                              // Overlay
    GuidFromFourcc(Fourcc('d', 'v', 's', 'd')),
    GuidFromFourcc(Fourcc('d', 'v', 'h', 'd')),
    GuidFromFourcc(Fourcc('d', 'v', 's', 'l')),
    VideoPortSubtype(0x5A9B6A40),  // VPVideo
    VideoPortSubtype(0x5A9B6A41),  // VPVBI
};

// Without downstream advice the grabber describes one buffer that holds the largest sample
// the stream can have: for video a picture at 4 bytes per pixel (no frame of the compressed
// formats carried here is larger than the uncompressed picture it codes), for audio one second
// of the stream (no demuxer hands out longer chunks), and never less than 64 KiB. A stream
// whose format block tells neither gets 1 MiB.
constexpr std::int64_t kMinimumBufferSize = 64 * 1024;
constexpr std::int64_t kUnknownBufferSize = 1024 * 1024;
constexpr std::int64_t kVideoBytesPerPixel = 4;
constexpr std::int64_t kMaximumBufferSize = std::numeric_limits<std::int32_t>::max();
// Offsets of the picture size in the video info headers, and of the average byte rate in the
// wave format.
constexpr std::size_t kVideoInfoWidthOffset = 48 + 4;
constexpr std::size_t kVideoInfo2WidthOffset = 72 + 4;
constexpr std::size_t kWaveAverageBytesOffset = 8;

std::int64_t ReadI32At(const std::vector<std::uint8_t>& block, std::size_t offset) {
  if (block.size() < offset + 4) return 0;
  return static_cast<std::int32_t>(protocol::LoadU32(block.data() + offset));
}

// The picture at the width offset, at 4 bytes per pixel; 0 without a width or height. Both
// sides are 32-bit, so the pixel count fits; a count too large for any buffer gives the largest
// buffer before the bytes could overflow.
std::int64_t PictureBytes(const std::vector<std::uint8_t>& block, std::size_t widthOffset) {
  const std::int64_t width = ReadI32At(block, widthOffset);
  const std::int64_t height = std::abs(ReadI32At(block, widthOffset + 4));
  if (width <= 0) return 0;
  const std::int64_t pixels = width * height;
  if (pixels > kMaximumBufferSize / kVideoBytesPerPixel) return kMaximumBufferSize;
  return pixels * kVideoBytesPerPixel;
}

std::int64_t LargestSample(const protocol::MediaType& type) {
  namespace g = protocol::guids;
  const auto& block = type.formatBlock;
  std::int64_t size = 0;
  if (type.formatType == g::kFormatVideoInfo || type.formatType == g::kFormatMpegVideo) {
    size = PictureBytes(block, kVideoInfoWidthOffset);
  } else if (type.formatType == g::kFormatVideoInfo2 || type.formatType == g::kFormatMpeg2Video) {
    size = PictureBytes(block, kVideoInfo2WidthOffset);
  } else if (type.formatType == g::kFormatWaveFormatEx) {
    size = ReadI32At(block, kWaveAverageBytesOffset);
  }
  if (size <= 0) size = kUnknownBufferSize;
  size = std::max<std::int64_t>({size, kMinimumBufferSize, type.sampleSize});
  return std::min(size, kMaximumBufferSize);
}

}  // namespace

HRESULT CheckInputType(protocol::StreamKind kind, const protocol::MediaType& type) {
  namespace g = protocol::guids;
  if (kind == protocol::StreamKind::kAudio) {
    return type.majorType == g::kMediaTypeAudio ? S_OK : E_INVALIDARG;
  }
  if (type.majorType != g::kMediaTypeVideo) return E_INVALIDARG;
  const bool refused = std::find(kRefusedVideoSubtypes.begin(), kRefusedVideoSubtypes.end(),
                                 type.subtype) != kRefusedVideoSubtypes.end();
  return refused ? E_FAIL : S_OK;
}

protocol::SampleProperties MakeSampleProperties(const BufferFacts& facts,
                                                std::int64_t segmentBase) {
  protocol::SampleProperties p;
  if (!facts.deltaUnit) p.sampleFlags |= protocol::kSampleSplicePoint;
  if (facts.discontinuity) p.sampleFlags |= protocol::kSampleDataDiscontinuity;
  if (facts.start) {
    p.sampleFlags |= protocol::kSampleTimeValid;
    p.start = *facts.start + segmentBase;
    if (facts.stop) {
      p.sampleFlags |= protocol::kSampleStopValid;
      p.stop = *facts.stop + segmentBase;
    }
  }
  p.actualLength = facts.actualLength;
  p.bufferSize = facts.bufferSize;
  return p;
}

protocol::AllocatorProperties FallbackAllocatorProperties(const protocol::MediaType& type) {
  protocol::AllocatorProperties a;
  a.buffers = 1;
  a.bufferSize = static_cast<std::int32_t>(LargestSample(type));
  a.alignment = 1;
  a.prefix = 0;
  return a;
}

}  // namespace vantorel::sender
