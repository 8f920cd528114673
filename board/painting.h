#pragma once

#include <optional>
#include <string>

#include <vector>

#include "model/geometry.h"
#include "model/history.h"
#include "model/palette_canvas.h"
#include "model/pixel_store.h"

namespace board {

enum class MouseButton { Left, Right, Middle };

// A board-surface position, in surface pixels.
struct Point {
  int x = 0;
  int y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

// Painting state: active from a mouse-down on the board until the next mouse-up.
struct PaintState {
  bool PaintingActive = false;
  MouseButton PaintButton = MouseButton::Left;
  // While painting: the stroke's last position, as long as it was on the board. A move from it to
  // another position on the board paints the cells in between too.
  std::optional<Point> LastPosition;
};

// A picture pixel under a board-surface position.
struct Cell {
  int x = 0;
  int y = 0;
  friend bool operator==(const Cell&, const Cell&) = default;
};

// The cells of the straight line from `from` to `to`, both included, in order (Bresenham over
// cells: one cell per step along the longer axis).
//
//   CellLine({0, 0}, {5, 2}):   ##....
//                               ..##..
//                               ....##
std::vector<Cell> CellLine(Cell from, Cell to);

// On the board when 0 <= X <= W*s - 1 and 0 <= Y <= H*s - 1; the cell is (X div s, Y div s).
// The frame's far lines (X = W*s, Y = H*s) are off the board.
std::optional<Cell> HitTest(const model::BoardGeometry& geometry, int x, int y);

// "X: 12  Y: 5" (two spaces before Y).
std::string ReadoutText(Cell cell);

// Repaints one cell with the canvas's current pen and brush:
//   scale 4, 8: the full redraw's overlapping cell, fill plus outline;
//   scale 2:    the 2 x 2 block, no overlap;
//   scale 1:    the one surface pixel, in the pen colour.
void PaintCell(model::PaletteCanvas& surface, int scale, Cell cell);

// A press at surface position (x, y). Off the board nothing happens and false is returned.
// On it: records the button, sets the cell colours (left sets, any other button clears), paints
// the cell, stores the value and starts painting.
bool MouseDown(PaintState& state, MouseButton button, int x, int y, model::PixelStore& store,
               const model::BoardGeometry& geometry, model::PaletteCanvas& surface);

// A move to surface position (x, y). Off the board nothing happens and nullopt is returned (the
// readout keeps its last text). On it: the cell, which the readout shows (ReadoutText); while
// painting, the cell is painted and stored with the value of the button that started the
// painting. When the stroke's previous position was on the board too, every cell of the CellLine
// from its cell to this one is painted and stored as well: a quick drag, whose moves the toolkit
// merges, leaves no gaps. A move that stays in the cell of the stroke's previous position paints
// and stores nothing.
std::optional<Cell> MouseMove(PaintState& state, int x, int y, model::PixelStore& store,
                              const model::BoardGeometry& geometry, model::PaletteCanvas& surface);

// Any release ends painting.
void MouseUp(PaintState& state);

// Repaints the cells of `step`'s pixels after the step was undone or redone without a change of
// size: each cell inside the geometry shows the store's value as a press paints it. The pixels
// outside the geometry are hidden and painted by nothing.
void RepaintStep(model::PaletteCanvas& surface, const model::PixelStore& store,
                 const model::BoardGeometry& geometry, const model::HistoryStep& step);

}  // namespace board
