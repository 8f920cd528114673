// Undo and redo timings, and the memory the history holds.
//
// Targets, judged at the end: an undo of a stroke over the whole 320 x 240 picture, with the
// repaint of its cells on the board surface, under 2 ms at every scale; 100 steps of single
// strokes holding under 1 MB (the counter "bytes").
#include <string>

#include <benchmark/benchmark.h>

#include "bench/judged.h"

#include "board/board.h"
#include "board/painting.h"
#include "model/history.h"

namespace {

// A board of the whole picture at `scale`, drawn, with one recorded step that sets every pixel.
struct FullStroke {
  explicit FullStroke(int scale)
      : geometry{static_cast<std::uint8_t>(scale), 320, 240},
        surface(board::kSurfaceWidth, board::kSurfaceHeight),
        history(store, {320, 240}) {
    board::DrawBoard(surface, store, geometry, 0xF0F0F0);
    board::PaintState paint;
    const int s = scale;
    // A zig-zag drag over every row of cells: one stroke that sets all 76800 pixels.
    board::MouseDown(paint, board::MouseButton::Left, 0, 0, store, geometry, surface);
    for (int row = 0; row < 240; ++row) {
      const int x = row % 2 == 0 ? 320 * s - 1 : 0;
      board::MouseMove(paint, x, row * s, store, geometry, surface);
      if (row + 1 < 240) board::MouseMove(paint, x, (row + 1) * s, store, geometry, surface);
    }
    board::MouseUp(paint);
    history.Commit(store, {320, 240});
  }

  model::BoardGeometry geometry;
  model::PixelStore store;
  model::PaletteCanvas surface;
  model::History history;
};

void BM_UndoRedoFullStroke(benchmark::State& state) {
  FullStroke board(static_cast<int>(state.range(0)));
  if (board.history.Recorded().Raw() != board.store.Raw() || !board.history.CanUndo()) {
    state.SkipWithError("the stroke did not cover the picture");
    return;
  }
  bool undo = true;
  for (auto _ : state) {
    const model::HistoryStep* step =
        undo ? board.history.Undo(board.store) : board.history.Redo(board.store);
    board::RepaintStep(board.surface, board.store, board.geometry, *step);
    benchmark::DoNotOptimize(board.surface.Row(0));
    benchmark::ClobberMemory();
    undo = !undo;
  }
  state.counters["pixels"] = 76800;
}
BENCHMARK(BM_UndoRedoFullStroke)->Arg(1)->Arg(2)->Arg(4)->Arg(8)->Unit(benchmark::kMillisecond);

// Records 100 steps, each made by edit(i, store), and reports the memory they hold.
template <class Edit>
void HundredSteps(benchmark::State& state, Edit edit) {
  std::size_t bytes = 0;
  for (auto _ : state) {
    model::PixelStore store;
    model::History history(store, {320, 240});
    for (int i = 0; i < 100; ++i) {
      edit(i, store);
      history.Commit(store, {320, 240});
    }
    bytes = history.Bytes();
    benchmark::DoNotOptimize(bytes);
  }
  state.counters["bytes"] = static_cast<double>(bytes);
}

// 100 strokes, each a drag across ten cells of its own row.
void BM_HundredStrokeSteps(benchmark::State& state) {
  HundredSteps(state, [](int i, model::PixelStore& store) {
    for (int x = 0; x < 10; ++x) store.Set(x + i, i, 1);
  });
}
BENCHMARK(BM_HundredStrokeSteps)->Unit(benchmark::kMillisecond);

// The worst case: 100 steps that each flip every pixel ("Новый" after a picture imported over
// the whole of the largest size, and so on).
void BM_HundredFullSteps(benchmark::State& state) {
  HundredSteps(state, [](int i, model::PixelStore& store) {
    for (int x = 0; x < 320; ++x)
      for (int y = 0; y < 240; ++y) store.Set(x, y, (i + 1) % 2);
  });
}
BENCHMARK(BM_HundredFullSteps)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return judged::RunAndJudge(argc, argv, [](const judged::Reporter& report) {
    for (const char* scale : {"1", "2", "4", "8"}) {
      const std::string name = std::string("BM_UndoRedoFullStroke/") + scale;
      judged::Judge(name, report.Time(name), 2, " ms");
    }
    judged::Judge("BM_HundredStrokeSteps bytes",
                  report.Counter("BM_HundredStrokeSteps", "bytes") / (1 << 20), 1, " MB");
  });
}
