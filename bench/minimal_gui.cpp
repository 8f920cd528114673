// The yardstick for the command line's run time: a program that only creates the toolkit's GUI
// application on the offscreen platform and exits.
#include <QByteArray>
#include <QGuiApplication>

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);
  return 0;
}
