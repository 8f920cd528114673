#include <cstring>

#include <gtest/gtest.h>

#include "model/canvas.h"
#include "picture/bmp.h"
#include "picture/decoders.h"
#include "picture/dib.h"
#include "tests/picture/bmp_builder.h"
#include "tests/picture/bmp_cases.h"
#include "tests/picture/bmp_pieces.h"
#include "tests/picture/picture_text.h"

namespace {

using bmptest::BadCase;
using bmptest::GoodCase;
using pictest::BitmapRows;

class GoodFile : public testing::TestWithParam<GoodCase> {};

TEST_P(GoodFile, DecodesEveryPixel) {
  const GoodCase& c = GetParam();
  const model::Bitmap bitmap = picture::DecodeBmp(c.file);
  ASSERT_EQ(bitmap.Width(), static_cast<int>(c.expected[0].size()));
  ASSERT_EQ(bitmap.Height(), static_cast<int>(c.expected.size()));
  EXPECT_EQ(BitmapRows(bitmap, c.colours), c.expected);
  EXPECT_EQ(bitmap.TwoColour(), c.twoColour);
  for (int y = 0; y < bitmap.Height(); ++y)
    for (int x = 0; x < bitmap.Width(); ++x) ASSERT_EQ(bitmap.Pixel(x, y) >> 24, 0u);
}

TEST_P(GoodFile, DecodesAlikeReadInPieces) {
  EXPECT_TRUE(bmptest::DecodesAlikeEveryWay(GetParam().file));
}

INSTANTIATE_TEST_SUITE_P(Bmp, GoodFile, testing::ValuesIn(bmptest::GoodCases()),
                         [](const auto& info) { return info.param.name; });

class BadFile : public testing::TestWithParam<BadCase> {};

TEST_P(BadFile, RaisesItsMessage) {
  const BadCase& c = GetParam();
  try {
    picture::DecodeBmp(c.file);
    FAIL() << "decoded";
  } catch (const picture::LoadError& e) {
    EXPECT_STREQ(e.what(), c.message.c_str());
  }
}

TEST_P(BadFile, RaisesItReadInPieces) {
  EXPECT_TRUE(bmptest::DecodesAlikeEveryWay(GetParam().file));
}

INSTANTIATE_TEST_SUITE_P(Bmp, BadFile, testing::ValuesIn(bmptest::BadCases()),
                         [](const auto& info) { return info.param.name; });

TEST(Bmp, EmptyFileIsAnEmptyPictureThatDrawsNothing) {
  EXPECT_TRUE(picture::DecodeBmp({}).Empty());
  const auto picture = picture::DecodeBitmapFile({});
  ASSERT_TRUE(picture);
  EXPECT_TRUE(picture->Empty());
  model::Canvas canvas(4, 4);
  canvas.SetPixel(1, 1, 0x123456);
  canvas.ResetDirty();
  picture->StretchDraw(canvas, {0, 0, 4, 4});
  EXPECT_EQ(canvas.Pixel(1, 1), 0x123456u);
  EXPECT_EQ(canvas.Pixel(0, 0), model::kWhite);
  EXPECT_TRUE(canvas.DirtyRect().Empty());
}

TEST(Bmp, BitmapFilePictureDrawsStretched) {
  const auto cases = bmptest::GoodCases();
  const GoodCase& c = cases[0];  // info_1bpp: 9 x 2, two colours
  ASSERT_EQ(c.name, "info_1bpp");
  const auto picture = picture::DecodeBitmapFile(c.file);
  EXPECT_EQ(picture->Width(), 9);
  EXPECT_EQ(picture->Height(), 2);
  model::Canvas canvas(20, 6);
  picture->StretchDraw(canvas, {1, 1, 19, 5});  // each pixel doubled both ways
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 18; ++x)
      ASSERT_EQ(canvas.Pixel(x + 1, y + 1), c.colours.at(c.expected[y / 2][x / 2]))
          << x << "," << y;
  EXPECT_EQ(canvas.Pixel(0, 0), model::kWhite);
  EXPECT_EQ(canvas.Pixel(19, 5), model::kWhite);
}

// The DIB entry points the icon and metafile decoders use.

std::vector<std::uint8_t> Packed(const std::vector<std::uint8_t>& file) {
  return {file.begin() + 14, file.end()};
}

TEST(Dib, ParseInfoThenBitsFromAnotherSpan) {
  bmptest::BmpSpec spec;
  spec.width = 3;
  spec.height = 2;
  spec.bitCount = 4;
  spec.palette = {model::kBlack, model::Rgb(10, 20, 30), model::kWhite};
  spec.bits = bmptest::PackRows({{0, 1, 2}, {2, 1, 0}}, 4);
  const auto dib = Packed(bmptest::BuildBmp(spec));

  const picture::dib::Info info = picture::dib::ParseInfo(dib);
  EXPECT_EQ(info.headerSize, 40u);
  EXPECT_EQ(info.width, 3);
  EXPECT_EQ(info.height, 2);
  EXPECT_FALSE(info.topDown);
  EXPECT_EQ(info.bitCount, 4);
  EXPECT_EQ(info.paletteSize, 3);
  EXPECT_EQ(info.palette[1], model::Rgb(10, 20, 30));
  EXPECT_EQ(info.palette[3], model::kBlack);
  EXPECT_EQ(info.tableEnd, 40u + 3 * 4);
  EXPECT_EQ(info.Stride(), 4u);

  // The bits handed over separately, as a metafile record carries them.
  const std::vector<std::uint8_t> bits(dib.begin() + 52, dib.end());
  const auto image = picture::dib::DecodeBits(info, bits);
  EXPECT_TRUE(image.mask.empty());
  EXPECT_EQ(image.bitmap.Pixel(0, 0), model::kBlack);
  EXPECT_EQ(image.bitmap.Pixel(1, 0), model::Rgb(10, 20, 30));
  EXPECT_EQ(image.bitmap.Pixel(2, 0), model::kWhite);
  EXPECT_EQ(image.bitmap.Pixel(0, 1), model::kWhite);

  const auto packed = picture::dib::DecodePacked(dib);
  EXPECT_EQ(packed.bitmap.Pixel(1, 1), model::Rgb(10, 20, 30));
  EXPECT_EQ(packed.bitmap.Pixel(2, 1), model::kBlack);
}

TEST(Dib, IconImageHasHalfTheHeightAndItsAndMask) {
  bmptest::BmpSpec spec;
  spec.width = 3;
  spec.height = 4;  // 2 colour rows and 2 mask rows
  spec.bitCount = 8;
  spec.palette = {model::Rgb(255, 0, 0), model::Rgb(0, 0, 255)};
  spec.bits = bmptest::PackRows({{0, 1, 0}, {1, 1, 0}}, 8);
  const auto mask = bmptest::PackRows({{1, 0, 0}, {0, 0, 1}}, 1);
  spec.bits.insert(spec.bits.end(), mask.begin(), mask.end());
  const auto dib = Packed(bmptest::BuildBmp(spec));

  picture::dib::Options options;
  options.iconMask = true;
  const auto image = picture::dib::DecodePacked(dib, options);
  ASSERT_EQ(image.bitmap.Width(), 3);
  ASSERT_EQ(image.bitmap.Height(), 2);
  EXPECT_EQ(image.bitmap.Pixel(0, 0), model::Rgb(255, 0, 0));
  EXPECT_EQ(image.bitmap.Pixel(1, 0), model::Rgb(0, 0, 255));
  EXPECT_EQ(image.bitmap.Pixel(0, 1), model::Rgb(0, 0, 255));
  EXPECT_EQ(image.mask, (std::vector<std::uint8_t>{1, 0, 0, 0, 0, 1}));

  // A mask cut short reads as opaque.
  const auto cut = picture::dib::DecodePacked(std::span(dib).first(dib.size() - 4), options);
  EXPECT_EQ(cut.mask, (std::vector<std::uint8_t>{0, 0, 0, 0, 0, 1}));
}

TEST(Dib, PaletteIndicesAreKeptForThePlayerToMap) {
  // DIB_PAL_COLORS: 16-bit entries.
  std::vector<std::uint8_t> dib(40 + 2 * 2 + 4, 0);
  const std::uint8_t header[] = {40, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 0};
  std::memcpy(dib.data(), header, sizeof header);
  dib[32] = 2;                  // colours used
  dib[40] = 7;                  // entry 0: logical palette index 7
  dib[42] = 0x34, dib[43] = 1;  // entry 1: index 0x134
  dib[44] = 0x40;               // pixels 0, 1
  picture::dib::Options options;
  options.colours = picture::dib::ColourUse::kPaletteIndices;
  picture::dib::Info info = picture::dib::ParseInfo(dib, options);
  EXPECT_EQ(info.tableEnd, 44u);
  EXPECT_EQ(info.palette[0], 7u);
  EXPECT_EQ(info.palette[1], 0x134u);
  info.palette[0] = model::Rgb(1, 2, 3);
  info.palette[1] = model::Rgb(4, 5, 6);
  const auto image = picture::dib::DecodeBits(info, std::span(dib).subspan(44));
  EXPECT_EQ(image.bitmap.Pixel(0, 0), model::Rgb(1, 2, 3));
  EXPECT_EQ(image.bitmap.Pixel(1, 0), model::Rgb(4, 5, 6));
}

TEST(Dib, PackedTableRunningPastTheDataIsAReadError) {
  bmptest::BmpSpec spec;
  spec.width = 1;
  spec.height = 1;
  spec.bitCount = 24;
  spec.colorsUsed = 1000;  // declared, not there
  spec.bits = {1, 2, 3, 0};
  const auto dib = Packed(bmptest::BuildBmp(spec));
  try {
    picture::dib::DecodePacked(dib);
    FAIL();
  } catch (const picture::LoadError& e) {
    EXPECT_STREQ(e.what(), "Stream read error");
  }
  // A BMP file finds its bits by offset, so the same declaration does no harm there.
  EXPECT_EQ(picture::DecodeBmp(bmptest::BuildBmp(spec)).Pixel(0, 0), model::Rgb(3, 2, 1));
}

}  // namespace

namespace {

// Bits far past the headers (a gap of several read pieces) are found however the file is read.
TEST(Bmp, BitsFarPastTheHeadersDecodeEveryWay) {
  bmptest::BmpSpec spec;
  spec.width = 3;
  spec.height = 2;
  spec.bitCount = 24;
  spec.gap = 3 * static_cast<std::uint32_t>(picture::dib::BitsReader::kPiece) + 7;
  spec.bits =
      bmptest::PackRows({{0x010203, 0x040506, 0x070809}, {0x0A0B0C, 0x0D0E0F, 0x101112}}, 24);
  const std::vector<std::uint8_t> file = bmptest::BuildBmp(spec);
  const model::Bitmap bitmap = picture::DecodeBmp(file);
  EXPECT_EQ(bitmap.Pixel(0, 0), model::Rgb(1, 2, 3));
  EXPECT_EQ(bitmap.Pixel(2, 1), model::Rgb(0x10, 0x11, 0x12));
  EXPECT_TRUE(bmptest::DecodesAlikeEveryWay(file));
  // Cut where the bits start, they are all missing: black.
  const auto cut = std::span(file).first(file.size() - spec.bits.size());
  EXPECT_EQ(picture::DecodeBmp(cut).Pixel(2, 1), model::kBlack);
  EXPECT_TRUE(bmptest::DecodesAlikeEveryWay(cut));
}

// Read from a file, a row's bytes land at the end of its own raster row (or, top-down, a run of
// rows' bytes at the end of the run's rows) and are decoded there, front to back: at every depth,
// at widths about every step of the decoders' loops (four pixels a step, sixteen bytes loaded for
// twelve), with every row padding, either way up and cut anywhere, the pixels are those decoded
// from memory.
TEST(Bmp, RowsReadIntoTheRasterDecodeAsFromMemory) {
  struct Depth {
    int bitCount;
    std::uint32_t compression;
    std::vector<std::uint32_t> masks;
  };
  const Depth depths[] = {{1, 0, {}},  {2, 0, {}},  {4, 0, {}},
                          {8, 0, {}},  {16, 0, {}}, {16, 3, {0xF800, 0x07E0, 0x001F}},
                          {24, 0, {}}, {32, 0, {}}, {32, 3, {0x3FF00000, 0x000FFC00, 0x000003FF}}};
  std::vector<model::Colour> palette;
  for (int i = 0; i < 256; ++i)
    palette.push_back(model::Rgb(static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i * 7),
                                 static_cast<std::uint8_t>(255 - i)));
  std::uint32_t noise = 12345;
  for (const Depth& depth : depths) {
    for (int width = 1; width <= 41; width += width < 20 ? 1 : 7) {
      for (const int height : {1, 3, -1, -4}) {
        bmptest::BmpSpec spec;
        spec.width = width;
        spec.height = height;
        spec.bitCount = static_cast<std::uint16_t>(depth.bitCount);
        spec.compression = depth.compression;
        spec.masks = depth.masks;
        if (depth.bitCount <= 8) spec.palette.assign(palette.begin(), palette.begin() + 5);
        const std::size_t stride = (static_cast<std::size_t>(width) * depth.bitCount + 31) / 32 * 4;
        spec.bits.resize(stride * std::abs(height));
        for (std::uint8_t& b : spec.bits) {
          noise = noise * 1664525 + 1013904223;
          b = static_cast<std::uint8_t>(noise >> 24);
        }
        const std::vector<std::uint8_t> full = bmptest::BuildBmp(spec);
        const std::size_t head = full.size() - spec.bits.size();
        for (std::size_t cut = 0; cut <= spec.bits.size(); ++cut) {
          const auto file = std::span(full).first(head + cut);
          const bmptest::Decoded whole = bmptest::DecodeWhole(file);
          ASSERT_TRUE(whole.bitmap) << whole.error;
          ASSERT_TRUE(bmptest::SameOutcome(bmptest::DecodeInPieces(file, file.size()), whole))
              << depth.bitCount << " bits, " << width << " x " << height << ", cut at " << cut;
        }
      }
    }
  }
}

// Rows longer than the piece a file is read in are decoded a piece at a time; cut anywhere, the
// bits there decode as always and the rest as zero bits.
TEST(Bmp, RowsLongerThanAReadPieceDecodeCutAnywhere) {
  struct Case {
    int bitCount;
    int width;
    int height;
  };
  constexpr std::size_t kPiece = picture::dib::BitsReader::kPiece;
  const model::Colour kPalette[2] = {model::Rgb(9, 8, 7), model::Rgb(200, 100, 50)};
  for (const Case c : {Case{24, 350'001, 2}, Case{32, 262'145, 2}, Case{1, 8'388'609, 1}}) {
    bmptest::BmpSpec spec;
    spec.width = c.width;
    spec.height = -c.height;  // top-down: file rows are picture rows
    spec.bitCount = static_cast<std::uint16_t>(c.bitCount);
    if (c.bitCount == 1) spec.palette = {kPalette[0], kPalette[1]};
    const std::size_t stride = (static_cast<std::size_t>(c.width) * c.bitCount + 31) / 32 * 4;
    ASSERT_GT(stride, kPiece);
    spec.bits.resize(stride * c.height);
    for (std::size_t i = 0; i < spec.bits.size(); ++i)
      spec.bits[i] = static_cast<std::uint8_t>(i * 131 + i / 251);
    const std::vector<std::uint8_t> full = bmptest::BuildBmp(spec);
    const std::size_t head = full.size() - spec.bits.size();

    // The colour of (x, y) from the first `have` bytes of the bits, by the format's definition.
    const auto expected = [&](std::size_t have, int x, int y) -> model::Colour {
      const auto byte = [&](std::size_t i) {
        const std::size_t at = y * stride + i;
        return at < have ? spec.bits[at] : std::uint8_t{0};
      };
      const std::size_t bytes = c.bitCount / 8;
      if (c.bitCount == 1) return kPalette[(byte(x / 8) >> (7 - x % 8)) & 1];
      return model::Rgb(byte(bytes * x + 2), byte(bytes * x + 1), byte(bytes * x));
    };
    const std::size_t cuts[] = {
        spec.bits.size(), kPiece - 1,          kPiece, kPiece + 2,
        stride - 1,       stride + kPiece + 1, 0,      stride * c.height - 3};
    for (const std::size_t cut : cuts) {
      if (cut > spec.bits.size()) continue;
      SCOPED_TRACE(std::to_string(c.bitCount) + " bits, cut at " + std::to_string(cut));
      const std::span<const std::uint8_t> file = std::span(full).first(head + cut);
      const bmptest::Decoded whole = bmptest::DecodeWhole(file);
      ASSERT_TRUE(whole.bitmap) << whole.error;
      const model::Bitmap& bitmap = *whole.bitmap;
      ASSERT_EQ(bitmap.Width(), c.width);
      ASSERT_EQ(bitmap.Height(), c.height);
      for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x)
          ASSERT_EQ(bitmap.Pixel(x, y), expected(cut, x, y)) << x << ", " << y;
      // Read as a file is, straight into the rows, in pieces that never line up with the rows.
      EXPECT_TRUE(bmptest::SameOutcome(bmptest::DecodeInPieces(file, 100'003), whole));
    }
  }
}

}  // namespace

namespace {

// The reader hands out the same bytes, from the same places, whether the data is in memory or
// read a piece at a time, across the ends of its buffer, and whether they are handed out or copied.
TEST(BitsReader, HandsOutTheSameBytesFromEverySource) {
  constexpr std::size_t kPiece = picture::dib::BitsReader::kPiece;
  std::vector<std::uint8_t> data(3 * kPiece + 5);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i ^ i >> 9);
  const std::span<const std::uint8_t> all(data);

  enum Op { kNext, kPeek, kSkip, kReadInto };
  struct Step {
    Op op;
    std::size_t size;
  };
  const Step steps[] = {{kPeek, 10},          {kNext, 7},          {kSkip, kPiece},
                        {kNext, kPiece},      {kSkip, 5},          {kReadInto, 3},
                        {kNext, 100},         {kPeek, kPiece},     {kReadInto, 70'000},
                        {kSkip, kPiece - 50}, {kNext, 200},        {kReadInto, kPiece + 9},
                        {kPeek, 4},           {kSkip, 2 * kPiece}, {kNext, 1},
                        {kReadInto, 6},       {kPeek, 4}};
  for (const int source : {0, 1, 2}) {
    SCOPED_TRACE(source);
    picture::dib::BitsReader reader =
        source == 0
            ? picture::dib::BitsReader(all)
            : picture::dib::BitsReader(bmptest::PieceReader(all, source == 1 ? 4097 : kPiece));
    EXPECT_EQ(reader.InMemory(), source == 0);
    std::size_t expected = 0;  // where the data stands
    for (const Step& step : steps) {
      if (step.op == kSkip) {
        reader.Skip(step.size);
        expected = std::min(data.size(), expected + step.size);
        continue;
      }
      std::vector<std::uint8_t> copy;
      std::span<const std::uint8_t> bytes;
      if (step.op == kReadInto) {
        // Into parts of 1, 0 and 2 bytes and the rest, as rows and their padding are read.
        copy.assign(step.size + 1, 0xEE);
        std::vector<picture::dib::BitsReader::Part> parts;
        std::size_t at = 0;
        for (const std::size_t size : {std::size_t{1}, std::size_t{0}, std::size_t{2}, step.size}) {
          const std::size_t n = std::min(size, step.size - at);
          parts.push_back({copy.data() + at, n});
          at += n;
        }
        const std::size_t got = reader.ReadInto(parts);
        EXPECT_EQ(copy[step.size], 0xEE);  // nothing past the parts
        copy.resize(got);
        bytes = copy;
      } else {
        bytes = step.op == kNext ? reader.Next(step.size) : reader.Peek(step.size);
      }
      const std::size_t want = std::min(step.size, data.size() - expected);
      ASSERT_EQ(bytes.size(), want) << "at " << expected;
      ASSERT_TRUE(std::equal(bytes.begin(), bytes.end(), data.begin() + expected))
          << "at " << expected;
      if (step.op != kPeek) expected += want;
    }
  }
}

// Bytes of a file passed over are not read (bits far past the headers cost no reading), nor more
// than a piece read ahead of the bytes asked for.
TEST(BitsReader, ReadsNoBytesItPassesOver) {
  const std::uint64_t kSize = std::uint64_t{1} << 40;  // nothing this large is held
  std::vector<std::pair<std::uint64_t, std::size_t>> reads;
  picture::dib::BitsReader reader(
      [&](std::uint64_t offset, std::span<const picture::dib::BitsReader::Part> parts) {
        EXPECT_EQ(parts.size(), 1u);
        std::size_t size = parts[0].size;
        reads.emplace_back(offset, size);
        size = static_cast<std::size_t>(std::min<std::uint64_t>(size, kSize - offset));
        for (std::size_t i = 0; i < size; ++i)
          parts[0].data[i] = static_cast<std::uint8_t>(offset + i);
        return size;
      });
  ASSERT_EQ(reader.Next(3).size(), 3u);
  ASSERT_EQ(reads.size(), 1u);
  const std::size_t ahead = reads[0].second;
  EXPECT_GE(ahead, 3u);
  EXPECT_LE(ahead, picture::dib::BitsReader::kPiece);
  reader.Skip(kSize - 10);  // into what was never read
  std::uint8_t tail[16] = {};
  EXPECT_EQ(reader.ReadInto(tail, sizeof tail), 7u);
  EXPECT_EQ(tail[0], static_cast<std::uint8_t>(kSize - 7));
  EXPECT_EQ(tail[6], static_cast<std::uint8_t>(kSize - 1));
  ASSERT_EQ(reads.size(), 3u);  // the bytes, then the end
  EXPECT_EQ(reads[1], std::make_pair(kSize - 7, sizeof tail));
  EXPECT_EQ(reads[2].first, kSize);
  EXPECT_TRUE(reader.Next(1).empty());
}

}  // namespace
