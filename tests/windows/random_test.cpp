#include <algorithm>
#include <random>
#include <string>

#include <gtest/gtest.h>
#include <QApplication>
#include <QComboBox>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>

#include "board/board.h"
#include "tests/windows/support.h"
#include "windows/BoardImage.h"
#include "windows/SpinEdit.h"
#include "windows/Unit1.h"

namespace {

using windowstest::Click;
using windowstest::FormsTest;

class RandomUse : public FormsTest {
 protected:
  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_random); }

  // A point of the board image that shows in the viewport (on the board or beside it).
  QPoint VisibleImagePoint() {
    const QWidget* viewport = Form1->Image1->parentWidget();
    const QPoint inViewport(Pick(viewport->width() - 19), Pick(viewport->height() - 19));
    return inViewport - Form1->Image1->pos();
  }

  void MouseEvent() {
    TBoardImage* image = Form1->Image1;
    const QPoint p = VisibleImagePoint();
    m_lastPoint = p;
    if (m_held != Qt::NoButton) {
      if (Pick(4) == 0) {
        windowstest::Release(image, p, m_held);
        m_held = Qt::NoButton;
      } else {
        windowstest::Move(image, p);
      }
      return;
    }
    const Qt::MouseButton buttons[] = {Qt::LeftButton, Qt::LeftButton, Qt::RightButton,
                                       Qt::MiddleButton};
    const Qt::MouseButton button = buttons[Pick(4)];
    switch (Pick(3)) {
      case 0:
        windowstest::ClickAt(image, p, button);
        break;
      case 1:
        windowstest::Press(image, p, button);
        m_held = button;
        break;
      default:
        windowstest::Move(image, p);
    }
  }

  void SizeBoxEvent() {
    TSpinEdit* box = Pick(2) == 0 ? Form1->SpinEdit1 : Form1->SpinEdit2;
    switch (Pick(4)) {
      case 0:
        Click(Pick(2) == 0 ? box->UpButton() : box->DownButton());
        break;
      case 1:
        QTest::keyClick(box, Pick(2) == 0 ? Qt::Key_Up : Qt::Key_Down);
        break;
      case 2: {
        box->setFocus(Qt::TabFocusReason);  // the other box, if it had the focus, is left
        static const char kTyped[] = "0123456789+-.a $";
        QTest::keyClick(box, kTyped[Pick(sizeof kTyped - 1)]);
        break;
      }
      default:
        QTest::keyClick(box, Qt::Key_Backspace);
    }
  }

  void CommandEvent() {
    switch (Pick(6)) {
      case 0:
        QTest::keyClick(Form1->ComboBox1, Pick(2) == 0 ? Qt::Key_Up : Qt::Key_Down);
        break;
      case 1:
      case 2:
        Click(Form1->SpeedButton12);  // does nothing while disabled
        break;
      case 3:
        Click(Form1->SpeedButton1);
        break;
      case 4: {
        QScrollBar* bar = Pick(2) == 0 ? Form1->ScrollBar1 : Form1->ScrollBar2;
        const QAbstractSlider::SliderAction actions[] = {
            QAbstractSlider::SliderSingleStepAdd, QAbstractSlider::SliderSingleStepSub,
            QAbstractSlider::SliderToMaximum, QAbstractSlider::SliderToMinimum};
        if (bar->isEnabled()) bar->triggerAction(actions[Pick(4)]);
        break;
      }
      default: {
        const QSize size(620 + Pick(600), 350 + Pick(500));
        Form1->resize(size);
        ASSERT_TRUE(windowstest::WaitUntil([&] { return Form1->size() == size; }));
        QApplication::processEvents();
      }
    }
  }

  void CheckModel(int event) {
    const model::PixelStore& store = Form1->Store();
    const auto& raw = store.Raw();
    const auto bad = std::find_if(raw.begin(), raw.end(), [](auto v) { return v > 1; });
    ASSERT_TRUE(bad == raw.end()) << "event " << event << ": store value " << int{*bad}
                                  << " at index " << (bad - raw.begin());
    const model::BoardGeometry& g = Form1->Geometry();
    ASSERT_EQ(1 << Form1->ComboBox1->currentIndex(), g.scale) << event;  // 1, 2, 4 or 8
    ASSERT_GE(g.width, 4) << event;
    ASSERT_LE(g.width, 320) << event;
    ASSERT_EQ(g.width % 4, 0) << event;
    ASSERT_GE(g.height, 8) << event;
    ASSERT_LE(g.height, 240) << event;
    ASSERT_EQ(g.height % 8, 0) << event;
    ASSERT_EQ(Form1->windowTitle(), QString("Dotwright %1x%2").arg(g.width).arg(g.height)) << event;
    const bool pending =
        Form1->SpinEdit1->Value() != g.width || Form1->SpinEdit2->Value() != g.height;
    ASSERT_EQ(Form1->SpeedButton12->isEnabled(), pending)
        << "event " << event << ": boxes " << Form1->SpinEdit1->text().toStdString() << " x "
        << Form1->SpinEdit2->text().toStdString() << ", board " << g.width << " x " << g.height;
    if (m_held == Qt::NoButton) {
      ASSERT_FALSE(Form1->Painting().PaintingActive) << event;
    }
  }

  // The board shows the store: the cell under the last pointer position and a few others.
  void CheckBoard(int event) {
    const model::BoardGeometry& g = Form1->Geometry();
    const int s = g.scale;
    const auto check = [&](int x, int y) {
      const int inside = s > 2 ? 1 : 0;  // off the grid line at scales 4 and 8
      const model::Colour shown = Form1->Surface().Pixel(x * s + inside, y * s + inside);
      ASSERT_EQ(shown, Form1->Store().Get(x, y) ? board::kSetColour : board::kClearColour)
          << "event " << event << " cell " << x << "," << y;
    };
    if (const auto cell = board::HitTest(g, m_lastPoint.x(), m_lastPoint.y())) {
      check(cell->x, cell->y);
    }
    for (int i = 0; i < 4; ++i) check(Pick(g.width), Pick(g.height));
  }

  // What the bars let the user see: a board longer than its bar scrolls, and scrolled to the end
  // it shows its far frame line with a few pixels of the surround after it, no more; a board
  // that fits has its bar disabled at 0. The board moves with the bar.
  void CheckScrollBars(int event) {
    const model::BoardGeometry& g = Form1->Geometry();
    const struct {
      const char* name;
      QScrollBar* bar;
      int extent;  // the board's length without its far frame line
      int length;
      int imagePos;
    } bars[] = {{"horizontal", Form1->ScrollBar1, g.width * g.scale, Form1->ScrollBar1->width(),
                 Form1->Image1->x()},
                {"vertical", Form1->ScrollBar2, g.height * g.scale, Form1->ScrollBar2->height(),
                 Form1->Image1->y()}};
    for (const auto& b : bars) {
      SCOPED_TRACE(std::string(b.name) + " bar, event " + std::to_string(event));
      ASSERT_EQ(b.bar->isEnabled(), b.extent > b.length)
          << "board " << b.extent << ", bar " << b.length;
      if (b.bar->isEnabled()) {
        // Scrolled to the end, the view covers [maximum, maximum + length): the frame line at
        // `extent` shows, followed by at most 3 pixels of surround.
        const int end = b.bar->maximum() + b.length;
        ASSERT_GT(end, b.extent);
        ASSERT_LE(end, b.extent + 4);
        ASSERT_GE(b.bar->value(), 0);
        ASSERT_LE(b.bar->value(), b.bar->maximum());
      } else {
        ASSERT_EQ(b.bar->value(), 0);
      }
      ASSERT_EQ(b.imagePos, -b.bar->value());
    }
  }

  std::mt19937 m_random{20110611};
  Qt::MouseButton m_held = Qt::NoButton;
  QPoint m_lastPoint{-1, -1};
};

TEST_F(RandomUse, MixedEventsKeepThePictureAndItsGeometrySound) {
  constexpr int kEvents = 3000;
  for (int event = 0; event < kEvents; ++event) {
    const int kind = Pick(20);
    if (kind < 12 || m_held != Qt::NoButton) {
      MouseEvent();
    } else if (kind < 17) {
      SizeBoxEvent();
    } else {
      CommandEvent();
    }
    CheckModel(event);
    CheckBoard(event);
    CheckScrollBars(event);
    if (HasFatalFailure()) return;
  }
}

}  // namespace
