#pragma once

#include <cstdint>
#include <string>

#include "model/pixel_store.h"

namespace model {

// Two upper-case hexadecimal digits, high digit first: 0 -> "00", 171 -> "AB".
std::string ByteToHex(std::uint8_t value);

// Bytes per output line for a picture `width` pixels wide: 12 when 12 divides the width,
// otherwise 8 when 8 does, otherwise 4. It always divides the width, so every page of the
// picture ends at the end of a line.
int BytesPerLine(int width);

// The picture's W x H area as the text of a C array in the page layout of small display
// controllers: H / 8 pages of eight rows, top page first; in a page one byte per column, left
// to right; bit k of a byte is row 8p + k (top row in the least significant bit), 1 for a set
// pixel. Lines end in CR LF; the text itself ends in "};" with no line break:
//
//   static const char lcd_image_mas[8] =
//   { 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
//
// `width` must be a multiple of 4 in 4..320 and `height` a multiple of 8 in 8..240.
std::string BuildArrayText(const PixelStore& store, int width, int height);

}  // namespace model
