#include <QFontMetricsF>
#include <QGlyphRun>
#include <QRawFont>
#include <algorithm>
#include <cmath>

#include "picture/metafile/budget.h"
#include "picture/metafile/player.h"

namespace picture::gdi {

using namespace metafile;

void Player::TextOut(QPointF p, const QString& fullText, const std::vector<double>& dx,
                     std::uint32_t options, const std::optional<QRectF>& clipRect) {
  if (m_inPath) return;
  const QString text = fullText.left(kMaxTextLength);
  const QRectF clipBox = clipRect ? MapBox(*clipRect) : QRectF();
  if (clipRect && (options & kEtoOpaque) && !Collect(clipBox) && Spend(clipBox)) {
    ApplyClip();
    m_painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    m_painter.fillRect(clipBox, ToQColor(m_dc.bkColour));
  }
  if (text.isEmpty()) return;

  // The characters are charged before the font is looked up and laid out, which costs about as
  // much whether or not the text can then be drawn (a font too large is not).
  if (!m_budget.Spend(kCostPerCharacter * text.size())) return;
  const std::optional<TextLayout> layout = LayOutText(p, text, dx);
  if (!layout) return;
  const auto& [font, raw, glyphs, allGlyphs, advances, width, x0, baseline, local, cell] = *layout;
  if (m_dc.textAlign & kTaUpdateCp) {
    const double advance = (m_dc.textAlign & kTaHorizontalMask) == 0 ? width : 0;
    m_dc.position = local.map(QPointF(advance, 0));
  }
  if (Collect(local.mapRect(cell)) || !Spend(local.mapRect(cell))) return;

  ApplyClip();
  m_painter.save();
  if (clipRect && (options & kEtoClipped)) {
    m_painter.setClipRect(clipBox, Qt::IntersectClip);
  }
  m_painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
  m_painter.setTransform(local);
  if (m_dc.bkMode == kOpaque && !(options & kEtoOpaque)) {
    m_painter.fillRect(cell, ToQColor(m_dc.bkColour));
  }
  m_painter.setPen(ToQColor(m_dc.textColour));
  if (allGlyphs) {
    QList<QPointF> positions;
    positions.reserve(text.size());
    double x = x0;
    for (double a : advances) {
      positions.append(QPointF(x, baseline));
      x += a;
    }
    QGlyphRun run;
    run.setRawFont(raw);
    run.setGlyphIndexes(glyphs);
    run.setPositions(positions);
    run.setUnderline(m_dc.font.underline);
    run.setStrikeOut(m_dc.font.strikeOut);
    m_painter.drawGlyphRun(QPointF(0, 0), run);
  } else {
    // Characters the font lacks: let the font machinery find a substitute, one at a time.
    m_painter.setFont(font);
    double x = x0;
    for (qsizetype i = 0; i < text.size(); ++i) {
      m_painter.drawText(QPointF(x, baseline), QString(text[i]));
      x += advances[static_cast<std::size_t>(i)];
    }
  }
  m_painter.restore();
  m_clipApplied = false;
}

}  // namespace picture::gdi
