#include "windows/Unit1.h"

#include <map>
#include <vector>

#include <gtest/gtest.h>
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPaintEvent>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>

#include "board/board.h"
#include "tests/support/raster_text.h"
#include "tests/windows/support.h"
#include "windows/About.h"
#include "windows/AddImage.h"
#include "windows/BoardImage.h"
#include "windows/Controls.h"
#include "windows/SpinEdit.h"
#include "windows/ToMass.h"

namespace {

using windowstest::ApplySize;
using windowstest::Click;
using windowstest::ClickAt;
using windowstest::FormsTest;
using windowstest::Move;
using windowstest::Press;
using windowstest::Release;

using MainWindow = FormsTest;

testsupport::Legend Legend() {
  testsupport::Legend legend = testsupport::BoardLegend();
  legend[Form1->ButtonFace()] = '-';
  return legend;
}

// Replaces a size box's text as a paste does (unfiltered, one change).
void Paste(TSpinEdit* box, const QString& text) {
  box->setText(text);
}

void Step(TSpinEdit* box, int times, bool up) {
  for (int i = 0; i < times; ++i) Click(up ? box->UpButton() : box->DownButton());
}

// Picks a scale from the list with the keyboard, as a user does.
void PickScale(int index) {
  while (Form1->ComboBox1->currentIndex() < index) QTest::keyClick(Form1->ComboBox1, Qt::Key_Down);
  while (Form1->ComboBox1->currentIndex() > index) QTest::keyClick(Form1->ComboBox1, Qt::Key_Up);
}

// Resizes the main window and waits until the platform has done so.
void Resize(int width, int height) {
  Form1->resize(width, height);
  ASSERT_TRUE(windowstest::WaitUntil([&] { return Form1->size() == QSize(width, height); }));
  QApplication::processEvents();
}

std::vector<std::pair<int, int>> SetPixels() {
  std::vector<std::pair<int, int>> set;
  for (int x = 0; x < model::PixelStore::kColumns; ++x)
    for (int y = 0; y < model::PixelStore::kRows; ++y)
      if (Form1->Store().Get(x, y)) set.emplace_back(x, y);
  return set;
}

TEST_F(MainWindow, StartsWithAnEmptyBoardOf84By48AtScale4) {
  EXPECT_EQ(Form1->windowTitle(), "Dotwright 84x48");
  EXPECT_EQ(Form1->Geometry(), (model::BoardGeometry{4, 84, 48}));
  EXPECT_EQ(Form1->ComboBox1->currentText(), "4");
  EXPECT_EQ(Form1->SpinEdit1->text(), "84");
  EXPECT_EQ(Form1->SpinEdit2->text(), "48");
  EXPECT_FALSE(Form1->SpeedButton12->isEnabled());
  EXPECT_EQ(Form1->StatusText(0), "X: 0  Y: 0");
  EXPECT_EQ(Form1->StatusText(1), "");
  EXPECT_TRUE(SetPixels().empty());
  // 337 x 193 of dark green with a black frame and a grid every 4 pixels; button face around.
  const model::PaletteCanvas& s = Form1->Surface();
  EXPECT_TRUE(
      testsupport::RasterMatches(s, 0, 0, {"#####", "#...#", "#...#", "#...#", "#####"}, Legend()));
  EXPECT_TRUE(testsupport::RasterMatches(
      s, 332, 188, {"#####-", "#...#-", "#...#-", "#...#-", "#####-", "------"}, Legend()));
  EXPECT_EQ(s.Pixel(2255, 1919), Form1->ButtonFace());
  EXPECT_EQ(s.Pixel(2256, 0), model::kBlack);
  // The surround has the colour the screen shows in the empty tool strip beside the board.
  const QImage strip = Form1->CoolBar1->grab().toImage();
  EXPECT_EQ(ToColour(strip.pixelColor(strip.width() / 2, strip.height() - 20)), s.Pixel(400, 300));
  // The other windows exist, hidden.
  for (const QWidget* window :
       std::initializer_list<const QWidget*>{AboutBox, Form_ToMass, Form_AddImage}) {
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(window->isVisible()) << window->objectName().toStdString();
  }
}

TEST_F(MainWindow, ControlsCarryTheirTextsAndHints) {
  const struct {
    QToolButton* button;
    const char* text;
    const char* hint;
  } buttons[] = {
      {Form1->SpeedButton1, "Новый", "Новый"},
      {Form1->SpeedButton2, "Картинка", "Вставить рисунок"},
      {Form1->SpeedButton3, "Массив", "Получить массив картинки"},
      {Form1->SpeedButton12, "", "Установить новый размер"},
      {Form1->SpeedButton4, "", "О программе"},
      {Form1->SpeedButton6, "", "Выход"},
  };
  for (const auto& b : buttons) {
    EXPECT_EQ(b.button->text(), b.text) << b.hint;
    EXPECT_EQ(b.button->toolTip(), b.hint) << b.hint;
    EXPECT_FALSE(b.button->icon().isNull()) << b.hint;
    // Icon-only buttons are named by their hint for assistive technology.
    if (QString(b.text).isEmpty()) {
      EXPECT_EQ(b.button->accessibleName(), b.hint) << b.hint;
    }
  }
  EXPECT_EQ(Form1->ComboBox1->count(), 4);
  EXPECT_FALSE(Form1->ComboBox1->isEditable());
  EXPECT_EQ(Form1->Label1->text(), "Масштаб");
  EXPECT_EQ(Form1->Label2->text(), "Размер");
  EXPECT_EQ(Form1->Label4->text(), "X");
  EXPECT_EQ(Form1->Label3->text(), "Y");
}

// Left to right, each control after the one before it, all inside `parent`. Neighbours share at
// most their edge column: the height box's last column lies under the apply-size button.
testing::AssertionResult InARow(const QWidget* parent, std::initializer_list<const QWidget*> row) {
  const QWidget* before = nullptr;
  for (const QWidget* w : row) {
    const std::string name = w->objectName().toStdString();
    if (w->parentWidget() != parent) return testing::AssertionFailure() << name << " elsewhere";
    if (!parent->rect().contains(w->geometry())) {
      return testing::AssertionFailure() << name << " reaches out of its parent";
    }
    if (before != nullptr && w->x() < before->geometry().right()) {
      return testing::AssertionFailure()
             << name << " overlaps " << before->objectName().toStdString();
    }
    before = w;
  }
  return testing::AssertionSuccess();
}

TEST_F(MainWindow, ControlsLieInOrderWithoutOverlapping) {
  EXPECT_TRUE(InARow(Form1->ToolBar1,
                     {Form1->SpeedButton1, Form1->SpeedButton2, Form1->SpeedButton3, Form1->Panel2,
                      Form1->Panel3, Form1->SpeedButton4, Form1->SpeedButton6}));
  EXPECT_TRUE(InARow(Form1->Panel2, {Form1->Label1, Form1->ComboBox1}));
  EXPECT_TRUE(InARow(Form1->Panel3, {Form1->Label2, Form1->Label4, Form1->SpinEdit1, Form1->Label3,
                                     Form1->SpinEdit2, Form1->SpeedButton12}));
  // Tool bar, client area and status bar stacked over the whole window; in the client area the
  // tool strip and the board's frame side by side over its whole width.
  const QWidget* client = Form1->centralWidget();
  EXPECT_EQ(Form1->ToolBar1->geometry().bottom() + 1, client->y());
  EXPECT_EQ(client->geometry().bottom() + 1, Form1->StatusBar1->y());
  EXPECT_EQ(Form1->StatusBar1->geometry().bottom() + 1, Form1->height());
  EXPECT_EQ(Form1->CoolBar1->geometry(), QRect(0, 0, Form1->CoolBar1->width(), client->height()));
  EXPECT_EQ(Form1->Panel1->geometry(),
            QRect(Form1->CoolBar1->width(), 0, client->width() - Form1->CoolBar1->width(),
                  client->height()));
  EXPECT_TRUE(InARow(Form1->CoolBar1, {Form1->SpeedButton5}));
  // The board image is the whole surface.
  EXPECT_EQ(Form1->Image1->size(), QSize(Form1->Surface().Width(), Form1->Surface().Height()));
  // The client area of a window of 783 x 540 with its frame, and the window, frame included,
  // centred on the desktop: its position is the frame's.
  EXPECT_EQ(Form1->size(), QSize(783 - 2 * 4, 540 - 30 - 4));
  const QRect outer(Form1->pos(), QSize(783, 540));
  const QPoint offCentre =
      outer.center() - QGuiApplication::primaryScreen()->availableGeometry().center();
  EXPECT_LE(offCentre.manhattanLength(), 1) << offCentre.x() << "," << offCentre.y();
}

TEST_F(MainWindow, OnlyThePencilToolShows) {
  // The pencil shows pressed and stays so when clicked; its five companions are hidden.
  EXPECT_TRUE(Form1->SpeedButton5->isVisible());
  EXPECT_TRUE(Form1->SpeedButton5->isChecked());
  Click(Form1->SpeedButton5);
  EXPECT_TRUE(Form1->SpeedButton5->isChecked());
  for (QToolButton* b : {Form1->SpeedButton7, Form1->SpeedButton8, Form1->SpeedButton9,
                         Form1->SpeedButton10, Form1->SpeedButton11}) {
    EXPECT_FALSE(b->isVisible());
    EXPECT_EQ(b->group(), Form1->ToolGroup);
    EXPECT_FALSE(b->icon().isNull());
  }
  EXPECT_EQ(Form1->ToolGroup->buttons().size(), 6);
}

TEST_F(MainWindow, IconsRender) {
  // Through the SVG icon engine: a null icon or an empty picture means the engine or the
  // resources are missing.
  const QIcon windowIcon = Form1->windowIcon();
  for (int size : {16, 32}) {
    const QImage image = windowIcon.pixmap(size, size).toImage();
    ASSERT_EQ(image.width(), size);
    EXPECT_GT(qAlpha(image.pixel(size / 2, size / 2)), 0);
  }
  for (QToolButton* b : {Form1->SpeedButton1, Form1->SpeedButton2, Form1->SpeedButton3,
                         Form1->SpeedButton4, Form1->SpeedButton6, Form1->SpeedButton12}) {
    const QImage image = b->icon().pixmap(16, 16).toImage();
    int opaque = 0;
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) opaque += qAlpha(image.pixel(x, y)) > 0;
    EXPECT_GT(opaque, 10) << b->objectName().toStdString();
  }
  // The apply-size button has a grey picture of its own for the disabled state.
  const QImage normal = Form1->SpeedButton12->icon().pixmap(16, 16, QIcon::Normal).toImage();
  const QImage disabled = Form1->SpeedButton12->icon().pixmap(16, 16, QIcon::Disabled).toImage();
  EXPECT_NE(normal, disabled);
  const QRgb grey = disabled.pixel(2, 2);
  EXPECT_EQ(qRed(grey), qBlue(grey));
}

TEST_F(MainWindow, SteppingTheSizeAndApplyingIt) {
  Step(Form1->SpinEdit1, 4, true);
  Step(Form1->SpinEdit2, 4, false);
  EXPECT_EQ(Form1->SpinEdit1->text(), "100");
  EXPECT_EQ(Form1->SpinEdit2->text(), "16");
  EXPECT_TRUE(Form1->SpeedButton12->isEnabled());
  EXPECT_EQ(Form1->windowTitle(), "Dotwright 84x48");  // pending until applied
  Click(Form1->SpeedButton12);
  EXPECT_EQ(Form1->windowTitle(), "Dotwright 100x16");
  EXPECT_EQ(Form1->Geometry(), (model::BoardGeometry{4, 100, 16}));
  EXPECT_FALSE(Form1->SpeedButton12->isEnabled());
  EXPECT_EQ(Form1->Surface().Pixel(400, 10), model::kBlack);  // the frame's right line
  EXPECT_EQ(Form1->Surface().Pixel(401, 10), Form1->ButtonFace());
}

TEST_F(MainWindow, SteppingBackToTheCurrentSizeDisablesTheApplyButton) {
  Step(Form1->SpinEdit1, 1, true);
  EXPECT_TRUE(Form1->SpeedButton12->isEnabled());
  Step(Form1->SpinEdit1, 1, false);
  EXPECT_FALSE(Form1->SpeedButton12->isEnabled());
  QTest::keyClick(Form1->SpinEdit2, Qt::Key_Down);
  EXPECT_TRUE(Form1->SpeedButton12->isEnabled());
  QTest::keyClick(Form1->SpinEdit2, Qt::Key_Up);
  EXPECT_FALSE(Form1->SpeedButton12->isEnabled());
}

TEST_F(MainWindow, AScaleChangeAppliesAPendingSize) {
  Step(Form1->SpinEdit1, 1, true);
  PickScale(3);
  EXPECT_EQ(Form1->Geometry(), (model::BoardGeometry{8, 88, 48}));
  EXPECT_EQ(Form1->windowTitle(), "Dotwright 88x48");
  EXPECT_FALSE(Form1->SpeedButton12->isEnabled());
  // A change made by the program is not a pick by the user: nothing is redrawn.
  Form1->ComboBox1->setCurrentIndex(0);
  EXPECT_EQ(Form1->Geometry().scale, 8);
}

TEST_F(MainWindow, NewClearsEveryPixelAndAppliesAPendingSize) {
  ClickAt(Form1->Image1, {9, 5});
  ApplySize(40, 16);
  ClickAt(Form1->Image1, {150, 50});
  EXPECT_EQ(SetPixels(), (std::vector<std::pair<int, int>>{{2, 1}, {37, 12}}));
  Paste(Form1->SpinEdit1, "84");
  Paste(Form1->SpinEdit2, "48");
  EXPECT_TRUE(Form1->SpeedButton12->isEnabled());
  Click(Form1->SpeedButton1);
  EXPECT_TRUE(SetPixels().empty());  // also the pixel that lay outside 40 x 16
  EXPECT_EQ(Form1->Geometry(), (model::BoardGeometry{4, 84, 48}));
  EXPECT_FALSE(Form1->SpeedButton12->isEnabled());
  EXPECT_EQ(Form1->Surface().Pixel(150, 50), board::kClearColour);
}

TEST_F(MainWindow, ShrinkingHidesPixelsAndGrowingShowsThemAgain) {
  ClickAt(Form1->Image1, {70 * 4 + 1, 40 * 4 + 1});
  ApplySize(40, 16);
  EXPECT_EQ(Form1->Store().Get(70, 40), 1);
  ApplySize(84, 48);
  EXPECT_EQ(Form1->Surface().Pixel(70 * 4 + 2, 40 * 4 + 2), board::kSetColour);
}

TEST_F(MainWindow, TypingIntoAnEmptiedBoxSnapsAtOnce) {
  TSpinEdit* width = Form1->SpinEdit1;
  TSpinEdit* height = Form1->SpinEdit2;
  width->setFocus();
  width->selectAll();
  QTest::keyClick(width, Qt::Key_Backspace);
  QTest::keyClicks(width, "1");
  EXPECT_EQ(width->text(), "4");
  height->setFocus();
  height->selectAll();
  QTest::keyClick(height, Qt::Key_Backspace);
  QTest::keyClicks(height, "5");
  EXPECT_EQ(height->text(), "8");
  // A multiple of the step, and a value that is snapped down.
  width->selectAll();
  QTest::keyClicks(width, "85");
  EXPECT_EQ(width->text(), "84");
}

TEST_F(MainWindow, AnEmptiedBoxReadsAsItsMinimum) {
  Paste(Form1->SpinEdit1, "");
  EXPECT_TRUE(Form1->SpeedButton12->isEnabled());
  Click(Form1->SpeedButton12);
  EXPECT_EQ(Form1->SpinEdit1->text(), "4");
  EXPECT_EQ(Form1->Geometry().width, 4);
  // At the minimum already: emptying the box asks for no other size.
  Paste(Form1->SpinEdit1, "");
  EXPECT_FALSE(Form1->SpeedButton12->isEnabled());
  Paste(Form1->SpinEdit2, "");
  EXPECT_TRUE(Form1->SpeedButton12->isEnabled());
  Click(Form1->SpeedButton12);
  EXPECT_EQ(Form1->Geometry(), (model::BoardGeometry{4, 4, 8}));
  EXPECT_EQ(Form1->windowTitle(), "Dotwright 4x8");
}

TEST_F(MainWindow, SizeInputsEndAsTakenAfterApplying) {
  const struct {
    const char* width;
    int takenWidth;
  } widths[] = {{"0", 4},     {"3", 4},     {"4", 4},  {"85", 84},
                {"321", 320}, {"324", 320}, {"-5", 4}, {"$40", 64}};
  for (const auto& c : widths) {
    Paste(Form1->SpinEdit1, c.width);
    Click(Form1->SpeedButton1);
    EXPECT_EQ(Form1->Geometry().width, c.takenWidth) << c.width;
    EXPECT_EQ(Form1->SpinEdit1->text(), QString::number(c.takenWidth)) << c.width;
  }
  const struct {
    const char* height;
    int takenHeight;
  } heights[] = {{"5", 8}, {"8", 8}, {"50", 48}, {"241", 240}, {"248", 240}};
  for (const auto& c : heights) {
    Paste(Form1->SpinEdit2, c.height);
    Click(Form1->SpeedButton1);
    EXPECT_EQ(Form1->Geometry().height, c.takenHeight) << c.height;
    EXPECT_EQ(Form1->SpinEdit2->text(), QString::number(c.takenHeight)) << c.height;
  }
}

TEST_F(MainWindow, ALeftDragSetsTheCellsAlongItsWayOnTheBoard) {
  TBoardImage* image = Form1->Image1;
  Press(image, {9, 5});
  Move(image, {21, 5});   // three cells on: the two between are set too
  Move(image, {400, 5});  // off the board: neither painted nor read out
  EXPECT_EQ(Form1->StatusText(0), "X: 5  Y: 1");
  Move(image, {40, 13});  // back from off the board: only this cell
  Release(image, {40, 13});
  EXPECT_EQ(SetPixels(),
            (std::vector<std::pair<int, int>>{{2, 1}, {3, 1}, {4, 1}, {5, 1}, {10, 3}}));
  EXPECT_EQ(Form1->StatusText(0), "X: 10  Y: 3");
  EXPECT_TRUE(
      testsupport::RasterMatches(Form1->Surface(), 7, 3,
                                 {".#...#...#.", "###########", ".#ooo#ooo#o", ".#ooo#ooo#o",
                                  ".#ooo#ooo#o", "###########", ".#...#...#."},
                                 Legend()));
  // A move without a button reads out but paints nothing.
  Move(image, {100, 100});
  EXPECT_EQ(SetPixels().size(), 5u);
  EXPECT_EQ(Form1->StatusText(0), "X: 25  Y: 25");
}

TEST_F(MainWindow, RightAndMiddleClicksClear) {
  TBoardImage* image = Form1->Image1;
  ClickAt(image, {9, 5});
  ClickAt(image, {13, 5});
  ASSERT_EQ(SetPixels().size(), 2u);
  ClickAt(image, {10, 6}, Qt::RightButton);
  ClickAt(image, {14, 7}, Qt::MiddleButton);
  EXPECT_TRUE(SetPixels().empty());
  EXPECT_EQ(Form1->Surface().Pixel(10, 6), board::kClearColour);
  // A right drag clears along its way.
  ClickAt(image, {1, 1});
  ClickAt(image, {5, 1});
  Press(image, {1, 1}, Qt::RightButton);
  Move(image, {5, 1});
  Release(image, {5, 1}, Qt::RightButton);
  EXPECT_TRUE(SetPixels().empty());
}

TEST_F(MainWindow, TheLastColumnIsOnTheBoardAndTheFrameIsNot) {
  ClickAt(Form1->Image1, {84 * 4 - 1, 0});
  ClickAt(Form1->Image1, {84 * 4, 4});
  EXPECT_EQ(SetPixels(), (std::vector<std::pair<int, int>>{{83, 0}}));
}

TEST_F(MainWindow, AReleaseAnywhereEndsPainting) {
  TBoardImage* image = Form1->Image1;
  for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton}) {
    Form1->SpeedButton1Click();
    ClickAt(image, {41, 41});  // a set pixel for the clearing buttons to show
    Press(image, {9, 5}, button);
    EXPECT_TRUE(Form1->Painting().PaintingActive);
    // Out of the window, released there: the board gets the release all the same.
    const QPoint outside = image->mapFrom(Form1, QPoint(Form1->width() + 50, -30));
    Move(image, outside);
    Release(image, outside, button);
    EXPECT_FALSE(Form1->Painting().PaintingActive);
    // Over a cell the button would change, were it still painting.
    const auto before = SetPixels();
    Move(image, button == Qt::LeftButton ? QPoint(61, 61) : QPoint(41, 41));
    EXPECT_EQ(SetPixels(), before) << button;
  }
}

TEST_F(MainWindow, AnEditRepaintsOnlyItsCell) {
  struct Recorder : QObject {
    QRegion painted;
    bool eventFilter(QObject*, QEvent* event) override {
      if (event->type() == QEvent::Paint) painted += static_cast<QPaintEvent*>(event)->region();
      return false;
    }
  } recorder;
  ASSERT_TRUE(QTest::qWaitForWindowExposed(Form1, windowstest::kPatience));
  QApplication::processEvents();
  Form1->Image1->installEventFilter(&recorder);
  ClickAt(Form1->Image1, {9, 5});
  ASSERT_TRUE(windowstest::WaitUntil([&] { return !recorder.painted.isEmpty(); }));
  QApplication::processEvents();
  EXPECT_EQ(recorder.painted, QRegion(8, 4, 5, 5));
  // What the screen shows is the canvas's own pixels.
  const QImage shown = Form1->Image1->grab(QRect(0, 0, 16, 12)).toImage();
  for (const QPoint p : {QPoint(10, 6), QPoint(8, 4), QPoint(2, 2), QPoint(14, 2)}) {
    EXPECT_EQ(ToColour(shown.pixelColor(p)), Form1->Surface().Pixel(p.x(), p.y()))
        << p.x() << "," << p.y();
  }
  Form1->Image1->removeEventFilter(&recorder);
}

// Paint regions per widget, and the status bar's layout requests, while installed.
struct PaintRecorder : QObject {
  std::map<QObject*, QRegion> painted;
  int paints = 0;
  int layouts = 0;
  explicit PaintRecorder(const std::vector<QWidget*>& watched) : m_watched(watched) {
    for (QWidget* w : m_watched) w->installEventFilter(this);
  }
  ~PaintRecorder() override {
    for (QWidget* w : m_watched) w->removeEventFilter(this);
  }
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      painted[watched] += static_cast<QPaintEvent*>(event)->region();
      ++paints;
    }
    if (event->type() == QEvent::LayoutRequest) ++layouts;
    return false;
  }
  std::vector<QWidget*> m_watched;
};

TEST_F(MainWindow, PointerMovesRepaintTheCellAndTheReadoutOnly) {
  ASSERT_TRUE(QTest::qWaitForWindowExposed(Form1, windowstest::kPatience));
  QApplication::processEvents();
  auto* readout = Form1->StatusBar1->findChild<QLabel*>("StatusPanel0");
  auto* other = Form1->StatusBar1->findChild<QLabel*>("StatusPanel1");
  ASSERT_NE(readout, nullptr);
  ASSERT_NE(other, nullptr);
  // The labels keep the places the bar's layout has always given them.
  EXPECT_EQ(readout->geometry(), QRect(2, 3, 100, 14));
  EXPECT_EQ(other->geometry(), QRect(108, 3, 50, 14));
  PaintRecorder recorder({Form1->Image1, Form1->StatusBar1, readout, other});
  // The pointer comes into cell (2, 1) from another cell, wherever earlier tests left it, so
  // the readout shows the cell before the press.
  Move(Form1->Image1, {1, 1});
  Move(Form1->Image1, {9, 5});
  ASSERT_TRUE(windowstest::WaitUntil([&] { return Form1->StatusText(0) == "X: 2  Y: 1"; }));
  Press(Form1->Image1, {9, 5});  // cell (2, 1)
  ASSERT_TRUE(windowstest::WaitUntil([&] { return recorder.paints > 0; }));
  QApplication::processEvents();
  // Within the cell: no paint at all, the readout text is the same.
  recorder.painted.clear();
  recorder.paints = 0;
  recorder.layouts = 0;
  Move(Form1->Image1, {10, 6});
  Move(Form1->Image1, {11, 7});
  QApplication::processEvents();
  EXPECT_EQ(recorder.paints, 0);
  EXPECT_EQ(Form1->StatusText(0), "X: 2  Y: 1");
  // Into cell (3, 1): that cell and the readout, once each; the bar is not laid out again.
  Move(Form1->Image1, {13, 6});
  ASSERT_TRUE(windowstest::WaitUntil([&] { return recorder.painted.count(Form1->Image1) > 0; }));
  ASSERT_TRUE(windowstest::WaitUntil([&] { return recorder.painted.count(readout) > 0; }));
  QApplication::processEvents();
  EXPECT_EQ(Form1->StatusText(0), "X: 3  Y: 1");
  EXPECT_EQ(recorder.painted[Form1->Image1], QRegion(12, 4, 5, 5));
  // The label's text area only: the label is opaque, so the bar under it is not painted, nor
  // is the other panel.
  EXPECT_EQ(recorder.painted[readout], QRegion(readout->contentsRect()));
  EXPECT_EQ(recorder.painted.count(Form1->StatusBar1), 0u);
  EXPECT_EQ(recorder.painted.count(other), 0u);
  EXPECT_EQ(recorder.paints, 2);
  EXPECT_EQ(recorder.layouts, 0);
  Release(Form1->Image1, {13, 6});
}

TEST_F(MainWindow, TheOpaqueReadoutLooksAsTheBarWouldShowItThrough) {
  ASSERT_TRUE(QTest::qWaitForWindowExposed(Form1, windowstest::kPatience));
  QApplication::processEvents();
  auto* readout = Form1->StatusBar1->findChild<QLabel*>("StatusPanel0");
  ASSERT_NE(readout, nullptr);
  EXPECT_TRUE(readout->autoFillBackground());
  // The bar as it shows with the readout filling its own background and with the bar and the
  // window painted under it, for texts of every length the board gives, each after a longer one.
  for (const char* text : {"X: 319  Y: 239", "X: 0  Y: 0", "X: 83  Y: 47", "X: 5  Y: 12"}) {
    readout->setText(text);
    const QImage opaque = Form1->StatusBar1->grab().toImage();
    readout->setAutoFillBackground(false);
    const QImage seeThrough = Form1->StatusBar1->grab().toImage();
    readout->setAutoFillBackground(true);
    EXPECT_EQ(opaque, seeThrough) << text;
  }
}

TEST_F(MainWindow, TheSurfaceTakesAByteAPixelAndOnlyTheViewportIsPainted) {
  ASSERT_TRUE(QTest::qWaitForWindowExposed(Form1, windowstest::kPatience));
  QApplication::processEvents();
  // Shown, the first board (84 x 48 at scale 4, rows 0..192 with its frame) has taken memory
  // for its own rows; the rows below it share one row, and painting them has given them none.
  const std::size_t bookkeeping = 2560 + 1920 + 1024;
  EXPECT_LE(Form1->Surface().MemoryBytes(), std::size_t{2560} * 193 + bookkeeping);
  PaintRecorder recorder({Form1->Image1});
  ApplySize(320, 240);
  PickScale(3);
  ASSERT_TRUE(windowstest::WaitUntil([&] { return recorder.paints > 0; }));
  QApplication::processEvents();
  // A full redraw of the largest board repaints what the viewport shows, not the whole surface.
  const QWidget* viewport = Form1->Image1->parentWidget();
  const QRect visible(-Form1->Image1->pos(), viewport->size());
  EXPECT_FALSE(recorder.painted[Form1->Image1].isEmpty());
  EXPECT_TRUE(QRegion(visible).contains(recorder.painted[Form1->Image1].boundingRect()));
  // Every pixel shown is the surface's colour.
  const QImage shown = Form1->Image1->grab(visible).toImage();
  int differing = 0;
  for (int y = 0; y < shown.height(); ++y)
    for (int x = 0; x < shown.width(); ++x)
      if (ToColour(shown.pixelColor(x, y)) !=
          Form1->Surface().Pixel(x + visible.x(), y + visible.y()))
        ++differing;
  EXPECT_EQ(differing, 0);
  EXPECT_LE(Form1->Surface().MemoryBytes(), std::size_t{2560} * 1920 + bookkeeping);
}

TEST_F(MainWindow, ScrollBarsFollowTheBoardAndTheViewport) {
  QScrollBar* h = Form1->ScrollBar1;
  QScrollBar* v = Form1->ScrollBar2;
  // The bars' lengths as the layout gives them.
  const QWidget* viewport = Form1->Image1->parentWidget();
  EXPECT_EQ(h->width(), viewport->width() - 19);
  EXPECT_EQ(v->height(), viewport->height() - 19 - 2);
  EXPECT_EQ(h->minimum(), 0);
  EXPECT_FALSE(h->isEnabled());
  EXPECT_FALSE(v->isEnabled());

  PickScale(3);
  ApplySize(320, 240);
  EXPECT_TRUE(h->isEnabled());
  EXPECT_TRUE(v->isEnabled());
  EXPECT_EQ(h->maximum(), 2560 - h->width() + 4);
  EXPECT_EQ(v->maximum(), 1920 - v->height() + 3);
  h->setValue(h->maximum());
  v->setValue(v->maximum());
  EXPECT_EQ(Form1->Image1->pos(), QPoint(-h->maximum(), -v->maximum()));

  // A smaller board pulls the positions into the new ranges, and the board moves with them.
  ApplySize(200, 120);
  EXPECT_EQ(h->maximum(), 1600 - h->width() + 4);
  EXPECT_EQ(h->value(), h->maximum());
  EXPECT_EQ(v->value(), v->maximum());
  EXPECT_EQ(Form1->Image1->pos(), QPoint(-h->value(), -v->value()));

  // A board that fits disables its bar and returns the view to 0.
  PickScale(0);
  EXPECT_FALSE(h->isEnabled());
  EXPECT_FALSE(v->isEnabled());
  EXPECT_EQ(Form1->Image1->pos(), QPoint(0, 0));
}

TEST_F(MainWindow, EnlargingTheWindowUntilTheBoardFitsDisablesBothBars) {
  PickScale(0);
  ApplySize(320, 240);
  PickScale(1);  // scale 2, 640 x 480: wider and higher than the visible part
  QScrollBar* h = Form1->ScrollBar1;
  QScrollBar* v = Form1->ScrollBar2;
  ASSERT_TRUE(v->isEnabled());
  v->setValue(20);
  const int shortBy = 480 - v->height();
  Resize(Form1->width(), Form1->height() + shortBy - 10);  // still 10 pixels short
  EXPECT_TRUE(v->isEnabled());
  EXPECT_EQ(v->maximum(), 10 + 3);
  EXPECT_EQ(v->value(), 13);
  EXPECT_EQ(Form1->Image1->y(), -13);
  Resize(1200, 900);
  EXPECT_FALSE(h->isEnabled());
  EXPECT_FALSE(v->isEnabled());
  EXPECT_EQ(Form1->Image1->pos(), QPoint(0, 0));
  EXPECT_EQ(h->width(), Form1->Image1->parentWidget()->width() - 19);
}

TEST_F(MainWindow, ExitEndsTheEventLoop) {
  QApplication::setQuitOnLastWindowClosed(true);
  QTimer::singleShot(0, [] { Click(Form1->SpeedButton6); });
  // Would never return if closing the main window did not end the loop. Owned here, so that it
  // cannot fire during a later test: an exit outside the main loop ends every nested loop after it.
  QTimer giveUp;
  giveUp.setSingleShot(true);
  QObject::connect(&giveUp, &QTimer::timeout, [] { QApplication::exit(1); });
  giveUp.start(windowstest::kPatience);
  const int result = QApplication::exec();
  QApplication::setQuitOnLastWindowClosed(false);
  EXPECT_EQ(result, 0);
  EXPECT_FALSE(Form1->isVisible());
}

TEST_F(MainWindow, ApplyConvertedStoresBlackAsSetPixels) {
  Paste(Form1->SpinEdit1, "96");  // pending: applied after the store is written
  model::Canvas preview(320, 240);
  preview.SetPixel(0, 0, model::kBlack);
  preview.SetPixel(83, 47, model::kBlack);
  preview.SetPixel(1, 0, 0x000001);        // nearly black is not black
  preview.SetPixel(90, 0, model::kBlack);  // beyond the current width: not copied
  Form1->ApplyConverted(preview);
  EXPECT_EQ(SetPixels(), (std::vector<std::pair<int, int>>{{0, 0}, {83, 47}}));
  EXPECT_EQ(Form1->Geometry().width, 96);
  EXPECT_EQ(Form1->windowTitle(), "Dotwright 96x48");
  // The size is applied, but the apply-size button is left as it was.
  EXPECT_TRUE(Form1->SpeedButton12->isEnabled());
  EXPECT_EQ(Form1->Surface().Pixel(2, 2), board::kSetColour);
}

}  // namespace
