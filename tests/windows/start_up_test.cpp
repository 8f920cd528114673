// Start-up pieces: the icons drawn on demand, the dialogs made when first used.
#include <algorithm>

#include <gtest/gtest.h>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSvgRenderer>
#include <QToolButton>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "tests/picture/bmp_builder.h"
#include "tests/windows/support.h"
#include "windows/About.h"
#include "windows/Application.h"
#include "windows/AddImage.h"
#include "windows/Controls.h"
#include "windows/Forms.h"
#include "windows/ToMass.h"
#include "windows/Unit1.h"

namespace {

// The drawing itself, rendered straight from its resource.
QImage Rendered(const char* name, int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  QSvgRenderer(QString(":/icons/") + name + ".svg").render(&painter);
  painter.end();
  return image.convertToFormat(QImage::Format_ARGB32);
}

QImage Drawn(const QIcon& icon, int size, QIcon::Mode mode = QIcon::Normal) {
  return icon.pixmap(size, size, mode).toImage().convertToFormat(QImage::Format_ARGB32);
}

TEST(Icons, DrawnAtTheAskedSizeFromTheDrawingForTheMode) {
  const QIcon resize = LoadIcon("resize", "resize_disabled");
  for (const QIcon::Mode mode : {QIcon::Normal, QIcon::Disabled, QIcon::Active}) {
    EXPECT_EQ(resize.availableSizes(mode), QList<QSize>{QSize(16, 16)}) << mode;
  }
  const QImage normal = Drawn(resize, 16);
  const QImage disabled = Drawn(resize, 16, QIcon::Disabled);
  EXPECT_EQ(normal, Rendered("resize", 16));
  EXPECT_EQ(disabled, Rendered("resize_disabled", 16));
  EXPECT_NE(normal, disabled);
  // Asked again, the same picture comes back.
  EXPECT_EQ(Drawn(resize, 16), normal);
  // Twice the size for a dense screen is drawn anew, not enlarged: the tag's slanted edges
  // come out finer than doubled pixels.
  const QIcon about = LoadIcon("about");
  const QImage twice = Drawn(about, 32);
  EXPECT_EQ(twice.size(), QSize(32, 32));
  EXPECT_NE(twice, Drawn(about, 16).scaled(32, 32));
}

TEST(Icons, WithoutADisabledDrawingTheNormalOneIsGreyed) {
  const QIcon about = LoadIcon("about");
  const QImage normal = Drawn(about, 16);
  const QImage disabled = Drawn(about, 16, QIcon::Disabled);
  EXPECT_NE(normal, disabled);
  int coloured = 0;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      const QColor c = disabled.pixelColor(x, y);
      if (c.alpha() > 0 && (c.red() != c.green() || c.green() != c.blue())) ++coloured;
    }
  EXPECT_EQ(coloured, 0);
}

TEST(Icons, WindowIconTakesTheDrawingMadeForEachSize) {
  const QIcon icon = WindowIcon();
  // The desktop is offered these two sizes and no others.
  QList<QSize> offered = icon.availableSizes();
  std::sort(offered.begin(), offered.end(),
            [](const QSize& a, const QSize& b) { return a.width() < b.width(); });
  EXPECT_EQ(offered, (QList<QSize>{{16, 16}, {32, 32}}));
  EXPECT_EQ(Drawn(icon, 16).size(), QSize(16, 16));
  EXPECT_EQ(Drawn(icon, 32).size(), QSize(32, 32));
  // The 16-pixel drawing is its own, not the 32-pixel one reduced.
  EXPECT_NE(Drawn(icon, 16),
            Drawn(icon, 32).scaled(16, 16, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
}

// The program's own start: only the main window exists until a dialog is first wanted; each is
// then made once, hidden, owned by the main window, and kept with its state for the next use.
TEST(StartUp, DialogsAreMadeWhenFirstUsedAndKept) {
  CreateForms();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(Form1, windowstest::kPatience));
  EXPECT_EQ(AboutBox, nullptr);
  EXPECT_EQ(Form_ToMass, nullptr);
  EXPECT_EQ(Form_AddImage, nullptr);

  windowstest::WithModal([] { windowstest::Click(Form1->SpeedButton4); },
                         [](QWidget* modal) {
                           ASSERT_NE(AboutBox, nullptr);
                           EXPECT_EQ(modal, AboutBox);
                           EXPECT_EQ(AboutBox->parentWidget(), Form1);
                           EXPECT_EQ(AboutBox->Image1->pixmap().size(), QSize(64, 64));
                           windowstest::Click(AboutBox->OKButton);
                         });
  // The other dialogs came with it, hidden.
  ASSERT_NE(Form_ToMass, nullptr);
  ASSERT_NE(Form_AddImage, nullptr);
  EXPECT_FALSE(Form_ToMass->isVisible());
  EXPECT_FALSE(Form_AddImage->isVisible());
  const TAboutBox* about = AboutBox;
  const TForm_ToMass* array = Form_ToMass;
  windowstest::WithModal([] { windowstest::Click(Form1->SpeedButton3); },
                         [&](QWidget* modal) {
                           EXPECT_EQ(modal, array);
                           EXPECT_FALSE(Form_ToMass->Memo1->toPlainText().isEmpty());
                           windowstest::Click(Form_ToMass->BitBtn2);
                         });
  // Made once: the same windows on later uses.
  CreateDialogs();
  EXPECT_EQ(AboutBox, about);
  EXPECT_EQ(Form_ToMass, array);
  DestroyForms();
  EXPECT_EQ(AboutBox, nullptr);
  EXPECT_EQ(Form1, nullptr);
}

// A picture file given at start (or dropped before any dialog was wanted) opens in the import
// dialog, which is made for it.
TEST(StartUp, APictureOpenedBeforeAnyDialogMakesTheImportDialog) {
  QTemporaryDir folder;
  const QString path = folder.filePath("dot.bmp");
  {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    const std::vector<std::uint8_t> bytes = bmptest::Bmp24(
        3, 2, [](int x, int y) { return x == 1 && y == 1 ? model::kBlack : model::kWhite; });
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
  }
  CreateForms();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(Form1, windowstest::kPatience));
  ASSERT_EQ(Form_AddImage, nullptr);
  // The file opens from the event loop, as at start; the dialog's own loop runs inside the wait.
  bool shown = false;
  windowstest::WithModal([&] {
                           OpenFileAtStart(path);
                           EXPECT_TRUE(windowstest::WaitUntil([&] { return shown; }));
                         },
                         [&](QWidget* modal) {
                           shown = true;
                           ASSERT_NE(Form_AddImage, nullptr);
                           EXPECT_EQ(modal, Form_AddImage);
                           const picture::Picture* source = Form_AddImage->SourcePicture();
                           ASSERT_NE(source, nullptr);
                           EXPECT_EQ(source->Width(), 3);
                           EXPECT_EQ(source->Height(), 2);
                           Form_AddImage->reject();
                         });
  DestroyForms();
  EXPECT_EQ(Form_AddImage, nullptr);
}

}  // namespace

// Pixels go to an X server through the connection unless the environment already chose: a
// setting the user made, whatever its value, stands.
TEST(ScreenTransfer, IsChosenOnlyWhereTheEnvironmentSaysNothing) {
  const char* const kName = "QT_XCB_NO_MITSHM";
  const bool wasSet = qEnvironmentVariableIsSet(kName);
  const QByteArray was = qgetenv(kName);
  struct Case {
    bool set;
    QByteArray value;
    QByteArray expected;
  };
  const Case cases[] = {{false, "", "1"}, {true, "0", "0"}, {true, "", ""}, {true, "yes", "yes"}};
  for (const Case& c : cases) {
    if (c.set)
      qputenv(kName, c.value);
    else
      qunsetenv(kName);
    ChooseScreenTransfer();
    EXPECT_TRUE(qEnvironmentVariableIsSet(kName)) << c.value.constData();
    EXPECT_EQ(qgetenv(kName), c.expected) << c.value.constData();
  }
  if (wasSet)
    qputenv(kName, was);
  else
    qunsetenv(kName);
}
