#include <gtest/gtest.h>
#include <QComboBox>
#include <QDesktopServices>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QToolButton>
#include <QUrl>

#include "model/array_text.h"
#include "tests/windows/support.h"
#include "windows/About.h"
#include "windows/AddImage.h"
#include "windows/BoardImage.h"
#include "windows/Controls.h"
#include "windows/SpinEdit.h"
#include "windows/ToMass.h"
#include "windows/Unit1.h"

// Stands in for the desktop's browser.
class UrlRecorder : public QObject {
  Q_OBJECT

 public:
  QList<QUrl> opened;

 public slots:
  void Open(const QUrl& url) { opened << url; }
};

namespace {

using windowstest::Click;
using windowstest::ClickAt;
using windowstest::FormsTest;
using windowstest::WithModal;

using Dialogs = FormsTest;

// The frame's and the main window's centres may differ by the frame's asymmetry only.
void ExpectCentredOnMainWindow(const QWidget* window) {
  const QPoint offset = window->frameGeometry().center() - Form1->frameGeometry().center();
  EXPECT_LE(offset.manhattanLength(), 40) << offset.x() << "," << offset.y();
}

TEST_F(Dialogs, ArrayTextShowsOnceAndEndsInAnEmptyLine) {
  ClickAt(Form1->Image1, {1, 1});
  const QString expected =
      QString::fromStdString(model::BuildArrayText(Form1->Store(), 84, 48)).replace("\r\n", "\n") +
      "\n";
  for (int opening = 0; opening < 2; ++opening) {
    WithModal([] { Click(Form1->SpeedButton3); },
              [&](QWidget* modal) {
                ASSERT_EQ(modal, Form_ToMass);
                EXPECT_EQ(Form_ToMass->windowTitle(), "Массив");
                EXPECT_EQ(Form_ToMass->size(), QSize(647, 498));
                ExpectCentredOnMainWindow(Form_ToMass);
                QPlainTextEdit* memo = Form_ToMass->Memo1;
                EXPECT_EQ(memo->toPlainText(), expected);
                EXPECT_EQ(memo->toPlainText().count("static const char"), 1);
                EXPECT_TRUE(memo->toPlainText().startsWith(
                    "static const char lcd_image_mas[504] =\n{ 0x01, 0x00,"));
                // The caret goes down to an empty line below "};".
                QTextCursor caret = memo->textCursor();
                caret.movePosition(QTextCursor::End);
                EXPECT_TRUE(caret.block().text().isEmpty());
                EXPECT_EQ(caret.block().previous().text().right(2), "};");
                EXPECT_FALSE(memo->isReadOnly());
                EXPECT_EQ(memo->geometry(), QRect(8, 8, 625, 449));
                EXPECT_TRUE(memo->font().fixedPitch());
                // An edit is lost at the next "Массив".
                memo->appendPlainText("user's note");
                // Esc reaches the window from the text area, which has the focus.
                QTest::keyClick(memo, Qt::Key_Escape);
                EXPECT_FALSE(Form_ToMass->isVisible());
              });
  }
}

TEST_F(Dialogs, CloseButtonClosesTheArrayWindow) {
  WithModal([] { Click(Form1->SpeedButton3); },
            [](QWidget*) {
              EXPECT_EQ(Form_ToMass->BitBtn2->text(), "Закрыть");
              EXPECT_EQ(Form_ToMass->BitBtn2->geometry(), QRect(544, 464, 91, 25));
              EXPECT_FALSE(Form_ToMass->BitBtn2->icon().isNull());
              Click(Form_ToMass->BitBtn2);
              EXPECT_FALSE(Form_ToMass->isVisible());
            });
  EXPECT_FALSE(Form_ToMass->isVisible());
}

TEST_F(Dialogs, AboutBoxClosesOnEnterAndIgnoresEsc) {
  WithModal([] { Click(Form1->SpeedButton4); },
            [](QWidget* modal) {
              ASSERT_EQ(modal, AboutBox);
              // Keys go to the active window: wait until the box is it.
              ASSERT_TRUE(windowstest::WaitUntilActive(AboutBox));
              EXPECT_EQ(AboutBox->windowTitle(), "About");
              EXPECT_EQ(AboutBox->size(), QSize(302, 281));
              ExpectCentredOnMainWindow(AboutBox);
              QTest::keyClick(AboutBox, Qt::Key_Escape);
              EXPECT_TRUE(AboutBox->isVisible());
              windowstest::KeyInWindow(AboutBox, Qt::Key_Return);
              EXPECT_FALSE(AboutBox->isVisible());
            });
  EXPECT_EQ(AboutBox->result(), QDialog::Accepted);
  WithModal([] { Click(Form1->SpeedButton4); },
            [](QWidget*) {
              Click(AboutBox->OKButton);
              EXPECT_FALSE(AboutBox->isVisible());
            });
}

TEST_F(Dialogs, AboutBoxTexts) {
  const struct {
    QLabel* label;
    const char* text;
    QPoint at;
  } labels[] = {
      {AboutBox->Label1, "Имя продукта", {80, 8}},
      {AboutBox->Label6, "Dotwright", {160, 8}},
      {AboutBox->Label2, "Версия", {80, 32}},
      {AboutBox->Label7, "2.104", {160, 32}},
      {AboutBox->Label3, "Автор", {80, 48}},
      {AboutBox->Label8, "The Dotwright developers", {160, 48}},
      {AboutBox->Label12, "Назначение программы:", {8, 80}},
      {AboutBox->Label11,
       "Программа для подготовки изображений для графических дисплеев, размером кратным 4х8, "
       "максимальным разрешение 320х240.",
       {8, 92}},
      {AboutBox->Label13,
       "Программа создавалась для  дисплея от nokia3310, но со временем подросла до более "
       "крупных дисплеев.",
       {8, 132}},
      {AboutBox->Label4, "Сайт разработчика", {8, 176}},
      {AboutBox->Label9, TAboutBox::kSiteAddress, {152, 176}},
      {AboutBox->Label5, "Обратная связь", {8, 192}},
      {AboutBox->Label10, "через сайт", {160, 192}},
      {AboutBox->Label14, "2011", {120, 208}},
  };
  // As the box shows them: labels sized to their text, and the picture drawn.
  WithModal([] { Click(Form1->SpeedButton4); },
            [&](QWidget*) {
              for (const auto& l : labels) {
                EXPECT_EQ(l.label->text(), QString(l.text)) << l.text;
                EXPECT_EQ(l.label->pos(), l.at) << l.text;
                // Every label fits inside the panel.
                EXPECT_LE(l.label->geometry().right(), AboutBox->Panel1->width() - 3) << l.text;
                EXPECT_LE(l.label->sizeHint().width(), l.label->width()) << l.text;
              }
              EXPECT_EQ(AboutBox->Panel1->geometry(), QRect(8, 8, 281, 225));
              EXPECT_EQ(AboutBox->OKButton->geometry(), QRect(111, 244, 75, 25));
              EXPECT_TRUE(AboutBox->OKButton->isDefault());
              EXPECT_EQ(AboutBox->Image1->pixmap().size(), QSize(64, 64));
              EXPECT_EQ(AboutBox->Label9->palette().color(QPalette::WindowText), QColor(Qt::blue));
              EXPECT_TRUE(AboutBox->Label9->font().underline());
              EXPECT_EQ(AboutBox->Label9->cursor().shape(), Qt::PointingHandCursor);
              Click(AboutBox->OKButton);
            });
}

TEST_F(Dialogs, SiteLabelOpensItsOwnTextThroughTheDesktop) {
  UrlRecorder browser;
  for (const char* scheme : {"http", "https"})
    QDesktopServices::setUrlHandler(scheme, &browser, "Open");
  WithModal([] { Click(Form1->SpeedButton4); },
            [](QWidget*) {
              ClickAt(AboutBox->Label9, {2, 2}, Qt::RightButton);  // not a click on the link
              Click(AboutBox->Label9);
              EXPECT_TRUE(AboutBox->isVisible());
            });
  for (const char* scheme : {"http", "https"}) QDesktopServices::unsetUrlHandler(scheme);
  EXPECT_EQ(browser.opened, QList<QUrl>{QUrl("http://dotwright.example.org")});
}

TEST_F(Dialogs, PictureButtonHandsTheGeometryToTheImportDialog) {
  windowstest::ClickAt(Form1->SpinEdit1->UpButton(), {5, 3});
  QTest::keyClick(Form1->ComboBox1, Qt::Key_Up);  // applies 88 at scale 2
  WithModal([] { Click(Form1->SpeedButton2); },
            [](QWidget* modal) {
              ASSERT_EQ(modal, Form_AddImage);
              EXPECT_EQ(Form_AddImage->windowTitle(), "Добавление картинки");
              EXPECT_EQ(Form_AddImage->size(), QSize(669, 408));
              EXPECT_EQ(Form_AddImage->GeometryWidth(), 88);
              EXPECT_EQ(Form_AddImage->GeometryHeight(), 48);
              EXPECT_EQ(Form_AddImage->GeometryScale(), 2);
              ExpectCentredOnMainWindow(Form_AddImage);
              QTest::keyClick(Form_AddImage, Qt::Key_Escape);
              EXPECT_FALSE(Form_AddImage->isVisible());
            });
}

}  // namespace

#include "dialogs_test.moc"
