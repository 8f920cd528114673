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

}  // namespace

TStatusPanel::TStatusPanel(QWidget* parent) : QLabel(parent) {
  setTextFormat(Qt::PlainText);
}

const TStatusPanel::Run& TStatusPanel::Shaped(QStringView piece) const {
  auto found = m_runs.find(piece);
  if (found != m_runs.end()) return found->second;
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
    run.advance = line.naturalTextWidth();
    run.ascent = line.ascent();
    run.descent = line.descent();
    run.usable = true;
  }
  return m_runs.emplace(piece.toString(), run).first->second;
}

bool TStatusPanel::SplitIntoRuns(const QString& text, Runs& runs) const {
  if (text.isEmpty()) return false;
  qsizetype start = 0;
  while (start < text.size()) {
    const bool digits = IsDigit(text[start]);
    qsizetype end = start + 1;
    while (end < text.size() && IsDigit(text[end]) == digits) ++end;
    // Digits meet the other runs only at a space or an end of the text.
    if (digits &&
        ((start > 0 && text[start - 1] != u' ') || (end < text.size() && text[end] != u' ')))
      return false;
    const Run& run = Shaped(QStringView(text).sliced(start, end - start));
    if (!run.usable) return false;
    if (!runs.isEmpty() &&
        (run.ascent != runs.front()->ascent || run.descent != runs.front()->descent ||
         run.glyphs.rawFont() != runs.front()->glyphs.rawFont()))
      return false;
    runs.append(&run);
    start = end;
  }
  return true;
}

bool TStatusPanel::LaidOut(Line& line) const {
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
  if (m_runs.size() >= kMostRuns) m_runs.clear();
  if (!SplitIntoRuns(shown, line.runs)) return false;

  // The text's rectangle as QLabel finds it: inside the frame and the margin, and with a frame
  // but no indent set, half an 'x' in from the left.
  line.area = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
  int indentation = indent();
  if (indentation < 0 && frameWidth())
    indentation = fontMetrics().horizontalAdvance(u'x') / 2 - margin();
  if (indentation > 0) line.area.setLeft(line.area.left() + indentation);

  // The line centred vertically as QPainter::drawText centres it; its top is kept in 1/64 of a
  // pixel there, which a half of an odd 64th would not be.
  line.height = line.runs.front()->ascent + line.runs.front()->descent;
  line.width = 0;
  for (const Run* run : line.runs) line.width += run->advance;
  line.top = line.area.y() + (line.area.height() - line.height) / 2;
  return std::floor(line.top * 64) == line.top * 64;
}

bool TStatusPanel::DrawsFromRuns() const {
  Line line;
  return LaidOut(line);
}

void TStatusPanel::paintEvent(QPaintEvent* event) {
  Line line;
  if (!LaidOut(line)) {
    QLabel::paintEvent(event);
    return;
  }
  QPainter painter(this);
  // A new text repaints the contents only; the frame lies outside them.
  if (!contentsRect().contains(event->rect())) drawFrame(&painter);
  QStyleOption option;
  option.initFrom(this);
  painter.setPen(QPen(option.palette.brush(foregroundRole()), painter.pen().widthF()));
  // Clipped to the text's rectangle, as drawText clips, only when the line does not fit in it.
  const bool clipped =
      !QRectF(line.area).contains(QRectF(line.area.x(), line.top, line.width, line.height));
  if (clipped) painter.setClipRect(line.area, Qt::IntersectClip);
  if (painter.pen().brush().style() == Qt::SolidPattern &&
      DrawPixels(painter, line, painter.pen().color(), clipped)) {
    ++m_pixelPaints;
    return;
  }
  // Else one run of glyphs for the line, each run's glyphs moved along by the runs before it.
  QVarLengthArray<quint32, 32> indexes;
  QVarLengthArray<QPointF, 32> positions;
  qreal x = 0;
  for (const Run* run : line.runs) {
    const QList<quint32> runIndexes = run->glyphs.glyphIndexes();
    const QList<QPointF> runPositions = run->glyphs.positions();
    indexes.append(runIndexes.constData(), runIndexes.size());
    for (QPointF at : runPositions) positions.append(at + QPointF(x, 0));
    x += run->advance;
  }
  QGlyphRun glyphs;
  glyphs.setRawFont(line.runs.front()->glyphs.rawFont());
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
                              bool clipped) {
  // Only over the plain background the panel fills itself with, into a picture of one of the
  // formats the window is painted in, moved by whole pixels only.
  const QBrush fill = palette().brush(backgroundRole());
  QPaintDevice* device = painter.paintEngine() ? painter.paintEngine()->paintDevice() : nullptr;
  const QTransform& moved = painter.deviceTransform();
  if (!autoFillBackground() || fill.style() != Qt::SolidPattern || fill.color().alpha() != 255 ||
      !device || device->devType() != QInternal::Image || moved.type() > QTransform::TxTranslate ||
      moved.dx() != std::floor(moved.dx()) || moved.dy() != std::floor(moved.dy()))
    return false;
  const QImage::Format format = static_cast<QImage*>(device)->format();
  if (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32 &&
      format != QImage::Format_ARGB32_Premultiplied)
    return false;
  if (pen != m_pixelsPen || fill.color() != m_pixelsBackground || format != m_pixelsFormat ||
      line.top != m_pixelsTop || m_pixelsKept > kMostPixels) {
    for (auto& [piece, run] : m_runs) run.pixels.clear();
    m_pixelsPen = pen;
    m_pixelsBackground = fill.color();
    m_pixelsFormat = format;
    m_pixelsTop = line.top;
    m_pixelsKept = 0;
  }
  QVarLengthArray<std::pair<QPoint, const Pixels*>, 8> placed;
  qreal x = line.area.x();
  const int top = int(std::floor(line.top));
  for (const Run* run : line.runs) {
    const qreal left = std::floor(x);
    const Pixels& pixels = RunPixels(*run, int((x - left) * 64), line.top, pen);
    if (!pixels.usable) return false;
    x += run->advance;
    if (pixels.image.isNull()) continue;
    const QRect at(QPoint(int(left), top) + pixels.offset, pixels.image.size());
    // Each run's pixels land on the background alone: not on another run's, nor, unclipped, on
    // the frame.
    if (!clipped && !contentsRect().contains(at)) return false;
    for (const auto& [other, otherPixels] : placed)
      if (at.intersects(QRect(other, otherPixels->image.size()))) return false;
    placed.append({at.topLeft(), &pixels});
  }
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  for (const auto& [at, pixels] : placed) painter.drawImage(at, pixels->image);
  return true;
}

void TStatusPanel::changeEvent(QEvent* event) {
  // Shaped glyphs belong to a font at a resolution.
  if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
    m_runs.clear();
    m_pixelsKept = 0;
  }
  QLabel::changeEvent(event);
}
