#include "windows/BoardImage.h"

#include <algorithm>
#include <cmath>

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

namespace {

// Surface pixel under a pointer position: the one whose square holds it.
QPoint PixelAt(const QMouseEvent& event) {
  const QPointF p = event.position();
  return {static_cast<int>(std::floor(p.x())), static_cast<int>(std::floor(p.y()))};
}

}  // namespace

TBoardImage::TBoardImage(model::PaletteCanvas& surface, QWidget* parent)
    : QWidget(parent), m_surface(surface) {
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
  // The palette in the screen's 0xFFRRGGBB pixels.
  std::array<QRgb, model::PaletteCanvas::kPaletteSize> screen{};
  // Read only: a row that shares the surface's common row must not be given memory of its own.
  const model::PaletteCanvas& surface = m_surface;
  const auto& palette = surface.Palette();
  for (int i = 0; i < surface.ColourCount(); ++i) {
    screen[i] =
        qRgb(model::RedOf(palette[i]), model::GreenOf(palette[i]), model::BlueOf(palette[i]));
  }
  QPainter painter(this);
  const QRect whole(0, 0, surface.Width(), surface.Height());
  for (const QRect& area : event->region()) {
    const QRect r = area & whole;
    // A band of rows at a time: a few kilobytes of screen pixels instead of a viewport's worth.
    for (int top = r.top(); top <= r.bottom(); top += kBandRows) {
      const int rows = std::min(kBandRows, r.bottom() + 1 - top);
      if (m_screen.width() < r.width())
        m_screen = QImage(r.width(), kBandRows, QImage::Format_RGB32);
      for (int y = 0; y < rows; ++y) {
        const std::uint8_t* from = surface.Row(top + y) + r.left();
        auto* to = reinterpret_cast<QRgb*>(m_screen.scanLine(y));
        for (int x = 0; x < r.width(); ++x) to[x] = screen[from[x]];
      }
      painter.drawImage(QPoint(r.left(), top), m_screen, QRect(0, 0, r.width(), rows));
    }
  }
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
