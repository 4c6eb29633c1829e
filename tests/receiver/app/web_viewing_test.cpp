// The command line Lunnet gives the browser page's server, and reading where it serves from
// what it prints.
#include "receiver/app/web_viewing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/net/udp_socket.h"

namespace vantorel::receiver::app {
namespace {

using Words = std::vector<std::string>;

TEST(WebServerArgumentsTest, CarryTheReceptionOfTheWindow) {
  receiver::ReceiveOptions receive;
  EXPECT_EQ(WebServerArguments(receive, {}, {}), (Words{"--port", "5937"}));
  receive.port = 6000;
  receive.group = net::ParseIpv4("239.1.2.3").value();
  receive.interfaceName = "eth1";
  const auto trusted = protocol::Fingerprint::Parse("7KQ2-M9XD-R4TA-9BCE-HW3N").value();
  EXPECT_EQ(WebServerArguments(receive, {trusted}, {}),
            (Words{"--port", "6000", "--group", "239.1.2.3", "--interface", "eth1", "--trust",
                   "7KQ2-M9XD-R4TA-9BCE-HW3N"}));
}

struct ChoiceCase {
  receiver::SenderChoice choice;
  Words expected;
};

class SenderChoiceArgumentsTest : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(SenderChoiceArgumentsTest, NameTheSenderAsTheCommandLineReadsIt) {
  const Words words = WebServerArguments({}, {}, GetParam().choice);
  EXPECT_EQ(Words(words.begin() + 2, words.end()), GetParam().expected);
}

receiver::SenderChoice At(const char* address, std::uint16_t port, bool only) {
  return {"", receiver::DatagramSource{net::ParseIpv4(address).value(), port}, only};
}

INSTANTIATE_TEST_SUITE_P(
    Choices, SenderChoiceArgumentsTest,
    ::testing::Values(ChoiceCase{{}, {}},
                      ChoiceCase{{"Main hall", std::nullopt, false}, {"--prefer", "Main hall"}},
                      ChoiceCase{{"Main hall", std::nullopt, true}, {"--sender", "Main hall"}},
                      ChoiceCase{At("10.0.0.9", 4000, true), {"--sender", "10.0.0.9:4000"}},
                      ChoiceCase{At("10.0.0.9", 0, false), {"--prefer", "10.0.0.9"}}));

struct LineCase {
  const char* line;
  const char* address;  // empty: not a serving line
};

class ServedAddressTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(ServedAddressTest, OnlyServingLinesGiveAnAddress) {
  EXPECT_EQ(ServedAddress(GetParam().line), GetParam().address);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ServedAddressTest,
    ::testing::Values(
        LineCase{"vantorel-web: serving http://192.168.1.20:8080/", "http://192.168.1.20:8080/"},
        LineCase{"vantorel-web: serving http://10.0.0.1:8081/\r", "http://10.0.0.1:8081/"},
        LineCase{"vantorel-web: listening on UDP port 5937", ""},
        LineCase{"vantorel-web: cannot listen on HTTP port 8080: Address already in use", ""},
        LineCase{"vantorel-web: serving http://", ""},
        LineCase{"vantorel-web: serving ftp://10.0.0.1/", ""},
        LineCase{"vantorel-web: serving http://10.0.0.1:8080/ and more", ""},
        LineCase{"other: serving http://10.0.0.1:8080/", ""}));

TEST(WebServerOutputTest, LinesCountOnlyOnceWholeAndEachAddressOnce) {
  WebServerOutput output;
  EXPECT_TRUE(output.Feed("vantorel-web: listening on UDP port 5937\nvantorel-web: ser").empty());
  EXPECT_EQ(output.Feed("ving http://10.0.0.1:8080/\n"), Words{"http://10.0.0.1:8080/"});
  EXPECT_EQ(output.Feed("vantorel-web: serving http://10.0.0.1:8080/\n"
                        "vantorel-web: serving http://192.168.1.20:8080/\n\n"),
            Words{"http://192.168.1.20:8080/"});
  EXPECT_EQ(output.Addresses(), (Words{"http://10.0.0.1:8080/", "http://192.168.1.20:8080/"}));
  EXPECT_EQ(output.LastLine(), "vantorel-web: serving http://192.168.1.20:8080/");
}

// A server that dies while writing still leaves its reason, and one that never ends a line
// cannot make the receiver keep more than a bounded line.
TEST(WebServerOutputTest, TheLastLineIsTheReasonEvenUnfinishedAndBounded) {
  WebServerOutput output;
  output.Feed("vantorel-web: listening on UDP port 5937\nvantorel-web: cannot listen");
  EXPECT_EQ(output.LastLine(), "vantorel-web: listening on UDP port 5937");
  output.Finish();
  EXPECT_EQ(output.LastLine(), "vantorel-web: cannot listen");
  EXPECT_TRUE(output.Addresses().empty());

  WebServerOutput endless;
  for (int i = 0; i < 100; ++i) endless.Feed(std::string(1000, 'x'));
  endless.Feed("\n");
  EXPECT_EQ(endless.LastLine(), std::string(WebServerOutput::kMaxLine, 'x'));
}

}  // namespace
}  // namespace vantorel::receiver::app
