// The resource library and the pictures made from it: opaque pictures for the frame, and
// premultiplied alpha pictures (a colour JPEG and a grey JPEG mask) for the widgets.
#pragma once

#include <QImage>
#include <QString>

#include <cstdint>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "platform/profile/program_folder.h"
#include "ui/skin/decoded_image.h"

namespace vantorel::skin {

using profile::kResourceLibraryName;

// A Qt binary resource bundle, registered from its bytes, which this object owns, while it
// lives. Each picture is the resource "/APPDATA/<integer id>", read in place; a QResource or
// QFile on the library must not outlive it.
class ResourceLibrary {
 public:
  // Null when the file is missing, is over 64 MiB, or its bytes are refused by FromBytes.
  static std::unique_ptr<ResourceLibrary> Load(const QString& path);
  // Null unless the bytes are a structurally sound, uncompressed bundle
  // (CheckResourceBundle); they are checked and registered as one copy, so what Qt reads is
  // what was checked.
  static std::unique_ptr<ResourceLibrary> FromBytes(std::vector<std::uint8_t> bytes);
  // The library in the running program's data folder (profile::ProgramFolder).
  static QString DefaultPath();
  ~ResourceLibrary();
  ResourceLibrary(const ResourceLibrary&) = delete;
  ResourceLibrary& operator=(const ResourceLibrary&) = delete;

  std::span<const std::uint8_t> Bytes() const { return bytes_; }

 private:
  explicit ResourceLibrary(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
  const std::vector<std::uint8_t> bytes_;
};

// A picture of the library, or of a file. Null when there is no such resource or file, when it
// holds 10 bytes or fewer (the decoder is not called then), when the file is over 16 MiB, or
// when it does not decode.
DecodedImagePtr LoadDecodedImage(const ResourceLibrary& module, int name);
DecodedImagePtr LoadDecodedImage(const QString& path);

// An opaque picture (RGB32); a grey picture becomes grey colour. Null when nothing decodes.
QImage LoadSkinBitmap(const ResourceLibrary& module, int name);
QImage LoadSkinBitmap(const QString& path);
QImage SkinBitmapFromDecoded(const DecodedImage& image);

// A premultiplied ARGB32 picture: each colour byte c becomes c x a / 256 and the alpha a - 1
// (0 for a = 0), a being the mask's grey value. Null unless the colour picture has three
// components, the mask one, and both have the same size.
QImage LoadAlphaBitmap(const ResourceLibrary& module, int colourName, int maskName);
QImage LoadAlphaBitmap(const QString& colourPath, const QString& maskPath);
QImage AlphaBitmapFromDecoded(const DecodedImage* colour, const DecodedImage* mask);

}  // namespace vantorel::skin
