#include "tools/web/web_status.h"

#include <cstdio>
#include <optional>
#include <utility>

#include "platform/profile/profile.h"
#include "platform/profile/program_folder.h"

namespace vantorel::web {
namespace {

constexpr char kStringSection[] = "String";

void Translate(const profile::IniText& file, std::string& text) {
  const std::optional<std::string> shown = file.Lookup(kStringSection, text);
  if (shown && !shown->empty()) text = *shown;
}

}  // namespace

StatusTexts LoadStatusTexts(const std::filesystem::path& languageFile) {
  StatusTexts texts;
  const std::optional<profile::IniText> file = profile::ReadIniFile(languageFile);
  if (!file) return texts;
  for (std::string* text :
       {&texts.waiting, &texts.waitingFor, &texts.receiving, &texts.noSignal, &texts.paused,
        &texts.stopped, &texts.ended, &texts.audioOnly, &texts.cannotListen}) {
    Translate(*file, *text);
  }
  return texts;
}

std::filesystem::path EnglishLanguageFile() {
  return profile::ProgramFolder() / "Language" / "English.ini";
}

std::string Filled(std::string_view text, std::string_view first, std::string_view second) {
  std::string filled;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size() && (text[i + 1] == '1' || text[i + 1] == '2')) {
      filled += text[i + 1] == '1' ? first : second;
      ++i;
    } else {
      filled += text[i];
    }
  }
  return filled;
}

std::string JsonString(std::string_view text) {
  std::string json = "\"";
  for (const char c : text) {
    switch (c) {
      case '"':
        json += "\\\"";
        break;
      case '\\':
        json += "\\\\";
        break;
      case '\n':
        json += "\\n";
        break;
      case '\r':
        json += "\\r";
        break;
      case '\t':
        json += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
          json += escaped;
        } else {
          json += c;  // UTF-8 bytes pass as they are
        }
    }
  }
  return json + '"';
}

WebStatus::WebStatus(WebStatusOptions options) : options_(std::move(options)) {}

void WebStatus::OnEndOfBroadcast() {
  const std::lock_guard hold(lock_);
  status_.OnEndOfBroadcast();
}

void WebStatus::OnSenderChanged(const net::Endpoint& sender) {
  const std::lock_guard hold(lock_);
  status_.OnSenderChanged(sender.ToString(), options_.now());
}

void WebStatus::OnChoiceApplied(const net::Endpoint&) {
  const std::lock_guard hold(lock_);
  status_.OnWaiting();
}

void WebStatus::OnHeard(const net::Endpoint& sender) {
  const std::lock_guard hold(lock_);
  status_.OnDatagrams(sender.ToString(), options_.now());
}

std::string WebStatus::Json(const receiver::ReceptionView& view, std::size_t viewers) {
  const Clock::time_point now = options_.now();
  receiver::StatusLine line;
  {
    const std::lock_guard hold(lock_);
    status_.SetAudioOnly(view.audioOnly);
    status_.SetAnnounced(view.announced ? std::optional<receiver::ReceptionStatus::Announced>(
                                              {view.announced->announcement.name,
                                               view.announced->announcement.state})
                                        : std::nullopt);
    status_.SetWaitingFor(view.chosen ? view.chosen->announcement.name : std::string());
    status_.SetSendersOnAir(static_cast<int>(view.senders.size()), now);
    line = status_.Current(now);
  }
  Said said = Say(line, view);
  if (!view.listening) {
    said = {"waiting", Filled(options_.texts.cannotListen, std::to_string(options_.udpPort))};
  }
  std::string sender;
  if (view.announced) {
    sender = view.announced->announcement.name;
  } else if (view.sender) {
    sender = view.sender->ToString();
  }
  return "{\"state\":" + JsonString(said.state) + ",\"text\":" + JsonString(said.text) +
         ",\"sender\":" + JsonString(sender) + ",\"viewers\":" + std::to_string(viewers) +
         ",\"maxViewers\":" + std::to_string(options_.maxViewers) +
         ",\"janus\":" + JsonString(options_.janusUrl) +
         ",\"mountpoint\":" + std::to_string(options_.mountpoint) + "}";
}

WebStatus::Said WebStatus::Say(const receiver::StatusLine& line,
                               const receiver::ReceptionView& view) const {
  const StatusTexts& texts = options_.texts;
  const std::string port = std::to_string(options_.udpPort);
  switch (line.kind) {
    case receiver::StatusKind::kNone:
      break;
    case receiver::StatusKind::kWaiting:
      if (line.sender.empty()) return {"waiting", Filled(texts.waiting, port)};
      return {"waiting", Filled(texts.waitingFor, line.sender, port)};
    case receiver::StatusKind::kReceiving:
    case receiver::StatusKind::kStatistics: {
      // The sender's name beside its address when it announces itself, as the window shows it.
      const std::string shown = view.announced
                                    ? view.announced->announcement.name + " (" + line.sender + ")"
                                    : line.sender;
      return {"receiving", Filled(texts.receiving, shown)};
    }
    case receiver::StatusKind::kNoSignal:
      return {"no-signal", Filled(texts.noSignal, std::to_string(line.silentSeconds))};
    case receiver::StatusKind::kPaused:
      return {"paused", Filled(texts.paused, line.sender)};
    case receiver::StatusKind::kStopped:
      return {"stopped", Filled(texts.stopped, line.sender)};
    case receiver::StatusKind::kEnded:
      return {"ended", texts.ended};
    case receiver::StatusKind::kAudioOnly:
      return {"audio-only", texts.audioOnly};
  }
  return {"playing", {}};
}

}  // namespace vantorel::web
