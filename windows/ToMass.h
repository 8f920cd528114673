#pragma once

#include <functional>
#include <optional>
#include <string>

#include <QDialog>
#include <QString>

#include "model/output.h"
#include "model/pixel_store.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

// The code-shape options of the array window: the array's name, the element type, inversion,
// the #define lines, the drawing comment and the bytes a line. Every change is handed on at
// once through Changed. Created once by the array window and kept hidden between uses.
class TForm_ArrayOptions : public QDialog {
  Q_OBJECT

 public:
  explicit TForm_ArrayOptions(QWidget* parent = nullptr);

  // Shows `options` (format and layout are not this window's and pass through unchanged).
  void SetOptions(const model::OutputOptions& options);
  const model::OutputOptions& Options() const { return m_options; }

  void Edit1Change();
  void ControlChange();
  void Button1Click();  // "По умолчанию": every option here back to its default

  QLineEdit* Edit1;      // the array's name
  QComboBox* ComboBox1;  // element type
  QCheckBox* CheckBox1;  // invert
  QCheckBox* CheckBox2;  // #define lines
  QCheckBox* CheckBox3;  // drawing comment
  QSpinBox* SpinEdit1;   // bytes a line, 0 for the width's rule
  QPushButton* Button1;  // "По умолчанию"
  QPushButton* BitBtn1;  // "Закрыть"

 signals:
  void Changed(const model::OutputOptions& options);

 private:
  // Shows the options in the controls without reporting them back.
  void ShowOptions();

  model::OutputOptions m_options;
  bool m_showing = false;
};

// The array window: shows the picture's array text for the user to select and copy, in the
// layout, format and code shape chosen in its bottom strip. The choices stay until the program
// ends; with the defaults the text is the classic array text. The text area is editable; its
// text is replaced on every "Массив" and every change of a choice.
class TForm_ToMass : public QDialog {
  Q_OBJECT

 public:
  explicit TForm_ToMass(QWidget* parent = nullptr);

  // Keeps the picture (the store must outlive the window's next showing) and shows its text in
  // the current choices.
  void SetPicture(const model::PixelStore& store, int width, int height);

  // Clears the text area and adds `text` (lines ending in CR LF) as one entry followed by a line
  // break, so the caret can go to an empty last line below the text.
  void SetArrayText(const std::string& text);

  const model::OutputOptions& Options() const { return m_options; }

  // Puts the selection of the text area on the clipboard, or the whole text when nothing is
  // selected.
  void CopyText();

  // Asks where to save: the file's full name, or nothing when the user cancels. Runs the
  // toolkit's save dialog unless replaced (tests put a chooser of their own here). `suggested`
  // is the file name offered, `filter` the dialog's file type line.
  std::function<std::optional<QString>(const QString& suggested, const QString& filter)>
      ChooseSaveFile;

  // Event handlers.
  void ComboBox1Change();  // layout
  void ComboBox2Change();  // format
  void Button1Click();     // "Параметры…": the code-shape options
  void Button2Click();     // "Копировать": the whole text to the clipboard
  // "Сохранить…": the file text (see model::BuildFileText) into the chosen file, written whole
  // or not at all; a failure throws with the message the user sees.
  void Button3Click();
  void BitBtn2Click();

  QPlainTextEdit* Memo1;
  QComboBox* ComboBox1;  // layout
  QComboBox* ComboBox2;  // format
  QPushButton* Button1;  // "Параметры…"
  QPushButton* Button2;  // "Копировать"
  QPushButton* Button3;  // "Сохранить…"
  QPushButton* BitBtn2;  // "Закрыть"
  TForm_ArrayOptions* Form_ArrayOptions;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void OptionsChange(const model::OutputOptions& options);
  void Rebuild();
  std::optional<QString> RunSaveDialog(const QString& suggested, const QString& filter);

  model::OutputOptions m_options;
  const model::PixelStore* m_store = nullptr;
  int m_width = 0;
  int m_height = 0;
  QString m_saveFolder;
};

// Writes `data` to `path` whole or not at all: into a temporary file in the same folder, which
// then replaces the file. Throws std::runtime_error with the message the user sees.
void SaveFileAtomically(const QString& path, const std::string& data);

extern TForm_ToMass* Form_ToMass;
