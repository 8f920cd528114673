#pragma once

#include <QImage>
#include <QWidget>

#include "model/canvas.h"

// The board surface on screen: shows a canvas 1:1, reading the canvas's own memory (no copy), and
// passes the mouse on in surface pixels. A press grabs the mouse for every button, so the
// release arrives wherever it happens; moves keep arriving too, with positions off the surface.
class TBoardImage : public QWidget {
  Q_OBJECT

 public:
  TBoardImage(model::Canvas& surface, QWidget* parent);

  // Schedules the canvas's dirty rectangle for repainting, and only that, then resets it.
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
  model::Canvas& m_surface;
  // Wraps the canvas's pixels: 0xXXBBGGRR words are the bytes R, G, B, X.
  const QImage m_image;
};
