#pragma once

// The bitmaps that metafile records carry (device-independent bitmaps), decoded for drawing.

#include <QImage>
#include <cstdint>
#include <span>

#include "picture/metafile/budget.h"
#include "picture/metafile/source.h"

namespace picture::metafile {

// A device-independent bitmap of a metafile record, decoded to an opaque image.
struct Dib {
  QImage image;  // null when it cannot be read or exceeds the budget
  bool twoColour = false;
  bool bottomUp = true;  // rows stored bottom row first: source y counts from the bottom
};

// Header and colour table in `info`, pixels in `bits`, read from their source as they are
// decoded. `paletteIndices`: the colour table holds indices into a logical palette
// (DIB_PAL_COLORS), which read as the default palette's colours.
Dib DibImage(const Extent& info, const Extent& bits, bool paletteIndices, Budget& budget);
// The same for a packed DIB: header, colour table and bits in one part.
Dib PackedDibImage(const Extent& dib, bool paletteIndices, Budget& budget);

// The part (x, y, width, height) of the bitmap that a transfer reads, y counted as the DIB counts
// it; a null image when that part is empty or outside the bitmap.
QImage SourcePart(const Dib& dib, int x, int y, int width, int height);

}  // namespace picture::metafile
