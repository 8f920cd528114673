#include "windows/Controls.h"

#include <qdrawutil.h>
#include <QDialog>
#include <QMouseEvent>
#include <QPainter>

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
