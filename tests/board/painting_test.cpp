#include "board/painting.h"

#include <memory>

#include <gtest/gtest.h>

#include "board/board.h"
#include "tests/support/raster_text.h"

namespace {

using board::MouseButton;
using board::PaintState;
using model::BoardGeometry;
using Canvas = model::PaletteCanvas;
using model::PixelStore;
using testsupport::BoardLegend;
using testsupport::RasterMatches;

// A freshly drawn board with its store, geometry and painting state.
struct Fixture {
  explicit Fixture(int w = 84, int h = 48, int s = 4)
      : geometry{static_cast<std::uint8_t>(s), static_cast<std::uint16_t>(w),
                 static_cast<std::uint16_t>(h)},
        surface(std::make_unique<Canvas>(board::kSurfaceWidth, board::kSurfaceHeight)) {
    Redraw();
  }
  void Redraw() { board::DrawBoard(*surface, store, geometry, testsupport::kTestButtonFace); }
  bool Down(MouseButton b, int x, int y) {
    return board::MouseDown(state, b, x, y, store, geometry, *surface);
  }
  // The readout the move leads to; nullopt off the board.
  std::optional<std::string> Move(int x, int y) {
    const std::optional<board::Cell> cell =
        board::MouseMove(state, x, y, store, geometry, *surface);
    if (!cell) return std::nullopt;
    return board::ReadoutText(*cell);
  }

  BoardGeometry geometry;
  PixelStore store;
  std::unique_ptr<Canvas> surface;
  PaintState state;
};

TEST(HitTest, BoardEdges) {
  const BoardGeometry g{4, 84, 48};
  struct Case {
    int x, y;
    std::optional<board::Cell> cell;
  };
  const Case cases[] = {
      {0, 0, board::Cell{0, 0}}, {335, 191, board::Cell{83, 47}}, {336, 0, std::nullopt},
      {0, 192, std::nullopt},    {-1, 5, std::nullopt},           {5, -1, std::nullopt},
      {9, 5, board::Cell{2, 1}}, {4, 4, board::Cell{1, 1}},       {3, 3, board::Cell{0, 0}}};
  for (const Case& tc : cases)
    EXPECT_EQ(board::HitTest(g, tc.x, tc.y), tc.cell) << tc.x << "," << tc.y;
  const BoardGeometry one{1, 4, 8};
  EXPECT_EQ(board::HitTest(one, 3, 7), (board::Cell{3, 7}));
  EXPECT_EQ(board::HitTest(one, 4, 7), std::nullopt);
}

TEST(Painting, LeftClickAtScaleFourSetsThePixelAndPaintsItsCell) {
  Fixture f;
  f.surface->ResetDirty();
  ASSERT_TRUE(f.Down(MouseButton::Left, 9, 5));
  EXPECT_EQ(f.store.Get(2, 1), 1);
  EXPECT_TRUE(f.state.PaintingActive);
  // The rectangle (8, 4)-(13, 9): bright green with a black outline, shown with a ring of the
  // neighbouring grid around it.
  EXPECT_TRUE(RasterMatches(*f.surface, 7, 3,
                            {
                                ".#...#.",
                                "#######",
                                ".#ooo#.",
                                ".#ooo#.",
                                ".#ooo#.",
                                "#######",
                                ".#...#.",
                            },
                            BoardLegend()));
  // Only the cell is repainted.
  EXPECT_EQ(f.surface->DirtyRect(), (model::Rect{8, 4, 13, 9}));
}

TEST(Painting, OtherButtonsClear) {
  for (MouseButton b : {MouseButton::Right, MouseButton::Middle}) {
    Fixture f;
    f.Down(MouseButton::Left, 9, 5);
    board::MouseUp(f.state);
    ASSERT_EQ(f.store.Get(2, 1), 1);
    ASSERT_TRUE(f.Down(b, 10, 6));
    EXPECT_EQ(f.store.Get(2, 1), 0);
    EXPECT_EQ(f.surface->Pixel(10, 6), board::kClearColour);
    EXPECT_EQ(f.surface->Pixel(8, 6), model::kBlack);
  }
}

TEST(Painting, LastColumnHitsAndTheFrameLineMisses) {
  Fixture f;
  EXPECT_TRUE(f.Down(MouseButton::Left, 84 * 4 - 1, 0));
  EXPECT_EQ(f.store.Get(83, 0), 1);
  board::MouseUp(f.state);
  f.surface->ResetDirty();
  EXPECT_FALSE(f.Down(MouseButton::Left, 84 * 4, 0));
  EXPECT_FALSE(f.state.PaintingActive);
  EXPECT_TRUE(f.surface->DirtyRect().Empty());
}

TEST(Painting, DragJoinsCellsOnTheBoardAndPausesOffIt) {
  Fixture f;
  f.Down(MouseButton::Left, 1, 1);
  EXPECT_EQ(f.Move(13, 1), "X: 3  Y: 0");  // cells 1 and 2 lie between: painted too
  EXPECT_EQ(f.Move(400, 1), std::nullopt);
  EXPECT_EQ(f.Move(21, 1), "X: 5  Y: 0");  // back from off the board: this cell only
  board::MouseUp(f.state);
  EXPECT_EQ(f.Move(29, 1), "X: 7  Y: 0");  // after release: readout only
  std::string row;
  for (int x = 0; x < 9; ++x) row += f.store.Get(x, 0) ? 'o' : '.';
  EXPECT_EQ(row, "oooo.o...");
}

TEST(Painting, RightDragClearsAndKeepsItsButton) {
  Fixture f;
  for (int x = 0; x < 5; ++x) f.store.Set(x, 2, 1);
  f.Redraw();
  f.Down(MouseButton::Right, 2, 9);
  f.Move(6, 9);
  f.Move(-1, 9);
  f.Move(14, 9);
  board::MouseUp(f.state);
  std::string row;
  for (int x = 0; x < 5; ++x) row += f.store.Get(x, 2) ? 'o' : '.';
  EXPECT_EQ(row, "..o.o");
}

TEST(Painting, PressOffTheBoardLeavesStateAlone) {
  Fixture f;
  f.Down(MouseButton::Left, 1, 1);
  EXPECT_FALSE(f.Down(MouseButton::Right, -3, 1));
  EXPECT_TRUE(f.state.PaintingActive);
  EXPECT_EQ(f.state.PaintButton, MouseButton::Left);
}

TEST(Painting, CellShapesAtScalesOneAndTwoLeaveTheFringe) {
  struct Case {
    int scale;
    std::vector<std::string> rows;  // the bottom-right corner, fringe row and column included
  };
  const Case cases[] = {
      {1, {"...", ".o.", "..."}},                          // one pixel, fringe kept clear
      {2, {".....", ".....", "..oo.", "..oo.", "....."}},  // 2 x 2 block, no overlap
  };
  for (const Case& tc : cases) {
    Fixture f(8, 8, tc.scale);
    const int edge = 8 * tc.scale;
    ASSERT_TRUE(f.Down(MouseButton::Left, edge - 1, edge - 1));
    EXPECT_EQ(f.store.Get(7, 7), 1);
    const int n = static_cast<int>(tc.rows.size());
    EXPECT_TRUE(RasterMatches(*f.surface, edge - n + 1, edge - n + 1, tc.rows, BoardLegend()))
        << "scale " << tc.scale;
  }
}

TEST(Painting, ScaleEightCellIncludesItsOutline) {
  Fixture f(8, 8, 8);
  f.Down(MouseButton::Left, 8, 8);
  EXPECT_TRUE(RasterMatches(*f.surface, 8, 8,
                            {"#########", "#ooooooo#", "#ooooooo#", "#ooooooo#", "#ooooooo#",
                             "#ooooooo#", "#ooooooo#", "#ooooooo#", "#########"},
                            BoardLegend()));
}

TEST(Painting, RedrawDuringADragDoesNotChangeThePaintedColour) {
  Fixture f(8, 8, 2);
  f.Down(MouseButton::Left, 0, 0);
  f.Redraw();  // leaves pen and brush at the last cell's colour, clear
  f.Move(4, 0);
  EXPECT_EQ(f.store.Get(2, 0), 1);
  EXPECT_EQ(f.surface->Pixel(4, 0), board::kSetColour);
}

TEST(Painting, Readout) {
  EXPECT_EQ(board::ReadoutText({12, 5}), "X: 12  Y: 5");
  EXPECT_EQ(board::ReadoutText({0, 0}), "X: 0  Y: 0");
}

}  // namespace
