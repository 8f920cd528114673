#include "tests/windows/support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include "windows/Forms.h"
#include "windows/Unit1.h"

namespace windowstest {
namespace {

QWindow* WindowOf(QWidget* widget) {
  return widget->window()->windowHandle();
}

QPoint InWindow(QWidget* widget, QPoint pos) {
  return widget->mapTo(widget->window(), pos);
}

}  // namespace

void FormsTest::SetUp() {
  CreateForms();
  Form1->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(Form1));
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

void WithModal(const std::function<void()>& open, const std::function<void(QWidget*)>& inside) {
  bool seen = false;
  QElapsedTimer waited;
  waited.start();
  // Polls, since `open` may pass through the event loop before its window is up. Owned here: if
  // `open` shows nothing, the timer dies with this call instead of firing later.
  QTimer timer;
  timer.setInterval(5);
  QObject::connect(&timer, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible()) {
      if (waited.elapsed() > 5000) timer.stop();
      return;
    }
    timer.stop();
    seen = true;
    inside(modal);
    if (modal->isVisible()) {
      if (auto* dialog = qobject_cast<QDialog*>(modal)) {
        dialog->reject();
      } else {
        modal->close();
      }
    }
  });
  timer.start();
  open();
  EXPECT_TRUE(seen) << "no modal window appeared";
}

ErrorBoxSeen WithErrorBox(const std::function<void()>& cause) {
  ErrorBoxSeen seen;
  QElapsedTimer waited;
  waited.start();
  QTimer timer;
  timer.setInterval(5);
  QObject::connect(&timer, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible()) {
      if (waited.elapsed() > 5000) timer.stop();
      return;
    }
    timer.stop();
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
  });
  timer.start();
  cause();
  return seen;
}

}  // namespace windowstest
