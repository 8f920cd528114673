#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>

#include "model/canvas.h"
#include "picture/bitmap_picture.h"
#include "picture/decoders.h"
#include "tests/picture/bmp_builder.h"
#include "tests/picture/metafile_builder.h"
#include "tests/picture/picture_text.h"
#include "tests/support/raster_text.h"

namespace {

using mftest::Bytes;
using mftest::IconDib;
using mftest::IconEntry;

using pictest::kBlue;
using pictest::kGreen;
using pictest::kRed;
using pictest::kStale;

const testsupport::Legend kLegend = [] {
  testsupport::Legend legend = pictest::PictureLegend();
  legend[0xFFFF00] = 'c';
  legend[0x00FFFF] = 'y';
  return legend;
}();

model::Canvas Draw(const Bytes& file, int width, int height) {
  model::Canvas canvas(width, height);
  canvas.Fill(kStale);
  picture::DecodeIcon(file)->StretchDraw(canvas, {0, 0, width, height});
  return canvas;
}

// The same 4 x 2 picture at each depth: red, green, blue, black over black, blue, green, red,
// with the mask set on the last pixel of each row.
const std::vector<std::string> kMask = {"0001", "1000"};
const std::vector<std::vector<std::uint32_t>> kIndices = {{1, 2, 3, 0}, {0, 3, 2, 1}};
const std::vector<model::Colour> kPalette = {model::kBlack, kRed, kGreen, kBlue};

Bytes EntryAt(int bitCount, const std::vector<std::string>& mask = kMask) {
  if (bitCount <= 8) {
    return IconDib(4, 2, bitCount, kPalette, bmptest::PackRows(kIndices, bitCount), mask);
  }
  std::vector<std::vector<std::uint32_t>> rows;
  for (const auto& r : kIndices) {
    rows.emplace_back();
    for (std::uint32_t i : r) rows.back().push_back(bmptest::Stored(kPalette[i]));
  }
  return IconDib(4, 2, bitCount, {}, bmptest::PackRows(rows, bitCount), mask);
}

TEST(Icon, EveryDepthDrawsItsColoursAndMaskedPixelsWhite) {
  for (int bitCount : {1, 4, 8, 24, 32}) {
    // One bit a pixel holds only black and red here.
    const std::vector<std::string> expected = bitCount == 1
                                                  ? std::vector<std::string>{"rr# ", " ###"}
                                                  : std::vector<std::string>{"rgb ", " bgr"};
    Bytes entry;
    if (bitCount == 1) {
      entry = IconDib(4, 2, 1, {model::kBlack, kRed},
                      bmptest::PackRows({{1, 1, 0, 0}, {0, 0, 0, 0}}, 1), kMask);
    } else {
      entry = EntryAt(bitCount);
    }
    const Bytes file = mftest::BuildIcon({{4, 2, bitCount, entry}});
    const auto picture = picture::DecodeIcon(file);
    EXPECT_EQ(picture->Width(), 4) << bitCount;
    EXPECT_EQ(picture->Height(), 2) << bitCount;
    EXPECT_TRUE(testsupport::RasterMatches(Draw(file, 4, 2), 0, 0, expected, kLegend)) << bitCount;
  }
}

TEST(Icon, AMaskedPixelIsWhiteWhateverColourLiesUnderIt) {
  // The mask over the top row's red, green, blue and black.
  for (int bitCount : {4, 8, 24}) {
    const Bytes file = mftest::BuildIcon({{4, 2, bitCount, EntryAt(bitCount, {"1111"})}});
    EXPECT_TRUE(testsupport::RasterMatches(Draw(file, 4, 2), 0, 0, {"    ", "#bgr"}, kLegend))
        << bitCount;
  }
}

TEST(Icon, ThirtyTwoBitsUseAlphaOrTheMaskWhenAlphaIsAllZero) {
  // Red at alpha 255, 128 and 0, then blue at 255; the mask says the opposite of the alpha.
  const Bytes rows = {0, 0, 255, 255, 0, 0, 255, 128, 0, 0, 255, 0, 255, 0, 0, 255};
  const Bytes alpha = IconDib(4, 1, 32, {}, rows, {"0001"});
  const auto blended = picture::DecodeIcon(mftest::BuildIcon({{4, 1, 32, alpha}}));
  model::Canvas canvas(4, 1);
  blended->StretchDraw(canvas, {0, 0, 4, 1});
  EXPECT_EQ(canvas.Pixel(0, 0), kRed);
  EXPECT_EQ(canvas.Pixel(1, 0), model::Rgb(255, 127, 127));  // half red over white
  EXPECT_EQ(canvas.Pixel(2, 0), model::kWhite);
  EXPECT_EQ(canvas.Pixel(3, 0), kBlue);

  Bytes noAlpha = rows;
  for (std::size_t i = 3; i < noAlpha.size(); i += 4) noAlpha[i] = 0;
  const Bytes masked = IconDib(4, 1, 32, {}, noAlpha, {"0001"});
  // The masked blue pixel is white.
  EXPECT_TRUE(testsupport::RasterMatches(Draw(mftest::BuildIcon({{4, 1, 32, masked}}), 4, 1), 0, 0,
                                         {"rrr "}, kLegend));
}

Bytes Png(int width, int height, QRgb fill) {
  QImage image(width, height, QImage::Format_ARGB32);
  image.fill(fill);
  image.setPixel(0, 0, qRgba(0, 0, 0, 0));
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return Bytes(bytes.begin(), bytes.end());
}

TEST(Icon, PngEntryIsReadWithItsTransparencyOnWhite) {
  const Bytes file = mftest::BuildIcon({{3, 2, 32, Png(3, 2, qRgb(0, 0, 255))}});
  EXPECT_TRUE(testsupport::RasterMatches(Draw(file, 3, 2), 0, 0, {" bb", "bbb"}, kLegend));
}

TEST(Icon, TheLargestEntryThenTheDeepestIsThePicture) {
  // 2 x 1 entries are smaller; of the 4 x 2 ones the 8-bit entry is deeper than the 4-bit one.
  const Bytes small = IconDib(2, 1, 32, {}, Bytes(8, 0), {});
  const Bytes four =
      IconDib(4, 2, 4, {kGreen}, bmptest::PackRows({{0, 0, 0, 0}, {0, 0, 0, 0}}, 4), {});
  const Bytes eight = EntryAt(8);
  const Bytes file = mftest::BuildIcon({{2, 1, 32, small}, {4, 2, 4, four}, {4, 2, 8, eight}});
  EXPECT_TRUE(testsupport::RasterMatches(Draw(file, 4, 2), 0, 0, {"rgb ", " bgr"}, kLegend));
  // A PNG entry that is larger wins over every DIB.
  const Bytes withPng =
      mftest::BuildIcon({{4, 2, 8, eight}, {5, 3, 32, Png(5, 3, qRgb(0, 255, 0))}});
  EXPECT_EQ(picture::DecodeIcon(withPng)->Width(), 5);
  // The directory's own sizes are not trusted: the header of each entry is.
  Bytes lying = file;
  lying[6] = 200;  // the first entry claims to be 200 wide
  EXPECT_EQ(picture::DecodeIcon(lying)->Width(), 4);
}

TEST(Icon, ABrokenBestEntryGivesWayToTheNext) {
  Bytes broken = EntryAt(32);
  broken[0] = 41;  // not a header size
  const Bytes file =
      mftest::BuildIcon({{4, 2, 32, broken}, {2, 1, 32, IconDib(2, 1, 32, {}, Bytes(8, 0), {})}});
  EXPECT_EQ(picture::DecodeIcon(file)->Width(), 2);
}

TEST(Icon, ManyEntriesOfABrokenPictureAreNotAllTried) {
  // A PNG cut short within its pixel data, so each try allocates and inflates before it fails.
  // 20000 directory entries all name it; a few of them are tried.
  QImage image(256, 256, QImage::Format_ARGB32);
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) image.setPixel(x, y, qRgb(x * 7, y * 13, x ^ y));
  }
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  png.truncate(png.size() / 2);
  constexpr std::uint32_t kEntries = 20000;
  const std::uint32_t dataAt = 6 + 16 * kEntries;
  Bytes file;
  mftest::Put16(file, 0);
  mftest::Put16(file, 1);
  mftest::Put16(file, static_cast<std::uint16_t>(kEntries));
  for (std::uint32_t i = 0; i < kEntries; ++i) {
    file.insert(file.end(), 8, 0);
    mftest::Put32(file, static_cast<std::uint32_t>(png.size()));
    mftest::Put32(file, dataAt);
  }
  file.insert(file.end(), png.begin(), png.end());
  picture::IconWork work;
  EXPECT_EQ(pictest::ErrorOf([&](const Bytes& f) { picture::DecodeIconCounting(f, work); }, file),
            "Icon image is not valid");
  EXPECT_EQ(work.entriesDecoded, picture::kMaxIconTries);
}

TEST(Icon, EntriesAreDecodedUntilOneGivesAPicture) {
  Bytes broken = EntryAt(32);
  broken[0] = 41;  // not a header size: measured, but never decoded
  Bytes cut = Png(8, 8, qRgb(0, 255, 0));
  cut.resize(cut.size() / 2);  // its header measures it, its pixels fail
  const struct {
    const char* what;
    Bytes file;
    int decoded;
  } cases[] = {
      {"one good entry", mftest::BuildIcon({{4, 2, 8, EntryAt(8)}}), 1},
      {"the best of three",
       mftest::BuildIcon({{4, 2, 8, EntryAt(8)},
                          {4, 2, 4, EntryAt(4)},
                          {2, 1, 32, IconDib(2, 1, 32, {}, Bytes(8, 0), {})}}),
       1},
      {"a header that does not measure",
       mftest::BuildIcon({{4, 2, 32, broken}, {4, 2, 8, EntryAt(8)}}), 1},
      {"a failing best entry, then a good one",
       mftest::BuildIcon({{8, 8, 32, cut}, {4, 2, 8, EntryAt(8)}}), 2},
  };
  for (const auto& c : cases) {
    picture::IconWork work;
    EXPECT_EQ(picture::DecodeIconCounting(c.file, work)->Width(), 4) << c.what;
    EXPECT_EQ(work.entriesDecoded, c.decoded) << c.what;
  }
}

TEST(Icon, TwoColourIconKeepsItsFlagForReduction) {
  const Bytes mono = IconDib(4, 2, 1, {model::kBlack, model::kWhite},
                             bmptest::PackRows({{1, 0, 1, 0}, {0, 1, 0, 1}}, 1), {});
  const auto icon = picture::DecodeIcon(mftest::BuildIcon({{4, 2, 1, mono}}));
  const auto* bitmap = dynamic_cast<const picture::BitmapPicture*>(icon.get());
  ASSERT_NE(bitmap, nullptr);
  EXPECT_TRUE(bitmap->Bitmap().TwoColour());
  EXPECT_FALSE(dynamic_cast<const picture::BitmapPicture*>(
                   picture::DecodeIcon(mftest::BuildIcon({{4, 2, 8, EntryAt(8)}})).get())
                   ->Bitmap()
                   .TwoColour());
}

TEST(Icon, PixelsCutShortDecodeAsZeroesNotAsAnError) {
  Bytes entry = EntryAt(24);
  entry.resize(entry.size() - 20);  // the mask and part of the top colour row
  const Bytes file = mftest::BuildIcon({{4, 2, 24, entry}});
  const model::Canvas canvas = Draw(file, 4, 2);
  EXPECT_EQ(canvas.Pixel(0, 1), model::kBlack);  // bottom row first: still there
  EXPECT_EQ(canvas.Pixel(1, 1), kBlue);
}

TEST(Icon, UnreadableFilesAreRefused) {
  const Bytes good = mftest::BuildIcon({{4, 2, 8, EntryAt(8)}});
  auto with = [&](std::size_t at, std::uint8_t value) {
    Bytes b = good;
    b[at] = value;
    return b;
  };
  Bytes hugeEntry = mftest::BuildIcon({{4, 2, 8, EntryAt(8)}});
  hugeEntry[22 + 4] = 0x30;  // width 0x3004
  hugeEntry[22 + 5] = 0x30;
  Bytes offsetOutside = good;
  offsetOutside[18] = 0xFF;
  offsetOutside[19] = 0xFF;
  const std::vector<Bytes> files = {
      {0},                                     // shorter than the directory header
      with(0, 1),                              // reserved word not zero
      with(2, 3),                              // neither icon nor cursor
      with(4, 0),                              // no entries
      with(4, 200),                            // more entries than the file holds
      hugeEntry,                               // a side above 1024
      offsetOutside,                           // the only entry outside the file
      Bytes(good.begin(), good.begin() + 22),  // the directory alone
      Bytes(300, 0xAB),
  };
  for (std::size_t i = 0; i < files.size(); ++i) {
    EXPECT_EQ(pictest::ErrorOf(picture::DecodeIcon, files[i]), "Icon image is not valid") << i;
  }
  EXPECT_TRUE(picture::DecodeIcon({})->Empty());
  // A cursor file is read like an icon.
  EXPECT_EQ(picture::DecodeIcon(mftest::BuildIcon({{4, 2, 8, EntryAt(8)}}, 2))->Width(), 4);
}

TEST(Icon, TransparentPartsReplaceWhatTheCanvasHeld) {
  model::Canvas canvas(6, 4);
  canvas.Fill(kStale);
  picture::DecodeIcon(mftest::BuildIcon({{4, 2, 8, EntryAt(8)}}))
      ->StretchDraw(canvas, {1, 1, 5, 3});
  EXPECT_TRUE(
      testsupport::RasterMatches(canvas, 0, 0, {"ssssss", "srgb s", "s bgrs", "ssssss"}, kLegend));
}

}  // namespace
