// Start-up pieces: the icons drawn on demand.
#include <algorithm>

#include <gtest/gtest.h>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

#include "windows/Controls.h"

namespace {

// The drawing itself, rendered straight from its resource.
QImage Rendered(const char* name, int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  QSvgRenderer(QString(":/icons/") + name + ".svg").render(&painter);
  painter.end();
  return image.convertToFormat(QImage::Format_ARGB32);
}

QImage Drawn(const QIcon& icon, int size, QIcon::Mode mode = QIcon::Normal) {
  return icon.pixmap(size, size, mode).toImage().convertToFormat(QImage::Format_ARGB32);
}

TEST(Icons, DrawnAtTheAskedSizeFromTheDrawingForTheMode) {
  const QIcon resize = LoadIcon("resize", "resize_disabled");
  for (const QIcon::Mode mode : {QIcon::Normal, QIcon::Disabled, QIcon::Active}) {
    EXPECT_EQ(resize.availableSizes(mode), QList<QSize>{QSize(16, 16)}) << mode;
  }
  const QImage normal = Drawn(resize, 16);
  const QImage disabled = Drawn(resize, 16, QIcon::Disabled);
  EXPECT_EQ(normal, Rendered("resize", 16));
  EXPECT_EQ(disabled, Rendered("resize_disabled", 16));
  EXPECT_NE(normal, disabled);
  // Asked again, the same picture comes back.
  EXPECT_EQ(Drawn(resize, 16), normal);
  // Twice the size for a dense screen is drawn anew, not enlarged: the tag's slanted edges
  // come out finer than doubled pixels.
  const QIcon about = LoadIcon("about");
  const QImage twice = Drawn(about, 32);
  EXPECT_EQ(twice.size(), QSize(32, 32));
  EXPECT_NE(twice, Drawn(about, 16).scaled(32, 32));
}

TEST(Icons, WithoutADisabledDrawingTheNormalOneIsGreyed) {
  const QIcon about = LoadIcon("about");
  const QImage normal = Drawn(about, 16);
  const QImage disabled = Drawn(about, 16, QIcon::Disabled);
  EXPECT_NE(normal, disabled);
  int coloured = 0;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      const QColor c = disabled.pixelColor(x, y);
      if (c.alpha() > 0 && (c.red() != c.green() || c.green() != c.blue())) ++coloured;
    }
  EXPECT_EQ(coloured, 0);
}

TEST(Icons, WindowIconTakesTheDrawingMadeForEachSize) {
  const QIcon icon = WindowIcon();
  // The desktop is offered these two sizes and no others.
  QList<QSize> offered = icon.availableSizes();
  std::sort(offered.begin(), offered.end(),
            [](const QSize& a, const QSize& b) { return a.width() < b.width(); });
  EXPECT_EQ(offered, (QList<QSize>{{16, 16}, {32, 32}}));
  EXPECT_EQ(Drawn(icon, 16).size(), QSize(16, 16));
  EXPECT_EQ(Drawn(icon, 32).size(), QSize(32, 32));
  // The 16-pixel drawing is its own, not the 32-pixel one reduced.
  EXPECT_NE(Drawn(icon, 16),
            Drawn(icon, 32).scaled(16, 16, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
}

}  // namespace
