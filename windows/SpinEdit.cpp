#include "windows/SpinEdit.h"

#include <algorithm>
#include <cstdint>

#include <QApplication>
#include <QKeyEvent>
#include <QLocale>
#include <QToolButton>

#include "model/geometry.h"

namespace {

constexpr int kButtonWidth = 15;

bool IsControlCharacter(QChar ch) {
  return ch.unicode() < 0x20 || ch.unicode() == 0x7F;
}

}  // namespace

TSpinEdit::TSpinEdit(int minValue, int maxValue, int increment, int value, QWidget* parent)
    : QLineEdit(parent),
      m_minValue(minValue),
      m_maxValue(maxValue),
      m_increment(increment),
      m_up(new QToolButton(this)),
      m_down(new QToolButton(this)) {
  SetValue(value);
  setTextMargins(0, 0, kButtonWidth, 0);
  for (QToolButton* button : {m_up, m_down}) {
    button->setArrowType(button == m_up ? Qt::UpArrow : Qt::DownArrow);
    button->setFocusPolicy(Qt::NoFocus);
    button->setCursor(Qt::ArrowCursor);
    const int direction = button == m_up ? 1 : -1;
    connect(button, &QToolButton::pressed, this, [this, direction] { ButtonPressed(direction); });
    connect(button, &QToolButton::released, &m_repeatTimer, &QTimer::stop);
    connect(button, &QToolButton::clicked, this, &TSpinEdit::ButtonClicked);
  }
  m_up->setObjectName("UpButton");
  m_down->setObjectName("DownButton");
  // Coarse timers may fire early; the first repeat must not come before the delay.
  m_repeatTimer.setTimerType(Qt::PreciseTimer);
  connect(&m_repeatTimer, &QTimer::timeout, this, &TSpinEdit::RepeatTimerTimer);
  // Connected after the initial value is written: that one raises no change.
  connect(this, &QLineEdit::textChanged, this, &TSpinEdit::Change);
}

int TSpinEdit::Value() const {
  return model::ReadInputValue(text().toStdString(), m_minValue);
}

void TSpinEdit::SetValue(int value) {
  const QString newText = QString::number(std::clamp(value, m_minValue, m_maxValue));
  if (newText != text()) setText(newText);
}

bool TSpinEdit::Accepts(const QKeyEvent& event) const {
  if (event.key() == Qt::Key_Return || event.key() == Qt::Key_Enter) return false;
  if (event.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return true;
  const QString typed = event.text();
  const QString decimalPoint = QLocale().decimalPoint();
  for (const QChar ch : typed) {
    const bool allowed = (ch >= u'0' && ch <= u'9') || ch == u'+' || ch == u'-' ||
                         decimalPoint.contains(ch) || IsControlCharacter(ch);
    if (!allowed) return false;
  }
  return true;
}

void TSpinEdit::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down) {
    Step(event->key() == Qt::Key_Up ? 1 : -1);
    event->accept();
    return;
  }
  if (!Accepts(*event)) {
    event->accept();
    QApplication::beep();
    emit KeyRefused();
    return;
  }
  QLineEdit::keyPressEvent(event);
}

void TSpinEdit::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  // Only when the focus moves to another control: switching windows or opening a pop-up menu
  // is not leaving the box.
  if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason) {
    return;
  }
  const int value = Value();
  if (std::clamp(value, m_minValue, m_maxValue) != value) SetValue(value);
}

void TSpinEdit::resizeEvent(QResizeEvent* event) {
  QLineEdit::resizeEvent(event);
  // Inside the field's two-pixel frame, the up button above the down button.
  const int inner = height() - 4;
  const int upHeight = (inner + 1) / 2;
  m_up->setGeometry(width() - 2 - kButtonWidth, 2, kButtonWidth, upHeight);
  m_down->setGeometry(width() - 2 - kButtonWidth, 2 + upHeight, kButtonWidth, inner - upHeight);
}

void TSpinEdit::Step(int direction) {
  // In 64 bits: the text may hold any int, and stepping past the int range must not wrap.
  const std::int64_t next = std::int64_t{Value()} + std::int64_t{direction} * m_increment;
  SetValue(static_cast<int>(std::clamp<std::int64_t>(next, m_minValue, m_maxValue)));
}

void TSpinEdit::ButtonPressed(int direction) {
  setFocus(Qt::MouseFocusReason);
  m_repeatDirection = direction;
  m_repeated = false;
  m_repeatTimer.start(kRepeatDelay);
}

void TSpinEdit::ButtonClicked() {
  m_repeatTimer.stop();
  if (!m_repeated) Step(m_repeatDirection);
}

void TSpinEdit::RepeatTimerTimer() {
  const QToolButton* button = m_repeatDirection > 0 ? m_up : m_down;
  // Dragged off the button while holding it: no repeats until the pointer comes back.
  if (!button->isDown()) return;
  m_repeated = true;
  m_repeatTimer.setInterval(kRepeatInterval);
  Step(m_repeatDirection);
}
