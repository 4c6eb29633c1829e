#include "ui/skin/decoded_image.h"

#include <csetjmp>
#include <cstdio>
#include <limits>
#include <new>

#include <jpeglib.h>
// After jpeglib.h, which it needs.
#include <jerror.h>

namespace vantorel::skin {
namespace {

// Feeds the decoder from the caller's buffer; allocated from the decompressor's permanent
// pool, so it lives as long as the decompressor.
struct MemorySource {
  jpeg_source_mgr pub;
  std::uint32_t remaining;
  const JOCTET* buffer;
  boolean startOfFile;
};

// Handed to the decoder when the data runs out; never the caller's memory, which may be a
// read-only resource.
const JOCTET kEndOfImage[2] = {0xFF, 0xD9};

void InitSource(j_decompress_ptr info) {
  reinterpret_cast<MemorySource*>(info->src)->startOfFile = TRUE;
}

boolean FillInputBuffer(j_decompress_ptr info) {
  auto* src = reinterpret_cast<MemorySource*>(info->src);
  if (src->remaining > 0) {
    src->pub.next_input_byte = src->buffer;
    src->pub.bytes_in_buffer = src->remaining;
    src->remaining = 0;
  } else {
    if (src->startOfFile) ERREXIT(info, JERR_INPUT_EMPTY);
    WARNMS(info, JWRN_JPEG_EOF);
    src->pub.next_input_byte = kEndOfImage;
    src->pub.bytes_in_buffer = sizeof(kEndOfImage);
  }
  src->startOfFile = FALSE;
  return TRUE;
}

void SkipInputData(j_decompress_ptr info, long count) {
  if (count <= 0) return;
  auto* src = reinterpret_cast<MemorySource*>(info->src);
  while (count > static_cast<long>(src->pub.bytes_in_buffer)) {
    count -= static_cast<long>(src->pub.bytes_in_buffer);
    FillInputBuffer(info);
  }
  src->pub.next_input_byte += count;
  src->pub.bytes_in_buffer -= static_cast<std::size_t>(count);
}

void TermSource(j_decompress_ptr) {}

void AttachMemorySource(j_decompress_ptr info, const std::uint8_t* data, std::uint32_t size) {
  auto* src = static_cast<MemorySource*>((*info->mem->alloc_small)(
      reinterpret_cast<j_common_ptr>(info), JPOOL_PERMANENT, sizeof(MemorySource)));
  src->pub.init_source = InitSource;
  src->pub.fill_input_buffer = FillInputBuffer;
  src->pub.skip_input_data = SkipInputData;
  src->pub.resync_to_restart = jpeg_resync_to_restart;
  src->pub.term_source = TermSource;
  src->pub.next_input_byte = nullptr;
  src->pub.bytes_in_buffer = 0;
  src->remaining = size;
  src->buffer = data;
  src->startOfFile = TRUE;
  info->src = &src->pub;
}

struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf recovery;
};

// Replaces the library's fatal-error exit: the message is output as usual, then decoding
// resumes at the recovery point.
[[noreturn]] void ExitToRecovery(j_common_ptr info) {
  auto* errors = reinterpret_cast<ErrorManager*>(info->err);
  (*errors->pub.output_message)(info);
  std::longjmp(errors->recovery, 1);
}

// Owns the decompressor; destroyed on every path out of DecodeJpegImage.
struct Decompressor {
  jpeg_decompress_struct info{};
  ErrorManager errors{};
  bool created = false;

  Decompressor() = default;
  Decompressor(const Decompressor&) = delete;
  Decompressor& operator=(const Decompressor&) = delete;
  ~Decompressor() {
    if (created) jpeg_destroy_decompress(&info);
  }
};

bool TooLarge(const jpeg_decompress_struct& info) {
  const std::size_t row =
      (static_cast<std::size_t>(info.image_width) * info.num_components * 8 + 31) / 32 * 4;
  return info.image_height != 0 && row > kMaxDecodedBytes / info.image_height;
}

// The library leaves through longjmp from any of its calls below, so this function holds no
// object with a destructor: everything it allocates belongs to its arguments.
bool Decode(Decompressor& d, const std::uint8_t* data, std::uint32_t size, DecodedImage& image) {
  d.info.err = jpeg_std_error(&d.errors.pub);
  d.errors.pub.error_exit = ExitToRecovery;
  if (setjmp(d.errors.recovery) != 0) return false;
  jpeg_create_decompress(&d.info);
  d.created = true;
  AttachMemorySource(&d.info, data, size);
  jpeg_read_header(&d.info, TRUE);
  if (TooLarge(d.info)) return false;
  if (d.info.out_color_space == JCS_RGB) d.info.out_color_space = JCS_EXT_BGR;
  jpeg_start_decompress(&d.info);
  image.width = static_cast<std::int32_t>(d.info.output_width);
  image.height = static_cast<std::int32_t>(d.info.output_height);
  image.components = d.info.output_components;
  const std::size_t stride = image.Stride();
  image.pixels.reset(new (std::nothrow) std::uint8_t[stride * image.height]);
  if (!image.pixels) return false;
  while (d.info.output_scanline < d.info.output_height) {
    JSAMPROW row = image.pixels.get() + stride * d.info.output_scanline;
    if (jpeg_read_scanlines(&d.info, &row, 1) != 1) return false;
  }
  jpeg_finish_decompress(&d.info);
  return true;
}

}  // namespace

std::size_t DecodedImage::Stride() const {
  return (static_cast<std::size_t>(width) * components * 8 + 31) / 32 * 4;
}

int FreeDecodedImage(DecodedImage* image) {
  if (image == nullptr) return 0;
  delete image;
  return 1;
}

DecodedImagePtr DecodeJpegImage(const std::uint8_t* data, std::size_t size) {
  if (data == nullptr || size < 4 || size > std::numeric_limits<std::uint32_t>::max()) {
    return nullptr;
  }
  DecodedImagePtr image(new (std::nothrow) DecodedImage);
  if (!image) return nullptr;
  Decompressor decompressor;
  if (!Decode(decompressor, data, static_cast<std::uint32_t>(size), *image)) return nullptr;
  return image;
}

}  // namespace vantorel::skin
