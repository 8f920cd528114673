#include "picture/image.h"

#include <QImage>

#include "picture/bitmap_picture.h"
#include "picture/dib.h"

namespace picture {

std::unique_ptr<Picture> PictureFromImage(const QImage& image) {
  if (image.isNull()) return std::make_unique<BitmapPicture>(model::Bitmap());
  if (std::int64_t{image.width()} * image.height() > dib::kMaxPixels) {
    throw LoadError("The picture is too large: " + std::to_string(image.width()) + " x " +
                    std::to_string(image.height()) + " pixels");
  }
  // Premultiplied over black, then white added where the alpha leaves room: colour over white.
  const QImage argb = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  model::Bitmap bitmap = model::Bitmap::Uninitialised(argb.width(), argb.height());
  for (int y = 0; y < argb.height(); ++y) {
    const auto* in = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
    model::Colour* out = bitmap.Row(y);
    for (int x = 0; x < argb.width(); ++x) {
      const QRgb p = in[x];
      const int white = 255 - qAlpha(p);
      out[x] = model::Rgb(static_cast<std::uint8_t>(qRed(p) + white),
                          static_cast<std::uint8_t>(qGreen(p) + white),
                          static_cast<std::uint8_t>(qBlue(p) + white));
    }
  }
  return std::make_unique<BitmapPicture>(std::move(bitmap));
}

}  // namespace picture
