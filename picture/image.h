#pragma once

#include <memory>

#include "picture/picture.h"

class QImage;

namespace picture {

// A picture made from an image the toolkit holds (one pasted from the clipboard), drawn as a
// loaded bitmap is: its colours over white where it is transparent. A null image gives an empty
// picture. Throws LoadError for an image above dib::kMaxPixels pixels.
std::unique_ptr<Picture> PictureFromImage(const QImage& image);

}  // namespace picture
