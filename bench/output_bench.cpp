// The output module on the largest picture: bytes and C text in every layout and the classic
// array text. Target: each well under 0.1 ms, far less than the array window needs to show the
// text; judged at the end. A file's text read back is timed too, with no target.
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/judged.h"
#include "model/array_text.h"
#include "model/output.h"

namespace {

constexpr double kTargetMicroseconds = 100;

void BM_Bytes320x240(benchmark::State& state) {
  const model::PixelStore store = judged::RandomPicture();
  const model::Layout layout = model::kLayouts[static_cast<std::size_t>(state.range(0))];
  state.SetLabel(std::string(model::LayoutName(layout)));
  for (auto _ : state) {
    std::vector<std::uint8_t> bytes = model::PackBytes(store, 320, 240, layout, false);
    benchmark::DoNotOptimize(bytes.data());
  }
}
BENCHMARK(BM_Bytes320x240)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);

void BM_CText320x240(benchmark::State& state) {
  const model::PixelStore store = judged::RandomPicture();
  model::OutputOptions options;
  options.layout = model::kLayouts[static_cast<std::size_t>(state.range(0))];
  state.SetLabel(std::string(model::LayoutName(options.layout)));
  for (auto _ : state) {
    std::string text = model::BuildOutputText(store, 320, 240, options);
    benchmark::DoNotOptimize(text.data());
  }
}
BENCHMARK(BM_CText320x240)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);

void BM_ArrayText320x240(benchmark::State& state) {
  const model::PixelStore store = judged::RandomPicture();
  for (auto _ : state) {
    std::string text = model::BuildArrayText(store, 320, 240);
    benchmark::DoNotOptimize(text.data());
  }
}
BENCHMARK(BM_ArrayText320x240)->Unit(benchmark::kMicrosecond);

void BM_ReadBack320x240(benchmark::State& state) {
  const std::string text = model::BuildFileText(judged::RandomPicture(), 320, 240, {});
  for (auto _ : state) {
    model::ParsedPicture parsed = model::ParseOutputText(text);
    benchmark::DoNotOptimize(parsed.bytes.data());
  }
}
BENCHMARK(BM_ReadBack320x240)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  return judged::RunAndJudge(argc, argv, [](const judged::Reporter& report) {
    for (const char* name : {"BM_Bytes320x240/0", "BM_Bytes320x240/1", "BM_Bytes320x240/2",
                             "BM_Bytes320x240/3", "BM_CText320x240/0", "BM_CText320x240/1",
                             "BM_CText320x240/2", "BM_CText320x240/3", "BM_ArrayText320x240"}) {
      judged::Judge(name, report.Time(name), kTargetMicroseconds, " us");
    }
    judged::Note("BM_ReadBack320x240", report.Time("BM_ReadBack320x240"), " us");
  });
}
