// Loading and drawing metafiles and icons into the 320 x 240 scratch raster: the time the import
// dialog's "Открыть" and "Преобразовать" spend on them. Target: every file loaded (or refused)
// and drawn within 1 s, judged at the end.

#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/judged.h"
#include "model/canvas.h"
#include "picture/metafile/emf_records.h"
#include "picture/picture.h"
#include "tests/picture/metafile_builder.h"

namespace {

namespace fs = std::filesystem;

// A page of a drawing: a title and nine lines of text, twenty-four shapes of every kind with pens
// of several widths and styles, solid and hatched brushes, mapped from hundredths of a millimetre
// as drawing programs write it.
mftest::Bytes TypicalPage() {
  using mftest::EmfBuilder;
  using namespace picture::emf;
  EmfBuilder emf(210, 150);
  emf.Record(kSetMapMode, {8}).Record(kSetWindowExtEx, {21000, 15000});  // anisotropic
  emf.Record(kSetViewportExtEx, {210, 150}).Record(kSetBkMode, {1});     // transparent text
  emf.Font(1, -600, "DejaVu Sans", 700).Font(2, -350, "DejaVu Serif");
  emf.Select(1)
      .Record(kSetTextColor, {0x202020})
      .Text(1000, 500, u"Quarterly layout of the front panel");
  emf.Select(2);
  for (int line = 0; line < 9; ++line) {
    emf.Text(1000, 1500 + line * 500,
             u"Line of body text with some words in it, number " +
                 std::u16string(1, static_cast<char16_t>(u'1' + line)));
  }
  const model::Colour colours[] = {0x3060C0, 0xE02020, 0x20A040, 0xF0C000, 0x8000FF, 0x606000};
  for (int i = 0; i < 24; ++i) {
    const int x = 1000 + (i % 6) * 3200;
    const int y = 7000 + (i / 6) * 2000;
    const std::uint32_t pen = 10 + static_cast<std::uint32_t>(i % 3);
    emf.Pen(pen, i % 4 == 3 ? 1u : 0x10000u, (i % 3) * 40, 0x000000).Select(pen);
    emf.Brush(20, i % 5 == 4 ? 2u : 0u, colours[i % 6], static_cast<std::uint32_t>(i % 6))
        .Select(20);
    switch (i % 6) {
      case 0:
        emf.Rectangle(x, y, x + 2800, y + 1600);
        break;
      case 1:
        emf.Ellipse(x, y, x + 2800, y + 1600);
        break;
      case 2:
        emf.Poly(kPolygon, {{x, y + 1600}, {x + 1400, y}, {x + 2800, y + 1600}});
        break;
      case 3:
        emf.Record(kRoundRect, {EmfBuilder::U(x), EmfBuilder::U(y), EmfBuilder::U(x + 2800),
                                EmfBuilder::U(y + 1600), 400, 400});
        break;
      case 4:
        emf.Record(kPie, {EmfBuilder::U(x), EmfBuilder::U(y), EmfBuilder::U(x + 2800),
                          EmfBuilder::U(y + 1600), EmfBuilder::U(x + 2800), EmfBuilder::U(y),
                          EmfBuilder::U(x), EmfBuilder::U(y)});
        break;
      default:
        emf.Poly(kPolyline,
                 {{x, y}, {x + 700, y + 1600}, {x + 1400, y}, {x + 2100, y + 1600}, {x + 2800, y}});
        break;
    }
  }
  return emf.Build();
}

std::string Write(const std::string& name, const mftest::Bytes& bytes) {
  const fs::path path = fs::temp_directory_path() / name;
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  return path.string();
}

void LoadAndDraw(benchmark::State& state, const std::string& path) {
  model::Canvas canvas(320, 240);
  for (auto _ : state) {
    const auto picture = picture::LoadPicture(path);
    picture->StretchDraw(canvas, {0, 0, 320, 240});
    benchmark::DoNotOptimize(canvas.Bits());
  }
  state.counters["bytes"] = static_cast<double>(fs::file_size(path));
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const std::string page = Write("dotwright-typical-page.emf", TypicalPage());
  std::vector<std::string> names{"LoadAndDraw/TypicalPage.emf"};
  benchmark::RegisterBenchmark(names.back().c_str(), LoadAndDraw, page)
      ->Unit(benchmark::kMillisecond);
  const fs::path data = DOTWRIGHT_TEST_DATA;
  for (const char* file : {"metafile/shapes.emf", "metafile/shapes.wmf", "metafile/mixed.emf",
                           "metafile/mixed.wmf", "icon/multi.ico", "icon/png256.ico"}) {
    if (!fs::exists(data / file)) continue;
    names.push_back(std::string("LoadAndDraw/") + file);
    benchmark::RegisterBenchmark(names.back().c_str(), LoadAndDraw, (data / file).string())
        ->Unit(benchmark::kMillisecond);
  }
  judged::RunAndJudge(argc, argv, [&](const judged::Reporter& report) {
    for (const std::string& name : names) judged::Judge(name, report.Time(name), 1000, " ms");
  });
  fs::remove(page);
  return 0;
}
