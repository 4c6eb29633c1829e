// Any bytes given to the skin decoder give a picture or null, never a crash or a read outside
// the input; a picture's rows are all readable.
#include <cstddef>
#include <cstdint>

#include "ui/skin/decoded_image.h"

// Keeps the row reads from being optimised away.
volatile unsigned g_rowSum = 0;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const vantorel::skin::DecodedImagePtr image = vantorel::skin::DecodeJpegImage(data, size);
  if (!image) return 0;
  unsigned sum = 0;
  const std::size_t row = static_cast<std::size_t>(image->width) * image->components;
  for (int y = 0; y < image->height; ++y) {
    for (std::size_t x = 0; x < row; ++x) sum += image->Row(y)[x];
  }
  g_rowSum = sum;
  return 0;
}
