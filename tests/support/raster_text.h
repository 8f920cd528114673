#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/canvas.h"

namespace testsupport {

// Maps colours to the characters that draw them in expected pictures. A colour missing from the
// legend prints as '?'.
using Legend = std::map<model::Colour, char>;

// The board's colours: '#' black, 'o' set (bright green), '.' clear (dark green), '-' the
// button face used by the tests, ' ' white.
inline constexpr model::Colour kTestButtonFace = 0xF0F0F0;
Legend BoardLegend();

// Rows of characters for `area` of the canvas.
std::vector<std::string> RasterRows(const model::Canvas& canvas, const model::Rect& area,
                                    const Legend& legend);

// Compares `area` of the canvas, whose top-left corner is `origin`, with rows of characters.
testing::AssertionResult RasterMatches(const model::Canvas& canvas, int left, int top,
                                       const std::vector<std::string>& rows, const Legend& legend);

// Compares every pixel of the canvas with `expected`. On a difference, reports how many pixels
// differ and draws the first differing region (at most 48 x 16 pixels) both ways.
testing::AssertionResult WholeRasterMatches(const model::Canvas& canvas,
                                            const std::function<model::Colour(int, int)>& expected,
                                            const Legend& legend);

}  // namespace testsupport
