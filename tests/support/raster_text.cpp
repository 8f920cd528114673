#include "tests/support/raster_text.h"

#include <algorithm>
#include <sstream>

namespace testsupport {
namespace {

char CharOf(model::Colour c, const Legend& legend) {
  const auto it = legend.find(c);
  return it == legend.end() ? '?' : it->second;
}

std::string Region(const std::function<model::Colour(int, int)>& colourAt, const model::Rect& r,
                   const Legend& legend) {
  std::ostringstream out;
  for (int y = r.top; y < r.bottom; ++y) {
    out << "  ";
    for (int x = r.left; x < r.right; ++x) out << CharOf(colourAt(x, y), legend);
    out << "\n";
  }
  return out.str();
}

}  // namespace

Legend BoardLegend() {
  return {
      {0x000000, '#'}, {0x00FF00, 'o'}, {0x008000, '.'}, {kTestButtonFace, '-'}, {0xFFFFFF, ' '}};
}

std::vector<std::string> RasterRows(const PixelSource& canvas, const model::Rect& area,
                                    const Legend& legend) {
  std::vector<std::string> rows;
  for (int y = area.top; y < area.bottom; ++y) {
    std::string row;
    for (int x = area.left; x < area.right; ++x) row += CharOf(canvas.Pixel(x, y), legend);
    rows.push_back(row);
  }
  return rows;
}

testing::AssertionResult RasterMatches(const PixelSource& canvas, int left, int top,
                                       const std::vector<std::string>& rows, const Legend& legend) {
  const int width = rows.empty() ? 0 : static_cast<int>(rows.front().size());
  const model::Rect area{left, top, left + width, top + static_cast<int>(rows.size())};
  const std::vector<std::string> actual = RasterRows(canvas, area, legend);
  if (actual == rows) return testing::AssertionSuccess();
  std::ostringstream out;
  out << "raster at (" << left << ", " << top << ") differs\nexpected:\n";
  for (const auto& r : rows) out << "  " << r << "\n";
  out << "actual:\n";
  for (const auto& r : actual) out << "  " << r << "\n";
  return testing::AssertionFailure() << out.str();
}

testing::AssertionResult WholeRasterMatches(const PixelSource& canvas,
                                            const std::function<model::Colour(int, int)>& expected,
                                            const Legend& legend) {
  long differing = 0;
  int fx = -1, fy = -1;
  for (int y = 0; y < canvas.Height(); ++y) {
    for (int x = 0; x < canvas.Width(); ++x) {
      if (canvas.Pixel(x, y) != expected(x, y)) {
        if (differing++ == 0) {
          fx = x;
          fy = y;
        }
      }
    }
  }
  if (differing == 0) return testing::AssertionSuccess();
  const model::Rect region{std::max(fx - 8, 0), std::max(fy - 4, 0),
                           std::min(fx + 40, canvas.Width()), std::min(fy + 12, canvas.Height())};
  return testing::AssertionFailure()
         << differing << " pixels differ, the first at (" << fx << ", " << fy << ")\n"
         << "region from (" << region.left << ", " << region.top << "), expected:\n"
         << Region(expected, region, legend) << "actual:\n"
         << Region([&](int x, int y) { return canvas.Pixel(x, y); }, region, legend);
}

bool SameColours(const PixelSource& a, const PixelSource& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x)
      if (a.Pixel(x, y) != b.Pixel(x, y)) return false;
  return true;
}

}  // namespace testsupport
