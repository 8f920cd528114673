// The yardstick for Dotwright's start-up: a minimal Qt Widgets program that shows one empty
// window of the main window's size and reports when it has first been painted.
#include <QApplication>
#include <QWidget>

#include "bench/first_paint.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QWidget window;
  window.resize(775, 506);
  ReportFirstPaint report;
  window.installEventFilter(&report);
  window.show();
  return application.exec();
}
