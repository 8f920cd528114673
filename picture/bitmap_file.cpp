#include "picture/bitmap_picture.h"
#include "picture/bmp.h"
#include "picture/decoders.h"

namespace picture {

std::unique_ptr<Picture> DecodeBitmapFile(std::span<const std::uint8_t> file) {
  return std::make_unique<BitmapPicture>(DecodeBmp(file));
}

}  // namespace picture
