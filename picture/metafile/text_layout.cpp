#include <QFontMetricsF>
#include <QRawFont>
#include <algorithm>
#include <cmath>
#include <numbers>

#include "picture/metafile/budget.h"
#include "picture/metafile/player.h"

namespace picture::gdi {

using namespace metafile;

namespace {

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

std::optional<Player::TextLayout> Player::LayOutText(QPointF p, const QString& text,
                                                     const std::vector<double>& dx) {
  double em = 0;
  double xScale = 1;
  double angle = 0;
  QFont font = MakeFont(&em, &xScale, &angle);
  TextLayout out;
  if (!(em >= 1) || em > kMaxFontPixels || !std::isfinite(xScale)) return std::nullopt;
  font.setPixelSize(std::max(1, static_cast<int>(std::lround(em))));
  QRawFont& raw = out.raw;
  raw = QRawFont::fromFont(font);
  const bool useRaw = raw.isValid();
  if (useRaw) raw.setPixelSize(em);
  const QFontMetricsF metrics(font);
  const double ascent = useRaw ? raw.ascent() : metrics.ascent();
  const double descent = useRaw ? raw.descent() : metrics.descent();

  // Advances along the baseline in the local frame.
  const QTransform& m = Matrix();
  const double sx = std::hypot(m.m11(), m.m12());
  QList<quint32>& glyphs = out.glyphs;
  glyphs = useRaw ? raw.glyphIndexesForString(text) : QList<quint32>{};
  out.allGlyphs = useRaw && glyphs.size() == text.size() &&
                  std::none_of(glyphs.begin(), glyphs.end(), [](quint32 g) { return g == 0; });
  std::vector<double>& advances = out.advances;
  advances.resize(static_cast<std::size_t>(text.size()));
  if (!dx.empty()) {
    for (qsizetype i = 0; i < text.size(); ++i) {
      const double d = i < static_cast<qsizetype>(dx.size()) ? dx[static_cast<std::size_t>(i)] : 0;
      advances[static_cast<std::size_t>(i)] = Bounded(d * sx / xScale);
    }
  } else if (out.allGlyphs) {
    const QList<QPointF> natural = raw.advancesForGlyphIndexes(glyphs);
    for (qsizetype i = 0; i < natural.size(); ++i) {
      advances[static_cast<std::size_t>(i)] = natural[i].x();
    }
  } else {
    for (qsizetype i = 0; i < text.size(); ++i) {
      advances[static_cast<std::size_t>(i)] = metrics.horizontalAdvance(text[i]);
    }
  }
  double& width = out.width;
  for (double a : advances) width += a;

  const QPointF origin = (m_dc.textAlign & kTaUpdateCp) ? m_dc.position : Map(p);
  double& x0 = out.x0;
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
  double& baseline = out.baseline;
  baseline = ascent;
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
  QTransform& local = out.local;
  local.translate(origin.x(), origin.y());
  local.rotateRadians(angle);
  local.scale(xScale, 1);
  out.cell = QRectF(x0, baseline - ascent, width, ascent + descent);
  out.font = font;
  return out;
}

}  // namespace picture::gdi
