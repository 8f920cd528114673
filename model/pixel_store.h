#pragma once

#include <array>
#include <cstdint>

namespace model {

// The one picture the program edits: 320 x 240 two-valued pixels, one byte each, 1 for a set
// pixel and 0 for a clear one.
//
// Column-major with a fixed stride: pixel (x, y) lives at x * 240 + y whatever the current width
// and height. So a pixel keeps its place when the picture's size changes: shrinking hides the
// pixels outside the new size without erasing them, and growing shows them again.
class PixelStore {
 public:
  static constexpr int kColumns = 320;
  static constexpr int kRows = 240;
  static constexpr int kStride = kRows;

  // Starts with every pixel clear.
  PixelStore() { ClearPicture(); }

  // Clears all 320 x 240 pixels, not only those of the current size.
  void ClearPicture() { m_pixels.fill(0); }

  // Callers keep 0 <= x < 320 and 0 <= y < 240; a position outside reads as clear and is never
  // written, so a slip cannot reach memory that is not the picture.
  std::uint8_t Get(int x, int y) const { return Inside(x, y) ? m_pixels[Index(x, y)] : 0; }
  // Any non-zero value stores 1: the store holds 0 and 1 only.
  void Set(int x, int y, int value) {
    if (Inside(x, y)) m_pixels[Index(x, y)] = value != 0 ? 1 : 0;
  }

  // Flips the pixel at Index(x, y), which callers keep below kColumns * kRows.
  void FlipAt(int index) { m_pixels[static_cast<std::size_t>(index)] ^= 1; }

  static constexpr int Index(int x, int y) { return x * kStride + y; }
  const std::array<std::uint8_t, kColumns * kRows>& Raw() const { return m_pixels; }

 private:
  static constexpr bool Inside(int x, int y) {
    return x >= 0 && x < kColumns && y >= 0 && y < kRows;
  }
  std::array<std::uint8_t, kColumns * kRows> m_pixels;
};

}  // namespace model
