#include "protocol/byte_io.h"

#include <gtest/gtest.h>

#include <array>

#include "protocol/wire_format.h"

namespace vantorel::protocol {
namespace {

TEST(ByteReaderTest, ReadsLittleEndianFields) {
  const std::array<std::uint8_t, 15> bytes{0xAB, 0x34, 0x12, 0x78, 0x56, 0x34, 0x12, 0xFE,
                                           0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  ByteReader r(bytes);
  EXPECT_EQ(r.U8(), 0xAB);
  EXPECT_EQ(r.U16(), 0x1234);
  EXPECT_EQ(r.U32(), 0x12345678u);
  EXPECT_EQ(r.I64(), -2);
  EXPECT_TRUE(r.Ok());
  EXPECT_EQ(r.Remaining(), 0u);
}

TEST(ByteReaderTest, ReadPastTheEndFailsAndStaysFailed) {
  const std::array<std::uint8_t, 6> bytes{1, 0, 0, 0, 2, 0};
  ByteReader r(bytes);
  EXPECT_EQ(r.U32(), 1u);
  EXPECT_EQ(r.U32(), 0u);  // only 2 bytes left
  EXPECT_FALSE(r.Ok());
  EXPECT_EQ(r.Position(), 4u);
  // A later read that would fit still fails: the reader does not resynchronise.
  EXPECT_EQ(r.U16(), 0u);
  EXPECT_TRUE(r.Bytes(1).empty());
  EXPECT_FALSE(r.Ok());
}

TEST(ByteReaderTest, BytesReturnsAViewInPlace) {
  const std::array<std::uint8_t, 5> bytes{1, 2, 3, 4, 5};
  ByteReader r(bytes);
  r.U8();
  auto view = r.Bytes(3);
  ASSERT_EQ(view.size(), 3u);
  EXPECT_EQ(view.data(), bytes.data() + 1);
  EXPECT_TRUE(r.Bytes(2).empty());
  EXPECT_FALSE(r.Ok());
}

TEST(ByteWriterTest, WritesLittleEndianAndStopsAtTheEnd) {
  std::array<std::uint8_t, 7> out{};
  out.fill(0xEE);
  ByteWriter w(out);
  w.U16(0x0A1A);
  w.I32(-1);
  EXPECT_TRUE(w.Ok());
  w.U32(0x01020304);  // 1 byte left: nothing written
  EXPECT_FALSE(w.Ok());
  EXPECT_EQ(w.Position(), 6u);
  EXPECT_EQ(out, (std::array<std::uint8_t, 7>{0x1A, 0x0A, 0xFF, 0xFF, 0xFF, 0xFF, 0xEE}));
}

TEST(ByteWriterTest, BytesThatDoNotFitAreNotWrittenAtAll) {
  std::array<std::uint8_t, 4> out{};
  const std::array<std::uint8_t, 5> data{1, 2, 3, 4, 5};
  ByteWriter w(out);
  w.Bytes(data);
  EXPECT_FALSE(w.Ok());
  EXPECT_EQ(out, (std::array<std::uint8_t, 4>{}));
}

TEST(HeaderWordTest, KindAndLengthSplitAtBit24) {
  EXPECT_EQ(MakeHeaderWord(BlockKind::kSampleDataVideo, 0x1234567), 0x0F234567u);
  EXPECT_EQ(HeaderKind(0x0F234567u), 15);
  EXPECT_EQ(HeaderLength(0x0F234567u), 0x234567u);
  EXPECT_EQ(MakeDescriptionHeaderWord(kStreamFlagVideo | kStreamFlagAudio, 0x1FFFF), 0x0A03FFFFu);
}

}  // namespace
}  // namespace vantorel::protocol
