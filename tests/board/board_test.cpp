#include "board/board.h"

#include <algorithm>
#include <memory>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/raster_text.h"

namespace {

using board::kClearColour;
using board::kSetColour;
using model::BoardGeometry;
using Canvas = model::PaletteCanvas;
using model::Colour;
using model::PixelStore;
using testsupport::BoardLegend;
using testsupport::kTestButtonFace;
using testsupport::WholeRasterMatches;

constexpr Colour kBlack = 0x000000;
constexpr Colour kWhite = 0xFFFFFF;

BoardGeometry Geometry(int w, int h, int s) {
  return {static_cast<std::uint8_t>(s), static_cast<std::uint16_t>(w),
          static_cast<std::uint16_t>(h)};
}

std::unique_ptr<Canvas> Surface() {
  return std::make_unique<Canvas>(board::kSurfaceWidth, board::kSurfaceHeight);
}

// The surface outside the board after one redraw of a fresh surface: button face up to
// x = 2255, the blanking rectangle's black right line at x = 2256, white (untouched) beyond.
Colour OutsideBoard(int x) {
  if (x <= 2255) return kTestButtonFace;
  return x == 2256 ? kBlack : kWhite;
}

// The expected board at scales 4 and 8: black grid lines on every multiple of the scale, frame
// included, cell colours inside.
Colour GridBoard(const PixelStore& store, const BoardGeometry& g, int x, int y) {
  const int s = g.scale;
  if (x > g.width * s || y > g.height * s) return OutsideBoard(x);
  if (x % s == 0 || y % s == 0) return kBlack;
  return store.Get(x / s, y / s) ? kSetColour : kClearColour;
}

// The expected board at scales 1 and 2: cell colours only, the extra last column and row
// repeating the colours of the picture's last column and row.
Colour PlainBoard(const PixelStore& store, const BoardGeometry& g, int x, int y) {
  const int s = g.scale;
  if (x > g.width * s || y > g.height * s) return OutsideBoard(x);
  const int cx = std::min(x / s, g.width - 1);
  const int cy = std::min(y / s, g.height - 1);
  return store.Get(cx, cy) ? kSetColour : kClearColour;
}

// The board drawn literally step by step with the canvas's own operations.
void DrawBoardStepByStep(Canvas& surface, const PixelStore& store, const BoardGeometry& g,
                         Colour face) {
  const int s = g.scale, w = g.width, h = g.height;
  surface.SetPenColour(kBlack);
  surface.SetBrushColour(face);
  surface.Rectangle(-1, -1, 2257, 1921);
  surface.SetBrushColour(kClearColour);
  surface.Rectangle(0, 0, w * s + 1, h * s + 1);
  if (s > 2) {
    for (int i = 1; i < w; ++i) {
      surface.MoveTo(i * s, 0);
      surface.LineTo(i * s, h * s);
    }
    for (int j = 1; j < h; ++j) {
      surface.MoveTo(0, j * s);
      surface.LineTo(w * s, j * s);
    }
    surface.SetPenColour(kBlack);
  }
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      board::SetCellColours(surface, s, store.Get(x, y) ? kSetColour : kClearColour);
      const model::Rect r = board::CellRect(x, y, s);
      surface.Rectangle(r.left, r.top, r.right, r.bottom);
    }
  }
}

TEST(BoardRendering, SameAsDrawingStepByStep) {
  std::mt19937 random(11);
  for (int round = 0; round < 12; ++round) {
    const BoardGeometry g =
        Geometry(4 * (1 + random() % 80), 8 * (1 + random() % 30), 1 << (round % 4));
    PixelStore store;
    for (int i = 0; i < 2000; ++i) store.Set(random() % 320, random() % 240, 1);
    // Both surfaces start with the same noise, so untouched pixels are checked too.
    auto fast = Surface();
    auto literal = Surface();
    // As many colours as the surface holds besides the board's own.
    std::vector<Colour> noise(240);
    for (Colour& c : noise) c = random() & 0xFFFFFF;
    for (int i = 0; i < 20000; ++i) {
      const int x = random() % board::kSurfaceWidth, y = random() % board::kSurfaceHeight;
      const Colour c = noise[random() % noise.size()];
      fast->SetPixel(x, y, c);
      literal->SetPixel(x, y, c);
    }
    fast->SetPenColour(0x123456);
    literal->SetPenColour(0x123456);
    fast->MoveTo(5, 6);
    literal->MoveTo(5, 6);
    fast->ResetDirty();
    literal->ResetDirty();
    board::DrawBoard(*fast, store, g, kTestButtonFace);
    DrawBoardStepByStep(*literal, store, g, kTestButtonFace);
    const std::string name =
        std::to_string(g.width) + "x" + std::to_string(g.height) + " at " + std::to_string(g.scale);
    ASSERT_TRUE(testsupport::SameColours(*fast, *literal)) << name;
    EXPECT_EQ(fast->PenColour(), literal->PenColour()) << name;
    EXPECT_EQ(fast->BrushColour(), literal->BrushColour()) << name;
    EXPECT_EQ(fast->DirtyRect(), literal->DirtyRect()) << name;
    // The current position: a line from it shows where it is.
    fast->LineTo(0, 0);
    literal->LineTo(0, 0);
    EXPECT_TRUE(testsupport::SameColours(*fast, *literal)) << name;
  }
}

TEST(BoardRendering, NewPictureAtScaleFour) {
  PixelStore store;
  auto surface = Surface();
  const BoardGeometry g = Geometry(84, 48, 4);
  board::DrawBoard(*surface, store, g, kTestButtonFace);
  // 337 x 193 pixels of board, frame included, black grid every 4 pixels.
  EXPECT_TRUE(WholeRasterMatches(
      *surface, [&](int x, int y) { return GridBoard(store, g, x, y); }, BoardLegend()));
  EXPECT_EQ(surface->Pixel(336, 192), kBlack);
  EXPECT_EQ(surface->Pixel(337, 100), kTestButtonFace);
  EXPECT_EQ(surface->Pixel(100, 193), kTestButtonFace);
  EXPECT_EQ(board::CaptionText(g), "Dotwright 84x48");
}

TEST(BoardRendering, EveryScaleWithARandomPicture) {
  std::mt19937 random(7);
  const BoardGeometry cases[] = {
      Geometry(84, 48, 1),   Geometry(84, 48, 2),  Geometry(84, 48, 4),
      Geometry(84, 48, 8),   Geometry(4, 8, 1),    Geometry(4, 8, 8),
      Geometry(320, 240, 2), Geometry(100, 16, 4), Geometry(280, 232, 8)};
  for (const BoardGeometry& g : cases) {
    PixelStore store;
    for (int x = 0; x < g.width; ++x)
      for (int y = 0; y < g.height; ++y) store.Set(x, y, random() % 3 == 0);
    auto surface = Surface();
    board::DrawBoard(*surface, store, g, kTestButtonFace);
    const auto expected = [&](int x, int y) {
      return g.scale > 2 ? GridBoard(store, g, x, y) : PlainBoard(store, g, x, y);
    };
    EXPECT_TRUE(WholeRasterMatches(*surface, expected, BoardLegend()))
        << g.width << "x" << g.height << " at scale " << int{g.scale};
  }
}

TEST(BoardRendering, NoBlackFrameAtScalesOneAndTwo) {
  for (int s : {1, 2}) {
    PixelStore store;
    store.Set(83, 47, 1);
    auto surface = Surface();
    const BoardGeometry g = Geometry(84, 48, s);
    board::DrawBoard(*surface, store, g, kTestButtonFace);
    for (int x = 0; x <= 84 * s; ++x) {
      ASSERT_NE(surface->Pixel(x, 0), kBlack) << x;
      ASSERT_NE(surface->Pixel(x, 48 * s), kBlack) << x;
    }
    for (int y = 0; y <= 48 * s; ++y) {
      ASSERT_NE(surface->Pixel(0, y), kBlack) << y;
      ASSERT_NE(surface->Pixel(84 * s, y), kBlack) << y;
    }
    // The fringe repeats the last cell: (83, 47) is set.
    EXPECT_EQ(surface->Pixel(84 * s, 48 * s), kSetColour);
    EXPECT_EQ(surface->Pixel(84 * s, 48 * s - 1), kSetColour);
    EXPECT_EQ(surface->Pixel(84 * s - 1, 48 * s), kSetColour);
    EXPECT_EQ(surface->Pixel(84 * s, 0), kClearColour);
  }
}

TEST(BoardRendering, LargestBoardLosesItsFarFrameLinesOffTheSurface) {
  PixelStore store;
  store.Set(319, 239, 1);
  auto surface = Surface();
  const BoardGeometry g = Geometry(320, 240, 8);
  board::DrawBoard(*surface, store, g, kTestButtonFace);
  // 2561 pixels of board on a 2560 surface: the whole surface is board, no blank strip.
  EXPECT_TRUE(WholeRasterMatches(
      *surface, [&](int x, int y) { return GridBoard(store, g, x, y); }, BoardLegend()));
  EXPECT_EQ(surface->Pixel(2559, 1919), kSetColour);
  EXPECT_EQ(surface->Pixel(2560, 1919), model::kInvalidColour);
}

TEST(BoardRendering, ShrinkingKeepsTheStripBeyondTheBlanking) {
  PixelStore store;
  for (int y = 0; y < 240; ++y) store.Set(310, y, 1);
  auto surface = Surface();
  const BoardGeometry wide = Geometry(320, 240, 8);
  board::DrawBoard(*surface, store, wide, kTestButtonFace);
  const BoardGeometry narrow = Geometry(300, 240, 8);
  board::DrawBoard(*surface, store, narrow, kTestButtonFace);
  // The new board ends at x = 2400, the blanking at 2256: x = 2401..2559 keep the old board.
  EXPECT_TRUE(WholeRasterMatches(
      *surface,
      [&](int x, int y) {
        return x > 2400 ? GridBoard(store, wide, x, y) : GridBoard(store, narrow, x, y);
      },
      BoardLegend()));
}

TEST(BoardRendering, HiddenPixelComesBackWhenTheSizeGrowsAgain) {
  PixelStore store;
  store.Set(70, 40, 1);
  auto surface = Surface();
  board::DrawBoard(*surface, store, Geometry(40, 16, 4), kTestButtonFace);
  EXPECT_EQ(surface->Pixel(70 * 4 + 2, 40 * 4 + 2), kTestButtonFace);
  board::DrawBoard(*surface, store, Geometry(84, 48, 4), kTestButtonFace);
  EXPECT_EQ(surface->Pixel(70 * 4 + 2, 40 * 4 + 2), kSetColour);
}

TEST(BoardRendering, PenAndBrushAfterARedraw) {
  PixelStore store;
  store.Set(83, 47, 1);
  auto surface = Surface();
  board::DrawBoard(*surface, store, Geometry(84, 48, 4), kTestButtonFace);
  EXPECT_EQ(surface->PenColour(), kBlack);
  EXPECT_EQ(surface->BrushColour(), kSetColour);
  board::DrawBoard(*surface, store, Geometry(84, 48, 2), kTestButtonFace);
  EXPECT_EQ(surface->PenColour(), kSetColour);
}

TEST(ScrollBars, RangesMarginsAndPullingIntoRange) {
  using board::ScrollBarState;
  using board::UpdateScrollBar;
  struct Case {
    const char* name;
    ScrollBarState before;
    int extent, length, margin;
    ScrollBarState after;
  };
  const Case cases[] = {
      {"horizontal, longer than the bar", {true, 100, 0}, 672, 500, 4, {true, 176, 0}},
      {"vertical margin is 3", {true, 100, 0}, 384, 300, 3, {true, 87, 0}},
      {"position kept inside the new range", {true, 176, 50}, 672, 500, 4, {true, 176, 50}},
      {"position pulled down to a smaller maximum",
       {true, 176, 150},
       600,
       500,
       4,
       {true, 104, 104}},
      {"equal length fits: disabled at 0", {true, 176, 20}, 500, 500, 4, {false, 176, 0}},
      {"shorter fits", {true, 50, 7}, 336, 500, 4, {false, 50, 0}},
      {"one pixel longer", {false, 50, 0}, 501, 500, 4, {true, 5, 0}},
  };
  for (const Case& tc : cases) {
    EXPECT_EQ(UpdateScrollBar(tc.before, tc.extent, tc.length, tc.margin), tc.after) << tc.name;
  }
}

}  // namespace
