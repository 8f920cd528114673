#include <cmath>

#include "picture/metafile/budget.h"
#include "picture/metafile/player.h"

namespace picture::gdi {

using namespace metafile;

// The pixels of the destination that `path` (canvas pixels) covers. Rasterised within the
// destination, so the cost is bounded by its area whatever the path's extent; QRegion's own
// polygon conversion is not.
QRegion Player::PathRegion(const QPainterPath& path) {
  if (path.isEmpty() || m_dest.isEmpty()) return {};
  // Spent, the play ends with this record.
  const QRectF all(m_dest);
  if (!Spend(all, (kPathRegionAreas - 1) * VisibleArea(all) + OutlineCost(path, 0))) return {};
  QImage mask(m_dest.size(), QImage::Format_Grayscale8);
  mask.fill(0);
  {
    QPainter painter(&mask);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.translate(-m_dest.left(), -m_dest.top());
    painter.fillPath(path, Qt::white);
  }
  // One band a row, each run of covered pixels a rectangle: sorted as QRegion::setRects needs.
  std::vector<QRect> runs;
  for (int y = 0; y < mask.height(); ++y) {
    const uchar* row = mask.constScanLine(y);
    for (int x = 0; x < mask.width();) {
      if (!row[x]) {
        ++x;
        continue;
      }
      const int start = x;
      while (x < mask.width() && row[x]) ++x;
      runs.emplace_back(m_dest.left() + start, m_dest.top() + y, x - start, 1);
    }
  }
  QRegion region;
  region.setRects(runs.data(), static_cast<int>(runs.size()));
  return region;
}

QRegion Player::RectRegion(const QRectF& r) {
  if (!AxisAligned()) {
    QPainterPath path;
    path.addRect(r);
    return PathRegion(MapPath(path));
  }
  const QRectF d = MapBox(r);
  if (d.width() < 1 || d.height() < 1) return {};
  return QRegion(QRect(QPoint(d.left(), d.top()), QPoint(d.right() - 1, d.bottom() - 1)));
}

void Player::IntersectClipRect(const QRectF& r) {
  CombineClip(RectRegion(r), kRgnAnd);
}

void Player::ExcludeClipRect(const QRectF& r) {
  CombineClip(RectRegion(r), kRgnDiff);
}

void Player::SelectClipRegion(const RegionRects* rects, bool deviceUnits, int mode) {
  if (!rects) {
    if (mode == kRgnCopy) m_dc.clip = QRegion(m_dest);
    return;
  }
  // The clipping region never leaves the destination, so neither need the region combined.
  CombineClip(UniteWithin(MapRects(*rects, deviceUnits), m_dest), mode);
}

void Player::OffsetClipRegion(double dx, double dy) {
  const QTransform& m = Matrix();
  const QPointF d = m.map(QPointF(dx, dy)) - m.map(QPointF(0, 0));
  m_budget.Charge(kCostPerCall + kCostPerClipRect * m_dc.clip.rectCount());
  m_dc.clip.translate(std::lround(Bounded(d.x())), std::lround(Bounded(d.y())));
  m_dc.clip &= QRegion(m_dest);
}

void Player::SelectClipPath(int mode) {
  CombineClip(PathRegion(TakePath()), mode);
}

void Player::CombineClip(const QRegion& r, int mode) {
  // Combining, and setting the result on the painter at the next drawing call, take time in
  // proportion to the rectangles of both regions.
  m_budget.Charge(kCostPerCall + kCostPerClipRect * (m_dc.clip.rectCount() + r.rectCount()));
  switch (mode) {
    case kRgnAnd:
      m_dc.clip &= r;
      break;
    case kRgnOr:
      m_dc.clip |= r;
      break;
    case kRgnXor:
      m_dc.clip ^= r;
      break;
    case kRgnDiff:
      m_dc.clip -= r;
      break;
    case kRgnCopy:
      m_dc.clip = r;
      break;
    default:
      return;
  }
  m_dc.clip &= QRegion(m_dest);
}

void Player::ApplyClip() {
  if (m_clipApplied && m_appliedClip == m_dc.clip) return;
  m_painter.setClipRegion(m_dc.clip);
  m_appliedClip = m_dc.clip;
  m_clipApplied = true;
}

}  // namespace picture::gdi
