#pragma once

// The About box, AboutBox ("About"). Its components, by name, as the user sees them:
//   Panel1           the framed panel holding everything but the button:
//     Image1         the program's picture, top left
//     Label1, Label6 "Имя продукта" and the name, "Dotwright"
//     Label2, Label7 "Версия" and the version
//     Label3, Label8 "Автор" and the authors
//     Label12        "Назначение программы:", over Label11 and Label13, the purpose in two
//                    paragraphs
//     Label4, Label9 "Сайт разработчика" and the site's address, a link
//     Label5, Label10 "Обратная связь" and "через сайт"
//     Label14        the year
//   OKButton         "OK"

#include <QDialog>

class QLabel;
class QPushButton;
class TClickLabel;
class TPanel;

// The About box. Enter closes it through its default button; Esc does nothing.
class TAboutBox : public QDialog {
  Q_OBJECT

 public:
  // The developers' site, shown by Label9 and opened from it.
  static constexpr const char* kSiteAddress = "dotwright.example.org";

  explicit TAboutBox(QWidget* parent = nullptr);

  void OKButtonClick();
  // Asks the desktop to open Label9's own text as a web address; the outcome is not checked.
  void Label9Click();

  TPanel* Panel1;
  QLabel* Image1;
  QLabel* Label1;
  QLabel* Label6;
  QLabel* Label2;
  QLabel* Label7;
  QLabel* Label3;
  QLabel* Label8;
  QLabel* Label12;
  QLabel* Label11;
  QLabel* Label13;
  QLabel* Label4;
  TClickLabel* Label9;
  QLabel* Label5;
  QLabel* Label10;
  QLabel* Label14;
  QPushButton* OKButton;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

extern TAboutBox* AboutBox;
