#pragma once

// Builds BMP files in memory for the decoder tests, the fuzzing seeds and the benchmark.

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "model/colour.h"

namespace bmptest {

struct BmpSpec {
  std::uint32_t headerSize = 40;  // 12 writes the OS/2 core header; others the info header
  std::int32_t width = 0;
  std::int32_t height = 0;  // negative: top-down
  std::uint16_t planes = 1;
  std::uint16_t bitCount = 24;
  std::uint32_t compression = 0;
  std::uint32_t sizeImage = 0;
  // Default: palette.size() (0 for none).
  std::optional<std::uint32_t> colorsUsed;
  // Written as RGBQUADs, or RGBTRIPLEs under the core header.
  std::vector<model::Colour> palette;
  // Written right after a 40-byte header, or at offset 40 inside a larger one.
  std::vector<std::uint32_t> masks;
  // Zero bytes between the colour table and the bits.
  std::uint32_t gap = 0;
  // The pixel data as stored.
  std::vector<std::uint8_t> bits;
  // Default: where the bits are written.
  std::optional<std::uint32_t> bitsOffset;
  // Default: the file's size.
  std::optional<std::uint32_t> fileSize;
};

std::vector<std::uint8_t> BuildBmp(const BmpSpec& spec);

// The 24-bit value a pixel of colour `c` stores: 0xRRGGBB, read little-endian as B, G, R (and X
// for 32 bits).
std::uint32_t Stored(model::Colour c);

// Packs pixel rows, given top row first, at `bitCount` bits a pixel (palette indices, or the
// stored little-endian value of a 16-, 24- or 32-bit pixel, e.g. 0xRRGGBB for 24 bits), each
// row padded to 4 bytes, in file order: bottom row first unless `topDown`.
std::vector<std::uint8_t> PackRows(const std::vector<std::vector<std::uint32_t>>& rows,
                                   int bitCount, bool topDown = false);

// A 24-bit bottom-up BMP file of w x h pixels, pixel (x, y) of colour `colour(x, y)`.
std::vector<std::uint8_t> Bmp24(int w, int h, const std::function<model::Colour(int, int)>& colour);

}  // namespace bmptest
