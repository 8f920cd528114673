#pragma once

#include <functional>

#include <gtest/gtest.h>
#include <QMessageBox>
#include <QPoint>
#include <QString>

class QWidget;

namespace windowstest {

// Creates the program's windows as start-up does, shows the main window, and deletes them all
// after the test.
class FormsTest : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
};

// Mouse events sent to the window that holds `widget`, at `pos` in the widget's coordinates, so
// they take the toolkit's real route: hit testing, the implicit grab of a pressed button.
void Press(QWidget* widget, QPoint pos, Qt::MouseButton button = Qt::LeftButton);
void Move(QWidget* widget, QPoint pos);
void Release(QWidget* widget, QPoint pos, Qt::MouseButton button = Qt::LeftButton);
void ClickAt(QWidget* widget, QPoint pos, Qt::MouseButton button = Qt::LeftButton);

// A left click in the middle of `widget`.
void Click(QWidget* widget);

// How long a test waits for the toolkit to do something (a window to come up, to become active,
// to take a new size) before it fails: far more than any loaded or sanitized run needs. Waits
// end as soon as their condition holds, so a generous limit costs nothing.
inline constexpr int kPatience = 60000;  // ms

// Waits until `condition` holds, at most kPatience; whether it does.
bool WaitUntil(const std::function<bool()>& condition);

// Presses `key` where it goes in `window`: its focused widget, or the window itself. First waits
// until `window` is the active window, so that the key cannot reach the window that was active
// before it (a modal window comes up before the platform activates it); fails the test if it
// never becomes active.
void KeyInWindow(QWidget* window, Qt::Key key);

// Types a size into the main window's size boxes and applies it with the apply-size button; fails
// the test unless the board then has that size.
void ApplySize(int width, int height);

// Runs `open`, which shows a modal window and waits in its event loop; once that window (not one
// that was up before `open`) is up and active, `inside` runs with it. A window still open after
// `inside` is closed, so a failing check cannot leave the test waiting. Fails the test when no
// modal window appears.
void WithModal(const std::function<void()>& open, const std::function<void(QWidget*)>& inside);

// Waits up to 5 s until `window` is the application's active window; false if it never is.
// QTest::qWaitForWindowActive is not enough for a dialog: a window counts as active there as soon
// as its transient parent is, before the dialog itself has been activated and keys reach it.
[[nodiscard]] bool WaitUntilActive(QWidget* window);

// As WithModal, for the first modal window that `wanted` accepts, which may open over another
// modal window.
void WithModalWhere(const std::function<bool(QWidget*)>& wanted, const std::function<void()>& open,
                    const std::function<void(QWidget*)>& inside);

// As WithModal, for one given window, which may open over another modal window.
void WithModalWindow(QWidget* window, const std::function<void()>& open,
                     const std::function<void()>& inside);

// What an error box showed.
struct ErrorBoxSeen {
  bool shown = false;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QString text;
  QString title;
  qsizetype buttons = 0;
  bool okButton = false;
};

// Runs `cause`, during which an error box is expected, records the first message box that comes
// up and, once it is active, closes it with its OK button. Other modal windows that `cause` opens
// are its own business.
ErrorBoxSeen WithErrorBox(const std::function<void()>& cause);

}  // namespace windowstest
