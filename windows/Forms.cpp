#include "windows/Forms.h"

#include <QString>
#include <QTimer>

#include "windows/About.h"
#include "windows/AddImage.h"
#include "windows/Application.h"
#include "windows/ToMass.h"
#include "windows/Unit1.h"

void CreateForms() {
  Form1 = new TForm1;
  Form1->show();
}

void CreateDialogs() {
  if (AboutBox != nullptr) return;
  AboutBox = new TAboutBox(Form1);
  Form_ToMass = new TForm_ToMass(Form1);
  Form_AddImage = new TForm_AddImage(Form1);
  // "Применить" of the import dialog applies its preview to the main window's picture.
  ConnectHandler(Form_AddImage, &TForm_AddImage::Apply, Form1, &TForm1::ApplyConverted);
}

void DestroyForms() {
  delete Form1;
  Form1 = nullptr;
  AboutBox = nullptr;
  Form_ToMass = nullptr;
  Form_AddImage = nullptr;
}

void OpenFileAtStart(const QString& fileName) {
  QTimer::singleShot(0, Form1, [fileName] { RunHandler([&] { Form1->OpenFile(fileName); }); });
}
