#include "tools/web/sdp_offer.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/tools/web/chromium_offer.h"

namespace vantorel::web {
namespace {

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

std::string WithoutLinesContaining(const std::string& text, const std::string& part) {
  std::string kept;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = text.find('\n', at);
    const std::string line = text.substr(at, end - at + 1);
    if (line.find(part) == std::string::npos) kept += line;
    at = end + 1;
  }
  return kept;
}

struct GoodOffer {
  const char* name;
  std::string sdp;
  int h264;
  const char* profile;
  int opus;
  const char* videoMid;
  const char* audioMid;
};

class GoodOfferTest : public testing::TestWithParam<GoodOffer> {};

TEST_P(GoodOfferTest, ReadsTheCodecsWeSend) {
  const GoodOffer& offer = GetParam();
  const OfferCheck check = ReadOffer(offer.sdp);
  ASSERT_TRUE(check.ok) << check.error;
  EXPECT_EQ(check.codecs.h264Payload, offer.h264);
  EXPECT_EQ(check.codecs.h264ProfileLevelId, offer.profile);
  EXPECT_EQ(check.codecs.opusPayload, offer.opus);
  EXPECT_EQ(check.codecs.videoMid, offer.videoMid);
  EXPECT_EQ(check.codecs.audioMid, offer.audioMid);
}

INSTANTIATE_TEST_SUITE_P(
    Offers, GoodOfferTest,
    testing::Values(
        // Constrained baseline wins over baseline (listed first) and main.
        GoodOffer{"Chromium", test::ChromiumOffer(), 106, "42e01f", 111, "1", "0"},
        GoodOffer{"LineFeedsOnly", Replaced(test::ChromiumOffer(), "\r\n", "\n"), 106, "42e01f",
                  111, "1", "0"},
        GoodOffer{"BaselineWithoutConstrained",
                  WithoutLinesContaining(test::ChromiumOffer(), "profile-level-id=42e01f"), 102,
                  "42001f", 111, "1", "0"},
        GoodOffer{"MainOnly",
                  WithoutLinesContaining(WithoutLinesContaining(test::ChromiumOffer(),
                                                                "profile-level-id=42e01f"),
                                         "profile-level-id=42001f"),
                  127, "4d001f", 111, "1", "0"},
        GoodOffer{"UpperCaseNames",
                  Replaced(Replaced(test::ChromiumOffer(), "opus/48000/2", "OPUS/48000/2"),
                           "H264/90000", "h264/90000"),
                  106, "42e01f", 111, "1", "0"},
        GoodOffer{"AudioOnly",
                  test::ChromiumOffer().substr(0, test::ChromiumOffer().find("m=video")), -1, "",
                  111, "", "0"},
        GoodOffer{"NoFinalLineEnd",
                  test::ChromiumOffer().substr(0, test::ChromiumOffer().size() - 2), 106, "42e01f",
                  111, "1", "0"}),
    [](const testing::TestParamInfo<GoodOffer>& info) { return info.param.name; });

struct BadOffer {
  const char* name;
  std::string sdp;
  const char* reason;  // a part of the reason given
};

class BadOfferTest : public testing::TestWithParam<BadOffer> {};

TEST_P(BadOfferTest, IsRefusedWithAReason) {
  const OfferCheck check = ReadOffer(GetParam().sdp);
  EXPECT_FALSE(check.ok);
  EXPECT_NE(check.error.find(GetParam().reason), std::string::npos) << check.error;
}

const std::string kHeader = "v=0\r\no=- 1 2 IN IP4 127.0.0.1\r\ns=-\r\nt=0 0\r\n";

INSTANTIATE_TEST_SUITE_P(
    Offers, BadOfferTest,
    testing::Values(
        BadOffer{"Empty", "", "empty"},
        BadOffer{"Binary", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), "NUL"},
        BadOffer{"Huge", kHeader + std::string(kMaxOfferSize, 'a'), "64 KB"},
        BadOffer{"TooManyLines",
                 [] {
                   std::string sdp = kHeader;
                   for (std::size_t i = 0; i < kMaxOfferLines; ++i) sdp += "a=x\r\n";
                   return sdp;
                 }(),
                 "too many lines"},
        BadOffer{"NotFirstVersion", "o=- 1 2 IN IP4 127.0.0.1\r\nv=0\r\n", "v=0"},
        BadOffer{"WrongVersion", "v=1\r\n", "v=0"},
        BadOffer{"NotALine", kHeader + "hello\r\n", "x=value"},
        BadOffer{"EmptyLineInside", kHeader + "\r\nm=audio 9 RTP/AVP 111\r\n", "x=value"},
        BadOffer{"BareCarriageReturn", kHeader + "a=x\ra=y\r\n", "carriage return"},
        BadOffer{"NoMediaSection", kHeader, "no audio or video"},
        BadOffer{"ShortMediaLine", kHeader + "m=video 9\r\n", "m= line"},
        BadOffer{"OnlyVp8", kHeader + "m=video 9 UDP/TLS/RTP/SAVPF 96\r\na=rtpmap:96 VP8/90000\r\n",
                 "H.264"},
        BadOffer{"H264PacketizationModeZero",
                 WithoutLinesContaining(test::ChromiumOffer(), "packetization-mode=1"), "H.264"},
        BadOffer{"H264HighProfileOnly",
                 kHeader + "m=video 9 UDP/TLS/RTP/SAVPF 112\r\na=rtpmap:112 H264/90000\r\n"
                           "a=fmtp:112 packetization-mode=1;profile-level-id=64001f\r\n",
                 "H.264"},
        BadOffer{"OpusMono", Replaced(test::ChromiumOffer(), "opus/48000/2", "opus/48000/1"),
                 "Opus"},
        BadOffer{"OnlyPcmu", kHeader + "m=audio 9 RTP/AVP 0\r\na=rtpmap:0 PCMU/8000\r\n", "Opus"}),
    [](const testing::TestParamInfo<BadOffer>& info) { return info.param.name; });

}  // namespace
}  // namespace vantorel::web
