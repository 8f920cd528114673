#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "model/canvas.h"
#include "model/colour.h"

namespace model {

// A raster of few colours: one byte a pixel, an index into a palette of at most 256 colours. It
// draws exactly as Canvas does (the same pen, brush, Rectangle, MoveTo/LineTo, pixel reads and
// writes returning the exact colour, and the same dirty rectangle), for rasters that hold a
// handful of colours and are large: the board surface is 2560 x 1920, at most 4.9 MB this way
// instead of 19.7 MB.
//
// Rows that have never been written on their own share one common row, which SetRowHeads
// changes for all of them at once; a row gets memory of its own (a copy of the common row) when
// it is first written through Row(y) or a drawing call. So the board surface holds only the rows
// a board has covered: 193 rows, 0.5 MB, for the first board at 84 x 48 x 4.
//
// A colour gets its index the first time it is drawn and keeps it for the raster's life, so
// equal indices always mean equal colours. Index 0 is white, which a new raster is filled with.
// Drawing a 257th distinct colour throws std::length_error.
class PaletteCanvas {
 public:
  static constexpr int kPaletteSize = 256;

  PaletteCanvas(int width, int height);
  PaletteCanvas(const PaletteCanvas& other);
  PaletteCanvas(PaletteCanvas&& other) noexcept = default;
  PaletteCanvas& operator=(const PaletteCanvas& other);
  PaletteCanvas& operator=(PaletteCanvas&& other) noexcept = default;
  ~PaletteCanvas() = default;

  int Width() const { return m_width; }
  int Height() const { return m_height; }

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

  // Row y's indices for reading (0 <= y < Height()); valid until the raster is next changed.
  const std::uint8_t* Row(int y) const { return m_own[y] ? OwnRow(y) : m_common.data(); }
  // Row y's indices for writing: the row gets memory of its own first if it shares the common
  // row. Writers outside the drawing calls must use indices from IndexOf and call MarkDirty.
  std::uint8_t* Row(int y) {
    if (!m_own[y]) TakeOwnRow(y);
    return OwnRow(y);
  }

  // Sets columns 0..length - 1 of rows top..bottom - 1 (clipped to the raster) to `head`; the
  // rest of each row keeps what it held. The rows in that range that share the common row go on
  // sharing it, now with `head` at its start: no memory is taken for them. Marks the area dirty.
  void SetRowHeads(int top, int bottom, const std::uint8_t* head, int length);

  Rect DirtyRect() const { return m_dirty; }
  void ResetDirty() { m_dirty = {}; }
  void MarkDirty(const Rect& r);

  // The memory the raster holds: the rows with memory of their own, the common row, the record
  // of which rows those are, and the palette.
  std::size_t MemoryBytes() const {
    return m_ownRows * static_cast<std::size_t>(m_width) + m_common.size() + m_own.size() +
           sizeof(m_palette);
  }

 private:
  struct FreeMemory {
    void operator()(std::uint8_t* p) const;
  };

  std::uint8_t* OwnRow(int y) { return m_pixels.get() + static_cast<std::size_t>(y) * m_width; }
  const std::uint8_t* OwnRow(int y) const {
    return m_pixels.get() + static_cast<std::size_t>(y) * m_width;
  }
  void TakeOwnRow(int y);

  int m_width;
  int m_height;
  // Room for every row, on ordinary pages (large ones would be resident whole): the system gives
  // a page memory only when a row on it is first written.
  std::unique_ptr<std::uint8_t, FreeMemory> m_pixels;
  std::vector<std::uint8_t> m_common;
  // 1 for each row that has memory of its own in m_pixels.
  std::vector<std::uint8_t> m_own;
  std::size_t m_ownRows = 0;
  std::array<Colour, kPaletteSize> m_palette{};
  int m_colours = 1;
  Colour m_pen = kBlack;
  Colour m_brush = kWhite;
  int m_penX = 0;
  int m_penY = 0;
  Rect m_dirty;
};

}  // namespace model
