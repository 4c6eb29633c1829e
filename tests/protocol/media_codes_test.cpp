#include "protocol/media_codes.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "protocol/guid.h"

namespace vantorel::protocol {
namespace {

struct CodeCase {
  std::uint8_t code;
  const char* guid;  // as the media framework's headers write it
};

void PrintTo(const CodeCase& c, std::ostream* os) {
  *os << int{c.code} << " " << c.guid;
}

// Parses "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx" independently of Guid::ToString.
Guid ParseGuid(const std::string& text) {
  auto hex = [&](std::size_t pos, std::size_t n) {
    return static_cast<std::uint32_t>(std::stoul(text.substr(pos, n), nullptr, 16));
  };
  Guid g;
  g.data1 = hex(0, 8);
  g.data2 = static_cast<std::uint16_t>(hex(9, 4));
  g.data3 = static_cast<std::uint16_t>(hex(14, 4));
  for (std::size_t i = 0; i < 2; ++i) g.data4[i] = static_cast<std::uint8_t>(hex(19 + 2 * i, 2));
  for (std::size_t i = 0; i < 6; ++i)
    g.data4[2 + i] = static_cast<std::uint8_t>(hex(24 + 2 * i, 2));
  return g;
}

class MajorTypeCodeTest : public ::testing::TestWithParam<CodeCase> {};

TEST_P(MajorTypeCodeTest, CodeAndGuidMapBothWays) {
  const Guid guid = ParseGuid(GetParam().guid);
  EXPECT_EQ(MajorTypeGuid(GetParam().code), guid);
  EXPECT_EQ(MajorTypeCode(guid), GetParam().code);
  EXPECT_EQ(guid.ToString(), GetParam().guid);
}

INSTANTIATE_TEST_SUITE_P(Table, MajorTypeCodeTest,
                         ::testing::Values(CodeCase{0, "00000000-0000-0000-0000-000000000000"},
                                           CodeCase{1, "0482dee1-7817-11cf-8a03-00aa006ecb65"},
                                           CodeCase{2, "0482dde1-7817-11cf-8a03-00aa006ecb65"},
                                           CodeCase{3, "73647561-0000-0010-8000-00aa00389b71"},
                                           CodeCase{4, "670aea80-3a82-11d0-b79b-00aa003767a7"},
                                           CodeCase{5, "656c6966-0000-0010-8000-00aa00389b71"},
                                           CodeCase{6, "73766169-0000-0010-8000-00aa00389b71"},
                                           CodeCase{7, "74726c6d-0000-0010-8000-00aa00389b71"},
                                           CodeCase{8, "7364696d-0000-0010-8000-00aa00389b71"},
                                           CodeCase{9, "e06d8020-db46-11cf-b4d1-00805f6cbbea"},
                                           CodeCase{10, "73636d64-0000-0010-8000-00aa00389b71"},
                                           CodeCase{11, "e436eb83-524f-11ce-9f53-0020af0ba770"},
                                           CodeCase{12, "73747874-0000-0010-8000-00aa00389b71"},
                                           CodeCase{13, "0482dee3-7817-11cf-8a03-00aa006ecb65"},
                                           CodeCase{14, "736c7275-0000-0010-8000-00aa00389b71"},
                                           CodeCase{15, "73646976-0000-0010-8000-00aa00389b71"}));

class FormatTypeCodeTest : public ::testing::TestWithParam<CodeCase> {};

TEST_P(FormatTypeCodeTest, CodeAndGuidMapBothWays) {
  const Guid guid = ParseGuid(GetParam().guid);
  EXPECT_EQ(FormatTypeGuid(GetParam().code), guid);
  EXPECT_EQ(FormatTypeCode(guid), GetParam().code);
}

INSTANTIATE_TEST_SUITE_P(Table, FormatTypeCodeTest,
                         ::testing::Values(CodeCase{0, "0f6417d6-c318-11d0-a43f-00a0c9223196"},
                                           CodeCase{1, "05589f82-c356-11ce-bf01-00aa0055595a"},
                                           CodeCase{2, "e06d80e3-db46-11cf-b4d1-00805f6cbbea"},
                                           CodeCase{3, "05589f80-c356-11ce-bf01-00aa0055595a"},
                                           CodeCase{4, "f72a76a0-eb0a-11d0-ace4-0000c0cc16ba"},
                                           CodeCase{5, "05589f81-c356-11ce-bf01-00aa0055595a"}));

TEST(MediaCodesTest, CodesOutsideTheTablesGiveGuidNull) {
  for (int code : {16, 100, 254, 255}) {
    EXPECT_EQ(MajorTypeGuid(static_cast<std::uint8_t>(code)), Guid{}) << code;
  }
  for (int code : {6, 7, 254, 255}) {
    EXPECT_EQ(FormatTypeGuid(static_cast<std::uint8_t>(code)), Guid{}) << code;
  }
}

TEST(MediaCodesTest, UnknownGuidsGiveCode255) {
  const Guid mpeg1Video = ParseGuid("e436eb81-524f-11ce-9f53-0020af0ba770");
  EXPECT_EQ(MajorTypeCode(mpeg1Video), kOtherCode);
  EXPECT_EQ(FormatTypeCode(guids::kMediaTypeVideo), kOtherCode);
  // GUID_NULL is a major type of its own but no format type.
  EXPECT_EQ(FormatTypeCode(Guid{}), kOtherCode);
}

TEST(GuidTest, WireBytesOfMediaTypeVideo) {
  const std::array<std::uint8_t, 16> expected{0x76, 0x69, 0x64, 0x73, 0x00, 0x00, 0x10, 0x00,
                                              0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
  EXPECT_EQ(MajorTypeGuid(15).ToBytes(), expected);
  EXPECT_EQ(Guid::FromBytes(expected), guids::kMediaTypeVideo);
}

TEST(GuidTest, WireBytesKeepTheLastEightBytesInOrder) {
  const std::array<std::uint8_t, 16> expected{0x80, 0xEA, 0x0A, 0x67, 0x82, 0x3A, 0xD0, 0x11,
                                              0xB7, 0x9B, 0x00, 0xAA, 0x00, 0x37, 0x67, 0xA7};
  EXPECT_EQ(guids::kMediaTypeAuxLine21Data.ToBytes(), expected);
}

TEST(GuidTest, FromBytesReadsOnlyTheFirstSixteen) {
  std::array<std::uint8_t, 20> bytes{};
  const auto video = guids::kMediaTypeVideo.ToBytes();
  std::copy(video.begin(), video.end(), bytes.begin());
  bytes[16] = 0xFF;
  EXPECT_EQ(Guid::FromBytes(bytes), guids::kMediaTypeVideo);
}

TEST(GuidTest, FromTooFewBytesGivesGuidNull) {
  const auto video = guids::kMediaTypeVideo.ToBytes();
  EXPECT_EQ(Guid::FromBytes(std::span(video).first(15)), Guid{});
  EXPECT_EQ(Guid::FromBytes({}), Guid{});
}

}  // namespace
}  // namespace vantorel::protocol
