// Feeds arbitrary bytes to the icon, WMF or EMF decoder (chosen when built: DOTWRIGHT_FUZZ_KIND)
// and draws what decodes at two sizes. Anything but LoadError escaping, a sanitizer report, a
// hang or a large allocation is a finding.

#include <QFontDatabase>
#include <QGuiApplication>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>

#include "model/canvas.h"
#include "picture/decoders.h"
#include "picture/picture.h"

namespace {

std::unique_ptr<picture::Picture> Decode(std::span<const std::uint8_t> data) {
#if DOTWRIGHT_FUZZ_KIND == 1
  return picture::DecodeIcon(data);
#elif DOTWRIGHT_FUZZ_KIND == 2
  return picture::DecodeWmf(data);
#else
  return picture::DecodeEmf(data);
#endif
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  // Text needs the font database, which needs a GUI application.
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static QGuiApplication app(*argc, *argv);
  // Load the font database once, so that its caches are not taken for growth.
  QFontDatabase::families();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    const auto picture = Decode({data, size});
    model::Canvas canvas(96, 64);
    picture->StretchDraw(canvas, {0, 0, 96, 64});
    picture->StretchDraw(canvas, {-7, 50, 20, 300});
    if (picture->Empty() != (picture->Width() <= 0 || picture->Height() <= 0)) __builtin_trap();
    for (int i = 0; i < 96 * 64; ++i) {
      if (canvas.Bits()[i] >> 24 != 0xFF) __builtin_trap();
    }
  } catch (const picture::LoadError&) {
  }
  return 0;
}
