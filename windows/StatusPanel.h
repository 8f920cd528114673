#pragma once

#include <unordered_map>

#include <QGlyphRun>
#include <QHash>
#include <QImage>
#include <QLabel>
#include <QRawFont>
#include <QStringView>
#include <QVarLengthArray>

class QPaintEvent;

// A status bar panel: a frame and one line of plain text, shown pixel for pixel as a QLabel shows
// them. The pointer readout gets a new text for every cell the pointer enters, and laying such a
// text out (itemizing and shaping it) costs more than the rest of the move; this panel shapes each
// run of digits and each run of other characters once, keeps the glyphs, and draws a text from
// the runs it is made of at the places the whole line's layout gives them. That holds where runs
// meet at a space (no kerning or joining across it) in one font; any other text, and a panel
// shown in a way this drawing does not follow (disabled, styled, right to left, scaled), is
// painted by QLabel itself.
//
// Blending the glyphs into the window costs as much again. Over the panel's plain background each
// run gives the same pixels wherever it lands at the same fraction of a pixel, so the panel also
// keeps each run's pixels, drawn once over that background, and copies them in where the runs'
// pixels do not meet.
//
// Where the font sets a number as its digits alone, spaced by a fixed amount for each pair of
// neighbours (found once for each font from every pair side by side), a number is not shaped at
// all: its glyphs are put together from the ten digits'. Its pixels are those of its digits,
// each drawn once at a fraction of a pixel, where two digits' pixels do not meet, and else the
// number's own.
//
// A plain background (filled, one opaque colour) the panel fills itself, in the painting of the
// text: the toolkit's fill would begin a painting of its own for every new text.
class TStatusPanel : public QLabel {
 public:
  explicit TStatusPanel(QWidget* parent);

  // Whether the current text is drawn from the kept runs rather than by QLabel.
  bool DrawsFromRuns() const;
  // Whether numbers are put together from their digits in the current font.
  bool SetsNumbersFromDigits() const;
  // How many paints have copied kept pixels in rather than drawn glyphs.
  int PixelPaints() const { return m_pixelPaints; }
  // How many texts have been laid out by the toolkit to find their glyphs.
  int Shapes() const { return m_shapes; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  // A run's pixels over the background, and where they lie from the pixel its origin falls in.
  struct Pixels {
    QImage image;  // null: the run changes no pixel
    QPoint offset;
    bool usable = false;  // all its ink inside the picture it was drawn into
  };
  struct Run {
    // By the 64th of a pixel its origin lies right of a whole pixel.
    mutable QHash<int, Pixels> pixels;
    QGlyphRun glyphs;  // positioned from the run's own origin, on the line's baseline
    QRawFont font;     // the glyphs'
    qreal advance = 0;
    qreal ascent = 0;
    qreal descent = 0;
    bool usable = false;  // a single run of glyphs in one font
  };
  using Runs = QVarLengthArray<const Run*, 16>;
  // The line as drawn from runs: its runs in order and where each begins along the line, the
  // label's text rectangle, the line's top and size.
  struct Line {
    Runs runs;
    QVarLengthArray<qreal, 16> lefts;
    QRect area;
    qreal top = 0;
    qreal width = 0;
    qreal height = 0;
    bool digitRuns = false;  // a number is split into its digits' runs
  };
  // Whether the line reaches out of the text's rectangle, where it is cut off.
  static bool Clipped(const Line& line);
  // Filled with a solid colour of its own, which the panel may fill itself.
  bool PlainBackground() const;
  // `fill`: the toolkit leaves the background to the panel.
  void Paint(QPaintEvent* event, bool fill);
  void FillBackground(QPainter& painter, const QRegion& region) const;
  // False when QLabel is to paint the text. `digitRuns`: numbers split into their digits' runs
  // where the font allows.
  bool LaidOut(Line& line, bool digitRuns = true) const;
  // The text split into its runs, each shaped on first use; false when it cannot be drawn so.
  bool SplitIntoRuns(const QString& text, Line& line, bool digitRuns) const;
  Run Shape(QStringView piece) const;
  // A number's run put together from its digits'.
  Run Number(QStringView digits) const;
  const Run& Shaped(QStringView piece) const;
  // Drops the kept runs, and with them their pixels and the digits' runs.
  void ClearRuns() const;
  // Copies the line's kept pixels in; false when they cannot stand for the glyphs.
  // `clipped`: what falls outside the text's rectangle is cut off; `exposed`: the part painted.
  bool DrawPixels(QPainter& painter, const Line& line, const QColor& pen, bool clipped,
                  const QRect& exposed);
  const Pixels& RunPixels(const Run& run, int subpixel, qreal top, const QColor& pen);

  // Looked up by a view into the text, without copying the piece.
  struct PieceHash {
    using is_transparent = void;
    std::size_t operator()(QStringView piece) const noexcept { return qHash(piece); }
  };
  // Nodes stay in place as others are added: a line holds pointers to its runs.
  mutable std::unordered_map<QString, Run, PieceHash, std::equal_to<>> m_runs;
  // What the kept pixels were drawn with, and how many there are.
  QColor m_pixelsPen;
  QColor m_pixelsBackground;
  QImage::Format m_pixelsFormat = QImage::Format_Invalid;
  // Whether the font sets numbers from their digits: not yet known, no, yes; and how much
  // further than the first's advance each digit sets the next.
  mutable int m_numbersFromDigits = -1;
  mutable qreal m_digitPairs[10][10] = {};
  mutable const Run* m_digits[10] = {};  // each digit's run, among the kept runs, once known
  // The advance of an 'x', by which QLabel indents a framed text; -1: not yet known.
  mutable int m_xAdvance = -1;
  qreal m_pixelsTop = 0;
  int m_pixelsKept = 0;
  int m_pixelPaints = 0;
  mutable int m_shapes = 0;
};
