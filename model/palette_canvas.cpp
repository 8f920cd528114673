#include "model/palette_canvas.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "model/raster_drawing.h"

namespace model {

PaletteCanvas::PaletteCanvas(int width, int height)
    : m_width(std::max(width, 0)),
      m_height(std::max(height, 0)),
      m_pixels(static_cast<std::size_t>(m_width) * m_height, std::uint8_t{0}),
      m_dirty{0, 0, m_width, m_height} {
  m_palette[0] = kWhite;
  if (m_pixels.empty()) m_dirty = {};
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
