// The program as the desktop sees it: the menu entry it names and the icon theme's pictures,
// which must be the window icon's.
#include <gtest/gtest.h>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QString>

#include "windows/Controls.h"

namespace {

TEST(Desktop, TheApplicationNamesItsInstalledMenuEntry) {
  // The desktop file is installed as org.dotwright.Dotwright.desktop (desktop/CMakeLists.txt).
  EXPECT_EQ(QGuiApplication::desktopFileName(), "org.dotwright.Dotwright");
}

TEST(Desktop, ThemeIconsAreTheWindowIconAtItsOwnSizes) {
  const QIcon window = WindowIcon();
  for (const int size : {16, 32}) {
    const QString path = QString(DOTWRIGHT_ICON_DIR) + "/" + QString::number(size) + "x" +
                         QString::number(size) + "/org.dotwright.Dotwright.png";
    const QImage theme(path);
    ASSERT_FALSE(theme.isNull()) << path.toStdString();
    EXPECT_EQ(theme.convertToFormat(QImage::Format_ARGB32),
              window.pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32))
        << size;
  }
}

TEST(Desktop, ThemeIconOfThreeTimesTheSmallDrawingIsItEnlargedSharply) {
  // 48 is the 16-pixel drawing tripled (the 32-pixel one would be blurred by 1.5): each drawing
  // pixel becomes a solid square, so the 16-pixel picture comes back from every third pixel.
  const QImage icon16 =
      WindowIcon().pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
  const QImage icon48(QString(DOTWRIGHT_ICON_DIR) + "/48x48/org.dotwright.Dotwright.png");
  ASSERT_EQ(icon48.size(), QSize(48, 48));
  int differing = 0;
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 48; ++x) {
      if (icon48.pixel(x, y) != icon16.pixel(x / 3, y / 3)) ++differing;
    }
  EXPECT_EQ(differing, 0);
}

}  // namespace
