#include <QImage>
#include <QPainter>
#include <algorithm>
#include <vector>

#include "picture/bitmap_picture.h"
#include "picture/decoders.h"
#include "picture/dib.h"
#include "picture/metafile_records.h"

namespace picture {

namespace metafile {

namespace {

// The colours of the default palette's first sixteen entries, for bitmaps whose colour table
// holds palette indices.
constexpr model::Colour kDefaultPalette[16] = {
    0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080, 0x808000, 0xC0C0C0,
    0x808080, 0x0000FF, 0x00FF00, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF};

// Run-length bitmaps larger than this are left out: a few bytes of runs and skips can claim
// millions of pixels.
constexpr std::int64_t kMaxRunLengthPixels = 4'000'000;

Dib Decode(const dib::Info& parsed, std::span<const std::uint8_t> bits, Budget& budget) {
  dib::Info info = parsed;
  const std::int64_t pixels = std::int64_t{info.width} * info.height;
  if (pixels > budget.bitmapPixels) return {};
  // Unlike a bitmap file, a record whose bitmap is cut short is malformed: it is left out rather
  // than decoded into a large picture of zeros.
  if (info.RunLength()
          ? pixels > kMaxRunLengthPixels
          : static_cast<std::uint64_t>(info.Stride()) * static_cast<std::uint64_t>(info.height) >
                bits.size()) {
    return {};
  }
  budget.bitmapPixels -= pixels;
  if (info.colours == dib::ColourUse::kPaletteIndices) {
    for (int i = 0; i < info.paletteSize; ++i)
      info.palette[i] = kDefaultPalette[info.palette[i] % 16];
  }
  const dib::Image decoded = dib::DecodeBits(info, bits);
  const model::Bitmap& bitmap = decoded.bitmap;
  QImage image(bitmap.Width(), bitmap.Height(), QImage::Format_RGB32);
  for (int y = 0; y < bitmap.Height(); ++y) {
    const model::Colour* in = bitmap.Row(y);
    auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < bitmap.Width(); ++x) {
      out[x] = qRgb(model::RedOf(in[x]), model::GreenOf(in[x]), model::BlueOf(in[x]));
    }
  }
  return {image, bitmap.TwoColour(), !info.topDown};
}

dib::Options RecordOptions(bool paletteIndices) {
  dib::Options options;
  options.colours = paletteIndices ? dib::ColourUse::kPaletteIndices : dib::ColourUse::kRgb;
  return options;
}

}  // namespace

Dib DibImage(std::span<const std::uint8_t> info, std::span<const std::uint8_t> bits,
             bool paletteIndices, Budget& budget) {
  try {
    return Decode(dib::ParseInfo(info, RecordOptions(paletteIndices)), bits, budget);
  } catch (const LoadError&) {
    return {};  // a bitmap that cannot be read is left out; the rest of the picture stands
  }
}

Dib PackedDibImage(std::span<const std::uint8_t> packed, bool paletteIndices, Budget& budget) {
  try {
    const dib::Info info = dib::ParseInfo(packed, RecordOptions(paletteIndices));
    if (info.tableEnd > packed.size()) return {};
    return Decode(info, packed.subspan(static_cast<std::size_t>(info.tableEnd)), budget);
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
  return part == dib.image.rect() ? dib.image : dib.image.copy(part);
}

}  // namespace metafile

namespace {

enum class Format { kWmf, kEmf };

// A metafile, kept as its bytes and played afresh into every rectangle it is drawn into.
class MetafilePicture : public Picture {
 public:
  MetafilePicture(Format format, std::span<const std::uint8_t> file, const metafile::Frame& frame)
      : m_format(format), m_bytes(file.begin(), file.end()), m_frame(frame) {}

  int Width() const override { return m_frame.width; }
  int Height() const override { return m_frame.height; }

  void StretchDraw(model::Canvas& canvas, const model::Rect& dest) const override {
    const model::Rect clip = dest.Intersected({0, 0, canvas.Width(), canvas.Height()});
    if (clip.Empty()) return;
    // What the metafile leaves unpainted is white, not what the raster held before.
    canvas.FillRect(clip, model::kWhite);
    QImage target(reinterpret_cast<uchar*>(canvas.Bits()), canvas.Width(), canvas.Height(),
                  canvas.BytesPerLine(), QImage::Format_RGBX8888);
    {
      QPainter painter(&target);
      const QRect clipRect(clip.left, clip.top, clip.Width(), clip.Height());
      painter.setClipRect(clipRect);
      const QRectF& f = m_frame.device;
      QTransform deviceToDest;
      deviceToDest.translate(dest.left, dest.top);
      deviceToDest.scale(dest.Width() / f.width(), dest.Height() / f.height());
      deviceToDest.translate(-f.left(), -f.top());
      gdi::Player player(painter, deviceToDest, clipRect, m_frame.pixelsPerMm);
      metafile::Budget budget;
      if (m_format == Format::kEmf) {
        metafile::PlayEmf(m_bytes, player, budget);
      } else {
        metafile::PlayWmf(m_bytes, player, m_frame, budget);
      }
    }
    // Raster operations may have touched the unused byte: the canvas keeps it 0xFF.
    for (int y = clip.top; y < clip.bottom; ++y) {
      std::uint32_t* row = canvas.Row(y);
      for (int x = clip.left; x < clip.right; ++x) row[x] |= model::Canvas::kOpaque;
    }
    canvas.MarkDirty(clip);
  }

 private:
  Format m_format;
  std::vector<std::uint8_t> m_bytes;
  metafile::Frame m_frame;
};

// Either kind of metafile is read whatever the extension says: the contents decide.
std::unique_ptr<Picture> DecodeMetafile(std::span<const std::uint8_t> file) {
  if (file.empty()) return std::make_unique<BitmapPicture>(model::Bitmap());
  if (const auto frame = metafile::EmfFrame(file)) {
    return std::make_unique<MetafilePicture>(Format::kEmf, file, *frame);
  }
  if (const auto frame = metafile::WmfFrame(file)) {
    return std::make_unique<MetafilePicture>(Format::kWmf, file, *frame);
  }
  throw LoadError("Metafile is not valid");
}

}  // namespace

std::unique_ptr<Picture> DecodeWmf(std::span<const std::uint8_t> file) {
  return DecodeMetafile(file);
}

std::unique_ptr<Picture> DecodeEmf(std::span<const std::uint8_t> file) {
  return DecodeMetafile(file);
}

}  // namespace picture
