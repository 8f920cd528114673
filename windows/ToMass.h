#pragma once

// The array window, Form_ToMass ("Массив"). Its components, by name, as the user sees them:
//   Memo1            the text area with the picture's C array
//   BitBtn2          "Закрыть"

#include <string>

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

// The array window: shows the picture's C array text for the user to select and copy. The text
// area is editable; its text is replaced on every "Массив".
class TForm_ToMass : public QDialog {
  Q_OBJECT

 public:
  explicit TForm_ToMass(QWidget* parent = nullptr);

  // Clears the text area and adds `text` (lines ending in CR LF) as one entry followed by a line
  // break, so the caret can go to an empty last line below the text.
  void SetArrayText(const std::string& text);

  void BitBtn2Click();

  QPlainTextEdit* Memo1;
  QPushButton* BitBtn2;
};

extern TForm_ToMass* Form_ToMass;
