#include "windows/Controls.h"

#include <qdrawutil.h>
#include <QDialog>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

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

void TClickLabel::mouseReleaseEvent(QMouseEvent* event) {
  QLabel::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
    emit Click();
  }
}

QFont FormFont() {
  QFont font;
  font.setFamilies({"MS Sans Serif", "Microsoft Sans Serif", "Liberation Sans", "DejaVu Sans"});
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(11);
  return font;
}

QFont MemoFont() {
  QFont font;
  font.setFamilies({"Courier New", "Liberation Mono", "DejaVu Sans Mono"});
  font.setStyleHint(QFont::Monospace);
  font.setFixedPitch(true);
  font.setPixelSize(11);
  return font;
}

QIcon LoadIcon(const QString& name) {
  return QIcon(":/icons/" + name + ".svg");
}

QIcon WindowIcon() {
  QIcon icon;
  icon.addPixmap(LoadIcon("dotwright32").pixmap(32, 32));
  icon.addPixmap(LoadIcon("dotwright16").pixmap(16, 16));
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
