#include "board/board.h"

#include <algorithm>
#include <vector>

namespace board {
void SetCellColours(model::PaletteCanvas& surface, int scale, Colour colour) {
  surface.SetBrushColour(colour);
  if (scale < 4) surface.SetPenColour(colour);
}

model::Rect CellRect(int x, int y, int scale) {
  return {x * scale, y * scale, x * scale + scale + 1, y * scale + scale + 1};
}

// The board is drawn as the composition of its steps: blanking, background with frame, grid,
// then every cell as an overlapping rectangle. Each step overwrites most of the previous ones,
// so instead of drawing them in turn (about 3.5 surface-fulls of writes at 320 x 240 x 8) every
// surface pixel is written once with the colour the sequence leaves there:
//
//   scale 4, 8 (s = 4 shown)           scale 1, 2 (s = 2 shown)
//     #########  grid rows y % s == 0    aabbcc    each cell's colour; the last column and
//     #aaa#bbb#  and columns x % s == 0  aabbcc    row are repeated once where the
//     #aaa#bbb#  are black, frame        ddeeff    frame was, since the overlap of the
//     #########  included                ddeeff    last cells covers it
//                                        ddeeff
//
// Outside the board: button face up to x = 2255, black at x = 2256 (the right line of the
// blanking rectangle), untouched from x = 2257 on. The pen, brush and current position are left
// as the step-by-step drawing leaves them. The tests hold this against a literal step-by-step
// drawing.
void DrawBoard(model::PaletteCanvas& surface, const model::PixelStore& store,
               const model::BoardGeometry& geometry, Colour buttonFace) {
  using model::PaletteCanvas;
  const int s = geometry.scale;
  const int w = geometry.width;
  const int h = geometry.height;
  // The blanking rectangle's right line. It has always stopped there, short of the surface's
  // 2560 columns, and boards keep looking as they always have.
  constexpr int kBlankRight = 2256;
  const int lastX = std::min(w * s, surface.Width() - 1);
  const int lastY = std::min(h * s, surface.Height() - 1);
  const std::uint8_t face = surface.IndexOf(buttonFace);
  const std::uint8_t black = surface.IndexOf(model::kBlack);
  const std::uint8_t set = surface.IndexOf(kSetColour);
  const std::uint8_t clear = surface.IndexOf(kClearColour);
  const auto cellWord = [&](int x, int y) { return store.Get(x, y) ? set : clear; };

  // Past the blanking line nothing is cleared: after a shrink at scale 8 that strip keeps the
  // old board, which lies beyond the scroll range save a few pixels, as it always did.
  const int faceEnd = std::min(kBlankRight, surface.Width());
  const bool blankLine = kBlankRight < surface.Width();
  for (int y = 0; y <= lastY; ++y) {
    std::uint8_t* row = surface.Row(y);
    if (lastX + 1 < faceEnd) std::fill(row + lastX + 1, row + faceEnd, face);
    if (lastX + 1 <= kBlankRight && blankLine) row[kBlankRight] = black;
  }
  // Below the board every row is the same up to the blanking line: the rows that share the
  // surface's common row go on sharing it, and take no memory of their own.
  const int blankLength = blankLine ? kBlankRight + 1 : faceEnd;
  std::vector<std::uint8_t> blank(static_cast<std::size_t>(blankLength), face);
  if (blankLine) blank[kBlankRight] = black;
  surface.SetRowHeads(lastY + 1, surface.Height(), blank.data(), blankLength);

  // One template row per picture row, copied to every surface row the picture row covers.
  std::vector<std::uint8_t> line(static_cast<std::size_t>(lastX) + 1);
  int templateRow = -1;
  for (int y = 0; y <= lastY; ++y) {
    std::uint8_t* row = surface.Row(y);
    if (s > 2 && y % s == 0) {
      std::fill(row, row + lastX + 1, black);
      continue;
    }
    const int py = std::min(y / s, h - 1);
    if (py != templateRow) {
      templateRow = py;
      std::uint8_t* t = line.data();
      if (s > 2) {
        for (int cx = 0; cx < w; ++cx) {
          t[cx * s] = black;
          std::fill_n(t + cx * s + 1, s - 1, cellWord(cx, py));
        }
        if (w * s == lastX) t[lastX] = black;  // the frame's right line, when on the surface
      } else {
        for (int cx = 0; cx < w; ++cx) std::fill_n(t + cx * s, s, cellWord(cx, py));
        t[w * s] = cellWord(w - 1, py);
      }
    }
    std::copy_n(line.data(), lastX + 1, row);
  }

  surface.MarkDirty({0, 0, kBlankRight + 1, surface.Height()});
  surface.MarkDirty({0, 0, lastX + 1, lastY + 1});
  if (s > 2) surface.MoveTo(w * s, (h - 1) * s);
  surface.SetPenColour(model::kBlack);
  SetCellColours(surface, s, store.Get(w - 1, h - 1) ? kSetColour : kClearColour);
}

void DrawCells(model::PaletteCanvas& surface, const model::PixelStore& store,
               const model::BoardGeometry& geometry, model::Rect cells) {
  using model::PaletteCanvas;
  cells = cells.Intersected({0, 0, geometry.width, geometry.height});
  if (cells.Empty()) return;
  const int s = geometry.scale;
  const int outline = s > 2 ? 1 : 0;  // the cells' right and bottom outlines
  const model::Rect area = model::Rect{cells.left * s, cells.top * s, cells.right * s + outline,
                                       cells.bottom * s + outline}
                               .Intersected({0, 0, surface.Width(), surface.Height()});
  const std::uint8_t black = surface.IndexOf(model::kBlack);
  const std::uint8_t set = surface.IndexOf(kSetColour);
  const std::uint8_t clear = surface.IndexOf(kClearColour);
  std::vector<std::uint8_t> line(static_cast<std::size_t>(cells.Width() * s + outline));
  int templateRow = -1;
  for (int y = area.top; y < area.bottom; ++y) {
    std::uint8_t* row = surface.Row(y) + area.left;
    if (s > 2 && y % s == 0) {
      std::fill(row, row + area.Width(), black);
      continue;
    }
    const int py = y / s;
    if (py != templateRow) {
      templateRow = py;
      // The template covers whole cells from cells.left on; the area may start and end inside
      // one only where the surface clips it.
      std::uint8_t* t = line.data();
      for (int cx = cells.left; cx < cells.right; ++cx) {
        const std::uint8_t cell = store.Get(cx, py) ? set : clear;
        // The outline byte first, then the cell's own: filling the whole cell and then writing
        // the outline over its first byte stalls each cell's stores (five times slower at 8).
        if (s > 2) {
          *t = black;
          std::fill_n(t + 1, s - 1, cell);
        } else {
          std::fill_n(t, s, cell);
        }
        t += s;
      }
      if (s > 2) *t = black;
    }
    std::copy_n(line.data(), area.Width(), row);
  }
  surface.MarkDirty(area);
}

std::string CaptionText(const model::BoardGeometry& geometry) {
  return "Dotwright " + std::to_string(geometry.width) + "x" + std::to_string(geometry.height);
}

std::string CaptionText(const model::BoardGeometry& geometry, const std::string& fileName,
                        bool modified) {
  if (fileName.empty()) return CaptionText(geometry);
  return CaptionText(geometry) + " \u2014 " + fileName + (modified ? "*" : "");
}

ScrollBarState UpdateScrollBar(ScrollBarState bar, int extent, int barLength, int margin) {
  if (extent > barLength) {
    bar.enabled = true;
    bar.maximum = extent - barLength + margin;
    bar.position = std::clamp(bar.position, 0, bar.maximum);
  } else {
    bar.position = 0;
    bar.enabled = false;
  }
  return bar;
}

}  // namespace board
