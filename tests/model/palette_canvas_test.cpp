#include "model/palette_canvas.h"

#include <random>
#include <stdexcept>

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
      switch (random() % 6) {
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

// One byte a pixel: the board surface is under a quarter of a four-byte raster.
TEST(PaletteCanvas, HoldsAPixelInAByte) {
  const PaletteCanvas surface(2560, 1920);
  EXPECT_LE(surface.MemoryBytes(), std::size_t{2560} * 1920 + 1024);
  EXPECT_GE(surface.MemoryBytes(), std::size_t{2560} * 1920);
  const PaletteCanvas copy(surface);
  EXPECT_TRUE(testsupport::SameColours(surface, copy));
}

}  // namespace
