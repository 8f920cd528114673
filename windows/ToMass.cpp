#include "windows/ToMass.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>

#include "windows/Application.h"
#include "windows/Controls.h"

TForm_ToMass* Form_ToMass = nullptr;

TForm_ToMass::TForm_ToMass(QWidget* parent) : QDialog(parent) {
  SetUpDialog(*this, "Form_ToMass", "Массив", {647, 498});

  Memo1 = new QPlainTextEdit(this);
  Memo1->setObjectName("Memo1");
  Memo1->setGeometry(8, 8, 625, 449);
  Memo1->setFont(MemoFont());
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  Memo1->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);

  BitBtn2 = new QPushButton(LoadIcon("close"), "Закрыть", this);
  BitBtn2->setObjectName("BitBtn2");
  BitBtn2->setGeometry(544, 464, 91, 25);
  BitBtn2->setAutoDefault(false);
  ConnectHandler(BitBtn2, &QPushButton::clicked, this, &TForm_ToMass::BitBtn2Click);
  // Esc closes the window as its cancel button does (the dialog's own reject).
}

void TForm_ToMass::SetArrayText(const std::string& text) {
  // The text area keeps its lines apart itself: a CR LF is one line break.
  QString entry = QString::fromStdString(text);
  entry.replace("\r\n", "\n");
  Memo1->setPlainText(entry + "\n");
  Memo1->moveCursor(QTextCursor::Start);
}

void TForm_ToMass::BitBtn2Click() {
  reject();
}
