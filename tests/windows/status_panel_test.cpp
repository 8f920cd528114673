#include "windows/StatusPanel.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QStatusBar>
#include <QTest>

#include "board/board.h"
#include "model/pixel_store.h"
#include "tests/windows/support.h"
#include "windows/BoardImage.h"
#include "windows/Unit1.h"

namespace {

using StatusPanel = windowstest::FormsTest;

// The readout panel of the main window and, beside it in the status bar (outside the bar's
// layout, with the font and palette the bar passes on), a plain QLabel set up as the panel is.
struct Pair {
  TStatusPanel* panel;
  QLabel* label;
};

Pair ReadoutAndLabel() {
  auto* panel = Form1->StatusBar1->findChild<TStatusPanel*>("StatusPanel0");
  EXPECT_NE(panel, nullptr);
  auto* label = new QLabel(Form1->StatusBar1);
  label->setFixedSize(panel->size());
  label->setFrameStyle(panel->frameStyle());
  label->setAutoFillBackground(panel->autoFillBackground());
  label->setTextFormat(Qt::PlainText);
  return {panel, label};
}

// The two painted whole with `text`; says whether the panel drew it from its runs.
::testing::AssertionResult SameImage(const Pair& pair, const QString& text) {
  pair.panel->setText(text);
  pair.label->setText(text);
  if (pair.panel->grab().toImage() != pair.label->grab().toImage())
    return ::testing::AssertionFailure() << "differs: " << text.toStdString();
  return ::testing::AssertionSuccess() << (pair.panel->DrawsFromRuns() ? "from runs" : "by QLabel");
}

// The two with their contents alone repainted with `text` over what they showed, as a new
// readout repaints them; then painted whole.
::testing::AssertionResult SameRepaint(const Pair& pair, const QString& text) {
  QImage shown = pair.panel->grab().toImage();
  QImage plain = pair.label->grab().toImage();
  pair.panel->setText(text);
  pair.label->setText(text);
  const QRegion contents(pair.panel->contentsRect());
  pair.panel->render(&shown, {}, contents);
  pair.label->render(&plain, {}, contents);
  if (shown != plain)
    return ::testing::AssertionFailure() << "repainted differs: " << text.toStdString();
  return SameImage(pair, text);
}

QString Readout(int x, int y) {
  return QString::fromStdString(board::ReadoutText({x, y}));
}

TEST_F(StatusPanel, EveryReadoutOfTheBoardLooksAsAPlainLabelShowsIt) {
  ASSERT_TRUE(QTest::qWaitForWindowExposed(Form1, windowstest::kPatience));
  const Pair pair = ReadoutAndLabel();
  ASSERT_NE(pair.panel, nullptr);
  const int shapesBefore = pair.panel->Shapes();
  // The text the window starts with.
  EXPECT_EQ(pair.panel->text(), "X: 0  Y: 0");
  EXPECT_TRUE(pair.panel->DrawsFromRuns());
  EXPECT_TRUE(SameImage(pair, pair.panel->text()));
  // Every column with rows of one, two and three digits at both ends of their widths, and every
  // row likewise: each number at each field, next to numbers of every length.
  const int columns = model::PixelStore::kColumns;
  const int rows = model::PixelStore::kRows;
  // Repainted over the text before as a pointer move repaints it: a sample of the same.
  for (int x = 0; x < columns; ++x)
    for (int y : {0, 9, 10, 88, 99, 100, 111, rows - 1}) {
      ASSERT_TRUE((x + y) % 7 ? SameImage(pair, Readout(x, y)) : SameRepaint(pair, Readout(x, y)));
      ASSERT_TRUE(pair.panel->DrawsFromRuns()) << x << ' ' << y;
    }
  for (int y = 0; y < rows; ++y)
    for (int x : {0, 9, 10, 88, 99, 100, 111, columns - 1}) {
      ASSERT_TRUE((x + y) % 7 ? SameImage(pair, Readout(x, y)) : SameRepaint(pair, Readout(x, y)));
      ASSERT_TRUE(pair.panel->DrawsFromRuns()) << x << ' ' << y;
    }
  // The panel copied kept pixels in for these, in the picture format grab() paints into.
  EXPECT_GT(pair.panel->PixelPaints(), 4000);
  // The numbers were put together from their digits: the toolkit laid out the digits, the
  // captions and the digits' pairs, not each of the 320 numbers.
  EXPECT_TRUE(pair.panel->SetsNumbersFromDigits());
  EXPECT_LE(pair.panel->Shapes() - shapesBefore, 20);
  // The text QLabel reports is the readout set.
  EXPECT_EQ(pair.panel->text(), Readout(columns - 1, rows - 1));
}

TEST_F(StatusPanel, ReadoutsLookAlikeInEachPictureFormatTheWindowPaintsInto) {
  ASSERT_TRUE(QTest::qWaitForWindowExposed(Form1, windowstest::kPatience));
  const Pair pair = ReadoutAndLabel();
  ASSERT_NE(pair.panel, nullptr);
  // Into the usual 32-bit formats the kept pixels are copied; into others the glyphs are drawn.
  const std::pair<QImage::Format, bool> formats[] = {{QImage::Format_RGB32, true},
                                                     {QImage::Format_ARGB32_Premultiplied, true},
                                                     {QImage::Format_ARGB32, true},
                                                     {QImage::Format_RGB16, false},
                                                     {QImage::Format_RGB888, false}};
  for (const auto& [format, copies] : formats) {
    const int copiedBefore = pair.panel->PixelPaints();
    for (int x = 0; x < model::PixelStore::kColumns; x += 7)
      for (int y : {0, 5, 42, 100, 239}) {
        const QString text = Readout(x, y);
        pair.panel->setText(text);
        pair.label->setText(text);
        QImage shown(pair.panel->size(), format);
        QImage plain(pair.label->size(), format);
        shown.fill(Qt::magenta);
        plain.fill(Qt::magenta);
        pair.panel->render(&shown);
        pair.label->render(&plain);
        ASSERT_EQ(shown, plain) << text.toStdString() << " format " << format;
        ASSERT_TRUE(pair.panel->DrawsFromRuns());
      }
    EXPECT_EQ(pair.panel->PixelPaints() > copiedBefore, copies) << format;
  }
}

TEST_F(StatusPanel, OtherTextsAndOtherLooksAreShownAsAPlainLabelShowsThem) {
  ASSERT_TRUE(QTest::qWaitForWindowExposed(Form1, windowstest::kPatience));
  const Pair pair = ReadoutAndLabel();
  ASSERT_NE(pair.panel, nullptr);
  struct Case {
    const char* text;
    bool fromRuns;
  };
  const Case cases[] = {
      {"", false},
      // Digits against letters or punctuation may kern or join: laid out whole.
      {"A1", false},
      {"X:12", false},
      {"Y 7.5", false},
      {"Строка 12", true},
      {"Готово", true},
      {"12\t3", false},
      {"1\n2", false},
      // Wider than the panel: clipped to the text's rectangle as QLabel clips it.
      {"X: 1234567890  Y: 1234567890", true},
      // Right to left.
      {"שלום 12", false},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(SameRepaint(pair, QString::fromUtf8(c.text)));
    EXPECT_EQ(pair.panel->DrawsFromRuns(), c.fromRuns) << c.text;
  }
  // Disabled: QLabel's own look for it.
  pair.panel->setEnabled(false);
  pair.label->setEnabled(false);
  EXPECT_FALSE(pair.panel->DrawsFromRuns());
  EXPECT_TRUE(SameImage(pair, Readout(12, 34)));
  pair.panel->setEnabled(true);
  pair.label->setEnabled(true);
  // A new font: the runs kept for the old one are not drawn.
  EXPECT_TRUE(SameImage(pair, Readout(12, 34)));
  QFont larger = pair.panel->font();
  larger.setPixelSize(larger.pixelSize() > 0 ? larger.pixelSize() + 3 : 15);
  pair.panel->setFont(larger);
  pair.label->setFont(larger);
  EXPECT_TRUE(SameImage(pair, Readout(12, 34)));
  EXPECT_TRUE(SameImage(pair, Readout(319, 239)));
  // Digits spaced apart or pressed together (their pixels meet, and each number is then drawn
  // whole), and set without kerning: each as QLabel sets it.
  const std::pair<QFont::SpacingType, qreal> spacings[] = {
      {QFont::AbsoluteSpacing, -2.5}, {QFont::AbsoluteSpacing, 3}, {QFont::PercentageSpacing, 90}};
  for (const auto& [type, amount] : spacings)
    for (bool kerning : {true, false}) {
      QFont spaced = Form1->StatusBar1->font();
      spaced.setLetterSpacing(type, amount);
      spaced.setKerning(kerning);
      pair.panel->setFont(spaced);
      pair.label->setFont(spaced);
      for (const auto& [x, y] : {std::pair{11, 111}, {10, 88}, {319, 239}, {7, 1}, {204, 47}})
        EXPECT_TRUE(SameRepaint(pair, Readout(x, y))) << amount << ' ' << kerning;
      EXPECT_TRUE(pair.panel->DrawsFromRuns()) << amount << ' ' << kerning;
    }
  // Its plain background the panel fills itself; one it does not, the toolkit fills, as it does
  // under QLabel's text.
  pair.panel->setFont(Form1->StatusBar1->font());
  pair.label->setFont(Form1->StatusBar1->font());
  EXPECT_TRUE(SameImage(pair, Readout(5, 6)));
  EXPECT_TRUE(pair.panel->testAttribute(Qt::WA_OpaquePaintEvent));
  QLinearGradient ramp(0, 0, pair.panel->width(), 0);
  ramp.setColorAt(0, Qt::yellow);
  ramp.setColorAt(1, Qt::darkCyan);
  QPalette ramped = pair.panel->palette();
  ramped.setBrush(QPalette::Window, ramp);
  pair.panel->setPalette(ramped);
  pair.label->setPalette(ramped);
  EXPECT_FALSE(pair.panel->testAttribute(Qt::WA_OpaquePaintEvent));
  EXPECT_TRUE(SameRepaint(pair, Readout(12, 34)));
  EXPECT_TRUE(SameRepaint(pair, Readout(5, 6)));
  pair.panel->setPalette(QPalette());
  pair.panel->setAttribute(Qt::WA_SetPalette, false);
  // Left as it was shown before this test for the tests after it.
  pair.panel->setFont(QFont());
  pair.panel->setFont(Form1->StatusBar1->font());
  pair.panel->setAttribute(Qt::WA_SetFont, false);
}

TEST_F(StatusPanel, ANewCellRepaintsTheReadoutAsAPlainLabelWould) {
  ASSERT_TRUE(QTest::qWaitForWindowExposed(Form1, windowstest::kPatience));
  const Pair pair = ReadoutAndLabel();
  ASSERT_NE(pair.panel, nullptr);
  // A pointer move over the board sets the text; what the window shows of it is compared.
  windowstest::Move(Form1->Image1, {4 * 17 + 1, 4 * 3 + 1});
  ASSERT_TRUE(windowstest::WaitUntil([&] { return pair.panel->text() == "X: 17  Y: 3"; }));
  EXPECT_TRUE(pair.panel->DrawsFromRuns());
  EXPECT_TRUE(SameImage(pair, pair.panel->text()));
  EXPECT_TRUE(SameRepaint(pair, Readout(18, 3)));
}

}  // namespace
