#pragma once

// Pictures written as text: ASCII PBM, PGM and PPM ("P1", "P2", "P3") and XBM. Qt's readers take
// them a character or a short line at a time through the device, tens of nanoseconds a byte: a
// file of a few hundred megabytes, most of it a comment or white space, took 15 to 20 seconds.
// These readers give the very image Qt's would, reading the file in large pieces.

#include <QImage>
#include <optional>

#include "picture/qt_image.h"

namespace picture {

// The picture in `source` as Qt's reader of `format` ("pbm", "pgm", "ppm" or "xbm") gives it: a
// null image where Qt's refuses it, or one of more than dib::kMaxPixels. No value for a binary
// PBM, PGM or PPM ("P4" to "P6"), which Qt's reader reads at the speed of the file. Throws
// std::bad_alloc when the image cannot be allocated, and what the source throws.
std::optional<QImage> ReadTextPicture(const ByteSource& source, const char* format);

}  // namespace picture
