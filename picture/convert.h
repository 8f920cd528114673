#pragma once

#include "model/canvas.h"
#include "model/dither.h"
#include "model/pixel_store.h"
#include "picture/picture.h"

namespace picture {

// What a conversion uses besides the rasters: the picture size W x H, the slider, the check box
// and the way to black and white (the threshold alone unless chosen otherwise). A new way of
// converting adds its field here, so the import dialog and the command line pass it through the
// same calls.
struct ConvertSettings {
  int width = 0;
  int height = 0;
  int threshold = 0;
  bool invert = false;
  model::Dither dither = model::Dither::kThreshold;
};

// Convert: draws `source` stretched into the top-left W x H of `scratch`, then turns that area
// into black and white in `preview` (model::DitherInto; with kThreshold, model::ThresholdInto).
// With no source (null) or an empty one the scratch raster keeps what it held and is thresholded as
// it is.
void Convert(const Picture* source, model::Canvas& scratch, model::Canvas& preview,
             const ConvertSettings& settings);

// The import dialog's "Преобразовать" then "Применить" on `source`, as its first use does them:
// Convert into a new (white) scratch raster and preview of W x H, then the store step of applying
// (model::StoreConverted) into a clear store. The command line converts with this, so its pixels
// are the windows' pixels. W and H must be a valid picture size.
model::PixelStore ConvertToStore(const Picture* source, const ConvertSettings& settings);

}  // namespace picture
