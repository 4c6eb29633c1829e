#include "receiver/reception_status.h"

#include <cstdio>
#include <cstdlib>

#include "protocol/format_blocks.h"
#include "protocol/media_codes.h"

namespace vantorel::receiver {

void ReceptionStatus::OnDatagrams(const std::string& sender, Clock::time_point now) {
  if (!heard_ || sender != sender_) {
    heard_ = true;
    sender_ = sender;
    firstHeard_ = now;
  }
  ended_ = false;
  lastHeard_ = now;
}

void ReceptionStatus::OnEndOfBroadcast() {
  heard_ = false;
  ended_ = true;
  audioOnly_ = false;
}

void ReceptionStatus::OnWaiting() {
  heard_ = false;
  ended_ = false;
  audioOnly_ = false;
}

void ReceptionStatus::OnSenderChanged(const std::string& sender, Clock::time_point now) {
  heard_ = false;
  audioOnly_ = false;
  OnDatagrams(sender, now);
}

void ReceptionStatus::SetSendersOnAir(int count, Clock::time_point now) {
  if (count > sendersOnAir_ && count > 1) moreSendersAt_ = now;
  sendersOnAir_ = count;
}

StatusLine ReceptionStatus::Current(Clock::time_point now) const {
  StatusLine line = Line(now);
  line.sendersOnAir = sendersOnAir_;
  return line;
}

StatusLine ReceptionStatus::Line(Clock::time_point now) const {
  if (!heard_) {
    if (ended_) return StatusLine{StatusKind::kEnded, {}, 0};
    return StatusLine{StatusKind::kWaiting, waitingFor_, 0};
  }
  const auto silence = now - lastHeard_;
  // A sender that said why it is silent is not a fault.
  if (announced_ && announced_->state != protocol::SenderState::kPlaying &&
      silence >= kQuietAfter) {
    const bool paused = announced_->state == protocol::SenderState::kPaused;
    return StatusLine{paused ? StatusKind::kPaused : StatusKind::kStopped, announced_->name, 0};
  }
  if (silence >= kNoSignalAfter) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(silence);
    return StatusLine{StatusKind::kNoSignal, {}, static_cast<int>(seconds.count())};
  }
  if (hover_ || statistics_) return StatusLine{StatusKind::kStatistics, sender_, 0};
  const bool moreSenders = sendersOnAir_ > 1 && now - moreSendersAt_ < kShowSender;
  if (now - firstHeard_ < kShowSender || moreSenders) {
    return StatusLine{StatusKind::kReceiving, sender_, 0};
  }
  if (audioOnly_) return StatusLine{StatusKind::kAudioOnly, {}, 0};
  return {};
}

void BitRateMeter::Sample(Clock::time_point now, std::uint64_t totalBytes) {
  if (!samples_.empty() && totalBytes < samples_.back().second) samples_.clear();
  samples_.emplace_back(now, totalBytes);
  while (samples_.size() > 2 && now - samples_[1].first >= kSpan) samples_.pop_front();
}

double BitRateMeter::BitsPerSecond() const {
  if (samples_.size() < 2) return 0;
  const auto span = std::chrono::duration<double>(samples_.back().first - samples_.front().first);
  if (span.count() <= 0) return 0;
  return 8.0 * static_cast<double>(samples_.back().second - samples_.front().second) / span.count();
}

namespace {

std::string Printed(const char* format, auto... args) {
  char text[96];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}

// The subtype's FOURCC when it is one of printable characters.
std::string FourccName(const protocol::Guid& subtype) {
  if (!(subtype == protocol::GuidFromFourcc(subtype.data1))) return {};
  std::string name;
  for (int shift = 0; shift < 32; shift += 8) {
    const char c = static_cast<char>((subtype.data1 >> shift) & 0xFF);
    if (c < 0x20 || c > 0x7E) return {};
    name += c;
  }
  while (!name.empty() && name.back() == ' ') name.pop_back();
  return name;
}

std::string VideoName(const protocol::Guid& subtype) {
  namespace guids = protocol::guids;
  if (subtype == guids::kSubtypeMpeg1Payload || subtype == guids::kSubtypeMpeg1Packet) {
    return "MPEG-1";
  }
  if (subtype == guids::kSubtypeMpeg2Video) return "MPEG-2";
  if (subtype == guids::kSubtypeRgb8 || subtype == guids::kSubtypeRgb565 ||
      subtype == guids::kSubtypeRgb555 || subtype == guids::kSubtypeRgb24 ||
      subtype == guids::kSubtypeRgb32 || subtype == guids::kSubtypeArgb32) {
    return "RGB";
  }
  const std::string fourcc = FourccName(subtype);
  return fourcc.empty() ? "video" : fourcc;
}

std::string AudioName(std::uint16_t tag) {
  namespace tags = protocol::wave_tags;
  switch (tag) {
    case tags::kPcm:
      return "PCM";
    case tags::kIeeeFloat:
      return "PCM float";
    case tags::kMsAdpcm:
    case tags::kImaAdpcm:
      return "ADPCM";
    case tags::kALaw:
      return "A-law";
    case tags::kMuLaw:
      return "mu-law";
    case tags::kMpeg:
      return "MPEG audio";
    case tags::kMpegLayer3:
      return "MP3";
    case tags::kRawAac:
      return "AAC";
    case tags::kWma1:
    case tags::kWma2:
    case tags::kWma3:
      return "WMA";
    case tags::kExtensible:
      return "PCM";
    default:
      return Printed("audio 0x%04X", unsigned{tag});
  }
}

std::string VideoFigures(const protocol::VideoInfoHeader& vih) {
  std::string out;
  if (vih.bmiHeader.width > 0 && vih.bmiHeader.height != 0) {
    out += Printed(" %dx%d", vih.bmiHeader.width, std::abs(vih.bmiHeader.height));
  }
  if (vih.avgTimePerFrame > 0) {
    out += Printed(" %.3g fps", 1e7 / static_cast<double>(vih.avgTimePerFrame));
  }
  return out;
}

std::optional<protocol::VideoInfoHeader> VideoHeaderOf(const protocol::FormatRecord& record) {
  const protocol::Guid format = protocol::FormatTypeGuid(record.formatCode);
  if (format == protocol::guids::kFormatVideoInfo)
    return protocol::ReadVideoInfoHeader(record.formatBlock);
  if (format == protocol::guids::kFormatMpegVideo) {
    if (auto info = protocol::ReadMpeg1VideoInfo(record.formatBlock)) return info->hdr;
  }
  if (format == protocol::guids::kFormatMpeg2Video) {
    if (auto info = protocol::ReadMpeg2VideoInfo(record.formatBlock)) {
      protocol::VideoInfoHeader vih;
      vih.avgTimePerFrame = info->hdr.avgTimePerFrame;
      vih.bmiHeader = info->hdr.bmiHeader;
      return vih;
    }
  }
  return std::nullopt;
}

}  // namespace

std::string DescribeFormat(const protocol::FormatRecord& record) {
  const protocol::Guid major = protocol::MajorTypeGuid(record.majorCode);
  if (major == protocol::guids::kMediaTypeAudio) {
    const auto wave = protocol::ReadWaveFormatEx(record.formatBlock);
    if (!wave) return "audio";
    std::string out = AudioName(wave->formatTag);
    if (wave->samplesPerSec > 0) out += Printed(" %u Hz", unsigned{wave->samplesPerSec});
    if (wave->channels > 0) out += Printed(" %u ch", unsigned{wave->channels});
    return out;
  }
  if (major == protocol::guids::kMediaTypeVideo) {
    std::string out = VideoName(record.subtype);
    if (const auto vih = VideoHeaderOf(record)) out += VideoFigures(*vih);
    return out;
  }
  const std::string fourcc = FourccName(record.subtype);
  return fourcc.empty() ? "data" : fourcc;
}

}  // namespace vantorel::receiver
