#pragma once

#include "model/bitmap.h"
#include "picture/picture.h"

namespace picture {

// A colour with straight alpha `a` (0 transparent, 255 opaque) drawn over white.
constexpr model::Colour OverWhite(model::Colour c, unsigned a) {
  auto channel = [a](unsigned v) { return (v * a + 255 * (255 - a) + 127) / 255; };
  return model::Rgb(static_cast<std::uint8_t>(channel(model::RedOf(c))),
                    static_cast<std::uint8_t>(channel(model::GreenOf(c))),
                    static_cast<std::uint8_t>(channel(model::BlueOf(c))));
}

// A picture held as a decoded bitmap; drawn with model::StretchBitmap's pixel-picking rule.
class BitmapPicture : public Picture {
 public:
  explicit BitmapPicture(model::Bitmap bitmap) : m_bitmap(std::move(bitmap)) {}

  int Width() const override { return m_bitmap.Width(); }
  int Height() const override { return m_bitmap.Height(); }
  void StretchDraw(model::Canvas& canvas, const model::Rect& dest) const override {
    model::StretchBitmap(m_bitmap, canvas, dest);
  }

  const model::Bitmap& Bitmap() const { return m_bitmap; }

 private:
  model::Bitmap m_bitmap;
};

}  // namespace picture
