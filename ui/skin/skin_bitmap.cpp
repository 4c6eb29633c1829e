#include "ui/skin/skin_bitmap.h"

#include "ui/skin/resource_bundle_check.h"

#include <QFile>
#include <QFileInfo>
#include <QResource>

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>

namespace vantorel::skin {
namespace {

// Fewer bytes than this are not worth decoding.
constexpr qint64 kMinImageBytes = 11;
// A picture file larger than this is not read; skin pictures are a few kilobytes.
constexpr qint64 kMaxImageFileBytes = 16 << 20;
// The skin's library is under a megabyte.
constexpr qint64 kMaxLibraryBytes = 64 << 20;

DecodedImagePtr DecodeBytes(const uchar* data, qint64 size) {
  if (data == nullptr || size < kMinImageBytes) return nullptr;
  return DecodeJpegImage(data, static_cast<std::size_t>(size));
}

}  // namespace

std::unique_ptr<ResourceLibrary> ResourceLibrary::Load(const QString& path) {
  QFile file(path);
  if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) return nullptr;
  const qint64 size = file.size();
  if (size > kMaxLibraryBytes) return nullptr;
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  if (file.read(reinterpret_cast<char*>(bytes.data()), size) != size) return nullptr;
  return FromBytes(std::move(bytes));
}

std::unique_ptr<ResourceLibrary> ResourceLibrary::FromBytes(std::vector<std::uint8_t> bytes) {
  if (const BundleFault fault = CheckResourceBundle(bytes); fault != BundleFault::kNone) {
    const std::string_view text = BundleFaultText(fault);
    qWarning("Resource library refused: %.*s", static_cast<int>(text.size()), text.data());
    return nullptr;
  }
  auto library = std::unique_ptr<ResourceLibrary>(new ResourceLibrary(std::move(bytes)));
  if (!QResource::registerResource(library->bytes_.data())) return nullptr;
  return library;
}

QString ResourceLibrary::DefaultPath() {
  return QString::fromStdString((profile::ProgramFolder() / kResourceLibraryName).string());
}

ResourceLibrary::~ResourceLibrary() {
  QResource::unregisterResource(bytes_.data());
}

DecodedImagePtr LoadDecodedImage(const ResourceLibrary&, int name) {
  const QResource resource(QStringLiteral(":/APPDATA/%1").arg(name));
  // A library holds no compressed entries; one of another bundle is not inflated either.
  if (!resource.isValid() || resource.compressionAlgorithm() != QResource::NoCompression) {
    return nullptr;
  }
  return DecodeBytes(resource.data(), resource.size());
}

DecodedImagePtr LoadDecodedImage(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return nullptr;
  const qint64 size = file.size();
  if (size < kMinImageBytes || size > kMaxImageFileBytes) return nullptr;
  const QByteArray bytes = file.read(size);
  return DecodeBytes(reinterpret_cast<const uchar*>(bytes.constData()), bytes.size());
}

QImage SkinBitmapFromDecoded(const DecodedImage& image) {
  if (image.components != 3 && image.components != 1) return {};
  QImage bitmap(image.width, image.height, QImage::Format_RGB32);
  if (bitmap.isNull()) return {};
  for (int y = 0; y < image.height; ++y) {
    const std::uint8_t* src = image.Row(y);
    auto* dst = reinterpret_cast<QRgb*>(bitmap.scanLine(y));
    for (int x = 0; x < image.width; ++x) {
      dst[x] = image.components == 3 ? qRgb(src[3 * x + 2], src[3 * x + 1], src[3 * x])
                                     : qRgb(src[x], src[x], src[x]);
    }
  }
  return bitmap;
}

QImage LoadSkinBitmap(const ResourceLibrary& module, int name) {
  const DecodedImagePtr image = LoadDecodedImage(module, name);
  return image ? SkinBitmapFromDecoded(*image) : QImage();
}

QImage LoadSkinBitmap(const QString& path) {
  const DecodedImagePtr image = LoadDecodedImage(path);
  return image ? SkinBitmapFromDecoded(*image) : QImage();
}

QImage AlphaBitmapFromDecoded(const DecodedImage* colour, const DecodedImage* mask) {
  if (colour == nullptr || mask == nullptr || colour->components != 3 || mask->components != 1 ||
      colour->width != mask->width || colour->height != mask->height) {
    return {};
  }
  // Byte order of a premultiplied ARGB32 pixel in memory: blue, green, red, alpha.
  QImage bitmap(colour->width, colour->height, QImage::Format_ARGB32_Premultiplied);
  if (bitmap.isNull()) return {};
  for (int y = 0; y < colour->height; ++y) {
    const std::uint8_t* c = colour->Row(y);
    const std::uint8_t* m = mask->Row(y);
    auto* dst = reinterpret_cast<QRgb*>(bitmap.scanLine(y));
    for (int x = 0; x < colour->width; ++x) {
      const unsigned a = m[x];
      dst[x] = qRgba((c[3 * x + 2] * a) >> 8, (c[3 * x + 1] * a) >> 8, (c[3 * x] * a) >> 8,
                     a > 0 ? a - 1 : 0);
    }
  }
  return bitmap;
}

QImage LoadAlphaBitmap(const ResourceLibrary& module, int colourName, int maskName) {
  const DecodedImagePtr colour = LoadDecodedImage(module, colourName);
  const DecodedImagePtr mask = LoadDecodedImage(module, maskName);
  return AlphaBitmapFromDecoded(colour.get(), mask.get());
}

QImage LoadAlphaBitmap(const QString& colourPath, const QString& maskPath) {
  const DecodedImagePtr colour = LoadDecodedImage(colourPath);
  const DecodedImagePtr mask = LoadDecodedImage(maskPath);
  return AlphaBitmapFromDecoded(colour.get(), mask.get());
}

}  // namespace vantorel::skin
