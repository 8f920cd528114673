// The output module on the largest picture: bytes and C text in every layout. Each should take
// well under 0.1 ms, far less than the array window needs to show the text.
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "model/output.h"

namespace {

model::PixelStore RandomPicture() {
  model::PixelStore store;
  std::mt19937 random(1);
  for (int x = 0; x < 320; ++x)
    for (int y = 0; y < 240; ++y) store.Set(x, y, random() & 1);
  return store;
}

void BM_Bytes320x240(benchmark::State& state) {
  const model::PixelStore store = RandomPicture();
  const model::Layout layout = model::kLayouts[static_cast<std::size_t>(state.range(0))];
  state.SetLabel(std::string(model::LayoutName(layout)));
  for (auto _ : state) {
    std::vector<std::uint8_t> bytes = model::PackBytes(store, 320, 240, layout, false);
    benchmark::DoNotOptimize(bytes.data());
  }
}
BENCHMARK(BM_Bytes320x240)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);

void BM_CText320x240(benchmark::State& state) {
  const model::PixelStore store = RandomPicture();
  model::OutputOptions options;
  options.layout = model::kLayouts[static_cast<std::size_t>(state.range(0))];
  state.SetLabel(std::string(model::LayoutName(options.layout)));
  for (auto _ : state) {
    std::string text = model::BuildOutputText(store, 320, 240, options);
    benchmark::DoNotOptimize(text.data());
  }
}
BENCHMARK(BM_CText320x240)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);

void BM_ReadBack320x240(benchmark::State& state) {
  const std::string text = model::BuildFileText(RandomPicture(), 320, 240, {});
  for (auto _ : state) {
    model::ParsedPicture parsed = model::ParseOutputText(text);
    benchmark::DoNotOptimize(parsed.bytes.data());
  }
}
BENCHMARK(BM_ReadBack320x240)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
