#include <algorithm>
#include <cmath>

#include "picture/metafile/budget.h"
#include "picture/metafile/player.h"

namespace picture::gdi {

using namespace metafile;

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

void Player::FillRegion(const RegionRects& rects, const Brush& brush) {
  if (m_inPath || brush.style == kBsNull) return;
  const std::vector<QRect> mapped = MapRects(rects, false);
  if (Collect(Bounds(mapped))) return;
  const std::optional<QBrush> b = RopBrush(brush);
  if (b) FillDestRegion(UniteWithin(mapped, m_dest), *b);
}

void Player::FrameRegion(const RegionRects& rects, const Brush& brush, double width,
                         double height) {
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

void Player::InvertRegion(const RegionRects& rects) {
  if (m_inPath) return;
  const std::vector<QRect> mapped = MapRects(rects, false);
  if (Collect(Bounds(mapped))) return;
  m_painter.setCompositionMode(QPainter::RasterOp_NotDestination);
  FillDestRegion(UniteWithin(mapped, m_dest), Qt::black);
}

}  // namespace picture::gdi
