#include "tests/ui/skin/jpeg_fixture.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include <jpeglib.h>

namespace vantorel::skin::testing {

Bytes EncodeJpeg(int width, int height, int components, const Bytes& pixels) {
  jpeg_compress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &out, &size);
  info.image_width = static_cast<JDIMENSION>(width);
  info.image_height = static_cast<JDIMENSION>(height);
  info.input_components = components;
  info.in_color_space = components == 3 ? JCS_RGB : JCS_GRAYSCALE;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 100, TRUE);
  for (int i = 0; i < info.num_components; ++i) {
    info.comp_info[i].h_samp_factor = 1;  // no chroma subsampling: solid colours stay exact
    info.comp_info[i].v_samp_factor = 1;
  }
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    auto* row = const_cast<JSAMPLE*>(pixels.data() + static_cast<std::size_t>(info.next_scanline) *
                                                         width * components);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  Bytes bytes(out, out + size);
  std::free(out);
  return bytes;
}

Bytes SolidColourJpeg(int width, int height, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  Bytes pixels;
  for (int i = 0; i < width * height; ++i) pixels.insert(pixels.end(), {r, g, b});
  return EncodeJpeg(width, height, 3, pixels);
}

Bytes SolidGreyJpeg(int width, int height, std::uint8_t value) {
  return EncodeJpeg(width, height, 1, Bytes(static_cast<std::size_t>(width) * height, value));
}

Bytes TruncatedAfterHeader(const Bytes& jpeg) {
  for (std::size_t i = 0; i + 3 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) {
      const std::size_t length = (jpeg[i + 2] << 8) | jpeg[i + 3];
      return Bytes(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(i + 2 + length));
    }
  }
  throw std::runtime_error("no start of scan");
}

}  // namespace vantorel::skin::testing
