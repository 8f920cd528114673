// Board redraw and array text timings. The full redraw of the largest board is judged against one
// std::fill of a 2560 x 1920 raster of four-byte pixels (model::Canvas, on the same raster
// allocator) in the same run: target at most 0.5 times as long. It is timed twice: on a surface
// the previous round left in the caches, and with the caches flushed before every round; the
// ratios are printed at the end.
#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "board/board.h"
#include "model/array_text.h"
#include "model/canvas.h"
#include "model/palette_canvas.h"

namespace {

model::PixelStore RandomPicture() {
  model::PixelStore store;
  std::mt19937 random(1);
  for (int x = 0; x < 320; ++x)
    for (int y = 0; y < 240; ++y) store.Set(x, y, random() & 1);
  return store;
}

// Writes and reads a buffer far larger than the last-level cache, outside the timing, so that
// the next round starts with nothing of the raster cached.
void FlushCaches(benchmark::State& state) {
  static std::vector<unsigned char> buffer(std::size_t{128} << 20);
  state.PauseTiming();
  static unsigned char round = 0;
  std::fill(buffer.begin(), buffer.end(), ++round);
  benchmark::DoNotOptimize(buffer.data());
  benchmark::ClobberMemory();
  state.ResumeTiming();
}

void FillWholeSurface(benchmark::State& state, bool flush) {
  model::Canvas surface(board::kSurfaceWidth, board::kSurfaceHeight);
  std::uint32_t word = 0;
  for (auto _ : state) {
    if (flush) FlushCaches(state);
    std::fill(surface.Bits(), surface.Bits() + board::kSurfaceWidth * board::kSurfaceHeight,
              ++word);
    benchmark::DoNotOptimize(surface.Bits());
    benchmark::ClobberMemory();
  }
}

void FullRedraw320x240Scale8(benchmark::State& state, bool flush) {
  const model::PixelStore store = RandomPicture();
  model::PaletteCanvas surface(board::kSurfaceWidth, board::kSurfaceHeight);
  const model::BoardGeometry geometry{8, 320, 240};
  for (auto _ : state) {
    if (flush) FlushCaches(state);
    board::DrawBoard(surface, store, geometry, 0xF0F0F0);
    benchmark::DoNotOptimize(surface.Bits());
    benchmark::ClobberMemory();
  }
}

void BM_FillWholeSurface(benchmark::State& state) {
  FillWholeSurface(state, false);
}
BENCHMARK(BM_FillWholeSurface)->Unit(benchmark::kMillisecond);

void BM_FullRedraw320x240Scale8(benchmark::State& state) {
  FullRedraw320x240Scale8(state, false);
}
BENCHMARK(BM_FullRedraw320x240Scale8)->Unit(benchmark::kMillisecond);

void BM_FillWholeSurfaceCold(benchmark::State& state) {
  FillWholeSurface(state, true);
}
BENCHMARK(BM_FillWholeSurfaceCold)->Unit(benchmark::kMillisecond);

void BM_FullRedraw320x240Scale8Cold(benchmark::State& state) {
  FullRedraw320x240Scale8(state, true);
}
BENCHMARK(BM_FullRedraw320x240Scale8Cold)->Unit(benchmark::kMillisecond);

void BM_ArrayText320x240(benchmark::State& state) {
  const model::PixelStore store = RandomPicture();
  for (auto _ : state) {
    std::string text = model::BuildArrayText(store, 320, 240);
    benchmark::DoNotOptimize(text.data());
  }
}
BENCHMARK(BM_ArrayText320x240)->Unit(benchmark::kMicrosecond);

// The console report, keeping each benchmark's time a round for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    // A round's time, the median one when the benchmark was repeated (all in milliseconds).
    for (const Run& run : runs) {
      const std::string name = run.run_name.str();
      if (run.run_type == Run::RT_Aggregate) {
        if (run.aggregate_name == "median") times[name] = run.GetAdjustedRealTime();
      } else if (run.iterations > 0 && !times.count(name)) {
        times[name] = run.GetAdjustedRealTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  const auto ratio = [&](const char* redraw, const char* fill, const char* what) {
    const auto r = reporter.times.find(redraw);
    const auto f = reporter.times.find(fill);
    if (r == reporter.times.end() || f == reporter.times.end() || f->second <= 0) return;
    const double value = r->second / f->second;
    std::printf(
        "full redraw 320x240x8 / one fill of 2560x1920x4 bytes, %s: %.2f (target <= 0.50): %s\n",
        what, value, value <= 0.5 ? "met" : "MISSED");
  };
  ratio("BM_FullRedraw320x240Scale8", "BM_FillWholeSurface", "cache-warm");
  ratio("BM_FullRedraw320x240Scale8Cold", "BM_FillWholeSurfaceCold", "caches flushed");
  return 0;
}
