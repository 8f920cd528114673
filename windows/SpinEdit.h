#pragma once

#include <QLineEdit>
#include <QTimer>

class QToolButton;

// A size box: a text field with an up and a down button at its right.
//
// - Value: the text read as a whole integer by model::ReadInputValue (optional sign, "$" or "0x"
//   hexadecimal); an empty or unreadable text, or a number outside the int range, reads as the
//   minimum. A readable value outside the range is returned as it stands.
// - SetValue clamps into the range and writes decimal text.
// - Typed characters: digits, "+", "-" and the locale's decimal separator; control keys and
//   shortcuts pass. Anything else, Enter included, is refused with a beep. Pasted text is not
//   filtered.
// - The buttons and the Up and Down keys add or subtract the increment and clamp. A button held
//   down repeats after kRepeatDelay ms, then every kRepeatInterval ms; a shorter click steps
//   once, at its release.
// - Leaving the box writes an out-of-range number back clamped; unreadable text stays as it is.
// - Change() follows every change of the text (typing, pasting, stepping, writing back), never
//   the initial value, and never a step that leaves the text as it was.
class TSpinEdit : public QLineEdit {
  Q_OBJECT

 public:
  static constexpr int kRepeatDelay = 400;
  static constexpr int kRepeatInterval = 100;

  TSpinEdit(int minValue, int maxValue, int increment, int value, QWidget* parent = nullptr);

  int Value() const;
  void SetValue(int value);

  QToolButton* UpButton() const { return m_up; }
  QToolButton* DownButton() const { return m_down; }

  // The auto-repeat timer: started by a press on a button, first for kRepeatDelay, then running
  // every kRepeatInterval until the release.
  const QTimer& RepeatTimer() const { return m_repeatTimer; }
  // Its timeout handler: one step in the held button's direction, while the button is down.
  // Public so that tests can run it at the moments the timer would, without waiting for them.
  void RepeatTimerTimer();

 signals:
  void Change();
  // A typed character was refused (after the beep).
  void KeyRefused();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  bool Accepts(const QKeyEvent& event) const;
  void Step(int direction);
  void ButtonPressed(int direction);
  void ButtonClicked();

  int m_minValue;
  int m_maxValue;
  int m_increment;
  QToolButton* m_up;
  QToolButton* m_down;
  QTimer m_repeatTimer;
  int m_repeatDirection = 0;
  bool m_repeated = false;
};
