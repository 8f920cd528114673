#include <QPolygonF>
#include <algorithm>
#include <unordered_map>

#include "picture/metafile/emf_records.h"
#include "picture/metafile/formats.h"
#include "picture/metafile/objects.h"
#include "picture/metafile/record_dib.h"
#include "picture/metafile/source.h"
#include "picture/record_reader.h"

namespace picture::metafile {

namespace {

using namespace emf;

constexpr std::uint32_t kEmfSignature = 0x464D4520;  // " EMF"

QPointF Point(SourceReader& r, bool small) {
  if (small) {
    const double x = r.I16();
    return {x, static_cast<double>(r.I16())};
  }
  const double x = r.I32();
  return {x, static_cast<double>(r.I32())};
}
QRectF Box(SourceReader& r) {
  const double l = r.I32();
  const double t = r.I32();
  const double right = r.I32();
  const double b = r.I32();
  return QRectF(QPointF(l, t), QPointF(right, b));
}

// An XFORM: m11, m12, m21, m22, dx, dy.
QTransform Transform(SourceReader& r) {
  const double m11 = r.F32();
  const double m12 = r.F32();
  const double m21 = r.F32();
  const double m22 = r.F32();
  const double dx = r.F32();
  return QTransform(m11, m12, m21, m22, dx, r.F32());
}

// RGNDATA: a 32-byte header with the rectangle count, then the rectangles; none when the data
// cannot hold them.
std::optional<gdi::RegionRects> Region(const Extent& data) {
  SourceReader r(data);
  r.Skip(8);
  const std::uint32_t count = r.U32();
  r.Skip(20);
  if (!r.Ok() || count > r.Remaining() / 16) return std::nullopt;
  return gdi::RegionRects::Rectangles(*r.Part(std::uint64_t{count} * 16), count);
}

// One play of the records of an enhanced metafile. Each record type the player knows has a
// handler and the size of the fields it reads (after the type and size); a record shorter than
// that is cut short, and skipped whole.
class Emf {
 public:
  Emf(const Source& file, gdi::Player& player, Budget& budget)
      : m_file(file), p(player), m_budget(budget), m_objects(kMaxObjects) {}

  void Play();

 private:
  // A handler reads the record's fields from `r`, positioned after its type and size.
  using Handler = void (*)(Emf& e, SourceReader& r);
  struct Entry {
    std::uint32_t minSize;
    Handler play;
  };
  static const std::unordered_map<std::uint32_t, Entry>& Handlers();

  // Points of a poly record: a count, then the points; none when the count overruns the record.
  QPolygonF Points(SourceReader& r) {
    r.Skip(16);  // bounds
    const std::uint32_t count = r.U32();
    QPolygonF points;
    if (count > r.Remaining() / (m_small ? 4 : 8) || !m_budget.TakePoints(count)) return points;
    points.reserve(static_cast<qsizetype>(count));
    for (std::uint32_t i = 0; i < count; ++i) points.append(Point(r, m_small));
    // Points the source no longer has (a file cut short since it was loaded) leave none.
    if (!r.Ok()) points.clear();
    return points;
  }
  // The figures of a poly-poly record: their count, the total of their points, the count of
  // each, then the points. None when the record cannot hold them or the points account is short.
  gdi::Figures PolyPoints(SourceReader& r) {
    r.Skip(16);
    const std::uint32_t polys = r.U32();
    const std::uint32_t total = r.U32();
    if (polys > r.Remaining() / 4) return {};
    const Extent counts = *r.Part(std::uint64_t{polys} * 4);
    const std::size_t pointSize = m_small ? 4 : 8;
    if (total > r.Remaining() / pointSize || !m_budget.TakePoints(total)) return {};
    return {counts, 4, polys, *r.Part(std::uint64_t{total} * pointSize), m_small ? 2 : 4, total};
  }
  // A DIB whose header and bits the record `r` locates by offset and size.
  Dib RecordDib(const SourceReader& r, std::uint32_t offBmi, std::uint32_t cbBmi,
                std::uint32_t offBits, std::uint32_t cbBits, std::uint32_t usage) {
    const auto info = r.PartAt(offBmi, cbBmi);
    const auto bits = r.PartAt(offBits, cbBits);
    if (!info || info->size == 0) return {};
    return DibImage(*info, bits.value_or(Extent{info->source, 0, 0}), usage == 1, m_budget);
  }
  void PolyDraw(SourceReader& r) {
    const QPolygonF points = Points(r);
    const auto types = r.Bytes(static_cast<std::size_t>(points.size()));
    if (r.Ok()) p.PolyDraw(points, std::vector<std::uint8_t>(types.begin(), types.end()));
  }
  void Arc(SourceReader& r, void (gdi::Player::*draw)(const QRectF&, QPointF, QPointF)) {
    const QRectF box = Box(r);
    const QPointF start = Point(r, false);
    (p.*draw)(box, start, Point(r, false));
  }
  // Two 32-bit values (x, y) handed to the player's `call`.
  void Pair(SourceReader& r, void (gdi::Player::*call)(double, double)) {
    const QPointF v = Point(r, false);
    (p.*call)(v.x(), v.y());
  }
  // Numerator and denominator for x, then for y.
  void Scale(SourceReader& r, void (gdi::Player::*call)(double, double, double, double)) {
    const double xNum = r.I32();
    const double xDenom = r.I32();
    const double yNum = r.I32();
    const double yDenom = r.I32();
    (p.*call)(xNum, xDenom, yNum, yDenom);
  }
  void Text(SourceReader& r, bool wide);
  void FillRegion(SourceReader& r);
  void Transfer(SourceReader& r, bool stretch);
  void DibTransfer(SourceReader& r, bool stretch);
  void PatternBrush(SourceReader& r);
  void ExtCreatePen(SourceReader& r);

  const Source& m_file;
  gdi::Player& p;
  Budget& m_budget;
  ObjectTable m_objects;
  // The record being played: its type, and whether its points are 16-bit.
  std::uint32_t m_type = 0;
  bool m_small = false;
};

void Emf::Play() {
  const auto& handlers = Handlers();
  RecordFetcher records(m_file);
  const std::uint64_t end = m_file.Size();
  std::uint64_t start = 0;
  while (end - start >= 8 && !m_budget.Spent()) {
    RecordReader head(records.Fetch(start, 8));
    const std::uint32_t type = head.U32();
    const std::uint32_t size = head.U32();
    // A record that cannot be whole ends the picture: what comes after it cannot be found. So
    // does one that a file no longer has, cut short since it was loaded.
    if (!head.Ok() || size < 8 || size % 4 != 0 || size - 8 > end - start - 8) break;
    --m_budget.records;
    if (type == kEof) break;
    const auto handler = handlers.find(type);
    if (handler != handlers.end() && size - 8 >= handler->second.minSize) {
      SourceReader r = records.Record(start, size);
      if (r.Size() == 0) break;
      r.Skip(8);
      m_type = type;
      m_small = type >= kPolyBezier16 && type <= kPolyDraw16;
      handler->second.play(*this, r);
    }
    start += size;
  }
}

void Emf::Text(SourceReader& r, bool wide) {
  r.Skip(16 + 12);  // bounds, graphics mode, x and y scales
  const QPointF reference = Point(r, false);
  const std::uint32_t chars = r.U32();
  const std::uint32_t offString = r.U32();
  const std::uint32_t options = r.U32();
  const QRectF rect = Box(r);
  const std::uint32_t offDx = r.U32();
  // Glyph indices belong to the producer's font, which is not the one substituted here.
  if (options & gdi::kEtoGlyphIndex) return;
  const std::size_t unit = wide ? 2 : 1;
  if (!r.PartAt(offString, std::uint64_t{chars} * unit)) return;
  // No more characters are drawn than kMaxTextLength, so no more are read, whatever the record
  // holds.
  const std::size_t used = std::min<std::size_t>(chars, kMaxTextLength);
  const auto text = r.BytesAt(offString, used * unit);
  if (text.size() != used * unit) return;  // the source no longer has them
  const QString string = wide ? Utf16Le(text) : gdi::DecodeAnsi(text.data(), text.size(), 0);
  std::vector<double> dx;
  if (offDx != 0 && r.PartAt(offDx, std::uint64_t{chars} * 4)) {
    RecordReader a(r.BytesAt(offDx, used * 4));
    dx.resize(used);
    for (auto& d : dx) d = a.I32();
  }
  std::optional<QRectF> clip;
  if (options & (gdi::kEtoOpaque | gdi::kEtoClipped)) clip = rect;
  p.TextOut(reference, string, dx, options, clip);
}

void Emf::FillRegion(SourceReader& r) {
  r.Skip(16);
  const std::uint32_t size = r.U32();
  std::uint32_t brushIndex = 0;
  double w = 0;
  double h = 0;
  if (m_type == kFillRgn || m_type == kFrameRgn) brushIndex = r.U32();
  if (m_type == kFrameRgn) {
    w = r.I32();
    h = r.I32();
  }
  const auto rects = Region(*r.Part(std::min<std::size_t>(size, r.Remaining())));
  if (!rects) return;
  if (m_type == kInvertRgn) {
    p.InvertRegion(*rects);
  } else if (m_type == kPaintRgn) {
    p.PaintRegion(*rects);
  } else if (const auto* brush = m_objects.Get<gdi::Brush>(brushIndex)) {
    if (m_type == kFillRgn) {
      p.FillRegion(*rects, *brush);
    } else {
      p.FrameRegion(*rects, *brush, w, h);
    }
  }
}

void Emf::Transfer(SourceReader& r, bool stretch) {
  r.Skip(16);
  const double x = r.I32();
  const double y = r.I32();
  const double cx = r.I32();
  const double cy = r.I32();
  const std::uint32_t rop = r.U32();
  const int xSrc = r.I32();
  const int ySrc = r.I32();
  r.Skip(24 + 4);  // source transform, background colour
  const std::uint32_t usage = r.U32();
  const std::uint32_t offBmi = r.U32();
  const std::uint32_t cbBmi = r.U32();
  const std::uint32_t offBits = r.U32();
  const std::uint32_t cbBits = r.U32();
  int cxSrc = static_cast<int>(cx);
  int cySrc = static_cast<int>(cy);
  if (stretch) {
    cxSrc = r.I32();
    cySrc = r.I32();
  }
  QImage image;
  if (cbBmi != 0) {
    image =
        SourcePart(RecordDib(r, offBmi, cbBmi, offBits, cbBits, usage), xSrc, ySrc, cxSrc, cySrc);
    if (image.isNull()) return;
  }
  p.DrawImage(QRectF(x, y, cx, cy), image, rop);
}

void Emf::DibTransfer(SourceReader& r, bool stretch) {
  r.Skip(16);
  const double x = r.I32();
  const double y = r.I32();
  const int xSrc = r.I32();
  const int ySrc = r.I32();
  const int cxSrc = r.I32();
  const int cySrc = r.I32();
  const std::uint32_t offBmi = r.U32();
  const std::uint32_t cbBmi = r.U32();
  const std::uint32_t offBits = r.U32();
  const std::uint32_t cbBits = r.U32();
  const std::uint32_t usage = r.U32();
  std::uint32_t rop = gdi::kSrcCopy;
  double cx = cxSrc;
  double cy = cySrc;
  if (stretch) {
    rop = r.U32();
    cx = r.I32();
    cy = r.I32();
  }
  const QImage image =
      SourcePart(RecordDib(r, offBmi, cbBmi, offBits, cbBits, usage), xSrc, ySrc, cxSrc, cySrc);
  if (!image.isNull()) p.DrawImage(QRectF(x, y, cx, cy), image, rop);
}

void Emf::PatternBrush(SourceReader& r) {
  const std::uint32_t index = r.U32();
  const std::uint32_t usage = r.U32();
  const std::uint32_t offBmi = r.U32();
  const std::uint32_t cbBmi = r.U32();
  const std::uint32_t offBits = r.U32();
  const std::uint32_t cbBits = r.U32();
  gdi::Brush brush;
  brush.style = gdi::kBsDibPatternPt;
  const Dib dib = RecordDib(r, offBmi, cbBmi, offBits, cbBits, usage);
  brush.pattern = dib.image;
  brush.monoPattern = m_type == kCreateMonoBrush && dib.twoColour;
  if (brush.pattern.isNull()) brush.style = gdi::kBsSolid;
  m_objects.Put(index, brush);
}

void Emf::ExtCreatePen(SourceReader& r) {
  const std::uint32_t index = r.U32();
  r.Skip(16);  // a pattern bitmap for the pen's brush, not used
  gdi::Pen pen;
  pen.style = r.U32();
  pen.width = r.U32();
  const std::uint32_t brushStyle = r.U32();
  pen.colour = r.U32();
  r.Skip(4);
  const std::uint32_t entries = r.U32();
  if (brushStyle == gdi::kBsNull) pen.style = gdi::kPsNull;
  // A cosmetic pen is one pixel wide whatever its width says.
  if (!(pen.style & gdi::kPsGeometric)) pen.width = 0;
  for (std::uint32_t i = 0; i < std::min<std::uint32_t>(entries, 16); ++i) {
    const std::uint32_t d = r.U32();
    if (r.Ok()) pen.dashes.push_back(d);
  }
  m_objects.Put(index, pen);
}

const std::unordered_map<std::uint32_t, Emf::Entry>& Emf::Handlers() {
  using R = SourceReader;
  static const std::unordered_map<std::uint32_t, Entry> handlers = {
      // Points (16-bit ones in the records numbered from kPolyBezier16 on).
      {kPolyBezier, {20, [](Emf& e, R& r) { e.p.PolyBezier(e.Points(r)); }}},
      {kPolyBezier16, {20, [](Emf& e, R& r) { e.p.PolyBezier(e.Points(r)); }}},
      {kPolygon, {20, [](Emf& e, R& r) { e.p.Polygon(e.Points(r)); }}},
      {kPolygon16, {20, [](Emf& e, R& r) { e.p.Polygon(e.Points(r)); }}},
      {kPolyline, {20, [](Emf& e, R& r) { e.p.Polyline(e.Points(r)); }}},
      {kPolyline16, {20, [](Emf& e, R& r) { e.p.Polyline(e.Points(r)); }}},
      {kPolyBezierTo, {20, [](Emf& e, R& r) { e.p.PolyBezierTo(e.Points(r)); }}},
      {kPolyBezierTo16, {20, [](Emf& e, R& r) { e.p.PolyBezierTo(e.Points(r)); }}},
      {kPolylineTo, {20, [](Emf& e, R& r) { e.p.PolylineTo(e.Points(r)); }}},
      {kPolylineTo16, {20, [](Emf& e, R& r) { e.p.PolylineTo(e.Points(r)); }}},
      {kPolyPolyline, {24, [](Emf& e, R& r) { e.p.PolyPolyline(e.PolyPoints(r)); }}},
      {kPolyPolyline16, {24, [](Emf& e, R& r) { e.p.PolyPolyline(e.PolyPoints(r)); }}},
      {kPolyPolygon, {24, [](Emf& e, R& r) { e.p.PolyPolygon(e.PolyPoints(r)); }}},
      {kPolyPolygon16, {24, [](Emf& e, R& r) { e.p.PolyPolygon(e.PolyPoints(r)); }}},
      {kPolyDraw, {20, [](Emf& e, R& r) { e.PolyDraw(r); }}},
      {kPolyDraw16, {20, [](Emf& e, R& r) { e.PolyDraw(r); }}},
      // Mapping.
      {kSetWindowExtEx, {8, [](Emf& e, R& r) { e.Pair(r, &gdi::Player::SetWindowExt); }}},
      {kSetWindowOrgEx, {8, [](Emf& e, R& r) { e.Pair(r, &gdi::Player::SetWindowOrg); }}},
      {kSetViewportExtEx, {8, [](Emf& e, R& r) { e.Pair(r, &gdi::Player::SetViewportExt); }}},
      {kSetViewportOrgEx, {8, [](Emf& e, R& r) { e.Pair(r, &gdi::Player::SetViewportOrg); }}},
      {kOffsetClipRgn, {8, [](Emf& e, R& r) { e.Pair(r, &gdi::Player::OffsetClipRegion); }}},
      {kScaleViewportExtEx, {16, [](Emf& e, R& r) { e.Scale(r, &gdi::Player::ScaleViewportExt); }}},
      {kScaleWindowExtEx, {16, [](Emf& e, R& r) { e.Scale(r, &gdi::Player::ScaleWindowExt); }}},
      {kSetMapMode, {4, [](Emf& e, R& r) { e.p.SetMapMode(r.I32()); }}},
      {kSetWorldTransform, {24, [](Emf& e, R& r) { e.p.SetWorldTransform(Transform(r)); }}},
      {kModifyWorldTransform,
       {28,
        [](Emf& e, R& r) {
          const QTransform t = Transform(r);
          e.p.ModifyWorldTransform(t, static_cast<int>(r.U32()));
        }}},
      // State.
      {kSetBkMode, {4, [](Emf& e, R& r) { e.p.SetBkMode(r.I32()); }}},
      {kSetPolyFillMode, {4, [](Emf& e, R& r) { e.p.SetPolyFillMode(r.I32()); }}},
      {kSetRop2, {4, [](Emf& e, R& r) { e.p.SetRop2(r.I32()); }}},
      {kSetTextAlign, {4, [](Emf& e, R& r) { e.p.SetTextAlign(r.U32()); }}},
      {kSetTextColor, {4, [](Emf& e, R& r) { e.p.SetTextColour(r.U32()); }}},
      {kSetBkColor, {4, [](Emf& e, R& r) { e.p.SetBkColour(r.U32()); }}},
      {kSetArcDirection, {4, [](Emf& e, R& r) { e.p.SetArcDirection(r.U32() == 2); }}},
      {kSetMiterLimit, {4, [](Emf& e, R& r) { e.p.SetMiterLimit(r.U32()); }}},
      {kSaveDc, {0, [](Emf& e, R&) { e.p.SaveDc(); }}},
      {kRestoreDc, {4, [](Emf& e, R& r) { e.p.RestoreDc(r.I32()); }}},
      {kMoveToEx, {8, [](Emf& e, R& r) { e.p.MoveTo(Point(r, false)); }}},
      // Clipping.
      {kExcludeClipRect, {16, [](Emf& e, R& r) { e.p.ExcludeClipRect(Box(r)); }}},
      {kIntersectClipRect, {16, [](Emf& e, R& r) { e.p.IntersectClipRect(Box(r)); }}},
      {kSelectClipPath, {4, [](Emf& e, R& r) { e.p.SelectClipPath(r.I32()); }}},
      {kExtSelectClipRgn,
       {8,
        [](Emf& e, R& r) {
          const std::uint32_t size = r.U32();
          const int mode = r.I32();
          const auto data = r.Part(std::min<std::size_t>(size, r.Remaining()));
          const auto region = size == 0 ? std::nullopt : Region(*data);
          e.p.SelectClipRegion(region ? &*region : nullptr, true, mode);
        }}},
      // Objects.
      {kSelectObject, {4, [](Emf& e, R& r) { e.m_objects.Select(r.U32(), e.p); }}},
      {kDeleteObject, {4, [](Emf& e, R& r) { e.m_objects.Delete(r.U32()); }}},
      {kCreatePen,
       {20,
        [](Emf& e, R& r) {
          const std::uint32_t index = r.U32();
          gdi::Pen pen;
          pen.style = r.U32();
          pen.width = r.I32();
          r.Skip(4);
          pen.colour = r.U32();
          e.m_objects.Put(index, pen);
        }}},
      {kExtCreatePen, {44, [](Emf& e, R& r) { e.ExtCreatePen(r); }}},
      {kCreateBrushIndirect,
       {16,
        [](Emf& e, R& r) {
          const std::uint32_t index = r.U32();
          const std::uint32_t style = r.U32();
          const gdi::ColourRef colour = r.U32();
          e.m_objects.Put(index, gdi::LogBrush(style, colour, r.U32()));
        }}},
      {kCreateMonoBrush, {24, [](Emf& e, R& r) { e.PatternBrush(r); }}},
      {kCreateDibPatternBrushPt, {24, [](Emf& e, R& r) { e.PatternBrush(r); }}},
      {kExtCreateFontIndirectW,
       {4 + 92,
        [](Emf& e, R& r) {
          const std::uint32_t index = r.U32();
          e.m_objects.Put(index, ReadLogFont(r, true));
        }}},
      // Shapes.
      {kSetPixelV,
       {12,
        [](Emf& e, R& r) {
          const QPointF at = Point(r, false);
          e.p.SetPixel(at, r.U32());
        }}},
      {kLineTo, {8, [](Emf& e, R& r) { e.p.LineTo(Point(r, false)); }}},
      {kAngleArc,
       {20,
        [](Emf& e, R& r) {
          const QPointF centre = Point(r, false);
          const double radius = r.U32();
          const double start = r.F32();
          e.p.AngleArc(centre, radius, start, r.F32());
        }}},
      {kEllipse, {16, [](Emf& e, R& r) { e.p.Ellipse(Box(r)); }}},
      {kRectangle, {16, [](Emf& e, R& r) { e.p.Rectangle(Box(r)); }}},
      {kRoundRect,
       {24,
        [](Emf& e, R& r) {
          const QRectF box = Box(r);
          const double w = r.I32();
          e.p.RoundRect(box, w, r.I32());
        }}},
      {kArc, {32, [](Emf& e, R& r) { e.Arc(r, &gdi::Player::Arc); }}},
      {kArcTo, {32, [](Emf& e, R& r) { e.Arc(r, &gdi::Player::ArcTo); }}},
      {kChord, {32, [](Emf& e, R& r) { e.Arc(r, &gdi::Player::Chord); }}},
      {kPie, {32, [](Emf& e, R& r) { e.Arc(r, &gdi::Player::Pie); }}},
      // Paths.
      {kBeginPath, {0, [](Emf& e, R&) { e.p.BeginPath(); }}},
      {kEndPath, {0, [](Emf& e, R&) { e.p.EndPath(); }}},
      {kCloseFigure, {0, [](Emf& e, R&) { e.p.CloseFigure(); }}},
      {kFillPath, {0, [](Emf& e, R&) { e.p.FillPath(); }}},
      {kStrokeAndFillPath, {0, [](Emf& e, R&) { e.p.StrokeAndFillPath(); }}},
      {kStrokePath, {0, [](Emf& e, R&) { e.p.StrokePath(); }}},
      {kAbortPath, {0, [](Emf& e, R&) { e.p.AbortPath(); }}},
      // Regions, bitmaps and text.
      {kFillRgn, {24, [](Emf& e, R& r) { e.FillRegion(r); }}},
      {kFrameRgn, {32, [](Emf& e, R& r) { e.FillRegion(r); }}},
      {kInvertRgn, {20, [](Emf& e, R& r) { e.FillRegion(r); }}},
      {kPaintRgn, {20, [](Emf& e, R& r) { e.FillRegion(r); }}},
      {kBitBlt, {92, [](Emf& e, R& r) { e.Transfer(r, false); }}},
      {kStretchBlt, {100, [](Emf& e, R& r) { e.Transfer(r, true); }}},
      {kSetDiBitsToDevice, {60, [](Emf& e, R& r) { e.DibTransfer(r, false); }}},
      {kStretchDiBits, {72, [](Emf& e, R& r) { e.DibTransfer(r, true); }}},
      {kExtTextOutA, {68, [](Emf& e, R& r) { e.Text(r, false); }}},
      {kExtTextOutW, {68, [](Emf& e, R& r) { e.Text(r, true); }}},
  };
  return handlers;
}

}  // namespace

std::optional<Frame> EmfFrame(std::span<const std::uint8_t> file) {
  return EmfFrame(MemorySource(file));
}

std::optional<Frame> EmfFrame(const Source& file) {
  SourceReader r({&file, 0, file.Size()});
  const std::uint32_t type = r.U32();
  const std::uint32_t size = r.U32();
  r.Skip(16);  // bounds
  const QRectF frame = Box(r);
  const std::uint32_t signature = r.U32();
  if (!r.Ok() || type != kHeader || signature != kEmfSignature || size < 88) return std::nullopt;
  r.Seek(72);
  const double deviceX = r.I32();
  const double deviceY = r.I32();
  double mmX = r.I32();
  double mmY = r.I32();
  if (!r.Ok()) return std::nullopt;
  if (size >= 108 && file.Size() >= 108) {
    r.Seek(100);
    const double umX = r.I32();
    const double umY = r.I32();
    if (umX > 0 && umY > 0) {
      mmX = umX / 1000;
      mmY = umY / 1000;
    }
  }
  Frame f;
  if (deviceX > 0 && deviceY > 0 && mmX > 0 && mmY > 0) {
    f.pixelsPerMm = {deviceX / mmX, deviceY / mmY};
  }
  // The frame is in hundredths of a millimetre.
  const QRectF mm(frame.left() / 100, frame.top() / 100, frame.width() / 100, frame.height() / 100);
  if (!(mm.width() > 0 && mm.height() > 0) || mm.width() > 1e6 || mm.height() > 1e6) {
    return std::nullopt;
  }
  f.device = QRectF(mm.left() * f.pixelsPerMm.x(), mm.top() * f.pixelsPerMm.y(),
                    mm.width() * f.pixelsPerMm.x(), mm.height() * f.pixelsPerMm.y());
  f.width = std::max(1, static_cast<int>(std::lround(mm.width() * 96 / 25.4)));
  f.height = std::max(1, static_cast<int>(std::lround(mm.height() * 96 / 25.4)));
  return f;
}

void PlayEmf(const Source& file, gdi::Player& player, Budget& budget) {
  Emf(file, player, budget).Play();
}

}  // namespace picture::metafile
