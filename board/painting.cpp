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
void PaintValue(model::PaletteCanvas& surface, int scale, Cell cell, bool set) {
  if (scale > 2) surface.SetPenColour(model::kBlack);
  SetCellColours(surface, scale, set ? kSetColour : kClearColour);
  PaintCell(surface, scale, cell);
}

void PaintWithButton(MouseButton button, model::PaletteCanvas& surface, model::PixelStore& store,
                     const model::BoardGeometry& geometry, Cell cell) {
  const bool set = button == MouseButton::Left;
  PaintValue(surface, geometry.scale, cell, set);
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

std::vector<Cell> CellLine(Cell from, Cell to) {
  const int dx = to.x > from.x ? to.x - from.x : from.x - to.x;
  const int dy = to.y > from.y ? to.y - from.y : from.y - to.y;
  const int sx = to.x >= from.x ? 1 : -1;
  const int sy = to.y >= from.y ? 1 : -1;
  std::vector<Cell> cells;
  cells.reserve(static_cast<std::size_t>(dx > dy ? dx : dy) + 1);
  Cell at = from;
  int error = dx - dy;
  for (;;) {
    cells.push_back(at);
    if (at == to) break;
    const int twice = 2 * error;
    if (twice > -dy) {
      error -= dy;
      at.x += sx;
    }
    if (twice < dx) {
      error += dx;
      at.y += sy;
    }
  }
  return cells;
}

std::string ReadoutText(Cell cell) {
  return "X: " + std::to_string(cell.x) + "  Y: " + std::to_string(cell.y);
}

void PaintCell(model::PaletteCanvas& surface, int scale, Cell cell) {
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
               const model::BoardGeometry& geometry, model::PaletteCanvas& surface) {
  const std::optional<Cell> cell = HitTest(geometry, x, y);
  if (!cell) return false;
  state.PaintButton = button;
  PaintWithButton(button, surface, store, geometry, *cell);
  state.PaintingActive = true;
  state.LastPosition = Point{x, y};
  return true;
}

std::optional<Cell> MouseMove(PaintState& state, int x, int y, model::PixelStore& store,
                              const model::BoardGeometry& geometry, model::PaletteCanvas& surface) {
  const std::optional<Cell> cell = HitTest(geometry, x, y);
  if (!cell) {
    state.LastPosition.reset();
    return std::nullopt;
  }
  if (state.PaintingActive) {
    // The previous position is tested against today's geometry: a redraw in the middle of a drag
    // may have moved the board under it.
    std::optional<Cell> from;
    if (state.LastPosition) from = HitTest(geometry, state.LastPosition->x, state.LastPosition->y);
    if (from && *from == *cell) {
      // Still in the cell the stroke last painted: it already shows and holds the value.
      state.LastPosition = Point{x, y};
      return cell;
    }
    if (from) {
      const std::vector<Cell> line = CellLine(*from, *cell);
      for (std::size_t i = 1; i < line.size(); ++i) {
        PaintWithButton(state.PaintButton, surface, store, geometry, line[i]);
      }
    } else {
      PaintWithButton(state.PaintButton, surface, store, geometry, *cell);
    }
    state.LastPosition = Point{x, y};
  }
  return cell;
}

void MouseUp(PaintState& state) {
  state.PaintingActive = false;
  state.LastPosition.reset();
}

void RepaintStep(model::PaletteCanvas& surface, const model::PixelStore& store,
                 const model::BoardGeometry& geometry, const model::HistoryStep& step) {
  // Few cells are painted one by one; many by rows over the area that holds them, which paints
  // the unchanged cells there as they already are.
  constexpr std::size_t kByRows = 256;
  if (step.PixelCount() < kByRows) {
    step.ForEachPixel([&](int x, int y) {
      if (x < geometry.width && y < geometry.height) {
        PaintValue(surface, geometry.scale, Cell{x, y}, store.Get(x, y) != 0);
      }
    });
    return;
  }
  DrawCells(surface, store, geometry, step.Area());
}

}  // namespace board
