// Pictures from files and from the resource library, and the check of the library's bytes.
#include <gtest/gtest.h>

#include <QDirIterator>
#include <QFile>
#include <QResource>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>

#include "tests/ui/skin/jpeg_fixture.h"
#include "ui/skin/resource_bundle_check.h"
#include "ui/skin/skin_bitmap.h"
#include "ui/skin/skin_ids.h"

namespace vantorel::skin {
namespace {

using testing::Bytes;

DecodedImage Hand(int width, int height, int components, const Bytes& rows) {
  DecodedImage image;
  image.width = width;
  image.height = height;
  image.components = components;
  image.pixels = std::make_unique<std::uint8_t[]>(rows.size());
  std::memcpy(image.pixels.get(), rows.data(), rows.size());
  return image;
}

// Bytes of pixel x in row y of a premultiplied ARGB32 picture: blue, green, red, alpha.
Bytes PixelBytes(const QImage& image, int x, int y) {
  const std::uint8_t* p = image.constScanLine(y) + 4 * x;
  return Bytes(p, p + 4);
}

TEST(AlphaBitmap, MaskValuesZeroAndFullScaleTheColour) {
  // Two pixels, blue 200, green 100, red 50, row padded to 8 bytes; mask 0 and 255.
  const DecodedImage colour = Hand(2, 1, 3, {200, 100, 50, 200, 100, 50, 0xEE, 0xEE});
  const DecodedImage mask = Hand(2, 1, 1, {0, 255, 0xEE, 0xEE});
  const QImage bitmap = AlphaBitmapFromDecoded(&colour, &mask);
  ASSERT_EQ(bitmap.format(), QImage::Format_ARGB32_Premultiplied);
  EXPECT_EQ(PixelBytes(bitmap, 0, 0), (Bytes{0, 0, 0, 0}));
  EXPECT_EQ(PixelBytes(bitmap, 1, 0), (Bytes{199, 99, 49, 254}));
}

TEST(AlphaBitmap, OnePixelWideMaskIsReadWithThePaddedStride) {
  const DecodedImage colour =
      Hand(1, 3, 3, {255, 255, 255, 0xEE, 255, 255, 255, 0xEE, 255, 255, 255, 0xEE});
  const DecodedImage mask =
      Hand(1, 3, 1, {10, 0xEE, 0xEE, 0xEE, 128, 0xEE, 0xEE, 0xEE, 255, 0xEE, 0xEE, 0xEE});
  const QImage bitmap = AlphaBitmapFromDecoded(&colour, &mask);
  ASSERT_FALSE(bitmap.isNull());
  EXPECT_EQ(PixelBytes(bitmap, 0, 0), (Bytes{9, 9, 9, 9}));
  EXPECT_EQ(PixelBytes(bitmap, 0, 1), (Bytes{127, 127, 127, 127}));
  EXPECT_EQ(PixelBytes(bitmap, 0, 2), (Bytes{254, 254, 254, 254}));
}

class PictureFiles : public ::testing::Test {
 protected:
  QString Write(const char* name, const Bytes& bytes) {
    const QString path = dir.filePath(QString::fromLatin1(name));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    return path;
  }
  QTemporaryDir dir;
};

TEST_F(PictureFiles, ColourAndMaskMakeAnAlphaPicture) {
  const QImage bitmap =
      LoadAlphaBitmap(Write("c.jpg", testing::SolidColourJpeg(8, 6, 50, 100, 200)),
                      Write("m.jpg", testing::SolidGreyJpeg(8, 6, 255)));
  ASSERT_EQ(bitmap.size(), QSize(8, 6));
  const Bytes p = PixelBytes(bitmap, 7, 5);
  EXPECT_NEAR(p[0], 199, 2);
  EXPECT_NEAR(p[1], 99, 2);
  EXPECT_NEAR(p[2], 49, 2);
  EXPECT_EQ(p[3], 254);
}

TEST_F(PictureFiles, OnePixelWideMaskJpegDecodesRowByRow) {
  Bytes rows(16, 0);
  std::fill(rows.begin() + 8, rows.end(), 255);
  const QImage bitmap =
      LoadAlphaBitmap(Write("c.jpg", testing::SolidColourJpeg(1, 16, 255, 255, 255)),
                      Write("m.jpg", testing::EncodeJpeg(1, 16, 1, rows)));
  ASSERT_EQ(bitmap.size(), QSize(1, 16));
  EXPECT_LE(PixelBytes(bitmap, 0, 0)[3], 3);
  EXPECT_GE(PixelBytes(bitmap, 0, 15)[3], 250);
}

TEST_F(PictureFiles, MismatchedPicturesGiveNothing) {
  const QString colour = Write("c.jpg", testing::SolidColourJpeg(8, 8, 1, 2, 3));
  EXPECT_TRUE(
      LoadAlphaBitmap(colour, Write("wide.jpg", testing::SolidGreyJpeg(9, 8, 255))).isNull());
  EXPECT_TRUE(
      LoadAlphaBitmap(colour, Write("tall.jpg", testing::SolidGreyJpeg(8, 9, 255))).isNull());
  EXPECT_TRUE(LoadAlphaBitmap(colour, colour).isNull());  // a colour picture as the mask
  EXPECT_TRUE(LoadAlphaBitmap(Write("g.jpg", testing::SolidGreyJpeg(8, 8, 1)),
                              Write("m.jpg", testing::SolidGreyJpeg(8, 8, 1)))
                  .isNull());
  EXPECT_TRUE(LoadAlphaBitmap(colour, dir.filePath("missing.jpg")).isNull());
}

TEST_F(PictureFiles, OpaquePictureFromColourOrGrey) {
  const QImage colour = LoadSkinBitmap(Write("c.jpg", testing::SolidColourJpeg(4, 4, 250, 20, 10)));
  ASSERT_EQ(colour.size(), QSize(4, 4));
  EXPECT_NEAR(qRed(colour.pixel(3, 3)), 250, 2);
  EXPECT_NEAR(qBlue(colour.pixel(3, 3)), 10, 2);
  const QImage grey = LoadSkinBitmap(Write("g.jpg", testing::SolidGreyJpeg(4, 4, 90)));
  EXPECT_EQ(grey.pixel(0, 0), qRgb(90, 90, 90));
}

TEST_F(PictureFiles, TruncatedJpegStillGivesAPicture) {
  const Bytes cut = testing::TruncatedAfterHeader(testing::SolidColourJpeg(40, 30, 9, 9, 9));
  EXPECT_EQ(LoadSkinBitmap(Write("cut.jpg", cut)).size(), QSize(40, 30));
}

TEST_F(PictureFiles, TenBytesOrFewerAreNotDecoded) {
  // The decoder reports every picture it cannot read; a file it never sees stays silent.
  const Bytes junk(11, 0x5A);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(LoadDecodedImage(Write("ten", Bytes(junk.begin(), junk.begin() + 10))), nullptr);
  EXPECT_EQ(LoadDecodedImage(Write("empty", Bytes())), nullptr);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(LoadDecodedImage(Write("eleven", junk)), nullptr);
  EXPECT_NE(::testing::internal::GetCapturedStderr(), "");
}

TEST(ResourceLibrary, MissingOrBrokenLibraryDoesNotLoad) {
  QTemporaryDir dir;
  EXPECT_EQ(ResourceLibrary::Load(dir.filePath("RESDLL.rcc")), nullptr);
  QFile junk(dir.filePath("junk.rcc"));
  ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
  junk.write("not a resource bundle");
  junk.close();
  EXPECT_EQ(ResourceLibrary::Load(junk.fileName()), nullptr);
}

TEST(ResourceLibrary, FramePictureComesFromTheLibraryWhileItIsLoaded) {
  {
    const auto library = ResourceLibrary::Load(QStringLiteral(VANTOREL_RESDLL_PATH));
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(LoadSkinBitmap(*library, kFramePicture).size(), QSize(384, 288));
    EXPECT_TRUE(LoadSkinBitmap(*library, 9999).isNull());
  }
  EXPECT_FALSE(QResource(QStringLiteral(":/APPDATA/152")).isValid());
}

// The library the build makes, as bytes.
Bytes BuiltLibrary() {
  QFile file(QStringLiteral(VANTOREL_RESDLL_PATH));
  EXPECT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray all = file.readAll();
  return Bytes(all.begin(), all.end());
}

std::uint32_t GetU32(const Bytes& b, std::size_t at) {
  return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) |
         (std::uint32_t{b[at + 2]} << 8) | b[at + 3];
}

void PutU32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (std::size_t i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

// Where the built library keeps its parts: format version 3 (a 24-byte header, 22-byte tree
// nodes), the pictures first, then the names, then the tree. Node 0 is the root, node 1 the
// APPDATA folder, nodes 2 on its pictures.
struct Layout {
  explicit Layout(const Bytes& b)
      : size(b.size()), data(GetU32(b, 12)), names(GetU32(b, 16)), tree(GetU32(b, 8)) {}
  std::size_t Node(std::size_t i) const { return tree + 22 * i; }
  std::size_t size, data, names, tree;
};

TEST(ResourceBundleCheck, BuiltLibraryIsSoundAndLaidOutAsTheCasesExpect) {
  const Bytes built = BuiltLibrary();
  EXPECT_EQ(CheckResourceBundle(built), BundleFault::kNone);
  const Layout layout(built);
  EXPECT_EQ(GetU32(built, 4), 3u);
  EXPECT_LT(layout.data, layout.names);
  EXPECT_LT(layout.names, layout.tree);
  EXPECT_EQ(GetU32(built, layout.Node(1) + 10), 2u);
}

struct CraftedCase {
  const char* name;
  void (*craft)(Bytes&, const Layout&);
  BundleFault fault;
};

class CraftedLibrary : public ::testing::TestWithParam<CraftedCase> {};

TEST_P(CraftedLibrary, IsRefusedForItsFault) {
  Bytes bytes = BuiltLibrary();
  GetParam().craft(bytes, Layout(bytes));
  EXPECT_EQ(CheckResourceBundle(bytes), GetParam().fault);
  EXPECT_EQ(ResourceLibrary::FromBytes(bytes), nullptr);
}

const CraftedCase kCraftedCases[] = {
    {"CutInTheHeader", [](Bytes& b, const Layout&) { b.resize(22); }, BundleFault::kHeader},
    {"CutBeforeTheTree", [](Bytes& b, const Layout& l) { b.resize(l.tree); },
     BundleFault::kSections},
    {"CutInTheLastNode", [](Bytes& b, const Layout&) { b.pop_back(); }, BundleFault::kTree},
    {"TreeOffsetPastTheEnd", [](Bytes& b, const Layout& l) { PutU32(b, 8, l.size); },
     BundleFault::kSections},
    {"NegativeDataOffset", [](Bytes& b, const Layout&) { PutU32(b, 12, 0xFFFFFFF0); },
     BundleFault::kSections},
    {"ChildrenRunPastTheEnd", [](Bytes& b, const Layout& l) { PutU32(b, l.Node(1) + 10, 3); },
     BundleFault::kTree},
    {"ChildCountPastTheEnd",
     [](Bytes& b, const Layout& l) { PutU32(b, l.Node(1) + 6, 0x7FFFFFFF); }, BundleFault::kTree},
    {"FolderHoldsTheRoot", [](Bytes& b, const Layout& l) { PutU32(b, l.Node(1) + 10, 0); },
     BundleFault::kTree},
    {"NameOffsetPastTheEnd", [](Bytes& b, const Layout& l) { PutU32(b, l.Node(2), l.size); },
     BundleFault::kName},
    {"NameNotMatchingItsHash",
     [](Bytes& b, const Layout& l) { b[l.names + GetU32(b, l.Node(2)) + 7] ^= 1; },
     BundleFault::kName},
    {"DataOffsetPastTheEnd", [](Bytes& b, const Layout& l) { PutU32(b, l.Node(2) + 10, l.size); },
     BundleFault::kData},
    {"DataLengthPastTheEnd",
     [](Bytes& b, const Layout& l) { PutU32(b, l.data + GetU32(b, l.Node(2) + 10), l.size); },
     BundleFault::kData},
    {"CompressedPicture", [](Bytes& b, const Layout& l) { b[l.Node(2) + 5] = 0x01; },
     BundleFault::kCompressed},
};

INSTANTIATE_TEST_SUITE_P(Library, CraftedLibrary, ::testing::ValuesIn(kCraftedCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The built library damaged by the seed: cut, bytes flipped anywhere, bytes flipped in the
// header, names or tree, or a header or tree field overwritten with an offset at or past the end.
Bytes Damaged(Bytes bytes, unsigned seed) {
  std::mt19937 random(seed);
  const Layout layout(bytes);
  const auto pick = [&](std::size_t low, std::size_t high) {
    return std::uniform_int_distribution<std::size_t>(low, high - 1)(random);
  };
  constexpr std::size_t kHeader = 24;
  const auto structural = [&] {
    const std::size_t at = pick(0, kHeader + layout.size - layout.names);
    return at < kHeader ? at : layout.names + at - kHeader;
  };
  const auto flip = [&](std::size_t at) { bytes[at] ^= static_cast<std::uint8_t>(pick(1, 256)); };
  switch (seed % 4) {
    case 0:
      bytes.resize(pick(0, layout.size));
      break;
    case 1:
      for (std::size_t n = pick(1, 5); n > 0; --n) flip(pick(0, layout.size));
      break;
    case 2:
      for (std::size_t n = pick(1, 5); n > 0; --n) flip(structural());
      break;
    default: {
      const std::uint32_t size = static_cast<std::uint32_t>(layout.size);
      const std::uint32_t values[] = {size, size - 1, 0x7FFFFFFF, 0xFFFFFFFF,
                                      static_cast<std::uint32_t>(random())};
      PutU32(bytes, std::min(structural(), layout.size - 4), values[pick(0, std::size(values))]);
    }
  }
  return bytes;
}

// Every file resource of every registered bundle.
QStringList ResourcePaths() {
  QStringList paths;
  QDirIterator it(QStringLiteral(":/"), QDir::Files, QDirIterator::Subdirectories);
  while (it.hasNext()) paths << it.next();
  return paths;
}

// Whatever Qt reads from a library it was given lies within the library's bytes.
TEST(ResourceLibrary, DamagedLibraryIsRefusedOrReadWithinItsBytes) {
  const Bytes built = BuiltLibrary();
  const QStringList ownResources = ResourcePaths();
  int refused = 0;
  for (unsigned seed = 0; seed < 200; ++seed) {
    SCOPED_TRACE(seed);
    const auto library = ResourceLibrary::FromBytes(Damaged(built, seed));
    if (!library) {
      ++refused;
      continue;
    }
    const auto begin = reinterpret_cast<std::uintptr_t>(library->Bytes().data());
    const auto end = begin + library->Bytes().size();
    for (const QString& path : ResourcePaths()) {
      const QResource resource(path);
      if (ownResources.contains(path) || !resource.isValid()) continue;
      const auto data = reinterpret_cast<std::uintptr_t>(resource.data());
      EXPECT_TRUE(data >= begin && data <= end && resource.size() <= qint64(end - data))
          << path.toStdString();
    }
    LoadSkinBitmap(*library, kFramePicture);
  }
  EXPECT_GT(refused, 0);
  EXPECT_LT(refused, 200);
}

// Every picture the widget tables name exists in the library, at its widget's size.
struct SkinCase {
  SkinButtonInfo button;
  Rect first;
};

class SkinPictures : public ::testing::TestWithParam<SkinCase> {};

TEST_P(SkinPictures, EveryStateHasItsPictureAtTheWidgetsSize) {
  const auto library = ResourceLibrary::Load(QStringLiteral(VANTOREL_RESDLL_PATH));
  ASSERT_NE(library, nullptr);
  const SkinCase& c = GetParam();
  for (std::size_t state = 0; state < 4; ++state) {
    const QImage picture =
        LoadAlphaBitmap(*library, c.button.pictures.colour[state], c.button.pictures.mask[state]);
    EXPECT_EQ(picture.size(), QSize(c.first.Width(), c.first.Height()))
        << "picture " << c.button.pictures.colour[state];
  }
}

std::vector<SkinCase> AllWidgets() {
  std::vector<SkinCase> cases;
  cases.push_back({kFrameButtons[0], kHomePageFirstRect});
  for (std::size_t i = 1; i < kFrameButtons.size(); ++i) {
    cases.push_back({kFrameButtons[i], kSmallButtonFirstRect});
  }
  for (const SkinButtonInfo& button : kTransportButtons)
    cases.push_back({button, kTransportFirstRect});
  cases.push_back({kSeekSlider, kSeekThumbFirstRect});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Skin, SkinPictures, ::testing::ValuesIn(AllWidgets()));

}  // namespace
}  // namespace vantorel::skin
