#include "model/conversion.h"

#include <climits>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/bitmap.h"
#include "model/pixel_store.h"
#include "tests/support/raster_text.h"

namespace {

using model::Bitmap;
using model::Canvas;
using model::Colour;
using model::Rect;
using testsupport::RasterMatches;

const std::map<char, Colour> kColours = {
    {' ', model::kWhite},           {'#', model::kBlack},           {'r', model::Rgb(255, 0, 0)},
    {'g', model::Rgb(0, 255, 0)},   {'b', model::Rgb(0, 0, 255)},   {'y', model::Rgb(255, 255, 0)},
    {'c', model::Rgb(0, 255, 255)}, {'m', model::Rgb(255, 0, 255)}, {'.', 0x123456},
};

testsupport::Legend Legend() {
  testsupport::Legend legend;
  for (const auto& [c, colour] : kColours) legend[colour] = c;
  return legend;
}

Bitmap FromRows(const std::vector<std::string>& rows, bool twoColour = false) {
  Bitmap bitmap(static_cast<int>(rows[0].size()), static_cast<int>(rows.size()), 0);
  for (int y = 0; y < bitmap.Height(); ++y)
    for (int x = 0; x < bitmap.Width(); ++x) bitmap.Row(y)[x] = kColours.at(rows[y][x]);
  bitmap.SetTwoColour(twoColour);
  return bitmap;
}

// A canvas filled with '.', the source stretched into `dest`.
Canvas Stretched(const Bitmap& source, int canvasWidth, int canvasHeight, const Rect& dest) {
  Canvas canvas(canvasWidth, canvasHeight);
  canvas.Fill(0x123456);
  canvas.ResetDirty();
  model::StretchBitmap(source, canvas, dest);
  return canvas;
}

TEST(Bitmap, HoldsItsPixelsAndCopiesThem) {
  Bitmap a(3, 2, model::Rgb(1, 2, 3));
  a.Row(1)[2] = model::kWhite;
  a.SetTwoColour(true);
  const Bitmap b = a;
  a.Row(1)[2] = model::kBlack;
  EXPECT_EQ(b.Pixel(2, 1), model::kWhite);
  EXPECT_EQ(b.Pixel(0, 0), model::Rgb(1, 2, 3));
  EXPECT_TRUE(b.TwoColour());
  for (auto [x, y] : {std::pair{-1, 0}, {3, 0}, {0, 2}, {0, -1}})
    EXPECT_EQ(b.Pixel(x, y), model::kInvalidColour);
  EXPECT_TRUE(Bitmap().Empty());
  EXPECT_TRUE(Bitmap(-1, 5, 0).Empty());
  EXPECT_TRUE(Bitmap(5, 0, 0).Empty());
}

struct StretchCase {
  const char* name;
  std::vector<std::string> source;
  bool twoColour;
  Rect dest;
  std::vector<std::string> expected;  // the whole canvas, '.' untouched
};

void PrintTo(const StretchCase& c, std::ostream* os) {
  *os << c.name;
}

class Stretch : public testing::TestWithParam<StretchCase> {};

TEST_P(Stretch, PicksOrMergesPixels) {
  const StretchCase& c = GetParam();
  const int w = static_cast<int>(c.expected[0].size());
  const int h = static_cast<int>(c.expected.size());
  const Bitmap source = FromRows(c.source, c.twoColour);
  const Canvas canvas = Stretched(source, w, h, c.dest);
  EXPECT_TRUE(RasterMatches(canvas, 0, 0, c.expected, Legend()));
  EXPECT_EQ(canvas.DirtyRect(), c.dest.Intersected({0, 0, w, h}));

  // The same pixels held as a toolkit's image holds them (0xFFRRGGBB, rows padded with stray
  // colours) give the same canvas.
  const int stride = source.Width() + 3;
  std::vector<Colour> held(static_cast<std::size_t>(stride) * source.Height(), 0x00FF00);
  for (int y = 0; y < source.Height(); ++y)
    for (int x = 0; x < source.Width(); ++x) {
      const Colour p = source.Pixel(x, y);
      held[y * stride + x] =
          0xFF000000 | model::Rgb(model::BlueOf(p), model::GreenOf(p), model::RedOf(p));
    }
  Canvas fromHeld(w, h);
  fromHeld.Fill(0x123456);
  model::StretchPixels({held.data(), source.Width(), source.Height(), stride, c.twoColour, true},
                       fromHeld, c.dest);
  EXPECT_TRUE(RasterMatches(fromHeld, 0, 0, c.expected, Legend()));
}

INSTANTIATE_TEST_SUITE_P(
    Conversion, Stretch,
    testing::Values(
        // Columns floor(dx * 3 / 7) = 0 0 0 1 1 2 2; rows floor(dy * 2 / 5) = 0 0 0 1 1.
        StretchCase{"EnlargeColour",
                    {"rgb", "# y"},
                    false,
                    {1, 1, 8, 6},
                    {".........", ".rrrggbb.", ".rrrggbb.", ".rrrggbb.", ".###  yy.", ".###  yy.",
                     "........."}},
        // Columns floor(dx * 7 / 3) = 0 2 4; rows floor(dy * 3 / 2) = 0 1.
        StretchCase{"ReduceColour",
                    {"rgbymc#", "#######", "mmmmmmm"},
                    false,
                    {0, 0, 3, 2},
                    {"rbm.", "###."}},
        // A colour source drops the black columns; a two-colour one keeps them.
        StretchCase{"ReduceColourDropsBlack", {" # # # "}, false, {0, 0, 3, 1}, {"   "}},
        // Two colours: columns merge {0 1 2} {3 4} {5 6}, black wins.
        StretchCase{"ReduceTwoColourKeepsBlack", {" # # # "}, true, {0, 0, 3, 1}, {"###"}},
        // Each source pixel goes where its own column floor(sx * 3 / 7) lands: column 2 lands
        // on 0, column 3 on 1.
        StretchCase{"ReduceTwoColourByOwnColumn", {"  #    "}, true, {0, 0, 3, 1}, {"#  "}},
        StretchCase{"ReduceTwoColourByOwnColumnNext", {"   #   "}, true, {0, 0, 3, 1}, {" # "}},
        // Rows floor(sy * 2 / 3): 0 0 1.
        StretchCase{"ReduceTwoColourByOwnRow", {" ", "#", " "}, true, {0, 0, 1, 2}, {"#", " "}},
        StretchCase{"ReduceTwoColourAllWhite", {"       ", "       "}, true, {0, 0, 3, 1}, {"   "}},
        // Rows merge {0 1} {2 3}: the black of row 1 and row 2 survives.
        StretchCase{"ReduceTwoColourRows", {" ", "#", "#", " "}, true, {0, 0, 1, 2}, {"#", "#"}},
        // Reduced across, enlarged down: columns merge {0 1} {2 3}, rows repeat 0 0 1 1.
        StretchCase{"ReduceAcrossEnlargeDown",
                    {"#   ", "  # "},
                    true,
                    {0, 0, 2, 4},
                    {"# ", "# ", " #", " #"}},
        // Enlarged both ways, a two-colour source is picked like any other.
        StretchCase{"EnlargeTwoColour", {"# ", " #"}, true, {0, 0, 3, 3}, {"## ", "## ", "  #"}},
        // Same size: a copy.
        StretchCase{"SameSize", {"rgb", "ymc"}, true, {1, 0, 4, 2}, {".rgb", ".ymc"}},
        // Columns merge {0 1 2} {3 4}, bitwise: red and white give red, red and green black.
        StretchCase{"TwoColourMergeIsBitwiseAnd", {"r  rg"}, true, {0, 0, 2, 1}, {"r#"}},
        // Clipped by the canvas; the mapping still counts from the whole rectangle.
        // Columns floor(dx * 3 / 6) = 0 0 1 1 2 2 for dx = -2 .. 3 on the canvas.
        StretchCase{"ClippedOnTheLeft", {"rgb"}, false, {-2, 0, 4, 1}, {"ggbb."}},
        StretchCase{"ClippedOnTheRightAndBottom",
                    {"rg", "by"},
                    false,
                    {2, 1, 6, 5},
                    {"....", "..rr", "..rr"}},
        StretchCase{"OutsideTheCanvas", {"rg"}, false, {5, 0, 9, 1}, {"...."}},
        StretchCase{"EmptyRectangle", {"rg"}, false, {1, 0, 1, 1}, {"...."}},
        StretchCase{"ReversedRectangle", {"rg"}, false, {3, 0, 1, 1}, {"...."}}),
    [](const auto& info) { return info.param.name; });

TEST(Stretch, EmptySourceDrawsNothing) {
  const Canvas canvas = Stretched(Bitmap(), 3, 2, {0, 0, 3, 2});
  EXPECT_TRUE(RasterMatches(canvas, 0, 0, {"...", "..."}, Legend()));
  EXPECT_TRUE(canvas.DirtyRect().Empty());
}

TEST(Stretch, HugeRectanglesDoNotOverflow) {
  // Canvas column 0 is dx = 2e9 of 4e9: source column floor(2e9 * 2 / 4e9) = 1.
  const Canvas canvas = Stretched(FromRows({"rg"}), 2, 1, {-2000000000, -5, 2000000000, INT_MAX});
  EXPECT_TRUE(RasterMatches(canvas, 0, 0, {"gg"}, Legend()));
  const Canvas merged = Stretched(FromRows({"# "}, true), 2, 1, {INT_MIN, 0, INT_MAX, 1});
  EXPECT_TRUE(RasterMatches(merged, 0, 0, {"  "}, Legend()));
}

// A bitmap keeping some rows only draws exactly as one holding every row, its other rows in the
// colour it names for them: picked or merged, reduced or enlarged, wherever the kept rows lie.
TEST(Stretch, BitmapKeepingSomeRowsDrawsAsOneKeepingThemAll) {
  const std::vector<std::string> rows = {"r#g b", "# #  ", "bg#r ", " ##y#", "g r #", "#   b"};
  const int w = 5;
  const int h = static_cast<int>(rows.size());
  const Colour rests[] = {model::kBlack, model::kWhite, model::Rgb(255, 0, 0)};
  const Rect dests[] = {{0, 0, 7, 7}, {0, 0, 3, 2}, {1, 0, 6, 3}, {0, 0, 2, 13}, {0, 0, 10, 1}};
  for (const bool twoColour : {false, true}) {
    for (const Colour rest : rests) {
      for (int first = 0; first <= h; ++first) {
        for (int kept = 0; first + kept <= h; ++kept) {
          Bitmap partial = Bitmap::Partial(w, h, first, kept, rest);
          Bitmap whole(w, h, rest);
          for (int y = first; y < first + kept; ++y)
            for (int x = 0; x < w; ++x)
              partial.Row(y)[x] = whole.Row(y)[x] = kColours.at(rows[y][x]);
          partial.SetTwoColour(twoColour);
          whole.SetTwoColour(twoColour);
          for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) ASSERT_EQ(partial.Pixel(x, y), whole.Pixel(x, y));
          for (const Rect& dest : dests) {
            const Canvas got = Stretched(partial, 10, 13, dest);
            const Canvas want = Stretched(whole, 10, 13, dest);
            for (int y = 0; y < 13; ++y)
              for (int x = 0; x < 10; ++x)
                ASSERT_EQ(got.Pixel(x, y), want.Pixel(x, y))
                    << "rows " << first << " to " << first + kept - 1 << ", two colours "
                    << twoColour << ", dest " << dest.right << " x " << dest.bottom << " at (" << x
                    << ", " << y << ")";
            EXPECT_EQ(got.DirtyRect(), want.DirtyRect());
          }
        }
      }
    }
  }
  // Kept rows are clipped to the bitmap.
  const Bitmap clipped = Bitmap::Partial(3, 4, 2, 10, model::kWhite);
  EXPECT_EQ(clipped.FirstKeptRow(), 2);
  EXPECT_EQ(clipped.KeptRows(), 2);
  EXPECT_TRUE(clipped.Keeps(3));
  EXPECT_FALSE(clipped.Keeps(1));
  EXPECT_EQ(Bitmap::Partial(3, 4, 7, 1, model::kWhite).KeptRows(), 0);
}

struct ThresholdCase {
  const char* name;
  Colour colour;
  int threshold;
  bool invert;
  Colour expected;
};

void PrintTo(const ThresholdCase& c, std::ostream* os) {
  *os << c.name;
}

class Threshold : public testing::TestWithParam<ThresholdCase> {};

TEST_P(Threshold, ProductOfChannelsAgainstTheThreshold) {
  const ThresholdCase& c = GetParam();
  Canvas scratch(4, 3);
  scratch.Fill(c.colour);
  Canvas preview(4, 3);
  preview.Fill(0x123456);
  preview.ResetDirty();
  model::ThresholdInto(scratch, preview, 2, 2, c.threshold, c.invert);
  const char want = c.expected == model::kWhite ? ' ' : '#';
  const std::string row = std::string(2, want) + "..";
  EXPECT_TRUE(RasterMatches(preview, 0, 0, {row, row, "...."}, Legend()));
  EXPECT_EQ(preview.DirtyRect(), (Rect{0, 0, 2, 2}));
}

constexpr int kDefault = model::kDefaultThreshold;
INSTANTIATE_TEST_SUITE_P(
    Conversion, Threshold,
    testing::Values(
        ThresholdCase{"WhiteIsBright", model::kWhite, kDefault, false, model::kWhite},
        ThresholdCase{"WhiteJustBelowItsProduct", model::kWhite, 16581374, false, model::kWhite},
        ThresholdCase{"WhiteAtItsProduct", model::kWhite, 16581375, false, model::kBlack},
        ThresholdCase{"WhiteAtMaximum", model::kWhite, model::kMaxThreshold, false, model::kBlack},
        ThresholdCase{"WhiteAtMaximumInverted", model::kWhite, model::kMaxThreshold, true,
                      model::kWhite},
        ThresholdCase{"BlackIsDarkAtZero", model::kBlack, 0, false, model::kBlack},
        ThresholdCase{"BlackInverted", model::kBlack, kDefault, true, model::kWhite},
        ThresholdCase{"PureRedIsDarkAtZero", model::Rgb(255, 0, 0), 0, false, model::kBlack},
        ThresholdCase{"PureRedInverted", model::Rgb(255, 0, 0), kDefault, true, model::kWhite},
        ThresholdCase{"Grey128IsBright", model::Rgb(128, 128, 128), kDefault, false, model::kWhite},
        ThresholdCase{"Grey127IsDark", model::Rgb(127, 127, 127), kDefault, false, model::kBlack},
        ThresholdCase{"Grey128Inverted", model::Rgb(128, 128, 128), kDefault, true, model::kBlack},
        // Strictly greater: 128^3 = 2097152.
        ThresholdCase{"ProductEqualToThreshold", model::Rgb(128, 128, 128), 2097152, false,
                      model::kBlack},
        ThresholdCase{"ProductJustAbove", model::Rgb(128, 128, 128), 2097151, false, model::kWhite},
        // 255 * 255 * 32 = 2080800: channels multiply, whichever holds which.
        ThresholdCase{"YellowishBright", model::Rgb(255, 255, 32), kDefault, false, model::kWhite},
        ThresholdCase{"BluishBright", model::Rgb(32, 255, 255), kDefault, false, model::kWhite},
        ThresholdCase{"BluishDark", model::Rgb(31, 255, 255), kDefault, false, model::kBlack}),
    [](const auto& info) { return info.param.name; });

TEST(Conversion, BrightnessIsTheProductOfTheChannels) {
  EXPECT_EQ(model::Brightness(model::kWhite), 16581375);
  EXPECT_EQ(model::Brightness(model::Rgb(2, 3, 5)), 30);
  EXPECT_EQ(model::Brightness(model::Rgb(0, 255, 255)), 0);
}

TEST(Conversion, NothingDrawnGivesAllWhiteOrAllBlack) {
  // Converting with no picture: the scratch raster is as created, all white.
  const Canvas scratch(320, 240);
  Canvas preview(320, 240);
  model::ThresholdInto(scratch, preview, 84, 48, kDefault, false);
  for (int y = 0; y < 240; ++y)
    for (int x = 0; x < 320; ++x) ASSERT_EQ(preview.Pixel(x, y), model::kWhite);
  model::ThresholdInto(scratch, preview, 84, 48, kDefault, true);
  EXPECT_EQ(preview.Pixel(0, 0), model::kBlack);
  EXPECT_EQ(preview.Pixel(83, 47), model::kBlack);
  EXPECT_EQ(preview.Pixel(84, 47), model::kWhite);
  EXPECT_EQ(preview.Pixel(83, 48), model::kWhite);
}

TEST(Conversion, ThresholdAreaIsClippedToBothRasters) {
  const Canvas scratch(3, 5);
  Canvas preview(5, 3);
  preview.Fill(0x123456);
  model::ThresholdInto(scratch, preview, 320, 240, model::kMaxThreshold, false);
  EXPECT_TRUE(RasterMatches(preview, 0, 0, {"###..", "###..", "###.."}, Legend()));
}

TEST(Conversion, StoreTakesExactlyBlackAsSetInsideTheAreaOnly) {
  Canvas preview(320, 240);
  preview.SetPixel(0, 0, model::kBlack);
  preview.SetPixel(1, 0, 0x000001);  // near black is clear
  preview.SetPixel(2, 0, 0x010000);
  preview.SetPixel(3, 7, model::kBlack);
  preview.SetPixel(4, 0, model::kBlack);  // outside 4 x 8
  model::PixelStore store;
  store.Set(1, 0, 1);
  store.Set(4, 0, 0);
  store.Set(10, 10, 1);
  model::StoreConverted(preview, store, 4, 8);
  EXPECT_EQ(store.Get(0, 0), 1);
  EXPECT_EQ(store.Get(1, 0), 0);
  EXPECT_EQ(store.Get(2, 0), 0);
  EXPECT_EQ(store.Get(3, 7), 1);
  EXPECT_EQ(store.Get(4, 0), 0);
  EXPECT_EQ(store.Get(10, 10), 1);
}

TEST(Conversion, ApplyingBeforeAnyConversionClearsTheArea) {
  const Canvas preview(320, 240);  // as created: all white
  model::PixelStore store;
  for (int x = 0; x < 320; ++x)
    for (int y = 0; y < 240; ++y) store.Set(x, y, 1);
  model::StoreConverted(preview, store, 84, 48);
  for (int x = 0; x < 320; ++x)
    for (int y = 0; y < 240; ++y)
      ASSERT_EQ(store.Get(x, y), x < 84 && y < 48 ? 0 : 1) << x << "," << y;
}

TEST(Conversion, StretchThresholdAndStoreTogether) {
  // Grey 128 and 127 side by side, stretched to 4 x 8, at the default threshold.
  Bitmap source(2, 1, model::Rgb(128, 128, 128));
  source.Row(0)[1] = model::Rgb(127, 127, 127);
  Canvas scratch(320, 240);
  Canvas preview(320, 240);
  model::StretchBitmap(source, scratch, {0, 0, 4, 8});
  model::ThresholdInto(scratch, preview, 4, 8, kDefault, false);
  model::PixelStore store;
  model::StoreConverted(preview, store, 4, 8);
  for (int y = 0; y < 8; ++y) {
    EXPECT_EQ(store.Get(0, y), 0);
    EXPECT_EQ(store.Get(1, y), 0);
    EXPECT_EQ(store.Get(2, y), 1);
    EXPECT_EQ(store.Get(3, y), 1);
  }
}

}  // namespace
