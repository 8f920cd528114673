#include "windows/About.h"

#include <QDesktopServices>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QUrl>

#include "windows/Application.h"
#include "windows/Controls.h"

TAboutBox* AboutBox = nullptr;

namespace {

QLabel* MakeWrappedLabel(QWidget* parent, const char* name, const QString& text,
                         const QRect& geometry) {
  QLabel* label = MakeLabel(parent, name, text, geometry, Qt::AlignLeft | Qt::AlignTop);
  label->setWordWrap(true);
  return label;
}

}  // namespace

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
  SetUpDialog(*this, "AboutBox", "About", {302, 281});

  Panel1 = new TPanel(this, TPanel::Bevel::Lowered, TPanel::Bevel::Raised);
  Panel1->setObjectName("Panel1");
  Panel1->setGeometry(8, 8, 281, 225);

  Image1 = new QLabel(Panel1);
  Image1->setObjectName("Image1");
  Image1->setGeometry(8, 8, 65, 65);
  Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);

  Label1 = MakeLabel(Panel1, "Label1", "Имя продукта", {80, 8});
  Label6 = MakeLabel(Panel1, "Label6", "Dotwright", {160, 8});
  Label2 = MakeLabel(Panel1, "Label2", "Версия", {80, 32});
  Label7 = MakeLabel(Panel1, "Label7", "2.104", {160, 32});
  Label3 = MakeLabel(Panel1, "Label3", "Автор", {80, 48});
  // Two lines fit between the author's row and the purpose heading.
  Label8 = MakeWrappedLabel(Panel1, "Label8", "The Dotwright developers", {160, 48, 113, 30});
  Label12 = MakeLabel(Panel1, "Label12", "Назначение программы:", {8, 80});
  Label11 = MakeWrappedLabel(Panel1, "Label11",
                             "Программа для подготовки изображений для графических дисплеев, "
                             "размером кратным 4х8, максимальным разрешение 320х240.",
                             {8, 92, 257, 45});
  Label13 = MakeWrappedLabel(Panel1, "Label13",
                             "Программа создавалась для  дисплея от nokia3310, но со временем "
                             "подросла до более крупных дисплеев.",
                             {8, 132, 271, 45});
  Label4 = MakeLabel(Panel1, "Label4", "Сайт разработчика", {8, 176});
  Label9 = new TClickLabel(kSiteAddress, Panel1);
  Label9->setObjectName("Label9");
  Label9->setTextFormat(Qt::PlainText);
  QFont linkFont = Label9->font();
  linkFont.setUnderline(true);
  Label9->setFont(linkFont);
  QPalette linkPalette = Label9->palette();
  linkPalette.setColor(QPalette::WindowText, Qt::blue);
  Label9->setPalette(linkPalette);
  Label9->setCursor(Qt::PointingHandCursor);
  Label9->move(152, 176);
  Label5 = MakeLabel(Panel1, "Label5", "Обратная связь", {8, 192});
  Label10 = MakeLabel(Panel1, "Label10", "через сайт", {160, 192});
  Label14 = MakeLabel(Panel1, "Label14", "2011", {120, 208});

  OKButton = new QPushButton("OK", this);
  OKButton->setObjectName("OKButton");
  OKButton->setGeometry(111, 244, 75, 25);
  OKButton->setDefault(true);

  for (QLabel* label : {Label1, Label6, Label2, Label7, Label3, Label12, Label4,
                        static_cast<QLabel*>(Label9), Label5, Label10, Label14}) {
    label->adjustSize();
  }
  Image1->setPixmap(LoadIcon("about_picture").pixmap(64, 64));

  ConnectHandler(OKButton, &QPushButton::clicked, this, &TAboutBox::OKButtonClick);
  ConnectHandler(Label9, &TClickLabel::Click, this, &TAboutBox::Label9Click);
}

void TAboutBox::OKButtonClick() {
  accept();
}

void TAboutBox::Label9Click() {
  // The desktop's own handler opens it; no command line is built from the text.
  QDesktopServices::openUrl(QUrl::fromUserInput(Label9->text()));
}

void TAboutBox::keyPressEvent(QKeyEvent* event) {
  // The box has no cancel button: Esc does nothing.
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}
