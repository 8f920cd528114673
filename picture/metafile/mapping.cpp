#include <algorithm>
#include <cmath>

#include "picture/metafile/budget.h"
#include "picture/metafile/player.h"

namespace picture::gdi {

using namespace metafile;

namespace {

bool Finite(const QTransform& t) {
  for (double v : {t.m11(), t.m12(), t.m21(), t.m22(), t.dx(), t.dy()}) {
    if (!std::isfinite(v) || std::abs(v) > 1e9) return false;
  }
  return std::abs(t.determinant()) > 1e-12;
}

// A union of many rectangles, built pairwise so that it stays fast.
QRegion UniteRects(const std::vector<QRect>& rects, std::size_t from, std::size_t to) {
  if (to - from == 1) return QRegion(rects[from]);
  const std::size_t mid = from + (to - from) / 2;
  return UniteRects(rects, from, mid).united(UniteRects(rects, mid, to));
}

}  // namespace

const QTransform& Player::Matrix() {
  if (m_matrixValid) return m_matrix;
  double sx = 1;
  double sy = 1;
  auto metric = [&](double mmPerUnit, bool yUp) {
    sx = m_pixelsPerMm.x() * mmPerUnit;
    sy = m_pixelsPerMm.y() * mmPerUnit * (yUp ? -1 : 1);
  };
  switch (m_dc.mapMode) {
    case kMmLoMetric:
      metric(0.1, true);
      break;
    case kMmHiMetric:
      metric(0.01, true);
      break;
    case kMmLoEnglish:
      metric(0.254, true);
      break;
    case kMmHiEnglish:
      metric(0.0254, true);
      break;
    case kMmTwips:
      metric(25.4 / 1440, true);
      break;
    case kMmIsotropic:
    case kMmAnisotropic:
      sx = m_dc.viewportExt.x() / m_dc.windowExt.x();
      sy = m_dc.viewportExt.y() / m_dc.windowExt.y();
      if (m_dc.mapMode == kMmIsotropic) {
        // The viewport shrinks so that a logical unit has the same size on both axes.
        const double s = std::min(std::abs(sx), std::abs(sy));
        sx = std::copysign(s, sx);
        sy = std::copysign(s, sy);
      }
      break;
    default:
      break;
  }
  const QTransform page(sx, 0, 0, sy, m_dc.viewportOrg.x() - m_dc.windowOrg.x() * sx,
                        m_dc.viewportOrg.y() - m_dc.windowOrg.y() * sy);
  m_matrix = m_dc.world * page * m_deviceToDest;
  if (!Finite(m_matrix)) m_matrix = m_deviceToDest;
  m_matrixValid = true;
  return m_matrix;
}

void Player::SetMapMode(int mode) {
  if (mode < kMmText || mode > kMmAnisotropic) return;
  m_dc.mapMode = mode;
  MappingChanged();
}

void Player::SetWindowOrg(double x, double y) {
  m_dc.windowOrg = {x, y};
  MappingChanged();
}

void Player::SetWindowExt(double x, double y) {
  if (x == 0 || y == 0 || !std::isfinite(x) || !std::isfinite(y)) return;
  m_dc.windowExt = {x, y};
  MappingChanged();
}

void Player::SetViewportOrg(double x, double y) {
  m_dc.viewportOrg = {x, y};
  MappingChanged();
}

void Player::SetViewportExt(double x, double y) {
  if (x == 0 || y == 0 || !std::isfinite(x) || !std::isfinite(y)) return;
  m_dc.viewportExt = {x, y};
  MappingChanged();
}

void Player::OffsetWindowOrg(double dx, double dy) {
  SetWindowOrg(m_dc.windowOrg.x() + dx, m_dc.windowOrg.y() + dy);
}

void Player::OffsetViewportOrg(double dx, double dy) {
  SetViewportOrg(m_dc.viewportOrg.x() + dx, m_dc.viewportOrg.y() + dy);
}

void Player::ScaleWindowExt(double xNum, double xDenom, double yNum, double yDenom) {
  if (xDenom == 0 || yDenom == 0) return;
  SetWindowExt(m_dc.windowExt.x() * xNum / xDenom, m_dc.windowExt.y() * yNum / yDenom);
}

void Player::ScaleViewportExt(double xNum, double xDenom, double yNum, double yDenom) {
  if (xDenom == 0 || yDenom == 0) return;
  SetViewportExt(m_dc.viewportExt.x() * xNum / xDenom, m_dc.viewportExt.y() * yNum / yDenom);
}

void Player::SetWorldTransform(const QTransform& t) {
  if (!Finite(t)) return;
  m_dc.world = t;
  MappingChanged();
}

void Player::ModifyWorldTransform(const QTransform& t, int mode) {
  switch (mode) {
    case 1:
      m_dc.world = QTransform();
      break;
    case 2:
      if (Finite(t) && Finite(t * m_dc.world)) m_dc.world = t * m_dc.world;
      break;
    case 3:
      if (Finite(t) && Finite(m_dc.world * t)) m_dc.world = m_dc.world * t;
      break;
    case 4:
      SetWorldTransform(t);
      break;
    default:
      return;
  }
  MappingChanged();
}

QPointF Player::Map(QPointF p) {
  const QPointF d = Matrix().map(p);
  return {std::round(Bounded(d.x())), std::round(Bounded(d.y()))};
}

QPolygonF Player::Map(const QPolygonF& points) {
  QPolygonF out;
  out.reserve(points.size());
  for (const QPointF& p : points) out.append(Map(p));
  return out;
}

bool Player::AxisAligned() {
  const QTransform& m = Matrix();
  return m.m12() == 0 && m.m21() == 0;
}

QRectF Player::MapBox(const QRectF& box) {
  return QRectF(Map(box.topLeft()), Map(box.bottomRight())).normalized();
}

QPainterPath Player::MapPath(const QPainterPath& logical) {
  QPainterPath mapped = Matrix().map(logical);
  for (int i = 0; i < mapped.elementCount(); ++i) {
    const auto e = mapped.elementAt(i);
    mapped.setElementPositionAt(i, Bounded(e.x), Bounded(e.y));
  }
  return mapped;
}

std::vector<QRect> Player::MapRects(const RegionRects& rects, bool deviceUnits) {
  std::vector<QRect> mapped;
  const QTransform m = deviceUnits ? m_deviceToDest : Matrix();
  m_budget.Charge(kCostPerCall);
  RegionRects::Cursor cursor(rects);
  QRect r;
  while (mapped.size() < kMaxRegionRects && m_budget.work >= 0 && cursor.Next(&r)) {
    m_budget.Charge(kCostPerRegionRect);
    if (r.isEmpty()) continue;
    const QRectF f = m.mapRect(QRectF(r.left(), r.top(), r.width(), r.height()));
    const QRect d(
        QPoint(std::lround(Bounded(f.left())), std::lround(Bounded(f.top()))),
        QPoint(std::lround(Bounded(f.right())) - 1, std::lround(Bounded(f.bottom())) - 1));
    if (!d.isEmpty()) mapped.push_back(d);
  }
  return mapped;
}

QRegion Player::UniteWithin(const std::vector<QRect>& rects, const QRect& box) {
  // Cut first: a few thousand rectangles crossing each other can unite into millions.
  std::vector<QRect> cut;
  for (const QRect& r : rects) {
    const QRect c = r & box;
    if (!c.isEmpty()) cut.push_back(c);
  }
  m_budget.Charge(kCostPerRegionRect * static_cast<std::int64_t>(cut.size()));
  return cut.empty() ? QRegion() : UniteRects(cut, 0, cut.size());
}

QRect Player::Bounds(const std::vector<QRect>& rects) {
  QRect bounds;
  for (const QRect& r : rects) bounds |= r;
  return bounds;
}

}  // namespace picture::gdi
