// Board redraw and array text timings. The redraw is compared with one std::fill of the whole
// surface in the same run: the redraw should take at most three times as long.
#include <algorithm>
#include <random>

#include <benchmark/benchmark.h>

#include "board/board.h"
#include "model/array_text.h"

namespace {

model::PixelStore RandomPicture() {
  model::PixelStore store;
  std::mt19937 random(1);
  for (int x = 0; x < 320; ++x)
    for (int y = 0; y < 240; ++y) store.Set(x, y, random() & 1);
  return store;
}

void BM_FillWholeSurface(benchmark::State& state) {
  model::Canvas surface(board::kSurfaceWidth, board::kSurfaceHeight);
  std::uint32_t word = 0;
  for (auto _ : state) {
    std::fill(surface.Bits(), surface.Bits() + board::kSurfaceWidth * board::kSurfaceHeight,
              ++word);
    benchmark::DoNotOptimize(surface.Bits());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_FillWholeSurface)->Unit(benchmark::kMillisecond);

void BM_FullRedraw320x240Scale8(benchmark::State& state) {
  const model::PixelStore store = RandomPicture();
  model::Canvas surface(board::kSurfaceWidth, board::kSurfaceHeight);
  const model::BoardGeometry geometry{8, 320, 240};
  for (auto _ : state) {
    board::DrawBoard(surface, store, geometry, 0xF0F0F0);
    benchmark::DoNotOptimize(surface.Bits());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_FullRedraw320x240Scale8)->Unit(benchmark::kMillisecond);

void BM_ArrayText320x240(benchmark::State& state) {
  const model::PixelStore store = RandomPicture();
  for (auto _ : state) {
    std::string text = model::BuildArrayText(store, 320, 240);
    benchmark::DoNotOptimize(text.data());
  }
}
BENCHMARK(BM_ArrayText320x240)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
