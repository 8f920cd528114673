#include "model/history.h"

#include <algorithm>
#include <random>
#include <vector>

#include <gtest/gtest.h>

namespace {

using model::History;
using model::HistoryStep;
using model::PictureSize;
using model::PixelStore;

struct State {
  PixelStore store;
  PictureSize size;
};

testing::AssertionResult SameState(const PixelStore& store, PictureSize size, const State& want) {
  if (size != want.size) {
    return testing::AssertionFailure()
           << "size " << size.width << "x" << size.height << ", expected " << want.size.width << "x"
           << want.size.height;
  }
  for (int x = 0; x < PixelStore::kColumns; ++x) {
    for (int y = 0; y < PixelStore::kRows; ++y) {
      if (store.Get(x, y) != want.store.Get(x, y)) {
        return testing::AssertionFailure() << "pixel (" << x << ", " << y << ") differs";
      }
    }
  }
  return testing::AssertionSuccess();
}

// One edit of a mixed sequence: a stroke of a few pixels, a cleared picture, a converted
// picture over the whole area, or a new size (hidden pixels kept).
void Edit(std::mt19937& random, PixelStore& store, PictureSize& size) {
  switch (random() % 4) {
    case 0:
      for (int i = 0, n = 1 + static_cast<int>(random() % 20); i < n; ++i) {
        store.Set(static_cast<int>(random() % size.width), static_cast<int>(random() % size.height),
                  static_cast<int>(random() % 2));
      }
      break;
    case 1:
      store.ClearPicture();
      break;
    case 2:
      for (int x = 0; x < size.width; ++x)
        for (int y = 0; y < size.height; ++y) store.Set(x, y, static_cast<int>(random() % 2));
      break;
    default:
      size = {static_cast<std::uint16_t>(4 * (1 + random() % 80)),
              static_cast<std::uint16_t>(8 * (1 + random() % 30))};
      break;
  }
}

TEST(History, UndoAndRedoReturnToEveryEarlierStateOfAMixedSequence) {
  std::mt19937 random(7);
  PixelStore store;
  PictureSize size;
  History history(store, size);
  std::vector<State> states{{store, size}};
  while (states.size() < 60) {
    Edit(random, store, size);
    if (history.Commit(store, size)) states.push_back({store, size});
  }
  ASSERT_EQ(history.UndoCount(), states.size() - 1);

  // Back to the start, then forward to the end, then back and forth in the middle.
  for (std::size_t i = states.size() - 1; i > 0; --i) {
    const HistoryStep* step = history.Undo(store);
    ASSERT_NE(step, nullptr);
    EXPECT_EQ(step->Before(), states[i - 1].size);
    EXPECT_EQ(step->After(), states[i].size);
    ASSERT_TRUE(SameState(store, step->Before(), states[i - 1])) << "undo to state " << i - 1;
    ASSERT_TRUE(SameState(history.Recorded(), history.RecordedSize(), states[i - 1]));
  }
  EXPECT_FALSE(history.CanUndo());
  EXPECT_EQ(history.Undo(store), nullptr);
  for (std::size_t i = 1; i < states.size(); ++i) {
    const HistoryStep* step = history.Redo(store);
    ASSERT_NE(step, nullptr);
    ASSERT_TRUE(SameState(store, step->After(), states[i])) << "redo to state " << i;
  }
  EXPECT_FALSE(history.CanRedo());
  EXPECT_EQ(history.Redo(store), nullptr);
  for (int i = 0; i < 10; ++i) history.Undo(store);
  history.Redo(store);
  EXPECT_TRUE(SameState(store, history.RecordedSize(), states[states.size() - 10]));
}

TEST(History, ANewEditAfterUndoClearsRedo) {
  PixelStore store;
  History history(store, {});
  store.Set(1, 1, 1);
  history.Commit(store, {});
  store.Set(2, 2, 1);
  history.Commit(store, {});
  history.Undo(store);
  ASSERT_TRUE(history.CanRedo());

  store.Set(3, 3, 1);
  ASSERT_TRUE(history.Commit(store, {}));
  EXPECT_FALSE(history.CanRedo());
  EXPECT_EQ(history.Redo(store), nullptr);
  EXPECT_EQ(store.Get(2, 2), 0);
  EXPECT_EQ(history.UndoCount(), 2u);
  history.Undo(store);
  history.Undo(store);
  EXPECT_EQ(store.Get(1, 1), 0);
  EXPECT_EQ(store.Get(3, 3), 0);
}

TEST(History, NothingChangedRecordsNoStep) {
  PixelStore store;
  store.Set(5, 5, 1);
  History history(store, {84, 48});
  store.Set(5, 5, 1);  // painting a set pixel again
  EXPECT_FALSE(history.Commit(store, {84, 48}));
  EXPECT_FALSE(history.CanUndo());
  EXPECT_FALSE(history.Modified());
  // A size alone is a step.
  EXPECT_TRUE(history.Commit(store, {88, 48}));
  EXPECT_TRUE(history.Modified());
}

TEST(History, KeepsTheLatestHundredSteps) {
  PixelStore store;
  History history(store, {});
  for (int i = 0; i < 150; ++i) {
    store.Set(i, 0, 1);
    ASSERT_TRUE(history.Commit(store, {}));
  }
  EXPECT_EQ(history.UndoCount(), History::kMaxSteps);
  for (std::size_t i = 0; i < History::kMaxSteps; ++i) ASSERT_NE(history.Undo(store), nullptr);
  EXPECT_FALSE(history.CanUndo());
  // Back at the state after the first 50 strokes: pixels 0..49 set, 50 on clear.
  EXPECT_EQ(store.Get(49, 0), 1);
  EXPECT_EQ(store.Get(50, 0), 0);
  EXPECT_EQ(history.RedoCount(), History::kMaxSteps);
}

TEST(History, AStepHoldsOnlyWhatChanged) {
  PixelStore store;
  History history(store, {320, 240});
  for (int x = 0; x < 10; ++x) store.Set(x, 3, 1);
  history.Commit(store, {320, 240});
  const std::size_t stroke = history.Bytes();
  EXPECT_LE(stroke, 200u);

  for (int x = 0; x < 320; ++x)
    for (int y = 0; y < 240; ++y) store.Set(x, y, 1);
  history.Commit(store, {320, 240});
  const std::size_t full = history.Bytes() - stroke;
  EXPECT_GE(full, 9600u);
  EXPECT_LE(full, 9800u);

  // 100 steps of the largest kind stay under a megabyte.
  for (int i = 0; i < 120; ++i) {
    for (int x = 0; x < 320; ++x)
      for (int y = 0; y < 240; ++y) store.Set(x, y, (x + y + i) % 2);
    history.Commit(store, {320, 240});
  }
  EXPECT_LT(history.Bytes(), 1000000u);
}

TEST(History, StepAreaAndPixels) {
  struct Case {
    std::vector<std::pair<int, int>> pixels;
    model::Rect area;
  };
  std::vector<std::pair<int, int>> many;
  for (int x = 10; x < 60; ++x)
    for (int y = 100; y < 160; ++y) many.emplace_back(x, y);
  const Case cases[] = {
      {{{3, 4}}, {3, 4, 4, 5}},
      {{{319, 239}, {0, 0}}, {0, 0, 320, 240}},
      {{{7, 200}, {9, 5}, {8, 6}}, {7, 5, 10, 201}},
      {many, {10, 100, 60, 160}},  // kept as one bit a pixel
  };
  for (const Case& tc : cases) {
    PixelStore store;
    History history(store, {320, 240});
    for (auto [x, y] : tc.pixels) store.Set(x, y, 1);
    history.Commit(store, {320, 240});
    const HistoryStep* step = history.Undo(store);
    ASSERT_NE(step, nullptr);
    EXPECT_EQ(step->Area(), tc.area);
    EXPECT_EQ(step->PixelCount(), tc.pixels.size());
    std::vector<std::pair<int, int>> seen;
    step->ForEachPixel([&](int x, int y) { seen.emplace_back(x, y); });
    std::vector<std::pair<int, int>> want = tc.pixels;
    std::sort(want.begin(), want.end());
    EXPECT_EQ(seen, want);
  }
}

TEST(History, ModifiedFollowsTheSavedState) {
  PixelStore store;
  History history(store, {});
  EXPECT_FALSE(history.Modified());
  store.Set(1, 1, 1);
  history.Commit(store, {});
  EXPECT_TRUE(history.Modified());
  history.Undo(store);
  EXPECT_FALSE(history.Modified()) << "back at the starting picture";
  history.Redo(store);
  history.MarkSaved();
  EXPECT_FALSE(history.Modified());
  history.Undo(store);
  EXPECT_TRUE(history.Modified());
  // A new branch from here never reaches the saved state again, even with the same pixels.
  store.Set(1, 1, 1);
  history.Commit(store, {});
  EXPECT_TRUE(history.Modified());

  // The saved state dropped off the far end of the history is gone for good.
  history.MarkSaved();
  for (std::size_t i = 0; i <= History::kMaxSteps; ++i) {
    store.Set(2, 2, static_cast<int>((i + 1) % 2));
    history.Commit(store, {});
  }
  while (history.CanUndo()) {
    history.Undo(store);
    EXPECT_TRUE(history.Modified());
  }
}

}  // namespace
