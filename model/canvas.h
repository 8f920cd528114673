#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <new>
#include <thread>
#include <utility>
#include <vector>

#include "model/colour.h"

namespace model {

// Memory for raster pixels. A raster of several megabytes, up to 64 MB, is placed on large pages
// where the system has them, so that touching it all once costs a few page faults instead of
// thousands; a larger one takes ordinary pages, each of which the system maps at once. Either is
// left out of forked child processes, which never use it and would otherwise turn every later
// write into a copy. Smaller rasters use the ordinary heap.
void* AllocateRaster(std::size_t bytes);
void FreeRaster(void* memory, std::size_t bytes);

// Maps the pages of a large block of fresh memory on another core, from the front, while the
// caller fills the block from the front: the system zeroes each page as it first maps it, which
// for a raster of a few hundred megabytes costs a large part of reading a slow file into it, and
// the caller's writes then find their pages mapped. No byte changes: a page the caller reached
// first stays as it is. Stops when destroyed. Does nothing for a block under kFrom, or where the
// system cannot map pages ahead.
class PagesAhead {
 public:
  static constexpr std::size_t kFrom = std::size_t{64} << 20;

  PagesAhead(void* block, std::size_t bytes);
  ~PagesAhead();
  PagesAhead(const PagesAhead&) = delete;
  PagesAhead& operator=(const PagesAhead&) = delete;

  // Waits for the mapping to end; whether every whole page of the block was mapped here.
  bool Finish();

 private:
  std::atomic<bool> m_stop{false};
  std::atomic<bool> m_mapped{false};
  std::thread m_thread;
};

template <class T>
struct RasterAllocator {
  using value_type = T;
  RasterAllocator() = default;
  template <class U>
  RasterAllocator(const RasterAllocator<U>&) {}
  T* allocate(std::size_t n) { return static_cast<T*>(AllocateRaster(n * sizeof(T))); }
  void deallocate(T* p, std::size_t n) { FreeRaster(p, n * sizeof(T)); }
  // Growing a vector leaves new pixels unset (default-initialised), for writers that set every
  // one of them anyway; construction with a value fills as usual.
  template <class U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
  template <class U>
  bool operator==(const RasterAllocator<U>&) const {
    return true;
  }
};

// A rectangle of raster pixels: x from left to right - 1, y from top to bottom - 1.
struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool Empty() const { return right <= left || bottom <= top; }
  // The smallest rectangle holding both; an empty rectangle adds nothing.
  Rect United(const Rect& other) const;
  Rect Intersected(const Rect& other) const;
  friend bool operator==(const Rect&, const Rect&) = default;
};

// A raster of Colour pixels with a pen and a brush, drawing with the pixel coverage of the
// Windows graphics device interface. Coordinates are integers, x to the right and y downward
// from the top-left pixel (0, 0).
//
// Memory: rows top to bottom, `Width()` pixels a row with no padding, one 32-bit word a pixel
// holding 0xXXBBGGRR with the unused high byte X always 0xFF. On a little-endian machine that is
// the byte order R, G, B, X, so a window can wrap `Bits()` in an RGBX8888 image with no copy.
// Every read strips X again, so reads return the exact 0x00BBGGRR colour written.
//
// Every drawing call adds the pixels it may have changed (clipped to the raster) to the dirty
// rectangle; a window repaints that area and then calls `ResetDirty()`.
class Canvas {
 public:
  // A new raster is filled white and its whole area is dirty.
  Canvas(int width, int height);

  int Width() const { return m_width; }
  int Height() const { return m_height; }
  const std::uint32_t* Bits() const { return m_pixels.data(); }
  std::uint32_t* Bits() { return m_pixels.data(); }
  int BytesPerLine() const { return m_width * 4; }

  void SetPenColour(Colour c) { m_pen = c & 0xFFFFFF; }
  Colour PenColour() const { return m_pen; }
  void SetBrushColour(Colour c) { m_brush = c & 0xFFFFFF; }
  Colour BrushColour() const { return m_brush; }

  // Fills with the brush and outlines with the pen. Covers x from left to right - 1 and y from
  // top to bottom - 1; the outline is the outermost pixels of that area. Reversed coordinates are
  // swapped first; a rectangle covering no pixel draws nothing. Clipped to the raster.
  //
  //   Rectangle(0, 0, 5, 4):   PPPPP      P pen, B brush; column 5 and row 4
  //                            PBBBP      are not touched
  //                            PBBBP
  //                            PPPPP
  void Rectangle(int left, int top, int right, int bottom);

  // A one-pixel pen line from the current position up to, but not including, (x, y), which
  // becomes the current position. Any slope and direction (Bresenham). Clipped.
  //
  //   MoveTo(0, 0); LineTo(4, 2):   PP...      the end point (4, 2) stays
  //                                 .PP..      untouched
  //                                 .....
  void MoveTo(int x, int y);
  void LineTo(int x, int y);

  // The exact colour at (x, y); kInvalidColour (0xFFFFFFFF) outside the raster.
  Colour Pixel(int x, int y) const;
  // Writes one pixel; a position outside the raster is ignored.
  void SetPixel(int x, int y, Colour c);

  // Fills the rectangle with `c`, neither pen nor brush involved. Clipped.
  void FillRect(const Rect& r, Colour c);
  void Fill(Colour c) { FillRect({0, 0, m_width, m_height}, c); }

  // Pointer to the first pixel of row y (0 <= y < Height()). Writers outside the drawing calls
  // (a painter on the same memory) must keep the X byte 0xFF and call MarkDirty.
  std::uint32_t* Row(int y) { return m_pixels.data() + static_cast<std::size_t>(y) * m_width; }
  const std::uint32_t* Row(int y) const {
    return m_pixels.data() + static_cast<std::size_t>(y) * m_width;
  }

  // The area changed since the last ResetDirty, clipped to the raster; empty when none.
  Rect DirtyRect() const { return m_dirty; }
  void ResetDirty() { m_dirty = {}; }
  void MarkDirty(const Rect& r);

  static constexpr std::uint32_t kOpaque = 0xFF000000;

 private:
  // Fills x in [x0, x1) of row y, already clipped.
  void Span(int y, int x0, int x1, std::uint32_t word);

  int m_width;
  int m_height;
  std::vector<std::uint32_t, RasterAllocator<std::uint32_t>> m_pixels;
  Colour m_pen = kBlack;
  Colour m_brush = kWhite;
  int m_penX = 0;
  int m_penY = 0;
  Rect m_dirty;
};

}  // namespace model
