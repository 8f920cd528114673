#include "picture/gdi_player.h"

#include <QFontMetricsF>
#include <QGlyphRun>
#include <QRawFont>
#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

namespace picture::gdi {

namespace {

// Canvas coordinates are kept within this distance of the origin: the destination is at most a
// few hundred pixels, and a painter given astronomically large coordinates would be slow.
constexpr double kCoordLimit = 100000;
constexpr double kMaxPenPixels = 1000;
constexpr double kMaxFontPixels = 2000;
constexpr std::size_t kMaxSavedStates = 1000;
constexpr int kMaxTextLength = 8192;
constexpr std::size_t kMaxRegionRects = 10000;
// Drawing stops once its work, counted in pixels painted, adds up to this many times the largest
// destination (320 x 240), with a fixed cost a call, a cost a character and the costs below: no
// real picture does so much, and a hostile one must still draw quickly (a few hundred
// milliseconds at worst).
constexpr std::int64_t kPaintedAreas = 2000;
constexpr std::int64_t kLargestArea = 320 * 240;
constexpr std::int64_t kCostPerCall = 256;
constexpr std::int64_t kCostPerCharacter = 4096;
// Filling or stroking also costs by the outline, whatever the area: a pixel of a segment's length
// within the destination costs about as much as 64 painted pixels (a long aliased line is drawn
// pixel by pixel, and a fill pays for every edge crossing a row), and every element of a path
// has a fixed cost, counted again when it is added to a path bracket.
constexpr std::int64_t kCostPerOutlinePixel = 64;
constexpr std::int64_t kCostPerElement = 16;
// Regions: mapping one costs by its rectangles, building one by the rectangles united,
// combining the clipping region with another by the rectangles of both, and filling one by its
// rectangles, each a painter call. Clipping to a path rasterises it into a mask of the
// destination and reads that back: about three fills of the destination.
constexpr std::int64_t kCostPerRegionRect = 64;
constexpr std::int64_t kCostPerClipRect = 8;
constexpr std::int64_t kPathRegionAreas = 3;
// A bitmap scaled onto the canvas (whose pixel format differs) costs a few fills a pixel.
constexpr std::int64_t kImageAreas = 4;
// A two-colour pattern is recoloured, pixel by pixel, for every fill.
constexpr std::int64_t kCostPerTilePixel = 16;
// Hatch tiles kept for reuse; a file that keeps changing colours cannot grow the cache past this.
constexpr std::size_t kMaxHatchTiles = 64;
// Distinct typefaces looked up in one play; later ones use the default face.
constexpr qsizetype kMaxFaces = 32;

double Bounded(double v) {
  if (!std::isfinite(v)) return v > 0 ? kCoordLimit : -kCoordLimit;
  return std::clamp(v, -kCoordLimit, kCoordLimit);
}

bool Finite(const QTransform& t) {
  for (double v : {t.m11(), t.m12(), t.m21(), t.m22(), t.dx(), t.dy()}) {
    if (!std::isfinite(v) || std::abs(v) > 1e9) return false;
  }
  return std::abs(t.determinant()) > 1e-12;
}

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

// A union of many rectangles, built pairwise so that it stays fast.
QRegion UniteRects(const std::vector<QRect>& rects, std::size_t from, std::size_t to) {
  if (to - from == 1) return QRegion(rects[from]);
  const std::size_t mid = from + (to - from) / 2;
  return UniteRects(rects, from, mid).united(UniteRects(rects, mid, to));
}

QImage HatchTile(std::uint32_t hatch, QColor line, std::optional<QColor> background) {
  QImage tile(8, 8, QImage::Format_ARGB32);
  tile.fill(background ? background->rgb() : qRgba(0, 0, 0, 0));
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      bool on = false;
      switch (hatch) {
        case 0:
          on = y == 7;
          break;  // HS_HORIZONTAL
        case 1:
          on = x == 7;
          break;  // HS_VERTICAL
        case 2:
          on = x == y;
          break;  // HS_FDIAGONAL
        case 3:
          on = x + y == 7;
          break;  // HS_BDIAGONAL
        case 4:
          on = x == 7 || y == 7;
          break;  // HS_CROSS
        default:
          on = x == y || x + y == 7;
          break;  // HS_DIAGCROSS
      }
      if (on) tile.setPixel(x, y, line.rgb());
    }
  }
  return tile;
}

constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
constexpr char16_t kCp1251High[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409,
    0x2039, 0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0,
    0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB,
    0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6,
    0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};
constexpr int kRussianCharset = 204;

}  // namespace

QString DecodeAnsi(const std::uint8_t* bytes, std::size_t count, int charset) {
  QString out;
  out.reserve(static_cast<qsizetype>(count));
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t b = bytes[i];
    char16_t c = b;
    if (charset == kRussianCharset && b >= 0x80) {
      c = b >= 0xC0 ? static_cast<char16_t>(0x0410 + (b - 0xC0)) : kCp1251High[b - 0x80];
    } else if (b >= 0x80 && b < 0xA0) {
      c = kCp1252High[b - 0x80];
    }
    out.append(QChar(c));
  }
  return out;
}

Player::Player(QPainter& painter, const QTransform& deviceToDest, const QRect& dest,
               QPointF pixelsPerMm)
    : m_painter(painter), m_deviceToDest(deviceToDest), m_dest(dest), m_pixelsPerMm(pixelsPerMm) {
  m_dc.clip = QRegion(dest);
  m_work = kPaintedAreas *
           std::max<std::int64_t>(kLargestArea, std::int64_t{dest.width()} * dest.height());
  m_painter.setRenderHint(QPainter::Antialiasing, false);
  m_painter.setRenderHint(QPainter::TextAntialiasing, false);
  m_painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
}

// --- Mapping ---------------------------------------------------------------------------------

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

std::vector<QRect> Player::MapRects(const RectList& rects, bool deviceUnits) {
  std::vector<QRect> mapped;
  const QTransform m = deviceUnits ? m_deviceToDest : Matrix();
  for (const QRect& r : rects) {
    if (mapped.size() >= kMaxRegionRects) break;
    const QRectF f = m.mapRect(QRectF(r.left(), r.top(), r.width(), r.height()));
    const QRect d(
        QPoint(std::lround(Bounded(f.left())), std::lround(Bounded(f.top()))),
        QPoint(std::lround(Bounded(f.right())) - 1, std::lround(Bounded(f.bottom())) - 1));
    if (!d.isEmpty()) mapped.push_back(d);
  }
  m_work -= kCostPerCall + kCostPerRegionRect * static_cast<std::int64_t>(rects.size());
  return mapped;
}

QRegion Player::UniteWithin(const std::vector<QRect>& rects, const QRect& box) {
  // Cut first: a few thousand rectangles crossing each other can unite into millions.
  std::vector<QRect> cut;
  for (const QRect& r : rects) {
    const QRect c = r & box;
    if (!c.isEmpty()) cut.push_back(c);
  }
  m_work -= kCostPerRegionRect * static_cast<std::int64_t>(cut.size());
  return cut.empty() ? QRegion() : UniteRects(cut, 0, cut.size());
}

QRect Player::Bounds(const std::vector<QRect>& rects) {
  QRect bounds;
  for (const QRect& r : rects) bounds |= r;
  return bounds;
}

// --- State -----------------------------------------------------------------------------------

void Player::SaveDc() {
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

// --- Clipping --------------------------------------------------------------------------------

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

void Player::SelectClipRegion(const RectList* rects, bool deviceUnits, int mode) {
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
  m_work -= kCostPerCall + kCostPerClipRect * m_dc.clip.rectCount();
  m_dc.clip.translate(std::lround(Bounded(d.x())), std::lround(Bounded(d.y())));
  m_dc.clip &= QRegion(m_dest);
}

void Player::SelectClipPath(int mode) {
  CombineClip(PathRegion(TakePath()), mode);
}

void Player::CombineClip(const QRegion& r, int mode) {
  // Combining, and setting the result on the painter at the next drawing call, take time in
  // proportion to the rectangles of both regions.
  m_work -= kCostPerCall + kCostPerClipRect * (m_dc.clip.rectCount() + r.rectCount());
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
  m_work -= kCostPerCall + extra + VisibleArea(canvasBounds);
  return m_work >= 0;
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

// --- Pens and brushes ------------------------------------------------------------------------

bool Player::ApplyRop2(QColor* colour) {
  using C = QPainter::CompositionMode;
  C mode = QPainter::CompositionMode_SourceOver;
  switch (m_dc.rop2) {
    case 1:
      *colour = Qt::black;
      break;
    case 2:
      mode = QPainter::RasterOp_NotSourceAndNotDestination;
      break;
    case 3:
      mode = QPainter::RasterOp_NotSourceAndDestination;
      break;
    case 4:
      mode = QPainter::RasterOp_NotSource;
      break;
    case 5:
      mode = QPainter::RasterOp_SourceAndNotDestination;
      break;
    case 6:
      mode = QPainter::RasterOp_NotDestination;
      break;
    case 7:
      mode = QPainter::RasterOp_SourceXorDestination;
      break;
    case 8:
      mode = QPainter::RasterOp_NotSourceOrNotDestination;
      break;
    case 9:
      mode = QPainter::RasterOp_SourceAndDestination;
      break;
    case 10:
      mode = QPainter::RasterOp_NotSourceXorDestination;
      break;
    case 11:
      return false;
    case 12:
      mode = QPainter::RasterOp_NotSourceOrDestination;
      break;
    case 14:
      mode = QPainter::RasterOp_SourceOrNotDestination;
      break;
    case 15:
      mode = QPainter::RasterOp_SourceOrDestination;
      break;
    case 16:
      *colour = Qt::white;
      break;
    default:
      break;
  }
  m_painter.setCompositionMode(mode);
  return true;
}

QBrush Player::MakeBrush(const Brush& brush) {
  switch (brush.style) {
    case kBsNull:
      return Qt::NoBrush;
    case kBsHatched: {
      const bool opaque = m_dc.bkMode == kOpaque;
      const auto key = std::make_tuple(brush.hatch % 6, brush.colour, opaque ? m_dc.bkColour : 0,
                                       opaque ? 1 : 0);
      auto it = m_hatches.find(key);
      if (it == m_hatches.end()) {
        if (m_hatches.size() >= kMaxHatchTiles) m_hatches.clear();
        it = m_hatches
                 .emplace(key,
                          HatchTile(brush.hatch % 6, ToQColor(brush.colour),
                                    opaque ? std::optional(ToQColor(m_dc.bkColour)) : std::nullopt))
                 .first;
      }
      return QBrush(it->second);
    }
    case kBsPattern:
    case kBsDibPattern:
    case kBsDibPatternPt:
      if (brush.pattern.isNull()) return ToQColor(brush.colour);
      if (brush.monoPattern) {
        m_work -= kCostPerTilePixel * brush.pattern.width() * brush.pattern.height();
        QImage tile = brush.pattern.convertToFormat(QImage::Format_RGB32);
        const QRgb fore = ToQColor(m_dc.textColour).rgb();
        const QRgb back = ToQColor(m_dc.bkColour).rgb();
        for (int y = 0; y < tile.height(); ++y) {
          auto* row = reinterpret_cast<QRgb*>(tile.scanLine(y));
          for (int x = 0; x < tile.width(); ++x) row[x] = qGray(row[x]) < 128 ? fore : back;
        }
        return QBrush(tile);
      }
      return QBrush(brush.pattern);
    default:
      return ToQColor(brush.colour);
  }
}

std::optional<QBrush> Player::RopBrush(const Brush& brush) {
  QBrush b = MakeBrush(brush);
  QColor colour = b.color();
  if (!ApplyRop2(&colour)) return std::nullopt;
  if (b.style() == Qt::SolidPattern) b.setColor(colour);
  return b;
}

double Player::PenWidthPixels() {
  const QTransform& m = Matrix();
  const double scale = std::hypot(m.m11(), m.m12());
  const double w = m_dc.pen.width * scale;
  return std::isfinite(w) ? std::min(w, kMaxPenPixels) : kMaxPenPixels;
}

QPen Player::MakePen() {
  const Pen& p = m_dc.pen;
  const std::uint32_t style = p.style & kPsStyleMask;
  if (style == kPsNull) return Qt::NoPen;
  QPen pen(ToQColor(p.colour));
  const double width = PenWidthPixels();
  const bool cosmetic = width < 1.5;
  pen.setWidthF(cosmetic ? 0 : width);
  if (cosmetic) {
    // One device pixel; the end point is not drawn.
    pen.setCapStyle(Qt::FlatCap);
    pen.setJoinStyle(Qt::MiterJoin);
  } else {
    switch (p.style & kPsEndCapMask) {
      case kPsEndCapSquare:
        pen.setCapStyle(Qt::SquareCap);
        break;
      case kPsEndCapFlat:
        pen.setCapStyle(Qt::FlatCap);
        break;
      default:
        pen.setCapStyle(Qt::RoundCap);
        break;
    }
    switch (p.style & kPsJoinMask) {
      case kPsJoinBevel:
        pen.setJoinStyle(Qt::BevelJoin);
        break;
      case kPsJoinMiter:
        pen.setJoinStyle(Qt::MiterJoin);
        pen.setMiterLimit(std::clamp(m_dc.miterLimit, 1.0, 100.0));
        break;
      default:
        pen.setJoinStyle(Qt::RoundJoin);
        break;
    }
  }
  // Cosmetic dashes are counted in device pixels, geometric ones in pen widths.
  QList<qreal> dashes;
  switch (style) {
    case kPsDash:
      dashes = cosmetic ? QList<qreal>{18, 6} : QList<qreal>{3, 1};
      break;
    case kPsDot:
      dashes = cosmetic ? QList<qreal>{3, 3} : QList<qreal>{1, 1};
      break;
    case kPsDashDot:
      dashes = cosmetic ? QList<qreal>{9, 6, 3, 6} : QList<qreal>{3, 1, 1, 1};
      break;
    case kPsDashDotDot:
      dashes = cosmetic ? QList<qreal>{9, 3, 3, 3, 3, 3} : QList<qreal>{3, 1, 1, 1, 1, 1};
      break;
    case kPsAlternate:
      dashes = {1, 1};
      break;
    case kPsUserStyle:
      for (double d : p.dashes) {
        if (dashes.size() >= 16) break;
        dashes.append(std::clamp(cosmetic ? d : d / std::max(p.width, 1e-9), 0.5, 1000.0));
      }
      if (dashes.size() % 2) dashes.append(dashes.back());
      break;
    default:
      break;
  }
  if (!dashes.isEmpty()) pen.setDashPattern(dashes);
  return pen;
}

void Player::FillWith(const QPainterPath& path, const Brush& brush) {
  if (brush.style == kBsNull || m_inPath || path.isEmpty()) return;
  if (!Spend(path.boundingRect(), OutlineCost(path, 0))) return;
  const std::optional<QBrush> b = RopBrush(brush);
  if (!b) return;
  ApplyClip();
  m_painter.setBrushOrigin(0, 0);
  m_painter.fillPath(path, *b);
}

void Player::StrokeWith(const QPainterPath& path) {
  if (m_inPath || path.isEmpty()) return;
  QPen pen = MakePen();
  if (pen.style() == Qt::NoPen) return;
  const double halfWidth = pen.widthF() / 2 + 1;
  if (!Spend(path.boundingRect().adjusted(-halfWidth, -halfWidth, halfWidth, halfWidth),
             OutlineCost(path, halfWidth))) {
    return;
  }
  QColor colour = pen.color();
  if (!ApplyRop2(&colour)) return;
  pen.setColor(colour);
  ApplyClip();
  m_painter.strokePath(path, pen);
}

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
  add(m_path);
  // The bracket is only drawn at its end: what it grows by is paid for now, so that a file
  // cannot build a path of unbounded size first.
  m_work -= kCostPerCall + kCostPerElement * (m_path.elementCount() - before);
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

void Player::PolyPolyline(const std::vector<QPolygonF>& polylines) {
  QPainterPath path;
  for (const QPolygonF& p : polylines) {
    if (p.size() >= 2) path.addPolygon(Map(p));
  }
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

void Player::PolyPolygon(const std::vector<QPolygonF>& polygons) {
  QPainterPath path;
  path.setFillRule(FillRule());
  for (const QPolygonF& p : polygons) {
    if (p.size() < 2) continue;
    path.addPolygon(Map(p));
    path.closeSubpath();
  }
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

// --- Text ------------------------------------------------------------------------------------

// The font of the selected LOGFONT at its size on the canvas. `emPixels` is the em height in
// canvas pixels; text is drawn in a local frame rotated by `angle` (radians, on the canvas) and
// stretched horizontally by `xScale`.
QFont Player::MakeFont(double* emPixels, double* xScale, double* angle) {
  const Font& f = m_dc.font;
  const QTransform& m = Matrix();
  const double sx = std::hypot(m.m11(), m.m12());
  const double sy = std::hypot(m.m21(), m.m22());
  QString face = f.face.isEmpty() ? QStringLiteral("Sans Serif") : f.face;
  if (!m_faces.contains(face)) {
    if (m_faces.size() >= kMaxFaces) face = QStringLiteral("Sans Serif");
    m_faces.insert(face);
  }
  QFont font(face);
  font.setStyleStrategy(QFont::StyleStrategy(QFont::NoAntialias | QFont::PreferMatch));
  font.setWeight(QFont::Weight(std::clamp(f.weight == 0 ? 400 : f.weight, 1, 1000)));
  font.setItalic(f.italic);
  font.setUnderline(f.underline);
  font.setStrikeOut(f.strikeOut);
  font.setPixelSize(100);
  double em;
  if (f.height < 0) {
    em = -static_cast<double>(f.height) * sy;
  } else if (f.height > 0) {
    // A cell height: ascent plus descent.
    const QFontMetricsF metrics(font);
    em = f.height * sy * 100 / std::max(metrics.ascent() + metrics.descent(), 1.0);
  } else {
    em = 12 * std::hypot(m_deviceToDest.m21(), m_deviceToDest.m22());
  }
  *emPixels = em;
  *xScale = sy > 0 ? sx / sy : 1;
  if (f.width != 0 && em > 0) {
    QFont sized = font;
    sized.setPixelSize(std::max(1, static_cast<int>(std::lround(std::min(em, kMaxFontPixels)))));
    const double natural = QFontMetricsF(sized).averageCharWidth();
    if (natural > 0) {
      *xScale *= std::clamp(std::abs(f.width) * sx / (natural * *xScale), 0.1, 10.0);
    }
  }
  // Escapement is counter-clockwise on the device; a world transform may rotate further.
  *angle = std::atan2(m.m12(), m.m11()) - f.escapement * std::numbers::pi / 1800;
  if (m.m11() < 0 && m.m12() == 0) *angle = -f.escapement * std::numbers::pi / 1800;
  return font;
}

void Player::TextOut(QPointF p, const QString& fullText, const std::vector<double>& dx,
                     std::uint32_t options, const std::optional<QRectF>& clipRect) {
  if (m_inPath) return;
  const QString text = fullText.left(kMaxTextLength);
  const QRectF clipBox = clipRect ? MapBox(*clipRect) : QRectF();
  if (clipRect && (options & kEtoOpaque) && !Collect(clipBox) && Spend(clipBox)) {
    ApplyClip();
    m_painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    m_painter.fillRect(clipBox, ToQColor(m_dc.bkColour));
  }
  if (text.isEmpty()) return;

  double em = 0;
  double xScale = 1;
  double angle = 0;
  QFont font = MakeFont(&em, &xScale, &angle);
  if (!(em >= 1) || em > kMaxFontPixels || !std::isfinite(xScale)) return;
  font.setPixelSize(std::max(1, static_cast<int>(std::lround(em))));
  QRawFont raw = QRawFont::fromFont(font);
  const bool useRaw = raw.isValid();
  if (useRaw) raw.setPixelSize(em);
  const QFontMetricsF metrics(font);
  const double ascent = useRaw ? raw.ascent() : metrics.ascent();
  const double descent = useRaw ? raw.descent() : metrics.descent();

  // Advances along the baseline in the local frame.
  const QTransform& m = Matrix();
  const double sx = std::hypot(m.m11(), m.m12());
  QList<quint32> glyphs = useRaw ? raw.glyphIndexesForString(text) : QList<quint32>{};
  const bool allGlyphs =
      useRaw && glyphs.size() == text.size() &&
      std::none_of(glyphs.begin(), glyphs.end(), [](quint32 g) { return g == 0; });
  std::vector<double> advances(static_cast<std::size_t>(text.size()));
  if (!dx.empty()) {
    for (qsizetype i = 0; i < text.size(); ++i) {
      const double d = i < static_cast<qsizetype>(dx.size()) ? dx[static_cast<std::size_t>(i)] : 0;
      advances[static_cast<std::size_t>(i)] = Bounded(d * sx / xScale);
    }
  } else if (allGlyphs) {
    const QList<QPointF> natural = raw.advancesForGlyphIndexes(glyphs);
    for (qsizetype i = 0; i < natural.size(); ++i) {
      advances[static_cast<std::size_t>(i)] = natural[i].x();
    }
  } else {
    for (qsizetype i = 0; i < text.size(); ++i) {
      advances[static_cast<std::size_t>(i)] = metrics.horizontalAdvance(text[i]);
    }
  }
  double width = 0;
  for (double a : advances) width += a;

  const bool updateCp = m_dc.textAlign & kTaUpdateCp;
  const QPointF origin = updateCp ? m_dc.position : Map(p);
  double x0 = 0;
  switch (m_dc.textAlign & kTaHorizontalMask) {
    case kTaRight:
      x0 = -width;
      break;
    case kTaCenter:
      x0 = -width / 2;
      break;
    default:
      break;
  }
  double baseline = ascent;
  switch (m_dc.textAlign & kTaVerticalMask) {
    case kTaBaseline:
      baseline = 0;
      break;
    case kTaBottom:
      baseline = -descent;
      break;
    default:
      break;
  }
  QTransform local;
  local.translate(origin.x(), origin.y());
  local.rotateRadians(angle);
  local.scale(xScale, 1);
  if (updateCp) {
    const double advance = (m_dc.textAlign & kTaHorizontalMask) == 0 ? width : 0;
    m_dc.position = local.map(QPointF(advance, 0));
  }
  const QRectF cell(x0, baseline - ascent, width, ascent + descent);
  if (Collect(local.mapRect(cell)) || !Spend(local.mapRect(cell))) return;
  m_work -= kCostPerCharacter * text.size();
  if (m_work < 0) return;

  ApplyClip();
  m_painter.save();
  if (clipRect && (options & kEtoClipped)) {
    m_painter.setClipRect(clipBox, Qt::IntersectClip);
  }
  m_painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
  m_painter.setTransform(local);
  if (m_dc.bkMode == kOpaque && !(options & kEtoOpaque)) {
    m_painter.fillRect(cell, ToQColor(m_dc.bkColour));
  }
  m_painter.setPen(ToQColor(m_dc.textColour));
  if (allGlyphs) {
    QList<QPointF> positions;
    positions.reserve(text.size());
    double x = x0;
    for (double a : advances) {
      positions.append(QPointF(x, baseline));
      x += a;
    }
    QGlyphRun run;
    run.setRawFont(raw);
    run.setGlyphIndexes(glyphs);
    run.setPositions(positions);
    run.setUnderline(m_dc.font.underline);
    run.setStrikeOut(m_dc.font.strikeOut);
    m_painter.drawGlyphRun(QPointF(0, 0), run);
  } else {
    // Characters the font lacks: let the font machinery find a substitute, one at a time.
    m_painter.setFont(font);
    double x = x0;
    for (qsizetype i = 0; i < text.size(); ++i) {
      m_painter.drawText(QPointF(x, baseline), QString(text[i]));
      x += advances[static_cast<std::size_t>(i)];
    }
  }
  m_painter.restore();
  m_clipApplied = false;
}

// --- Bitmaps and regions ---------------------------------------------------------------------

void Player::PatBlt(const QRectF& dest, std::uint32_t rop) {
  if (m_inPath || rop == kDstCopy) return;
  QPainterPath logical;
  logical.addRect(dest.normalized());
  QPainterPath path;
  if (AxisAligned()) {
    path.addRect(MapBox(dest));
  } else {
    path = MapPath(logical);
  }
  if (Collect(path.boundingRect()) || !Spend(path.boundingRect())) return;
  ApplyClip();
  QBrush brush;
  m_painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
  switch (rop) {
    case kBlackness:
      brush = Qt::black;
      break;
    case kWhiteness:
      brush = Qt::white;
      break;
    case kDstInvert:
      m_painter.setCompositionMode(QPainter::RasterOp_NotDestination);
      brush = Qt::black;
      break;
    case kPatInvert:
      m_painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
      brush = MakeBrush(m_dc.brush);
      break;
    default:
      if (m_dc.brush.style == kBsNull) return;
      brush = MakeBrush(m_dc.brush);
      break;
  }
  m_painter.setBrushOrigin(0, 0);
  m_painter.fillPath(path, brush);
}

void Player::DrawImage(const QRectF& dest, const QImage& image, std::uint32_t rop) {
  if (image.isNull()) {
    PatBlt(dest, rop);
    return;
  }
  if (m_inPath || rop == kDstCopy) return;
  QPainter::CompositionMode mode = QPainter::CompositionMode_SourceOver;
  switch (rop) {
    case kSrcPaint:
      mode = QPainter::RasterOp_SourceOrDestination;
      break;
    case kSrcAnd:
      mode = QPainter::RasterOp_SourceAndDestination;
      break;
    case kSrcInvert:
      mode = QPainter::RasterOp_SourceXorDestination;
      break;
    case kNotSrcCopy:
      mode = QPainter::RasterOp_NotSource;
      break;
    case kSrcErase:
      mode = QPainter::RasterOp_SourceAndNotDestination;
      break;
    case kNotSrcErase:
      mode = QPainter::RasterOp_NotSourceAndNotDestination;
      break;
    case kMergePaint:
      mode = QPainter::RasterOp_NotSourceOrDestination;
      break;
    case kBlackness:
    case kWhiteness:
    case kDstInvert:
    case kPatCopy:
    case kPatInvert:
      PatBlt(dest, rop);
      return;
    default:
      break;
  }
  const bool aligned = AxisAligned();
  QRectF target;
  QImage picture = image;
  if (aligned) {
    const QPointF a = Map(dest.topLeft());
    const QPointF b = Map(dest.bottomRight());
    target = QRectF(a, b).normalized();
    picture = image.mirrored(b.x() < a.x(), b.y() < a.y());
  } else {
    target = dest.normalized();
    picture = image.mirrored(dest.width() < 0, dest.height() < 0);
  }
  if (target.isEmpty()) return;
  const QRectF bounds = aligned ? target : Matrix().mapRect(target);
  if (Collect(bounds) || !Spend(bounds, (kImageAreas - 1) * VisibleArea(bounds))) return;
  ApplyClip();
  m_painter.setCompositionMode(mode);
  if (!aligned) m_painter.setTransform(Matrix());
  m_painter.drawImage(target, picture, QRectF(picture.rect()));
  m_painter.resetTransform();
}

void Player::FillDestRegion(const QRegion& region, const QBrush& brush) {
  if (!Spend(region.boundingRect(), kCostPerRegionRect * region.rectCount())) return;
  ApplyClip();
  m_painter.setBrushOrigin(0, 0);
  for (const QRect& r : region) m_painter.fillRect(r, brush);
}

void Player::FillRegion(const RectList& rects, const Brush& brush) {
  if (m_inPath || brush.style == kBsNull) return;
  const std::vector<QRect> mapped = MapRects(rects, false);
  if (Collect(Bounds(mapped))) return;
  const std::optional<QBrush> b = RopBrush(brush);
  if (b) FillDestRegion(UniteWithin(mapped, m_dest), *b);
}

void Player::FrameRegion(const RectList& rects, const Brush& brush, double width, double height) {
  if (m_inPath || brush.style == kBsNull) return;
  const std::vector<QRect> mapped = MapRects(rects, false);
  if (Collect(Bounds(mapped))) return;
  const QTransform& m = Matrix();
  const int w = std::clamp(static_cast<int>(std::lround(std::abs(width * m.m11()))), 1, 1000);
  const int h = std::clamp(static_cast<int>(std::lround(std::abs(height * m.m22()))), 1, 1000);
  // The frame: the pixels of the region within w, h of its outside. Only those within the
  // destination are drawn, so each moved copy of the region is built from the part that lands
  // there.
  const auto moved = [&](int dx, int dy) {
    return UniteWithin(mapped, m_dest.translated(-dx, -dy)).translated(dx, dy);
  };
  const QRegion region = UniteWithin(mapped, m_dest);
  const QRegion inner = moved(w, 0) & moved(-w, 0) & moved(0, h) & moved(0, -h) & region;
  m_painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
  FillDestRegion(region - inner, MakeBrush(brush));
}

void Player::InvertRegion(const RectList& rects) {
  if (m_inPath) return;
  const std::vector<QRect> mapped = MapRects(rects, false);
  if (Collect(Bounds(mapped))) return;
  m_painter.setCompositionMode(QPainter::RasterOp_NotDestination);
  FillDestRegion(UniteWithin(mapped, m_dest), Qt::black);
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
