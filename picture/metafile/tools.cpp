#include <algorithm>
#include <cmath>

#include "picture/metafile/budget.h"
#include "picture/metafile/player.h"

namespace picture::gdi {

using namespace metafile;

namespace {

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

}  // namespace

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
        m_budget.Charge(kCostPerTilePixel * brush.pattern.width() * brush.pattern.height());
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

}  // namespace picture::gdi
