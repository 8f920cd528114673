// What the program does to start fast and light, gathered here with the gain each was measured
// to give (startup_bench: Dotwright's probe against the same probe without the measure, 31 to 81
// alternated rounds, three times; the median of the rounds' paired differences, on the offscreen
// platform unless said otherwise; two shared cores under a load of about six):
//
//   1. Fonts named by installed family only (InstalledFamily below): a family the system lacks
//      sends the font lookup through its search for substitutes, a sort of every font installed,
//      for each missing name. Gain: 2.1 ms to the first board (0.8 to 4.2 ms), 1.0 to 1.5 ms of
//      CPU.
//   2. Icons drawn when painted, at the size painted (DrawingIconEngine below): nothing is
//      rendered for hidden buttons and windows not yet opened. Gain: 1.7 ms to the first board
//      (1.3 to 1.9 ms), 1.5 ms of CPU and 0.2 MB of peak memory.
//   3. The board surface takes memory only for the rows a board has covered; the rows below it
//      share one row (model::PaletteCanvas::SetRowHeads, used by board::DrawBoard). Gain: 4.2 MB
//      of peak memory (the first board holds 0.5 MB instead of 4.9 MB).
//   4. The About box, the array window and the import dialog are made when one of them is first
//      wanted, not at start-up (CreateDialogs, Forms.cpp). Gain: 5.0 to 6.3 ms to the first board
//      (under Xvfb 0.8 to 9.1 ms, median 1.5 ms), 2.9 to 3.2 ms of CPU, 2.0 MB of peak memory.
//   5. The import dialog's source view takes its raster when it first draws a picture
//      (TPictureImage, RasterImage.cpp). Gain: 0.3 MB (0.26 to 0.31 MB) and 0.4 ms, measured
//      when the dialogs were still made at start-up; now it spares the dialog's first opening.
//
// Measured and found to give under 1 ms, so no longer done: the font configuration read and the
// board surface made on a second thread while the toolkit started (0.1 to 0.2 ms, under Xvfb as
// well; it cost 0.2 MB of peak memory), the About box's labels sized and its picture drawn only
// when first shown (0.2 ms, 0.45 ms of CPU), and each icon's rendered pictures kept for its later
// paints (no gain at start-up, 0.2 ms of CPU).
//
// The window icon is offered to the desktop in its two drawn sizes only (availableSizes below):
// that saves under 1 ms, and stays because the desktop is to receive those drawings and no
// enlargements of them.

#include <QApplication>
#include <QFontDatabase>
#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QStyleOption>
#include <QSvgRenderer>
#include <algorithm>
#include <map>
#include <memory>

#include "windows/Controls.h"

namespace {

// The first of `families` that is installed, else the last. Naming only an installed family spares
// the font lookup its search for substitutes (a sort of every font on the system) for each
// missing name, at start-up.
QString InstalledFamily(const QStringList& families) {
  const QStringList installed = QFontDatabase::families();
  for (const QString& family : families) {
    if (installed.contains(family, Qt::CaseInsensitive)) return family;
  }
  return families.back();
}

}  // namespace

QFont FormFont() {
  static const QString family =
      InstalledFamily({"MS Sans Serif", "Microsoft Sans Serif", "Liberation Sans", "DejaVu Sans"});
  QFont font(family);
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(11);
  return font;
}

QFont MemoFont() {
  static const QString family =
      InstalledFamily({"Courier New", "Liberation Mono", "DejaVu Sans Mono"});
  QFont font(family);
  font.setStyleHint(QFont::Monospace);
  font.setFixedPitch(true);
  font.setPixelSize(11);
  return font;
}

namespace {

// An icon drawn from the program's SVG drawings whenever it is painted, at the size painted; each
// drawing is parsed once, when first needed. Nothing is rendered for icons that are never shown
// (hidden buttons, windows not yet opened), which keeps start-up short.
class DrawingIconEngine : public QIconEngine {
 public:
  struct Drawing {
    QString name;  // resource under :/icons, without ".svg"
    QIcon::Mode mode;
  };

  explicit DrawingIconEngine(QList<Drawing> drawings) : m_drawings(std::move(drawings)) {}

  QIconEngine* clone() const override { return new DrawingIconEngine(m_drawings); }

  QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State) override {
    // Scaled to fit, so a dense screen asking for twice the size gets a sharp drawing.
    const QSize own = DefaultSize(Pick(mode, size));
    return own.isEmpty() ? size : own.scaled(size, Qt::KeepAspectRatio);
  }

  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    const QSize actual = actualSize(size, mode, state);
    const Drawing* drawing = Pick(mode, size);
    QPixmap pixmap(actual);
    pixmap.fill(Qt::transparent);
    if (drawing != nullptr) {
      QPainter painter(&pixmap);
      Renderer(*drawing).render(&painter);
    }
    if (mode != QIcon::Normal && (drawing == nullptr || drawing->mode != mode)) {
      QStyleOption option;
      option.palette = QGuiApplication::palette();
      pixmap = QApplication::style()->generatedIconPixmap(mode, pixmap, &option);
    }
    return pixmap;
  }

  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
    painter->drawPixmap(rect, pixmap(rect.size(), mode, state));
  }

  // The drawings' own sizes. A window icon goes to the desktop in these sizes only; offering none,
  // it would be rendered at four sizes, two of them large, as the window first appears.
  QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State) override {
    const QIcon::Mode wanted = DrawnMode(mode);
    QList<QSize> sizes;
    for (const Drawing& drawing : m_drawings) {
      if (drawing.mode == wanted) sizes.push_back(DefaultSize(&drawing));
    }
    return sizes;
  }

 private:
  static QString Path(const Drawing& drawing) { return ":/icons/" + drawing.name + ".svg"; }

  // Each drawing is parsed once, when first needed.
  QSvgRenderer& Renderer(const Drawing& drawing) {
    std::unique_ptr<QSvgRenderer>& renderer = m_renderers[drawing.name];
    if (!renderer) renderer = std::make_unique<QSvgRenderer>(Path(drawing));
    return *renderer;
  }

  QSize DefaultSize(const Drawing* drawing) {
    return drawing == nullptr ? QSize() : Renderer(*drawing).defaultSize();
  }

  // The mode whose drawings serve `mode`: its own, or the normal one when it has none.
  QIcon::Mode DrawnMode(QIcon::Mode mode) const {
    const bool hasMode = std::any_of(m_drawings.cbegin(), m_drawings.cend(),
                                     [&](const Drawing& d) { return d.mode == mode; });
    return hasMode ? mode : QIcon::Normal;
  }

  // The drawing for the mode whose own size is the smallest that covers `size`, or else the
  // largest.
  const Drawing* Pick(QIcon::Mode mode, const QSize& size) {
    const QIcon::Mode wanted = DrawnMode(mode);
    const Drawing* smallestCovering = nullptr;
    const Drawing* largest = nullptr;
    for (const Drawing& drawing : m_drawings) {
      if (drawing.mode != wanted) continue;
      const QSize own = DefaultSize(&drawing);
      const bool covers = own.width() >= size.width() && own.height() >= size.height();
      if (covers &&
          (smallestCovering == nullptr || own.width() < DefaultSize(smallestCovering).width())) {
        smallestCovering = &drawing;
      }
      if (largest == nullptr || own.width() > DefaultSize(largest).width()) largest = &drawing;
    }
    return smallestCovering != nullptr ? smallestCovering : largest;
  }

  QList<Drawing> m_drawings;
  std::map<QString, std::unique_ptr<QSvgRenderer>> m_renderers;
};

}  // namespace

QIcon LoadIcon(const QString& name, const QString& disabledName) {
  QList<DrawingIconEngine::Drawing> drawings{{name, QIcon::Normal}};
  if (!disabledName.isEmpty()) drawings.push_back({disabledName, QIcon::Disabled});
  return QIcon(new DrawingIconEngine(std::move(drawings)));
}

QIcon WindowIcon() {
  return QIcon(
      new DrawingIconEngine({{"dotwright32", QIcon::Normal}, {"dotwright16", QIcon::Normal}}));
}

