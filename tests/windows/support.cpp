#include "tests/windows/support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWidget>
#include <QWindow>

#include "windows/Forms.h"
#include "windows/SpinEdit.h"
#include "windows/Unit1.h"

namespace windowstest {
namespace {

QWindow* WindowOf(QWidget* widget) {
  return widget->window()->windowHandle();
}

QPoint InWindow(QWidget* widget, QPoint pos) {
  return widget->mapTo(widget->window(), pos);
}

// Runs `run`, during which the window that `find` gives (or null) is expected to come up as a
// visible modal window; hands it to `handle` once it is active. Polls, since `run` may pass
// through the event loop before the window is up, and gives up after kPatience. The timer is
// owned here: if nothing comes up, it dies with this call instead of firing later.
void WhenModalUp(const std::function<QWidget*()>& find, const std::function<void(QWidget*)>& handle,
                 const std::function<void()>& run) {
  QDeadlineTimer deadline(kPatience);
  QTimer timer;
  timer.setInterval(5);
  QObject::connect(&timer, &QTimer::timeout, [&] {
    QWidget* modal = find();
    if (modal == nullptr || !modal->isVisible()) {
      if (deadline.hasExpired()) timer.stop();
      return;
    }
    timer.stop();
    // Keys sent before the platform activates the window would go to the one active before.
    // An activation of the window below that was still pending when the modal one came up can
    // win over the modal one's; asking for it again settles the order.
    modal->activateWindow();
    if (!QTest::qWaitForWindowActive(modal, kPatience)) {
      ADD_FAILURE() << "the modal window " << modal->objectName().toStdString()
                    << " never became active";
    }
    handle(modal);
  });
  timer.start();
  run();
}

}  // namespace

void FormsTest::SetUp() {
  CreateForms();
  // The tests reach into every window from the start; the program makes the dialogs at first use
  // (start_up_test.cpp holds that path).
  CreateDialogs();
  Form1->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(Form1, kPatience));
}

void FormsTest::TearDown() {
  DestroyForms();
}

void Press(QWidget* widget, QPoint pos, Qt::MouseButton button) {
  QTest::mousePress(WindowOf(widget), button, {}, InWindow(widget, pos));
}

void Move(QWidget* widget, QPoint pos) {
  QTest::mouseMove(WindowOf(widget), InWindow(widget, pos));
}

void Release(QWidget* widget, QPoint pos, Qt::MouseButton button) {
  QTest::mouseRelease(WindowOf(widget), button, {}, InWindow(widget, pos));
}

void ClickAt(QWidget* widget, QPoint pos, Qt::MouseButton button) {
  Press(widget, pos, button);
  Release(widget, pos, button);
}

void Click(QWidget* widget) {
  ClickAt(widget, widget->rect().center());
}

bool WaitUntil(const std::function<bool()>& condition) {
  return QTest::qWaitFor(condition, kPatience);
}

void KeyInWindow(QWidget* window, Qt::Key key) {
  ASSERT_TRUE(QTest::qWaitForWindowActive(window, kPatience))
      << window->objectName().toStdString() << " is not the active window";
  QWidget* focus = QApplication::focusWidget();
  QTest::keyClick(focus != nullptr && focus->window() == window ? focus : window, key);
}

void WithModal(const std::function<void()>& open, const std::function<void(QWidget*)>& inside) {
  bool seen = false;
  // The window `open` brings up, not one already up (a dialog that opens a dialog): the poll can
  // run while `open` still works its way there, under load.
  QWidget* const before = QApplication::activeModalWidget();
  WhenModalUp([before]() -> QWidget* {
                QWidget* modal = QApplication::activeModalWidget();
                return modal != before ? modal : nullptr;
              },
              [&](QWidget* modal) {
                seen = true;
                inside(modal);
                if (!modal->isVisible()) return;
                if (auto* dialog = qobject_cast<QDialog*>(modal)) {
                  dialog->reject();
                } else {
                  modal->close();
                }
              },
              open);
  EXPECT_TRUE(seen) << "no modal window appeared";
}

bool WaitUntilActive(QWidget* window) {
  return QTest::qWaitFor([window] { return QApplication::activeWindow() == window; }, 5000);
}

void WithModalWhere(const std::function<bool(QWidget*)>& wanted, const std::function<void()>& open,
                    const std::function<void(QWidget*)>& inside) {
  bool seen = false;
  WhenModalUp(
      [&wanted]() -> QWidget* {
        QWidget* modal = QApplication::activeModalWidget();
        return modal != nullptr && wanted(modal) ? modal : nullptr;
      },
      [&](QWidget* modal) {
        seen = true;
        inside(modal);
        if (modal->isVisible()) modal->close();
      },
      open);
  EXPECT_TRUE(seen) << "the window did not come up";
}

void WithModalWindow(QWidget* window, const std::function<void()>& open,
                     const std::function<void()>& inside) {
  WithModalWhere([window](QWidget* modal) { return modal == window; }, open,
                 [&](QWidget*) { inside(); });
}

ErrorBoxSeen WithErrorBox(const std::function<void()>& cause) {
  ErrorBoxSeen seen;
  WhenModalUp([] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); },
              [&](QWidget* modal) {
                auto* box = static_cast<QMessageBox*>(modal);
                seen.shown = true;
                seen.icon = box->icon();
                seen.text = box->text();
                seen.title = box->windowTitle();
                seen.buttons = box->buttons().size();
                QAbstractButton* ok = box->button(QMessageBox::Ok);
                seen.okButton = ok != nullptr;
                if (ok != nullptr) Click(ok);
                if (box->isVisible()) {
                  ADD_FAILURE() << "the OK button did not close the error box";
                  box->reject();
                }
              },
              cause);
  return seen;
}

void ApplySize(int width, int height) {
  Form1->SpinEdit1->setText(QString::number(width));
  Form1->SpinEdit2->setText(QString::number(height));
  if (Form1->SpeedButton12->isEnabled()) Click(Form1->SpeedButton12);
  ASSERT_EQ(Form1->Geometry().width, width);
  ASSERT_EQ(Form1->Geometry().height, height);
}

}  // namespace windowstest
