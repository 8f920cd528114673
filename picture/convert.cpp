#include "picture/convert.h"

#include "model/conversion.h"
#include "model/dither.h"

namespace picture {

void Convert(const Picture* source, model::Canvas& scratch, model::Canvas& preview,
             const ConvertSettings& settings) {
  if (source && !source->Empty())
    source->StretchDraw(scratch, {0, 0, settings.width, settings.height});
  model::DitherInto(scratch, preview, settings.width, settings.height, settings.threshold,
                    settings.invert, settings.dither);
}

model::PixelStore ConvertToStore(const Picture* source, const ConvertSettings& settings) {
  model::Canvas scratch(settings.width, settings.height);
  model::Canvas preview(settings.width, settings.height);
  Convert(source, scratch, preview, settings);
  model::PixelStore store;
  model::StoreConverted(preview, store, settings.width, settings.height);
  return store;
}

}  // namespace picture
