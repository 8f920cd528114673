#pragma once

// Decoding a BMP file handed over a few bytes a read, as a file is read, against decoding it from
// memory whole; and against the DIB decoder that icons and metafiles use, which keeps every row.

#include <algorithm>
#include <cstring>
#include <optional>
#include <span>
#include <string>

#include <gtest/gtest.h>

#include "model/bitmap.h"
#include "picture/bmp.h"
#include "picture/dib.h"
#include "picture/picture.h"
#include "tests/picture/piece_reader.h"

namespace bmptest {

// A decoding's outcome: the bitmap, or the message it raised.
struct Decoded {
  std::optional<model::Bitmap> bitmap;
  std::string error;
};

template <class Decode>
Decoded Outcome(const Decode& decode) {
  try {
    return {decode(), {}};
  } catch (const picture::LoadError& e) {
    return {std::nullopt, e.what()};
  }
}

inline Decoded DecodeWhole(std::span<const std::uint8_t> file) {
  return Outcome([&] { return picture::DecodeBmp(file); });
}

// Every read hands over at most `piece` bytes.
inline Decoded DecodeInPieces(std::span<const std::uint8_t> file, std::size_t piece) {
  return Outcome([&] {
    picture::dib::BitsReader reader(PieceReader(file, piece));
    return picture::DecodeBmp(file.size(), reader);
  });
}

// The bits after the file header decoded into a raster of every row, as an icon's or a
// metafile's bitmap is; only for files DecodeBmp decodes.
inline model::Bitmap DecodeEveryRow(std::span<const std::uint8_t> file) {
  const std::uint64_t offset = std::uint64_t{file[10]} | std::uint64_t{file[11]} << 8 |
                               std::uint64_t{file[12]} << 16 | std::uint64_t{file[13]} << 24;
  picture::dib::Options options;
  options.bitsOffset = offset >= 14 ? offset - 14 : 0;
  const auto info = picture::dib::ParseInfo(file.subspan(14), options);
  return picture::dib::DecodeBits(info, file.subspan(static_cast<std::size_t>(offset))).bitmap;
}

inline testing::AssertionResult SameBitmap(const model::Bitmap& a, const model::Bitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height() || a.TwoColour() != b.TwoColour())
    return testing::AssertionFailure()
           << a.Width() << " x " << a.Height() << " against " << b.Width() << " x " << b.Height();
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x)
      if (a.Pixel(x, y) != b.Pixel(x, y))
        return testing::AssertionFailure()
               << "(" << x << ", " << y << "): " << a.Pixel(x, y) << " against " << b.Pixel(x, y);
  return testing::AssertionSuccess();
}

inline testing::AssertionResult SameOutcome(const Decoded& a, const Decoded& b) {
  if (a.bitmap.has_value() != b.bitmap.has_value() || a.error != b.error)
    return testing::AssertionFailure() << "\"" << a.error << "\" against \"" << b.error << "\"";
  return a.bitmap ? SameBitmap(*a.bitmap, *b.bitmap) : testing::AssertionSuccess();
}

// The file decodes alike whole, read in pieces of several sizes and (when it decodes) into a
// raster of every row.
inline testing::AssertionResult DecodesAlikeEveryWay(std::span<const std::uint8_t> file) {
  const Decoded whole = DecodeWhole(file);
  for (std::size_t piece : {1, 2, 3, 5, 64, 4099}) {
    auto same = SameOutcome(DecodeInPieces(file, piece), whole);
    if (!same) return same << " in pieces of " << piece;
  }
  if (whole.bitmap && file.size() >= 14) {
    auto same = SameBitmap(DecodeEveryRow(file), *whole.bitmap);
    if (!same) return same << " with every row held";
  }
  return testing::AssertionSuccess();
}

}  // namespace bmptest
