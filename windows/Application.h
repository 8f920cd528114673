#pragma once

#include <functional>
#include <utility>

#include <QApplication>
#include <QString>

// The error box's text: the message, with "." appended when its last character sorts after "."
// (a letter, a digit or ":" gets a full stop; ".", ")", "!", a blank or an empty message do not).
// Characters compare by code point, so every letter beyond ASCII, Cyrillic included, counts as
// sorting after ".".
QString ErrorBoxText(const QString& message);

// The application title made from the executable's path: the file name without its directory
// and without anything from its first "." on, every character after the first in lower case
// ("/usr/bin/DOTWRIGHT.bin" gives "Dotwright", "/usr/bin/dotwright" gives "dotwright"). A name
// that leaves nothing gives "Dotwright".
QString ApplicationTitle(const QString& executablePath);

// Chooses, before the application connects to an X server, how painted pixels reach it: through
// the connection itself rather than through a shared memory segment, unless the environment
// already says (QT_XCB_NO_MITSHM set to anything). With shared memory the toolkit makes every
// paint over pixels it has sent since its last wait for the server wait for the server first (a
// round trip), and a stroke repaints the pointer readout at every cell the pointer enters.
// Measured under Xvfb with bench/pointer_cpu.py (2000 moves, 7 to 9 alternated runs, seven
// measurements): CPU a move 1.43 to 1.77 times the bare window's, most near 1.5, against 1.59 to
// 1.73 with shared memory; the system calls a cell change makes go from about 11 to 4, the
// futex waits from 1309 to 26 a thousand moves. The price is a repaint
// of the whole board, which through the connection costs some 1 ms more (a scale change in a
// 1200 x 900 window: 1.6 to 2.0 ms of CPU against 2.5 to 2.9 ms).
void ChooseScreenTransfer();

// The application: the one place where an error that escapes an event handler is caught. It
// abandons that handler only; the user sees it in a message box with the stop icon and an OK
// button, captioned with the application title, and the program goes on (an open modal window
// stays open). Its desktop file name is the application id, the name of the installed menu entry.
class TApplication : public QApplication {
 public:
  TApplication(int& argc, char** argv);

  bool notify(QObject* receiver, QEvent* event) override;

  // Shows the error box for `message` over the active window and waits for OK.
  static void ShowException(const QString& message);

  // The caption of the error box.
  static QString Title();
};

// Runs an event handler at once, and shows an error escaping it in the error box as
// TApplication::notify does, right where the handler is called: it must not unwind the toolkit's
// button and signal code, which then skips its own clean-up (leaking, as the sanitizer build
// shows). Called for every pointer move over the board, it costs no more than the call.
void RunHandler(const std::function<void()>& handler);

// A slot that runs `handler` of `window`, with the signal's arguments, through RunHandler.
template <class Window, class... Args>
auto Handler(Window* window, void (Window::*handler)(Args...)) {
  return [window, handler](Args... args) {
    RunHandler([&] { (window->*handler)(std::forward<Args>(args)...); });
  };
}

// The one rule for the windows' event handlers: every handler is connected by ConnectHandler,
// never by a bare connect, so that whatever any of them raises (a picture that does not load,
// memory that runs out) takes the same path to the error box, and a handler that cannot fail
// today needs no change when it can.
template <class Sender, class Signal, class Window, class... Args>
QMetaObject::Connection ConnectHandler(const Sender* sender, Signal signal, Window* window,
                                       void (Window::*handler)(Args...)) {
  return QObject::connect(sender, signal, window, Handler(window, handler));
}
