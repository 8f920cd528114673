// A 12-megapixel JPEG (4000 x 3000) opened with "Открыть" and shown in the import dialog's source
// view at 84 x 48, side by side with Qt alone: QImage(path) and a scaled draw of it to the same
// size, both reading the same file. Target: the dialog within 1.2 times Qt's time, judged at the
// end.
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <optional>

#include <benchmark/benchmark.h>

#include "bench/judged.h"
#include "picture/picture.h"
#include "windows/AddImage.h"
#include "windows/Forms.h"
#include "windows/RasterImage.h"

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

// The photograph: smooth gradients with grain, saved once at quality 90.
const QString& JpegPath() {
  static QTemporaryDir dir;
  static const QString path = [] {
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    std::uint32_t noise = 1;
    for (int y = 0; y < kHeight; ++y) {
      auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
      for (int x = 0; x < kWidth; ++x) {
        noise = noise * 1664525 + 1013904223;
        const int n = static_cast<int>(noise >> 28);
        row[x] = qRgb((x * 255 / kWidth + n) & 0xFF, (y * 255 / kHeight + n) & 0xFF,
                      ((x + y) / 28) & 0xFF);
      }
    }
    const QString file = dir.filePath("photo.jpg");
    image.save(file, "jpeg", 90);
    return file;
  }();
  return path;
}

void BM_QtReadAndScaledDraw(benchmark::State& state) {
  const QString& path = JpegPath();
  QImage target(84, 48, QImage::Format_RGB32);
  for (auto _ : state) {
    const QImage image(path);
    QPainter painter(&target);
    painter.drawImage(QRect(0, 0, 84, 48), image);
    painter.end();
    benchmark::DoNotOptimize(target.constBits());
  }
}
BENCHMARK(BM_QtReadAndScaledDraw)->Unit(benchmark::kMillisecond)->UseRealTime();

// The loader alone, for the share of the dialog's time it takes.
void BM_LoadPicture(benchmark::State& state) {
  const std::string path = JpegPath().toStdString();
  for (auto _ : state) benchmark::DoNotOptimize(picture::LoadPicture(path));
}
BENCHMARK(BM_LoadPicture)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DialogOpenAndShow(benchmark::State& state) {
  const QString& path = JpegPath();
  TForm_AddImage* d = Form_AddImage;
  d->ChooseFile = [&path]() -> std::optional<QString> { return path; };
  for (auto _ : state) {
    d->BitBtn1Click();
    // Paints the source view as the screen would: the picture stretched to the view.
    benchmark::DoNotOptimize(d->Image1->grab());
  }
}
BENCHMARK(BM_DialogOpenAndShow)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  CreateForms();
  CreateDialogs();
  judged::RunAndJudge(argc, argv, [](const judged::Reporter& report) {
    judged::JudgeRatio(report, "dialog / Qt alone", "BM_DialogOpenAndShow",
                       "BM_QtReadAndScaledDraw", 1.2);
  });
  DestroyForms();
  return 0;
}
