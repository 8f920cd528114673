#include "picture/bmp.h"

#include "picture/dib.h"
#include "picture/picture.h"

namespace picture {

model::Bitmap DecodeBmp(std::span<const std::uint8_t> file) {
  constexpr std::size_t kFileHeaderSize = 14;
  if (file.empty()) return {};
  if (file.size() < kFileHeaderSize) throw LoadError(dib::kStreamReadError);
  if (file[0] != 'B' || file[1] != 'M') throw LoadError(dib::kNotValid);
  const std::uint64_t bitsOffset = std::uint64_t{file[10]} | std::uint64_t{file[11]} << 8 |
                                   std::uint64_t{file[12]} << 16 | std::uint64_t{file[13]} << 24;

  dib::Options options;
  // An offset inside the file header is inside the headers all the same.
  options.bitsOffset = bitsOffset >= kFileHeaderSize ? bitsOffset - kFileHeaderSize : 0;
  const dib::Info info = dib::ParseInfo(file.subspan(kFileHeaderSize), options);
  if (bitsOffset > file.size()) throw LoadError(dib::kNotValid);
  return dib::DecodeBits(info, file.subspan(static_cast<std::size_t>(bitsOffset))).bitmap;
}

}  // namespace picture
