#include "picture/metafile/record_dib.h"

#include <algorithm>
#include <array>
#include <memory>
#include <utility>

#include "picture/dib.h"
#include "picture/picture.h"

namespace picture::metafile {

namespace {

// The colours of the default palette's first sixteen entries, for bitmaps whose colour table
// holds palette indices.
constexpr model::Colour kDefaultPalette[16] = {
    0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080, 0x808000, 0xC0C0C0,
    0x808080, 0x0000FF, 0x00FF00, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF};

// The header, masks and colour table of a DIB take at most this many bytes (a 124-byte header,
// masks and 256 entries of 4 bytes): ParseInfo reads no further.
constexpr std::size_t kInfoBytes = 2048;

// The first bytes of `part`, up to kInfoBytes: where they are for a source in memory, else read
// into `scratch`. Fewer where the source no longer has them.
std::span<const std::uint8_t> InfoBytes(const Extent& part,
                                        std::array<std::uint8_t, kInfoBytes>& scratch) {
  const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(part.size, kInfoBytes));
  const std::span<const std::uint8_t> memory = part.source->Memory();
  if (!memory.empty()) return memory.subspan(static_cast<std::size_t>(part.offset), n);
  return {scratch.data(), part.source->Read(part.offset, {scratch.data(), n})};
}

// The bits of `part`: where they are for a source in memory, else read as they are decoded
// (bits the source no longer has decode as zero bytes, as bits cut short do).
dib::BitsReader BitsOf(const Extent& part) {
  const std::span<const std::uint8_t> memory = part.source->Memory();
  if (!memory.empty()) {
    return dib::BitsReader(
        memory.subspan(static_cast<std::size_t>(part.offset), static_cast<std::size_t>(part.size)));
  }
  return dib::BitsReader(
      [part](std::uint64_t offset, std::span<const dib::BitsReader::Part> parts) {
        std::size_t done = 0;
        for (const auto& p : parts) {
          if (offset + done >= part.size) break;
          const auto wanted =
              static_cast<std::size_t>(std::min<std::uint64_t>(p.size, part.size - offset - done));
          const std::size_t n = part.source->Read(part.offset + offset + done, {p.data, wanted});
          done += n;
          if (n < p.size) break;
        }
        return done;
      });
}

Dib Decode(const dib::Info& parsed, const Extent& bits, Budget& budget) {
  dib::Info info = parsed;
  const std::int64_t pixels = std::int64_t{info.width} * info.height;
  // Unlike a bitmap file, a record whose bitmap is cut short is malformed: it is left out rather
  // than decoded into a large picture of zeros.
  if (info.RunLength()
          ? pixels > kMaxRunLengthPixels
          : static_cast<std::uint64_t>(info.Stride()) * static_cast<std::uint64_t>(info.height) >
                bits.size) {
    return {};
  }
  if (!budget.TakeBitmapPixels(pixels)) return {};
  if (info.colours == dib::ColourUse::kPaletteIndices) {
    for (int i = 0; i < info.paletteSize; ++i)
      info.palette[i] = kDefaultPalette[info.palette[i] % 16];
  }
  // The decoded pixels become the image's where they are, turned into its format, so that a
  // large bitmap is held once rather than twice: the image owns the bitmap from then on.
  dib::BitsReader reader = BitsOf(bits);
  auto bitmap = std::make_unique<model::Bitmap>(dib::DecodeColourRows(info, reader));
  const int width = bitmap->Width();
  const int height = bitmap->Height();
  if (width <= 0 || height <= 0) return {};
  for (int y = 0; y < height; ++y) {
    model::Colour* row = bitmap->Row(y);
    for (int x = 0; x < width; ++x) {
      row[x] = qRgb(model::RedOf(row[x]), model::GreenOf(row[x]), model::BlueOf(row[x]));
    }
  }
  const bool twoColour = bitmap->TwoColour();
  const QImage image(
      reinterpret_cast<uchar*>(bitmap->Row(0)), width, height, static_cast<qsizetype>(width) * 4,
      QImage::Format_RGB32, [](void* owned) { delete static_cast<model::Bitmap*>(owned); },
      bitmap.get());
  if (image.isNull()) return {};
  bitmap.release();
  return {image, twoColour, !info.topDown};
}

dib::Options RecordOptions(bool paletteIndices) {
  dib::Options options;
  options.colours = paletteIndices ? dib::ColourUse::kPaletteIndices : dib::ColourUse::kRgb;
  return options;
}

}  // namespace

Dib DibImage(const Extent& info, const Extent& bits, bool paletteIndices, Budget& budget) {
  try {
    std::array<std::uint8_t, kInfoBytes> scratch;
    return Decode(dib::ParseInfo(InfoBytes(info, scratch), RecordOptions(paletteIndices)), bits,
                  budget);
  } catch (const LoadError&) {
    return {};  // a bitmap that cannot be read is left out; the rest of the picture stands
  }
}

Dib PackedDibImage(const Extent& packed, bool paletteIndices, Budget& budget) {
  try {
    std::array<std::uint8_t, kInfoBytes> scratch;
    const dib::Info info =
        dib::ParseInfo(InfoBytes(packed, scratch), RecordOptions(paletteIndices));
    if (info.tableEnd > packed.size) return {};
    return Decode(info, {packed.source, packed.offset + info.tableEnd, packed.size - info.tableEnd},
                  budget);
  } catch (const LoadError&) {
    return {};
  }
}

QImage SourcePart(const Dib& dib, int x, int y, int width, int height) {
  if (dib.image.isNull()) return {};
  // In 64 bits: the record's values may be anything.
  std::int64_t left = x;
  std::int64_t top = y;
  std::int64_t w = width;
  std::int64_t h = height;
  if (w < 0) {
    left += w;
    w = -w;
  }
  if (h < 0) {
    top += h;
    h = -h;
  }
  // A bottom-up bitmap counts source rows from its bottom edge.
  if (dib.bottomUp) top = dib.image.height() - (top + h);
  const std::int64_t right = std::min<std::int64_t>(left + w, dib.image.width());
  const std::int64_t bottom = std::min<std::int64_t>(top + h, dib.image.height());
  left = std::max<std::int64_t>(left, 0);
  top = std::max<std::int64_t>(top, 0);
  if (right <= left || bottom <= top) return {};
  const QRect part(static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left),
                   static_cast<int>(bottom - top));
  if (part == dib.image.rect()) return dib.image;
  // The part is read where it is, not copied: a view of the bitmap's rows that keeps the bitmap
  // for as long as it lives.
  const auto* whole = new QImage(dib.image);
  const QImage view(
      whole->constBits() + part.top() * whole->bytesPerLine() + part.left() * (whole->depth() / 8),
      part.width(), part.height(), whole->bytesPerLine(), whole->format(),
      [](void* kept) { delete static_cast<QImage*>(kept); }, const_cast<QImage*>(whole));
  if (view.isNull()) {
    delete whole;
    return dib.image.copy(part);
  }
  return view;
}

}  // namespace picture::metafile
