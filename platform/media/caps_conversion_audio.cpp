// Audio caps to WAVEFORMATEX media types (and its MPEG, MP3, WMA, ADPCM and extensible forms)
// and back.
#include "platform/media/caps_conversion_internal.h"
#include "protocol/format_blocks.h"
#include "protocol/media_codes.h"

#include <gst/audio/audio.h>
#include <gst/riff/riff-media.h>

#include <algorithm>
#include <cstring>

namespace vantorel::media::detail {
namespace {

using protocol::MediaType;
using protocol::WaveFormatEx;
namespace guids = protocol::guids;
namespace tags = protocol::wave_tags;

// Caps take rates and channel counts up to G_MAXINT; beyond these a format is a broken header,
// not a stream any decoder here plays. The byte rate must leave a bit rate that fits a caps int.
constexpr int kMaxSampleRate = 768'000;
constexpr int kMaxChannels = 64;
constexpr std::uint32_t kMaxAvgBytesPerSec = G_MAXINT / 8;

// Raw audio formats that WAVEFORMATEX expresses, with their tag and sample width.
struct WaveRaw {
  const char* format;
  std::uint16_t tag;
  std::uint16_t bits;
};

constexpr WaveRaw kWaveRaw[] = {
    {"U8", tags::kPcm, 8},     {"S16LE", tags::kPcm, 16},       {"S24LE", tags::kPcm, 24},
    {"S32LE", tags::kPcm, 32}, {"F32LE", tags::kIeeeFloat, 32}, {"F64LE", tags::kIeeeFloat, 64},
};

// Compressed audio: caps name, optional version field and value, and the builder of the
// wave format for it.
using WaveBuilder = std::optional<WaveFormatEx> (*)(const GstStructure* s);

struct CompressedAudio {
  const char* capsName;
  const char* versionField;
  int version;
  WaveBuilder build;
};

// A count from the caps within 1..limit; 0 (refused by Valid) when absent or outside.
int CountField(const GstStructure* s, const char* field, int limit) {
  const int value = IntField(s, field, 0);
  return value > 0 && value <= limit ? value : 0;
}

// The stated bit rate; 0 (not stated) for a negative one.
std::uint32_t BitrateField(const GstStructure* s) {
  return static_cast<std::uint32_t>(std::max(IntField(s, "bitrate", 0), 0));
}

WaveFormatEx BaseWave(const GstStructure* s, std::uint16_t tag) {
  WaveFormatEx wfx;
  wfx.formatTag = tag;
  wfx.channels = static_cast<std::uint16_t>(CountField(s, "channels", kMaxChannels));
  wfx.samplesPerSec = static_cast<std::uint32_t>(CountField(s, "rate", kMaxSampleRate));
  return wfx;
}

// Both directions: the sender maps no stream that a receiver would refuse.
bool Valid(const WaveFormatEx& wfx) {
  return wfx.channels > 0 && wfx.channels <= kMaxChannels && wfx.samplesPerSec > 0 &&
         wfx.samplesPerSec <= static_cast<std::uint32_t>(kMaxSampleRate) &&
         wfx.avgBytesPerSec <= kMaxAvgBytesPerSec;
}

std::optional<WaveFormatEx> G711Wave(const GstStructure* s, std::uint16_t tag) {
  WaveFormatEx wfx = BaseWave(s, tag);
  if (!Valid(wfx)) return std::nullopt;
  wfx.bitsPerSample = 8;
  wfx.blockAlign = wfx.channels;
  wfx.avgBytesPerSec = wfx.samplesPerSec * wfx.channels;
  return wfx;
}

std::optional<WaveFormatEx> ALawWave(const GstStructure* s) {
  return G711Wave(s, tags::kALaw);
}
std::optional<WaveFormatEx> MuLawWave(const GstStructure* s) {
  return G711Wave(s, tags::kMuLaw);
}

// MS ADPCM (layout "microsoft") and IMA ADPCM (layout "dvi"): 4-bit samples in blocks.
std::optional<WaveFormatEx> AdpcmWave(const GstStructure* s) {
  const char* layout = gst_structure_get_string(s, "layout");
  const bool ms = layout != nullptr && std::strcmp(layout, "microsoft") == 0;
  const bool ima = layout != nullptr && std::strcmp(layout, "dvi") == 0;
  WaveFormatEx wfx = BaseWave(s, ms ? tags::kMsAdpcm : tags::kImaAdpcm);
  const int blockAlign = IntField(s, "block_align", 0);
  if (!(ms || ima) || !Valid(wfx) || blockAlign <= 0 || blockAlign > 0xFFFF) return std::nullopt;
  const int headerBytes = (ms ? 7 : 4) * wfx.channels;
  if (blockAlign <= headerBytes) return std::nullopt;
  const int samplesPerBlock = (blockAlign - headerBytes) * 2 / wfx.channels + (ms ? 2 : 1);
  if (samplesPerBlock > 0xFFFF) return std::nullopt;  // the extra bytes' field is 16 bits
  wfx.blockAlign = static_cast<std::uint16_t>(blockAlign);
  wfx.bitsPerSample = 4;
  wfx.avgBytesPerSec = static_cast<std::uint32_t>(static_cast<std::uint64_t>(wfx.samplesPerSec) *
                                                  blockAlign / samplesPerBlock);
  wfx.extra = BufferField(s, "codec_data");
  if (wfx.extra.empty()) {
    const auto spb = static_cast<std::uint16_t>(samplesPerBlock);
    wfx.extra = ms ? protocol::WriteMsAdpcmWaveExtra(spb) : protocol::WriteImaAdpcmWaveExtra(spb);
  }
  return wfx;
}

std::uint16_t MpegMode(int channels) {
  return channels == 1 ? 8 : 1;
}

// MPEG audio layers 1 and 2 (MPEG1WAVEFORMAT) and layer 3 (MPEGLAYER3WAVEFORMAT).
std::optional<WaveFormatEx> MpegAudioWave(const GstStructure* s) {
  const int layer = IntField(s, "layer", 0);
  if (layer < 1 || layer > 3) return std::nullopt;
  WaveFormatEx wfx = BaseWave(s, layer == 3 ? tags::kMpegLayer3 : tags::kMpeg);
  if (!Valid(wfx)) return std::nullopt;
  const std::uint32_t bitrate = BitrateField(s);
  wfx.avgBytesPerSec = bitrate / 8;
  wfx.blockAlign = 1;
  if (layer == 3) {
    protocol::MpegLayer3WaveExtra extra;
    if (bitrate > 0) {
      extra.blockSize = static_cast<std::uint16_t>(144ull * bitrate / wfx.samplesPerSec);
    }
    wfx.extra = protocol::WriteMpegLayer3WaveExtra(extra);
    return wfx;
  }
  wfx.bitsPerSample = 0;
  protocol::Mpeg1WaveExtra extra;
  extra.headLayer = static_cast<std::uint16_t>(layer == 1 ? 1 : 2);
  extra.headBitrate = bitrate;
  extra.headMode = MpegMode(wfx.channels);
  const bool mpeg1 = IntField(s, "mpegaudioversion", 1) == 1;
  extra.headFlags = mpeg1 ? 0x10 : 0;
  wfx.extra = protocol::WriteMpeg1WaveExtra(extra);
  return wfx;
}

// AAC: raw with its AudioSpecificConfig as extra bytes, or ADTS without.
std::optional<WaveFormatEx> AacWave(const GstStructure* s) {
  const char* format = gst_structure_get_string(s, "stream-format");
  const bool raw = format != nullptr && std::strcmp(format, "raw") == 0;
  const bool adts = format == nullptr || std::strcmp(format, "adts") == 0;
  WaveFormatEx wfx = BaseWave(s, tags::kRawAac);
  if (!(raw || adts) || !Valid(wfx)) return std::nullopt;
  wfx.avgBytesPerSec = BitrateField(s) / 8;
  wfx.blockAlign = 1;
  wfx.bitsPerSample = 16;
  if (raw) {
    wfx.extra = BufferField(s, "codec_data");
    if (wfx.extra.empty()) return std::nullopt;
  }
  return wfx;
}

std::optional<WaveFormatEx> WmaWave(const GstStructure* s) {
  const int version = IntField(s, "wmaversion", 0);
  WaveFormatEx wfx = BaseWave(s, static_cast<std::uint16_t>(tags::kWma1 + version - 1));
  const int blockAlign = IntField(s, "block_align", 0);
  if (!Valid(wfx) || blockAlign <= 0 || blockAlign > 0xFFFF) return std::nullopt;
  wfx.blockAlign = static_cast<std::uint16_t>(blockAlign);
  wfx.avgBytesPerSec = BitrateField(s) / 8;
  wfx.bitsPerSample = static_cast<std::uint16_t>(IntField(s, "depth", 16));
  wfx.extra = BufferField(s, "codec_data");
  return wfx;
}

constexpr CompressedAudio kCompressedAudio[] = {
    {"audio/mpeg", "mpegversion", 1, MpegAudioWave}, {"audio/mpeg", "mpegversion", 2, AacWave},
    {"audio/mpeg", "mpegversion", 4, AacWave},       {"audio/x-alaw", nullptr, 0, ALawWave},
    {"audio/x-mulaw", nullptr, 0, MuLawWave},        {"audio/x-adpcm", nullptr, 0, AdpcmWave},
    {"audio/x-wma", "wmaversion", 1, WmaWave},       {"audio/x-wma", "wmaversion", 2, WmaWave},
    {"audio/x-wma", "wmaversion", 3, WmaWave},
};

// Interleaved little-endian PCM or float; WAVEFORMATEXTENSIBLE beyond two channels, so that
// the channel layout travels.
std::optional<WaveFormatEx> RawWave(const GstStructure* s, const WaveRaw& raw) {
  WaveFormatEx wfx = BaseWave(s, raw.tag);
  if (!Valid(wfx)) return std::nullopt;
  wfx.bitsPerSample = raw.bits;
  wfx.blockAlign = static_cast<std::uint16_t>(wfx.channels * raw.bits / 8);
  wfx.avgBytesPerSec = wfx.samplesPerSec * wfx.blockAlign;
  if (wfx.channels > 2) {
    protocol::ExtensibleWaveExtra extra;
    extra.validBitsPerSample = raw.bits;
    extra.subFormat = protocol::GuidFromFourcc(raw.tag);
    guint64 mask = 0;
    if (gst_structure_get(s, "channel-mask", GST_TYPE_BITMASK, &mask, nullptr)) {
      extra.channelMask = static_cast<std::uint32_t>(mask);
    }
    wfx.formatTag = tags::kExtensible;
    wfx.extra = protocol::WriteExtensibleWaveExtra(extra);
  }
  return wfx;
}

const WaveRaw* FindWaveRaw(const GstStructure* s) {
  const char* format = gst_structure_get_string(s, "format");
  const char* layout = gst_structure_get_string(s, "layout");
  if (format == nullptr || (layout != nullptr && std::strcmp(layout, "interleaved") != 0)) {
    return nullptr;
  }
  for (const WaveRaw& raw : kWaveRaw) {
    if (std::strcmp(raw.format, format) == 0) return &raw;
  }
  return nullptr;
}

MediaType AudioType(const WaveFormatEx& wfx, std::uint16_t subtypeTag) {
  MediaType type;
  type.majorType = guids::kMediaTypeAudio;
  type.subtype = protocol::GuidFromFourcc(subtypeTag);
  type.formatType = guids::kFormatWaveFormatEx;
  type.formatBlock = protocol::WriteWaveFormatEx(wfx);
  return type;
}

// Receiver direction.

CapsPtr MpegAudioCaps(const WaveFormatEx& wfx) {
  int layer = wfx.formatTag == tags::kMpegLayer3 ? 3 : 2;
  if (wfx.formatTag == tags::kMpeg) {
    const auto extra = protocol::ReadMpeg1WaveExtra(wfx.extra);
    if (extra && extra->headLayer == 1) layer = 1;
    if (extra && extra->headLayer == 4) layer = 3;
  }
  return CapsPtr(gst_caps_new_simple("audio/mpeg", "mpegversion", G_TYPE_INT, 1, "layer",
                                     G_TYPE_INT, layer, "rate", G_TYPE_INT,
                                     static_cast<int>(wfx.samplesPerSec), "channels", G_TYPE_INT,
                                     static_cast<int>(wfx.channels), nullptr));
}

CapsPtr AacCaps(const WaveFormatEx& wfx) {
  CapsPtr caps(gst_caps_new_simple("audio/mpeg", "mpegversion", G_TYPE_INT, 4, "stream-format",
                                   G_TYPE_STRING, wfx.extra.empty() ? "adts" : "raw", "rate",
                                   G_TYPE_INT, static_cast<int>(wfx.samplesPerSec), "channels",
                                   G_TYPE_INT, static_cast<int>(wfx.channels), nullptr));
  SetCodecData(caps.get(), wfx.extra);
  return caps;
}

CapsPtr RiffAudioCaps(const WaveFormatEx& wfx) {
  gst_riff_strf_auds strf{};
  strf.format = wfx.formatTag;
  strf.channels = wfx.channels;
  strf.rate = wfx.samplesPerSec;
  strf.av_bps = wfx.avgBytesPerSec;
  strf.blockalign = wfx.blockAlign;
  strf.bits_per_sample = wfx.bitsPerSample;
  BufferPtr extra = MakeBuffer(wfx.extra);
  return CapsPtr(gst_riff_create_audio_caps(wfx.formatTag, nullptr, &strf, extra.get(), nullptr,
                                            nullptr, nullptr));
}

}  // namespace

std::optional<MediaType> AudioMediaTypeFromStructure(const GstStructure* s) {
  if (gst_structure_has_name(s, "audio/x-raw")) {
    const WaveRaw* raw = FindWaveRaw(s);
    if (raw == nullptr) return std::nullopt;
    const auto wfx = RawWave(s, *raw);
    if (!wfx || !Valid(*wfx)) return std::nullopt;
    MediaType type = AudioType(*wfx, raw->tag);
    type.fixedSizeSamples = true;
    type.sampleSize = wfx->blockAlign;
    return type;
  }
  for (const CompressedAudio& entry : kCompressedAudio) {
    if (!gst_structure_has_name(s, entry.capsName)) continue;
    if (entry.versionField != nullptr && IntField(s, entry.versionField, -1) != entry.version) {
      continue;
    }
    const auto wfx = entry.build(s);
    if (!wfx || !Valid(*wfx)) return std::nullopt;
    MediaType type = AudioType(*wfx, wfx->formatTag);
    const bool blocked = wfx->formatTag == tags::kMsAdpcm || wfx->formatTag == tags::kImaAdpcm ||
                         wfx->formatTag == tags::kALaw || wfx->formatTag == tags::kMuLaw;
    type.fixedSizeSamples = blocked;
    type.sampleSize = blocked ? wfx->blockAlign : 0;
    return type;
  }
  return std::nullopt;
}

bool IsWaveRawCaps(const GstStructure* s) {
  return FindWaveRaw(s) != nullptr;
}

CapsPtr AudioCapsFromMediaType(const MediaType& type) {
  if (type.formatType != guids::kFormatWaveFormatEx) return nullptr;
  const auto wfx = protocol::ReadWaveFormatEx(type.formatBlock);
  if (!wfx || !Valid(*wfx)) return nullptr;
  switch (wfx->formatTag) {
    case tags::kMpeg:
    case tags::kMpegLayer3:
      return MpegAudioCaps(*wfx);
    case tags::kRawAac:
      return AacCaps(*wfx);
    default:
      return RiffAudioCaps(*wfx);
  }
}

}  // namespace vantorel::media::detail
