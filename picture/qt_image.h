#pragma once

// Pictures read by Qt's image readers and Qt SVG (picture/qt_image.cpp).

#include <QImage>

#include "model/bitmap.h"
#include "model/conversion.h"

namespace picture {

// The most memory, in MB, that Qt's image readers may take for one picture: a picture of
// dib::kMaxPixels at 4 bytes a pixel, and a little over.
inline constexpr int kReaderAllocationLimitMb = 400;

// `image` drawn over white where it is transparent, as an opaque RGB32 image (the same one when
// it is RGB32 already, converted in place otherwise).
QImage OpaqueOverWhite(QImage image);

// `image` as a bitmap, drawn over white where it is transparent. An image of one bit a pixel
// (a PBM or XBM file, a two-colour PNG) is a two-colour source, as a one-bit BMP is.
model::Bitmap BitmapOverWhite(const QImage& image);

}  // namespace picture
