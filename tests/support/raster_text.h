#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/canvas.h"
#include "model/palette_canvas.h"

namespace testsupport {

// Maps colours to the characters that draw them in expected pictures. A colour missing from the
// legend prints as '?'.
using Legend = std::map<model::Colour, char>;

// The board's colours: '#' black, 'o' set (bright green), '.' clear (dark green), '-' the
// button face used by the tests, ' ' white.
inline constexpr model::Colour kTestButtonFace = 0xF0F0F0;
Legend BoardLegend();

// The pixels of a raster of either kind, read as colours.
struct PixelSource {
  PixelSource(const model::Canvas& canvas)  // NOLINT: stands for the raster
      : width(canvas.Width()),
        height(canvas.Height()),
        pixel([&canvas](int x, int y) { return canvas.Pixel(x, y); }) {}
  PixelSource(const model::PaletteCanvas& canvas)  // NOLINT: stands for the raster
      : width(canvas.Width()),
        height(canvas.Height()),
        pixel([&canvas](int x, int y) { return canvas.Pixel(x, y); }) {}
  int Width() const { return width; }
  int Height() const { return height; }
  model::Colour Pixel(int x, int y) const { return pixel(x, y); }

  int width;
  int height;
  std::function<model::Colour(int, int)> pixel;
};

// Whether two rasters hold the same colours everywhere.
bool SameColours(const PixelSource& a, const PixelSource& b);

// Rows of characters for `area` of the canvas.
std::vector<std::string> RasterRows(const PixelSource& canvas, const model::Rect& area,
                                    const Legend& legend);

// Compares `area` of the canvas, whose top-left corner is `origin`, with rows of characters.
testing::AssertionResult RasterMatches(const PixelSource& canvas, int left, int top,
                                       const std::vector<std::string>& rows, const Legend& legend);

// Compares every pixel of the canvas with `expected`. On a difference, reports how many pixels
// differ and draws the first differing region (at most 48 x 16 pixels) both ways.
testing::AssertionResult WholeRasterMatches(const PixelSource& canvas,
                                            const std::function<model::Colour(int, int)>& expected,
                                            const Legend& legend);

}  // namespace testsupport
