#include "picture/qt_image.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>
#include <QPainter>
#include <QSvgRenderer>
#include <algorithm>
#include <string>
#include <vector>

#include "picture/bitmap_picture.h"
#include "picture/decoders.h"
#include "picture/dib.h"

namespace picture {
namespace {

// A read-only device over the file's bytes, without a copy.
class ByteDevice {
 public:
  explicit ByteDevice(std::span<const std::uint8_t> file)
      : m_bytes(QByteArray::fromRawData(reinterpret_cast<const char*>(file.data()),
                                        static_cast<qsizetype>(file.size()))),
        m_buffer(&m_bytes) {
    m_buffer.open(QIODevice::ReadOnly);
  }
  QBuffer* Device() { return &m_buffer; }
  const QByteArray& Bytes() const { return m_bytes; }

 private:
  QByteArray m_bytes;
  QBuffer m_buffer;
};

// A picture kept as Qt's reader gave it, made opaque over white in place: a photograph is drawn
// from the decoded pixels with no copy of its own.
class ImagePicture : public Picture {
 public:
  explicit ImagePicture(QImage image)
      : m_twoColour(image.depth() == 1), m_image(OpaqueOverWhite(std::move(image))) {}

  int Width() const override { return m_image.width(); }
  int Height() const override { return m_image.height(); }
  void StretchDraw(model::Canvas& canvas, const model::Rect& dest) const override {
    model::StretchPixels(
        {reinterpret_cast<const model::Colour*>(m_image.constBits()), m_image.width(),
         m_image.height(), m_image.bytesPerLine() / 4, m_twoColour, true},
        canvas, dest);
  }

 private:
  bool m_twoColour;
  QImage m_image;  // Format_RGB32
};

// Reads the file with Qt's reader of `format` only (a file is read as what its extension says,
// never sniffed as something else). The size the header claims is checked before any pixel is
// decoded; readers that cannot tell it are held by the allocation limit instead.
std::unique_ptr<Picture> ReadRaster(std::span<const std::uint8_t> file, const char* format,
                                    const char* kind) {
  const std::string notValid = std::string(kind) + " image is not valid";
  QImageReader::setAllocationLimit(kReaderAllocationLimitMb);
  ByteDevice bytes(file);
  QImageReader reader(bytes.Device(), format);
  reader.setAutoDetectImageFormat(false);
  // A photograph turned on its side by its camera is shown upright.
  reader.setAutoTransform(true);
  const QSize claimed = reader.size();
  const auto tooLarge = [](QSize s) {
    return std::int64_t{s.width()} * s.height() > dib::kMaxPixels;
  };
  if (claimed.isValid() && tooLarge(claimed)) throw LoadError(notValid);
  QImage image;
  if (!reader.read(&image) || image.isNull() || tooLarge(image.size())) throw LoadError(notValid);
  return std::make_unique<ImagePicture>(std::move(image));
}

// Qt's TGA reader takes only files with the version 2 footer. Most files are of version 1, which
// is version 2 without its optional areas: WithTgaFooter adds the footer that says none are there.
constexpr char kTgaSignature[] = "TRUEVISION-XFILE.";  // with its '\0', the footer's last 18 bytes

bool HasTgaFooter(std::span<const std::uint8_t> file) {
  const auto signature = std::as_bytes(std::span(kTgaSignature));
  return file.size() >= signature.size() &&
         std::ranges::equal(std::as_bytes(file.last(signature.size())), signature);
}

std::vector<std::uint8_t> WithTgaFooter(std::span<const std::uint8_t> file) {
  std::vector<std::uint8_t> bytes(file.begin(), file.end());
  bytes.resize(bytes.size() + 8, 0);  // no extension area, no developer directory
  for (char c : kTgaSignature) bytes.push_back(static_cast<std::uint8_t>(c));
  return bytes;
}

// Whether an uncompressed TGA (the only kind Qt reads) holds fewer bytes than its header says.
// Qt's reader would fill the rest, so a few bytes could claim a picture that takes seconds and
// hundreds of megabytes to fill.
bool TgaCutShort(std::span<const std::uint8_t> file) {
  constexpr std::size_t kHeader = 18;
  if (file.size() < kHeader) return false;  // Qt's reader refuses it
  const auto u16 = [&](std::size_t at) { return std::uint64_t{file[at]} | file[at + 1] << 8; };
  const std::uint8_t type = file[2];
  if (type != 1 && type != 2 && type != 3) return false;
  const std::uint64_t palette = u16(5) * ((file[7] + 7) / 8);
  const std::uint64_t pixels = u16(12) * u16(14) * ((file[16] + 7) / 8);
  return file.size() < kHeader + file[0] + palette + pixels;
}

// An SVG drawing, parsed once and drawn afresh into every rectangle, its frame (the view box)
// stretched to fill the rectangle as a metafile's is. What it leaves unpainted is white.
class SvgPicture : public Picture {
 public:
  explicit SvgPicture(std::span<const std::uint8_t> file) {
    ByteDevice bytes(file);
    if (!m_renderer.load(bytes.Bytes())) throw LoadError("SVG image is not valid");
    m_renderer.setAspectRatioMode(Qt::IgnoreAspectRatio);
    const QSize size = m_renderer.defaultSize();
    m_width = std::max(size.width(), 0);
    m_height = std::max(size.height(), 0);
  }

  int Width() const override { return m_width; }
  int Height() const override { return m_height; }

  void StretchDraw(model::Canvas& canvas, const model::Rect& dest) const override {
    if (Empty()) return;
    const model::Rect clip = dest.Intersected({0, 0, canvas.Width(), canvas.Height()});
    if (clip.Empty()) return;
    canvas.FillRect(clip, model::kWhite);
    QImage target(reinterpret_cast<uchar*>(canvas.Bits()), canvas.Width(), canvas.Height(),
                  canvas.BytesPerLine(), QImage::Format_RGBX8888);
    {
      QPainter painter(&target);
      painter.setClipRect(clip.left, clip.top, clip.Width(), clip.Height());
      m_renderer.render(&painter, QRectF(dest.left, dest.top, dest.Width(), dest.Height()));
    }
    for (int y = clip.top; y < clip.bottom; ++y) {
      std::uint32_t* row = canvas.Row(y);
      for (int x = clip.left; x < clip.right; ++x) row[x] |= model::Canvas::kOpaque;
    }
    canvas.MarkDirty(clip);
  }

 private:
  // Rendering moves the renderer's animation clock, which is not the picture's state.
  mutable QSvgRenderer m_renderer;
  int m_width = 0;
  int m_height = 0;
};

}  // namespace

QImage OpaqueOverWhite(QImage image) {
  if (!image.hasAlphaChannel()) {
    // Photographs come as RGB32 and are kept as they are.
    if (image.format() != QImage::Format_RGB32) image.convertTo(QImage::Format_RGB32);
    return image;
  }
  if (image.format() != QImage::Format_ARGB32) image.convertTo(QImage::Format_ARGB32);
  for (int y = 0; y < image.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      const QRgb p = row[x];
      const model::Colour c = OverWhite(
          model::Rgb(static_cast<std::uint8_t>(qRed(p)), static_cast<std::uint8_t>(qGreen(p)),
                     static_cast<std::uint8_t>(qBlue(p))),
          qAlpha(p));
      row[x] = qRgb(model::RedOf(c), model::GreenOf(c), model::BlueOf(c));
    }
  }
  image.reinterpretAsFormat(QImage::Format_RGB32);
  return image;
}

model::Bitmap BitmapOverWhite(const QImage& image) {
  const QImage opaque = OpaqueOverWhite(image);
  model::Bitmap bitmap = model::Bitmap::Uninitialised(opaque.width(), opaque.height());
  for (int y = 0; y < bitmap.Height(); ++y) {
    const auto* in = reinterpret_cast<const QRgb*>(opaque.constScanLine(y));
    model::Colour* out = bitmap.Row(y);
    // 0xFFRRGGBB to 0x00BBGGRR.
    for (int x = 0; x < bitmap.Width(); ++x)
      out[x] = (in[x] >> 16 & 0xFF) | (in[x] & 0xFF00) | (in[x] & 0xFF) << 16;
  }
  bitmap.SetTwoColour(image.depth() == 1);
  return bitmap;
}

std::unique_ptr<Picture> DecodePng(std::span<const std::uint8_t> file) {
  return ReadRaster(file, "png", "PNG");
}
std::unique_ptr<Picture> DecodeJpeg(std::span<const std::uint8_t> file) {
  return ReadRaster(file, "jpeg", "JPEG");
}
std::unique_ptr<Picture> DecodeGif(std::span<const std::uint8_t> file) {
  return ReadRaster(file, "gif", "GIF");
}
std::unique_ptr<Picture> DecodeWebp(std::span<const std::uint8_t> file) {
  return ReadRaster(file, "webp", "WebP");
}
std::unique_ptr<Picture> DecodeTiff(std::span<const std::uint8_t> file) {
  return ReadRaster(file, "tiff", "TIFF");
}
std::unique_ptr<Picture> DecodeTga(std::span<const std::uint8_t> file) {
  if (TgaCutShort(file)) throw LoadError("TGA image is not valid");
  if (HasTgaFooter(file)) return ReadRaster(file, "tga", "TGA");
  return ReadRaster(WithTgaFooter(file), "tga", "TGA");
}
std::unique_ptr<Picture> DecodePbm(std::span<const std::uint8_t> file) {
  return ReadRaster(file, "pbm", "PBM");
}
std::unique_ptr<Picture> DecodePgm(std::span<const std::uint8_t> file) {
  return ReadRaster(file, "pgm", "PGM");
}
std::unique_ptr<Picture> DecodePpm(std::span<const std::uint8_t> file) {
  return ReadRaster(file, "ppm", "PPM");
}
std::unique_ptr<Picture> DecodeXbm(std::span<const std::uint8_t> file) {
  return ReadRaster(file, "xbm", "XBM");
}

std::unique_ptr<Picture> DecodeSvg(std::span<const std::uint8_t> file) {
  // Images embedded in the drawing are decoded by the same readers, under the same limit.
  QImageReader::setAllocationLimit(kReaderAllocationLimitMb);
  return std::make_unique<SvgPicture>(file);
}

}  // namespace picture
