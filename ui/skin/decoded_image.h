// JPEG pictures decoded from memory into rows of bytes: blue, green, red for colour pictures,
// one grey byte for masks, each row padded to a multiple of 4 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace vantorel::skin {

struct DecodedImage {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::unique_ptr<std::uint8_t[]> pixels;
  std::int32_t components = 0;

  // ((width x components x 8 + 31) / 32) x 4, the stride of a device-independent bitmap row.
  std::size_t Stride() const;
  const std::uint8_t* Row(int y) const { return pixels.get() + Stride() * y; }
};

// Frees the record and its pixels. 0 for null (which is ignored), 1 otherwise.
int FreeDecodedImage(DecodedImage* image);

struct DecodedImageDeleter {
  void operator()(DecodedImage* image) const { FreeDecodedImage(image); }
};
using DecodedImagePtr = std::unique_ptr<DecodedImage, DecodedImageDeleter>;

// The largest pixel buffer a picture may need; larger pictures are refused before decoding.
inline constexpr std::size_t kMaxDecodedBytes = 64u << 20;

// Null for fewer than 4 bytes, an unreadable JPEG (any fatal library error), or a picture
// over kMaxDecodedBytes. Library warnings do not stop decoding: data that ends early decodes
// with the library's fill for the missing rows. The data is only read, never written.
DecodedImagePtr DecodeJpegImage(const std::uint8_t* data, std::size_t size);

}  // namespace vantorel::skin
