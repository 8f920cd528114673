#include <gtest/gtest.h>
#include <QByteArray>

#include "windows/Application.h"

int main(int argc, char** argv) {
  // The windows compared with run here on the offscreen platform; the processes started get an
  // environment without it (tests/cli/process.h).
  qputenv("QT_QPA_PLATFORM", "offscreen");
  testing::InitGoogleTest(&argc, argv);
  TApplication application(argc, argv);
  application.setQuitOnLastWindowClosed(false);
  return RUN_ALL_TESTS();
}
