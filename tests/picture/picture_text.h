#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "model/bitmap.h"
#include "picture/picture.h"
#include "tests/support/raster_text.h"

namespace pictest {

// The colours icons and metafiles are drawn with in the tests, and what a canvas holds before a
// picture is drawn on it.
inline constexpr model::Colour kRed = 0x0000FF;
inline constexpr model::Colour kGreen = 0x00FF00;
inline constexpr model::Colour kBlue = 0xFF0000;
inline constexpr model::Colour kStale = 0x808000;

// ' ' white, '#' black, 'r' red, 'g' green, 'b' blue, 's' stale.
inline testsupport::Legend PictureLegend() {
  return {{model::kWhite, ' '}, {model::kBlack, '#'}, {kRed, 'r'},
          {kGreen, 'g'},        {kBlue, 'b'},         {kStale, 's'}};
}

// Rows of characters for a bitmap; a colour not in `colours` prints as '?'.
inline std::vector<std::string> BitmapRows(const model::Bitmap& bitmap,
                                           const std::map<char, model::Colour>& colours) {
  std::vector<std::string> rows;
  for (int y = 0; y < bitmap.Height(); ++y) {
    rows.emplace_back();
    for (int x = 0; x < bitmap.Width(); ++x) {
      char c = '?';
      for (const auto& [ch, colour] : colours)
        if (colour == bitmap.Pixel(x, y)) c = ch;
      rows.back() += c;
    }
  }
  return rows;
}

// The message a decoder (DecodeIcon, DecodeWmf, ...) raises for `file`, or "(no error)".
template <typename Decoder>
std::string ErrorOf(Decoder decode, const std::vector<std::uint8_t>& file) {
  try {
    decode(file);
  } catch (const picture::LoadError& e) {
    return e.what();
  }
  return "(no error)";
}

}  // namespace pictest
