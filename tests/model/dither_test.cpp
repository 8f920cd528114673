#include "model/dither.h"

#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/conversion.h"
#include "tests/support/raster_text.h"

namespace {

using model::Canvas;
using model::Colour;
using model::Dither;

constexpr Dither kDiffusingAndOrdered[] = {Dither::kFloydSteinberg, Dither::kAtkinson,
                                           Dither::kBayer4, Dither::kBayer8};
constexpr std::uint32_t kMarker = 0x123456 | Canvas::kOpaque;

Colour Grey(int g) {
  const auto v = static_cast<std::uint8_t>(g);
  return model::Rgb(v, v, v);
}

// A scratch raster whose pixel (x, y) is colour(x, y).
template <class F>
Canvas Picture(int width, int height, F colour) {
  Canvas canvas(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) canvas.Row(y)[x] = colour(x, y) | Canvas::kOpaque;
  return canvas;
}

// A grey ramp, black at the left to white at the right, the same on every row.
Canvas Ramp(int width, int height) {
  return Picture(width, height, [&](int x, int) { return Grey(x * 255 / (width - 1)); });
}

// Something like a photograph: a shaded background, a lit disc, a dark coloured block, and
// grain from a fixed pseudo-random sequence.
Canvas Photo(int width, int height) {
  std::uint32_t seed = 12345;
  return Picture(width, height, [&](int x, int y) {
    seed = seed * 1103515245u + 12345u;
    const int grain = static_cast<int>(seed >> 16 & 31) - 16;
    const int dx = x - width / 3;
    const int dy = y - height / 2;
    int r = 60 + x * 150 / width + y * 40 / height;
    int g = 50 + x * 120 / width + y * 60 / height;
    int b = 90 + y * 120 / height;
    if (dx * dx + dy * dy < height * height / 9) r = g = b = 230 - (dx * dx + dy * dy) / 2;
    if (x > width * 2 / 3 && y > height / 3 && y < height * 5 / 6) {
      r = 120;
      g = 40;
      b = 30;
    }
    auto clamp = [&](int v) { return static_cast<std::uint8_t>(std::clamp(v + grain, 0, 255)); };
    return model::Rgb(clamp(r), clamp(g), clamp(b));
  });
}

Canvas Dithered(const Canvas& scratch, Dither method, int threshold = model::kDefaultThreshold,
                bool invert = false) {
  Canvas preview(scratch.Width(), scratch.Height());
  model::DitherInto(scratch, preview, scratch.Width(), scratch.Height(), threshold, invert, method);
  return preview;
}

std::vector<std::string> Rows(const Canvas& canvas) {
  return testsupport::RasterRows(canvas, {0, 0, canvas.Width(), canvas.Height()},
                                 {{model::kWhite, ' '}, {model::kBlack, '#'}});
}

// The share of black among the pixels of columns [left, right).
double BlackShare(const Canvas& canvas, int left, int right) {
  int black = 0;
  for (int y = 0; y < canvas.Height(); ++y)
    for (int x = left; x < right; ++x) black += canvas.Pixel(x, y) == model::kBlack;
  return static_cast<double>(black) / ((right - left) * canvas.Height());
}

// The share of black a uniform grey g should come out with: one minus its tone, which runs
// linearly from black to the slider's grey cbrt(threshold) (half) and on to white.
double ExpectedBlack(int g, int threshold) {
  const double t = std::cbrt(static_cast<double>(threshold));
  const double tone = g <= t ? 0.5 * g / t : 0.5 + 0.5 * (g - t) / (255 - t);
  return 1 - tone;
}

TEST(Dither, NamesRoundTripAndOthersAreRefused) {
  const char* names[] = {"threshold", "floyd-steinberg", "atkinson", "bayer4", "bayer8"};
  for (std::size_t i = 0; i < std::size(model::kDithers); ++i) {
    EXPECT_EQ(model::DitherName(model::kDithers[i]), names[i]);
    EXPECT_EQ(model::DitherByName(names[i]), model::kDithers[i]);
  }
  for (const char* other : {"", "Threshold", "bayer", "floyd", "bayer4 ", "atkinson\n"})
    EXPECT_EQ(model::DitherByName(other), std::nullopt) << other;
}

// The greatest v with (v - 1/2)^3 <= p, in whole numbers: 8p >= (2v - 1)^3.
int ReferenceCubeRoot(std::int64_t p) {
  int v = 0;
  while (v < 255 && (2 * v + 1) * std::int64_t{2 * v + 1} * (2 * v + 1) <= 8 * p) ++v;
  return v;
}

TEST(Dither, CubeRootBrightnessRoundsTheProductsCubeRoot) {
  for (int g = 0; g < 256; ++g) EXPECT_EQ(model::CubeRootBrightness(Grey(g)), g);
  // Every product of two channels, with blues spread over the whole range.
  for (int b : {1, 2, 3, 7, 64, 128, 200, 255})
    for (int r = 0; r < 256; ++r)
      for (int g = 0; g < 256; ++g) {
        const Colour c = model::Rgb(static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g),
                                    static_cast<std::uint8_t>(b));
        ASSERT_EQ(model::CubeRootBrightness(c), ReferenceCubeRoot(std::int64_t{r} * g * b))
            << r << " " << g << " " << b;
      }
  // A pure primary has a zero channel, so it is black; the unused high byte does not count.
  EXPECT_EQ(model::CubeRootBrightness(model::Rgb(255, 0, 255)), 0);
  EXPECT_EQ(model::CubeRootBrightness(0xFF000000 | Grey(77)), 77);
}

TEST(Dither, ToneMapSendsTheSlidersGreyToTheMiddle) {
  for (int t : {1, 2, 40, 64, 127, 128, 200, 254}) {
    const auto map = model::ToneMap(t * t * t);
    SCOPED_TRACE(t);
    EXPECT_EQ(map[0], 0);
    EXPECT_EQ(map[255], model::kToneWhite);
    EXPECT_EQ(map[t], model::kToneMiddle);
    EXPECT_GT(map[t + 1], model::kToneMiddle);
    for (int v = 1; v < 256; ++v) EXPECT_LE(map[v - 1], map[v]) << v;
  }
  // At "норма" the slider's grey is 127.5 and the map is the identity to a sixteenth of a grey.
  const auto normal = model::ToneMap(model::kDefaultThreshold);
  for (int v = 0; v < 256; ++v) EXPECT_NEAR(normal[v], v * model::kToneScale, 1) << v;
  // The slider's ends: at 0 any light is above the middle; at or past white's product nothing
  // reaches it, and white lands just under it.
  const auto lowest = model::ToneMap(0);
  EXPECT_EQ(lowest[0], 0);
  EXPECT_GT(lowest[1], model::kToneMiddle);
  EXPECT_EQ(model::ToneMap(-5), lowest);
  for (int threshold : {255 * 255 * 255, model::kMaxThreshold, model::kMaxThreshold + 1}) {
    const auto highest = model::ToneMap(threshold);
    EXPECT_LE(highest[255], model::kToneMiddle) << threshold;
    EXPECT_GT(highest[255], model::kToneMiddle - 2 * model::kToneScale) << threshold;
  }
}

TEST(Dither, ThresholdIsTheOldConversionBitForBit) {
  const Canvas photo = Photo(320, 240);
  for (int threshold :
       {0, 1, 2048383, model::kDefaultThreshold, 2097152, 9000000, 16581375, model::kMaxThreshold})
    for (bool invert : {false, true}) {
      Canvas expected(320, 240);
      model::ThresholdInto(photo, expected, 300, 200, threshold, invert);
      Canvas actual(320, 240);
      model::DitherInto(photo, actual, 300, 200, threshold, invert, Dither::kThreshold);
      ASSERT_TRUE(std::equal(expected.Bits(), expected.Bits() + 320 * 240, actual.Bits()))
          << threshold << " " << invert;
      EXPECT_EQ(actual.DirtyRect(), expected.DirtyRect());
    }
}

// A ramp from black to white, cut into bands of 16 greys: in each band the black share is within
// 2 % of what the tone map gives. (Bayer 4 x 4 has only 17 levels, so a single grey may miss by
// 3 %; across a band its steps average out.)
TEST(Dither, BlackShareOnARampFollowsTheToneMap) {
  const int band = 16;
  const Canvas ramp = Picture(256, 128, [](int x, int) { return Grey(x); });
  for (int threshold : {model::kDefaultThreshold, 40 * 40 * 40, 200 * 200 * 200})
    for (Dither method : kDiffusingAndOrdered) {
      const Canvas result = Dithered(ramp, method, threshold);
      for (int left = 0; left < 256; left += band) {
        double expected = 0;
        for (int g = left; g < left + band; ++g) expected += ExpectedBlack(g, threshold) / band;
        EXPECT_NEAR(BlackShare(result, left, left + band), expected, 0.02)
            << model::DitherName(method) << " threshold " << threshold << " greys " << left;
      }
    }
}

// A uniform grey alone, for the methods with enough levels, and the slider honoured: whatever
// grey the slider names comes out half black.
TEST(Dither, UniformGreyComesOutWithTheMappedShare) {
  for (Dither method : {Dither::kFloydSteinberg, Dither::kAtkinson, Dither::kBayer8})
    for (int threshold : {model::kDefaultThreshold, 64 * 64 * 64, 180 * 180 * 180})
      for (int g = 0; g < 256; g += 5) {
        const Canvas area = Picture(64, 64, [&](int, int) { return Grey(g); });
        EXPECT_NEAR(BlackShare(Dithered(area, method, threshold), 0, 64),
                    ExpectedBlack(g, threshold), 0.02)
            << model::DitherName(method) << " threshold " << threshold << " grey " << g;
      }
  for (Dither method : kDiffusingAndOrdered)
    for (int g : {64, 100, 150, 180}) {
      const Canvas area = Picture(64, 64, [&](int, int) { return Grey(g); });
      EXPECT_NEAR(BlackShare(Dithered(area, method, g * g * g), 0, 64), 0.5, 0.02)
          << model::DitherName(method) << " grey " << g;
    }
}

TEST(Dither, InvertSwapsEveryPixelForEveryMethod) {
  const Canvas photo = Photo(96, 64);
  for (Dither method : model::kDithers) {
    const Canvas plain = Dithered(photo, method);
    const Canvas inverted = Dithered(photo, method, model::kDefaultThreshold, true);
    for (int y = 0; y < 64; ++y)
      for (int x = 0; x < 96; ++x)
        ASSERT_EQ(inverted.Pixel(x, y), plain.Pixel(x, y) ^ model::kWhite)
            << model::DitherName(method) << " " << x << "," << y;
  }
}

// Only the top-left area is written and marked; error reaching past its edges is dropped, not
// carried to the next row.
TEST(Dither, WritesTheAreaOnlyClippedToBothRasters) {
  const Canvas photo = Photo(40, 30);
  for (Dither method : model::kDithers) {
    Canvas preview(50, 20);
    preview.Fill(kMarker & 0xFFFFFF);
    preview.ResetDirty();
    model::DitherInto(photo, preview, 45, 25, model::kDefaultThreshold, false, method);
    EXPECT_EQ(preview.DirtyRect(), (model::Rect{0, 0, 40, 20})) << model::DitherName(method);
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 50; ++x) {
        const std::uint32_t word = preview.Row(y)[x];
        if (x < 40) {
          ASSERT_TRUE(word == (model::kBlack | Canvas::kOpaque) ||
                      word == (model::kWhite | Canvas::kOpaque))
              << x << "," << y;
        } else {
          ASSERT_EQ(word, kMarker) << x << "," << y;
        }
      }
    // The same area cut out on its own gives the same pixels.
    const Canvas alone =
        Dithered(Picture(40, 20, [&](int x, int y) { return photo.Pixel(x, y); }), method);
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 40; ++x) ASSERT_EQ(preview.Pixel(x, y), alone.Pixel(x, y));
    Canvas untouched(10, 10);
    untouched.ResetDirty();
    model::DitherInto(photo, untouched, 0, 10, 0, false, method);
    model::DitherInto(photo, untouched, 10, -1, 0, false, method);
    EXPECT_TRUE(untouched.DirtyRect().Empty());
  }
}

struct GoldenCase {
  const char* name;
  Dither method;
  bool photo;
  std::vector<std::string> rows;
};

void PrintTo(const GoldenCase& c, std::ostream* os) {
  *os << c.name;
}

class Golden : public testing::TestWithParam<GoldenCase> {};

// Results fixed once; any change to the arithmetic, the scan order or the kernels shows here.
TEST_P(Golden, MatchesTheRecordedResult) {
  const GoldenCase& c = GetParam();
  const Canvas source = c.photo ? Photo(48, 16) : Ramp(64, 8);
  EXPECT_EQ(Rows(Dithered(source, c.method)), c.rows);
}

INSTANTIATE_TEST_SUITE_P(
    Dither, Golden,
    testing::Values(
        GoldenCase{"RampFloydSteinberg",
                   Dither::kFloydSteinberg,
                   false,
                   {
                       "################### ## ## # # # # # #  #  #                     ",
                       "############# # # ### ## # ## # # # # #  #  # # # #  #          ",
                       "####### ## ####### # ## ### # # # #  # #  #            #        ",
                       "############ ## # #### ## # # # # # # #  #  # # # # #           ",
                       "######### #### #### # # # ## # # # #  # #  #            #       ",
                       "###### #### ##### ## ### ## # # # # # #  #  # # #  #  #    #    ",
                       "############# ## ## ## ## # ## # #  #  #  #      #              ",
                       "########## ###### ### ## # # # # # # # # # # # #     #          ",
                   }},
        GoldenCase{"RampAtkinson",
                   Dither::kAtkinson,
                   false,
                   {
                       "####################### ## ## ##  #  #  #                       ",
                       "############# ## ## #  ## ## #  ## ##  #  # ##  #  #            ",
                       "######## ## #### ## ####  #  ##  #  # ##  #   #      #          ",
                       "###### ####### ## ## ##  ####  ## #  #  #  #  #  ##      #      ",
                       "######### ## #### ## ## ##  ## #  ## #  #  #        #  #        ",
                       "############### ### ## ## ##  ## # #  ##  #  # #  #             ",
                       "###### ### ## ### ### ##  ## ##  #  #   ##  #  #     #    #     ",
                       "######## ######## ## ## ##  ##   ## # ##    #   #  #   #        ",
                   }},
        GoldenCase{"RampBayer4",
                   Dither::kBayer4,
                   false,
                   {
                       "#### ### # # # # # # # # # # # # # #   #                        ",
                       "##################### ### # # # # # # # # # # # # #   #         ",
                       "###### ### ### # # # # # # # # # # # #   #   #                  ",
                       "####################### ### ### # # # # # # # # # # #   #   #   ",
                       "#### ### # # # # # # # # # # # # # #   #                        ",
                       "##################### ### # # # # # # # # # # # # #   #         ",
                       "###### ### ### # # # # # # # # # # # #   #   #                  ",
                       "####################### ### ### # # # # # # # # # # #   #   #   ",
                   }},
        GoldenCase{"RampBayer8",
                   Dither::kBayer8,
                   false,
                   {
                       "#### ### # # # # # # # # # # # #   #   #                        ",
                       "################# ### ### # # # # # # # # # # #   #   #         ",
                       "########## ### # # # # # # # # # # # #   #   #                  ",
                       "####################### ### ### # # # # # # # # # # #   #   #   ",
                       "#### ### ### # # # # # # # # # # # #   #                        ",
                       "##################### ### ### # # # # # # # # # # #   #   #     ",
                       "###### ### ### # # # # # # # # # # # #   #                      ",
                       "####################### ### ### # # # # # # # # # # #   #   #   ",
                   }},
        GoldenCase{"PhotoFloydSteinberg",
                   Dither::kFloydSteinberg,
                   true,
                   {
                       "#### ## ### # ## # # # # # # # # # # # # # # # #",
                       " # ## ## # # ## # ### ### # # # # # # # #  # #  ",
                       "#### ## ##### # ##  # # # # # # # #  # # #  # # ",
                       " # ## ## #  # #    ## # # # # # # # # #   #  #  ",
                       "## # ## ### #     #  # # # # # #   #   # #  # # ",
                       "# #### ##  #         # # # #  #  ## # #  # #    ",
                       "## # # # ##  #  #     # # # #  # # #############",
                       " # # ## # #            #  #  # # ###### ## # ###",
                       "# ## # # #        #  #  # # #  # ## ## ## #### #",
                       " ## # # # ##  #       # #  #  #  ### ###########",
                       "# # ## # #       #   # # #  #  # # #### ## # ## ",
                       " # # # # # ##  #      #    #  #  ####### #######",
                       "# # # # # #        # #  ##  #   ## ## #### ## ##",
                       "# # # # # # ## #   #  #   #  # #                ",
                       " # # # #  #   # # #  #  #   #    # # #  #       ",
                       "# # # # # # # #  #  #  #  #    #      #     # # ",
                   }},
        GoldenCase{"PhotoAtkinson",
                   Dither::kAtkinson,
                   true,
                   {
                       "######## ### ## ## ## ## ##  ##  # #  # #  #  # ",
                       "## ##  ### # ## ## ## # ##  ##  ## # ## ## ## # ",
                       "## ## ## ## ## #  #  ## # ##  ##  #  #      #  #",
                       " ##  ##  ## ##    # ##  #  #  ##  # #  # ##  #  ",
                       "# #### ##  #        # ## #  ##  ##  #  #  #  ## ",
                       "# ###  ## ##   #      #  ##  #     # ## #  ##   ",
                       "##  ###  ##      #   #  # ##  ##################",
                       "  ## ## ##  #          ##   ##   #### ## ### ###",
                       "###  # ##      #  #   #  ##    # # #### ## ### #",
                       "##  ## #  #  #        #  #  # #  #### ##########",
                       "  ##  ## ###        ## ##  #  #  ## ## ## # # ##",
                       "# ## ## ## #     #   #     #   # ######## ######",
                       "#  ##   #  ##  #      #  #  ##   ### ## #### ## ",
                       " ##   ##  #  ##    ## #  ##    #                ",
                       " ## ## # ##    ##   #  #   #   #    #  #        ",
                       "#  #  #  #  ## #  #  #  #    #   #  #       #   ",
                   }},
        GoldenCase{"PhotoBayer4",
                   Dither::kBayer4,
                   true,
                   {
                       " # # # # # # # # # # # # # # # # # #   #   #   #",
                       "# ### ### # # # # ### # # # # # # # # # # # # # ",
                       " # # # # # # # # # # # # # # # # # # # # #   #  ",
                       "### ### ### ### # # # # # # # # # # # # # # # # ",
                       " # # # # # #           # # #   #   #   #       #",
                       "# ### ### ##  #       # # # # # # # # # # # # # ",
                       " # # # # # #         # # #   #   # ### ### ### #",
                       "### ### # # #   #   # # # # # # ################",
                       " # # # # #             #   #   # # # # # # # # #",
                       "# ### # # #   #   #   # # # # # ################",
                       " # # # # # #         # # # # #   # # # ### ### #",
                       "### ### # # #   #   # # # # # # ################",
                       " # # # # # #                     # # # # # # # #",
                       "# # # # # # # #   # # # # # # # # # # # # #   # ",
                       " # # # # # # # # #   #   #                      ",
                       "# # # # # # # # # # # # # # # # # # # # # # # # ",
                   }},
        GoldenCase{"PhotoBayer8",
                   Dither::kBayer8,
                   true,
                   {
                       " # # # # # # # # # # # # # # # # # #   #   #   #",
                       "# ### ### # # # # # # # # # # # # # # # # # # # ",
                       " # # # # # # # # # # # # # # # # # # # # #   #  ",
                       "### ### ### ### # # # # # # # # # # # # # # # # ",
                       " # # # # # #           # # #   #   #   #       #",
                       "##### ### ##      #   # # # # # # # # # # # # # ",
                       " # # # # # #         # # # # #   # ### ### ### #",
                       "####### ### #   # # # # # # # # ################",
                       " # # # # #             #   #   # # # # # # # # #",
                       "# # # # # #   #   #   # # # # # ################",
                       " # # # # # #         # # #   #   # # # # # ### #",
                       "### ### # # #   #   # # # # # # ################",
                       " # # # # # #                     # # # # # # # #",
                       "# # # # # # # #   # # # # # # # # # # # # #   # ",
                       " # # # # # # #   #       #       #              ",
                       "# # # # # # # # # # # # # # # # # # # # # # # # ",
                   }}),
    [](const auto& info) { return info.param.name; });

}  // namespace
