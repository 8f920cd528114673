#include "tests/picture/bmp_builder.h"

#include <algorithm>

namespace bmptest {
namespace {

void Put16(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
  out[at] = v & 0xFF;
  out[at + 1] = (v >> 8) & 0xFF;
}
void Put32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
  Put16(out, at, v & 0xFFFF);
  Put16(out, at + 2, v >> 16);
}

}  // namespace

std::uint32_t Stored(model::Colour c) {
  return std::uint32_t{model::RedOf(c)} << 16 | std::uint32_t{model::GreenOf(c)} << 8 |
         model::BlueOf(c);
}

std::vector<std::uint8_t> BuildBmp(const BmpSpec& spec) {
  const bool core = spec.headerSize == 12;
  const std::size_t masksAfter = spec.headerSize == 40 ? spec.masks.size() * 4 : 0;
  const std::size_t entry = core ? 3 : 4;
  const std::size_t tableAt = 14 + spec.headerSize + masksAfter;
  const std::size_t bitsAt = tableAt + spec.palette.size() * entry + spec.gap;

  std::vector<std::uint8_t> out(std::max<std::size_t>(bitsAt, 14 + 56), 0);
  out[0] = 'B';
  out[1] = 'M';
  Put32(out, 14, spec.headerSize);
  if (core) {
    Put16(out, 18, static_cast<std::uint32_t>(spec.width));
    Put16(out, 20, static_cast<std::uint32_t>(spec.height));
    Put16(out, 22, spec.planes);
    Put16(out, 24, spec.bitCount);
  } else {
    Put32(out, 18, static_cast<std::uint32_t>(spec.width));
    Put32(out, 22, static_cast<std::uint32_t>(spec.height));
    Put16(out, 26, spec.planes);
    Put16(out, 28, spec.bitCount);
    Put32(out, 30, spec.compression);
    Put32(out, 34, spec.sizeImage);
    Put32(out, 46, spec.colorsUsed.value_or(static_cast<std::uint32_t>(spec.palette.size())));
    // Fields beyond the header's size are cut off below.
    for (std::size_t i = 0; i < spec.masks.size(); ++i) Put32(out, 14 + 40 + 4 * i, spec.masks[i]);
  }
  // Whatever was written past the header and its masks is not part of the file.
  std::fill(out.begin() + static_cast<std::ptrdiff_t>(std::min(tableAt, out.size())), out.end(), 0);
  out.resize(bitsAt);
  for (std::size_t i = 0; i < spec.palette.size(); ++i) {
    const model::Colour c = spec.palette[i];
    out[tableAt + i * entry] = model::BlueOf(c);
    out[tableAt + i * entry + 1] = model::GreenOf(c);
    out[tableAt + i * entry + 2] = model::RedOf(c);
  }
  out.insert(out.end(), spec.bits.begin(), spec.bits.end());
  Put32(out, 10, spec.bitsOffset.value_or(static_cast<std::uint32_t>(bitsAt)));
  Put32(out, 2, spec.fileSize.value_or(static_cast<std::uint32_t>(out.size())));
  return out;
}

std::vector<std::uint8_t> PackRows(const std::vector<std::vector<std::uint32_t>>& rows,
                                   int bitCount, bool topDown) {
  std::vector<std::uint8_t> out;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const auto& row = rows[topDown ? i : rows.size() - 1 - i];
    std::vector<std::uint8_t> bytes((row.size() * bitCount + 31) / 32 * 4, 0);
    for (std::size_t x = 0; x < row.size(); ++x) {
      if (bitCount < 8) {
        const std::size_t bit = x * bitCount;
        bytes[bit / 8] |= static_cast<std::uint8_t>(row[x] << (8 - bitCount - bit % 8));
      } else {
        for (int b = 0; b < bitCount / 8; ++b)
          bytes[x * (bitCount / 8) + b] = static_cast<std::uint8_t>(row[x] >> (8 * b));
      }
    }
    out.insert(out.end(), bytes.begin(), bytes.end());
  }
  return out;
}

std::vector<std::uint8_t> Bmp24(int w, int h,
                                const std::function<model::Colour(int, int)>& colour) {
  std::vector<std::vector<std::uint32_t>> rows(h, std::vector<std::uint32_t>(w));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) rows[y][x] = Stored(colour(x, y));
  BmpSpec spec;
  spec.width = w;
  spec.height = h;
  spec.bitCount = 24;
  spec.bits = PackRows(rows, 24);
  return BuildBmp(spec);
}

}  // namespace bmptest
