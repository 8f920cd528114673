#include "model/palette_canvas.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <stdexcept>
#include <utility>

#include "model/raster_drawing.h"

namespace model {

namespace {

// Zeroed memory for `bytes`: a large block comes straight from the system, whose pages hold no
// memory until first written.
std::uint8_t* ZeroedBytes(std::size_t bytes) {
  void* memory = std::calloc(std::max<std::size_t>(bytes, 1), 1);
  if (memory == nullptr) throw std::bad_alloc();
  return static_cast<std::uint8_t*>(memory);
}

}  // namespace

void PaletteCanvas::FreeMemory::operator()(std::uint8_t* p) const {
  std::free(p);
}

PaletteCanvas::PaletteCanvas(int width, int height)
    : m_width(std::max(width, 0)),
      m_height(std::max(height, 0)),
      m_pixels(ZeroedBytes(static_cast<std::size_t>(m_width) * m_height)),
      m_common(static_cast<std::size_t>(m_width), std::uint8_t{0}),
      m_own(static_cast<std::size_t>(m_height), std::uint8_t{0}),
      m_dirty{0, 0, m_width, m_height} {
  m_palette[0] = kWhite;
  if (m_width == 0 || m_height == 0) m_dirty = {};
}

// Only the rows with memory of their own are copied; the copy's other rows share its common row
// as the original's do.
PaletteCanvas::PaletteCanvas(const PaletteCanvas& other)
    : m_width(other.m_width),
      m_height(other.m_height),
      m_pixels(ZeroedBytes(static_cast<std::size_t>(m_width) * m_height)),
      m_common(other.m_common),
      m_own(other.m_own),
      m_ownRows(other.m_ownRows),
      m_palette(other.m_palette),
      m_colours(other.m_colours),
      m_pen(other.m_pen),
      m_brush(other.m_brush),
      m_penX(other.m_penX),
      m_penY(other.m_penY),
      m_dirty(other.m_dirty) {
  for (int y = 0; y < m_height; ++y)
    if (m_own[y]) std::copy_n(other.OwnRow(y), m_width, OwnRow(y));
}

PaletteCanvas& PaletteCanvas::operator=(const PaletteCanvas& other) {
  if (this != &other) *this = PaletteCanvas(other);
  return *this;
}

void PaletteCanvas::TakeOwnRow(int y) {
  std::copy(m_common.begin(), m_common.end(), OwnRow(y));
  m_own[y] = 1;
  ++m_ownRows;
}

void PaletteCanvas::SetRowHeads(int top, int bottom, const std::uint8_t* head, int length) {
  top = std::max(top, 0);
  bottom = std::min(bottom, m_height);
  length = std::clamp(length, 0, m_width);
  if (top >= bottom || length == 0) return;
  // The rows outside the range that share the common row keep what it holds now.
  for (int y = 0; y < m_height; ++y)
    if ((y < top || y >= bottom) && !m_own[y]) TakeOwnRow(y);
  for (int y = top; y < bottom; ++y)
    if (m_own[y]) std::copy_n(head, length, OwnRow(y));
  std::copy_n(head, length, m_common.begin());
  MarkDirty({0, top, length, bottom});
}

std::uint8_t PaletteCanvas::IndexOf(Colour c) {
  c &= 0xFFFFFF;
  // Few colours, the most used first: a short search.
  for (int i = 0; i < m_colours; ++i) {
    if (m_palette[i] == c) return static_cast<std::uint8_t>(i);
  }
  if (m_colours == kPaletteSize) throw std::length_error("Too many colours on a palette raster");
  m_palette[m_colours] = c;
  return static_cast<std::uint8_t>(m_colours++);
}

void PaletteCanvas::MarkDirty(const Rect& r) {
  m_dirty = m_dirty.United(r.Intersected({0, 0, m_width, m_height}));
}

void PaletteCanvas::Rectangle(int left, int top, int right, int bottom) {
  const std::uint8_t pen = IndexOf(m_pen);
  drawing::Rectangle(*this, left, top, right, bottom, pen, IndexOf(m_brush));
}

void PaletteCanvas::MoveTo(int x, int y) {
  m_penX = x;
  m_penY = y;
}

void PaletteCanvas::LineTo(int x, int y) {
  const std::uint8_t pen = IndexOf(m_pen);
  drawing::Line(*this, std::exchange(m_penX, x), std::exchange(m_penY, y), x, y, pen);
}

Colour PaletteCanvas::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= m_width || y >= m_height) return kInvalidColour;
  return m_palette[Row(y)[x]];
}

void PaletteCanvas::SetPixel(int x, int y, Colour c) {
  if (x < 0 || y < 0 || x >= m_width || y >= m_height) return;
  Row(y)[x] = IndexOf(c);
  MarkDirty({x, y, x + 1, y + 1});
}

void PaletteCanvas::FillRect(const Rect& r, Colour c) {
  const Rect clip = r.Intersected({0, 0, m_width, m_height});
  if (clip.Empty()) return;
  const std::uint8_t index = IndexOf(c);
  for (int y = clip.top; y < clip.bottom; ++y)
    std::fill(Row(y) + clip.left, Row(y) + clip.right, index);
  MarkDirty(clip);
}

}  // namespace model
