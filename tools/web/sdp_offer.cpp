#include "tools/web/sdp_offer.h"

#include <array>
#include <charconv>
#include <map>
#include <optional>
#include <vector>

namespace vantorel::web {
namespace {

// H.264 profiles taken, the most wanted first: constrained baseline, baseline, main.
constexpr std::array<std::string_view, 3> kH264Profiles{"42e01f", "42001f", "4d001f"};
// Rank of another profile of the baseline or main family; those of other families are not taken.
constexpr int kOtherProfileRank = static_cast<int>(kH264Profiles.size());

struct Section {
  std::string media;                      // "audio", "video", ...
  std::vector<int> formats;               // payload types of the m= line
  std::map<int, std::string> encodings;   // payload type -> "H264/90000", lower case
  std::map<int, std::string> parameters;  // payload type -> its fmtp parameters
  std::string mid;
};

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string Lowered(std::string_view text) {
  std::string lowered(text);
  for (char& c : lowered) c = Lower(c);
  return lowered;
}

std::optional<int> PayloadType(std::string_view text) {
  int value = -1;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 0 || value > 127) {
    return std::nullopt;
  }
  return value;
}

std::vector<std::string_view> Words(std::string_view text) {
  std::vector<std::string_view> words;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t space = text.find(' ', at);
    const std::size_t end = space == std::string_view::npos ? text.size() : space;
    if (end > at) words.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return words;
}

// "a=rtpmap:96 H264/90000" -> (96, "h264/90000"); the same shape for fmtp.
std::optional<std::pair<int, std::string_view>> Attribute(std::string_view value) {
  const std::size_t space = value.find(' ');
  if (space == std::string_view::npos) return std::nullopt;
  const auto type = PayloadType(value.substr(0, space));
  if (!type) return std::nullopt;
  return std::make_pair(*type, value.substr(space + 1));
}

// The value of `name` in "level-asymmetry-allowed=1;packetization-mode=1;...".
std::string Parameter(std::string_view parameters, std::string_view name) {
  for (std::string_view rest = parameters; !rest.empty();) {
    const std::size_t semicolon = rest.find(';');
    std::string_view item = rest.substr(0, semicolon);
    rest = semicolon == std::string_view::npos ? std::string_view() : rest.substr(semicolon + 1);
    while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
    const std::size_t equals = item.find('=');
    if (equals != std::string_view::npos && Lowered(item.substr(0, equals)) == name) {
      return Lowered(item.substr(equals + 1));
    }
  }
  return {};
}

int ProfileRank(const std::string& profileLevelId) {
  for (std::size_t i = 0; i < kH264Profiles.size(); ++i) {
    if (profileLevelId == kH264Profiles[i]) return static_cast<int>(i);
  }
  if (profileLevelId.size() == 6 &&
      (profileLevelId.starts_with("42") || profileLevelId.starts_with("4d"))) {
    return kOtherProfileRank;
  }
  return -1;
}

// The offer split into lines, each checked for the "x=value" form.
std::optional<std::vector<std::string_view>> Lines(std::string_view sdp, std::string& error) {
  std::vector<std::string_view> lines;
  std::size_t at = 0;
  while (at < sdp.size()) {
    std::size_t end = sdp.find('\n', at);
    if (end == std::string_view::npos) end = sdp.size();
    std::string_view line = sdp.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    at = end + 1;
    if (line.find('\r') != std::string_view::npos) {
      error = "a bare carriage return";
      return std::nullopt;
    }
    if (line.size() < 2 || line[0] < 'a' || line[0] > 'z' || line[1] != '=') {
      error = "a line not of the form x=value";
      return std::nullopt;
    }
    if (lines.size() == kMaxOfferLines) {
      error = "too many lines";
      return std::nullopt;
    }
    lines.push_back(line);
  }
  return lines;
}

std::optional<Section> MediaLine(std::string_view value) {
  const std::vector<std::string_view> words = Words(value);
  if (words.size() < 4) return std::nullopt;
  Section section;
  section.media = Lowered(words[0]);
  for (std::size_t i = 3; i < words.size(); ++i) {
    if (const auto type = PayloadType(words[i])) section.formats.push_back(*type);
  }
  return section;
}

void ReadAttribute(std::string_view value, Section& section) {
  if (value.starts_with("mid:")) {
    section.mid = std::string(value.substr(4));
  } else if (value.starts_with("rtpmap:")) {
    if (const auto a = Attribute(value.substr(7))) section.encodings[a->first] = Lowered(a->second);
  } else if (value.starts_with("fmtp:")) {
    if (const auto a = Attribute(value.substr(5))) section.parameters[a->first] = a->second;
  }
}

void ReadVideo(const Section& section, OfferCodecs& codecs) {
  int bestRank = -1;
  for (const int type : section.formats) {
    const auto encoding = section.encodings.find(type);
    if (encoding == section.encodings.end() || encoding->second != "h264/90000") continue;
    const auto parameters = section.parameters.find(type);
    if (parameters == section.parameters.end()) continue;  // packetization mode 0
    if (Parameter(parameters->second, "packetization-mode") != "1") continue;
    const std::string profile = Parameter(parameters->second, "profile-level-id");
    const int rank = ProfileRank(profile);
    if (rank < 0 || (bestRank >= 0 && rank >= bestRank)) continue;
    bestRank = rank;
    codecs.h264Payload = type;
    codecs.h264ProfileLevelId = profile;
  }
}

void ReadAudio(const Section& section, OfferCodecs& codecs) {
  for (const int type : section.formats) {
    const auto encoding = section.encodings.find(type);
    if (encoding != section.encodings.end() && encoding->second == "opus/48000/2") {
      codecs.opusPayload = type;
      return;
    }
  }
}

OfferCheck Refused(std::string error) {
  OfferCheck check;
  check.error = std::move(error);
  return check;
}

}  // namespace

OfferCheck ReadOffer(std::string_view sdp) {
  if (sdp.empty()) return Refused("an empty offer");
  if (sdp.size() > kMaxOfferSize) return Refused("an offer over 64 KB");
  if (sdp.find('\0') != std::string_view::npos) return Refused("a NUL byte in the offer");
  std::string error;
  const auto lines = Lines(sdp, error);
  if (!lines) return Refused(std::move(error));
  if (lines->empty() || (*lines)[0] != "v=0") return Refused("no v=0 first");

  std::vector<Section> sections;
  for (const std::string_view line : *lines) {
    const std::string_view value = line.substr(2);
    if (line[0] == 'm') {
      auto section = MediaLine(value);
      if (!section) return Refused("a malformed m= line");
      sections.push_back(std::move(*section));
    } else if (line[0] == 'a' && !sections.empty()) {
      ReadAttribute(value, sections.back());
    }
  }

  OfferCheck check;
  bool video = false;
  bool audio = false;
  for (const Section& section : sections) {
    if (section.media == "video" && !video) {
      video = true;
      check.codecs.videoMid = section.mid;
      ReadVideo(section, check.codecs);
      if (check.codecs.h264Payload < 0) return Refused("no H.264 with packetization mode 1");
    } else if (section.media == "audio" && !audio) {
      audio = true;
      check.codecs.audioMid = section.mid;
      ReadAudio(section, check.codecs);
      if (check.codecs.opusPayload < 0) return Refused("no Opus at 48 kHz");
    }
  }
  if (!video && !audio) return Refused("no audio or video section");
  check.ok = true;
  return check;
}

}  // namespace vantorel::web
