#include <gtest/gtest.h>

#include <zlib.h>
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

// An icon whose directory names the one `png` `times` times, then `fallback` when given: a few
// bytes of directory for each entry, however large the PNG.
Bytes IconNaming(const Bytes& png, std::uint32_t times, const Bytes& fallback = {}) {
  const std::uint32_t count = times + (fallback.empty() ? 0 : 1);
  const std::uint32_t pngAt = 6 + 16 * count;
  Bytes file;
  mftest::Put16(file, 0);
  mftest::Put16(file, 1);
  mftest::Put16(file, static_cast<std::uint16_t>(count));
  for (std::uint32_t i = 0; i < count; ++i) {
    const bool last = i == times;
    file.insert(file.end(), {0, 0, 0, 0, 1, 0, 32, 0});
    mftest::Put32(file, static_cast<std::uint32_t>(last ? fallback.size() : png.size()));
    mftest::Put32(file, last ? pngAt + static_cast<std::uint32_t>(png.size()) : pngAt);
  }
  file.insert(file.end(), png.begin(), png.end());
  file.insert(file.end(), fallback.begin(), fallback.end());
  return file;
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
  const Bytes file = IconNaming(Bytes(png.begin(), png.end()), 20000);
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

// PNG entries built byte by byte: a header, a palette for palette pictures, the image data as
// given (a zlib stream) in IDAT chunks of at most `chunk` bytes, and the end.
struct PngHeader {
  std::uint32_t width;
  std::uint32_t height;
  int depth;
  int type;  // 0 grey, 2 RGB, 3 palette, 4 grey and alpha, 6 RGBA
  int interlace;
};

void PutChunk(Bytes& png, const char* type, const Bytes& data) {
  auto be32 = [&](std::uint32_t v) {
    for (int shift : {24, 16, 8, 0}) png.push_back(static_cast<std::uint8_t>(v >> shift));
  };
  be32(static_cast<std::uint32_t>(data.size()));
  const std::size_t typeAt = png.size();
  png.insert(png.end(), type, type + 4);
  png.insert(png.end(), data.begin(), data.end());
  be32(static_cast<std::uint32_t>(
      crc32(0, png.data() + typeAt, static_cast<uInt>(png.size() - typeAt))));
}

Bytes BuildPng(const PngHeader& h, const Bytes& stream, std::size_t chunk = 1 << 16) {
  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Bytes ihdr;
  for (std::uint32_t v : {h.width, h.height}) {
    for (int shift : {24, 16, 8, 0}) ihdr.push_back(static_cast<std::uint8_t>(v >> shift));
  }
  ihdr.insert(ihdr.end(), {static_cast<std::uint8_t>(h.depth), static_cast<std::uint8_t>(h.type), 0,
                           0, static_cast<std::uint8_t>(h.interlace)});
  PutChunk(png, "IHDR", ihdr);
  if (h.type == 3) {
    Bytes palette;
    for (int i = 0; i < 256; ++i) palette.insert(palette.end(), {std::uint8_t(i), 0, 0});
    PutChunk(png, "PLTE", palette);
  }
  for (std::size_t at = 0; at < stream.size(); at += chunk) {
    PutChunk(png, "IDAT",
             Bytes(stream.begin() + at, stream.begin() + std::min(stream.size(), at + chunk)));
  }
  PutChunk(png, "IEND", {});
  return png;
}

// The rows of a picture of `h` as a PNG stores them before compression: per pass (one, or the
// seven of Adam7), each row a filter byte 0 then its samples, every sample byte `sample`.
Bytes RawRows(const PngHeader& h, std::uint8_t sample) {
  static constexpr int kChannels[7] = {1, 0, 3, 1, 2, 0, 4};
  const std::uint64_t bits = std::uint64_t(kChannels[h.type]) * h.depth;
  struct Pass {
    std::uint32_t x0, y0, dx, dy;
  };
  std::vector<Pass> passes = {{0, 0, 1, 1}};
  if (h.interlace == 1) {
    passes = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
              {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
  }
  Bytes raw;
  for (const Pass& p : passes) {
    if (h.width <= p.x0 || h.height <= p.y0) continue;
    const std::uint64_t w = (h.width - p.x0 + p.dx - 1) / p.dx;
    for (std::uint32_t y = p.y0; y < h.height; y += p.dy) {
      raw.push_back(0);
      raw.insert(raw.end(), (w * bits + 7) / 8, sample);
    }
  }
  return raw;
}

Bytes Deflate(const Bytes& raw) {
  Bytes out(compressBound(static_cast<uLong>(raw.size())));
  uLongf size = out.size();
  EXPECT_EQ(compress2(out.data(), &size, raw.data(), static_cast<uLong>(raw.size()), 9), Z_OK);
  out.resize(size);
  return out;
}

// A zlib stream of `mebibytes` MiB of zero bytes, about a kilobyte a MiB: one MiB deflated and
// flushed so that it stands on its own, repeated, then an empty last block and the checksum.
Bytes ZeroStream(int mebibytes) {
  const Bytes zeros(1 << 20, 0);
  Bytes segment(compressBound(zeros.size()));
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY), Z_OK);
  z.next_in = const_cast<Bytef*>(zeros.data());
  z.avail_in = static_cast<uInt>(zeros.size());
  z.next_out = segment.data();
  z.avail_out = static_cast<uInt>(segment.size());
  EXPECT_EQ(deflate(&z, Z_FULL_FLUSH), Z_OK);
  segment.resize(segment.size() - z.avail_out);
  deflateEnd(&z);
  Bytes stream = {0x78, 0xDA};
  uLong adler = adler32(0, nullptr, 0);
  const uLong segmentAdler = adler32(1, zeros.data(), static_cast<uInt>(zeros.size()));
  for (int i = 0; i < mebibytes; ++i) {
    stream.insert(stream.end(), segment.begin(), segment.end());
    adler = adler32_combine(adler, segmentAdler, static_cast<z_off_t>(zeros.size()));
  }
  stream.insert(stream.end(), {0x03, 0x00});  // a last fixed-code block holding no data
  for (int shift : {24, 16, 8, 0}) stream.push_back(static_cast<std::uint8_t>(adler >> shift));
  return stream;
}

// The entry picked when the PNG entry gives way: 1 x 1, smaller than every PNG below.
const Bytes kFallback = IconDib(1, 1, 32, {}, Bytes(4, 0), {});

TEST(Icon, PngDataIsInflatedToExactlyItsRowsOrTheEntryGivesWay) {
  const PngHeader grey1 = {5, 3, 1, 0, 0};
  const PngHeader palette4 = {7, 5, 4, 3, 1};
  const PngHeader rgb8 = {3, 2, 8, 2, 0};
  auto exact = [](const PngHeader& h) { return Deflate(RawRows(h, 0xFF)); };
  auto longer = [](const PngHeader& h) {
    Bytes raw = RawRows(h, 0xFF);
    raw.push_back(0);
    return Deflate(raw);
  };
  auto shorter = [](const PngHeader& h) {
    Bytes raw = RawRows(h, 0xFF);
    raw.pop_back();
    return Deflate(raw);
  };
  Bytes badChecksum = exact(rgb8);
  badChecksum.back() ^= 1;
  Bytes cut = exact(rgb8);
  cut.resize(cut.size() - 5);
  // A stream in zlib's bound, then junk that takes the compressed data one byte over it.
  const Bytes rows = RawRows(rgb8, 0xFF);
  Bytes overBound = exact(rgb8);
  overBound.resize(compressBound(static_cast<uLong>(rows.size())) + 1, 0);
  Bytes atBound = Deflate(rows);
  const struct {
    const char* what;
    PngHeader header;
    Bytes stream;
    std::size_t chunk;
    bool decodes;
  } cases[] = {
      {"1-bit grey, rows exactly", grey1, exact(grey1), 1 << 16, true},
      {"1-bit grey, a byte beyond the rows", grey1, longer(grey1), 1 << 16, false},
      {"1-bit grey, a byte short", grey1, shorter(grey1), 1 << 16, false},
      {"4-bit palette, interlaced", palette4, exact(palette4), 1 << 16, true},
      {"4-bit palette, interlaced, a byte beyond", palette4, longer(palette4), 1 << 16, false},
      {"4-bit palette, interlaced, a byte short", palette4, shorter(palette4), 1 << 16, false},
      {"grey and alpha, interlaced, passes left empty",
       {2, 3, 8, 4, 1},
       exact({2, 3, 8, 4, 1}),
       1 << 16,
       true},
      {"16-bit RGBA", {3, 2, 16, 6, 0}, exact({3, 2, 16, 6, 0}), 1 << 16, true},
      {"8-bit RGB in IDAT chunks of 3 bytes", rgb8, exact(rgb8), 3, true},
      {"8-bit RGB, a bad checksum", rgb8, badChecksum, 1 << 16, false},
      {"8-bit RGB, the stream cut short", rgb8, cut, 1 << 16, false},
      {"8-bit RGB, compressed data over the bound", rgb8, overBound, 1 << 16, false},
  };
  for (const auto& c : cases) {
    const Bytes file = mftest::BuildIcon(
        {{int(c.header.width), int(c.header.height), 32, BuildPng(c.header, c.stream, c.chunk)},
         {1, 1, 32, kFallback}});
    picture::IconWork work;
    const auto icon = picture::DecodeIconCounting(file, work);
    EXPECT_EQ(icon->Width(), c.decodes ? int(c.header.width) : 1) << c.what;
    EXPECT_EQ(work.entriesDecoded, c.decodes ? 1 : 2) << c.what;
    EXPECT_LE(work.bytesInflated, RawRows(c.header, 0).size() + 1) << c.what;
  }
  // Refused on its size alone, before anything is inflated.
  picture::IconWork work;
  picture::DecodeIconCounting(
      mftest::BuildIcon({{3, 2, 32, BuildPng(rgb8, overBound)}, {1, 1, 32, kFallback}}), work);
  EXPECT_EQ(work.bytesInflated, 0u);
  // White samples at full alpha: the decoded pixels are the rows' own.
  const Bytes white =
      mftest::BuildIcon({{3, 2, 32, BuildPng({3, 2, 16, 6, 0}, exact({3, 2, 16, 6, 0}))}});
  EXPECT_TRUE(testsupport::RasterMatches(Draw(white, 3, 2), 0, 0, {"   ", "   "}, kLegend));
  EXPECT_TRUE(testsupport::RasterMatches(
      Draw(mftest::BuildIcon({{5, 3, 32, BuildPng(grey1, Deflate(RawRows(grey1, 0)))}}), 5, 3), 0,
      0, {"#####", "#####", "#####"}, kLegend));
}

TEST(Icon, PngDataInflatingFarBeyondItsRowsIsInflatedOnlyToThem) {
  // 1024 x 1024 16-bit grey: 2,098,176 bytes of rows, and zlib's bound for them lets about two
  // megabytes of compressed data through, enough for two gibibytes of zeroes.
  const PngHeader grey = {1024, 1024, 16, 0, 0};
  const std::uint64_t need = RawRows(grey, 0).size();
  const Bytes gibibyte = ZeroStream(1024);
  ASSERT_LE(gibibyte.size(), compressBound(static_cast<uLong>(need)));
  Bytes badChecksum = ZeroStream(1024);
  badChecksum.back() ^= 1;
  const Bytes cut(gibibyte.begin(), gibibyte.begin() + gibibyte.size() / 2);
  const Bytes rows = Deflate(RawRows(grey, 0));
  const struct {
    const char* what;
    Bytes stream;
    int entries;  // directory entries naming the PNG, before the fallback
    int width;    // of the picture decoded; 0 when none is
  } cases[] = {
      {"the rows' zeroes exactly", rows, 1, 1024},
      {"a gibibyte of zeroes", gibibyte, 1, 1},
      {"a gibibyte of zeroes, a bad checksum", badChecksum, 1, 1},
      {"a gibibyte of zeroes cut short", cut, 1, 1},
      {"a gibibyte of zeroes named 20000 times", gibibyte, 20000, 0},
  };
  for (const auto& c : cases) {
    const Bytes file =
        IconNaming(BuildPng(grey, c.stream), static_cast<std::uint32_t>(c.entries), kFallback);

    picture::IconWork work;
    const int tried = std::min(c.entries, picture::kMaxIconTries);
    if (c.width == 0) {
      EXPECT_EQ(
          pictest::ErrorOf([&](const Bytes& f) { picture::DecodeIconCounting(f, work); }, file),
          "Icon image is not valid")
          << c.what;
      EXPECT_EQ(work.entriesDecoded, picture::kMaxIconTries) << c.what;
    } else {
      EXPECT_EQ(picture::DecodeIconCounting(file, work)->Width(), c.width) << c.what;
      EXPECT_EQ(work.entriesDecoded, c.width == 1 ? 2 : 1) << c.what;
    }
    EXPECT_GE(work.bytesInflated, need) << c.what;
    EXPECT_LE(work.bytesInflated, std::uint64_t(tried) * (need + 1)) << c.what;
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
