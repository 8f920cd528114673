// Feeds arbitrary bytes to the BMP file decoder, whole and read a few bytes at a time (which must
// decode alike), to the DIB entry points the icon and metafile decoders use, and draws what
// decodes. Anything but LoadError escaping, a sanitizer report, a
// hang or a large allocation is a finding.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>

#include "model/bitmap.h"
#include "model/canvas.h"
#include "model/conversion.h"
#include "picture/bmp.h"
#include "picture/dib.h"
#include "picture/picture.h"
#include "tests/picture/piece_reader.h"

namespace {

// Decoding is linear in the pixel count, so pictures near the 100-megapixel limit only make the
// run slow (and are refused by size alone above it); a header alone can claim them, whatever the
// file's size. Four megapixels hold any picture whose bits fit the inputs' few megabytes. The
// header parsing still sees larger ones.
constexpr std::int64_t kFuzzMaxPixels = 1 << 22;

void Draw(const model::Bitmap& bitmap) {
  model::Canvas canvas(23, 17);
  model::StretchBitmap(bitmap, canvas, {-3, 2, 20, 40});
  model::StretchBitmap(bitmap, canvas, {0, 0, 23, 17});
  model::Bitmap twoColour = bitmap;
  twoColour.SetTwoColour(true);
  model::StretchBitmap(twoColour, canvas, {1, 1, 5, 300});
}

// Whether the file claims a picture too large to decode quickly, by the same header parse the
// file decoder makes (a header it cannot parse is not: the decoder raises the same error).
bool TooLarge(std::span<const std::uint8_t> data) {
  if (data.size() < 14) return false;
  const std::uint64_t bitsOffset = std::uint64_t{data[10]} | std::uint64_t{data[11]} << 8 |
                                   std::uint64_t{data[12]} << 16 | std::uint64_t{data[13]} << 24;
  picture::dib::Options options;
  options.bitsOffset = bitsOffset >= 14 ? bitsOffset - 14 : 0;
  try {
    const auto info = picture::dib::ParseInfo(data.subspan(14), options);
    return std::int64_t{info.width} * info.height > kFuzzMaxPixels;
  } catch (const picture::LoadError&) {
    return false;
  }
}

void File(std::span<const std::uint8_t> data) {
  if (TooLarge(data)) return;
  try {
    Draw(picture::DecodeBmp(data));
  } catch (const picture::LoadError&) {
  }
}

// The decoding's outcome: the bitmap, or the message it raised.
template <class Decode>
std::pair<std::optional<model::Bitmap>, std::string> Outcome(const Decode& decode) {
  try {
    return {decode(), {}};
  } catch (const picture::LoadError& e) {
    return {std::nullopt, e.what()};
  }
}

// The file read a few bytes at a time decodes as it does whole.
void InPieces(std::span<const std::uint8_t> data) {
  if (TooLarge(data)) return;
  const auto whole = Outcome([&] { return picture::DecodeBmp(data); });
  const std::size_t piece = data.empty() ? 1 : data.back() % 13 + 1;
  const auto pieces = Outcome([&] {
    picture::dib::BitsReader reader(bmptest::PieceReader(data, piece));
    return picture::DecodeBmp(data.size(), reader);
  });
  if (whole.second != pieces.second || whole.first.has_value() != pieces.first.has_value())
    __builtin_trap();
  if (!whole.first) return;
  const model::Bitmap& a = *whole.first;
  const model::Bitmap& b = *pieces.first;
  if (a.Width() != b.Width() || a.Height() != b.Height()) __builtin_trap();
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x)
      if (a.Pixel(x, y) != b.Pixel(x, y)) __builtin_trap();
}

// A packed DIB, with the options chosen by the first byte.
void Packed(std::span<const std::uint8_t> data) {
  if (data.empty()) return;
  picture::dib::Options options;
  options.iconMask = data[0] & 1;
  if (data[0] & 2) options.colours = picture::dib::ColourUse::kPaletteIndices;
  data = data.subspan(1);
  try {
    const auto info = picture::dib::ParseInfo(data, options);
    if (std::int64_t{info.width} * info.height > kFuzzMaxPixels) return;
    const auto image = picture::dib::DecodePacked(data, options);
    if (image.bitmap.Empty()) __builtin_trap();
    if (info.hasMask && image.mask.size() != std::size_t(info.width) * info.height)
      __builtin_trap();
    Draw(image.bitmap);
  } catch (const picture::LoadError&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  File(bytes);
  InPieces(bytes);
  // The same bytes after a file header, as a packed DIB.
  if (size > 14) Packed(bytes.subspan(13));
  return 0;
}
