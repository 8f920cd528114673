#include "model/conversion.h"

#include <algorithm>

namespace model {

void ThresholdInto(const Canvas& scratch, Canvas& preview, int width, int height, int threshold,
                   bool invert) {
  width = std::min({width, scratch.Width(), preview.Width()});
  height = std::min({height, scratch.Height(), preview.Height()});
  if (width <= 0 || height <= 0) return;
  constexpr std::uint32_t kWhiteWord = kWhite | Canvas::kOpaque;
  constexpr std::uint32_t kBlackWord = kBlack | Canvas::kOpaque;
  for (int y = 0; y < height; ++y) {
    const std::uint32_t* in = scratch.Row(y);
    std::uint32_t* out = preview.Row(y);
    for (int x = 0; x < width; ++x) {
      const bool bright = Brightness(in[x] & 0xFFFFFF) > threshold;
      out[x] = bright != invert ? kWhiteWord : kBlackWord;
    }
  }
  preview.MarkDirty({0, 0, width, height});
}

void StoreConverted(const Canvas& preview, PixelStore& store, int width, int height) {
  width = std::min({width, preview.Width(), PixelStore::kColumns});
  height = std::min({height, preview.Height(), PixelStore::kRows});
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) store.Set(x, y, preview.Pixel(x, y) == kBlack ? 1 : 0);
}

}  // namespace model
