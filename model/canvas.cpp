#include "model/canvas.h"

#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <new>
#include <utility>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace model {
namespace {

constexpr std::size_t kLargePage = std::size_t{2} << 20;

std::size_t LargePageBytes(std::size_t bytes) {
  return (bytes + kLargePage - 1) / kLargePage * kLargePage;
}

}  // namespace

void* AllocateRaster(std::size_t bytes) {
  if (bytes < kLargePage) return ::operator new(bytes);
  void* memory = std::aligned_alloc(kLargePage, LargePageBytes(bytes));
  if (memory == nullptr) throw std::bad_alloc();
#if defined(__linux__)
  // Advice only: without large pages or with forking left as it is, the raster works the same.
  madvise(memory, LargePageBytes(bytes), MADV_HUGEPAGE);
  madvise(memory, LargePageBytes(bytes), MADV_DONTFORK);
#endif
  return memory;
}

void FreeRaster(void* memory, std::size_t bytes) {
  if (bytes < kLargePage) {
    ::operator delete(memory);
    return;
  }
#if defined(__linux__)
  // The region goes back to the heap, which may hand it to a fork again.
  madvise(memory, LargePageBytes(bytes), MADV_DOFORK);
#endif
  std::free(memory);
}

Rect Rect::United(const Rect& other) const {
  if (other.Empty()) return *this;
  if (Empty()) return other;
  return {std::min(left, other.left), std::min(top, other.top), std::max(right, other.right),
          std::max(bottom, other.bottom)};
}

Rect Rect::Intersected(const Rect& other) const {
  Rect r{std::max(left, other.left), std::max(top, other.top), std::min(right, other.right),
         std::min(bottom, other.bottom)};
  return r.Empty() ? Rect{} : r;
}

Canvas::Canvas(int width, int height)
    : m_width(std::max(width, 0)),
      m_height(std::max(height, 0)),
      m_pixels(static_cast<std::size_t>(m_width) * m_height, kWhite | kOpaque),
      m_dirty{0, 0, m_width, m_height} {
  if (m_pixels.empty()) m_dirty = {};
}

void Canvas::MarkDirty(const Rect& r) {
  m_dirty = m_dirty.United(r.Intersected({0, 0, m_width, m_height}));
}

void Canvas::Span(int y, int x0, int x1, std::uint32_t word) {
  std::fill(Row(y) + x0, Row(y) + x1, word);
}

void Canvas::FillRect(const Rect& r, Colour c) {
  const Rect clip = r.Intersected({0, 0, m_width, m_height});
  if (clip.Empty()) return;
  const std::uint32_t word = (c & 0xFFFFFF) | kOpaque;
  for (int y = clip.top; y < clip.bottom; ++y) Span(y, clip.left, clip.right, word);
  MarkDirty(clip);
}

void Canvas::Rectangle(int left, int top, int right, int bottom) {
  if (left > right) std::swap(left, right);
  if (top > bottom) std::swap(top, bottom);
  const Rect area{left, top, right, bottom};
  const Rect clip = area.Intersected({0, 0, m_width, m_height});
  if (clip.Empty()) return;

  const std::uint32_t pen = m_pen | kOpaque;
  const std::uint32_t brush = m_brush | kOpaque;
  // Interior columns, clipped: [left + 1, right - 1).
  const int in0 = std::max(left + 1, clip.left);
  const int in1 = std::min(right - 1, clip.right);
  const bool leftEdge = left >= clip.left;        // column `left` is on the raster
  const bool rightEdge = right - 1 < clip.right;  // column `right - 1` is on the raster
  for (int y = clip.top; y < clip.bottom; ++y) {
    if (y == top || y == bottom - 1) {
      Span(y, clip.left, clip.right, pen);
      continue;
    }
    std::uint32_t* row = Row(y);
    if (in0 < in1) std::fill(row + in0, row + in1, brush);
    if (leftEdge) row[left] = pen;
    if (rightEdge) row[right - 1] = pen;
  }
  MarkDirty(clip);
}

void Canvas::MoveTo(int x, int y) {
  m_penX = x;
  m_penY = y;
}

void Canvas::LineTo(int x, int y) {
  const int x0 = m_penX;
  const int y0 = m_penY;
  m_penX = x;
  m_penY = y;
  const std::uint32_t pen = m_pen | kOpaque;

  if (y0 == y) {  // horizontal: a span, end excluded
    if (y < 0 || y >= m_height || x0 == x) return;
    const int a = x0 < x ? x0 : x + 1;
    const int b = x0 < x ? x : x0 + 1;
    const int ca = std::max(a, 0);
    const int cb = std::min(b, m_width);
    if (ca >= cb) return;
    Span(y, ca, cb, pen);
    MarkDirty({ca, y, cb, y + 1});
    return;
  }
  if (x0 == x) {  // vertical
    if (x < 0 || x >= m_width) return;
    const int a = y0 < y ? y0 : y + 1;
    const int b = y0 < y ? y : y0 + 1;
    const int ca = std::max(a, 0);
    const int cb = std::min(b, m_height);
    if (ca >= cb) return;
    for (int yy = ca; yy < cb; ++yy) Row(yy)[x] = pen;
    MarkDirty({x, ca, x + 1, cb});
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
    if (cx >= 0 && cx < m_width && cy >= 0 && cy < m_height) {
      Row(static_cast<int>(cy))[cx] = pen;
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
  MarkDirty(touched);
}

Colour Canvas::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= m_width || y >= m_height) return kInvalidColour;
  return Row(y)[x] & 0xFFFFFF;
}

void Canvas::SetPixel(int x, int y, Colour c) {
  if (x < 0 || y < 0 || x >= m_width || y >= m_height) return;
  Row(y)[x] = (c & 0xFFFFFF) | kOpaque;
  MarkDirty({x, y, x + 1, y + 1});
}

}  // namespace model
