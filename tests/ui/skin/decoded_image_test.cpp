// Decoding from memory, without the toolkit.
#include <gtest/gtest.h>

#include <sys/mman.h>

#include <cstring>

#include "tests/ui/skin/jpeg_fixture.h"
#include "ui/skin/decoded_image.h"

namespace vantorel::skin {
namespace {

using testing::Bytes;

DecodedImagePtr Decode(const Bytes& bytes) {
  return DecodeJpegImage(bytes.data(), bytes.size());
}

TEST(DecodeJpegImage, ColourRowsAreBlueGreenRedAndPadded) {
  const DecodedImagePtr image = Decode(testing::SolidColourJpeg(5, 3, 250, 20, 10));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->width, 5);
  EXPECT_EQ(image->height, 3);
  EXPECT_EQ(image->components, 3);
  EXPECT_EQ(image->Stride(), 16u);  // 15 bytes padded to 16
  const std::uint8_t* last = image->Row(2) + 4 * 3;
  EXPECT_NEAR(last[0], 10, 2);
  EXPECT_NEAR(last[1], 20, 2);
  EXPECT_NEAR(last[2], 250, 2);
}

TEST(DecodeJpegImage, GreyPictureHasOneComponent) {
  const DecodedImagePtr image = Decode(testing::SolidGreyJpeg(1, 9, 77));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->components, 1);
  EXPECT_EQ(image->Stride(), 4u);
  EXPECT_EQ(image->Row(8)[0], 77);
}

TEST(DecodeJpegImage, TruncatedAfterTheHeaderStillDecodes) {
  const Bytes cut = testing::TruncatedAfterHeader(testing::SolidColourJpeg(32, 24, 9, 9, 9));
  const DecodedImagePtr image = Decode(cut);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->width, 32);
  EXPECT_EQ(image->height, 24);
}

TEST(DecodeJpegImage, NeverWritesTheCallersBuffer) {
  const Bytes cut = testing::TruncatedAfterHeader(testing::SolidColourJpeg(16, 16, 1, 2, 3));
  const std::size_t page = 1 << 16;
  ASSERT_LT(cut.size(), page);
  void* memory = mmap(nullptr, page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(memory, MAP_FAILED);
  std::memcpy(memory, cut.data(), cut.size());
  ASSERT_EQ(mprotect(memory, page, PROT_READ), 0);  // a write would now fault
  const DecodedImagePtr image =
      DecodeJpegImage(static_cast<const std::uint8_t*>(memory), cut.size());
  EXPECT_NE(image, nullptr);
  munmap(memory, page);
}

TEST(DecodeJpegImage, BadInputGivesNull) {
  const Bytes jpeg = testing::SolidGreyJpeg(8, 8, 1);
  EXPECT_EQ(DecodeJpegImage(nullptr, 100), nullptr);
  EXPECT_EQ(DecodeJpegImage(jpeg.data(), 3), nullptr);
  EXPECT_EQ(Decode(Bytes(64, 0x41)), nullptr);
  EXPECT_EQ(Decode(Bytes{0xFF, 0xD8, 0xFF, 0xD9}), nullptr);
  EXPECT_EQ(Decode(Bytes(jpeg.begin(), jpeg.begin() + 20)), nullptr);  // header cut short
}

TEST(DecodeJpegImage, RefusesAPictureTooLargeToHold) {
  Bytes jpeg = testing::SolidGreyJpeg(8, 8, 1);
  for (std::size_t i = 0; i + 8 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {  // baseline frame header: height, width
      jpeg[i + 5] = 0xEA;
      jpeg[i + 6] = 0x60;
      jpeg[i + 7] = 0xEA;
      jpeg[i + 8] = 0x60;
      break;
    }
  }
  EXPECT_EQ(Decode(jpeg), nullptr);
}

TEST(FreeDecodedImage, AcceptsNull) {
  EXPECT_EQ(FreeDecodedImage(nullptr), 0);
  EXPECT_EQ(FreeDecodedImage(new DecodedImage), 1);
}

}  // namespace
}  // namespace vantorel::skin
