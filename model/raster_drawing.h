#pragma once

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "model/canvas.h"

namespace model::drawing {

// The drawing operations shared by the rasters, on any raster with Width(), Height(), Row(y)
// (a pointer to the first pixel of row y) and MarkDirty(rect), written with pixel values `pen`
// and `brush` of the raster's own kind. Their coverage is described at Canvas.

template <class Raster, class Word>
void Rectangle(Raster& raster, int left, int top, int right, int bottom, Word pen, Word brush) {
  if (left > right) std::swap(left, right);
  if (top > bottom) std::swap(top, bottom);
  const Rect clip =
      Rect{left, top, right, bottom}.Intersected({0, 0, raster.Width(), raster.Height()});
  if (clip.Empty()) return;
  // Interior columns, clipped: [left + 1, right - 1).
  const int in0 = std::max(left + 1, clip.left);
  const int in1 = std::min(right - 1, clip.right);
  const bool leftEdge = left >= clip.left;        // column `left` is on the raster
  const bool rightEdge = right - 1 < clip.right;  // column `right - 1` is on the raster
  for (int y = clip.top; y < clip.bottom; ++y) {
    auto* row = raster.Row(y);
    if (y == top || y == bottom - 1) {
      std::fill(row + clip.left, row + clip.right, pen);
      continue;
    }
    if (in0 < in1) std::fill(row + in0, row + in1, brush);
    if (leftEdge) row[left] = pen;
    if (rightEdge) row[right - 1] = pen;
  }
  raster.MarkDirty(clip);
}

// A pen line from (x0, y0) up to, but not including, (x, y).
template <class Raster, class Word>
void Line(Raster& raster, int x0, int y0, int x, int y, Word pen) {
  const int width = raster.Width();
  const int height = raster.Height();
  if (y0 == y) {  // horizontal: a span, end excluded
    if (y < 0 || y >= height || x0 == x) return;
    const int a = x0 < x ? x0 : x + 1;
    const int b = x0 < x ? x : x0 + 1;
    const int ca = std::max(a, 0);
    const int cb = std::min(b, width);
    if (ca >= cb) return;
    std::fill(raster.Row(y) + ca, raster.Row(y) + cb, pen);
    raster.MarkDirty({ca, y, cb, y + 1});
    return;
  }
  if (x0 == x) {  // vertical
    if (x < 0 || x >= width) return;
    const int a = y0 < y ? y0 : y + 1;
    const int b = y0 < y ? y : y0 + 1;
    const int ca = std::max(a, 0);
    const int cb = std::min(b, height);
    if (ca >= cb) return;
    for (int yy = ca; yy < cb; ++yy) raster.Row(yy)[x] = pen;
    raster.MarkDirty({x, ca, x + 1, cb});
    return;
  }

  // General Bresenham; the loop stops before plotting the end point. The coordinates are taken
  // as 64-bit so far-away points cannot overflow the error term.
  long long cx = x0, cy = y0;
  const long long dx = std::llabs(static_cast<long long>(x) - x0);
  const long long dy = -std::llabs(static_cast<long long>(y) - y0);
  const int sx = x0 < x ? 1 : -1;
  const int sy = y0 < y ? 1 : -1;
  long long err = dx + dy;
  Rect touched;
  // A line's pixels outside the raster are skipped; the walk itself is bounded by dx + |dy|.
  while (cx != x || cy != y) {
    if (cx >= 0 && cx < width && cy >= 0 && cy < height) {
      raster.Row(static_cast<int>(cy))[cx] = pen;
      touched = touched.United({static_cast<int>(cx), static_cast<int>(cy),
                                static_cast<int>(cx) + 1, static_cast<int>(cy) + 1});
    }
    const long long e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      cx += sx;
    }
    if (e2 <= dx) {
      err += dx;
      cy += sy;
    }
  }
  raster.MarkDirty(touched);
}

}  // namespace model::drawing
