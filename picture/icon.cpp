#include "picture/bitmap_picture.h"
#include "picture/decoders.h"

namespace picture {

// Not read yet: any non-empty icon file is refused.
std::unique_ptr<Picture> DecodeIcon(std::span<const std::uint8_t> file) {
  if (!file.empty()) throw LoadError("Icon image is not valid");
  return std::make_unique<BitmapPicture>(model::Bitmap());
}

}  // namespace picture
