#include "picture/metafile/player.h"

#include <algorithm>
#include <cmath>

#include "picture/metafile/budget.h"

namespace picture::gdi {

using namespace metafile;

Player::Player(QPainter& painter, const QTransform& deviceToDest, const QRect& dest,
               QPointF pixelsPerMm, Budget& budget)
    : m_painter(painter),
      m_deviceToDest(deviceToDest),
      m_dest(dest),
      m_pixelsPerMm(pixelsPerMm),
      m_budget(budget) {
  m_dc.clip = QRegion(dest);
  m_painter.setRenderHint(QPainter::Antialiasing, false);
  m_painter.setRenderHint(QPainter::TextAntialiasing, false);
  m_painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
}

// --- State -----------------------------------------------------------------------------------

void Player::SaveDc() {
  // A saved state keeps the clipping region as it is, however the file changes it afterwards:
  // its rectangles are charged, so that the regions a play keeps are bounded by its work.
  m_budget.Charge(kCostPerCall + kCostPerRegionRect * m_dc.clip.rectCount());
  if (m_saved.size() < kMaxSavedStates) m_saved.push_back(m_dc);
}

void Player::RestoreDc(int n) {
  const long long size = static_cast<long long>(m_saved.size());
  const long long index = n < 0 ? size + n : static_cast<long long>(n) - 1;
  if (n == 0 || index < 0 || index >= size) return;
  m_dc = m_saved[static_cast<std::size_t>(index)];
  m_saved.resize(static_cast<std::size_t>(index));
  MappingChanged();
}

// --- Work and bounds -------------------------------------------------------------------------

bool Player::Collect(const QRectF& r) {
  if (!m_bounds) return false;
  *m_bounds = m_bounds->isNull() ? r : m_bounds->united(r);
  return true;
}

std::int64_t Player::VisibleArea(const QRectF& canvasBounds) const {
  const QRectF r = canvasBounds.intersected(QRectF(m_dest));
  return static_cast<std::int64_t>(std::max(0.0, r.width() * r.height()));
}

bool Player::Spend(const QRectF& canvasBounds, std::int64_t extra) {
  return m_budget.Spend(kCostPerCall + extra + VisibleArea(canvasBounds));
}

std::int64_t Player::OutlineCost(const QPainterPath& path, double pad) const {
  // Segments are measured between their ends pulled into the destination (grown by `pad`, the
  // half width of a pen): never less than what is drawn of them, and never more than the
  // destination's size however far they reach. Curves count their control polygon, which is no
  // shorter than the curve.
  const QRectF box = QRectF(m_dest).adjusted(-pad, -pad, pad, pad);
  double length = 0;
  QPointF last;
  for (int i = 0; i < path.elementCount(); ++i) {
    const QPainterPath::Element e = path.elementAt(i);
    const QPointF p(std::clamp(e.x, box.left(), box.right()),
                    std::clamp(e.y, box.top(), box.bottom()));
    if (!e.isMoveTo()) {
      length += std::max(std::abs(p.x() - last.x()), std::abs(p.y() - last.y())) + pad;
    }
    last = p;
  }
  const std::int64_t elements = kCostPerElement * path.elementCount();
  // Coordinates are finite and bounded, so `length` is too; the test keeps a NaN out anyway, at
  // a cost beyond any budget that leaves room for the few charges that may follow in a record.
  if (!(length < 1e12)) return std::int64_t{1} << 50;
  return elements + static_cast<std::int64_t>(length) * kCostPerOutlinePixel;
}

}  // namespace picture::gdi
