#include "windows/RasterImage.h"

#include <QPaintEvent>
#include <QPainter>

#include "picture/picture.h"

TRasterImage::TRasterImage(model::Canvas& raster, QWidget* parent)
    : QWidget(parent),
      m_raster(raster),
      m_image(reinterpret_cast<const uchar*>(raster.Bits()), raster.Width(), raster.Height(),
              raster.BytesPerLine(), QImage::Format_RGBX8888) {}

void TRasterImage::RepaintDirty() {
  const model::Rect dirty = m_raster.DirtyRect();
  if (!dirty.Empty()) update(dirty.left, dirty.top, dirty.Width(), dirty.Height());
  m_raster.ResetDirty();
}

void TRasterImage::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  for (const QRect& r : event->region()) painter.drawImage(r.topLeft(), m_image, r);
}

TPictureImage::TPictureImage(int maxWidth, int maxHeight, QWidget* parent)
    : OwnedRaster{model::Canvas(maxWidth, maxHeight)}, TRasterImage(raster, parent) {}

void TPictureImage::SetPicture(const picture::Picture* picture) {
  m_picture = picture;
  m_drawn = {};
  update();
}

void TPictureImage::paintEvent(QPaintEvent* event) {
  if (m_picture == nullptr || m_picture->Empty()) return;
  if (m_drawn != size()) {
    // A metafile draws only what it holds: the rest of the area is white, as on paper. Marked
    // drawn first: a drawing that fails (for memory) leaves the area white and its error is shown
    // once, not again at every paint that the error box itself brings about.
    raster.Fill(model::kWhite);
    m_drawn = size();
    m_picture->StretchDraw(raster, {0, 0, width(), height()});
    raster.ResetDirty();
  }
  TRasterImage::paintEvent(event);
}
