#include <QImage>
#include <QPainter>
#include <QPolygonF>
#include <algorithm>
#include <functional>
#include <queue>
#include <variant>

#include "picture/metafile/formats.h"
#include "picture/metafile/record_dib.h"
#include "picture/record_reader.h"

namespace picture::metafile {

namespace {

constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr std::size_t kPlaceableSize = 22;
constexpr std::size_t kHeaderSize = 18;

// Record functions, as the whole 16-bit word (the high byte is the parameter count).
enum Meta : std::uint16_t {
  kEof = 0x0000,
  kSaveDc = 0x001E,
  kSetBkMode = 0x0102,
  kSetMapMode = 0x0103,
  kSetRop2 = 0x0104,
  kSetPolyFillMode = 0x0106,
  kRestoreDc = 0x0127,
  kInvertRegion = 0x012A,
  kPaintRegion = 0x012B,
  kSelectClipRegion = 0x012C,
  kSelectObject = 0x012D,
  kSetTextAlign = 0x012E,
  kDibCreatePatternBrush = 0x0142,
  kDeleteObject = 0x01F0,
  kCreatePalette = 0x00F7,
  kCreatePatternBrush = 0x01F9,
  kSetBkColor = 0x0201,
  kSetTextColor = 0x0209,
  kSetWindowOrg = 0x020B,
  kSetWindowExt = 0x020C,
  kSetViewportOrg = 0x020D,
  kSetViewportExt = 0x020E,
  kOffsetWindowOrg = 0x020F,
  kOffsetViewportOrg = 0x0211,
  kLineTo = 0x0213,
  kMoveTo = 0x0214,
  kOffsetClipRgn = 0x0220,
  kFillRegion = 0x0228,
  kCreatePenIndirect = 0x02FA,
  kCreateFontIndirect = 0x02FB,
  kCreateBrushIndirect = 0x02FC,
  kPolygon = 0x0324,
  kPolyline = 0x0325,
  kScaleWindowExt = 0x0410,
  kScaleViewportExt = 0x0412,
  kExcludeClipRect = 0x0415,
  kIntersectClipRect = 0x0416,
  kEllipse = 0x0418,
  kRectangle = 0x041B,
  kSetPixel = 0x041F,
  kFrameRegion = 0x0429,
  kTextOut = 0x0521,
  kPolyPolygon = 0x0538,
  kRoundRect = 0x061C,
  kPatBlt = 0x061D,
  kCreateRegion = 0x06FF,
  kArc = 0x0817,
  kPie = 0x081A,
  kChord = 0x0830,
  kDibBitBlt = 0x0940,
  kExtTextOut = 0x0A32,
  kDibStretchBlt = 0x0B41,
  kSetDibToDev = 0x0D33,
  kStretchDib = 0x0F43,
};

// A region object: rectangles in logical units.
struct Region {
  gdi::RectList rects;
};
// Objects that only hold a slot in the table (palettes, bitmaps).
struct Placeholder {};
using Object = std::variant<std::monostate, gdi::Pen, gdi::Brush, gdi::Font, Region, Placeholder>;

// A rectangle stored left, top, right, bottom (the text and placeable header rectangles; the
// drawing records store theirs last field first).
QRectF LeftTopRightBottom(RecordReader& r) {
  const double l = r.I16();
  const double t = r.I16();
  const double right = r.I16();
  const double b = r.I16();
  return QRectF(QPointF(l, t), QPointF(right, b));
}

// The record at the position of `file`, its function in `function`, the position moved past it;
// an empty span when what remains holds no whole record, which ends the picture. The parameters
// start at byte 6 of the record.
std::span<const std::uint8_t> NextRecord(RecordReader& file, std::uint16_t* function) {
  if (file.Remaining() < 6) return {};
  const std::size_t start = file.Position();
  const std::uint32_t words = file.U32();
  *function = file.U16();
  if (words < 3 || words > file.Remaining() / 2 + 3) return {};
  file.Seek(start + std::size_t{words} * 2);
  return file.At(start, std::uint64_t{words} * 2);
}

class Wmf {
 public:
  Wmf(std::span<const std::uint8_t> file, gdi::Player& player, Budget& budget)
      : m_file(file), m_player(player), m_budget(budget) {}

  // Plays the records from `offset`.
  void Play(std::size_t offset, std::size_t objectCount);

 private:
  void Record(std::uint16_t function, RecordReader& r);
  // An object takes the lowest free slot of the table; with the table full it is dropped.
  void Create(Object object) {
    std::size_t slot = m_neverUsed;
    if (!m_freed.empty()) {
      slot = m_freed.top();
      m_freed.pop();
    } else if (m_neverUsed < m_objects.size()) {
      ++m_neverUsed;
    } else {
      return;
    }
    m_objects[slot] = std::move(object);
  }
  void Delete(std::uint16_t index) {
    if (index >= m_objects.size() || std::holds_alternative<std::monostate>(m_objects[index])) {
      return;
    }
    m_objects[index] = std::monostate{};
    m_freed.push(index);
  }
  const Object* Find(std::uint16_t index) const {
    return index < m_objects.size() ? &m_objects[index] : nullptr;
  }
  const gdi::RectList* FindRegion(std::uint16_t index) const {
    const Object* o = Find(index);
    const Region* region = o ? std::get_if<Region>(o) : nullptr;
    return region ? &region->rects : nullptr;
  }
  const gdi::Brush* FindBrush(std::uint16_t index) const {
    const Object* o = Find(index);
    return o ? std::get_if<gdi::Brush>(o) : nullptr;
  }
  static QRectF Box(RecordReader& r) {
    // Stored bottom, right, top, left.
    const double b = r.I16();
    const double right = r.I16();
    const double t = r.I16();
    const double l = r.I16();
    return QRectF(QPointF(l, t), QPointF(right, b));
  }
  static QPointF PointYX(RecordReader& r) {
    const double y = r.I16();
    return {static_cast<double>(r.I16()), y};
  }
  QPolygonF Points(RecordReader& r, std::size_t count) {
    QPolygonF points;
    if (count > r.Remaining() / 4 || !m_budget.TakePoints(static_cast<std::int64_t>(count))) {
      return points;
    }
    points.reserve(static_cast<qsizetype>(count));
    for (std::size_t i = 0; i < count; ++i) {
      const double x = r.I16();
      points.append(QPointF(x, r.I16()));
    }
    return points;
  }
  void Bitmap(std::uint16_t function, RecordReader& r, std::size_t words);
  void Text(RecordReader& r, bool extended);
  Region ReadRegion(RecordReader& r);

  std::span<const std::uint8_t> m_file;
  gdi::Player& m_player;
  Budget& m_budget;
  std::vector<Object> m_objects;
  // The free slots: those deleted (lowest on top), and every slot from m_neverUsed on. Kept so
  // that a create costs no search of a table that a file can fill with 65535 objects.
  std::priority_queue<std::size_t, std::vector<std::size_t>, std::greater<>> m_freed;
  std::size_t m_neverUsed = 0;
  int m_charset = 0;
};

void Wmf::Play(std::size_t offset, std::size_t objectCount) {
  m_objects.assign(std::min(objectCount, kMaxObjects), Object{});
  RecordReader file(m_file);
  file.Seek(offset);
  while (m_budget.records > 0 && !m_player.Exhausted()) {
    std::uint16_t function = kEof;
    RecordReader r(NextRecord(file, &function));
    if (r.Size() == 0) break;
    r.Skip(6);
    --m_budget.records;
    if (function == kEof) break;
    Record(function, r);
  }
}

void Wmf::Text(RecordReader& r, bool extended) {
  QPointF at;
  std::uint16_t length = 0;
  std::uint16_t options = 0;
  std::optional<QRectF> rect;
  if (extended) {
    at = PointYX(r);
    length = r.U16();
    options = r.U16();
    if (options & (gdi::kEtoOpaque | gdi::kEtoClipped)) rect = LeftTopRightBottom(r);
  } else {
    length = r.U16();
  }
  if (!r.Ok()) return;
  const auto bytes = r.Bytes(length);
  if (!r.Ok()) return;
  r.Skip(length % 2);
  std::vector<double> dx;
  if (extended) {
    if (r.Remaining() >= std::size_t{length} * 2) {
      dx.resize(length);
      for (auto& d : dx) d = r.I16();
    }
  } else {
    at = PointYX(r);
    if (!r.Ok()) return;
  }
  m_player.TextOut(at, gdi::DecodeAnsi(bytes.data(), bytes.size(), m_charset), dx, options, rect);
}

// META_CREATEREGION: a region header, then scans of left-right pairs sharing a top and bottom.
Region Wmf::ReadRegion(RecordReader& r) {
  Region region;
  r.Skip(10);  // next in chain, object type, object count, region size
  const std::uint16_t scans = r.U16();
  r.Skip(2 + 8);  // largest scan, bounding rectangle
  for (std::uint16_t s = 0; s < scans && r.Ok(); ++s) {
    const std::uint16_t count = r.U16();  // left and right values, two a rectangle
    const int top = r.I16();
    const int bottom = r.I16();
    if (!r.Ok() || count / 2 > r.Remaining() / 4) break;
    for (std::uint16_t i = 0; i < count / 2; ++i) {
      const int left = r.I16();
      const int right = r.I16();
      if (right > left && bottom > top) {
        region.rects.emplace_back(QPoint(left, top), QPoint(right - 1, bottom - 1));
      }
    }
    r.Skip(2);  // the count again
  }
  return region;
}

void Wmf::Bitmap(std::uint16_t function, RecordReader& r, std::size_t words) {
  std::uint32_t rop = gdi::kSrcCopy;
  std::uint16_t usage = 0;
  int srcH = 0;
  int srcW = 0;
  if (function == kSetDibToDev) {
    usage = r.U16();
    r.Skip(4);  // scan count and start scan: the records seen carry every scan
  } else {
    rop = r.U32();
  }
  if (function == kStretchDib) usage = r.U16();
  if (function == kStretchDib || function == kDibStretchBlt) {
    srcH = r.I16();
    srcW = r.I16();
  }
  const int ySrc = r.I16();
  const int xSrc = r.I16();
  // A transfer without a bitmap (a pattern fill) is shorter by the bitmap and has a reserved
  // word instead.
  const bool noBitmap = (function == kDibBitBlt || function == kDibStretchBlt) &&
                        words == static_cast<std::size_t>(function >> 8) + 3;
  if (noBitmap) r.Skip(2);
  const double h = r.I16();
  const double w = r.I16();
  const double y = r.I16();
  const double x = r.I16();
  if (!r.Ok()) return;
  if (function == kDibBitBlt || function == kSetDibToDev) {
    srcW = static_cast<int>(w);
    srcH = static_cast<int>(h);
  }
  if (noBitmap) {
    m_player.PatBlt(QRectF(x, y, w, h), rop);
    return;
  }
  const Dib dib = PackedDibImage(r.Bytes(r.Remaining()), usage == 1, m_budget);
  const QImage image = SourcePart(dib, xSrc, ySrc, srcW, srcH);
  if (!image.isNull()) m_player.DrawImage(QRectF(x, y, w, h), image, rop);
}

void Wmf::Record(std::uint16_t function, RecordReader& r) {
  gdi::Player& p = m_player;
  switch (function) {
    case kSaveDc:
      p.SaveDc();
      break;
    case kRestoreDc:
      p.RestoreDc(r.I16());
      break;
    case kSetBkMode:
      p.SetBkMode(r.U16());
      break;
    case kSetRop2:
      p.SetRop2(r.U16());
      break;
    case kSetPolyFillMode:
      p.SetPolyFillMode(r.U16());
      break;
    case kSetTextAlign:
      p.SetTextAlign(r.U16());
      break;
    case kSetMapMode:
      break;  // the window always maps onto the picture frame
    case kSetBkColor:
      if (r.Remaining() >= 4) p.SetBkColour(r.U32());
      break;
    case kSetTextColor:
      if (r.Remaining() >= 4) p.SetTextColour(r.U32());
      break;
    case kSetWindowOrg:
    case kSetWindowExt:
    case kOffsetWindowOrg: {
      const QPointF v = PointYX(r);
      if (!r.Ok()) break;
      if (function == kSetWindowOrg) p.SetWindowOrg(v.x(), v.y());
      if (function == kSetWindowExt) p.SetWindowExt(v.x(), v.y());
      if (function == kOffsetWindowOrg) p.OffsetWindowOrg(v.x(), v.y());
      break;
    }
    // The viewport is the destination rectangle, which the metafile cannot know.
    case kSetViewportOrg:
    case kSetViewportExt:
    case kOffsetViewportOrg:
    case kScaleViewportExt:
      break;
    case kScaleWindowExt: {
      const double yd = r.I16();
      const double yn = r.I16();
      const double xd = r.I16();
      const double xn = r.I16();
      if (r.Ok()) p.ScaleWindowExt(xn, xd, yn, yd);
      break;
    }
    case kLineTo:
    case kMoveTo: {
      const QPointF at = PointYX(r);
      if (!r.Ok()) break;
      if (function == kLineTo) {
        p.LineTo(at);
      } else {
        p.MoveTo(at);
      }
      break;
    }
    case kOffsetClipRgn: {
      const QPointF d = PointYX(r);
      if (r.Ok()) p.OffsetClipRegion(d.x(), d.y());
      break;
    }
    case kExcludeClipRect:
    case kIntersectClipRect:
    case kEllipse:
    case kRectangle: {
      const QRectF box = Box(r);
      if (!r.Ok()) break;
      if (function == kExcludeClipRect) p.ExcludeClipRect(box);
      if (function == kIntersectClipRect) p.IntersectClipRect(box);
      if (function == kEllipse) p.Ellipse(box);
      if (function == kRectangle) p.Rectangle(box);
      break;
    }
    case kRoundRect: {
      const double h = r.I16();
      const double w = r.I16();
      const QRectF box = Box(r);
      if (r.Ok()) p.RoundRect(box, w, h);
      break;
    }
    case kArc:
    case kPie:
    case kChord: {
      const QPointF end = PointYX(r);
      const QPointF start = PointYX(r);
      const QRectF box = Box(r);
      if (!r.Ok()) break;
      if (function == kArc) p.Arc(box, start, end);
      if (function == kPie) p.Pie(box, start, end);
      if (function == kChord) p.Chord(box, start, end);
      break;
    }
    case kSetPixel: {
      const std::uint32_t c = r.U32();
      const QPointF at = PointYX(r);
      if (r.Ok()) p.SetPixel(at, c);
      break;
    }
    case kPolygon:
    case kPolyline: {
      const std::uint16_t count = r.U16();
      const QPolygonF points = Points(r, count);
      if (function == kPolygon) {
        p.Polygon(points);
      } else {
        p.Polyline(points);
      }
      break;
    }
    case kPolyPolygon: {
      const std::uint16_t polys = r.U16();
      if (polys > r.Remaining() / 2) break;
      std::vector<std::uint16_t> counts(polys);
      for (auto& c : counts) c = r.U16();
      std::vector<QPolygonF> polygons;
      for (std::uint16_t c : counts) {
        QPolygonF poly = Points(r, c);
        if (poly.size() != c) break;
        polygons.push_back(std::move(poly));
      }
      p.PolyPolygon(polygons);
      break;
    }
    case kTextOut:
      Text(r, false);
      break;
    case kExtTextOut:
      Text(r, true);
      break;
    case kPatBlt: {
      const std::uint32_t rop = r.U32();
      const double h = r.I16();
      const double w = r.I16();
      const QPointF at = PointYX(r);
      if (r.Ok()) p.PatBlt(QRectF(at.x(), at.y(), w, h), rop);
      break;
    }
    case kDibBitBlt:
    case kDibStretchBlt:
    case kStretchDib:
    case kSetDibToDev:
      Bitmap(function, r, r.Size() / 2);
      break;
    case kSelectObject: {
      const Object* o = Find(r.U16());
      if (!r.Ok() || !o) break;
      if (const auto* pen = std::get_if<gdi::Pen>(o)) p.SelectPen(*pen);
      if (const auto* brush = std::get_if<gdi::Brush>(o)) p.SelectBrush(*brush);
      if (const auto* font = std::get_if<gdi::Font>(o)) {
        p.SelectFont(*font);
        m_charset = font->charset;
      }
      if (const auto* region = std::get_if<Region>(o)) {
        p.SelectClipRegion(&region->rects, false, gdi::kRgnCopy);
      }
      break;
    }
    case kSelectClipRegion: {
      const std::uint16_t index = r.U16();
      if (r.Ok()) p.SelectClipRegion(FindRegion(index), false, gdi::kRgnCopy);
      break;
    }
    case kDeleteObject: {
      const std::uint16_t index = r.U16();
      if (r.Ok()) Delete(index);
      break;
    }
    case kCreatePenIndirect: {
      gdi::Pen pen;
      pen.style = r.U16();
      pen.width = r.I16();
      r.Skip(2);
      pen.colour = r.U32();
      Create(pen);
      break;
    }
    case kCreateBrushIndirect: {
      const std::uint16_t style = r.U16();
      const gdi::ColourRef colour = r.U32();
      const std::uint16_t hatch = r.U16();
      Create(gdi::LogBrush(style, colour, hatch));
      break;
    }
    case kDibCreatePatternBrush: {
      const std::uint16_t style = r.U16();
      const std::uint16_t usage = r.U16();
      gdi::Brush brush;
      brush.style = gdi::kBsDibPatternPt;
      // BS_PATTERN carries an old device-dependent bitmap, which is not read.
      if (style != gdi::kBsPattern && r.Ok()) {
        const Dib dib = PackedDibImage(r.Bytes(r.Remaining()), usage == 1, m_budget);
        brush.pattern = dib.image;
      }
      if (brush.pattern.isNull()) {
        brush.style = gdi::kBsSolid;
        brush.colour = 0x808080;
      }
      Create(brush);
      break;
    }
    case kCreateFontIndirect: {
      gdi::Font font;
      font.height = r.I16();
      font.width = r.I16();
      font.escapement = r.I16();
      r.Skip(2);
      font.weight = r.I16();
      font.italic = r.U8();
      font.underline = r.U8();
      font.strikeOut = r.U8();
      font.charset = r.U8();
      r.Skip(4);
      const auto face = r.Bytes(std::min<std::size_t>(32, r.Remaining()));
      std::size_t length = 0;
      while (length < face.size() && face[length] != 0) ++length;
      font.face = gdi::DecodeAnsi(face.data(), length, font.charset);
      Create(font);
      break;
    }
    case kCreateRegion:
      Create(ReadRegion(r));
      break;
    case kCreatePalette:
    case kCreatePatternBrush:
      Create(Placeholder{});
      break;
    case kFillRegion:
    case kFrameRegion: {
      const std::uint16_t regionIndex = r.U16();
      const std::uint16_t brushIndex = r.U16();
      double h = 1;
      double w = 1;
      if (function == kFrameRegion) {
        h = r.I16();
        w = r.I16();
      }
      const gdi::RectList* rects = FindRegion(regionIndex);
      const gdi::Brush* brush = FindBrush(brushIndex);
      if (!r.Ok() || !rects || !brush) break;
      if (function == kFillRegion) {
        p.FillRegion(*rects, *brush);
      } else {
        p.FrameRegion(*rects, *brush, w, h);
      }
      break;
    }
    case kInvertRegion:
    case kPaintRegion: {
      const gdi::RectList* rects = FindRegion(r.U16());
      if (!r.Ok() || !rects) break;
      if (function == kInvertRegion) {
        p.InvertRegion(*rects);
      } else {
        p.PaintRegion(*rects);
      }
      break;
    }
    default:
      break;  // escapes, palettes and the rest: nothing to draw
  }
}

// Whether a record draws (as opposed to setting state or creating objects), by its low byte.
bool Draws(std::uint16_t function) {
  static constexpr std::uint8_t kDrawing[] = {0x13, 0x17, 0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1F,
                                              0x21, 0x22, 0x23, 0x24, 0x25, 0x28, 0x29, 0x2A, 0x2B,
                                              0x30, 0x32, 0x33, 0x38, 0x40, 0x41, 0x43, 0x48};
  return std::find(std::begin(kDrawing), std::end(kDrawing), function & 0xFF) != std::end(kDrawing);
}

struct Header {
  std::size_t recordsAt = 0;
  std::size_t objects = 0;
  std::optional<QRectF> placeable;  // bounds in logical units
  double unitsPerInch = 1440;
};

std::optional<Header> ReadHeader(std::span<const std::uint8_t> file) {
  RecordReader r(file);
  Header h;
  if (r.U32() == kPlaceableKey) {
    r.Skip(2);  // handle
    const QRectF bounds = LeftTopRightBottom(r);
    const std::uint16_t inch = r.U16();
    if (!r.Ok()) return std::nullopt;
    h.placeable = bounds.normalized();
    if (inch != 0) h.unitsPerInch = inch;
    h.recordsAt = kPlaceableSize;
  }
  r.Seek(h.recordsAt);
  const std::uint16_t type = r.U16();
  const std::uint16_t headerWords = r.U16();
  const std::uint16_t version = r.U16();
  r.Skip(4);  // size
  h.objects = r.U16();
  if (!r.Ok() || (type != 1 && type != 2) || headerWords != 9 ||
      (version != 0x0100 && version != 0x0300)) {
    return std::nullopt;
  }
  h.recordsAt += kHeaderSize;
  return h;
}

}  // namespace

std::optional<Frame> WmfFrame(std::span<const std::uint8_t> file) {
  const std::optional<Header> header = ReadHeader(file);
  if (!header) return std::nullopt;
  Frame f;
  if (header->placeable && header->placeable->width() > 0 && header->placeable->height() > 0) {
    f.device = *header->placeable;
    f.width =
        std::max(1, static_cast<int>(std::lround(f.device.width() * 96 / header->unitsPerInch)));
    f.height =
        std::max(1, static_cast<int>(std::lround(f.device.height() * 96 / header->unitsPerInch)));
    return f;
  }
  // No placeable header: the window origin and extent in force when drawing starts.
  RecordReader r(file);
  r.Seek(header->recordsAt);
  QPointF origin;
  std::optional<QPointF> extent;
  while (true) {
    std::uint16_t function = kEof;
    RecordReader record(NextRecord(r, &function));
    if (record.Size() == 0 || function == kEof) break;
    record.Skip(6);
    if (function == kSetWindowOrg || function == kSetWindowExt) {
      const double y = record.I16();
      const QPointF v(record.I16(), y);
      if (record.Ok() && function == kSetWindowOrg) origin = v;
      if (record.Ok() && function == kSetWindowExt && v.x() != 0 && v.y() != 0) extent = v;
    }
    if (Draws(function)) break;
  }
  if (extent) {
    f.device = QRectF(origin, QSizeF(extent->x(), extent->y())).normalized();
  } else {
    // Nothing declared: what the records draw, played once without drawing.
    QImage scratch(1, 1, QImage::Format_RGB32);
    QPainter painter(&scratch);
    QRectF bounds;
    Budget budget(1);
    gdi::Player player(painter, QTransform(), QRect(0, 0, 1, 1), f.pixelsPerMm, budget);
    player.CollectBounds(&bounds);
    player.SetMapMode(gdi::kMmAnisotropic);
    Wmf(file, player, budget).Play(header->recordsAt, header->objects);
    if (bounds.isNull() || bounds.width() <= 0 || bounds.height() <= 0) return std::nullopt;
    f.device = bounds;
  }
  // Logical units taken as screen pixels.
  f.width = std::max(1, static_cast<int>(std::min(f.device.width(), 32767.0)));
  f.height = std::max(1, static_cast<int>(std::min(f.device.height(), 32767.0)));
  return f;
}

void PlayWmf(std::span<const std::uint8_t> file, gdi::Player& player, const Frame& frame,
             Budget& budget) {
  const std::optional<Header> header = ReadHeader(file);
  if (!header) return;
  player.SetMapMode(gdi::kMmAnisotropic);
  player.SetViewportOrg(frame.device.left(), frame.device.top());
  player.SetViewportExt(frame.device.width(), frame.device.height());
  player.SetWindowOrg(frame.device.left(), frame.device.top());
  player.SetWindowExt(frame.device.width(), frame.device.height());
  Wmf(file, player, budget).Play(header->recordsAt, header->objects);
}

}  // namespace picture::metafile
