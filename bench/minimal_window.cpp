// The yardstick for Dotwright's start-up: a bare Qt Widgets main window of the main window's size
// with what every such window has, a tool bar holding a button and a status bar, that reports when
// it has first been painted. Given --stay it only shows itself and stays up (pointer_cpu.py drags
// over it).
#include <string_view>

#include <QApplication>
#include <QMainWindow>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

#include "bench/first_paint.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QMainWindow window;
  QToolBar* bar = window.addToolBar("bar");
  auto* button = new QToolButton(bar);
  button->setText("Button");
  bar->addWidget(button);
  window.statusBar()->showMessage("Ready");
  window.resize(775, 506);
  ReportFirstPaint report;
  if (argc < 2 || std::string_view(argv[1]) != "--stay") window.installEventFilter(&report);
  window.show();
  return application.exec();
}
