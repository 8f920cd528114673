#include "board/painting.h"

#include "board/board.h"

namespace board {
namespace {

void StoreValue(model::PixelStore& store, const model::BoardGeometry& geometry, Cell cell,
                int value) {
  store.Set(cell.x % geometry.width, cell.y % geometry.height, value);
}

// Left sets, any other button clears. The pen and brush are set for every painted cell, not
// only at the press: a full redraw in the middle of a drag (a scale picked from the keyboard
// while the button is held) leaves them at the last cell's colours, and painting on with those
// would show a colour that differs from the stored value.
void PaintWithButton(MouseButton button, model::Canvas& surface, model::PixelStore& store,
                     const model::BoardGeometry& geometry, Cell cell) {
  const bool set = button == MouseButton::Left;
  if (geometry.scale > 2) surface.SetPenColour(model::kBlack);
  SetCellColours(surface, geometry.scale, set ? kSetColour : kClearColour);
  PaintCell(surface, geometry.scale, cell);
  StoreValue(store, geometry, cell, set ? 1 : 0);
}

}  // namespace

std::optional<Cell> HitTest(const model::BoardGeometry& geometry, int x, int y) {
  const int s = geometry.scale;
  if (x < 0 || y < 0 || x > geometry.width * s - 1 || y > geometry.height * s - 1) {
    return std::nullopt;
  }
  return Cell{x / s, y / s};
}

std::string ReadoutText(Cell cell) {
  return "X: " + std::to_string(cell.x) + "  Y: " + std::to_string(cell.y);
}

void PaintCell(model::Canvas& surface, int scale, Cell cell) {
  if (scale > 2) {
    const model::Rect r = CellRect(cell.x, cell.y, scale);
    surface.Rectangle(r.left, r.top, r.right, r.bottom);
  } else if (scale == 2) {
    // Without the full redraw's overlap: the fringe past the last column and row keeps the
    // colour of the last redraw until the next one, as it always has.
    surface.Rectangle(cell.x * 2, cell.y * 2, cell.x * 2 + 2, cell.y * 2 + 2);
  } else {
    surface.SetPixel(cell.x, cell.y, surface.PenColour());
  }
}

bool MouseDown(PaintState& state, MouseButton button, int x, int y, model::PixelStore& store,
               const model::BoardGeometry& geometry, model::Canvas& surface) {
  const std::optional<Cell> cell = HitTest(geometry, x, y);
  if (!cell) return false;
  state.PaintButton = button;
  PaintWithButton(button, surface, store, geometry, *cell);
  state.PaintingActive = true;
  return true;
}

std::optional<std::string> MouseMove(PaintState& state, int x, int y, model::PixelStore& store,
                                     const model::BoardGeometry& geometry, model::Canvas& surface) {
  const std::optional<Cell> cell = HitTest(geometry, x, y);
  if (!cell) return std::nullopt;
  if (state.PaintingActive) PaintWithButton(state.PaintButton, surface, store, geometry, *cell);
  return ReadoutText(*cell);
}

void MouseUp(PaintState& state) {
  state.PaintingActive = false;
}

}  // namespace board
