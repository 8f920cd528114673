// Turning a 320 x 240 scaled picture into black and white, each way: the threshold alone and the
// dithers. Target: Floyd-Steinberg under 1 ms, judged at the end.
#include <string>

#include <benchmark/benchmark.h>

#include "bench/judged.h"

#include "model/canvas.h"
#include "model/conversion.h"
#include "model/dither.h"

namespace {

// A photograph-like scratch raster: gradients in each channel with some noise.
model::Canvas Scratch() {
  model::Canvas canvas(320, 240);
  std::uint32_t noise = 1;
  for (int y = 0; y < 240; ++y)
    for (int x = 0; x < 320; ++x) {
      noise = noise * 1664525 + 1013904223;
      const auto n = static_cast<int>(noise >> 27);
      canvas.Row(y)[x] = model::Rgb(static_cast<std::uint8_t>((x * 255 / 319 + n) & 0xFF),
                                    static_cast<std::uint8_t>((y * 255 / 239 + n) & 0xFF),
                                    static_cast<std::uint8_t>((x + y) / 3)) |
                         model::Canvas::kOpaque;
    }
  return canvas;
}

void BM_Dither(benchmark::State& state) {
  const auto method = static_cast<model::Dither>(state.range(0));
  const model::Canvas scratch = Scratch();
  model::Canvas preview(320, 240);
  for (auto _ : state) {
    model::DitherInto(scratch, preview, 320, 240, model::kDefaultThreshold, false, method);
    benchmark::DoNotOptimize(preview.Bits());
    benchmark::ClobberMemory();
  }
  state.SetLabel(std::string(model::DitherName(method)));
  state.SetItemsProcessed(state.iterations() * 320 * 240);
}
BENCHMARK(BM_Dither)->DenseRange(0, 4)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  return judged::RunAndJudge(argc, argv, [](const judged::Reporter& report) {
    // The benchmark's argument is the method's value.
    const std::string name =
        "BM_Dither/" + std::to_string(static_cast<int>(model::Dither::kFloydSteinberg));
    judged::Judge(name + " (Floyd-Steinberg)", report.Time(name), 1000, " us");
  });
}
