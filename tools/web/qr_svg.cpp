#include "tools/web/qr_svg.h"

#include <memory>

#include <qrencode.h>

namespace vantorel::web {
namespace {

struct QrCodeFree {
  void operator()(QRcode* code) const { QRcode_free(code); }
};
using QrCodePtr = std::unique_ptr<QRcode, QrCodeFree>;

// The run of dark modules from (x, y) to the right.
int DarkRun(const QRcode& code, int x, int y) {
  int run = 0;
  while (x + run < code.width && (code.data[y * code.width + x + run] & 1) != 0) ++run;
  return run;
}

}  // namespace

std::optional<std::string> QrSvg(std::string_view text) {
  const std::string bytes(text);
  const QrCodePtr code(QRcode_encodeString8bit(bytes.c_str(), 0, QR_ECLEVEL_M));
  if (!code) return std::nullopt;
  const int size = code->width + 2 * kQrQuietZone;
  const std::string side = std::to_string(size);
  std::string svg =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" viewBox=\"0 0 " +
      side + " " + side + "\" width=\"" + std::to_string(size * 4) + "\" height=\"" +
      std::to_string(size * 4) +
      "\" shape-rendering=\"crispEdges\">\n"
      "<rect width=\"" +
      side + "\" height=\"" + side + "\" fill=\"#ffffff\"/>\n<path fill=\"#000000\" d=\"";
  for (int y = 0; y < code->width; ++y) {
    for (int x = 0; x < code->width;) {
      const int run = DarkRun(*code, x, y);
      if (run == 0) {
        ++x;
        continue;
      }
      svg += "M" + std::to_string(x + kQrQuietZone) + " " + std::to_string(y + kQrQuietZone) + "h" +
             std::to_string(run) + "v1h-" + std::to_string(run) + "z";
      x += run;
    }
  }
  svg += "\"/>\n</svg>\n";
  return svg;
}

}  // namespace vantorel::web
