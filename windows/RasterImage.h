#pragma once

#include <QImage>
#include <QWidget>

#include "model/canvas.h"

namespace picture {
class Picture;
}

// Shows a canvas 1:1 from its top-left corner, reading the canvas's own memory (no copy). A
// widget smaller than the canvas shows the canvas's top-left part of its own size; one larger
// shows nothing beyond it.
class TRasterImage : public QWidget {
  Q_OBJECT

 public:
  TRasterImage(model::Canvas& raster, QWidget* parent);

  // Schedules the canvas's dirty rectangle for repainting, and only that, then resets it.
  void RepaintDirty();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  model::Canvas& m_raster;
};

namespace windowsdetail {
// Holds a picture view's own raster, so that it exists before the view that shows it.
struct OwnedRaster {
  model::Canvas raster;
};
}  // namespace windowsdetail

// Shows a picture stretched to the view's own size (aspect ratio not kept), or nothing when it has
// none or an empty one: the parent shows through. The picture is drawn into the view's own
// raster, whose size is the largest the view takes (320 x 240), made when the first picture is
// drawn (a dialog that is never used takes none); it is drawn again when the picture or the
// view's size changes. The picture is not owned; it must outlive its use here.
class TPictureImage : private windowsdetail::OwnedRaster, public TRasterImage {
 public:
  TPictureImage(int maxWidth, int maxHeight, QWidget* parent);

  void SetPicture(const picture::Picture* picture);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int m_maxWidth;
  int m_maxHeight;
  const picture::Picture* m_picture = nullptr;
  // The size the raster was last drawn for; empty when it must be drawn again. A paint at any
  // other size draws it again.
  QSize m_drawn;
};
