// The array window's layout, format and code-shape choices, copying and saving.
#include <random>

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QImage>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QToolButton>

#include "model/array_text.h"
#include "model/output.h"
#include "tests/windows/support.h"
#include "windows/BoardImage.h"
#include "windows/ToMass.h"
#include "windows/Unit1.h"

namespace {

using model::Layout;
using windowstest::Click;
using windowstest::ClickAt;
using windowstest::FormsTest;
using windowstest::WithErrorBox;
using windowstest::WithModal;
using windowstest::WithModalWindow;

using ArrayWindow = FormsTest;

// Waits up to 5 s for `actual` to equal `expected`, then checks it (printing both on failure).
#define EXPECT_SOON_EQ(actual, expected)                                 \
  do {                                                                   \
    (void)QTest::qWaitFor([&] { return (actual) == (expected); }, 5000); \
    EXPECT_EQ(actual, expected);                                         \
  } while (false)

// What the text area holds for `text`: LF line breaks and the line break after the entry.
QString Shown(const std::string& text) {
  return QString::fromStdString(text).replace("\r\n", "\n") + "\n";
}

QString ExpectedText(const model::OutputOptions& options) {
  return Shown(model::BuildOutputText(Form1->Store(), 84, 48, options));
}

// Opens the array window over a picture with a few pixels set and runs `inside` in it.
void InArrayWindow(const std::function<void()>& inside) {
  WithModal([] { Click(Form1->SpeedButton3); },
            [&](QWidget* modal) {
              ASSERT_EQ(modal, Form_ToMass);
              ASSERT_TRUE(QTest::qWaitForWindowActive(Form_ToMass));
              inside();
            });
}

void PaintSomePixels() {
  for (QPoint cell : {QPoint{1, 1}, QPoint{30, 9}, QPoint{83, 47}})
    ClickAt(Form1->Image1, cell * 4 + QPoint{1, 1});
}

// Picks entry `index` of a list as the user does: the list has the focus and the arrow keys move.
void Pick(QComboBox* list, int index) {
  list->setFocus();
  while (list->currentIndex() < index) QTest::keyClick(list, Qt::Key_Down);
  while (list->currentIndex() > index) QTest::keyClick(list, Qt::Key_Up);
}

TEST_F(ArrayWindow, NewControlsSitInTheStripLeftOfCloseWithHints) {
  InArrayWindow([] {
    QWidget* controls[] = {Form_ToMass->ComboBox1, Form_ToMass->ComboBox2, Form_ToMass->Button1,
                           Form_ToMass->Button2, Form_ToMass->Button3};
    QRect previous(0, 464, 8, 25);
    for (QWidget* control : controls) {
      const QRect place = control->geometry();
      EXPECT_TRUE(QRect(8, 464, 536 - 8, 25).contains(place))
          << control->objectName().toStdString();
      EXPECT_GE(place.left(), previous.right() + 1) << control->objectName().toStdString();
      EXPECT_FALSE(control->toolTip().isEmpty()) << control->objectName().toStdString();
      EXPECT_TRUE(control->isVisible());
      previous = place;
    }
    EXPECT_EQ(Form_ToMass->Memo1->geometry(), QRect(8, 8, 625, 449));
    EXPECT_EQ(Form_ToMass->BitBtn2->geometry(), QRect(544, 464, 91, 25));
    EXPECT_EQ(Form_ToMass->Button2->text(), "Копировать");
    EXPECT_EQ(Form_ToMass->Button3->text(), "Сохранить…");
    QComboBox* layouts = Form_ToMass->ComboBox1;
    ASSERT_EQ(layouts->count(), 4);
    EXPECT_EQ(layouts->currentText(), "Страницы, младший бит сверху (PCD8544, SSD1306, ST7565)");
    for (QComboBox* list : {layouts, Form_ToMass->ComboBox2})
      for (int i = 0; i < list->count(); ++i)
        EXPECT_FALSE(list->itemData(i, Qt::ToolTipRole).toString().isEmpty()) << i;
    EXPECT_EQ(Form_ToMass->ComboBox2->currentText(), "C");
    // The text area has the focus, as before.
    EXPECT_EQ(QApplication::focusWidget(), Form_ToMass->Memo1);
  });
}

TEST_F(ArrayWindow, LayoutAndFormatRebuildTheTextAndStayChosen) {
  PaintSomePixels();
  model::OutputOptions options;
  InArrayWindow([&] {
    EXPECT_EQ(Form_ToMass->Memo1->toPlainText(),
              Shown(model::BuildArrayText(Form1->Store(), 84, 48)));
    for (int index : {2, 3, 1, 0, 2}) {
      Pick(Form_ToMass->ComboBox1, index);
      options.layout = model::kLayouts[static_cast<std::size_t>(index)];
      EXPECT_SOON_EQ(Form_ToMass->Memo1->toPlainText(), ExpectedText(options));
    }
  });
  // Reopened (a new picture too): the layout is still rows-msb.
  ClickAt(Form1->Image1, {41, 41});
  InArrayWindow([&] {
    EXPECT_EQ(Form_ToMass->ComboBox1->currentIndex(), 2);
    EXPECT_EQ(Form_ToMass->Memo1->toPlainText(), ExpectedText(options));
    Pick(Form_ToMass->ComboBox2, 1);  // XBM: always its own layout
    options.format = model::Format::Xbm;
    EXPECT_SOON_EQ(Form_ToMass->ComboBox1->isEnabled(), false);
    EXPECT_TRUE(Form_ToMass->Memo1->toPlainText().startsWith("#define lcd_image_mas_width 84\n"));
    EXPECT_EQ(Form_ToMass->Memo1->toPlainText(), ExpectedText(options));
    Pick(Form_ToMass->ComboBox2, 0);
    EXPECT_SOON_EQ(Form_ToMass->ComboBox1->isEnabled(), true);
    options.format = model::Format::C;
    EXPECT_EQ(Form_ToMass->Memo1->toPlainText(), ExpectedText(options));
  });
}

TEST_F(ArrayWindow, CodeShapeOptionsApplyAtOnce) {
  PaintSomePixels();
  InArrayWindow([] {
    TForm_ArrayOptions* dialog = Form_ToMass->Form_ArrayOptions;
    WithModalWindow(
        dialog, [] { Click(Form_ToMass->Button1); },
        [dialog] {
          ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));
          model::OutputOptions options;
          EXPECT_EQ(dialog->Edit1->text(), "lcd_image_mas");
          for (QWidget* control : std::initializer_list<QWidget*>{
                   dialog->Edit1, dialog->ComboBox1, dialog->CheckBox1, dialog->CheckBox2,
                   dialog->CheckBox3, dialog->SpinEdit1, dialog->Button1})
            EXPECT_FALSE(control->toolTip().isEmpty()) << control->objectName().toStdString();

          dialog->Edit1->selectAll();
          QTest::keyClicks(dialog->Edit1, "logo");
          options.name = "logo";
          EXPECT_SOON_EQ(Form_ToMass->Memo1->toPlainText(), ExpectedText(options));

          // A name that is no identifier: the text keeps the last good one, the field says why.
          QTest::keyClicks(dialog->Edit1, "-2");
          EXPECT_EQ(Form_ToMass->Memo1->toPlainText(), ExpectedText(options));
          EXPECT_TRUE(dialog->Edit1->toolTip().contains("«logo-2»"));
          QTest::keyClick(dialog->Edit1, Qt::Key_Backspace);
          QTest::keyClick(dialog->Edit1, Qt::Key_Backspace);

          Click(dialog->CheckBox2);
          options.defines = true;
          EXPECT_SOON_EQ(Form_ToMass->Memo1->toPlainText(), ExpectedText(options));
          EXPECT_TRUE(Form_ToMass->Memo1->toPlainText().contains("#define logo_HEIGHT 48\n"));

          Click(dialog->CheckBox1);
          Click(dialog->CheckBox3);
          options.invert = true;
          options.art = true;
          dialog->ComboBox1->setFocus();
          QTest::keyClick(dialog->ComboBox1, Qt::Key_End);
          options.type = model::ElementType::Progmem;
          dialog->SpinEdit1->setValue(16);
          options.bytesPerLine = 16;
          EXPECT_SOON_EQ(Form_ToMass->Memo1->toPlainText(), ExpectedText(options));
          EXPECT_TRUE(Form_ToMass->Memo1->toPlainText().contains("logo[504] PROGMEM ="));
          EXPECT_EQ(Form_ToMass->Options(), options);

          // An unusable name left in the field gives way to the last good one on closing.
          QTest::keyClicks(dialog->Edit1, " x");
          QTest::keyClick(dialog, Qt::Key_Escape);
          EXPECT_SOON_EQ(dialog->isVisible(), false);
          EXPECT_EQ(dialog->Edit1->text(), "logo");
        });
    EXPECT_EQ(Form_ToMass->Options().name, "logo");

    // "По умолчанию" gives back the classic text (the layout is not the options window's).
    WithModalWindow(
        dialog, [] { Click(Form_ToMass->Button1); },
        [dialog] {
          ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));
          EXPECT_TRUE(dialog->CheckBox3->isChecked());
          Click(dialog->Button1);
          EXPECT_SOON_EQ(Form_ToMass->Memo1->toPlainText(),
                         Shown(model::BuildArrayText(Form1->Store(), 84, 48)));
          EXPECT_FALSE(dialog->CheckBox3->isChecked());
          EXPECT_EQ(dialog->Edit1->text(), "lcd_image_mas");
        });
  });
}

TEST_F(ArrayWindow, CopyButtonAndCtrlC) {
  PaintSomePixels();
  InArrayWindow([] {
    QClipboard* clipboard = QGuiApplication::clipboard();
    const QString all = Form_ToMass->Memo1->toPlainText();
    clipboard->setText("before");
    Click(Form_ToMass->Button2);
    EXPECT_SOON_EQ(clipboard->text(), all);

    // Ctrl+C in the text area with nothing selected: all of it.
    clipboard->setText("before");
    Form_ToMass->Memo1->setFocus();
    QTest::keyClick(Form_ToMass->Memo1, Qt::Key_C, Qt::ControlModifier);
    EXPECT_SOON_EQ(clipboard->text(), all);

    // With a selection: the selection only.
    QTextCursor cursor = Form_ToMass->Memo1->textCursor();
    cursor.movePosition(QTextCursor::Start);
    cursor.movePosition(QTextCursor::Right, QTextCursor::KeepAnchor, 12);
    Form_ToMass->Memo1->setTextCursor(cursor);
    QTest::keyClick(Form_ToMass->Memo1, Qt::Key_C, Qt::ControlModifier);
    EXPECT_SOON_EQ(clipboard->text(), QString("static const"));

    // Away from the text area, Ctrl+C copies the selection there, or all without one.
    Form_ToMass->ComboBox1->setFocus();
    clipboard->setText("before");
    QTest::keyClick(Form_ToMass->ComboBox1, Qt::Key_C, Qt::ControlModifier);
    EXPECT_SOON_EQ(clipboard->text(), QString("static const"));
    Form_ToMass->Memo1->moveCursor(QTextCursor::End);
    QTest::keyClick(Form_ToMass->ComboBox1, Qt::Key_C, Qt::ControlModifier);
    EXPECT_SOON_EQ(clipboard->text(), all);
    // Ctrl+C left the layout as it was.
    EXPECT_EQ(Form_ToMass->ComboBox1->currentIndex(), 0);
  });
}

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return "(missing)";
  return file.readAll();
}

TEST_F(ArrayWindow, SaveWritesTheFileTextByFormat) {
  PaintSomePixels();
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  InArrayWindow([&] {
    struct Offer {
      QString suggested, filter;
    };
    std::vector<Offer> offers;
    QString target;
    Form_ToMass->ChooseSaveFile = [&](const QString& suggested, const QString& filter) {
      offers.push_back({suggested, filter});
      return std::optional<QString>(target);
    };
    struct Case {
      int format;
      const char* file;
      const char* suggested;
      const char* pattern;
    };
    for (const Case tc : {Case{0, "a.h", "lcd_image_mas.h", "*.h"},
                          {1, "b.xbm", "lcd_image_mas.xbm", "*.xbm"},
                          {2, "c.bin", "lcd_image_mas.bin", "*.bin"}}) {
      Pick(Form_ToMass->ComboBox2, tc.format);
      target = folder.filePath(tc.file);
      Click(Form_ToMass->Button3);
      ASSERT_FALSE(offers.empty());
      EXPECT_EQ(offers.back().suggested, tc.suggested);
      EXPECT_TRUE(offers.back().filter.contains(tc.pattern)) << offers.back().filter.toStdString();
      const std::string expected =
          model::BuildFileText(Form1->Store(), 84, 48, Form_ToMass->Options());
      EXPECT_EQ(ReadAll(target).toStdString(), expected) << tc.file;
    }
    // The C file starts with the size line and reads back as the same picture.
    const model::ParsedPicture parsed =
        model::ParseOutputText(ReadAll(folder.filePath("a.h")).toStdString());
    EXPECT_EQ(parsed.width, 84);
    EXPECT_EQ(parsed.height, 48);
    EXPECT_EQ(parsed.bytes, model::PackBytes(Form1->Store(), 84, 48, Layout::PageLsb, false));

    // Saving over a file replaces it; nothing else is left in the folder.
    Pick(Form_ToMass->ComboBox2, 0);
    Pick(Form_ToMass->ComboBox1, 3);
    target = folder.filePath("a.h");
    Click(Form_ToMass->Button3);
    EXPECT_TRUE(ReadAll(target).startsWith("/* 84x48 rows-lsb */\n"));
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
              (QStringList{"a.h", "b.xbm", "c.bin"}));

    // A user who cancels writes nothing.
    Form_ToMass->ChooseSaveFile = [](const QString&, const QString&) {
      return std::optional<QString>();
    };
    Click(Form_ToMass->Button3);
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden).size(), 3);
  });
}

TEST_F(ArrayWindow, AFailedSaveShowsTheErrorBoxAndLeavesNoFile) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  ASSERT_TRUE(QDir(folder.path()).mkdir("taken"));
  InArrayWindow([&] {
    for (const QString& target : {folder.filePath("missing/x.h"), folder.filePath("taken")}) {
      Form_ToMass->ChooseSaveFile = [&](const QString&, const QString&) {
        return std::optional<QString>(target);
      };
      const windowstest::ErrorBoxSeen box = WithErrorBox([] { Click(Form_ToMass->Button3); });
      EXPECT_TRUE(box.shown) << target.toStdString();
      EXPECT_TRUE(box.text.startsWith("Не удалось сохранить файл «" + target + "»"))
          << box.text.toStdString();
      EXPECT_EQ(box.icon, QMessageBox::Critical);
      EXPECT_TRUE(Form_ToMass->isVisible());
    }
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{"taken"});
    EXPECT_TRUE(QDir(folder.filePath("taken"))
                    .isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
  });
}

TEST_F(ArrayWindow, TheSaveDialogOffersTheNameAndKind) {
  InArrayWindow([] {
    WithModal([] { Click(Form_ToMass->Button3); },
              [](QWidget* modal) {
                auto* files = qobject_cast<QFileDialog*>(modal);
                ASSERT_NE(files, nullptr);
                EXPECT_EQ(files->acceptMode(), QFileDialog::AcceptSave);
                EXPECT_EQ(files->defaultSuffix(), "h");
                EXPECT_TRUE(files->nameFilters().join(" ").contains("*.h"));
                EXPECT_TRUE(files->selectedFiles().value(0).endsWith("/lcd_image_mas.h"));
              });
    EXPECT_TRUE(Form_ToMass->isVisible());
  });
}

// An X bitmap written by the module reads in Qt's own XBM reader as the same pixels.
TEST(XbmOutput, QtReadsTheSamePixels) {
  std::mt19937 random(11);
  model::PixelStore store;
  for (int x = 0; x < 320; ++x)
    for (int y = 0; y < 240; ++y) store.Set(x, y, random() % 3 == 0);
  for (auto [w, h] : {std::pair{4, 8}, {12, 16}, {20, 8}, {84, 48}, {316, 240}, {320, 240}}) {
    model::OutputOptions options;
    options.format = model::Format::Xbm;
    options.name = "picture";
    const std::string text = model::BuildFileText(store, w, h, options);
    const QImage image = QImage::fromData(QByteArray::fromStdString(text), "XBM");
    ASSERT_FALSE(image.isNull()) << w << 'x' << h;
    ASSERT_EQ(image.size(), QSize(w, h));
    int wrong = 0;
    for (int x = 0; x < w; ++x)
      for (int y = 0; y < h; ++y)
        wrong += (image.pixelColor(x, y) == QColor(Qt::black)) != (store.Get(x, y) == 1);
    EXPECT_EQ(wrong, 0) << w << 'x' << h;
  }
}

}  // namespace
