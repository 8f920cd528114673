#pragma once

#include <string>

#include "model/geometry.h"
#include "model/palette_canvas.h"
#include "model/pixel_store.h"

namespace board {

using model::Colour;

// The board surface: room for the largest picture at the largest scale.
inline constexpr int kSurfaceWidth = 320 * 8;
inline constexpr int kSurfaceHeight = 240 * 8;

inline constexpr Colour kSetColour = 0x00FF00;    // a set pixel: bright green
inline constexpr Colour kClearColour = 0x008000;  // a clear pixel and the background: dark green

// Brush to `colour`; below scale 4 the pen too, so cells show no outline. At scales 4 and 8 the
// pen stays as it is (black), giving every cell its grid outline.
void SetCellColours(model::PaletteCanvas& surface, int scale, Colour colour);

// The cell of picture pixel (x, y) in the full redraw: it reaches one screen pixel into its right
// and lower neighbours, so neighbouring outlines coincide into one-pixel grid lines.
model::Rect CellRect(int x, int y, int scale);

// Draws the whole board for `geometry` onto the surface. The result, pixel for pixel and down to
// the pen, brush and current position left behind, is that of these steps in this order:
//  1. blanks x = 0..2255 with `buttonFace`, with a black line at x = 2256; from x = 2257 on
//     the surface keeps what it held;
//  2. the dark-green background with a one-pixel black frame on x = 0, x = W*s, y = 0, y = H*s;
//  3. at scales 4 and 8, black grid lines on every x = i*s and y = j*s inside the board;
//  4. every cell, row by row, in its pixel's colour: SetCellColours, then the CellRect
//     rectangle (at scales 4 and 8 with the pen black).
// At scales 1 and 2 the cells cover the frame, so the board is (W*s + 1) x (H*s + 1) pixels of
// cell colours, its last column and row repeated once.
void DrawBoard(model::PaletteCanvas& surface, const model::PixelStore& store,
               const model::BoardGeometry& geometry, Colour buttonFace);

// Paints the cells of picture pixels `cells.left`..`cells.right - 1` by `cells.top`..
// `cells.bottom - 1` (inside the geometry) in the store's values, pixel for pixel as painting
// each of them with PaintCell does, row by row: at scales 4 and 8 every cell with its black
// outline, which reaches one pixel into the next cells; at scale 2 the 2 x 2 blocks; at scale 1
// the single pixels. Nothing outside those cells changes. Fills by rows, so a large area costs
// about as much as a full redraw of it, not a rectangle call a cell.
void DrawCells(model::PaletteCanvas& surface, const model::PixelStore& store,
               const model::BoardGeometry& geometry, model::Rect cells);

// "Dotwright 84x48".
std::string CaptionText(const model::BoardGeometry& geometry);
// With an array file in use, its name after the size, and "*" while the picture has unsaved
// changes: "Dotwright 84x48 — logo.h*". With no file (an empty name) the plain caption above,
// changes or not.
std::string CaptionText(const model::BoardGeometry& geometry, const std::string& fileName,
                        bool modified);

// One scroll bar of the board's viewport. Minimum is always 0.
struct ScrollBarState {
  bool enabled = true;
  int maximum = 100;
  int position = 0;
  friend bool operator==(const ScrollBarState&, const ScrollBarState&) = default;
};

inline constexpr int kHorizontalMargin = 4;
inline constexpr int kVerticalMargin = 3;

// A bar `barLength` pixels long over a board `extent` (W*s or H*s) pixels long. If the board is
// longer than the bar: enabled, maximum extent - barLength + margin, and a position beyond the
// new maximum pulled down to it. Otherwise disabled at position 0, the maximum unchanged.
ScrollBarState UpdateScrollBar(ScrollBarState bar, int extent, int barLength, int margin);

}  // namespace board
