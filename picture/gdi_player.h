#pragma once

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
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

namespace picture::gdi {

// A GDI COLORREF: 0x00BBGGRR (the high byte, a palette flag, is ignored).
using ColourRef = std::uint32_t;

// Values of the graphics device interface that both metafile formats share.
enum MapMode : int {
  kMmText = 1,
  kMmLoMetric = 2,
  kMmHiMetric = 3,
  kMmLoEnglish = 4,
  kMmHiEnglish = 5,
  kMmTwips = 6,
  kMmIsotropic = 7,
  kMmAnisotropic = 8,
};
enum PenStyle : std::uint32_t {
  kPsSolid = 0,
  kPsDash = 1,
  kPsDot = 2,
  kPsDashDot = 3,
  kPsDashDotDot = 4,
  kPsNull = 5,
  kPsInsideFrame = 6,
  kPsUserStyle = 7,
  kPsAlternate = 8,
  kPsStyleMask = 0xF,
  kPsEndCapSquare = 0x100,
  kPsEndCapFlat = 0x200,
  kPsEndCapMask = 0xF00,
  kPsJoinBevel = 0x1000,
  kPsJoinMiter = 0x2000,
  kPsJoinMask = 0xF000,
  kPsGeometric = 0x10000,
};
enum BrushStyle : std::uint32_t {
  kBsSolid = 0,
  kBsNull = 1,
  kBsHatched = 2,
  kBsPattern = 3,
  kBsDibPattern = 5,
  kBsDibPatternPt = 6,
};
enum BkMode : int { kTransparent = 1, kOpaque = 2 };
enum PolyFillMode : int { kAlternate = 1, kWinding = 2 };
enum TextAlign : std::uint32_t {
  kTaUpdateCp = 1,
  kTaRight = 2,
  kTaCenter = 6,
  kTaHorizontalMask = 6,
  kTaBottom = 8,
  kTaBaseline = 24,
  kTaVerticalMask = 24,
};
enum TextOptions : std::uint32_t { kEtoOpaque = 2, kEtoClipped = 4, kEtoGlyphIndex = 0x10 };
enum RegionMode : int { kRgnAnd = 1, kRgnOr = 2, kRgnXor = 3, kRgnDiff = 4, kRgnCopy = 5 };
// Raster operations of the bit-block transfers that the player knows.
enum Rop3 : std::uint32_t {
  kBlackness = 0x00000042,
  kNotSrcErase = 0x001100A6,
  kNotSrcCopy = 0x00330008,
  kSrcErase = 0x00440328,
  kDstInvert = 0x00550009,
  kPatInvert = 0x005A0049,
  kSrcInvert = 0x00660046,
  kSrcAnd = 0x008800C6,
  kDstCopy = 0x00AA0029,
  kMergePaint = 0x00BB0226,
  kSrcCopy = 0x00CC0020,
  kSrcPaint = 0x00EE0086,
  kPatCopy = 0x00F00021,
  kWhiteness = 0x00FF0062,
};

struct Pen {
  std::uint32_t style = kPsSolid;  // style, end cap, join and type bits
  double width = 0;                // logical units; below one device pixel draws one pixel
  ColourRef colour = 0;
  std::vector<double> dashes;  // kPsUserStyle: dash and gap lengths, in pen widths
};

struct Brush {
  std::uint32_t style = kBsSolid;
  ColourRef colour = 0xFFFFFF;
  std::uint32_t hatch = 0;  // HS_HORIZONTAL 0 ... HS_DIAGCROSS 5
  // kBsPattern, kBsDibPattern(Pt): the tile. A two-colour tile (monoPattern) draws its 0 bits in
  // the text colour and its 1 bits in the background colour, like a monochrome pattern brush.
  QImage pattern;
  bool monoPattern = false;
};

// The brush a create-brush record (a LOGBRUSH) describes: null and hatched brushes as they are;
// any other style, whose pattern such a record cannot carry, draws solid in its colour.
inline Brush LogBrush(std::uint32_t style, ColourRef colour, std::uint32_t hatch) {
  Brush brush;
  brush.style = style == kBsNull || style == kBsHatched ? style : kBsSolid;
  brush.colour = colour;
  brush.hatch = hatch;
  return brush;
}

struct Font {
  int height = 0;      // < 0: character height; > 0: cell height; 0: the default size
  int width = 0;       // average character width; 0: the font's own
  int escapement = 0;  // tenths of a degree, counter-clockwise
  int weight = 0;      // 0 (default), 100 ... 1000
  bool italic = false;
  bool underline = false;
  bool strikeOut = false;
  int charset = 0;
  QString face;
};

// A region as a list of rectangles (left, top, right, bottom exclusive) in logical units (WMF
// regions, EMF region fills) or device units (EMF clipping regions).
using RectList = std::vector<QRect>;

// Plays the drawing calls of a metafile onto a QPainter, keeping the device context state of
// the graphics device interface: mapping mode, window and viewport, world transform, selected
// pen, brush and font, colours, modes, clipping, current position, a path bracket, and the
// stack of saved states. Coordinates given to it are logical units; the record decoders
// (wmf.cpp, emf.cpp) only parse records and call these.
//
// Drawing is aliased, as GDI draws, and every coordinate is bounded so that absurd values
// cannot make the painter slow; everything is clipped to the destination rectangle.
class Player {
 public:
  // `deviceToDest` maps the metafile's device space (reference device pixels for EMF, the
  // picture frame's units for WMF) onto canvas pixels. `dest` is the destination rectangle in
  // canvas pixels; nothing is drawn outside it. `pixelsPerMm` is the reference device's
  // resolution, used by the fixed mapping modes.
  Player(QPainter& painter, const QTransform& deviceToDest, const QRect& dest, QPointF pixelsPerMm);

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
  void SelectClipRegion(const RectList* rects, bool deviceUnits, int mode);
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
  void PolyPolygon(const std::vector<QPolygonF>& polygons);
  void PolyPolyline(const std::vector<QPolygonF>& polylines);
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
  void FillRegion(const RectList& rects, const Brush& brush);
  void FrameRegion(const RectList& rects, const Brush& brush, double width, double height);
  void InvertRegion(const RectList& rects);
  void PaintRegion(const RectList& rects) { FillRegion(rects, m_dc.brush); }

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

  // Whether the play has painted so much that the rest is skipped (see kPaintedAreas).
  bool Exhausted() const { return m_work < 0; }

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
  // The rectangles in canvas pixels, empty ones left out, at most kMaxRegionRects of them.
  std::vector<QRect> MapRects(const RectList& rects, bool deviceUnits);
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
  std::int64_t m_work = 0;
  QSet<QString> m_faces;
};

// Text of a metafile's 8-bit string in the font's character set (Western and Cyrillic code
// pages; anything else reads as Western).
QString DecodeAnsi(const std::uint8_t* bytes, std::size_t count, int charset);

// Colour of a COLORREF.
inline QColor ToQColor(ColourRef c) {
  return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

}  // namespace picture::gdi
