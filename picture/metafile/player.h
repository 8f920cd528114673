#pragma once

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRawFont>
#include <QRegion>
#include <QSet>
#include <QString>
#include <QTransform>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <tuple>
#include <vector>

#include "picture/metafile/budget.h"
#include "picture/metafile/gdi.h"
#include "picture/metafile/record_lists.h"

namespace picture::gdi {

// Plays the drawing calls of a metafile onto a QPainter, keeping the device context state of
// the graphics device interface: mapping mode, window and viewport, world transform, selected
// pen, brush and font, colours, modes, clipping, current position, a path bracket, and the
// stack of saved states. Coordinates given to it are logical units; the record decoders
// (wmf.cpp, emf.cpp) only parse records and call these.
//
// The class is defined across files, one a concern: player.cpp (state and the work charged),
// mapping.cpp, clipping.cpp, tools.cpp (pens, brushes, raster operations), shapes.cpp (lines,
// curves, shapes and paths), bitmaps.cpp (bit-block transfers and regions), text_layout.cpp
// (fonts and where the characters go) and text.cpp (painting them).
//
// Drawing is aliased, as GDI draws, and every coordinate is bounded so that absurd values
// cannot make the painter slow; everything is clipped to the destination rectangle.
class Player {
 public:
  // `deviceToDest` maps the metafile's device space (reference device pixels for EMF, the
  // picture frame's units for WMF) onto canvas pixels. `dest` is the destination rectangle in
  // canvas pixels; nothing is drawn outside it. `pixelsPerMm` is the reference device's
  // resolution, used by the fixed mapping modes. The play's painting is charged to `budget`'s
  // work account (made for the area of `dest`).
  Player(QPainter& painter, const QTransform& deviceToDest, const QRect& dest, QPointF pixelsPerMm,
         metafile::Budget& budget);

  // Mapping. Extents of zero are ignored, as GDI refuses them.
  void SetMapMode(int mode);
  void SetWindowOrg(double x, double y);
  void SetWindowExt(double x, double y);
  void SetViewportOrg(double x, double y);
  void SetViewportExt(double x, double y);
  void OffsetWindowOrg(double dx, double dy);
  void OffsetViewportOrg(double dx, double dy);
  void ScaleWindowExt(double xNum, double xDenom, double yNum, double yDenom);
  void ScaleViewportExt(double xNum, double xDenom, double yNum, double yDenom);
  void SetWorldTransform(const QTransform& t);
  // MWT_IDENTITY 1, MWT_LEFTMULTIPLY 2, MWT_RIGHTMULTIPLY 3, MWT_SET 4.
  void ModifyWorldTransform(const QTransform& t, int mode);

  // State.
  void SaveDc();
  // `n` < 0: restore the state saved -n saves ago; `n` > 0: the n-th saved state.
  void RestoreDc(int n);
  void SelectPen(const Pen& pen) { m_dc.pen = pen; }
  void SelectBrush(const Brush& brush) { m_dc.brush = brush; }
  void SelectFont(const Font& font) { m_dc.font = font; }
  void SetTextColour(ColourRef c) { m_dc.textColour = c & 0xFFFFFF; }
  void SetBkColour(ColourRef c) { m_dc.bkColour = c & 0xFFFFFF; }
  void SetBkMode(int mode) { m_dc.bkMode = mode; }
  void SetPolyFillMode(int mode) { m_dc.polyFillMode = mode; }
  void SetRop2(int rop) { m_dc.rop2 = rop; }
  void SetTextAlign(std::uint32_t align) { m_dc.textAlign = align; }
  void SetArcDirection(bool clockwise) { m_dc.clockwise = clockwise; }
  void SetMiterLimit(double limit) { m_dc.miterLimit = limit; }

  // Clipping.
  void IntersectClipRect(const QRectF& r);
  void ExcludeClipRect(const QRectF& r);
  // Combines the clipping region with `rects` in logical (WMF) or device (EMF) units; kRgnCopy
  // with no region at all (null) restores the default clipping.
  void SelectClipRegion(const RegionRects* rects, bool deviceUnits, int mode);
  void OffsetClipRegion(double dx, double dy);
  void SelectClipPath(int mode);

  // Drawing, in logical units.
  void MoveTo(QPointF p);
  void LineTo(QPointF p);
  void Polyline(const QPolygonF& points);
  void PolylineTo(const QPolygonF& points);
  void PolyBezier(const QPolygonF& points);
  void PolyBezierTo(const QPolygonF& points);
  // PT_MOVETO 6, PT_LINETO 2, PT_BEZIERTO 4, with PT_CLOSEFIGURE 1.
  void PolyDraw(const QPolygonF& points, const std::vector<std::uint8_t>& types);
  void Polygon(const QPolygonF& points);
  // The figures are read as they are added; every one read is charged, so that a record of
  // millions of empty figures ends the play once its work is spent.
  void PolyPolygon(Figures polygons);
  void PolyPolyline(Figures polylines);
  void Rectangle(const QRectF& box);
  void RoundRect(const QRectF& box, double cornerWidth, double cornerHeight);
  void Ellipse(const QRectF& box);
  void Arc(const QRectF& box, QPointF start, QPointF end);
  void ArcTo(const QRectF& box, QPointF start, QPointF end);
  void Pie(const QRectF& box, QPointF start, QPointF end);
  void Chord(const QRectF& box, QPointF start, QPointF end);
  void AngleArc(QPointF centre, double radius, double startDegrees, double sweepDegrees);
  void SetPixel(QPointF p, ColourRef c);
  // `dx`: the advance of each character in logical units (empty: the font's own); `clipRect`
  // for kEtoOpaque and kEtoClipped.
  void TextOut(QPointF p, const QString& text, const std::vector<double>& dx, std::uint32_t options,
               const std::optional<QRectF>& clipRect);
  // A bit-block transfer of `image` (already cut to the source rectangle) onto the logical
  // rectangle (x, y, width, height; negative sizes mirror); a null image with a pattern or
  // destination-only `rop` fills with the brush.
  void DrawImage(const QRectF& dest, const QImage& image, std::uint32_t rop);
  void PatBlt(const QRectF& dest, std::uint32_t rop);
  void FillRegion(const RegionRects& rects, const Brush& brush);
  void FrameRegion(const RegionRects& rects, const Brush& brush, double width, double height);
  void InvertRegion(const RegionRects& rects);
  void PaintRegion(const RegionRects& rects) { FillRegion(rects, m_dc.brush); }

  // Paths (EMF).
  void BeginPath();
  void EndPath() { m_inPath = false; }
  void AbortPath();
  void CloseFigure();
  void FillPath() { DrawPath(true, false); }
  void StrokePath() { DrawPath(false, true); }
  void StrokeAndFillPath() { DrawPath(true, true); }

  // The logical-to-canvas transform in force.
  const QTransform& Matrix();

  // Instead of drawing, collect the canvas-space bounds of everything drawn (for a metafile
  // that declares no frame).
  void CollectBounds(QRectF* bounds) { m_bounds = bounds; }

 private:
  struct Dc {
    int mapMode = kMmText;
    QPointF windowOrg{0, 0};
    QPointF windowExt{1, 1};
    QPointF viewportOrg{0, 0};
    QPointF viewportExt{1, 1};
    QTransform world;
    Pen pen;
    Brush brush;
    Font font;
    ColourRef textColour = 0;
    ColourRef bkColour = 0xFFFFFF;
    int bkMode = kOpaque;
    int polyFillMode = kAlternate;
    int rop2 = 13;  // R2_COPYPEN
    std::uint32_t textAlign = 0;
    bool clockwise = false;
    double miterLimit = 10;
    QPointF position;  // canvas pixels
    QRegion clip;      // canvas pixels, within the destination
  };

  QPointF Map(QPointF p);
  QPolygonF Map(const QPolygonF& points);
  QRectF MapBox(const QRectF& box);  // axis-aligned mapping; an empty rect when rotated
  QPainterPath MapPath(const QPainterPath& logical);
  // The rectangles in canvas pixels, empty ones left out, at most kMaxRegionRects of them. Each
  // rectangle read is charged, and the reading stops once the work is spent.
  std::vector<QRect> MapRects(const RegionRects& rects, bool deviceUnits);
  // The union of `rects` (canvas pixels) within `box`.
  QRegion UniteWithin(const std::vector<QRect>& rects, const QRect& box);
  static QRect Bounds(const std::vector<QRect>& rects);
  QRegion RectRegion(const QRectF& logical);
  QRegion PathRegion(const QPainterPath& canvasPath);
  bool AxisAligned();
  Qt::FillRule FillRule() const {
    return m_dc.polyFillMode == kWinding ? Qt::WindingFill : Qt::OddEvenFill;
  }
  // Ends the path bracket, giving its path with the fill rule in force.
  QPainterPath TakePath();
  // Ends the path bracket and draws its path: filled with the brush, stroked with the pen.
  void DrawPath(bool fill, bool stroke);
  void MappingChanged() { m_matrixValid = false; }
  bool Collect(const QRectF& r);
  // Charges a drawing call: a fixed cost, the area of `canvasBounds` within the destination and
  // `extra`. False when the budget is spent: the call then draws nothing.
  bool Spend(const QRectF& canvasBounds, std::int64_t extra = 0);
  // The area of `canvasBounds` within the destination, in pixels.
  std::int64_t VisibleArea(const QRectF& canvasBounds) const;
  // The work of filling (`pad` 0) or stroking (`pad` the pen's half width) `path`, in canvas
  // pixels, beyond its area.
  std::int64_t OutlineCost(const QPainterPath& path, double pad) const;

  // A shape drawn from the rectangle `box` (canvas pixels) with the pen in force: the rectangles
  // its fill and its outline take.
  struct BoxShape {
    QRectF fill;
    QRectF stroke;
  };
  BoxShape PenBox(const QRectF& box);
  // The elliptic arc of `box` from `start` to `end` (logical), in the current arc direction.
  QPainterPath ArcPath(const QRectF& box, QPointF start, QPointF end, bool outline);
  void LineAndArc(const QPainterPath& arc, QPointF fallback);
  // Draws (or adds to the path bracket) a closed figure: `fill` with the brush, `stroke` with
  // the pen. Shapes built from a bounding box pass an outline drawn inside it.
  void Shape(const QPainterPath& fill, const QPainterPath& stroke);
  void OpenFigure(const QPainterPath& line);
  // Adds the figures to `path` (mapped; closed when `close`), those of fewer than two points left
  // out, until they end or the work is spent.
  void AddFigures(Figures figures, QPainterPath& path, bool close);
  // Adds to the path bracket what `add` adds to the path it is given, charging it to the budget.
  void AddToPath(const std::function<void(QPainterPath&)>& add);
  // A "To" figure: from the current position, what `add` adds, the current position ending at
  // its end; drawn with the pen, or added to the path bracket.
  void ToFigure(const std::function<void(QPainterPath&)>& add);
  void FillWith(const QPainterPath& path, const Brush& brush);
  void StrokeWith(const QPainterPath& path);
  bool ApplyRop2(QColor* colour);
  QBrush MakeBrush(const Brush& brush);
  // The brush to fill with under the mix mode in force, which is set on the painter (a solid
  // colour takes the colour the mode gives it); none when the mode leaves the destination as it
  // is.
  std::optional<QBrush> RopBrush(const Brush& brush);
  QPen MakePen();
  double PenWidthPixels();
  QFont MakeFont(double* emPixels, double* xScale, double* angle);
  // Where the characters of a text go, in a local frame whose origin is the reference point and
  // whose x axis runs along the baseline.
  struct TextLayout {
    QFont font;
    QRawFont raw;
    QList<quint32> glyphs;
    bool allGlyphs = false;  // the raw font has every character: drawn as one glyph run
    std::vector<double> advances;
    double width = 0;
    double x0 = 0;        // where the first character starts
    double baseline = 0;  // y of the baseline
    QTransform local;     // the local frame to canvas pixels
    QRectF cell;          // the text's box in the local frame
  };
  // Lays out `text` (not empty) at `p` (logical) in the selected font and alignment, with the
  // advances `dx` (logical; empty for the font's own); none when the font cannot be drawn at
  // its size.
  std::optional<TextLayout> LayOutText(QPointF p, const QString& text,
                                       const std::vector<double>& dx);
  // Combines the clipping region with `r` (canvas pixels) by an RGN_ mode.
  void CombineClip(const QRegion& r, int mode);
  void ApplyClip();
  void FillDestRegion(const QRegion& region, const QBrush& brush);

  QPainter& m_painter;
  QTransform m_deviceToDest;
  QRect m_dest;
  QPointF m_pixelsPerMm;
  Dc m_dc;
  std::vector<Dc> m_saved;
  QTransform m_matrix;
  bool m_matrixValid = false;
  bool m_clipApplied = false;
  QRegion m_appliedClip;
  bool m_inPath = false;
  QPainterPath m_path;     // canvas pixels
  QPainterPath m_scratch;  // the figure of a "To" call outside a path bracket
  std::map<std::tuple<std::uint32_t, ColourRef, ColourRef, int>, QImage> m_hatches;
  QRectF* m_bounds = nullptr;
  metafile::Budget& m_budget;
  QSet<QString> m_faces;
};
}  // namespace picture::gdi
