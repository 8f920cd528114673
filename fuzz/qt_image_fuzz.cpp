// Feeds arbitrary bytes to the decoders behind Qt's image readers, or to the SVG decoder (chosen
// when built: DOTWRIGHT_FUZZ_SVG), draws what decodes at two sizes and dithers it. For the raster
// kinds the first byte picks the reader. Anything but LoadError escaping, a sanitizer report, a
// hang or a large allocation is a finding.

#include <QBuffer>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImageReader>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <span>

#include "model/canvas.h"
#include "model/conversion.h"
#include "model/dither.h"
#include "picture/decoders.h"
#include "picture/picture.h"

namespace {

using Decoder = std::unique_ptr<picture::Picture> (*)(std::span<const std::uint8_t>);

#ifndef DOTWRIGHT_FUZZ_SVG
struct Raster {
  Decoder decode;
  const char* format;  // Qt's reader
};

constexpr Raster kRasters[] = {
    {picture::DecodePng, "png"},   {picture::DecodeJpeg, "jpeg"}, {picture::DecodeGif, "gif"},
    {picture::DecodeWebp, "webp"}, {picture::DecodeTiff, "tiff"}, {picture::DecodeTga, "tga"},
    {picture::DecodePbm, "pbm"},   {picture::DecodePgm, "pgm"},   {picture::DecodePpm, "ppm"},
    {picture::DecodeXbm, "xbm"},
};

// Pictures claiming more than 4 megapixels are left out: they are allowed up to 100 and only
// slow (a few bytes can claim a picture that takes seconds to fill), and the tests hold the
// limit.
bool ClaimsTooMuch(std::span<const std::uint8_t> bytes, const char* format) {
  const QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()),
                                                  static_cast<qsizetype>(bytes.size()));
  QBuffer buffer;
  buffer.setData(data);
  buffer.open(QIODevice::ReadOnly);
  const QSize size = QImageReader(&buffer, format).size();
  return size.isValid() && std::int64_t{size.width()} * size.height() > 4'000'000;
}
#endif

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  // SVG text needs the font database, which needs a GUI application.
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static QGuiApplication app(*argc, *argv);
  // Load the font database once, so that its caches are not taken for growth.
  QFontDatabase::families();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::span<const std::uint8_t> bytes(data, size);
#ifdef DOTWRIGHT_FUZZ_SVG
  const Decoder decode = picture::DecodeSvg;
  const std::uint8_t choice = size > 0 ? data[size - 1] : 0;
#else
  if (bytes.empty()) return 0;
  const std::uint8_t choice = bytes[0];
  const Raster& raster = kRasters[choice % std::size(kRasters)];
  const Decoder decode = raster.decode;
  bytes = bytes.subspan(1);
  if (ClaimsTooMuch(bytes, raster.format)) return 0;
#endif
  try {
    const auto picture = decode(bytes);
    model::Canvas scratch(96, 64);
    picture->StretchDraw(scratch, {0, 0, 96, 64});
    picture->StretchDraw(scratch, {-7, 50, 20, 300});
    if (picture->Empty() != (picture->Width() <= 0 || picture->Height() <= 0)) __builtin_trap();
    for (int i = 0; i < 96 * 64; ++i) {
      if (scratch.Bits()[i] >> 24 != 0xFF) __builtin_trap();
    }
    model::Canvas preview(96, 64);
    const model::Dither method = model::kDithers[choice / 16 % std::size(model::kDithers)];
    model::DitherInto(scratch, preview, 96, 64, model::kDefaultThreshold, choice & 1, method);
    for (int i = 0; i < 96 * 64; ++i) {
      const std::uint32_t word = preview.Bits()[i] & 0xFFFFFF;
      if (word != model::kBlack && word != model::kWhite) __builtin_trap();
    }
  } catch (const picture::LoadError&) {
  }
  return 0;
}
