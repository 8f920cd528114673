#pragma once

// The BMP file decoder: a 14-byte file header ("BM", file size, two reserved words, the offset of
// the bits) followed by a DIB (picture/dib.h). No toolkit.

#include <cstdint>
#include <span>

#include "model/bitmap.h"

namespace picture {

namespace dib {
class BitsReader;
}

// Decodes a whole BMP file. A zero-byte file gives an empty bitmap. Throws LoadError:
//   - "Stream read error": 1 to 13 bytes, or a header, masks or colour table cut short;
//   - "Bitmap image is not valid": no "BM" signature, planes other than 1, a depth or
//     compression that cannot be read (JPEG and PNG included), a size that is not positive or
//     above dib::kMaxPixels, a bits offset inside the headers or past the end of the file, a bad
//     RLE stream.
// Bits cut short are not an error: what is missing decodes as zero bytes. Alpha is ignored. Rows
// that no bits reach are not held (model::Bitmap::Partial): a file of a few bytes that declares
// a picture of 100 million pixels takes next to no memory.
model::Bitmap DecodeBmp(std::span<const std::uint8_t> file);

// DecodeBmp on a file read as it is decoded: `file` reads it from its start and `fileSize` is its
// size when opened. The pixel bits are read straight into the bitmap, so the file is never held
// whole; uncompressed bits are not read past the last row. A file that turns out shorter (cut
// while it is read) decodes as a file of the length the reads found, except that one found to
// end before its bits start when it had bits at first throws "Stream read error". Reading errors
// come through as `file` throws them.
model::Bitmap DecodeBmp(std::uint64_t fileSize, dib::BitsReader& file);

}  // namespace picture
