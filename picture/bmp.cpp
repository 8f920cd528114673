#include "picture/bmp.h"

#include <algorithm>

#include "picture/dib.h"
#include "picture/picture.h"

namespace picture {

namespace {

constexpr std::size_t kFileHeaderSize = 14;
// The file header and as much as ParseInfo ever reads: the largest header, its masks and a colour
// table of 256 four-byte entries take under 1.2 kB.
constexpr std::size_t kHeadBytes = kFileHeaderSize + 2048;

}  // namespace

model::Bitmap DecodeBmp(std::span<const std::uint8_t> file) {
  dib::BitsReader reader(file);
  return DecodeBmp(file.size(), reader);
}

model::Bitmap DecodeBmp(std::uint64_t fileSize, dib::BitsReader& file) {
  const std::size_t wanted =
      static_cast<std::size_t>(std::min<std::uint64_t>(fileSize, kHeadBytes));
  const std::span<const std::uint8_t> head = file.Peek(wanted);
  // A file that ends sooner than its size said is as long as it is.
  const std::uint64_t size = head.size() < wanted ? head.size() : fileSize;
  if (size == 0) return {};
  if (size < kFileHeaderSize) throw LoadError(dib::kStreamReadError);
  if (head[0] != 'B' || head[1] != 'M') throw LoadError(dib::kNotValid);
  const std::uint64_t bitsOffset = std::uint64_t{head[10]} | std::uint64_t{head[11]} << 8 |
                                   std::uint64_t{head[12]} << 16 | std::uint64_t{head[13]} << 24;

  dib::Options options;
  // An offset inside the file header is inside the headers all the same.
  options.bitsOffset = bitsOffset >= kFileHeaderSize ? bitsOffset - kFileHeaderSize : 0;
  // The head is the whole file or holds all that ParseInfo reads, so it fails alike on both.
  const dib::Info info = dib::ParseInfo(head.subspan(kFileHeaderSize), options);
  if (bitsOffset > size) throw LoadError(dib::kNotValid);
  file.Skip(bitsOffset);
  // A file cut shorter since its headers were read ends where the reads find it ending, as a file
  // of that length would; one that lost the bits it had when opened is a read error.
  if (size > bitsOffset && file.Peek(1).empty()) throw LoadError(dib::kStreamReadError);

  model::Bitmap bitmap;
  if (info.RunLength()) {
    bitmap = model::Bitmap(info.width, info.height, info.palette[0]);
  } else {
    // Only the rows the bits reach are kept; the rest would decode from zero bytes.
    const std::uint64_t rows = (size - bitsOffset + info.Stride() - 1) / info.Stride();
    const int kept = static_cast<int>(std::min<std::uint64_t>(rows, info.height));
    bitmap = model::Bitmap::Partial(info.width, info.height, info.topDown ? 0 : info.height - kept,
                                    kept, dib::ZeroPixel(info));
  }
  dib::DecodeColours(info, file, bitmap);
  bitmap.SetTwoColour(info.bitCount == 1);
  return bitmap;
}

}  // namespace picture
