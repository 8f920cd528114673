#include "windows/Controls.h"

#include <qdrawutil.h>
#include <QApplication>
#include <QDialog>
#include <QFontDatabase>
#include <QHash>
#include <QIconEngine>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QStyleOption>
#include <QSvgRenderer>
#include <algorithm>
#include <map>
#include <memory>

namespace {

int BevelWidth(TPanel::Bevel bevel) {
  return bevel == TPanel::Bevel::None ? 0 : 1;
}

}  // namespace

TPanel::TPanel(QWidget* parent, Bevel outer, Bevel inner)
    : QFrame(parent), m_outer(outer), m_inner(inner) {
  // Opaque, as the board beneath the scroll bars' panels must not show through them.
  setAutoFillBackground(true);
  const int margin = BevelWidth(outer) + BevelWidth(inner);
  setContentsMargins(margin, margin, margin, margin);
}

void TPanel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QRect r = rect();
  for (const Bevel bevel : {m_outer, m_inner}) {
    if (bevel == Bevel::None) continue;
    qDrawShadePanel(&painter, r, palette(), bevel == Bevel::Lowered, 1);
    r.adjust(1, 1, -1, -1);
  }
}

void TToolBar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  qDrawShadeLine(&painter, 0, 1, width(), 1, palette(), true, 1, 0);
}

void TClickLabel::mouseReleaseEvent(QMouseEvent* event) {
  QLabel::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
    emit Click();
  }
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, QPoint at) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setTextFormat(Qt::PlainText);
  label->move(at);
  return label;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, const QRect& geometry,
                  Qt::Alignment alignment) {
  QLabel* label = MakeLabel(parent, name, text, geometry.topLeft());
  label->resize(geometry.size());
  label->setAlignment(alignment);
  return label;
}

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

// An icon drawn from the program's SVG drawings when it is first painted at a size, and kept
// at that size. Nothing is rendered for icons that are never shown (hidden buttons, windows not
// yet opened), which keeps start-up short.
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
    const QString key = QString("%1x%2:%3").arg(actual.width()).arg(actual.height()).arg(mode);
    if (const auto found = m_rendered.constFind(key); found != m_rendered.cend()) return *found;
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
    m_rendered.insert(key, pixmap);
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
  QHash<QString, QPixmap> m_rendered;
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

model::Colour ToColour(const QColor& colour) {
  return model::Rgb(static_cast<std::uint8_t>(colour.red()),
                    static_cast<std::uint8_t>(colour.green()),
                    static_cast<std::uint8_t>(colour.blue()));
}

void SetUpDialog(QDialog& dialog, const char* name, const QString& caption, QSize client) {
  dialog.setObjectName(name);
  dialog.setWindowTitle(caption);
  dialog.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                        Qt::WindowCloseButtonHint);
  dialog.setModal(true);
  dialog.setFont(FormFont());
  dialog.setFixedSize(client);
}
