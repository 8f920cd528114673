#include <algorithm>
#include <cmath>
#include <utility>

#include "picture/metafile/budget.h"
#include "picture/metafile/player.h"

namespace picture::gdi {

using namespace metafile;

namespace {

// Parametric angle, in degrees counter-clockwise on screen, of the radial line from the centre
// of `box` through `p`, for QPainterPath::arcTo.
double ArcAngle(const QRectF& box, QPointF p) {
  const double rx = std::max(box.width() / 2, 1e-9);
  const double ry = std::max(box.height() / 2, 1e-9);
  const QPointF c = box.center();
  if (p == c) return 0;
  return std::atan2(-(p.y() - c.y()) / ry, (p.x() - c.x()) / rx) * 180 / std::numbers::pi;
}

// The sweep from `start` to `end`: (0, 360] counter-clockwise, [-360, 0) clockwise. Equal
// angles give the whole ellipse.
double Sweep(double start, double end, bool counterClockwise) {
  double s = counterClockwise ? end - start : start - end;
  s = std::fmod(s, 360.0);
  if (s <= 1e-9) s += 360;
  return counterClockwise ? s : -s;
}

}  // namespace

// Bounding-box shapes pass `stroke` separately: GDI draws their outline within the box, one
// pixel left of and above its right and bottom edges.
void Player::Shape(const QPainterPath& fill, const QPainterPath& stroke) {
  if (m_inPath) {
    AddToPath([&](QPainterPath& path) { path.addPath(fill); });
    return;
  }
  if (Collect(fill.boundingRect().united(stroke.boundingRect()))) return;
  FillWith(fill, m_dc.brush);
  StrokeWith(stroke);
}

void Player::OpenFigure(const QPainterPath& line) {
  if (m_inPath) {
    AddToPath([&](QPainterPath& path) { path.addPath(line); });
    return;
  }
  if (Collect(line.boundingRect())) return;
  StrokeWith(line);
}

// --- Lines and curves ------------------------------------------------------------------------

void Player::MoveTo(QPointF p) {
  m_dc.position = Map(p);
  if (m_inPath) m_path.moveTo(m_dc.position);
}

void Player::AddToPath(const std::function<void(QPainterPath&)>& add) {
  const int before = m_path.elementCount();
  if (before >= kMaxPathElements) {
    m_budget.overdrawn = true;
    return;
  }
  add(m_path);
  // The bracket is only drawn at its end: what it grows by is paid for now, so that a file
  // cannot build a path of unbounded size first.
  m_budget.Charge(kCostPerCall + kCostPerElement * (m_path.elementCount() - before));
}

void Player::ToFigure(const std::function<void(QPainterPath&)>& add) {
  const auto draw = [&](QPainterPath& path) {
    // Within a bracket the figure continues the path's open figure when that ends here.
    if (!m_inPath || path.elementCount() == 0 || path.currentPosition() != m_dc.position) {
      path.moveTo(m_dc.position);
    }
    add(path);
    m_dc.position = path.currentPosition();
  };
  if (m_inPath) {
    AddToPath(draw);
    return;
  }
  m_scratch.clear();
  draw(m_scratch);
  if (!Collect(m_scratch.boundingRect())) StrokeWith(m_scratch);
}

void Player::LineTo(QPointF p) {
  PolylineTo(QPolygonF{p});
}

void Player::PolylineTo(const QPolygonF& points) {
  if (points.isEmpty()) return;
  ToFigure([&](QPainterPath& path) {
    for (const QPointF& p : points) path.lineTo(Map(p));
  });
}

void Player::Polyline(const QPolygonF& points) {
  if (points.size() < 2) return;
  QPainterPath path;
  path.addPolygon(Map(points));
  OpenFigure(path);
}

void Player::AddFigures(Figures figures, QPainterPath& path, bool close) {
  QPolygonF points;
  while (m_budget.work >= 0 && figures.Next(points)) {
    m_budget.Charge(kCostPerElement);
    if (points.size() < 2) continue;
    path.addPolygon(Map(points));
    if (close) path.closeSubpath();
  }
}

void Player::PolyPolyline(Figures polylines) {
  QPainterPath path;
  AddFigures(std::move(polylines), path, false);
  OpenFigure(path);
}

static void AddBeziers(QPainterPath& path, const QPolygonF& mapped, int from) {
  for (int i = from; i + 2 < mapped.size(); i += 3) {
    path.cubicTo(mapped[i], mapped[i + 1], mapped[i + 2]);
  }
}

void Player::PolyBezier(const QPolygonF& points) {
  if (points.size() < 4) return;
  const QPolygonF mapped = Map(points);
  QPainterPath path(mapped[0]);
  AddBeziers(path, mapped, 1);
  OpenFigure(path);
}

void Player::PolyBezierTo(const QPolygonF& points) {
  if (points.size() < 3) return;
  ToFigure([&](QPainterPath& path) { AddBeziers(path, Map(points), 0); });
}

void Player::PolyDraw(const QPolygonF& points, const std::vector<std::uint8_t>& types) {
  const QPolygonF mapped = Map(points);
  const int n = std::min<int>(mapped.size(), static_cast<int>(types.size()));
  ToFigure([&](QPainterPath& path) {
    for (int i = 0; i < n; ++i) {
      const std::uint8_t type = types[static_cast<std::size_t>(i)] & ~1;
      if (type == 6) {
        path.moveTo(mapped[i]);
      } else if (type == 4 && i + 2 < n) {
        path.cubicTo(mapped[i], mapped[i + 1], mapped[i + 2]);
        i += 2;
      } else {
        path.lineTo(mapped[i]);
      }
      if (types[static_cast<std::size_t>(i)] & 1) path.closeSubpath();
    }
  });
}

void Player::Polygon(const QPolygonF& points) {
  if (points.size() < 2) return;
  QPainterPath path;
  path.setFillRule(FillRule());
  path.addPolygon(Map(points));
  path.closeSubpath();
  Shape(path, path);
}

void Player::PolyPolygon(Figures polygons) {
  QPainterPath path;
  path.setFillRule(FillRule());
  AddFigures(std::move(polygons), path, true);
  Shape(path, path);
}

// --- Bounding-box shapes ---------------------------------------------------------------------

// The fill covers the box, the outline runs on its outermost pixels (or, for an inside-frame
// pen, within it by half the pen width).
Player::BoxShape Player::PenBox(const QRectF& box) {
  BoxShape s{box, box.adjusted(0, 0, -1, -1)};
  const double penWidth = PenWidthPixels();
  if ((m_dc.pen.style & kPsStyleMask) == kPsInsideFrame && penWidth >= 1.5) {
    const double inset = penWidth / 2 - 0.5;
    s.stroke = s.stroke.adjusted(inset, inset, -inset, -inset);
  }
  return s;
}

void Player::Rectangle(const QRectF& box) {
  QPainterPath fill;
  QPainterPath stroke;
  if (AxisAligned()) {
    const QRectF d = MapBox(box);
    if (d.width() < 1 || d.height() < 1) return;
    const BoxShape s = PenBox(d);
    // With no pen the filled area is one pixel narrower and shorter.
    const bool noPen = (m_dc.pen.style & kPsStyleMask) == kPsNull;
    fill.addRect(noPen ? s.stroke : s.fill);
    stroke.addRect(s.stroke);
  } else {
    QPainterPath logical;
    logical.addRect(box);
    fill = stroke = MapPath(logical);
  }
  Shape(fill, stroke);
}

void Player::RoundRect(const QRectF& box, double cornerWidth, double cornerHeight) {
  QPainterPath fill;
  QPainterPath stroke;
  if (AxisAligned()) {
    const QRectF d = MapBox(box);
    if (d.width() < 1 || d.height() < 1) return;
    const QTransform& m = Matrix();
    const double rx = std::min(std::abs(cornerWidth * m.m11()) / 2, d.width() / 2);
    const double ry = std::min(std::abs(cornerHeight * m.m22()) / 2, d.height() / 2);
    const BoxShape s = PenBox(d);
    fill.addRoundedRect(s.fill, rx, ry);
    stroke.addRoundedRect(s.stroke, rx, ry);
  } else {
    QPainterPath logical;
    logical.addRoundedRect(box.normalized(), std::abs(cornerWidth) / 2, std::abs(cornerHeight) / 2);
    fill = stroke = MapPath(logical);
  }
  Shape(fill, stroke);
}

void Player::Ellipse(const QRectF& box) {
  QPainterPath fill;
  QPainterPath stroke;
  if (AxisAligned()) {
    const QRectF d = MapBox(box);
    if (d.width() < 1 || d.height() < 1) return;
    const BoxShape s = PenBox(d);
    fill.addEllipse(s.fill);
    stroke.addEllipse(s.stroke);
  } else {
    QPainterPath logical;
    logical.addEllipse(box);
    fill = stroke = MapPath(logical);
  }
  Shape(fill, stroke);
}

// Arcs run counter-clockwise as seen on the device, or clockwise after SetArcDirection; the
// start and end points only give the directions of the radial lines.
QPainterPath Player::ArcPath(const QRectF& box, QPointF start, QPointF end, bool outline) {
  QRectF r;
  QPointF s;
  QPointF e;
  bool mapped = AxisAligned();
  if (mapped) {
    const QRectF d = MapBox(box);
    r = outline ? d.adjusted(0, 0, -1, -1) : d;
    s = Matrix().map(start);
    e = Matrix().map(end);
  } else {
    r = box.normalized();
    s = start;
    e = end;
  }
  const bool flipped = !mapped && Matrix().determinant() < 0;
  const double a0 = ArcAngle(r, s);
  const double sweep = Sweep(a0, ArcAngle(r, e), m_dc.clockwise == flipped);
  QPainterPath path;
  path.arcMoveTo(r, a0);
  path.arcTo(r, a0, sweep);
  if (!mapped) path = MapPath(path);
  return path;
}

void Player::Arc(const QRectF& box, QPointF start, QPointF end) {
  OpenFigure(ArcPath(box, start, end, true));
}

// A "To" figure: a line from the current position to the start of `arc`, then the arc, whose
// end becomes the current position. An arc of no size (an empty box, a zero radius) leaves a
// line to `fallback`.
void Player::LineAndArc(const QPainterPath& arc, QPointF fallback) {
  ToFigure([&](QPainterPath& path) {
    if (arc.elementCount() > 0) {
      path.lineTo(arc.elementAt(0).x, arc.elementAt(0).y);
      path.connectPath(arc);
    } else {
      path.lineTo(fallback);
    }
  });
}

void Player::ArcTo(const QRectF& box, QPointF start, QPointF end) {
  LineAndArc(ArcPath(box, start, end, true), m_dc.position);
}

void Player::AngleArc(QPointF centre, double radius, double startDegrees, double sweepDegrees) {
  if (!std::isfinite(radius) || !std::isfinite(startDegrees) || !std::isfinite(sweepDegrees)) {
    return;
  }
  sweepDegrees = std::clamp(sweepDegrees, -360.0, 360.0);
  const QRectF box(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
  QPainterPath arc;
  arc.arcMoveTo(box, startDegrees);
  arc.arcTo(box, std::fmod(startDegrees, 360.0), sweepDegrees);
  LineAndArc(MapPath(arc), Map(centre));
}

void Player::Pie(const QRectF& box, QPointF start, QPointF end) {
  QPainterPath fill = ArcPath(box, start, end, false);
  QPainterPath stroke = ArcPath(box, start, end, true);
  const QPointF centre = AxisAligned() ? MapBox(box).center() : Matrix().map(box.center());
  fill.lineTo(centre);
  fill.closeSubpath();
  stroke.lineTo(AxisAligned() ? MapBox(box).adjusted(0, 0, -1, -1).center() : centre);
  stroke.closeSubpath();
  Shape(fill, stroke);
}

void Player::Chord(const QRectF& box, QPointF start, QPointF end) {
  QPainterPath fill = ArcPath(box, start, end, false);
  QPainterPath stroke = ArcPath(box, start, end, true);
  fill.closeSubpath();
  stroke.closeSubpath();
  Shape(fill, stroke);
}

void Player::SetPixel(QPointF p, ColourRef c) {
  const QPointF d = Map(p);
  if (m_inPath || Collect(QRectF(d, QSizeF(1, 1))) || !Spend(QRectF(d, QSizeF(1, 1)))) return;
  ApplyClip();
  m_painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
  m_painter.fillRect(QRectF(d, QSizeF(1, 1)), ToQColor(c));
}

// --- Paths -----------------------------------------------------------------------------------

void Player::BeginPath() {
  m_path = QPainterPath();
  m_inPath = true;
}

void Player::AbortPath() {
  m_path = QPainterPath();
  m_inPath = false;
}

void Player::CloseFigure() {
  if (m_inPath) m_path.closeSubpath();
}

QPainterPath Player::TakePath() {
  m_inPath = false;
  QPainterPath path = std::exchange(m_path, QPainterPath());
  path.setFillRule(FillRule());
  return path;
}

void Player::DrawPath(bool fill, bool stroke) {
  const QPainterPath path = TakePath();
  if (Collect(path.boundingRect())) return;
  if (fill) FillWith(path, m_dc.brush);
  if (stroke) StrokeWith(path);
}

}  // namespace picture::gdi
