#include <gtest/gtest.h>
#include <QByteArray>

#include "windows/Application.h"

int main(int argc, char** argv) {
  // No display needed, and the same pixels and fonts wherever the tests run.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  testing::InitGoogleTest(&argc, argv);
  TApplication application(argc, argv);
  // Tests close the main window and open it again; that must not end anything.
  application.setQuitOnLastWindowClosed(false);
  return RUN_ALL_TESTS();
}
