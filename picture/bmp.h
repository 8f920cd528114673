#pragma once

// The BMP file decoder: a 14-byte file header ("BM", file size, two reserved words, the offset of
// the bits) followed by a DIB (picture/dib.h). No toolkit.

#include <cstdint>
#include <span>

#include "model/bitmap.h"

namespace picture {

// Decodes a whole BMP file. A zero-byte file gives an empty bitmap. Throws LoadError:
//   - "Stream read error": 1 to 13 bytes, or a header, masks or colour table cut short;
//   - "Bitmap image is not valid": no "BM" signature, planes other than 1, a depth or
//     compression that cannot be read (JPEG and PNG included), a size that is not positive or
//     above dib::kMaxPixels, a bits offset inside the headers or past the end of the file, a bad
//     RLE stream.
// Bits cut short are not an error: what is missing decodes as zero bytes. Alpha is ignored.
model::Bitmap DecodeBmp(std::span<const std::uint8_t> file);

}  // namespace picture
