#include <zlib.h>

#include <QByteArray>
#include <QImageReader>
#include <QPaintEngine>
#include <QPainter>
#include <QPainterPath>
#include <QSvgRenderer>
#include <QXmlStreamReader>
#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <unordered_map>
#include <vector>

#include "picture/decoders.h"
#include "picture/qt_image.h"

namespace picture {
namespace {

constexpr const char* kSvgNotValid = "SVG image is not valid";
// Nesting deeper than this, of elements or of <use> references followed, is refused: Qt draws a
// drawing by recursion, a level a group.
constexpr std::uint64_t kMaxSvgDepth = 256;

// The drawing's text: the file's bytes, or inflated when the file is gzip-compressed (as Qt
// reads it); empty with `tooLarge` set when it would exceed kMaxSvgBytes.
QByteArray SvgText(const ByteSource& source, bool& tooLarge) {
  tooLarge = false;
  const std::vector<std::uint8_t> magic = ReadPiece(source, 0, 2);
  const bool gzip = magic.size() == 2 && magic[0] == 0x1f && magic[1] == 0x8b;
  if (!gzip) {
    if (source.size > kMaxSvgBytes) {
      tooLarge = true;
      return {};
    }
    const std::vector<std::uint8_t> all = ReadPiece(source, 0, source.size);
    return QByteArray(reinterpret_cast<const char*>(all.data()),
                      static_cast<qsizetype>(all.size()));
  }
  // Inflated no further than the limit and one byte beyond it, which tells a text too large.
  z_stream z{};
  if (inflateInit2(&z, MAX_WBITS + 16) != Z_OK) throw std::bad_alloc();
  QByteArray text;
  std::array<std::uint8_t, 1 << 16> in;
  std::uint64_t offset = 0;
  int status = Z_OK;
  while (status == Z_OK) {
    if (z.avail_in == 0) {
      const std::size_t n = source.read(offset, in.data(), in.size());
      if (n == 0) break;
      offset += n;
      z.next_in = in.data();
      z.avail_in = static_cast<uInt>(n);
    }
    const qsizetype had = text.size();
    const std::uint64_t room = kMaxSvgBytes + 1 - static_cast<std::uint64_t>(had);
    const auto step = static_cast<qsizetype>(std::min<std::uint64_t>(room, 1 << 16));
    text.resize(had + step);
    z.next_out = reinterpret_cast<Bytef*>(text.data() + had);
    z.avail_out = static_cast<uInt>(step);
    status = inflate(&z, Z_NO_FLUSH);
    text.resize(text.size() - static_cast<qsizetype>(z.avail_out));
    if (status == Z_BUF_ERROR && z.avail_in == 0) status = Z_OK;  // wants more input
    if (static_cast<std::uint64_t>(text.size()) > kMaxSvgBytes) {
      tooLarge = true;
      text.clear();
      break;
    }
  }
  inflateEnd(&z);
  return text;
}

// The work of drawing a drawing into a view of kSvgView, estimated from what the drawing asks
// of the painter, without painting: Qt's raster painter takes about a nanosecond a pixel it
// fills, several with smoothing, blending or a turn; a microsecond a call; up to 150 nanoseconds a
// row of the view an edge crosses (a path of many edges crossing the whole view: each row sorts
// them all); and a few microseconds a dash of a wide dashed pen
// (up to 10,000 repetitions of the pattern a segment, as Qt's dasher makes them). Measured on
// the machine the limits were chosen on.
constexpr QSize kSvgView{320, 240};

class DrawingCost : public QPaintEngine {
 public:
  DrawingCost() : QPaintEngine(QPaintEngine::AllFeatures) {}
  bool begin(QPaintDevice*) override { return true; }
  bool end() override { return true; }
  Type type() const override { return QPaintEngine::User; }
  void updateState(const QPaintEngineState&) override {}

  void drawPath(const QPainterPath& path) override { Path(path, false); }
  void drawRects(const QRectF* rects, int count) override {
    for (int i = 0; i < count; ++i) {
      QPainterPath path;
      path.addRect(rects[i]);
      Path(path, true);
    }
  }
  void drawPolygon(const QPointF* points, int count, PolygonDrawMode mode) override {
    QPainterPath path;
    if (count > 0) path.addPolygon(QPolygonF(QList<QPointF>(points, points + count)));
    if (mode != PolylineMode) path.closeSubpath();
    Path(path, false);
  }
  void drawPixmap(const QRectF& r, const QPixmap&, const QRectF& source) override {
    Call(state->transform().mapRect(r), kBlendedPixel);
    m_nanoseconds += 3.0 * source.width() * source.height();
  }
  void drawImage(const QRectF& r, const QImage&, const QRectF& source,
                 Qt::ImageConversionFlags) override {
    Call(state->transform().mapRect(r), kBlendedPixel);
    m_nanoseconds += 3.0 * source.width() * source.height();
  }
  void drawTextItem(const QPointF& p, const QTextItem& item) override {
    const QRectF box(p.x(), p.y() - item.ascent(), item.width(), item.ascent() + item.descent());
    Call(state->transform().mapRect(box), kBlendedPixel);
    m_nanoseconds += 2000.0 * static_cast<double>(item.text().size());
  }
  void drawTiledPixmap(const QRectF& r, const QPixmap&, const QPointF&) override {
    Call(state->transform().mapRect(r), kBlendedPixel);
  }

  double Nanoseconds() const { return m_nanoseconds; }

 private:
  // A pixel of a rectangle upright in the view, filled; any other: smoothed, blended or turned.
  static constexpr double kPlainPixel = 1.2;
  static constexpr double kBlendedPixel = 6;

  void Path(const QPainterPath& path, bool rectangle) {
    const QTransform t = state->transform();
    const QPen pen = state->pen();
    const bool stroked = pen.style() != Qt::NoPen;
    const qreal width = stroked ? std::max<qreal>(pen.widthF(), 1) : 0;
    const bool plain = rectangle && t.type() <= QTransform::TxScale && state->opacity() >= 1;
    Call(t.mapRect(path.controlPointRect().adjusted(-width, -width, width, width)),
         plain ? kPlainPixel : kBlendedPixel);
    // Each edge is followed down every row of the view it crosses, a stroked one as the sides
    // of its stroke; an upright rectangle is filled row by row without edges.
    const double perRow = plain && !stroked ? 0 : 150;
    const qreal rows = kSvgView.height();
    QPointF previous;
    for (int i = 0; i < path.elementCount(); ++i) {
      const QPointF point = t.map(QPointF(path.elementAt(i)));
      if (i > 0 && !path.elementAt(i).isMoveTo()) {
        const qreal top = std::max<qreal>(std::min(previous.y(), point.y()), 0);
        const qreal bottom = std::min(std::max(previous.y(), point.y()), rows);
        m_nanoseconds += 200.0 + perRow * (std::max<qreal>(bottom - top, 0) + 1);
      }
      previous = point;
    }
    if (!stroked || pen.style() == Qt::SolidLine) return;
    // Each segment of the path is dashed on its own, up to Qt's limit of repetitions.
    qreal period = 0;
    const QList<qreal> pattern = pen.dashPattern();
    for (const qreal dash : pattern) period += dash * width;
    if (period <= 0) return;
    const qreal scale = std::sqrt(std::abs(t.determinant()));
    const double perDash = width * scale > 1 ? 2500 : 40;  // wide pens are stroked dash by dash
    for (int i = 1; i < path.elementCount(); ++i) {
      const QPainterPath::Element a = path.elementAt(i - 1);
      const QPainterPath::Element b = path.elementAt(i);
      const qreal length = std::hypot(b.x - a.x, b.y - a.y);
      const qreal repetitions = std::min<qreal>(length / period, 10000);
      m_nanoseconds += perDash * repetitions * static_cast<double>(pattern.size());
    }
  }
  // A call filling `box` (in the view's pixels), as far as it lies in the view.
  void Call(const QRectF& box, double perPixel) {
    const QRectF visible = box.intersected(QRectF(QPointF(0, 0), QSizeF(kSvgView)));
    m_nanoseconds += 1000.0 + perPixel * std::max<qreal>(visible.width(), 0) *
                                  std::max<qreal>(visible.height(), 0);
  }

  double m_nanoseconds = 0;
};

class DrawingCostDevice : public QPaintDevice {
 public:
  QPaintEngine* paintEngine() const override { return &m_engine; }
  double Nanoseconds() const { return m_engine.Nanoseconds(); }

 protected:
  int metric(PaintDeviceMetric metric) const override {
    switch (metric) {
      case PdmWidth:
        return kSvgView.width();
      case PdmHeight:
        return kSvgView.height();
      case PdmWidthMM:
        return kSvgView.width() * 254 / 960;
      case PdmHeightMM:
        return kSvgView.height() * 254 / 960;
      case PdmNumColors:
        return INT_MAX;
      case PdmDepth:
        return 32;
      case PdmDpiX:
      case PdmDpiY:
      case PdmPhysicalDpiX:
      case PdmPhysicalDpiY:
        return 96;
      case PdmDevicePixelRatio:
        return 1;
      case PdmDevicePixelRatioScaled:
        return static_cast<int>(devicePixelRatioFScale());
    }
    return 0;
  }

 private:
  mutable DrawingCost m_engine;
};

class SvgPicture : public Picture {
 public:
  explicit SvgPicture(const QByteArray& text) {
    if (!m_renderer.load(text)) throw LoadError(kSvgNotValid);
    m_renderer.setAspectRatioMode(Qt::IgnoreAspectRatio);
    if (DrawingNanoseconds() > kMaxSvgDrawingNanoseconds) throw LoadError(kSvgNotValid);
    const QSize size = m_renderer.defaultSize();
    m_width = std::max(size.width(), 0);
    m_height = std::max(size.height(), 0);
  }

  int Width() const override { return m_width; }
  int Height() const override { return m_height; }

  // The estimated work of drawing it into a view of kSvgView.
  double DrawingNanoseconds() {
    DrawingCostDevice device;
    {
      QPainter painter(&device);
      m_renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(kSvgView)));
    }
    return device.Nanoseconds();
  }

  // An SVG drawing, parsed once and drawn afresh into every rectangle, its frame (the view box)
  // stretched to fill the rectangle as a metafile's is. What it leaves unpainted is white.
  void StretchDraw(model::Canvas& canvas, const model::Rect& dest) const override {
    if (Empty()) return;
    const model::Rect clip = dest.Intersected({0, 0, canvas.Width(), canvas.Height()});
    if (clip.Empty()) return;
    canvas.FillRect(clip, model::kWhite);
    QImage target(reinterpret_cast<uchar*>(canvas.Bits()), canvas.Width(), canvas.Height(),
                  canvas.BytesPerLine(), QImage::Format_RGBX8888);
    {
      QPainter painter(&target);
      painter.setClipRect(clip.left, clip.top, clip.Width(), clip.Height());
      m_renderer.render(&painter, QRectF(dest.left, dest.top, dest.Width(), dest.Height()));
    }
    for (int y = clip.top; y < clip.bottom; ++y) {
      std::uint32_t* row = canvas.Row(y);
      for (int x = clip.left; x < clip.right; ++x) row[x] |= model::Canvas::kOpaque;
    }
    canvas.MarkDirty(clip);
  }

 private:
  // Rendering moves the renderer's animation clock, which is not the picture's state.
  mutable QSvgRenderer m_renderer;
  int m_width = 0;
  int m_height = 0;
};

// Numbers in a path's data or a point list: each run of digits starts one (enough to bound the
// work, whatever the separators).
std::uint64_t NumbersIn(QStringView text) {
  std::uint64_t count = 0;
  bool inDigits = false;
  for (const QChar c : text) {
    const bool digit = c >= u'0' && c <= u'9';
    count += digit && !inDigits;
    inDigits = digit;
  }
  return count;
}

}  // namespace

std::unique_ptr<Picture> ReadSvg(const ByteSource& source) {
  // Images embedded in the drawing are decoded by the same readers, under the same limit.
  QImageReader::setAllocationLimit(kReaderAllocationLimitMb);
  bool tooLarge = false;
  const QByteArray text = SvgText(source, tooLarge);
  SvgWork work;
  if (tooLarge || !SvgWithinLimits({reinterpret_cast<const std::uint8_t*>(text.constData()),
                                    static_cast<std::size_t>(text.size())},
                                   work))
    throw LoadError(kSvgNotValid);
  return std::make_unique<SvgPicture>(text);
}

bool SvgWithinLimits(std::span<const std::uint8_t> text, SvgWork& work) {
  // Each element, its parent and the element its <use> refers to, to count what is drawn.
  struct Element {
    std::int64_t parent;
    std::int64_t used = -1;
    std::uint64_t drawn = 0;  // the element with all below it, references followed
    std::uint64_t depth = 0;
    int state = 0;  // 0 not counted yet, 1 being counted, 2 counted
  };
  std::vector<Element> elements;
  std::vector<std::int64_t> open;
  std::vector<std::pair<std::int64_t, QString>> uses;
  std::unordered_map<QString, std::int64_t> ids;
  QXmlStreamReader xml(QByteArray::fromRawData(reinterpret_cast<const char*>(text.data()),
                                               static_cast<qsizetype>(text.size())));
  while (!xml.atEnd()) {
    const QXmlStreamReader::TokenType token = xml.readNext();
    if (token == QXmlStreamReader::Characters && !xml.isWhitespace()) {
      work.characters += static_cast<std::uint64_t>(xml.text().size());
      if (work.characters > kMaxSvgCharacters) return false;
      continue;
    }
    if (token == QXmlStreamReader::EndElement) {
      if (!open.empty()) open.pop_back();
      continue;
    }
    if (token != QXmlStreamReader::StartElement) continue;
    if (++work.elements > kMaxSvgElements || open.size() >= kMaxSvgDepth) return false;
    const auto index = static_cast<std::int64_t>(elements.size());
    elements.push_back({open.empty() ? -1 : open.back()});
    open.push_back(index);
    const QXmlStreamAttributes attributes = xml.attributes();
    for (const QXmlStreamAttribute& a : attributes) {
      const QStringView name = a.name();
      if (name == u"d" || name == u"points") {
        work.numbers += NumbersIn(a.value());
        if (work.numbers > kMaxSvgNumbers) return false;
      } else if (name == u"id") {
        ids.emplace(a.value().toString(), index);
      } else if (name == u"href" && xml.name() == u"use" && a.value().startsWith(u'#')) {
        uses.emplace_back(index, a.value().mid(1).toString());
      }
    }
  }
  for (const auto& [index, id] : uses) {
    const auto target = ids.find(id);
    if (target != ids.end()) elements[static_cast<std::size_t>(index)].used = target->second;
  }
  // What each element draws: itself, its children, and what its reference draws, counted without
  // recursion; a reference back to an element being counted is a cycle, which Qt refuses too.
  std::vector<std::vector<std::int64_t>> children(elements.size());
  for (std::size_t i = 0; i < elements.size(); ++i)
    if (elements[i].parent >= 0)
      children[static_cast<std::size_t>(elements[i].parent)].push_back(
          static_cast<std::int64_t>(i));
  const std::uint64_t saturated = kMaxSvgElements + 1;
  std::vector<std::int64_t> stack;
  for (std::size_t root = 0; root < elements.size(); ++root) {
    if (elements[root].parent >= 0 || elements[root].state == 2) continue;
    stack.push_back(static_cast<std::int64_t>(root));
    while (!stack.empty()) {
      Element& e = elements[static_cast<std::size_t>(stack.back())];
      const auto& below = children[static_cast<std::size_t>(stack.back())];
      if (e.state == 0) {
        e.state = 1;
        for (const std::int64_t c : below) {
          if (elements[static_cast<std::size_t>(c)].state == 0) stack.push_back(c);
        }
        if (e.used >= 0) {
          const Element& u = elements[static_cast<std::size_t>(e.used)];
          if (u.state == 1) return false;
          if (u.state == 0) stack.push_back(e.used);
        }
        continue;
      }
      stack.pop_back();
      if (e.state == 2) continue;
      e.state = 2;
      e.drawn = 1;
      e.depth = 1;
      auto add = [&](std::int64_t other) {
        const Element& o = elements[static_cast<std::size_t>(other)];
        e.drawn = std::min(saturated, e.drawn + o.drawn);
        e.depth = std::max(e.depth, o.depth + 1);
      };
      for (const std::int64_t c : below) add(c);
      if (e.used >= 0) {
        if (elements[static_cast<std::size_t>(e.used)].state != 2) return false;  // a cycle
        add(e.used);
      }
      if (e.depth > kMaxSvgDepth) return false;
    }
    work.drawn = std::min(saturated, work.drawn + elements[root].drawn);
    if (work.drawn > kMaxSvgElements) return false;
  }
  return true;
}

}  // namespace picture
