#include "model/palette_canvas.h"

#include <algorithm>
#include <random>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include "model/canvas.h"
#include "tests/support/raster_text.h"

namespace {

using model::Canvas;
using model::Colour;
using model::PaletteCanvas;
using model::Rect;

// The same drawing calls on both rasters, with a few colours and coordinates reaching past the
// edges, leave the same colours, pen, brush and dirty rectangle.
TEST(PaletteCanvas, DrawsAsTheCanvasDoes) {
  std::mt19937 random(5);
  const Colour colours[] = {0xF0F0F0, 0x000000, 0x00FF00, 0x008000, 0xFFFFFF, 0x123456};
  for (const auto& [w, h] : {std::pair{37, 23}, std::pair{1, 9}, std::pair{300, 2}}) {
    Canvas reference(w, h);
    PaletteCanvas canvas(w, h);
    ASSERT_TRUE(testsupport::SameColours(reference, canvas));
    EXPECT_EQ(canvas.DirtyRect(), reference.DirtyRect());
    const auto coordinate = [&](int extent) {
      return static_cast<int>(random() % (extent + 8)) - 4;
    };
    for (int step = 0; step < 400; ++step) {
      const Colour c = colours[random() % 6];
      switch (random() % 7) {
        case 0:
          reference.SetPenColour(c);
          canvas.SetPenColour(c);
          break;
        case 1:
          reference.SetBrushColour(c);
          canvas.SetBrushColour(c);
          break;
        case 2: {
          const int l = coordinate(w), t = coordinate(h), r = coordinate(w), b = coordinate(h);
          reference.Rectangle(l, t, r, b);
          canvas.Rectangle(l, t, r, b);
          break;
        }
        case 3: {
          const int x = coordinate(w), y = coordinate(h);
          reference.MoveTo(x, y);
          canvas.MoveTo(x, y);
          break;
        }
        case 4: {
          const int x = coordinate(w), y = coordinate(h);
          reference.LineTo(x, y);
          canvas.LineTo(x, y);
          break;
        }
        case 5: {
          // Heads of rows in a band, some of them shared; the reference writes them pixel by
          // pixel.
          const int t = coordinate(h), b = coordinate(h), length = coordinate(w);
          std::vector<std::uint8_t> head(static_cast<std::size_t>(std::max(length, 0)));
          for (std::uint8_t& index : head) index = canvas.IndexOf(colours[random() % 6]);
          canvas.SetRowHeads(t, b, head.data(), length);
          for (int y = t; y < b; ++y)
            for (int x = 0; x < length && x < w; ++x)
              reference.SetPixel(x, y, canvas.Palette()[head[x]]);
          break;
        }
        default: {
          const int x = coordinate(w), y = coordinate(h);
          reference.SetPixel(x, y, c);
          canvas.SetPixel(x, y, c);
          break;
        }
      }
      if (step % 50 == 0) {
        EXPECT_EQ(canvas.DirtyRect(), reference.DirtyRect());
        reference.ResetDirty();
        canvas.ResetDirty();
      }
    }
    EXPECT_TRUE(testsupport::SameColours(reference, canvas)) << w << "x" << h;
    EXPECT_EQ(canvas.PenColour(), reference.PenColour());
    EXPECT_EQ(canvas.BrushColour(), reference.BrushColour());
    EXPECT_EQ(canvas.Pixel(-1, 0), model::kInvalidColour);
    EXPECT_EQ(canvas.Pixel(w, h - 1), model::kInvalidColour);
  }
}

TEST(PaletteCanvas, ColoursKeepTheirIndicesAndTheTwoHundredFiftySeventhIsRefused) {
  PaletteCanvas canvas(16, 16);
  EXPECT_EQ(canvas.IndexOf(0xFFFFFF), 0);  // the white a new raster holds
  EXPECT_EQ(canvas.IndexOf(0x008000), 1);
  EXPECT_EQ(canvas.IndexOf(0xFF008000), 1);  // the unused high byte is not part of the colour
  for (Colour c = 1; c < 255; ++c) canvas.SetPixel(0, 0, c);
  EXPECT_EQ(canvas.ColourCount(), 256);
  EXPECT_EQ(canvas.Pixel(0, 0), 254u);
  EXPECT_EQ(canvas.IndexOf(0x008000), 1);
  canvas.SetPenColour(0xABCDEF);
  EXPECT_THROW(canvas.Rectangle(0, 0, 4, 4), std::length_error);
  EXPECT_THROW(canvas.SetPixel(1, 1, 0xABCDEF), std::length_error);
  EXPECT_EQ(canvas.Pixel(1, 1), 0xFFFFFFu);  // nothing drawn
}

// At most one byte a pixel, and only for rows written on their own: a new surface, and the rows
// whose heads are set together, share one common row.
TEST(PaletteCanvas, RowsTakeMemoryOnlyWhenWrittenOnTheirOwn) {
  PaletteCanvas surface(2560, 1920);
  const std::size_t bare = surface.MemoryBytes();
  EXPECT_LE(bare, std::size_t{2560} + 1920 + 1024);
  const std::uint8_t black = surface.IndexOf(model::kBlack);
  const std::uint8_t grey = surface.IndexOf(0xF0F0F0);
  std::vector<std::uint8_t> head(2257, grey);
  head.back() = black;
  // Rows 0..99 keep their white: they take memory of their own before the common row changes.
  surface.SetRowHeads(100, 1920, head.data(), 2257);
  EXPECT_EQ(surface.MemoryBytes(), bare + std::size_t{100} * 2560);
  surface.SetPixel(7, 500, model::kBlack);
  EXPECT_EQ(surface.MemoryBytes(), bare + std::size_t{101} * 2560);
  EXPECT_LE(surface.MemoryBytes(), std::size_t{2560} * 1920 / 10);
  for (const int y : {0, 99}) {
    EXPECT_EQ(surface.Pixel(0, y), model::kWhite) << y;
    EXPECT_EQ(surface.Pixel(2256, y), model::kWhite) << y;
  }
  for (const int y : {100, 499, 500, 501, 1919}) {
    EXPECT_EQ(surface.Pixel(0, y), 0xF0F0F0u) << y;
    EXPECT_EQ(surface.Pixel(7, y), y == 500 ? model::kBlack : 0xF0F0F0u) << y;
    EXPECT_EQ(surface.Pixel(2255, y), 0xF0F0F0u) << y;
    EXPECT_EQ(surface.Pixel(2256, y), model::kBlack) << y;
    EXPECT_EQ(surface.Pixel(2257, y), model::kWhite) << y;
  }
  // Heads set again reach the row written on its own as well as the shared ones.
  std::vector<std::uint8_t> white(10, 0);
  surface.SetRowHeads(400, 1920, white.data(), 10);
  EXPECT_EQ(surface.Pixel(7, 500), model::kWhite);
  EXPECT_EQ(surface.Pixel(7, 1000), model::kWhite);
  EXPECT_EQ(surface.Pixel(7, 399), 0xF0F0F0u);
  EXPECT_EQ(surface.Pixel(10, 1000), 0xF0F0F0u);

  const PaletteCanvas copy(surface);
  EXPECT_TRUE(testsupport::SameColours(surface, copy));
  EXPECT_EQ(copy.MemoryBytes(), surface.MemoryBytes());
  // A write into the copy does not reach the original.
  PaletteCanvas written(copy);
  written.SetPixel(20, 1500, model::kBlack);
  EXPECT_EQ(copy.Pixel(20, 1500), 0xF0F0F0u);
  EXPECT_FALSE(testsupport::SameColours(written, copy));
}

}  // namespace
