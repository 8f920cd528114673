#include "windows/BoardImage.h"

#include <cmath>

#include <QMouseEvent>

namespace {

// Surface pixel under a pointer position: the one whose square holds it.
QPoint PixelAt(const QMouseEvent& event) {
  const QPointF p = event.position();
  return {static_cast<int>(std::floor(p.x())), static_cast<int>(std::floor(p.y()))};
}

}  // namespace

TBoardImage::TBoardImage(model::Canvas& surface, QWidget* parent) : TRasterImage(surface, parent) {
  setFixedSize(surface.Width(), surface.Height());
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
  setContextMenuPolicy(Qt::PreventContextMenu);
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
