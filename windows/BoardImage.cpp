#include "windows/BoardImage.h"

#include <cmath>

#include <QMouseEvent>
#include <QPainter>

namespace {

// Surface pixel under a pointer position: the one whose square holds it.
QPoint PixelAt(const QMouseEvent& event) {
  const QPointF p = event.position();
  return {static_cast<int>(std::floor(p.x())), static_cast<int>(std::floor(p.y()))};
}

}  // namespace

TBoardImage::TBoardImage(model::Canvas& surface, QWidget* parent)
    : QWidget(parent),
      m_surface(surface),
      m_image(reinterpret_cast<const uchar*>(surface.Bits()), surface.Width(), surface.Height(),
              surface.BytesPerLine(), QImage::Format_RGBX8888) {
  setFixedSize(surface.Width(), surface.Height());
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
  setContextMenuPolicy(Qt::PreventContextMenu);
}

void TBoardImage::RepaintDirty() {
  const model::Rect dirty = m_surface.DirtyRect();
  if (!dirty.Empty()) update(dirty.left, dirty.top, dirty.Width(), dirty.Height());
  m_surface.ResetDirty();
}

void TBoardImage::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  for (const QRect& r : event->region()) painter.drawImage(r.topLeft(), m_image, r);
}

void TBoardImage::mousePressEvent(QMouseEvent* event) {
  const QPoint p = PixelAt(*event);
  emit MouseDown(event->button(), p.x(), p.y());
}

// The toolkit reports the second press of a double click as a press and then once more as a
// double click; the press has already been handled.
void TBoardImage::mouseDoubleClickEvent(QMouseEvent* event) {
  event->accept();
}

void TBoardImage::mouseMoveEvent(QMouseEvent* event) {
  const QPoint p = PixelAt(*event);
  emit MouseMove(p.x(), p.y());
}

void TBoardImage::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint p = PixelAt(*event);
  emit MouseUp(event->button(), p.x(), p.y());
}
