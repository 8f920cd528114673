#include "windows/RasterImage.h"

#include <QPaintEvent>
#include <QPainter>

#include "picture/picture.h"

TRasterImage::TRasterImage(model::Canvas& raster, QWidget* parent)
    : QWidget(parent), m_raster(raster) {}

void TRasterImage::RepaintDirty() {
  const model::Rect dirty = m_raster.DirtyRect();
  if (!dirty.Empty()) update(dirty.left, dirty.top, dirty.Width(), dirty.Height());
  m_raster.ResetDirty();
}

void TRasterImage::paintEvent(QPaintEvent* event) {
  // Wraps the canvas's pixels: 0xXXBBGGRR words are the bytes R, G, B, X.
  const QImage image(reinterpret_cast<const uchar*>(m_raster.Bits()), m_raster.Width(),
                     m_raster.Height(), m_raster.BytesPerLine(), QImage::Format_RGBX8888);
  QPainter painter(this);
  for (const QRect& r : event->region()) painter.drawImage(r.topLeft(), image, r);
}

TPictureImage::TPictureImage(int maxWidth, int maxHeight, QWidget* parent)
    : OwnedRaster{model::Canvas(0, 0)},
      TRasterImage(raster, parent),
      m_maxWidth(maxWidth),
      m_maxHeight(maxHeight) {}

void TPictureImage::SetPicture(const picture::Picture* picture) {
  m_picture = picture;
  m_drawn = {};
  update();
}

void TPictureImage::paintEvent(QPaintEvent* event) {
  if (m_picture == nullptr || m_picture->Empty()) return;
  if (m_drawn != size()) {
    if (raster.Width() == 0) raster = model::Canvas(m_maxWidth, m_maxHeight);
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
