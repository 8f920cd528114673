#include <QImage>
#include <QPainter>
#include <QPolygonF>
#include <algorithm>
#include <unordered_map>

#include "picture/metafile/formats.h"
#include "picture/metafile/objects.h"
#include "picture/metafile/record_dib.h"
#include "picture/metafile/source.h"
#include "picture/metafile/wmf_records.h"
#include "picture/record_reader.h"

namespace picture::metafile {

namespace {

using namespace wmf;

constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr std::size_t kPlaceableSize = 22;
constexpr std::size_t kHeaderSize = 18;

// A rectangle stored left, top, right, bottom (the text and placeable header rectangles; the
// drawing records store theirs last field first).
QRectF LeftTopRightBottom(SourceReader& r) {
  const double l = r.I16();
  const double t = r.I16();
  const double right = r.I16();
  const double b = r.I16();
  return QRectF(QPointF(l, t), QPointF(right, b));
}
// A rectangle stored bottom, right, top, left.
QRectF Box(SourceReader& r) {
  const double b = r.I16();
  const double right = r.I16();
  const double t = r.I16();
  const double l = r.I16();
  return QRectF(QPointF(l, t), QPointF(right, b));
}
QPointF PointYX(SourceReader& r) {
  const double y = r.I16();
  return {static_cast<double>(r.I16()), y};
}

// The size in bytes of the record at `start` of the source of `records`, its function in
// `function`; 0 when what remains holds no whole record, or the source no longer has its start (a
// file cut short since it was loaded), which ends the picture. The parameters start at byte 6 of
// the record.
std::uint64_t NextRecord(RecordFetcher& records, std::uint64_t start, std::uint64_t end,
                         std::uint16_t* function) {
  if (end - start < 6) return 0;
  RecordReader head(records.Fetch(start, 6));
  const std::uint32_t words = head.U32();
  *function = head.U16();
  if (!head.Ok() || words < 3 || words > (end - start - 6) / 2 + 3) return 0;
  return std::uint64_t{words} * 2;
}


// One play of the records of a Windows metafile. Each record function the player knows has a
// handler and the size of the parameters it reads; a record shorter than that is cut short, and
// skipped whole.
class Wmf {
 public:
  Wmf(const Source& file, gdi::Player& player, Budget& budget, std::size_t objectCount)
      : m_file(file), p(player), m_budget(budget), m_objects(objectCount) {}

  // Plays the records from `offset`.
  void Play(std::uint64_t offset);

 private:
  // A handler reads the record's parameters from `r`, positioned after its size and function.
  using Handler = void (*)(Wmf& w, SourceReader& r);
  struct Entry {
    std::uint32_t minSize;
    Handler play;
  };
  static const std::unordered_map<std::uint16_t, Entry>& Handlers();

  QPolygonF Points(SourceReader& r, std::size_t count) {
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
  // A y, x pair handed to the player's `call` as x, y.
  void PairYX(SourceReader& r, void (gdi::Player::*call)(double, double)) {
    const QPointF v = PointYX(r);
    (p.*call)(v.x(), v.y());
  }
  void Arc(SourceReader& r, void (gdi::Player::*draw)(const QRectF&, QPointF, QPointF)) {
    const QPointF end = PointYX(r);
    const QPointF start = PointYX(r);
    (p.*draw)(Box(r), start, end);
  }
  void PolyPolygon(SourceReader& r);
  void Bitmap(SourceReader& r);
  void Text(SourceReader& r, bool extended);
  static Region ReadRegion(SourceReader& r);
  void PatternBrush(SourceReader& r);
  void FillRegion(SourceReader& r);

  const Source& m_file;
  gdi::Player& p;
  Budget& m_budget;
  ObjectTable m_objects;
  std::uint16_t m_function = kEof;  // of the record being played
  int m_charset = 0;                // of the font selected
};

void Wmf::Play(std::uint64_t offset) {
  const auto& handlers = Handlers();
  RecordFetcher records(m_file);
  const std::uint64_t end = m_file.Size();
  std::uint64_t start = std::min(offset, end);
  while (!m_budget.Spent()) {
    std::uint16_t function = kEof;
    const std::uint64_t size = NextRecord(records, start, end, &function);
    if (size == 0) break;
    --m_budget.records;
    if (function == kEof) break;
    const auto handler = handlers.find(function);
    if (handler != handlers.end() && size - 6 >= handler->second.minSize) {
      SourceReader r = records.Record(start, size);
      if (r.Size() == 0) break;
      r.Skip(6);
      m_function = function;
      handler->second.play(*this, r);
    }
    start += size;
  }
}

void Wmf::PolyPolygon(SourceReader& r) {
  const std::uint16_t polys = r.U16();
  if (polys > r.Remaining() / 2) return;
  const Extent counts = *r.Part(std::uint64_t{polys} * 2);
  // The polygons up to the first whose points the record does not hold or the account does not
  // give.
  SourceReader count(counts);
  const std::size_t room = r.Remaining() / 4;
  std::uint64_t total = 0;
  std::uint32_t figures = 0;
  for (; figures < polys; ++figures) {
    const std::uint16_t n = count.U16();
    if (total + n > room || !m_budget.TakePoints(n)) break;
    total += n;
  }
  p.PolyPolygon({counts, 2, figures, *r.Part(r.Remaining()), 2, total});
}

void Wmf::PatternBrush(SourceReader& r) {
  const std::uint16_t style = r.U16();
  const std::uint16_t usage = r.U16();
  gdi::Brush brush;
  brush.style = gdi::kBsDibPatternPt;
  // BS_PATTERN carries an old device-dependent bitmap, which is not read.
  if (style != gdi::kBsPattern) {
    const Dib dib = PackedDibImage(*r.Part(r.Remaining()), usage == 1, m_budget);
    brush.pattern = dib.image;
  }
  if (brush.pattern.isNull()) {
    brush.style = gdi::kBsSolid;
    brush.colour = 0x808080;
  }
  m_objects.Add(brush);
}

void Wmf::FillRegion(SourceReader& r) {
  const std::uint16_t regionIndex = r.U16();
  const std::uint16_t brushIndex = r.U16();
  double h = 1;
  double w = 1;
  if (m_function == kFrameRegion) {
    h = r.I16();
    w = r.I16();
  }
  const Region* region = m_objects.Get<Region>(regionIndex);
  const gdi::Brush* brush = m_objects.Get<gdi::Brush>(brushIndex);
  if (!region || !brush) return;
  if (m_function == kFillRegion) {
    p.FillRegion(region->rects, *brush);
  } else {
    p.FrameRegion(region->rects, *brush, w, h);
  }
}

void Wmf::Text(SourceReader& r, bool extended) {
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
  p.TextOut(at, gdi::DecodeAnsi(bytes.data(), bytes.size(), m_charset), dx, options, rect);
}

// META_CREATEREGION: a region header, then scans of left-right pairs sharing a top and bottom,
// which are read where they are when the region is used.
Region Wmf::ReadRegion(SourceReader& r) {
  r.Skip(10);  // next in chain, object type, object count, region size
  const std::uint16_t scans = r.U16();
  r.Skip(2 + 8);  // largest scan, bounding rectangle
  return Region{gdi::RegionRects::Scans(*r.Part(r.Remaining()), scans)};
}

void Wmf::Bitmap(SourceReader& r) {
  const std::uint16_t function = m_function;
  const std::size_t words = r.Size() / 2;
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
    p.PatBlt(QRectF(x, y, w, h), rop);
    return;
  }
  const Dib dib = PackedDibImage(*r.Part(r.Remaining()), usage == 1, m_budget);
  const QImage image = SourcePart(dib, xSrc, ySrc, srcW, srcH);
  if (!image.isNull()) p.DrawImage(QRectF(x, y, w, h), image, rop);
}

const std::unordered_map<std::uint16_t, Wmf::Entry>& Wmf::Handlers() {
  using R = SourceReader;
  static const std::unordered_map<std::uint16_t, Entry> handlers = {
      // State. The mapping mode and the viewport are left out: the window always maps onto the
      // picture frame, which is the destination rectangle, which the metafile cannot know.
      {kSaveDc, {0, [](Wmf& w, R&) { w.p.SaveDc(); }}},
      {kRestoreDc, {2, [](Wmf& w, R& r) { w.p.RestoreDc(r.I16()); }}},
      {kSetBkMode, {2, [](Wmf& w, R& r) { w.p.SetBkMode(r.U16()); }}},
      {kSetRop2, {2, [](Wmf& w, R& r) { w.p.SetRop2(r.U16()); }}},
      {kSetPolyFillMode, {2, [](Wmf& w, R& r) { w.p.SetPolyFillMode(r.U16()); }}},
      {kSetTextAlign, {2, [](Wmf& w, R& r) { w.p.SetTextAlign(r.U16()); }}},
      {kSetBkColor, {4, [](Wmf& w, R& r) { w.p.SetBkColour(r.U32()); }}},
      {kSetTextColor, {4, [](Wmf& w, R& r) { w.p.SetTextColour(r.U32()); }}},
      {kSetWindowOrg, {4, [](Wmf& w, R& r) { w.PairYX(r, &gdi::Player::SetWindowOrg); }}},
      {kSetWindowExt, {4, [](Wmf& w, R& r) { w.PairYX(r, &gdi::Player::SetWindowExt); }}},
      {kOffsetWindowOrg, {4, [](Wmf& w, R& r) { w.PairYX(r, &gdi::Player::OffsetWindowOrg); }}},
      {kScaleWindowExt,
       {8,
        [](Wmf& w, R& r) {
          const double yDenom = r.I16();
          const double yNum = r.I16();
          const double xDenom = r.I16();
          const double xNum = r.I16();
          w.p.ScaleWindowExt(xNum, xDenom, yNum, yDenom);
        }}},
      {kMoveTo, {4, [](Wmf& w, R& r) { w.p.MoveTo(PointYX(r)); }}},
      // Clipping.
      {kOffsetClipRgn, {4, [](Wmf& w, R& r) { w.PairYX(r, &gdi::Player::OffsetClipRegion); }}},
      {kExcludeClipRect, {8, [](Wmf& w, R& r) { w.p.ExcludeClipRect(Box(r)); }}},
      {kIntersectClipRect, {8, [](Wmf& w, R& r) { w.p.IntersectClipRect(Box(r)); }}},
      {kSelectClipRegion,
       {2,
        [](Wmf& w, R& r) {
          const Region* region = w.m_objects.Get<Region>(r.U16());
          w.p.SelectClipRegion(region ? &region->rects : nullptr, false, gdi::kRgnCopy);
        }}},
      // Objects.
      {kSelectObject,
       {2,
        [](Wmf& w, R& r) {
          const Object* o = w.m_objects.Select(r.U16(), w.p);
          if (const auto* font = o ? std::get_if<gdi::Font>(o) : nullptr) {
            w.m_charset = font->charset;
          }
        }}},
      {kDeleteObject, {2, [](Wmf& w, R& r) { w.m_objects.Delete(r.U16()); }}},
      {kCreatePenIndirect,
       {10,
        [](Wmf& w, R& r) {
          gdi::Pen pen;
          pen.style = r.U16();
          pen.width = r.I16();
          r.Skip(2);
          pen.colour = r.U32();
          w.m_objects.Add(pen);
        }}},
      {kCreateBrushIndirect,
       {8,
        [](Wmf& w, R& r) {
          const std::uint16_t style = r.U16();
          const gdi::ColourRef colour = r.U32();
          w.m_objects.Add(gdi::LogBrush(style, colour, r.U16()));
        }}},
      {kDibCreatePatternBrush, {4, [](Wmf& w, R& r) { w.PatternBrush(r); }}},
      {kCreateFontIndirect, {18, [](Wmf& w, R& r) { w.m_objects.Add(ReadLogFont(r, false)); }}},
      {kCreateRegion, {22, [](Wmf& w, R& r) { w.m_objects.Add(ReadRegion(r)); }}},
      {kCreatePalette, {0, [](Wmf& w, R&) { w.m_objects.Add(Placeholder{}); }}},
      {kCreatePatternBrush, {0, [](Wmf& w, R&) { w.m_objects.Add(Placeholder{}); }}},
      // Shapes.
      {kLineTo, {4, [](Wmf& w, R& r) { w.p.LineTo(PointYX(r)); }}},
      {kEllipse, {8, [](Wmf& w, R& r) { w.p.Ellipse(Box(r)); }}},
      {kRectangle, {8, [](Wmf& w, R& r) { w.p.Rectangle(Box(r)); }}},
      {kRoundRect,
       {12,
        [](Wmf& w, R& r) {
          const double h = r.I16();
          const double cornerWidth = r.I16();
          w.p.RoundRect(Box(r), cornerWidth, h);
        }}},
      {kArc, {16, [](Wmf& w, R& r) { w.Arc(r, &gdi::Player::Arc); }}},
      {kPie, {16, [](Wmf& w, R& r) { w.Arc(r, &gdi::Player::Pie); }}},
      {kChord, {16, [](Wmf& w, R& r) { w.Arc(r, &gdi::Player::Chord); }}},
      {kSetPixel,
       {8,
        [](Wmf& w, R& r) {
          const std::uint32_t c = r.U32();
          w.p.SetPixel(PointYX(r), c);
        }}},
      {kPolygon, {2, [](Wmf& w, R& r) { w.p.Polygon(w.Points(r, r.U16())); }}},
      {kPolyline, {2, [](Wmf& w, R& r) { w.p.Polyline(w.Points(r, r.U16())); }}},
      {kPolyPolygon, {2, [](Wmf& w, R& r) { w.PolyPolygon(r); }}},
      // Regions, bitmaps and text.
      {kFillRegion, {4, [](Wmf& w, R& r) { w.FillRegion(r); }}},
      {kFrameRegion, {8, [](Wmf& w, R& r) { w.FillRegion(r); }}},
      {kInvertRegion,
       {2,
        [](Wmf& w, R& r) {
          if (const Region* region = w.m_objects.Get<Region>(r.U16())) {
            w.p.InvertRegion(region->rects);
          }
        }}},
      {kPaintRegion,
       {2,
        [](Wmf& w, R& r) {
          if (const Region* region = w.m_objects.Get<Region>(r.U16())) {
            w.p.PaintRegion(region->rects);
          }
        }}},
      {kPatBlt,
       {12,
        [](Wmf& w, R& r) {
          const std::uint32_t rop = r.U32();
          const double h = r.I16();
          const double width = r.I16();
          const QPointF at = PointYX(r);
          w.p.PatBlt(QRectF(at.x(), at.y(), width, h), rop);
        }}},
      {kDibBitBlt, {16, [](Wmf& w, R& r) { w.Bitmap(r); }}},
      {kDibStretchBlt, {20, [](Wmf& w, R& r) { w.Bitmap(r); }}},
      {kStretchDib, {22, [](Wmf& w, R& r) { w.Bitmap(r); }}},
      {kSetDibToDev, {18, [](Wmf& w, R& r) { w.Bitmap(r); }}},
      {kTextOut, {2, [](Wmf& w, R& r) { w.Text(r, false); }}},
      {kExtTextOut, {8, [](Wmf& w, R& r) { w.Text(r, true); }}},
  };
  return handlers;
}

// Whether a record draws (as opposed to setting state or creating objects), by its low byte.
bool Draws(std::uint16_t function) {
  static constexpr std::uint8_t kDrawing[] = {0x13, 0x17, 0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1F,
                                              0x21, 0x22, 0x23, 0x24, 0x25, 0x28, 0x29, 0x2A, 0x2B,
                                              0x30, 0x32, 0x33, 0x38, 0x40, 0x41, 0x43, 0x48};
  return std::find(std::begin(kDrawing), std::end(kDrawing), function & 0xFF) != std::end(kDrawing);
}

struct Header {
  std::uint64_t recordsAt = 0;
  std::size_t objects = 0;
  std::optional<QRectF> placeable;  // bounds in logical units
  double unitsPerInch = 1440;
};

std::optional<Header> ReadHeader(const Source& file) {
  SourceReader r({&file, 0, file.Size()});
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

std::optional<Frame> WmfFrame(const Source& file) {
  Budget budget(1);
  return WmfFrame(file, budget);
}

std::optional<Frame> WmfFrame(std::span<const std::uint8_t> file) {
  return WmfFrame(MemorySource(file));
}

std::optional<Frame> WmfFrame(std::span<const std::uint8_t> file, Budget& budget) {
  return WmfFrame(MemorySource(file), budget);
}

std::optional<Frame> WmfFrame(const Source& file, Budget& budget) {
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
  // No placeable header: the window origin and extent in force when drawing starts. The search
  // takes its records from the budget's account, and the play for the drawing's extent goes on
  // with what is left: a file that reaches neither its window nor its drawing within the records
  // of one play is refused.
  RecordFetcher records(file);
  const std::uint64_t end = file.Size();
  std::uint64_t start = std::min(header->recordsAt, end);
  QPointF origin;
  std::optional<QPointF> extent;
  while (!budget.Spent()) {
    std::uint16_t function = kEof;
    const std::uint64_t size = NextRecord(records, start, end, &function);
    if (size == 0) break;
    start += size;
    --budget.records;
    if (function == kEof) break;
    if (function == kSetWindowOrg || function == kSetWindowExt) {
      SourceReader record = records.Record(start - size, size);
      record.Skip(6);
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
    gdi::Player player(painter, QTransform(), QRect(0, 0, 1, 1), f.pixelsPerMm, budget);
    player.CollectBounds(&bounds);
    player.SetMapMode(gdi::kMmAnisotropic);
    Wmf(file, player, budget, header->objects).Play(header->recordsAt);
    if (bounds.isNull() || bounds.width() <= 0 || bounds.height() <= 0) return std::nullopt;
    f.device = bounds;
  }
  // Logical units taken as screen pixels.
  f.width = std::max(1, static_cast<int>(std::min(f.device.width(), 32767.0)));
  f.height = std::max(1, static_cast<int>(std::min(f.device.height(), 32767.0)));
  return f;
}

void PlayWmf(const Source& file, gdi::Player& player, const Frame& frame, Budget& budget) {
  const std::optional<Header> header = ReadHeader(file);
  if (!header) return;
  player.SetMapMode(gdi::kMmAnisotropic);
  player.SetViewportOrg(frame.device.left(), frame.device.top());
  player.SetViewportExt(frame.device.width(), frame.device.height());
  player.SetWindowOrg(frame.device.left(), frame.device.top());
  player.SetWindowExt(frame.device.width(), frame.device.height());
  Wmf(file, player, budget, header->objects).Play(header->recordsAt);
}

}  // namespace picture::metafile
