#include "windows/SpinEdit.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWidget>

#include "tests/windows/support.h"

namespace {

// A width box (4..320, step 4, value 84) in a window with a second field to move the focus to.
struct Box {
  Box() : edit(new TSpinEdit(4, 320, 4, 84, &window)), other(new QLineEdit(&window)) {
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(edit);
    layout->addWidget(other);
    edit->setFixedSize(49, 20);
    window.show();
    window.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&window, windowstest::kPatience));
    edit->setFocus();
  }

  QWidget window;
  TSpinEdit* edit;
  QLineEdit* other;
  QSignalSpy changes{edit, &TSpinEdit::Change};
  QSignalSpy refusals{edit, &TSpinEdit::KeyRefused};
};

TEST(SpinEdit, ValueReadsTheTextAndFallsBackToTheMinimum) {
  Box box;
  const struct {
    const char* text;
    int value;
  } cases[] = {{"84", 84},
               {"", 4},
               {"abc", 4},
               {"$10", 16},
               {"0x1C", 28},
               {"-5", -5},
               {"+8", 8},
               {"324", 324},
               {"99999999999", 4},
               {"1.5", 4},
               {"2147483647", 2147483647},
               {"-2147483648", -2147483647 - 1}};
  for (const auto& c : cases) {
    box.edit->setText(c.text);
    EXPECT_EQ(box.edit->Value(), c.value) << c.text;
  }
}

TEST(SpinEdit, SettingAValueClampsItAndWritesDecimalText) {
  Box box;
  const struct {
    int set;
    const char* text;
  } cases[] = {{100, "100"}, {1000, "320"}, {-3, "4"}, {3, "4"}, {320, "320"}, {321, "320"}};
  for (const auto& c : cases) {
    box.edit->SetValue(c.set);
    EXPECT_EQ(box.edit->text(), c.text) << c.set;
  }
  // 84 -> 100 -> 320 -> 4 (the 4 of -3 and of 3 is one change) -> 320 (320 again and 321 none).
  EXPECT_EQ(box.changes.count(), 4);
}

TEST(SpinEdit, TheInitialValueRaisesNoChange) {
  Box box;
  QApplication::processEvents();
  EXPECT_EQ(box.edit->text(), "84");
  EXPECT_EQ(box.changes.count(), 0);
}

TEST(SpinEdit, KeyFilterTakesDigitsSignsAndTheDecimalSeparatorOnly) {
  Box box;
  box.edit->clear();
  box.changes.clear();
  QTest::keyClicks(box.edit, "1+2-3");
  QTest::keyClicks(box.edit, QLocale().decimalPoint());
  EXPECT_EQ(box.edit->text(), "1+2-3" + QLocale().decimalPoint());
  EXPECT_EQ(box.refusals.count(), 0);
  // Each accepted character changed the text once.
  EXPECT_EQ(box.changes.count(), 6);

  const QString before = box.edit->text();
  for (const char* refused : {"a", "x", " ", "$", "*", "="}) QTest::keyClicks(box.edit, refused);
  QTest::keyClick(box.edit, Qt::Key_Return);
  QTest::keyClick(box.edit, Qt::Key_Enter);
  EXPECT_EQ(box.edit->text(), before);
  EXPECT_EQ(box.refusals.count(), 8);

  // Control keys pass: backspace, select all, cut.
  QTest::keyClick(box.edit, Qt::Key_Backspace);
  EXPECT_EQ(box.edit->text(), "1+2-3");
  QTest::keyClick(box.edit, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(box.edit, Qt::Key_X, Qt::ControlModifier);
  EXPECT_EQ(box.edit->text(), "");
  EXPECT_EQ(box.refusals.count(), 8);
}

TEST(SpinEdit, PastedTextIsNotFiltered) {
  Box box;
  QApplication::clipboard()->setText("abc");
  box.edit->selectAll();
  QTest::keyClick(box.edit, Qt::Key_V, Qt::ControlModifier);
  if (QApplication::clipboard()->text() != "abc") GTEST_SKIP() << "no clipboard on this platform";
  EXPECT_EQ(box.edit->text(), "abc");
  EXPECT_EQ(box.edit->Value(), 4);
}

TEST(SpinEdit, UpAndDownKeysStepAndClampWithoutChangesAtTheLimits) {
  Box box;
  QTest::keyClick(box.edit, Qt::Key_Up);
  EXPECT_EQ(box.edit->text(), "88");
  QTest::keyClick(box.edit, Qt::Key_Down);
  QTest::keyClick(box.edit, Qt::Key_Down);
  EXPECT_EQ(box.edit->text(), "80");
  EXPECT_EQ(box.changes.count(), 3);

  box.edit->setText("318");
  box.changes.clear();
  QTest::keyClick(box.edit, Qt::Key_Up);
  EXPECT_EQ(box.edit->text(), "320");
  QTest::keyClick(box.edit, Qt::Key_Up);  // at the limit: the text stays, no change
  EXPECT_EQ(box.changes.count(), 1);

  box.edit->setText("2147483647");  // stepping must not wrap past the int range
  QTest::keyClick(box.edit, Qt::Key_Up);
  EXPECT_EQ(box.edit->text(), "320");
  box.edit->setText("");  // reads as the minimum
  QTest::keyClick(box.edit, Qt::Key_Up);
  EXPECT_EQ(box.edit->text(), "8");
  box.edit->setText("6");
  QTest::keyClick(box.edit, Qt::Key_Down);
  EXPECT_EQ(box.edit->text(), "4");
}

TEST(SpinEdit, AShortClickStepsOnceAtItsRelease) {
  Box box;
  QTest::mousePress(box.edit->UpButton(), Qt::LeftButton);
  EXPECT_EQ(box.edit->text(), "84");
  QTest::mouseRelease(box.edit->UpButton(), Qt::LeftButton);
  EXPECT_EQ(box.edit->text(), "88");
  QTest::mouseClick(box.edit->DownButton(), Qt::LeftButton);
  QTest::mouseClick(box.edit->DownButton(), Qt::LeftButton);
  EXPECT_EQ(box.edit->text(), "80");
  EXPECT_EQ(box.changes.count(), 3);
  // The box takes the focus from the field that had it.
  box.other->setFocus();
  QTest::mouseClick(box.edit->UpButton(), Qt::LeftButton);
  EXPECT_TRUE(box.edit->hasFocus());
}

// The repeat timer's moments are run by hand: no test event reaches the event loop, so the timer
// itself never fires here.
TEST(SpinEdit, HoldingAButtonRepeatsAfterTheDelayThenAtTheInterval) {
  Box box;
  const QTimer& timer = box.edit->RepeatTimer();
  EXPECT_FALSE(timer.isActive());
  QTest::mousePress(box.edit->UpButton(), Qt::LeftButton);
  // Nothing before the delay has passed.
  EXPECT_TRUE(timer.isActive());
  EXPECT_EQ(timer.interval(), TSpinEdit::kRepeatDelay);
  EXPECT_EQ(box.edit->text(), "84");
  // The delay passes: one step, then one per interval.
  box.edit->RepeatTimerTimer();
  EXPECT_EQ(box.edit->text(), "88");
  EXPECT_TRUE(timer.isActive());
  EXPECT_EQ(timer.interval(), TSpinEdit::kRepeatInterval);
  box.edit->RepeatTimerTimer();
  box.edit->RepeatTimerTimer();
  EXPECT_EQ(box.edit->text(), "96");
  EXPECT_EQ(box.changes.count(), 3);

  // Dragged off the button while held (the button shows up, as a drag leaves it): no steps
  // until the pointer comes back.
  box.edit->UpButton()->setDown(false);
  box.edit->RepeatTimerTimer();
  EXPECT_EQ(box.edit->text(), "96");
  box.edit->UpButton()->setDown(true);
  box.edit->RepeatTimerTimer();
  EXPECT_EQ(box.edit->text(), "100");

  // After repeats the release adds no step of its own, and the repeats stop.
  QTest::mouseRelease(box.edit->UpButton(), Qt::LeftButton);
  EXPECT_EQ(box.edit->text(), "100");
  EXPECT_FALSE(timer.isActive());

  // The down button repeats downwards, and its next short click steps once again.
  QTest::mousePress(box.edit->DownButton(), Qt::LeftButton);
  EXPECT_EQ(timer.interval(), TSpinEdit::kRepeatDelay);
  box.edit->RepeatTimerTimer();
  QTest::mouseRelease(box.edit->DownButton(), Qt::LeftButton);
  EXPECT_EQ(box.edit->text(), "96");
  QTest::mouseClick(box.edit->DownButton(), Qt::LeftButton);
  EXPECT_EQ(box.edit->text(), "92");
  EXPECT_FALSE(timer.isActive());
}

TEST(SpinEdit, LeavingTheBoxWritesBackAClampedNumberOnly) {
  Box box;
  const struct {
    const char* typed;
    const char* left;
  } cases[] = {{"500", "320"}, {"-5", "4"}, {"0", "4"},      {"100", "100"},
               {"abc", "abc"}, {"", ""},    {"0x200", "320"}};
  for (const auto& c : cases) {
    box.edit->setFocus();
    box.edit->setText(c.typed);
    box.changes.clear();
    box.other->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(box.edit->text(), c.left) << c.typed;
    EXPECT_EQ(box.changes.count(), QString(c.typed) == c.left ? 0 : 1) << c.typed;
  }
}

}  // namespace
