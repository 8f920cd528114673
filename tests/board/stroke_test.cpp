// Strokes: joined cells of a quick drag, and the board brought back by undo and redo.
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "board/board.h"
#include "board/painting.h"
#include "model/history.h"
#include "tests/support/raster_text.h"

namespace {

using board::Cell;
using board::MouseButton;
using model::BoardGeometry;
using Canvas = model::PaletteCanvas;
using model::PixelStore;

BoardGeometry Geometry(int w, int h, int s) {
  return {static_cast<std::uint8_t>(s), static_cast<std::uint16_t>(w),
          static_cast<std::uint16_t>(h)};
}

struct Board {
  explicit Board(int w = 84, int h = 48, int s = 4)
      : geometry(Geometry(w, h, s)),
        surface(std::make_unique<Canvas>(board::kSurfaceWidth, board::kSurfaceHeight)) {
    Redraw();
  }
  void Redraw() { board::DrawBoard(*surface, store, geometry, testsupport::kTestButtonFace); }
  void Down(MouseButton b, int x, int y) {
    board::MouseDown(state, b, x, y, store, geometry, *surface);
  }
  void Move(int x, int y) { board::MouseMove(state, x, y, store, geometry, *surface); }
  void Up() { board::MouseUp(state); }
  // A click on every cell in turn: what a drag painted before cells were joined.
  void ClickCells(MouseButton b, const std::vector<Cell>& cells) {
    for (const Cell c : cells) {
      Down(b, c.x * geometry.scale, c.y * geometry.scale);
      Up();
    }
  }
  // Rows of the top-left corner of the store: 'o' set, '.' clear.
  std::vector<std::string> StoreRows(int w, int h) const {
    std::vector<std::string> rows;
    for (int y = 0; y < h; ++y) {
      std::string row;
      for (int x = 0; x < w; ++x) row += store.Get(x, y) ? 'o' : '.';
      rows.push_back(row);
    }
    return rows;
  }

  BoardGeometry geometry;
  PixelStore store;
  std::unique_ptr<Canvas> surface;
  board::PaintState state;
};

bool SameSurface(const Canvas& a, const Canvas& b) {
  return testsupport::SameColours(a, b);
}

bool SameStore(const PixelStore& a, const PixelStore& b) {
  return a.Raw() == b.Raw();
}

std::vector<std::string> Draw(const std::vector<Cell>& cells, int w, int h) {
  std::vector<std::string> rows(static_cast<std::size_t>(h), std::string(w, '.'));
  for (const Cell c : cells) rows[c.y][c.x] = '#';
  return rows;
}

TEST(CellLine, MatchesLinesDrawnByHand) {
  struct Case {
    Cell from, to;
    std::vector<std::string> rows;
  };
  const Case cases[] = {
      {{0, 0}, {5, 2}, {"##....", "..##..", "....##"}},
      {{5, 2}, {0, 0}, {"##....", "..##..", "....##"}},
      {{0, 0}, {2, 5}, {"#..", "#..", ".#.", ".#.", "..#", "..#"}},
      {{0, 3}, {3, 0}, {"...#", "..#.", ".#..", "#..."}},
      {{4, 0}, {0, 1}, {"..###", "##..."}},
      {{0, 0}, {0, 3}, {"#", "#", "#", "#"}},
      {{2, 0}, {0, 0}, {"###"}},
      {{1, 1}, {1, 1}, {"..", ".#"}},
  };
  for (const Case& tc : cases) {
    const std::vector<Cell> line = board::CellLine(tc.from, tc.to);
    EXPECT_EQ(Draw(line, static_cast<int>(tc.rows[0].size()), static_cast<int>(tc.rows.size())),
              tc.rows)
        << tc.from.x << "," << tc.from.y << " -> " << tc.to.x << "," << tc.to.y;
    ASSERT_FALSE(line.empty());
    EXPECT_EQ(line.front(), tc.from);
    EXPECT_EQ(line.back(), tc.to);
    for (std::size_t i = 1; i < line.size(); ++i) {
      EXPECT_LE(std::abs(line[i].x - line[i - 1].x), 1);
      EXPECT_LE(std::abs(line[i].y - line[i - 1].y), 1);
    }
  }
}

TEST(Strokes, AQuickDragPaintsTheLineBetweenItsPositions) {
  Board quick;
  // Press on cell (1, 1), then one move to cell (9, 4): the toolkit merged the moves between.
  quick.Down(MouseButton::Left, 1 * 4 + 2, 1 * 4 + 2);
  quick.Move(9 * 4 + 3, 4 * 4);
  quick.Up();
  EXPECT_EQ(quick.StoreRows(11, 6), (std::vector<std::string>{
                                        "...........",
                                        ".oo........",
                                        "...ooo.....",
                                        "......oo...",
                                        "........oo.",
                                        "...........",
                                    }));
  // The surface is that of a click on each of those cells.
  Board clicked;
  clicked.ClickCells(MouseButton::Left, board::CellLine({1, 1}, {9, 4}));
  EXPECT_TRUE(SameStore(quick.store, clicked.store));
  EXPECT_TRUE(SameSurface(*quick.surface, *clicked.surface));
}

TEST(Strokes, QuickDragsClearWithTheOtherButtonsAtEveryScale) {
  for (const int s : {1, 2, 4, 8}) {
    Board quick(40, 16, s);
    Board clicked(40, 16, s);
    for (Board* b : {&quick, &clicked}) {
      for (int x = 0; x < 40; ++x)
        for (int y = 0; y < 16; ++y) b->store.Set(x, y, 1);
      b->Redraw();
    }
    quick.Down(MouseButton::Right, 39 * s, 15 * s);
    quick.Move(0, 0);
    quick.Move(20 * s, 0);
    quick.Up();
    std::vector<Cell> cells = board::CellLine({39, 15}, {0, 0});
    for (const Cell c : board::CellLine({0, 0}, {20, 0})) cells.push_back(c);
    clicked.ClickCells(MouseButton::Middle, cells);
    EXPECT_TRUE(SameStore(quick.store, clicked.store)) << "scale " << s;
    EXPECT_TRUE(SameSurface(*quick.surface, *clicked.surface)) << "scale " << s;
  }
}

TEST(Strokes, SlowDragsPaintOnlyTheReportedCells) {
  // Moves within a cell and to neighbouring cells, diagonals included.
  const std::pair<int, int> moves[] = {{5, 5},   {6, 7},   {9, 5},   {13, 9}, {14, 10},
                                       {17, 14}, {17, 18}, {13, 22}, {9, 21}, {10, 17}};
  Board slow;
  slow.Down(MouseButton::Left, 5, 5);
  std::vector<Cell> reported{{1, 1}};
  for (const auto& [x, y] : moves) {
    slow.Move(x, y);
    reported.push_back({x / 4, y / 4});
  }
  slow.Up();
  Board clicked;
  clicked.ClickCells(MouseButton::Left, reported);
  EXPECT_TRUE(SameStore(slow.store, clicked.store));
  EXPECT_TRUE(SameSurface(*slow.surface, *clicked.surface));
}

TEST(Strokes, AMoveWithinTheCellPaintsAndStoresNothingAndANewCellPaintsOnlyItself) {
  for (const int s : {1, 2, 4, 8}) {
    Board b(40, 16, s);
    b.Down(MouseButton::Left, 3 * s, 2 * s);
    // Marks that a repaint or a store write of cell (3, 2) would overwrite.
    b.surface->ResetDirty();
    b.surface->SetPixel(3 * s, 2 * s, 0x123456);
    b.surface->ResetDirty();
    b.store.Set(3, 2, 0);
    for (int d = 0; d < s; ++d) b.Move(3 * s + d, 2 * s + s - 1 - d);
    EXPECT_TRUE(b.surface->DirtyRect().Empty()) << "scale " << s;
    EXPECT_EQ(b.surface->Pixel(3 * s, 2 * s), 0x123456u) << "scale " << s;
    EXPECT_EQ(b.store.Get(3, 2), 0) << "scale " << s;
    // The next cell: exactly its own rectangle is painted.
    b.Move(4 * s, 2 * s);
    const int outline = s > 2 ? 1 : 0;
    EXPECT_EQ(b.surface->DirtyRect(), (model::Rect{4 * s, 2 * s, 5 * s + outline, 3 * s + outline}))
        << "scale " << s;
    EXPECT_EQ(b.store.Get(4, 2), 1) << "scale " << s;
    // Back into a cell painted earlier in the stroke: painted again, being another cell.
    b.surface->ResetDirty();
    b.Move(3 * s, 2 * s);
    EXPECT_FALSE(b.surface->DirtyRect().Empty()) << "scale " << s;
    EXPECT_EQ(b.store.Get(3, 2), 1) << "scale " << s;
  }
}

TEST(Strokes, MovesFromOrToOffTheBoardAreNotJoined) {
  Board b(20, 8, 4);
  b.Down(MouseButton::Left, 1, 1);  // cell (0, 0)
  b.Move(-5, 30);                   // off the board: nothing
  b.Move(4 * 19 + 1, 4 * 7 + 1);    // cell (19, 7): from off the board, this cell only
  b.Move(4 * 20, 4 * 7 + 1);        // the frame line: off
  b.Move(4 * 10 + 1, 1);            // cell (10, 0) only
  b.Up();
  b.Down(MouseButton::Left, 4 * 5 + 1, 4 * 3 + 1);  // a new stroke starts afresh
  b.Up();
  b.Move(4 * 15 + 1, 4 * 3 + 1);  // after the release: nothing painted
  EXPECT_EQ(b.StoreRows(20, 8), (std::vector<std::string>{
                                    "o.........o.........",
                                    "....................",
                                    "....................",
                                    ".....o..............",
                                    "....................",
                                    "....................",
                                    "....................",
                                    "...................o",
                                }));
}

TEST(Strokes, APositionTheBoardLeftDuringTheDragIsNotJoined) {
  Board b(84, 48, 4);
  b.Down(MouseButton::Left, 4 * 80 + 1, 1);  // cell (80, 0)
  b.geometry = Geometry(40, 48, 4);          // a narrower board redrawn mid-drag
  b.Redraw();
  b.Move(4 * 2 + 1, 1);
  b.Up();
  EXPECT_EQ(b.store.Get(2, 0), 1);
  for (int x = 3; x < 84; ++x) {
    if (x != 80) {
      EXPECT_EQ(b.store.Get(x, 0), 0) << x;
    }
  }
  // Nothing painted beyond the new board's frame.
  EXPECT_EQ(b.surface->Pixel(4 * 40 + 2, 2), testsupport::kTestButtonFace);
}

// Paints every cell of `cells` as a press does, row by row, in the store's value.
void PaintCellsOneByOne(Canvas& surface, const PixelStore& store, const BoardGeometry& g,
                        const model::Rect& cells) {
  for (int y = cells.top; y < cells.bottom; ++y) {
    for (int x = cells.left; x < cells.right; ++x) {
      if (g.scale > 2) surface.SetPenColour(model::kBlack);
      board::SetCellColours(surface, g.scale,
                            store.Get(x, y) ? board::kSetColour : board::kClearColour);
      board::PaintCell(surface, g.scale, {x, y});
    }
  }
}

TEST(DrawCells, PaintsAsACellAtATime) {
  struct Case {
    int w, h, s;
    model::Rect cells;
  };
  const Case cases[] = {
      {84, 48, 4, {3, 2, 20, 11}},   {84, 48, 4, {70, 40, 84, 48}},
      {84, 48, 1, {70, 40, 84, 48}}, {84, 48, 2, {0, 0, 84, 48}},
      {84, 48, 8, {1, 1, 2, 2}},     {320, 240, 8, {300, 230, 320, 240}},
      {40, 16, 8, {30, 10, 60, 30}},  // reaching past the picture: clipped to it
  };
  std::mt19937 random(3);
  for (const Case& tc : cases) {
    Board a(tc.w, tc.h, tc.s);
    Board b(tc.w, tc.h, tc.s);
    for (int x = 0; x < PixelStore::kColumns; ++x) {
      for (int y = 0; y < PixelStore::kRows; ++y) {
        const int v = static_cast<int>(random() % 2);
        a.store.Set(x, y, v);
        b.store.Set(x, y, v);
      }
    }
    const model::Rect inside = tc.cells.Intersected({0, 0, tc.w, tc.h});
    PaintCellsOneByOne(*a.surface, a.store, a.geometry, inside);
    b.surface->ResetDirty();
    board::DrawCells(*b.surface, b.store, b.geometry, tc.cells);
    EXPECT_TRUE(SameSurface(*a.surface, *b.surface))
        << tc.w << "x" << tc.h << " scale " << tc.s << " cells " << tc.cells.left << ","
        << tc.cells.top;
    const int o = tc.s > 2 ? 1 : 0;
    const model::Rect dirty = model::Rect{inside.left * tc.s, inside.top * tc.s,
                                          inside.right * tc.s + o, inside.bottom * tc.s + o}
                                  .Intersected({0, 0, board::kSurfaceWidth, board::kSurfaceHeight});
    EXPECT_EQ(b.surface->DirtyRect(), dirty);
  }
}

TEST(UndoOnTheBoard, RepaintingAStepGivesBackTheEarlierSurface) {
  for (const int s : {1, 2, 4, 8}) {
    Board b(160, 96, s);
    model::History history(b.store, {160, 96});
    std::vector<std::unique_ptr<Canvas>> surfaces;
    std::vector<PixelStore> stores;
    const auto keep = [&] {
      surfaces.push_back(std::make_unique<Canvas>(*b.surface));
      stores.push_back(b.store);
    };
    keep();
    // A few small strokes and one long zig-zag over most of the board (a step of many pixels),
    // then a right-button stroke across it; the last column and row are touched too.
    b.Down(MouseButton::Left, 3 * s, 3 * s);
    b.Move(40 * s, 20 * s);
    b.Up();
    ASSERT_TRUE(history.Commit(b.store, {160, 96}));
    keep();
    b.Down(MouseButton::Left, 0, 0);
    for (int row = 0; row < 96; row += 2) {
      b.Move(row % 4 == 0 ? 159 * s : 0, row * s);
      b.Move(row % 4 == 0 ? 159 * s : 0, (row + 2) * s);
    }
    b.Up();
    ASSERT_TRUE(history.Commit(b.store, {160, 96}));
    keep();
    b.Down(MouseButton::Right, 159 * s, 0);
    b.Move(0, 95 * s);
    b.Up();
    ASSERT_TRUE(history.Commit(b.store, {160, 96}));
    keep();

    for (std::size_t i = stores.size() - 1; i > 0; --i) {
      const model::HistoryStep* step = history.Undo(b.store);
      board::RepaintStep(*b.surface, b.store, b.geometry, *step);
      EXPECT_TRUE(SameStore(b.store, stores[i - 1])) << "scale " << s << " undo " << i;
      EXPECT_TRUE(SameSurface(*b.surface, *surfaces[i - 1])) << "scale " << s << " undo " << i;
    }
    for (std::size_t i = 1; i < stores.size(); ++i) {
      const model::HistoryStep* step = history.Redo(b.store);
      board::RepaintStep(*b.surface, b.store, b.geometry, *step);
      EXPECT_TRUE(SameSurface(*b.surface, *surfaces[i])) << "scale " << s << " redo " << i;
    }
  }
}

TEST(UndoOnTheBoard, HiddenPixelsOfAStepAreNotPainted) {
  Board b(84, 48, 4);
  model::History history(b.store, {84, 48});
  b.store.Set(100, 10, 1);  // beyond the board, as a cleared picture changes it
  b.store.Set(5, 5, 1);
  history.Commit(b.store, {84, 48});
  b.Redraw();
  const Canvas before(*b.surface);
  b.surface->ResetDirty();
  board::RepaintStep(*b.surface, b.store, b.geometry, *history.Undo(b.store));
  EXPECT_EQ(b.surface->DirtyRect(), (model::Rect{20, 20, 25, 25}));
  EXPECT_EQ(b.surface->Pixel(22, 22), board::kClearColour);
  EXPECT_EQ(b.surface->Pixel(401, 41), before.Pixel(401, 41));
}

}  // namespace
