#pragma once

#include <cstdint>

#include "model/canvas.h"
#include "model/colour.h"
#include "model/pixel_store.h"

namespace model {

// The slider's range and its "норма" position.
inline constexpr int kMinThreshold = 0;
inline constexpr int kMaxThreshold = 16777216;
inline constexpr int kDefaultThreshold = 2074602;

// Brightness of a colour: R * G * B, at most 255^3 = 16581375.
constexpr std::int32_t Brightness(Colour c) {
  return std::int32_t{RedOf(c)} * GreenOf(c) * BlueOf(c);
}

// The threshold step, over the top-left width x height area (clipped to both rasters): a pixel
// of `scratch` is bright when Brightness > threshold; `preview` gets white 0xFFFFFF where bright
// differs from `invert`, black 0 elsewhere. Nothing else of `preview` changes.
void ThresholdInto(const Canvas& scratch, Canvas& preview, int width, int height, int threshold,
                   bool invert);

// The store step of applying a conversion: for the top-left width x height area (clipped to the
// preview and the store), exactly black (0) stores 1, anything else 0. Pixels of the store outside
// that area are not touched.
void StoreConverted(const Canvas& preview, PixelStore& store, int width, int height);

}  // namespace model
