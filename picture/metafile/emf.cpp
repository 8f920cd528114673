#include <QPolygonF>
#include <algorithm>
#include <unordered_map>
#include <variant>

#include "picture/metafile/emf_records.h"
#include "picture/metafile/formats.h"
#include "picture/metafile/record_dib.h"
#include "picture/record_reader.h"

namespace picture::metafile {

namespace {

using namespace emf;

constexpr std::uint32_t kEmfSignature = 0x464D4520;  // " EMF"
constexpr std::int32_t kRegionLimit = 1 << 29;

using Object = std::variant<std::monostate, gdi::Pen, gdi::Brush, gdi::Font>;

// The stock objects that GetStockObject hands out, by index.
Object StockObject(std::uint32_t index) {
  auto brush = [](std::uint32_t style, gdi::ColourRef c) {
    gdi::Brush b;
    b.style = style;
    b.colour = c;
    return b;
  };
  auto pen = [](std::uint32_t style, gdi::ColourRef c) {
    gdi::Pen p;
    p.style = style;
    p.colour = c;
    return p;
  };
  switch (index) {
    case 0:
      return brush(gdi::kBsSolid, 0xFFFFFF);
    case 1:
      return brush(gdi::kBsSolid, 0xC0C0C0);
    case 2:
      return brush(gdi::kBsSolid, 0x808080);
    case 3:
      return brush(gdi::kBsSolid, 0x404040);
    case 4:
      return brush(gdi::kBsSolid, 0x000000);
    case 5:
      return brush(gdi::kBsNull, 0);
    case 6:
      return pen(gdi::kPsSolid, 0xFFFFFF);
    case 7:
      return pen(gdi::kPsSolid, 0x000000);
    case 8:
      return pen(gdi::kPsNull, 0);
    case 10:
    case 11:
    case 12:
    case 13:
    case 14:
    case 16:
    case 17: {
      gdi::Font f;
      f.face = index == 10 || index == 11 || index == 16 ? QStringLiteral("Monospace")
                                                         : QStringLiteral("Sans Serif");
      return f;
    }
    case 18:
      return brush(gdi::kBsSolid, 0xFFFFFF);  // DC_BRUSH
    case 19:
      return pen(gdi::kPsSolid, 0x000000);  // DC_PEN
    default:
      return std::monostate{};
  }
}

QPointF Point(RecordReader& r, bool small) {
  if (small) {
    const double x = r.I16();
    return {x, static_cast<double>(r.I16())};
  }
  const double x = r.I32();
  return {x, static_cast<double>(r.I32())};
}
// UTF-16LE code units as text.
QString Utf16Le(std::span<const std::uint8_t> bytes) {
  QString text;
  text.reserve(static_cast<qsizetype>(bytes.size() / 2));
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    text.append(QChar(static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8)));
  }
  return text;
}
QRectF Box(RecordReader& r) {
  const double l = r.I32();
  const double t = r.I32();
  const double right = r.I32();
  const double b = r.I32();
  return QRectF(QPointF(l, t), QPointF(right, b));
}

// Plays the records of an enhanced metafile.
class Emf {
 public:
  Emf(std::span<const std::uint8_t> file, gdi::Player& player, Budget& budget)
      : m_file(file), m_player(player), m_budget(budget) {}

  void Play();

 private:
  void Record(std::uint32_t type, RecordReader& r, std::span<const std::uint8_t> record);

  // Points of a poly record: a count, then the points; none when the count overruns the record.
  QPolygonF Points(RecordReader& r, bool small) {
    r.Skip(16);  // bounds
    const std::uint32_t count = r.U32();
    QPolygonF points;
    if (!r.Ok() || count > r.Remaining() / (small ? 4 : 8) || !m_budget.TakePoints(count)) {
      return points;
    }
    points.reserve(static_cast<qsizetype>(count));
    for (std::uint32_t i = 0; i < count; ++i) points.append(Point(r, small));
    return points;
  }
  std::vector<QPolygonF> PolyPoints(RecordReader& r, bool small) {
    r.Skip(16);
    const std::uint32_t polys = r.U32();
    const std::uint32_t total = r.U32();
    std::vector<QPolygonF> out;
    if (!r.Ok() || polys > r.Remaining() / 4) return out;
    std::vector<std::uint32_t> counts(polys);
    for (auto& c : counts) c = r.U32();
    if (total > r.Remaining() / (small ? 4 : 8) || !m_budget.TakePoints(total)) return out;
    std::uint64_t left = total;
    for (std::uint32_t c : counts) {
      if (c > left) break;
      left -= c;
      QPolygonF poly;
      poly.reserve(static_cast<qsizetype>(c));
      for (std::uint32_t i = 0; i < c; ++i) poly.append(Point(r, small));
      out.push_back(std::move(poly));
    }
    return out;
  }
  // RGNDATA: a 32-byte header with the rectangle count, then the rectangles.
  static std::optional<gdi::RectList> Region(std::span<const std::uint8_t> data) {
    RecordReader r(data);
    r.Skip(8);
    const std::uint32_t count = r.U32();
    r.Skip(20);
    if (!r.Ok() || count > r.Remaining() / 16) return std::nullopt;
    gdi::RectList rects;
    rects.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
      // Kept within a range whose widths and heights fit an int.
      auto coordinate = [&r] { return std::clamp(r.I32(), -kRegionLimit, kRegionLimit); };
      const int l = coordinate();
      const int t = coordinate();
      const int right = coordinate();
      const int b = coordinate();
      if (right > l && b > t) rects.emplace_back(QPoint(l, t), QPoint(right - 1, b - 1));
    }
    return rects;
  }

  void Create(std::uint32_t index, Object object) {
    if (index == 0 || (index & kStockObject)) return;
    if (m_objects.size() >= kMaxObjects && !m_objects.contains(index)) return;
    m_objects[index] = std::move(object);
  }
  const Object* Find(std::uint32_t index) {
    if (index & kStockObject) {
      m_stock = StockObject(index & ~kStockObject);
      return &m_stock;
    }
    const auto it = m_objects.find(index);
    return it == m_objects.end() ? nullptr : &it->second;
  }
  void Select(std::uint32_t index) {
    const Object* o = Find(index);
    if (!o) return;
    if (const auto* pen = std::get_if<gdi::Pen>(o)) m_player.SelectPen(*pen);
    if (const auto* brush = std::get_if<gdi::Brush>(o)) m_player.SelectBrush(*brush);
    if (const auto* font = std::get_if<gdi::Font>(o)) m_player.SelectFont(*font);
  }
  // A DIB whose header and bits the record locates by offset and size.
  Dib RecordDib(std::span<const std::uint8_t> record, std::uint32_t offBmi, std::uint32_t cbBmi,
                std::uint32_t offBits, std::uint32_t cbBits, std::uint32_t usage) {
    RecordReader whole(record);
    const auto info = whole.At(offBmi, cbBmi);
    const auto bits = whole.At(offBits, cbBits);
    if (info.empty()) return {};
    return DibImage(info, bits, usage == 1, m_budget);
  }
  void Text(RecordReader& r, std::span<const std::uint8_t> record, bool wide);

  std::span<const std::uint8_t> m_file;
  gdi::Player& m_player;
  Budget& m_budget;
  std::unordered_map<std::uint32_t, Object> m_objects;
  Object m_stock;
};

void Emf::Play() {
  RecordReader file(m_file);
  while (file.Remaining() >= 8 && m_budget.records > 0 && !m_player.Exhausted()) {
    const std::size_t start = file.Position();
    const std::uint32_t type = file.U32();
    const std::uint32_t size = file.U32();
    // A record that cannot be whole ends the picture: what comes after it cannot be found.
    if (size < 8 || size % 4 != 0 || size - 8 > file.Remaining()) break;
    const auto record = file.At(start, size);
    RecordReader r(record);
    r.Skip(8);
    --m_budget.records;
    if (type == kEof) break;
    Record(type, r, record);
    file.Seek(start + size);
  }
}

void Emf::Text(RecordReader& r, std::span<const std::uint8_t> record, bool wide) {
  r.Skip(16 + 12);  // bounds, graphics mode, x and y scales
  const QPointF reference = Point(r, false);
  const std::uint32_t chars = r.U32();
  const std::uint32_t offString = r.U32();
  const std::uint32_t options = r.U32();
  const QRectF rect = Box(r);
  const std::uint32_t offDx = r.U32();
  if (!r.Ok()) return;
  // Glyph indices belong to the producer's font, which is not the one substituted here.
  if (options & gdi::kEtoGlyphIndex) return;
  RecordReader whole(record);
  const auto text = whole.At(offString, std::uint64_t{chars} * (wide ? 2 : 1));
  if (text.size() != std::uint64_t{chars} * (wide ? 2 : 1)) return;
  const QString string = wide ? Utf16Le(text) : gdi::DecodeAnsi(text.data(), text.size(), 0);
  std::vector<double> dx;
  const auto advances = whole.At(offDx, std::uint64_t{chars} * 4);
  if (offDx != 0 && advances.size() == std::uint64_t{chars} * 4) {
    RecordReader a(advances);
    dx.resize(chars);
    for (auto& d : dx) d = a.I32();
  }
  std::optional<QRectF> clip;
  if (options & (gdi::kEtoOpaque | gdi::kEtoClipped)) clip = rect;
  m_player.TextOut(reference, string, dx, options, clip);
}

void Emf::Record(std::uint32_t type, RecordReader& r, std::span<const std::uint8_t> record) {
  gdi::Player& p = m_player;
  const bool small = type >= kPolyBezier16 && type <= kPolyDraw16;
  switch (type) {
    case kPolyBezier:
    case kPolyBezier16:
      p.PolyBezier(Points(r, small));
      break;
    case kPolygon:
    case kPolygon16:
      p.Polygon(Points(r, small));
      break;
    case kPolyline:
    case kPolyline16:
      p.Polyline(Points(r, small));
      break;
    case kPolyBezierTo:
    case kPolyBezierTo16:
      p.PolyBezierTo(Points(r, small));
      break;
    case kPolylineTo:
    case kPolylineTo16:
      p.PolylineTo(Points(r, small));
      break;
    case kPolyPolyline:
    case kPolyPolyline16:
      p.PolyPolyline(PolyPoints(r, small));
      break;
    case kPolyPolygon:
    case kPolyPolygon16:
      p.PolyPolygon(PolyPoints(r, small));
      break;
    case kPolyDraw:
    case kPolyDraw16: {
      const QPolygonF points = Points(r, small);
      const auto types = r.Bytes(static_cast<std::size_t>(points.size()));
      if (r.Ok()) p.PolyDraw(points, std::vector<std::uint8_t>(types.begin(), types.end()));
      break;
    }
    case kSetWindowExtEx: {
      const double x = r.I32();
      p.SetWindowExt(x, r.I32());
      break;
    }
    case kSetWindowOrgEx: {
      const double x = r.I32();
      p.SetWindowOrg(x, r.I32());
      break;
    }
    case kSetViewportExtEx: {
      const double x = r.I32();
      p.SetViewportExt(x, r.I32());
      break;
    }
    case kSetViewportOrgEx: {
      const double x = r.I32();
      p.SetViewportOrg(x, r.I32());
      break;
    }
    case kScaleViewportExtEx:
    case kScaleWindowExtEx: {
      const double xn = r.I32();
      const double xd = r.I32();
      const double yn = r.I32();
      const double yd = r.I32();
      if (!r.Ok()) break;
      if (type == kScaleViewportExtEx) {
        p.ScaleViewportExt(xn, xd, yn, yd);
      } else {
        p.ScaleWindowExt(xn, xd, yn, yd);
      }
      break;
    }
    case kSetPixelV: {
      const QPointF at = Point(r, false);
      const std::uint32_t c = r.U32();
      if (r.Ok()) p.SetPixel(at, c);
      break;
    }
    case kSetMapMode:
      p.SetMapMode(r.I32());
      break;
    case kSetBkMode:
      p.SetBkMode(r.I32());
      break;
    case kSetPolyFillMode:
      p.SetPolyFillMode(r.I32());
      break;
    case kSetRop2:
      p.SetRop2(r.I32());
      break;
    case kSetTextAlign:
      p.SetTextAlign(r.U32());
      break;
    case kSetTextColor:
      if (r.Remaining() >= 4) p.SetTextColour(r.U32());
      break;
    case kSetBkColor:
      if (r.Remaining() >= 4) p.SetBkColour(r.U32());
      break;
    case kOffsetClipRgn: {
      const QPointF d = Point(r, false);
      if (r.Ok()) p.OffsetClipRegion(d.x(), d.y());
      break;
    }
    case kMoveToEx: {
      const QPointF at = Point(r, false);
      if (r.Ok()) p.MoveTo(at);
      break;
    }
    case kLineTo: {
      const QPointF at = Point(r, false);
      if (r.Ok()) p.LineTo(at);
      break;
    }
    case kExcludeClipRect:
    case kIntersectClipRect: {
      const QRectF box = Box(r);
      if (!r.Ok()) break;
      if (type == kExcludeClipRect) {
        p.ExcludeClipRect(box);
      } else {
        p.IntersectClipRect(box);
      }
      break;
    }
    case kSaveDc:
      p.SaveDc();
      break;
    case kRestoreDc:
      p.RestoreDc(r.I32());
      break;
    case kSetWorldTransform:
    case kModifyWorldTransform: {
      const double m11 = r.F32();
      const double m12 = r.F32();
      const double m21 = r.F32();
      const double m22 = r.F32();
      const double dx = r.F32();
      const double dy = r.F32();
      const QTransform t(m11, m12, m21, m22, dx, dy);
      if (type == kSetWorldTransform) {
        if (r.Ok()) p.SetWorldTransform(t);
      } else {
        const std::uint32_t mode = r.U32();
        if (r.Ok()) p.ModifyWorldTransform(t, static_cast<int>(mode));
      }
      break;
    }
    case kSelectObject: {
      const std::uint32_t index = r.U32();
      if (r.Ok()) Select(index);
      break;
    }
    case kDeleteObject: {
      const std::uint32_t index = r.U32();
      if (r.Ok() && !(index & kStockObject)) m_objects.erase(index);
      break;
    }
    case kCreatePen: {
      const std::uint32_t index = r.U32();
      gdi::Pen pen;
      pen.style = r.U32();
      pen.width = r.I32();
      r.Skip(4);
      pen.colour = r.U32();
      if (r.Ok()) Create(index, pen);
      break;
    }
    case kExtCreatePen: {
      const std::uint32_t index = r.U32();
      r.Skip(16);  // a pattern bitmap for the pen's brush, not used
      gdi::Pen pen;
      pen.style = r.U32();
      pen.width = r.U32();
      const std::uint32_t brushStyle = r.U32();
      pen.colour = r.U32();
      r.Skip(4);
      const std::uint32_t entries = r.U32();
      if (!r.Ok()) break;
      if (brushStyle == gdi::kBsNull) pen.style = gdi::kPsNull;
      // A cosmetic pen is one pixel wide whatever its width says.
      if (!(pen.style & gdi::kPsGeometric)) pen.width = 0;
      for (std::uint32_t i = 0; i < std::min<std::uint32_t>(entries, 16); ++i) {
        const std::uint32_t d = r.U32();
        if (r.Ok()) pen.dashes.push_back(d);
      }
      Create(index, pen);
      break;
    }
    case kCreateBrushIndirect: {
      const std::uint32_t index = r.U32();
      const std::uint32_t style = r.U32();
      const gdi::ColourRef colour = r.U32();
      const std::uint32_t hatch = r.U32();
      if (r.Ok()) Create(index, gdi::LogBrush(style, colour, hatch));
      break;
    }
    case kCreateMonoBrush:
    case kCreateDibPatternBrushPt: {
      const std::uint32_t index = r.U32();
      const std::uint32_t usage = r.U32();
      const std::uint32_t offBmi = r.U32();
      const std::uint32_t cbBmi = r.U32();
      const std::uint32_t offBits = r.U32();
      const std::uint32_t cbBits = r.U32();
      if (!r.Ok()) break;
      gdi::Brush brush;
      brush.style = gdi::kBsDibPatternPt;
      const Dib dib = RecordDib(record, offBmi, cbBmi, offBits, cbBits, usage);
      brush.pattern = dib.image;
      brush.monoPattern = type == kCreateMonoBrush && dib.twoColour;
      if (brush.pattern.isNull()) brush.style = gdi::kBsSolid;
      Create(index, brush);
      break;
    }
    case kExtCreateFontIndirectW: {
      const std::uint32_t index = r.U32();
      gdi::Font font;
      font.height = r.I32();
      font.width = r.I32();
      font.escapement = r.I32();
      r.Skip(4);  // orientation
      font.weight = r.I32();
      font.italic = r.U8();
      font.underline = r.U8();
      font.strikeOut = r.U8();
      font.charset = r.U8();
      r.Skip(4);
      const auto face = r.Bytes(64);
      if (!r.Ok()) break;
      const QString name = Utf16Le(face);
      font.face = name.left(name.indexOf(QChar(0)));  // all of it when there is no NUL
      Create(index, font);
      break;
    }
    case kAngleArc: {
      const QPointF centre = Point(r, false);
      const double radius = r.U32();
      const double start = r.F32();
      const double sweep = r.F32();
      if (r.Ok()) p.AngleArc(centre, radius, start, sweep);
      break;
    }
    case kEllipse:
    case kRectangle: {
      const QRectF box = Box(r);
      if (!r.Ok()) break;
      if (type == kEllipse) {
        p.Ellipse(box);
      } else {
        p.Rectangle(box);
      }
      break;
    }
    case kRoundRect: {
      const QRectF box = Box(r);
      const double w = r.I32();
      const double h = r.I32();
      if (r.Ok()) p.RoundRect(box, w, h);
      break;
    }
    case kArc:
    case kArcTo:
    case kChord:
    case kPie: {
      const QRectF box = Box(r);
      const QPointF start = Point(r, false);
      const QPointF end = Point(r, false);
      if (!r.Ok()) break;
      if (type == kArc) p.Arc(box, start, end);
      if (type == kArcTo) p.ArcTo(box, start, end);
      if (type == kChord) p.Chord(box, start, end);
      if (type == kPie) p.Pie(box, start, end);
      break;
    }
    case kSetArcDirection:
      p.SetArcDirection(r.U32() == 2);
      break;
    case kSetMiterLimit:
      p.SetMiterLimit(r.U32());
      break;
    case kBeginPath:
      p.BeginPath();
      break;
    case kEndPath:
      p.EndPath();
      break;
    case kCloseFigure:
      p.CloseFigure();
      break;
    case kFillPath:
      p.FillPath();
      break;
    case kStrokeAndFillPath:
      p.StrokeAndFillPath();
      break;
    case kStrokePath:
      p.StrokePath();
      break;
    case kAbortPath:
      p.AbortPath();
      break;
    case kSelectClipPath:
      p.SelectClipPath(r.I32());
      break;
    case kExtSelectClipRgn: {
      const std::uint32_t size = r.U32();
      const int mode = r.I32();
      if (!r.Ok()) break;
      const auto data = r.Bytes(std::min<std::size_t>(size, r.Remaining()));
      const auto region = size == 0 ? std::nullopt : Region(data);
      p.SelectClipRegion(region ? &*region : nullptr, true, mode);
      break;
    }
    case kFillRgn:
    case kFrameRgn:
    case kInvertRgn:
    case kPaintRgn: {
      r.Skip(16);
      const std::uint32_t size = r.U32();
      std::uint32_t brushIndex = 0;
      double w = 0;
      double h = 0;
      if (type == kFillRgn || type == kFrameRgn) brushIndex = r.U32();
      if (type == kFrameRgn) {
        w = r.I32();
        h = r.I32();
      }
      if (!r.Ok()) break;
      const auto rects = Region(r.Bytes(std::min<std::size_t>(size, r.Remaining())));
      if (!rects) break;
      if (type == kInvertRgn) {
        p.InvertRegion(*rects);
      } else if (type == kPaintRgn) {
        p.PaintRegion(*rects);
      } else if (const Object* o = Find(brushIndex)) {
        if (const auto* brush = std::get_if<gdi::Brush>(o)) {
          if (type == kFillRgn) {
            p.FillRegion(*rects, *brush);
          } else {
            p.FrameRegion(*rects, *brush, w, h);
          }
        }
      }
      break;
    }
    case kBitBlt:
    case kStretchBlt: {
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
      if (type == kStretchBlt) {
        cxSrc = r.I32();
        cySrc = r.I32();
      }
      if (!r.Ok()) break;
      QImage image;
      if (cbBmi != 0) {
        image = SourcePart(RecordDib(record, offBmi, cbBmi, offBits, cbBits, usage), xSrc, ySrc,
                           cxSrc, cySrc);
        if (image.isNull()) break;
      }
      p.DrawImage(QRectF(x, y, cx, cy), image, rop);
      break;
    }
    case kStretchDiBits:
    case kSetDiBitsToDevice: {
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
      if (type == kStretchDiBits) {
        rop = r.U32();
        cx = r.I32();
        cy = r.I32();
      }
      if (!r.Ok()) break;
      const QImage image = SourcePart(RecordDib(record, offBmi, cbBmi, offBits, cbBits, usage),
                                      xSrc, ySrc, cxSrc, cySrc);
      if (!image.isNull()) p.DrawImage(QRectF(x, y, cx, cy), image, rop);
      break;
    }
    case kExtTextOutA:
    case kExtTextOutW:
      Text(r, record, type == kExtTextOutW);
      break;
    default:
      break;  // comments (EMF+ among them), palettes and the rest: nothing to draw
  }
}

}  // namespace

std::optional<Frame> EmfFrame(std::span<const std::uint8_t> file) {
  RecordReader r(file);
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
  if (size >= 108 && file.size() >= 108) {
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

void PlayEmf(std::span<const std::uint8_t> file, gdi::Player& player, Budget& budget) {
  Emf(file, player, budget).Play();
}

}  // namespace picture::metafile
