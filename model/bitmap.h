#pragma once

#include <cstddef>
#include <limits>
#include <vector>

#include "model/canvas.h"
#include "model/colour.h"

namespace model {

// A decoded picture: `Width()` x `Height()` colours 0x00BBGGRR, rows top to bottom with no
// padding. The high byte of every pixel is 0.
class Bitmap {
 public:
  // An empty bitmap: 0 x 0.
  Bitmap() = default;
  // A bitmap filled with `fill`. Negative sizes give an empty bitmap; callers bound the size
  // (the decoders refuse anything above kMaxPixels).
  Bitmap(int width, int height, Colour fill);
  // A bitmap whose pixels are left unset, for a decoder that writes every one of them.
  static Bitmap Uninitialised(int width, int height);
  // A bitmap that keeps the pixels of rows firstKept to firstKept + keptRows - 1 only, left unset
  // for a decoder to write; every pixel of every other row is `rest`. A file that holds the data
  // of a few rows of a large picture takes memory for those rows only. The kept rows are clipped
  // to the bitmap.
  static Bitmap Partial(int width, int height, int firstKept, int keptRows, Colour rest);

  int Width() const { return m_width; }
  int Height() const { return m_height; }
  bool Empty() const { return m_width <= 0 || m_height <= 0; }

  // A two-colour source: decoded from one bit a pixel. Reducing such a picture keeps black (see
  // StretchBitmap).
  bool TwoColour() const { return m_twoColour; }
  void SetTwoColour(bool twoColour) { m_twoColour = twoColour; }

  // Rows whose pixels are held: all of them, except in a Partial bitmap.
  int FirstKeptRow() const { return m_firstKept; }
  int KeptRows() const { return m_keptRows; }
  bool Keeps(int y) const { return y >= m_firstKept && y - m_firstKept < m_keptRows; }
  // The colour of every pixel of the rows not kept.
  Colour Rest() const { return m_rest; }

  // Row `y`, a kept row.
  Colour* Row(int y) { return m_pixels.data() + Offset(y); }
  const Colour* Row(int y) const { return m_pixels.data() + Offset(y); }
  // The colour at (x, y); kInvalidColour outside the bitmap.
  Colour Pixel(int x, int y) const;

 private:
  struct Uninit {};
  Bitmap(int width, int height, Uninit, int firstKept = 0,
         int keptRows = std::numeric_limits<int>::max());
  std::size_t Offset(int y) const { return static_cast<std::size_t>(y - m_firstKept) * m_width; }

  int m_width = 0;
  int m_height = 0;
  bool m_twoColour = false;
  int m_firstKept = 0;
  int m_keptRows = 0;
  Colour m_rest = 0;
  // Raster memory: a large picture lands on large pages, and growing leaves pixels unset.
  std::vector<Colour, RasterAllocator<Colour>> m_pixels;
};

// Draws `source` stretched (aspect ratio not kept) into `dest` of the canvas: pixels dest.left to
// dest.right - 1 and dest.top to dest.bottom - 1, clipped to the canvas, which marks them dirty.
// Pixels outside `dest` are not touched. An empty source or an empty `dest` draws nothing.
//
// Resampling picks pixels; with sw, sh the source size and dw, dh the size of `dest` (before
// clipping), destination pixel (dx, dy), counted from dest's corner:
//   - takes source column floor(dx * sw / dw) and source row floor(dy * sh / dh);
//   - except for a two-colour source, where in a reduced direction (dw < sw, or dh < sh) the
//     pixel merges every source column sx with floor(sx * dw / sw) == dx (rows likewise), and in
//     the other direction it takes the single picked column or row as above. The merged colours
//     are combined by bitwise AND, so black wins over anything and white over nothing:
//
//       source 1 x 6:  W B W W W B      reduced to 1 x 3:  B W B
//                      \_/ \_/ \_/      (a colour source gives W W W: columns 0, 2, 4)
void StretchBitmap(const Bitmap& source, Canvas& canvas, const Rect& dest);

// Pixels held elsewhere, for StretchPixels: `height` rows of `width` colours, row y starting at
// pixels + (y - firstKept) * stride. The high byte of each pixel is ignored. `redBlueSwapped`: the
// pixels are 0x..RRGGBB (red in the third byte, as a toolkit's 32-bit image holds them), so a
// picked pixel's red and blue are exchanged.
struct PixelRows {
  const Colour* pixels = nullptr;
  int width = 0;
  int height = 0;
  std::ptrdiff_t stride = 0;
  bool twoColour = false;
  bool redBlueSwapped = false;
  // Rows outside firstKept to firstKept + keptRows - 1 are not held: each of their pixels is
  // `rest`, and `pixels` points at row firstKept.
  int firstKept = 0;
  int keptRows = std::numeric_limits<int>::max();
  Colour rest = 0;
};

// StretchBitmap for pixels held elsewhere (a decoded image kept as it came), by the same rule.
void StretchPixels(const PixelRows& source, Canvas& canvas, const Rect& dest);

}  // namespace model
