#pragma once

#include <array>

#include <QImage>
#include <QWidget>

#include "model/palette_canvas.h"

// The board surface on screen: shows the whole surface 1:1 and passes the mouse on in surface
// pixels. A press grabs the mouse for every button, so the release arrives wherever it happens;
// moves keep arriving too, with positions off the surface.
//
// The surface holds palette indices; a paint turns only the area it repaints (which the toolkit
// clips to the part inside the viewport) into screen pixels.
class TBoardImage : public QWidget {
  Q_OBJECT

 public:
  TBoardImage(model::PaletteCanvas& surface, QWidget* parent);

  // Schedules the surface's dirty rectangle for repainting, and only that, then resets it.
  void RepaintDirty();

 signals:
  void MouseDown(Qt::MouseButton button, int x, int y);
  void MouseMove(int x, int y);
  void MouseUp(Qt::MouseButton button, int x, int y);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  model::PaletteCanvas& m_surface;
  static constexpr int kBandRows = 16;
  // Screen pixels for a band of rows of the area being painted, reused while wide enough.
  QImage m_screen;
};
