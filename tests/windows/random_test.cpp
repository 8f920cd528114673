#include <algorithm>
#include <random>

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
      default:
        Form1->resize(620 + Pick(600), 350 + Pick(500));
        QApplication::processEvents();
    }
  }

  void CheckModel(int event) {
    const model::PixelStore& store = Form1->Store();
    ASSERT_TRUE(std::all_of(store.Raw().begin(), store.Raw().end(), [](auto v) { return v <= 1; }))
        << "event " << event;
    const model::BoardGeometry& g = Form1->Geometry();
    ASSERT_TRUE(g.scale == 1 || g.scale == 2 || g.scale == 4 || g.scale == 8) << event;
    ASSERT_TRUE(g.width >= 4 && g.width <= 320 && g.width % 4 == 0) << event;
    ASSERT_TRUE(g.height >= 8 && g.height <= 240 && g.height % 8 == 0) << event;
    ASSERT_EQ(Form1->windowTitle().toStdString(), board::CaptionText(g)) << event;
    ASSERT_EQ(Form1->SpeedButton12->isEnabled(),
              Form1->SpinEdit1->Value() != g.width || Form1->SpinEdit2->Value() != g.height)
        << event;
    ASSERT_EQ(Form1->Painting().PaintingActive && m_held == Qt::NoButton, false) << event;
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

  void CheckScrollBars(int event) {
    const model::BoardGeometry& g = Form1->Geometry();
    const struct {
      QScrollBar* bar;
      int extent;
      int length;
      int margin;
      int imagePos;
    } bars[] = {
        {Form1->ScrollBar1, g.width * g.scale, Form1->ScrollBar1->width(), 4, Form1->Image1->x()},
        {Form1->ScrollBar2, g.height * g.scale, Form1->ScrollBar2->height(), 3,
         Form1->Image1->y()}};
    for (const auto& b : bars) {
      ASSERT_EQ(b.bar->isEnabled(), b.extent > b.length) << event;
      if (b.bar->isEnabled()) {
        ASSERT_EQ(b.bar->maximum(), b.extent - b.length + b.margin) << event;
      } else {
        ASSERT_EQ(b.bar->value(), 0) << event;
      }
      ASSERT_EQ(b.imagePos, -b.bar->value()) << event;
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
