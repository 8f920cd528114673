#include "model/array_text.h"

#include <cassert>

namespace model {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

std::uint8_t PageByte(const PixelStore& store, int x, int page) {
  // The eight rows of a page are adjacent in a column of the store.
  const std::uint8_t* column = store.Raw().data() + PixelStore::Index(x, page * 8);
  std::uint8_t byte = 0;
  for (int k = 0; k < 8; ++k) byte |= static_cast<std::uint8_t>(column[k] << k);
  return byte;
}

}  // namespace

std::string ByteToHex(std::uint8_t value) {
  return {kHexDigits[value >> 4], kHexDigits[value & 0x0F]};
}

int BytesPerLine(int width) {
  if (width % 12 == 0) return 12;
  if (width % 8 == 0) return 8;
  return 4;
}

std::string BuildArrayText(const PixelStore& store, int width, int height) {
  assert(width >= 4 && width <= PixelStore::kColumns && width % 4 == 0);
  assert(height >= 8 && height <= PixelStore::kRows && height % 8 == 0);
  const int count = width * height / 8;
  const int perLine = BytesPerLine(width);

  std::string text;
  // " 0xHH," per byte, CR LF and a space per line, plus the two short lines.
  text.reserve(static_cast<std::size_t>(count) * 6 + static_cast<std::size_t>(count / perLine) * 3 +
               64);
  text += "static const char lcd_image_mas[";
  text += std::to_string(count);
  text += "] =\r\n{";
  for (int page = 0; page < height / 8; ++page) {
    for (int x = 0, c = 1; x < width; ++x, ++c) {
      const std::uint8_t byte = PageByte(store, x, page);
      const char item[] = {' ', '0', 'x', kHexDigits[byte >> 4], kHexDigits[byte & 0x0F], ','};
      text.append(item, sizeof item);
      if (c % perLine == 0) text += "\r\n ";
    }
  }
  // The last page ends a line, so the text ends in ",\r\n ": drop those four characters.
  text.resize(text.size() - 4);
  text += "};";
  return text;
}

}  // namespace model
