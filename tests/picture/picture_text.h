#pragma once

#include <map>
#include <string>
#include <vector>

#include "model/conversion.h"

namespace pictest {

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

}  // namespace pictest
