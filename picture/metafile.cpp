#include "picture/bitmap_picture.h"
#include "picture/decoders.h"

namespace picture {

// Not read yet: any non-empty metafile is refused.
std::unique_ptr<Picture> DecodeWmf(std::span<const std::uint8_t> file) {
  if (!file.empty()) throw LoadError("Metafile is not valid");
  return std::make_unique<BitmapPicture>(model::Bitmap());
}

std::unique_ptr<Picture> DecodeEmf(std::span<const std::uint8_t> file) {
  if (!file.empty()) throw LoadError("Metafile is not valid");
  return std::make_unique<BitmapPicture>(model::Bitmap());
}

}  // namespace picture
