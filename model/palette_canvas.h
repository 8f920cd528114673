#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "model/canvas.h"
#include "model/colour.h"

namespace model {

// A raster of few colours: one byte a pixel, an index into a palette of at most 256 colours. It
// draws exactly as Canvas does (the same pen, brush, Rectangle, MoveTo/LineTo, pixel reads and
// writes returning the exact colour, and the same dirty rectangle), for rasters that hold a
// handful of colours and are large: the board surface is 2560 x 1920, 4.9 MB this way instead
// of 19.7 MB.
//
// A colour gets its index the first time it is drawn and keeps it for the raster's life, so
// equal indices always mean equal colours. Index 0 is white, which a new raster is filled with.
// Drawing a 257th distinct colour throws std::length_error.
class PaletteCanvas {
 public:
  static constexpr int kPaletteSize = 256;

  PaletteCanvas(int width, int height);

  int Width() const { return m_width; }
  int Height() const { return m_height; }
  const std::uint8_t* Bits() const { return m_pixels.data(); }

  void SetPenColour(Colour c) { m_pen = c & 0xFFFFFF; }
  Colour PenColour() const { return m_pen; }
  void SetBrushColour(Colour c) { m_brush = c & 0xFFFFFF; }
  Colour BrushColour() const { return m_brush; }

  void Rectangle(int left, int top, int right, int bottom);
  void MoveTo(int x, int y);
  void LineTo(int x, int y);
  Colour Pixel(int x, int y) const;
  void SetPixel(int x, int y, Colour c);
  void FillRect(const Rect& r, Colour c);

  // The index of `c` (its low 24 bits), given it now if it has none.
  std::uint8_t IndexOf(Colour c);
  // The colours by index; entries from ColourCount() on are unused.
  const std::array<Colour, kPaletteSize>& Palette() const { return m_palette; }
  int ColourCount() const { return m_colours; }

  // Row y's indices (0 <= y < Height()). Writers outside the drawing calls must use indices
  // from IndexOf and call MarkDirty.
  std::uint8_t* Row(int y) { return m_pixels.data() + static_cast<std::size_t>(y) * m_width; }
  const std::uint8_t* Row(int y) const {
    return m_pixels.data() + static_cast<std::size_t>(y) * m_width;
  }

  Rect DirtyRect() const { return m_dirty; }
  void ResetDirty() { m_dirty = {}; }
  void MarkDirty(const Rect& r);

  // The memory the raster holds: its pixels and its palette.
  std::size_t MemoryBytes() const {
    return m_pixels.capacity() * sizeof(std::uint8_t) + sizeof(m_palette);
  }

 private:
  int m_width;
  int m_height;
  // Ordinary pages: large pages would round the 4.9 MB up to 6 MB resident.
  std::vector<std::uint8_t> m_pixels;
  std::array<Colour, kPaletteSize> m_palette{};
  int m_colours = 1;
  Colour m_pen = kBlack;
  Colour m_brush = kWhite;
  int m_penX = 0;
  int m_penY = 0;
  Rect m_dirty;
};

}  // namespace model
