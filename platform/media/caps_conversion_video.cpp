// Video caps to VIDEOINFOHEADER / MPEG1VIDEOINFO / MPEG2VIDEOINFO media types and back.
#include "platform/media/caps_conversion_internal.h"
#include "protocol/format_blocks.h"
#include "protocol/media_codes.h"

#include <gst/riff/riff-media.h>
#include <gst/video/video.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <numeric>

namespace vantorel::media::detail {
namespace {

using protocol::BitmapInfoHeader;
using protocol::Guid;
using protocol::MakeFourcc;
using protocol::MediaType;
using protocol::VideoInfoHeader;
namespace guids = protocol::guids;

constexpr std::int64_t kUnitsPerSecond = 10'000'000;  // 100 ns units
// Caps take picture sides up to G_MAXINT, but a side beyond this is a broken header, not a
// picture any decoder here handles.
constexpr int kMaxPictureSide = 32768;
constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiBitfields = 3;

enum class Compression : std::uint8_t { kIntraOnly, kTemporal };

// Compressed video carried in VIDEOINFOHEADER with a FOURCC subtype. A null version field
// matches any caps of that name.
struct FourccVideo {
  const char* capsName;
  const char* versionField;
  int version;
  std::uint32_t fourcc;
  Compression compression;
};

constexpr FourccVideo kFourccVideo[] = {
    {"image/jpeg", nullptr, 0, MakeFourcc('M', 'J', 'P', 'G'), Compression::kIntraOnly},
    {"video/mpeg", "mpegversion", 4, MakeFourcc('X', 'V', 'I', 'D'), Compression::kTemporal},
    {"video/x-xvid", nullptr, 0, MakeFourcc('X', 'V', 'I', 'D'), Compression::kTemporal},
    {"video/x-divx", "divxversion", 3, MakeFourcc('D', 'I', 'V', '3'), Compression::kTemporal},
    {"video/x-divx", "divxversion", 4, MakeFourcc('D', 'I', 'V', 'X'), Compression::kTemporal},
    {"video/x-divx", "divxversion", 5, MakeFourcc('D', 'X', '5', '0'), Compression::kTemporal},
    {"video/x-msmpeg", "msmpegversion", 41, MakeFourcc('M', 'P', 'G', '4'), Compression::kTemporal},
    {"video/x-msmpeg", "msmpegversion", 42, MakeFourcc('M', 'P', '4', '2'), Compression::kTemporal},
    {"video/x-msmpeg", "msmpegversion", 43, MakeFourcc('M', 'P', '4', '3'), Compression::kTemporal},
    {"video/x-h264", nullptr, 0, MakeFourcc('H', '2', '6', '4'), Compression::kTemporal},
    {"video/x-wmv", "wmvversion", 1, MakeFourcc('W', 'M', 'V', '1'), Compression::kTemporal},
    {"video/x-wmv", "wmvversion", 2, MakeFourcc('W', 'M', 'V', '2'), Compression::kTemporal},
    {"video/x-wmv", "wmvversion", 3, MakeFourcc('W', 'M', 'V', '3'), Compression::kTemporal},
    {"video/x-cinepak", nullptr, 0, MakeFourcc('c', 'v', 'i', 'd'), Compression::kTemporal},
    {"video/x-indeo", "indeoversion", 3, MakeFourcc('I', 'V', '3', '2'), Compression::kTemporal},
    {"video/x-indeo", "indeoversion", 4, MakeFourcc('I', 'V', '4', '1'), Compression::kTemporal},
    {"video/x-indeo", "indeoversion", 5, MakeFourcc('I', 'V', '5', '0'), Compression::kTemporal},
    {"video/x-msvideocodec", "msvideoversion", 1, MakeFourcc('M', 'S', 'V', 'C'),
     Compression::kTemporal},
    {"video/x-dv", nullptr, 0, MakeFourcc('d', 'v', 's', 'd'), Compression::kIntraOnly},
};

// Uncompressed video: described so that the grabber can refuse it by subtype.
struct RawVideo {
  const char* format;
  Guid subtype;
  std::uint16_t bitCount;
  std::uint32_t compression;
};

const RawVideo kRawVideo[] = {
    {"BGR", guids::kSubtypeRgb24, 24, kBiRgb},
    {"BGRx", guids::kSubtypeRgb32, 32, kBiRgb},
    {"BGRA", guids::kSubtypeArgb32, 32, kBiRgb},
    {"RGB16", guids::kSubtypeRgb565, 16, kBiBitfields},
    {"RGB15", guids::kSubtypeRgb555, 16, kBiRgb},
    {"RGB8P", guids::kSubtypeRgb8, 8, kBiRgb},
    {"YUY2", protocol::GuidFromFourcc(MakeFourcc('Y', 'U', 'Y', '2')), 16,
     MakeFourcc('Y', 'U', 'Y', '2')},
    {"UYVY", protocol::GuidFromFourcc(MakeFourcc('U', 'Y', 'V', 'Y')), 16,
     MakeFourcc('U', 'Y', 'V', 'Y')},
    {"YVYU", protocol::GuidFromFourcc(MakeFourcc('Y', 'V', 'Y', 'U')), 16,
     MakeFourcc('Y', 'V', 'Y', 'U')},
    {"YVU9", protocol::GuidFromFourcc(MakeFourcc('Y', 'V', 'U', '9')), 9,
     MakeFourcc('Y', 'V', 'U', '9')},
    {"I420", protocol::GuidFromFourcc(MakeFourcc('I', '4', '2', '0')), 12,
     MakeFourcc('I', '4', '2', '0')},
    {"YV12", protocol::GuidFromFourcc(MakeFourcc('Y', 'V', '1', '2')), 12,
     MakeFourcc('Y', 'V', '1', '2')},
    {"NV12", protocol::GuidFromFourcc(MakeFourcc('N', 'V', '1', '2')), 12,
     MakeFourcc('N', 'V', '1', '2')},
};

// Width, height, frame duration and bit rate read from video caps.
struct Picture {
  int width = 0;
  int height = 0;
  std::int64_t avgTimePerFrame = 0;
  std::uint32_t bitRate = 0;
};

bool IsPictureSide(int side) {
  return side >= 0 && side <= kMaxPictureSide;
}

// Nothing for a size no picture has (a broken file header); 0 stands for a size not stated.
std::optional<Picture> PictureOf(const GstStructure* s) {
  Picture p;
  p.width = IntField(s, "width", 0);
  p.height = IntField(s, "height", 0);
  if (!IsPictureSide(p.width) || !IsPictureSide(p.height)) return std::nullopt;
  int num = 0;
  int den = 0;
  if (gst_structure_get_fraction(s, "framerate", &num, &den) && num > 0 && den > 0) {
    p.avgTimePerFrame = kUnitsPerSecond * den / num;
  }
  p.bitRate = static_cast<std::uint32_t>(std::max(IntField(s, "bitrate", 0), 0));
  return p;
}

BitmapInfoHeader BitmapOf(const Picture& p, std::uint16_t bitCount, std::uint32_t compression) {
  BitmapInfoHeader bmi;
  bmi.width = p.width;
  bmi.height = p.height;
  bmi.bitCount = bitCount;
  bmi.compression = compression;
  // Sides are at most 2^15 and the bit count below 2^16: no overflow in 64 bits. An image
  // larger than the field holds is left unstated (0).
  const std::uint64_t bytes = std::uint64_t{static_cast<std::uint32_t>(p.width)} *
                              static_cast<std::uint32_t>(p.height) *
                              (bitCount == 0 ? 3u : bitCount) / 8u;
  bmi.sizeImage = bytes <= UINT32_MAX ? static_cast<std::uint32_t>(bytes) : 0;
  return bmi;
}

VideoInfoHeader VideoInfoOf(const Picture& p) {
  VideoInfoHeader vih;
  vih.bitRate = p.bitRate;
  vih.avgTimePerFrame = p.avgTimePerFrame;
  return vih;
}

MediaType VideoType(const Guid& subtype, const Guid& formatType) {
  MediaType type;
  type.majorType = guids::kMediaTypeVideo;
  type.subtype = subtype;
  type.formatType = formatType;
  return type;
}

bool Matches(const FourccVideo& entry, const GstStructure* s) {
  if (!gst_structure_has_name(s, entry.capsName)) return false;
  return entry.versionField == nullptr || IntField(s, entry.versionField, -1) == entry.version;
}

// The FOURCC that identifies the stream; WMV caps name theirs in "format" (WMV3, WVC1, WMVA).
std::uint32_t FourccOf(const FourccVideo& entry, const GstStructure* s) {
  const char* format = gst_structure_get_string(s, "format");
  if (gst_structure_has_name(s, "video/x-wmv") && format != nullptr && std::strlen(format) == 4) {
    return MakeFourcc(format[0], format[1], format[2], format[3]);
  }
  return entry.fourcc;
}

std::optional<MediaType> FourccVideoType(const FourccVideo& entry, const GstStructure* s) {
  if (gst_structure_has_name(s, "video/x-h264")) {
    const char* format = gst_structure_get_string(s, "stream-format");
    if (format != nullptr && std::strcmp(format, "byte-stream") != 0) return std::nullopt;
  }
  if (gst_structure_has_name(s, "video/x-dv") && gst_structure_has_field(s, "systemstream")) {
    gboolean system = FALSE;
    gst_structure_get_boolean(s, "systemstream", &system);
    if (system) return std::nullopt;
  }
  const auto p = PictureOf(s);
  if (!p) return std::nullopt;
  const std::uint32_t fourcc = FourccOf(entry, s);
  const int bpp = IntField(s, "bpp", 24);
  VideoInfoHeader vih = VideoInfoOf(*p);
  vih.bmiHeader = BitmapOf(*p, static_cast<std::uint16_t>(bpp), fourcc);
  vih.extra = BufferField(s, "codec_data");
  MediaType type = VideoType(protocol::GuidFromFourcc(fourcc), guids::kFormatVideoInfo);
  type.temporalCompression = entry.compression == Compression::kTemporal;
  type.formatBlock = protocol::WriteVideoInfoHeader(vih);
  return type;
}

std::optional<MediaType> RawVideoType(const GstStructure* s) {
  const char* format = gst_structure_get_string(s, "format");
  if (format == nullptr) return std::nullopt;
  for (const RawVideo& raw : kRawVideo) {
    if (std::strcmp(raw.format, format) != 0) continue;
    const auto p = PictureOf(s);
    if (!p) return std::nullopt;
    VideoInfoHeader vih = VideoInfoOf(*p);
    vih.bmiHeader = BitmapOf(*p, raw.bitCount, raw.compression);
    MediaType type = VideoType(raw.subtype, guids::kFormatVideoInfo);
    type.fixedSizeSamples = true;
    type.sampleSize = vih.bmiHeader.sizeImage;
    type.formatBlock = protocol::WriteVideoInfoHeader(vih);
    return type;
  }
  return std::nullopt;
}

// The bit rate that an MPEG sequence header states (18 bits, 400 bit/s units).
std::uint32_t SequenceHeaderBitRate(const std::vector<std::uint8_t>& header) {
  if (header.size() < 11) return 0;
  const std::uint32_t value = (std::uint32_t{header[8]} << 10) | (std::uint32_t{header[9]} << 2) |
                              (std::uint32_t{header[10]} >> 6);
  return value == 0x3FFFF ? 0 : value * 400;
}

std::optional<MediaType> Mpeg1VideoType(const GstStructure* s) {
  const auto p = PictureOf(s);
  if (!p) return std::nullopt;
  protocol::Mpeg1VideoInfo info;
  info.hdr = VideoInfoOf(*p);
  info.hdr.bmiHeader = BitmapOf(*p, 0, 0);
  info.hdr.bmiHeader.sizeImage = 0;
  info.sequenceHeader = BufferField(s, "codec_data");
  if (info.hdr.bitRate == 0) info.hdr.bitRate = SequenceHeaderBitRate(info.sequenceHeader);
  MediaType type = VideoType(guids::kSubtypeMpeg1Payload, guids::kFormatMpegVideo);
  type.temporalCompression = true;
  type.formatBlock = protocol::WriteMpeg1VideoInfo(info);
  return type;
}

// AM_MPEG2Profile and AM_MPEG2Level values for the caps' profile and level names.
std::uint32_t Mpeg2Code(const char* name, std::initializer_list<const char*> names) {
  if (name == nullptr) return 0;
  std::uint32_t code = 1;
  for (const char* known : names) {
    if (std::strcmp(known, name) == 0) return code;
    ++code;
  }
  return 0;
}

std::optional<MediaType> Mpeg2VideoType(const GstStructure* s) {
  const auto picture = PictureOf(s);
  if (!picture) return std::nullopt;
  const Picture& p = *picture;
  protocol::Mpeg2VideoInfo info;
  info.hdr.bitRate = p.bitRate;
  info.hdr.avgTimePerFrame = p.avgTimePerFrame;
  info.hdr.bmiHeader = BitmapOf(p, 0, 0);
  info.hdr.bmiHeader.sizeImage = 0;
  int parN = 1;
  int parD = 1;
  if (!gst_structure_get_fraction(s, "pixel-aspect-ratio", &parN, &parD) || parN <= 0 ||
      parD <= 0) {
    parN = parD = 1;
  }
  const std::uint64_t x = static_cast<std::uint64_t>(p.width) * static_cast<std::uint64_t>(parN);
  const std::uint64_t y = static_cast<std::uint64_t>(p.height) * static_cast<std::uint64_t>(parD);
  const std::uint64_t divisor = std::gcd(x, y);
  if (divisor != 0) {
    info.hdr.pictAspectRatioX = static_cast<std::uint32_t>(x / divisor);
    info.hdr.pictAspectRatioY = static_cast<std::uint32_t>(y / divisor);
  }
  info.sequenceHeader = BufferField(s, "codec_data");
  if (info.hdr.bitRate == 0) info.hdr.bitRate = SequenceHeaderBitRate(info.sequenceHeader);
  info.profile = Mpeg2Code(gst_structure_get_string(s, "profile"),
                           {"simple", "main", "snr", "spatial", "high"});
  info.level =
      Mpeg2Code(gst_structure_get_string(s, "level"), {"low", "main", "high-1440", "high"});
  MediaType type = VideoType(guids::kSubtypeMpeg2Video, guids::kFormatMpeg2Video);
  type.temporalCompression = true;
  type.formatBlock = protocol::WriteMpeg2VideoInfo(info);
  return type;
}

// Receiver direction.

// The longest frame duration (100 ns units) that is still a valid clock time in nanoseconds.
constexpr std::int64_t kLongestFrame = static_cast<std::int64_t>((GST_CLOCK_TIME_NONE - 1) / 100);

// A frame duration of zero, below zero or past the clock's range gives an unknown rate (0/1).
void SetFramerate(GstCaps* caps, std::int64_t avgTimePerFrame) {
  int num = 0;
  int den = 1;
  if (avgTimePerFrame > 0 && avgTimePerFrame <= kLongestFrame &&
      !gst_video_guess_framerate(static_cast<GstClockTime>(avgTimePerFrame) * 100, &num, &den)) {
    num = 0;
    den = 1;
  }
  gst_caps_set_simple(caps, "framerate", GST_TYPE_FRACTION, num, den, nullptr);
}

// A picture that caps can carry: both sides from 1 to kMaxPictureSide, the height either
// way up (a negative height is a top-down bitmap).
bool PlausiblePicture(const BitmapInfoHeader& bmi) {
  return bmi.width > 0 && bmi.width <= kMaxPictureSide && bmi.height != 0 &&
         bmi.height >= -kMaxPictureSide && bmi.height <= kMaxPictureSide;
}

CapsPtr MpegVideoCaps(int version, const BitmapInfoHeader& bmi, std::int64_t avgTimePerFrame,
                      std::span<const std::uint8_t> sequenceHeader) {
  if (!PlausiblePicture(bmi)) return nullptr;
  CapsPtr caps(gst_caps_new_simple("video/mpeg", "mpegversion", G_TYPE_INT, version, "systemstream",
                                   G_TYPE_BOOLEAN, FALSE, "width", G_TYPE_INT, bmi.width, "height",
                                   G_TYPE_INT, std::abs(bmi.height), nullptr));
  SetFramerate(caps.get(), avgTimePerFrame);
  SetCodecData(caps.get(), sequenceHeader);
  return caps;
}

CapsPtr Mpeg1VideoCaps(const MediaType& type) {
  const auto info = protocol::ReadMpeg1VideoInfo(type.formatBlock);
  if (!info) return nullptr;
  return MpegVideoCaps(1, info->hdr.bmiHeader, info->hdr.avgTimePerFrame, info->sequenceHeader);
}

CapsPtr Mpeg2VideoCaps(const MediaType& type) {
  const auto info = protocol::ReadMpeg2VideoInfo(type.formatBlock);
  if (!info) return nullptr;
  const protocol::VideoInfoHeader2& hdr = info->hdr;
  CapsPtr caps = MpegVideoCaps(2, hdr.bmiHeader, hdr.avgTimePerFrame, info->sequenceHeader);
  if (caps && hdr.pictAspectRatioX > 0 && hdr.pictAspectRatioY > 0) {
    int parN = 1;
    int parD = 1;
    const double par =
        (static_cast<double>(hdr.pictAspectRatioX) * std::abs(hdr.bmiHeader.height)) /
        (static_cast<double>(hdr.pictAspectRatioY) * hdr.bmiHeader.width);
    gst_util_double_to_fraction(par, &parN, &parD);
    gst_caps_set_simple(caps.get(), "pixel-aspect-ratio", GST_TYPE_FRACTION, parN, parD, nullptr);
  }
  return caps;
}

gst_riff_strf_vids StrfOf(const BitmapInfoHeader& bmi) {
  gst_riff_strf_vids strf{};
  strf.size = bmi.size;
  strf.width = static_cast<guint32>(bmi.width);
  strf.height = static_cast<guint32>(bmi.height);
  strf.planes = bmi.planes;
  strf.bit_cnt = bmi.bitCount;
  strf.compression = bmi.compression;
  strf.image_size = bmi.sizeImage;
  strf.xpels_meter = static_cast<guint32>(bmi.xPelsPerMeter);
  strf.ypels_meter = static_cast<guint32>(bmi.yPelsPerMeter);
  strf.num_colors = bmi.clrUsed;
  strf.imp_colors = bmi.clrImportant;
  return strf;
}

CapsPtr FourccVideoCaps(const MediaType& type) {
  const auto vih = protocol::ReadVideoInfoHeader(type.formatBlock);
  if (!vih || !PlausiblePicture(vih->bmiHeader)) return nullptr;
  gst_riff_strf_vids strf = StrfOf(vih->bmiHeader);
  BufferPtr extra = MakeBuffer(vih->extra);
  CapsPtr caps(gst_riff_create_video_caps(vih->bmiHeader.compression, nullptr, &strf, extra.get(),
                                          nullptr, nullptr));
  if (!caps) return nullptr;
  SetFramerate(caps.get(), vih->avgTimePerFrame);
  if (gst_structure_has_name(gst_caps_get_structure(caps.get(), 0), "video/x-h264")) {
    gst_caps_set_simple(caps.get(), "stream-format", G_TYPE_STRING, "byte-stream", nullptr);
  }
  return caps;
}

}  // namespace

std::optional<MediaType> VideoMediaTypeFromStructure(const GstStructure* s) {
  if (gst_structure_has_name(s, "video/mpeg")) {
    gboolean system = FALSE;
    if (gst_structure_get_boolean(s, "systemstream", &system) && system) return std::nullopt;
    const int version = IntField(s, "mpegversion", 0);
    if (version == 1) return Mpeg1VideoType(s);
    if (version == 2) return Mpeg2VideoType(s);
  }
  if (gst_structure_has_name(s, "video/x-raw")) return RawVideoType(s);
  for (const FourccVideo& entry : kFourccVideo) {
    if (Matches(entry, s)) return FourccVideoType(entry, s);
  }
  return std::nullopt;
}

CapsPtr VideoCapsFromMediaType(const MediaType& type) {
  if (type.formatType == guids::kFormatMpegVideo) return Mpeg1VideoCaps(type);
  if (type.formatType == guids::kFormatMpeg2Video) return Mpeg2VideoCaps(type);
  if (type.formatType == guids::kFormatVideoInfo) return FourccVideoCaps(type);
  return nullptr;
}

}  // namespace vantorel::media::detail
