// What the page's /status tells a browser about the reception: the state in one word, the
// sentence the receiver's window shows for it, the sender, and the figures of the page (viewers,
// their limit, where a relay server stands). Fed by the reception's events on the reception
// thread; read on the main thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "receiver/reception.h"
#include "receiver/reception_status.h"

namespace vantorel::web {

// The status sentences, each with its %1 (and %2) still in it.
struct StatusTexts {
  std::string waiting = "Waiting for a broadcast on UDP port %1";
  std::string waitingFor = "Waiting for %1 on UDP port %2";
  std::string receiving = "Receiving from %1";
  std::string noSignal = "No signal from the sender for %1 s";
  std::string paused = "Paused by %1";
  std::string stopped = "Stopped by %1";
  std::string ended = "The broadcast has ended. Waiting for the next one.";
  std::string audioOnly = "Audio only";
  std::string cannotListen = "Cannot listen on UDP port %1: another program may be using it.";
};

// The texts of a language file (its [String] section maps each English text to the one
// shown); a text the file lacks, or leaves empty, stays English. A missing file: all English.
StatusTexts LoadStatusTexts(const std::filesystem::path& languageFile);
// The English language file of the running program: <program folder>/Language/English.ini.
std::filesystem::path EnglishLanguageFile();

// `text` with "%1" and "%2" replaced.
std::string Filled(std::string_view text, std::string_view first, std::string_view second = {});

// `text` as a JSON string, quotes included: quote, backslash and control characters escaped.
std::string JsonString(std::string_view text);

struct WebStatusOptions {
  std::uint16_t udpPort = 5937;  // told in the waiting sentence
  StatusTexts texts;
  std::size_t maxViewers = 20;
  std::string janusUrl;  // empty: no relay server
  int mountpoint = 0;
  // The time of events and of the document; tests set their own.
  std::function<receiver::ReceptionStatus::Clock::time_point()> now =
      receiver::ReceptionStatus::Clock::now;
};

class WebStatus : public receiver::ReceptionEvents {
 public:
  using Clock = receiver::ReceptionStatus::Clock;

  explicit WebStatus(WebStatusOptions options);

  // Called on the reception thread.
  void OnEndOfBroadcast() override;
  void OnSenderChanged(const net::Endpoint& sender) override;
  void OnChoiceApplied(const net::Endpoint& chosen) override;
  void OnHeard(const net::Endpoint& sender) override;

  // The /status document for the reception as `view` shows it. Any thread.
  std::string Json(const receiver::ReceptionView& view, std::size_t viewers);

 private:
  struct Said {
    std::string_view state;
    std::string text;
  };
  Said Say(const receiver::StatusLine& line, const receiver::ReceptionView& view) const;

  const WebStatusOptions options_;
  std::mutex lock_;
  receiver::ReceptionStatus status_;  // under lock_
};

}  // namespace vantorel::web
