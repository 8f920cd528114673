#pragma once

#include "model/canvas.h"
#include "windows/RasterImage.h"

// The board surface on screen: shows the whole surface 1:1 and passes the mouse on in surface
// pixels. A press grabs the mouse for every button, so the release arrives wherever it happens;
// moves keep arriving too, with positions off the surface.
class TBoardImage : public TRasterImage {
  Q_OBJECT

 public:
  TBoardImage(model::Canvas& surface, QWidget* parent);

 signals:
  void MouseDown(Qt::MouseButton button, int x, int y);
  void MouseMove(int x, int y);
  void MouseUp(Qt::MouseButton button, int x, int y);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
};
