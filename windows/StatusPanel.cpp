#include "windows/StatusPanel.h"

#include <algorithm>
#include <cmath>

#include <QApplication>
#include <QEvent>
#include <QPaintEngine>
#include <QPainter>
#include <QStyleOption>
#include <QTextLayout>

namespace {

// Far more distinct runs than the readout has (a number for each of 320 columns, two captions):
// past it the kept runs are dropped and shaped again as they come.
constexpr std::size_t kMostRuns = 4096;
// Far more runs' pixels than the readout needs (its numbers land at a few fractions of a pixel).
constexpr int kMostPixels = 8192;

bool IsDigit(QChar c) {
  return c >= u'0' && c <= u'9';
}

bool AllDigits(QStringView piece) {
  return std::all_of(piece.begin(), piece.end(), IsDigit);
}

}  // namespace

TStatusPanel::TStatusPanel(QWidget* parent) : QLabel(parent) {
  setTextFormat(Qt::PlainText);
}

TStatusPanel::Run TStatusPanel::Shape(QStringView piece) const {
  ++m_shapes;
  Run run;
  // Laid out as QPainter::drawText lays out a line of a label: left to right, trailing spaces
  // counted in its width.
  QTextLayout layout(piece.toString(), font(), const_cast<TStatusPanel*>(this));
  QTextOption option;
  option.setTextDirection(Qt::LeftToRight);
  option.setFlags(QTextOption::IncludeTrailingSpaces);
  layout.setTextOption(option);
  layout.setCacheEnabled(true);
  layout.beginLayout();
  QTextLine line = layout.createLine();
  line.setLineWidth(0x01000000);
  const bool oneLine = !layout.createLine().isValid();
  layout.endLayout();
  const QList<QGlyphRun> glyphs = layout.glyphRuns();
  if (oneLine && glyphs.size() == 1 && line.textLength() == piece.size()) {
    run.glyphs = glyphs.front();
    run.font = run.glyphs.rawFont();
    run.advance = line.naturalTextWidth();
    run.ascent = line.ascent();
    run.descent = line.descent();
    run.usable = true;
  }
  return run;
}

const TStatusPanel::Run& TStatusPanel::Shaped(QStringView piece) const {
  auto found = m_runs.find(piece);
  if (found != m_runs.end()) return found->second;
  Run run = piece.size() > 1 && AllDigits(piece) && SetsNumbersFromDigits() ? Number(piece)
                                                                             : Shape(piece);
  return m_runs.emplace(piece.toString(), std::move(run)).first->second;
}

bool TStatusPanel::SetsNumbersFromDigits() const {
  if (m_numbersFromDigits >= 0) return m_numbersFromDigits;
  m_numbersFromDigits = 0;
  // Each digit alone: one glyph in the same font, on the same line.
  const Run* digits[10];
  for (int d = 0; d < 10; ++d) {
    const QChar digit(u'0' + d);
    digits[d] = &Shaped(QStringView(&digit, 1));
    if (!digits[d]->usable || digits[d]->glyphs.glyphIndexes().size() != 1 ||
        digits[d]->ascent != digits[0]->ascent || digits[d]->descent != digits[0]->descent ||
        digits[d]->font != digits[0]->font)
      return false;
  }
  // Every ordered pair of digits side by side, 00 01 ... 99, most of them also in a second
  // context across the pairs' joins: each glyph must be its digit's own, and each pair of
  // neighbours spaced alike wherever it stands. Kerning and joining act between neighbours, so a
  // number of any length then sets as its digits and their pairs do.
  QString pairs;
  for (int i = 0; i < 100; ++i) {
    pairs += QChar(u'0' + i / 10);
    pairs += QChar(u'0' + i % 10);
  }
  const Run together = Shape(pairs);
  if (!together.usable || together.font != digits[0]->font ||
      together.ascent != digits[0]->ascent || together.descent != digits[0]->descent)
    return false;
  const QList<quint32> indexes = together.glyphs.glyphIndexes();
  const QList<QPointF> positions = together.glyphs.positions();
  if (indexes.size() != pairs.size() || positions.size() != pairs.size()) return false;
  bool known[10][10] = {};
  // Where each glyph's digit alone would put its origin.
  const auto origin = [&](qsizetype i, const Run& digit) {
    return positions[i] - digit.glyphs.positions().front();
  };
  for (qsizetype i = 0; i < pairs.size(); ++i) {
    const int d = pairs[i].unicode() - u'0';
    if (indexes[i] != digits[d]->glyphs.glyphIndexes().front() ||
        origin(i, *digits[d]).y() != 0 || (i == 0 && origin(i, *digits[d]).x() != 0))
      return false;
    if (i + 1 == pairs.size()) {
      if (together.advance != origin(i, *digits[d]).x() + digits[d]->advance) return false;
      break;
    }
    const int next = pairs[i + 1].unicode() - u'0';
    const qreal spacing = origin(i + 1, *digits[next]).x() - origin(i, *digits[d]).x() -
                          digits[d]->advance;
    if (known[d][next] && m_digitPairs[d][next] != spacing) return false;
    known[d][next] = true;
    m_digitPairs[d][next] = spacing;
  }
  std::copy(std::begin(digits), std::end(digits), m_digits);
  m_numbersFromDigits = 1;
  return true;
}

TStatusPanel::Run TStatusPanel::Number(QStringView number) const {
  QVarLengthArray<quint32, 8> indexes;
  QVarLengthArray<QPointF, 8> positions;
  qreal x = 0;
  for (qsizetype i = 0; i < number.size(); ++i) {
    const int d = number[i].unicode() - u'0';
    const Run& digit = *m_digits[d];
    indexes.append(digit.glyphs.glyphIndexes().front());
    positions.append(digit.glyphs.positions().front() + QPointF(x, 0));
    x += digit.advance;
    if (i + 1 < number.size()) x += m_digitPairs[d][number[i + 1].unicode() - u'0'];
  }
  const Run& first = *m_digits[number.front().unicode() - u'0'];
  Run run;
  run.font = first.font;
  run.glyphs.setRawFont(first.font);
  run.glyphs.setGlyphIndexes(QList<quint32>(indexes.begin(), indexes.end()));
  run.glyphs.setPositions(QList<QPointF>(positions.begin(), positions.end()));
  run.advance = x;
  run.ascent = first.ascent;
  run.descent = first.descent;
  run.usable = true;
  return run;
}

bool TStatusPanel::SplitIntoRuns(const QString& text, Line& line, bool digitRuns) const {
  if (text.isEmpty()) return false;
  qreal x = 0;
  const auto add = [&line, &x](const Run& run) {
    if (!run.usable) return false;
    if (!line.runs.isEmpty() &&
        (run.ascent != line.runs.front()->ascent || run.descent != line.runs.front()->descent ||
         run.font != line.runs.front()->font))
      return false;
    line.runs.append(&run);
    line.lefts.append(x);
    x += run.advance;
    return true;
  };
  qsizetype start = 0;
  while (start < text.size()) {
    const bool digits = IsDigit(text[start]);
    qsizetype end = start + 1;
    while (end < text.size() && IsDigit(text[end]) == digits) ++end;
    // Digits meet the other runs only at a space or an end of the text.
    if (digits &&
        ((start > 0 && text[start - 1] != u' ') || (end < text.size() && text[end] != u' ')))
      return false;
    const QStringView piece = QStringView(text).sliced(start, end - start);
    if (digits && piece.size() > 1 && digitRuns && SetsNumbersFromDigits()) {
      line.digitRuns = true;
      for (qsizetype i = 0; i < piece.size(); ++i) {
        if (i > 0) x += m_digitPairs[piece[i - 1].unicode() - u'0'][piece[i].unicode() - u'0'];
        if (!add(*m_digits[piece[i].unicode() - u'0'])) return false;
      }
    } else if (!add(Shaped(piece))) {
      return false;
    }
    start = end;
  }
  line.width = x;
  return true;
}

bool TStatusPanel::LaidOut(Line& line, bool digitRuns) const {
  const QString shown = text();
  // What QLabel would draw otherwise: a style sheet's colours or frame, the disabled look, a
  // mnemonic, a wrapped or rich text, a right-to-left line, a scaled painter, control characters.
  if (!isEnabled() || !styleSheet().isEmpty() || !qApp->styleSheet().isEmpty() || buddy() ||
      wordWrap() || textFormat() != Qt::PlainText || shown.isRightToLeft() ||
      layoutDirection() != Qt::LeftToRight || devicePixelRatio() != 1 ||
      alignment() != (Qt::AlignLeft | Qt::AlignVCenter))
    return false;
  for (QChar c : shown)
    if (c < u' ') return false;
  if (!SplitIntoRuns(shown, line, digitRuns)) return false;

  // The text's rectangle as QLabel finds it: inside the frame and the margin, and with a frame
  // but no indent set, half an 'x' in from the left.
  line.area = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
  int indentation = indent();
  if (indentation < 0 && frameWidth()) {
    if (m_xAdvance < 0) m_xAdvance = fontMetrics().horizontalAdvance(u'x');
    indentation = m_xAdvance / 2 - margin();
  }
  if (indentation > 0) line.area.setLeft(line.area.left() + indentation);

  // The line centred vertically as QPainter::drawText centres it; its top is kept in 1/64 of a
  // pixel there, which a half of an odd 64th would not be.
  line.height = line.runs.front()->ascent + line.runs.front()->descent;
  line.top = line.area.y() + (line.area.height() - line.height) / 2;
  return std::floor(line.top * 64) == line.top * 64;
}

bool TStatusPanel::Clipped(const Line& line) {
  return !QRectF(line.area).contains(QRectF(line.area.x(), line.top, line.width, line.height));
}

bool TStatusPanel::DrawsFromRuns() const {
  Line line;
  return LaidOut(line);
}

bool TStatusPanel::PlainBackground() const {
  const QBrush fill = palette().brush(backgroundRole());
  return autoFillBackground() && fill.style() == Qt::SolidPattern && fill.color().alpha() == 255 &&
         !testAttribute(Qt::WA_StyledBackground);
}

void TStatusPanel::paintEvent(QPaintEvent* event) {
  // Over a plain background the panel fills its background itself, as the toolkit would, in the
  // painting it does anyway: the toolkit's own fill takes a painter of its own.
  const bool fills = testAttribute(Qt::WA_OpaquePaintEvent);
  Paint(event, fills);
  const bool plain = PlainBackground();
  if (fills == plain) return;
  setAttribute(Qt::WA_OpaquePaintEvent, plain);
  // No longer filled (which tells no change event): painted again over what lies beneath.
  if (fills) update();
}

void TStatusPanel::Paint(QPaintEvent* event, bool fill) {
  // Dropped between paints only: a line holds pointers to its runs.
  if (m_runs.size() >= kMostRuns) ClearRuns();
  Line line;
  if (!LaidOut(line)) {
    if (fill) {
      QPainter background(this);
      FillBackground(background, event->region());
    }
    QLabel::paintEvent(event);
    return;
  }
  QPainter painter(this);
  if (fill) FillBackground(painter, event->region());
  // A new text repaints the contents only; the frame lies outside them.
  if (!contentsRect().contains(event->rect())) drawFrame(&painter);
  QStyleOption option;
  option.initFrom(this);
  painter.setPen(QPen(option.palette.brush(foregroundRole()), painter.pen().widthF()));
  // Clipped to the text's rectangle, as drawText clips, only when the line does not fit in it.
  const bool clipped = Clipped(line);
  if (painter.pen().brush().style() == Qt::SolidPattern) {
    // Where two digits' pixels meet, their numbers' own pixels.
    Line whole;
    if (DrawPixels(painter, line, painter.pen().color(), clipped, event->rect()) ||
        (line.digitRuns && LaidOut(whole, false) &&
         DrawPixels(painter, whole, painter.pen().color(), clipped, event->rect()))) {
      ++m_pixelPaints;
      return;
    }
  }
  if (clipped) painter.setClipRect(line.area, Qt::IntersectClip);
  // Else one run of glyphs for the line, each run's glyphs moved along to where the run begins.
  QVarLengthArray<quint32, 32> indexes;
  QVarLengthArray<QPointF, 32> positions;
  for (qsizetype i = 0; i < line.runs.size(); ++i) {
    const QList<quint32> runIndexes = line.runs[i]->glyphs.glyphIndexes();
    const QList<QPointF> runPositions = line.runs[i]->glyphs.positions();
    indexes.append(runIndexes.constData(), runIndexes.size());
    for (QPointF at : runPositions) positions.append(at + QPointF(line.lefts[i], 0));
  }
  QGlyphRun glyphs;
  glyphs.setRawFont(line.runs.front()->font);
  glyphs.setRawData(indexes.constData(), positions.constData(), int(indexes.size()));
  painter.drawGlyphRun(QPointF(line.area.x(), line.top), glyphs);
}

const TStatusPanel::Pixels& TStatusPanel::RunPixels(const Run& run, int subpixel, qreal top,
                                                    const QColor& pen) {
  auto found = run.pixels.constFind(subpixel);
  if (found != run.pixels.constEnd()) return *found;
  // Drawn with room all round; ink reaching the picture's edge may have been cut.
  constexpr int kRoom = 8;
  const QSize size(int(std::ceil(run.advance)) + 2 * kRoom + 1,
                   int(std::ceil(run.ascent + run.descent)) + 2 * kRoom + 1);
  QImage image(size, m_pixelsFormat);
  image.fill(m_pixelsBackground);
  {
    QPainter painter(&image);
    painter.setPen(pen);
    painter.drawGlyphRun(QPointF(kRoom + subpixel / 64.0, kRoom + top - std::floor(top)),
                         run.glyphs);
  }
  // The ink's bounds, row by row. Every format kept is 32 bits a pixel, and over the opaque
  // background every pixel stays opaque, so the stored values compare as the colours do.
  const int width = size.width();
  const QRgb background = *reinterpret_cast<const QRgb*>(image.constScanLine(0));
  int left = width, right = -1, upper = size.height(), lower = -1;
  for (int y = 0; y < size.height(); ++y) {
    const QRgb* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    int first = 0;
    while (first < width && row[first] == background) ++first;
    if (first == width) continue;
    int last = width - 1;
    while (row[last] == background) --last;
    left = std::min(left, first);
    right = std::max(right, last);
    upper = std::min(upper, y);
    lower = y;
  }
  Pixels pixels;
  pixels.usable =
      right < 0 || (left > 0 && upper > 0 && right < size.width() - 1 && lower < size.height() - 1);
  if (right >= 0) {
    pixels.image = image.copy(left, upper, right - left + 1, lower - upper + 1);
    pixels.offset = QPoint(left - kRoom, upper - kRoom);
  }
  ++m_pixelsKept;
  return *run.pixels.insert(subpixel, pixels);
}

bool TStatusPanel::DrawPixels(QPainter& painter, const Line& line, const QColor& pen,
                              bool clipped, const QRect& exposed) {
  // Only over the plain background the panel fills itself with, into a picture of one of the
  // formats the window is painted in, moved by whole pixels only.
  QPaintDevice* device = painter.paintEngine() ? painter.paintEngine()->paintDevice() : nullptr;
  const QTransform& moved = painter.deviceTransform();
  if (!PlainBackground() || !device || device->devType() != QInternal::Image ||
      moved.type() > QTransform::TxTranslate ||
      moved.dx() != std::floor(moved.dx()) || moved.dy() != std::floor(moved.dy()))
    return false;
  const QImage::Format format = static_cast<QImage*>(device)->format();
  if (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32 &&
      format != QImage::Format_ARGB32_Premultiplied)
    return false;
  const QColor fill = palette().color(backgroundRole());
  if (pen != m_pixelsPen || fill != m_pixelsBackground || format != m_pixelsFormat ||
      line.top != m_pixelsTop || m_pixelsKept > kMostPixels) {
    for (auto& [piece, run] : m_runs) run.pixels.clear();
    m_pixelsPen = pen;
    m_pixelsBackground = fill;
    m_pixelsFormat = format;
    m_pixelsTop = line.top;
    m_pixelsKept = 0;
  }
  QVarLengthArray<std::pair<QPoint, const Pixels*>, 16> placed;
  const int top = int(std::floor(line.top));
  for (qsizetype i = 0; i < line.runs.size(); ++i) {
    const qreal x = line.area.x() + line.lefts[i];
    const qreal left = std::floor(x);
    const Pixels& pixels = RunPixels(*line.runs[i], int((x - left) * 64), line.top, pen);
    if (!pixels.usable) return false;
    if (pixels.image.isNull()) continue;
    const QRect at(QPoint(int(left), top) + pixels.offset, pixels.image.size());
    // Each run's pixels land on the background alone: not on another run's, nor, unclipped, on
    // the frame.
    if (!clipped && !contentsRect().contains(at)) return false;
    for (const auto& [other, otherPixels] : placed)
      if (at.intersects(QRect(other, otherPixels->image.size()))) return false;
    placed.append({at.topLeft(), &pixels});
  }
  // Pixels inside the text's rectangle need no clip.
  if (clipped &&
      std::any_of(placed.begin(), placed.end(), [&line](const auto& one) {
        return !line.area.contains(QRect(one.first, one.second->image.size()));
      }))
    painter.setClipRect(line.area, Qt::IntersectClip);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  for (const auto& [at, pixels] : placed)
    if (exposed.intersects(QRect(at, pixels->image.size()))) painter.drawImage(at, pixels->image);
  return true;
}

void TStatusPanel::FillBackground(QPainter& painter, const QRegion& region) const {
  const QColor fill = palette().color(backgroundRole());
  for (const QRect& rect : region) painter.fillRect(rect, fill);
}

void TStatusPanel::ClearRuns() const {
  m_runs.clear();
  // The digits' runs were among them.
  m_numbersFromDigits = -1;
}

void TStatusPanel::changeEvent(QEvent* event) {
  // The toolkit fills a background that may no longer be plain.
  if (testAttribute(Qt::WA_OpaquePaintEvent) && !PlainBackground())
    setAttribute(Qt::WA_OpaquePaintEvent, false);
  // Shaped glyphs belong to a font at a resolution.
  if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
    ClearRuns();
    m_pixelsKept = 0;
    m_xAdvance = -1;
  }
  QLabel::changeEvent(event);
}
