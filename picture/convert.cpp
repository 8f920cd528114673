#include "picture/convert.h"

#include "model/dither.h"

namespace picture {

void Convert(const Picture* source, model::Canvas& scratch, model::Canvas& preview,
             const ConvertSettings& settings) {
  if (source && !source->Empty())
    source->StretchDraw(scratch, {0, 0, settings.width, settings.height});
  model::DitherInto(scratch, preview, settings.width, settings.height, settings.threshold,
                    settings.invert, settings.dither);
}

}  // namespace picture
