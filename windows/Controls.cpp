#include "windows/Controls.h"

#include <qdrawutil.h>
#include <QDialog>
#include <QFontDatabase>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

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

// Renders the SVG drawing once, at its own size and at twice that for dense screens.
void AddRendered(QIcon& icon, const QString& name, QIcon::Mode mode) {
  QSvgRenderer drawing(":/icons/" + name + ".svg");
  for (const int scale : {1, 2}) {
    QPixmap pixmap(drawing.defaultSize() * scale);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    drawing.render(&painter);
    painter.end();
    icon.addPixmap(pixmap, mode);
  }
}

}  // namespace

QIcon LoadIcon(const QString& name, const QString& disabledName) {
  QIcon icon;
  AddRendered(icon, name, QIcon::Normal);
  if (!disabledName.isEmpty()) AddRendered(icon, disabledName, QIcon::Disabled);
  return icon;
}

QIcon WindowIcon() {
  QIcon icon;
  AddRendered(icon, "dotwright32", QIcon::Normal);
  AddRendered(icon, "dotwright16", QIcon::Normal);
  return icon;
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
