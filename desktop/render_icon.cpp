// Renders the application icon's SVG drawing to a square PNG of a given size, for the icon theme
// (run at build time; the drawings are the ones the windows use).
//   render_icon SIZE OUTPUT.png DRAWING.svg...
// Of the drawings, the largest whose own size divides SIZE is used, so that a pixel drawing is
// scaled by a whole factor and stays sharp; when none does, the largest.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include <QImage>
#include <QPainter>
#include <QString>
#include <QSvgRenderer>

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fputs("usage: render_icon SIZE OUTPUT.png DRAWING.svg...\n", stderr);
    return 2;
  }
  const int size = std::atoi(argv[1]);
  if (size <= 0) {
    std::fprintf(stderr, "render_icon: bad size %s\n", argv[1]);
    return 2;
  }
  std::vector<std::unique_ptr<QSvgRenderer>> drawings;
  for (int i = 3; i < argc; ++i) {
    auto drawing = std::make_unique<QSvgRenderer>(QString::fromLocal8Bit(argv[i]));
    if (!drawing->isValid()) {
      std::fprintf(stderr, "render_icon: cannot read %s\n", argv[i]);
      return 1;
    }
    drawings.push_back(std::move(drawing));
  }
  QSvgRenderer* dividing = nullptr;
  QSvgRenderer* largest = nullptr;
  for (const auto& drawing : drawings) {
    const int own = drawing->defaultSize().width();
    if (largest == nullptr || own > largest->defaultSize().width()) largest = drawing.get();
    if (own > 0 && size % own == 0 &&
        (dividing == nullptr || own > dividing->defaultSize().width())) {
      dividing = drawing.get();
    }
  }
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  {
    QPainter painter(&image);
    (dividing != nullptr ? dividing : largest)->render(&painter, QRectF(0, 0, size, size));
  }
  if (!image.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
    std::fprintf(stderr, "render_icon: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
