#include "sender/open_error.h"

#include <algorithm>
#include <array>
#include <utility>

namespace vantorel::sender {
namespace {

constexpr std::string_view kLibav = "gstreamer1.0-libav";
constexpr std::string_view kBase = "gstreamer1.0-plugins-base";
constexpr std::string_view kGood = "gstreamer1.0-plugins-good";
constexpr std::string_view kBad = "gstreamer1.0-plugins-bad";
constexpr std::string_view kUgly = "gstreamer1.0-plugins-ugly";

// Which Debian package decodes or takes apart a media type, where one alone is the usual
// answer. MPEG types depend on their version and are answered in PackageForMissing.
constexpr std::array<std::pair<std::string_view, std::string_view>, 36> kPackages{{
    {"video/x-h264", kLibav},     {"video/x-h265", kLibav},
    {"video/x-divx", kLibav},     {"video/x-xvid", kLibav},
    {"video/x-msmpeg", kLibav},   {"video/x-wmv", kLibav},
    {"audio/x-wma", kLibav},      {"video/x-h263", kLibav},
    {"audio/x-ac3", kLibav},      {"audio/x-private1-ac3", kLibav},
    {"audio/x-eac3", kLibav},     {"audio/x-dts", kLibav},
    {"audio/x-alac", kLibav},     {"video/x-prores", kLibav},
    {"video/x-vp8", kGood},       {"video/x-vp9", kGood},
    {"audio/x-flac", kGood},      {"image/jpeg", kGood},
    {"image/png", kGood},         {"video/x-dv", kGood},
    {"audio/x-speex", kGood},     {"audio/x-wavpack", kGood},
    {"video/quicktime", kGood},   {"video/x-matroska", kGood},
    {"video/webm", kGood},        {"video/x-msvideo", kGood},
    {"application/x-id3", kGood}, {"audio/x-vorbis", kBase},
    {"audio/x-opus", kBase},      {"video/x-theora", kBase},
    {"application/ogg", kBase},   {"video/x-av1", kBad},
    {"video/mpegts", kBad},       {"video/x-ms-asf", kUgly},
    {"audio/x-amr-nb-sh", kUgly}, {"audio/x-amr-wb-sh", kUgly},
}};

// The integer a caps string gives a field ("mpegversion=(int)4"), or -1.
int IntField(std::string_view caps, std::string_view field) {
  std::size_t at = caps.find(field);
  if (at == std::string_view::npos) return -1;
  at = caps.find_first_of("0123456789", at + field.size());
  if (at == std::string_view::npos) return -1;
  int value = 0;
  while (at < caps.size() && caps[at] >= '0' && caps[at] <= '9') {
    value = value * 10 + (caps[at++] - '0');
  }
  return value;
}

// Each non-empty part once, in order, joined with ", ".
std::string Join(const std::vector<std::string>& parts) {
  std::vector<std::string_view> seen;
  std::string joined;
  for (const std::string& part : parts) {
    if (part.empty() || std::find(seen.begin(), seen.end(), part) != seen.end()) continue;
    seen.push_back(part);
    if (!joined.empty()) joined += ", ";
    joined += part;
  }
  return joined;
}

void Replace(std::string& text, std::string_view placeholder, const std::string& with) {
  if (const std::size_t at = text.find(placeholder); at != std::string::npos) {
    text.replace(at, placeholder.size(), with);
  }
}

}  // namespace

OpenError MakeOpenError(const Status& result, const OpenFindings& findings, bool streaming) {
  OpenError error;
  error.code = result.code();
  error.detail = findings.errorText.empty() ? result.message() : findings.errorText;
  error.missing = findings.missingDecoders;
  error.unknownType = findings.unknownType;
  error.liveDevice = findings.failedDevice;
  if (!streaming) error.codec = Join(findings.refusedCodecs);
  return error;
}

OpenFailure FailureOf(const OpenError& error) {
  if (error.liveDevice) {
    switch (*error.liveDevice) {
      case sender::LiveDevice::kScreen:
        return OpenFailure::kScreenRefused;
      case sender::LiveDevice::kCamera:
        return OpenFailure::kCameraFailed;
      case sender::LiveDevice::kMicrophone:
        return OpenFailure::kMicrophoneFailed;
    }
  }
  if (!error.missing.empty()) {
    const bool known = std::all_of(error.missing.begin(), error.missing.end(),
                                   [](const MissingDecoder& m) { return !m.package.empty(); });
    return known ? OpenFailure::kDecoderMissing : OpenFailure::kDecoderMissingNoPackage;
  }
  switch (error.code) {
    case MediaErrc::kFileNotFound:
      return OpenFailure::kNotFound;
    case MediaErrc::kAccessDenied:
      return OpenFailure::kNotReadable;
    case MediaErrc::kBadFileType:
      return OpenFailure::kNotAFile;
    default:
      break;
  }
  if (error.unknownType) return OpenFailure::kUnsupportedType;
  if (!error.codec.empty()) return OpenFailure::kCodecNotBroadcast;
  return OpenFailure::kNoPlayableStream;
}

std::string_view FailureText(OpenFailure failure) {
  switch (failure) {
    case OpenFailure::kNotFound:
      return "The file was not found.";
    case OpenFailure::kNotReadable:
      return "The file may not be read.";
    case OpenFailure::kNotAFile:
      return "It is not a regular file.";
    case OpenFailure::kUnsupportedType:
      return "Does not support this file type.";
    case OpenFailure::kCodecNotBroadcast:
      return "This codec cannot be broadcast: %1.";
    case OpenFailure::kDecoderMissing:
      return "A decoder is missing: %1. Install the package %2.";
    case OpenFailure::kDecoderMissingNoPackage:
      return "A decoder is missing: %1. No package is known to bring it.";
    case OpenFailure::kScreenRefused:
      return "The screen %1 cannot be captured: %2";
    case OpenFailure::kCameraFailed:
      return "The camera %1 cannot be opened: %2";
    case OpenFailure::kMicrophoneFailed:
      return "The microphone %1 cannot be opened: %2";
    case OpenFailure::kNoPlayableStream:
      break;
  }
  return "It holds no stream that can be played.";
}

std::string FillFailureText(std::string_view text, const OpenError& error) {
  std::vector<std::string> decoders;
  std::vector<std::string> packages;
  for (const MissingDecoder& m : error.missing) {
    decoders.push_back(m.description);
    packages.push_back(m.package);
  }
  std::string out(text);
  if (error.liveDevice) {
    // A device without a name (no display at all) leaves no gap in the sentence.
    if (error.deviceName.empty()) Replace(out, " %1", "");
    Replace(out, "%1", error.deviceName);
    std::string reason = error.detail.empty() ? std::string("it did not start") : error.detail;
    if (reason.back() != '.') reason += '.';
    Replace(out, "%2", reason);
    return out;
  }
  Replace(out, "%1", error.missing.empty() ? error.codec : Join(decoders));
  Replace(out, "%2", Join(packages));
  return out;
}

std::string FailureMessage(const OpenError& error) {
  return FillFailureText(FailureText(FailureOf(error)), error);
}

std::string PackageForMissing(std::string_view installerDetail) {
  std::string_view caps = installerDetail.substr(installerDetail.rfind('|') + 1);
  for (std::string_view kind : {"decoder-", "element-"}) {
    if (caps.starts_with(kind)) caps.remove_prefix(kind.size());
  }
  const std::string_view name = caps.substr(0, caps.find_first_of(", "));
  if (name == "video/mpeg") {
    if (caps.find("systemstream=(boolean)true") != std::string_view::npos) return std::string(kBad);
    return std::string(IntField(caps, "mpegversion") == 4 ? kLibav : kUgly);
  }
  if (name == "audio/mpeg") {
    return std::string(IntField(caps, "mpegversion") == 1 ? kGood : kLibav);
  }
  for (const auto& [type, package] : kPackages) {
    if (type == name) return std::string(package);
  }
  return {};
}

}  // namespace vantorel::sender
