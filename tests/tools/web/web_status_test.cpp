#include "tools/web/web_status.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

namespace vantorel::web {
namespace {

using namespace std::chrono_literals;
using Clock = WebStatus::Clock;

constexpr net::Endpoint kSender{0xC0A80105u, 5937};  // 192.168.1.5

receiver::HeardSender Announced(std::string name, protocol::SenderState state) {
  receiver::HeardSender sender;
  sender.announcement.name = std::move(name);
  sender.announcement.state = state;
  return sender;
}

class WebStatusTest : public testing::Test {
 protected:
  WebStatusOptions Options() {
    WebStatusOptions options;
    options.udpPort = 5937;
    options.maxViewers = 20;
    options.janusUrl = "http://relay:8088/janus";
    options.mountpoint = 7;
    options.now = [this] { return now_; };
    return options;
  }

  std::string Json(std::size_t viewers = 0) { return status_.Json(view_, viewers); }

  Clock::time_point now_ = Clock::time_point() + 1000s;
  receiver::ReceptionView view_ = [] {
    receiver::ReceptionView view;
    view.listening = true;
    return view;
  }();
  WebStatus status_{Options()};
};

struct StateCase {
  const char* name;
  std::function<void(WebStatusTest&, WebStatus&, receiver::ReceptionView&)> drive;
  const char* json;  // the state, text and sender fields
};

class WebStatusStateTest : public WebStatusTest, public testing::WithParamInterface<StateCase> {
 public:
  void Advance(std::chrono::milliseconds by) { now_ += by; }
};

TEST_P(WebStatusStateTest, SaysWhatTheWindowSays) {
  GetParam().drive(*this, status_, view_);
  const std::string json = Json(3);
  EXPECT_EQ(json, std::string("{") + GetParam().json +
                      ",\"viewers\":3,\"maxViewers\":20,\"janus\":\"http://relay:8088/janus\","
                      "\"mountpoint\":7}");
}

void Heard(WebStatusTest& test, WebStatus& status, receiver::ReceptionView& view) {
  (void)test;
  status.OnHeard(kSender);
  view.sender = kSender;
}

INSTANTIATE_TEST_SUITE_P(
    States, WebStatusStateTest,
    testing::Values(
        StateCase{
            "Waiting", [](auto&, auto&, auto&) {},
            R"j("state":"waiting","text":"Waiting for a broadcast on UDP port 5937","sender":"")j"},
        StateCase{"WaitingForAChosenSender",
                  [](auto&, auto&, receiver::ReceptionView& view) {
                    view.chosen = Announced("Hall", protocol::SenderState::kPlaying);
                  },
                  R"j("state":"waiting","text":"Waiting for Hall on UDP port 5937","sender":"")j"},
        StateCase{
            "CannotListen",
            [](auto&, auto&, receiver::ReceptionView& view) { view.listening = false; },
            R"j("state":"waiting","text":"Cannot listen on UDP port 5937: another program may be using it.","sender":"")j"},
        StateCase{
            "Receiving", Heard,
            R"j("state":"receiving","text":"Receiving from 192.168.1.5:5937","sender":"192.168.1.5:5937")j"},
        StateCase{
            "ReceivingAnAnnouncedSender",
            [](WebStatusTest& t, WebStatus& s, receiver::ReceptionView& view) {
              Heard(t, s, view);
              view.announced = Announced("Hall \"A\"", protocol::SenderState::kPlaying);
            },
            R"j("state":"receiving","text":"Receiving from Hall \"A\" (192.168.1.5:5937)","sender":"Hall \"A\"")j"},
        StateCase{"Playing",
                  [](WebStatusTest& t, WebStatus& s, receiver::ReceptionView& view) {
                    Heard(t, s, view);
                    static_cast<WebStatusStateTest&>(t).Advance(5s);
                    s.OnHeard(kSender);
                  },
                  R"j("state":"playing","text":"","sender":"192.168.1.5:5937")j"},
        StateCase{"AudioOnly",
                  [](WebStatusTest& t, WebStatus& s, receiver::ReceptionView& view) {
                    Heard(t, s, view);
                    view.audioOnly = true;
                    static_cast<WebStatusStateTest&>(t).Advance(5s);
                    s.OnHeard(kSender);
                  },
                  R"j("state":"audio-only","text":"Audio only","sender":"192.168.1.5:5937")j"},
        StateCase{
            "NoSignal",
            [](WebStatusTest& t, WebStatus& s, receiver::ReceptionView& view) {
              Heard(t, s, view);
              static_cast<WebStatusStateTest&>(t).Advance(3s);
            },
            R"j("state":"no-signal","text":"No signal from the sender for 3 s","sender":"192.168.1.5:5937")j"},
        StateCase{"Paused",
                  [](WebStatusTest& t, WebStatus& s, receiver::ReceptionView& view) {
                    Heard(t, s, view);
                    view.announced = Announced("Hall", protocol::SenderState::kPaused);
                    static_cast<WebStatusStateTest&>(t).Advance(1s);
                  },
                  R"j("state":"paused","text":"Paused by Hall","sender":"Hall")j"},
        StateCase{"Stopped",
                  [](WebStatusTest& t, WebStatus& s, receiver::ReceptionView& view) {
                    Heard(t, s, view);
                    view.announced = Announced("Hall", protocol::SenderState::kStopped);
                    static_cast<WebStatusStateTest&>(t).Advance(1s);
                  },
                  R"j("state":"stopped","text":"Stopped by Hall","sender":"Hall")j"},
        StateCase{
            "Ended",
            [](WebStatusTest& t, WebStatus& s, receiver::ReceptionView& view) {
              Heard(t, s, view);
              s.OnEndOfBroadcast();
              view.sender.reset();
            },
            R"j("state":"ended","text":"The broadcast has ended. Waiting for the next one.","sender":"")j"},
        StateCase{
            "AnotherSenderTookOver",
            [](WebStatusTest& t, WebStatus& s, receiver::ReceptionView& view) {
              Heard(t, s, view);
              static_cast<WebStatusStateTest&>(t).Advance(5s);
              view.sender = net::Endpoint{0xC0A80106u, 5937};
              s.OnSenderChanged(*view.sender);
            },
            R"j("state":"receiving","text":"Receiving from 192.168.1.6:5937","sender":"192.168.1.6:5937")j"},
        StateCase{
            "ChoiceApplied",
            [](WebStatusTest& t, WebStatus& s, receiver::ReceptionView& view) {
              Heard(t, s, view);
              s.OnChoiceApplied(kSender);
              view.sender.reset();
            },
            R"("state":"waiting","text":"Waiting for a broadcast on UDP port 5937","sender":"")"}),
    [](const testing::TestParamInfo<StateCase>& info) { return info.param.name; });

TEST(JsonStringTest, EscapesWhatJsonMust) {
  EXPECT_EQ(JsonString("plain"), "\"plain\"");
  EXPECT_EQ(JsonString("a\"b\\c"), "\"a\\\"b\\\\c\"");
  EXPECT_EQ(JsonString("line\nnext\r\ttab"), "\"line\\nnext\\r\\ttab\"");
  EXPECT_EQ(JsonString(std::string("\x01\x1f\x7f", 3)), "\"\\u0001\\u001f\\u007f\"");
  EXPECT_EQ(JsonString("Salle à manger · 东"), "\"Salle à manger · 东\"");
  EXPECT_EQ(JsonString("</script>"), "\"</script>\"");
}

TEST(FilledTest, PutsTheArgumentsInPlace) {
  EXPECT_EQ(Filled("Waiting for %1 on UDP port %2", "Hall", "5937"),
            "Waiting for Hall on UDP port 5937");
  EXPECT_EQ(Filled("%2 then %1", "a", "b"), "b then a");
  EXPECT_EQ(Filled("100% sure %1", "%2", "x"), "100% sure %2");  // an argument is not read again
}

TEST(StatusTextsTest, LanguageFileReplacesTextsItHas) {
  const std::filesystem::path file = std::filesystem::temp_directory_path() /
                                     ("web_status_test_" + std::to_string(getpid()) + ".ini");
  std::ofstream(file) << "[Info]\nLanguage=Test\n[String]\n"
                         "Audio only=Sound only\n"
                         "Receiving from %1=\n"  // empty: English stays
                         "Paused by %1=%1 paused\n";
  const StatusTexts texts = LoadStatusTexts(file);
  std::filesystem::remove(file);
  EXPECT_EQ(texts.audioOnly, "Sound only");
  EXPECT_EQ(texts.paused, "%1 paused");
  EXPECT_EQ(texts.receiving, "Receiving from %1");
  EXPECT_EQ(texts.ended, StatusTexts().ended);
}

TEST(StatusTextsTest, MissingFileGivesEnglish) {
  const StatusTexts texts = LoadStatusTexts("/nonexistent/Language/English.ini");
  EXPECT_EQ(texts.waiting, "Waiting for a broadcast on UDP port %1");
}

TEST(StatusTextsTest, ShippedEnglishFileGivesTheWindowsTexts) {
  const StatusTexts texts = LoadStatusTexts(std::filesystem::path(VANTOREL_SOURCE_DIR) /
                                            "resources/Language/English.ini");
  EXPECT_EQ(texts.noSignal, "No signal from the sender for %1 s");
  EXPECT_EQ(texts.stopped, "Stopped by %1");
}

}  // namespace
}  // namespace vantorel::web
