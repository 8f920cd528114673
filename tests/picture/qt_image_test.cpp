#include <sys/resource.h>

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QSvgGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/canvas.h"
#include "picture/picture.h"
#include "tests/support/raster_text.h"

namespace {

using model::Canvas;
using model::Colour;

constexpr std::uint32_t kMarker = 0x123456;

std::string DataFile(const std::string& name) {
  return std::string(DOTWRIGHT_TEST_DATA) + "/formats/" + name;
}

std::string ErrorOf(const std::string& fileName) {
  try {
    picture::LoadPicture(fileName);
  } catch (const picture::LoadError& e) {
    return e.what();
  }
  return "(loaded)";
}

// The picture drawn at its own size on a marker-filled canvas: every pixel must be drawn.
Canvas DrawnAtOwnSize(const picture::Picture& picture) {
  Canvas canvas(picture.Width(), picture.Height());
  canvas.Fill(kMarker);
  picture.StretchDraw(canvas, {0, 0, picture.Width(), picture.Height()});
  return canvas;
}

Colour ColourOf(QRgb p) {
  return model::Rgb(static_cast<std::uint8_t>(qRed(p)), static_cast<std::uint8_t>(qGreen(p)),
                    static_cast<std::uint8_t>(qBlue(p)));
}

// Compares the canvas with `expected` (opaque), channel by channel within `tolerance`; reports
// the first pixel that differs and how many do.
testing::AssertionResult Matches(const Canvas& canvas, const QImage& expected, int tolerance) {
  if (canvas.Width() != expected.width() || canvas.Height() != expected.height())
    return testing::AssertionFailure()
           << "size " << canvas.Width() << "x" << canvas.Height() << ", expected "
           << expected.width() << "x" << expected.height();
  int differing = 0;
  std::string first;
  for (int y = 0; y < canvas.Height(); ++y)
    for (int x = 0; x < canvas.Width(); ++x) {
      const Colour got = canvas.Pixel(x, y);
      const Colour want = ColourOf(expected.pixel(x, y));
      const int d = std::max({std::abs(model::RedOf(got) - model::RedOf(want)),
                              std::abs(model::GreenOf(got) - model::GreenOf(want)),
                              std::abs(model::BlueOf(got) - model::BlueOf(want))});
      if (d <= tolerance) continue;
      if (differing++ == 0) {
        char text[96];
        std::snprintf(text, sizeof text, "first at (%d, %d): 0x%06X, expected 0x%06X", x, y, got,
                      want);
        first = text;
      }
    }
  if (differing == 0) return testing::AssertionSuccess();
  return testing::AssertionFailure() << differing << " pixels differ, " << first;
}

// A small picture with flat areas of a few colours and, where `alpha`, a transparent and a
// half-transparent area.
QImage Sample(bool alpha) {
  QImage image(12, 8, QImage::Format_ARGB32);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 12; ++x) {
      QRgb p = x < 4 ? qRgb(200, 30, 40) : x < 8 ? qRgb(20, 90, 220) : qRgb(250, 250, 250);
      if (y >= 6) p = qRgb(0, 0, 0);
      if (alpha && y < 2 && x >= 4) p = x < 8 ? qRgba(20, 90, 220, 0) : qRgba(0, 0, 0, 128);
      image.setPixel(x, y, p);
    }
  return image;
}

// Four flat grey 16 x 16 squares: each JPEG block holds one grey (and a grey picture has no
// colour planes to subsample), so only rounding changes them.
QImage Quadrants() {
  QImage image(32, 32, QImage::Format_Grayscale8);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      const int g = y < 16 ? (x < 16 ? 200 : 90) : (x < 16 ? 250 : 0);
      image.setPixel(x, y, qRgb(g, g, g));
    }
  return image;
}

// `image` as it looks on white: what the loader must give for it.
QImage OnWhite(const QImage& image) {
  QImage flat(image.size(), QImage::Format_RGB32);
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QRgb p = image.pixel(x, y);
      auto over = [a = qAlpha(p)](int v) { return (v * a + 255 * (255 - a) + 127) / 255; };
      flat.setPixel(x, y, qRgb(over(qRed(p)), over(qGreen(p)), over(qBlue(p))));
    }
  return flat;
}

class QtFormats : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

  std::string Save(const QImage& image, const QString& name, const char* format, int quality = -1) {
    const QString path = m_dir.filePath(name);
    QImageWriter writer(path, format);
    writer.setQuality(quality);
    EXPECT_TRUE(writer.write(image))
        << name.toStdString() << ": " << writer.errorString().toStdString();
    return path.toStdString();
  }

  std::string Write(const QString& name, const QByteArray& bytes) {
    const QString path = m_dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path.toStdString();
  }

  QTemporaryDir m_dir;
};

// Each kind Qt writes, read back through the loader (the extension in mixed case), compared pixel
// by pixel with what was written, on white.
TEST_F(QtFormats, ReadsWhatQtsWritersWrite) {
  QImage greys(12, 8, QImage::Format_Grayscale8);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 12; ++x) greys.setPixel(x, y, qRgb(x * 20, x * 20, x * 20));
  QImage mono = Sample(false).convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
  const struct {
    const char* name;
    const char* format;
    QImage image;
    int quality;
    int tolerance;
  } cases[] = {
      {"alpha.png", "png", Sample(true), -1, 0},
      {"opaque.PNG", "png", Sample(false), -1, 0},
      {"photo.jpg", "jpeg", Quadrants(), 100, 4},
      {"photo.JPEG", "jpeg", Quadrants(), 90, 8},
      {"lossless.webp", "webp", Sample(true), 100, 0},
      {"alpha.tif", "tiff", Sample(true), -1, 0},
      {"opaque.Tiff", "tiff", Sample(false), -1, 0},
      {"colour.ppm", "ppm", Sample(false), -1, 0},
      {"greys.pgm", "pgm", greys, -1, 0},
      {"mono.pbm", "pbm", mono, -1, 0},
      {"mono.xbm", "xbm", mono, -1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = Save(c.image, c.name, c.format, c.quality);
    const auto picture = picture::LoadPicture(path);
    ASSERT_EQ(picture->Width(), c.image.width());
    ASSERT_EQ(picture->Height(), c.image.height());
    EXPECT_TRUE(Matches(DrawnAtOwnSize(*picture), OnWhite(c.image), c.tolerance));
  }
}

// A photograph its camera marked as turned a quarter (EXIF orientation) is shown upright: the
// 32 x 16 picture written with that mark reads as 16 x 32, its left half at the top.
TEST_F(QtFormats, APhotographIsTurnedUpright) {
  QImage image(32, 16, QImage::Format_Grayscale8);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 32; ++x) image.setPixel(x, y, x < 16 ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
  const QString path = m_dir.filePath("turned.jpg");
  QImageWriter writer(path, "jpeg");
  ASSERT_TRUE(writer.supportsOption(QImageIOHandler::ImageTransformation));
  writer.setTransformation(QImageIOHandler::TransformationRotate90);
  writer.setQuality(100);
  ASSERT_TRUE(writer.write(image));
  const auto picture = picture::LoadPicture(path.toStdString());
  ASSERT_EQ(picture->Width(), 16);
  ASSERT_EQ(picture->Height(), 32);
  const Canvas canvas = DrawnAtOwnSize(*picture);
  EXPECT_LT(model::RedOf(canvas.Pixel(8, 4)), 8);
  EXPECT_GT(model::RedOf(canvas.Pixel(8, 28)), 247);
}

// Files ImageMagick made (tests/data/README.md), against ImageMagick's own reading of them on
// white.
TEST(QtFormatsFromElsewhere, MatchImageMagicksReading) {
  const struct {
    const char* file;
    const char* reference;
    // ImageMagick lays half-transparent pixels on white in 16 bits, and JPEG decoders may round
    // differently.
    int tolerance;
  } cases[] = {
      {"magick.png", "ref_magick_png.png", 1},   {"magick.gif", "ref_magick_gif.png", 0},
      {"magick.webp", "ref_magick_webp.png", 1}, {"magick.tif", "ref_magick_tif.png", 1},
      {"magick.tga", "ref_magick_tga.png", 1},   {"magick.jpg", "ref_magick_jpg.png", 3},
      {"magick.ppm", "ref_magick_ppm.png", 0},   {"magick.pgm", "ref_magick_pgm.png", 0},
      {"magick.pbm", "ref_magick_pbm.png", 0},   {"magick.xbm", "ref_magick_xbm.png", 0},
      {"anim.gif", "ref_anim_gif.png", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const QImage reference(QString::fromStdString(DataFile(c.reference)));
    ASSERT_FALSE(reference.isNull());
    const auto picture = picture::LoadPicture(DataFile(c.file));
    EXPECT_TRUE(Matches(DrawnAtOwnSize(*picture), reference, c.tolerance));
  }
}

// One bit a pixel is a two-colour source, as for BMP: reducing keeps black. Columns 0 and 1 of
// "W B W W" merge into black; a grey picture picks column 0 and stays white.
TEST_F(QtFormats, OneBitPicturesKeepBlackWhenReduced) {
  QImage image(4, 1, QImage::Format_RGB32);
  image.fill(Qt::white);
  image.setPixel(1, 0, qRgb(0, 0, 0));
  const QImage mono = image.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
  const struct {
    const char* name;
    const char* format;
    QImage image;
    Colour first;
  } cases[] = {
      {"w.pbm", "pbm", mono, model::kBlack},
      {"w.xbm", "xbm", mono, model::kBlack},
      {"w.pgm", "pgm", image.convertToFormat(QImage::Format_Grayscale8), model::kWhite},
      {"w.png", "png", image, model::kWhite},
  };
  for (const auto& c : cases) {
    const auto picture = picture::LoadPicture(Save(c.image, c.name, c.format));
    Canvas canvas(2, 1);
    picture->StretchDraw(canvas, {0, 0, 2, 1});
    EXPECT_EQ(canvas.Pixel(0, 0), c.first) << c.name;
    EXPECT_EQ(canvas.Pixel(1, 0), model::kWhite) << c.name;
  }
}

TEST_F(QtFormats, AFileItsReaderRefusesNamesItsKind) {
  QByteArray png;
  {
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    Sample(false).save(&buffer, "png");
  }
  const QByteArray garbage(64, 'x');
  const struct {
    QString name;
    QByteArray bytes;
    const char* message;
  } cases[] = {
      {"a.png", garbage, "PNG image is not valid"},
      {"b.jpg", garbage, "JPEG image is not valid"},
      {"c.jpeg", garbage, "JPEG image is not valid"},
      {"d.gif", garbage, "GIF image is not valid"},
      {"e.webp", garbage, "WebP image is not valid"},
      {"f.tif", garbage, "TIFF image is not valid"},
      {"g.tiff", garbage, "TIFF image is not valid"},
      {"h.tga", QByteArray(3, '\xff'), "TGA image is not valid"},
      {"i.pbm", garbage, "PBM image is not valid"},
      {"j.pgm", garbage, "PGM image is not valid"},
      {"k.ppm", garbage, "PPM image is not valid"},
      {"l.xbm", garbage, "XBM image is not valid"},
      {"m.svg", garbage, "SVG image is not valid"},
      {"n.svg", "<svg xmlns='http://www.w3.org/2000/svg'><rect", "SVG image is not valid"},
      // A file is read as what its name says, not sniffed.
      {"png.jpg", png, "JPEG image is not valid"},
      {"png.gif", png, "GIF image is not valid"},
      // Cut short inside the header.
      {"short.png", png.left(20), "PNG image is not valid"},
      // An uncompressed TGA of 2 x 2 at 24 bits needs 12 bytes of pixels; 11 are there.
      {"short.tga", QByteArray::fromHex("000002000000000000000000020002001800") + QByteArray(11, 0),
       "TGA image is not valid"},
      // A header alone claiming 65535 x 1000.
      {"claims.tga", QByteArray::fromHex("000002000000000000000000ffffe8032000"),
       "TGA image is not valid"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ErrorOf(Write(c.name, c.bytes)), c.message) << c.name.toStdString();
  // With all 12 bytes the same TGA loads, and with the version 2 footer too.
  const QByteArray tga = QByteArray::fromHex("000002000000000000000000020002001800") +
                         QByteArray::fromHex("0000ff00ff00ff0000ffffff");
  for (const QByteArray& file :
       {tga, tga + QByteArray(8, 0) + QByteArray("TRUEVISION-XFILE.", 18)}) {
    const auto picture = picture::LoadPicture(Write("whole.tga", file));
    // Stored bottom row first: red, green; then blue, white.
    const Canvas canvas = DrawnAtOwnSize(*picture);
    EXPECT_EQ(canvas.Pixel(0, 1), model::Rgb(255, 0, 0));
    EXPECT_EQ(canvas.Pixel(1, 1), model::Rgb(0, 255, 0));
    EXPECT_EQ(canvas.Pixel(0, 0), model::Rgb(0, 0, 255));
    EXPECT_EQ(canvas.Pixel(1, 0), model::kWhite);
  }
  // A zero-byte file is an empty picture, as for every kind.
  EXPECT_TRUE(picture::LoadPicture(Write("empty.png", {}))->Empty());
  EXPECT_TRUE(picture::LoadPicture(Write("empty.svg", {}))->Empty());
}

TEST_F(QtFormats, TransparentPartsAreWhite) {
  QImage image(4, 1, QImage::Format_ARGB32);
  image.setPixel(0, 0, qRgba(255, 0, 0, 0));
  image.setPixel(1, 0, qRgba(0, 0, 0, 0));
  image.setPixel(2, 0, qRgba(0, 0, 0, 128));
  image.setPixel(3, 0, qRgba(0, 0, 255, 255));
  for (const auto& [name, format] :
       {std::pair{"t.png", "png"}, {"t.tif", "tiff"}, {"t.webp", "webp"}}) {
    const auto picture = picture::LoadPicture(Save(image, name, format, 100));
    const Canvas canvas = DrawnAtOwnSize(*picture);
    EXPECT_EQ(canvas.Pixel(0, 0), model::kWhite) << name;
    EXPECT_EQ(canvas.Pixel(1, 0), model::kWhite) << name;
    EXPECT_EQ(canvas.Pixel(2, 0), model::Rgb(127, 127, 127)) << name;
    EXPECT_EQ(canvas.Pixel(3, 0), model::Rgb(0, 0, 255)) << name;
  }
}

std::size_t PeakMemoryKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<std::size_t>(usage.ru_maxrss);
}

// A zlib stream of `n` zero bytes (n >= 1) without holding them: one literal 0, then copies of
// 258 bytes from 1 back, 13 bits each in deflate's fixed code, then literals for the rest.
QByteArray ZlibZeros(std::uint64_t n) {
  QByteArray out("\x78\x01", 2);
  std::uint32_t bits = 0;
  int count = 0;
  auto put = [&](std::uint32_t value, int length) {  // least significant bit first
    bits |= value << count;
    count += length;
    for (; count >= 8; count -= 8, bits >>= 8) out.append(static_cast<char>(bits & 0xFF));
  };
  auto code = [&](std::uint32_t value, int length) {  // Huffman codes go most significant first
    std::uint32_t reversed = 0;
    for (int i = 0; i < length; ++i) reversed |= (value >> i & 1) << (length - 1 - i);
    put(reversed, length);
  };
  put(1, 1);      // the last block
  put(1, 2);      // fixed codes
  code(0x30, 8);  // literal 0
  std::uint64_t left = n - 1;
  for (; left >= 258; left -= 258) {
    code(0xC5, 8);  // length 258
    code(0, 5);     // distance 1
  }
  for (; left > 0; --left) code(0x30, 8);
  code(0, 7);  // end of block
  if (count > 0) put(0, 8 - count);
  const std::uint32_t adler = static_cast<std::uint32_t>(n % 65521) << 16 | 1;
  for (int shift = 24; shift >= 0; shift -= 8) out.append(static_cast<char>(adler >> shift));
  return out;
}

// A whole, valid PNG of width x height 8-bit greys, all black.
QByteArray BlackPng(std::uint32_t width, std::uint32_t height) {
  auto be32 = [](std::uint32_t v) {
    const char bytes[4] = {static_cast<char>(v >> 24), static_cast<char>(v >> 16),
                           static_cast<char>(v >> 8), static_cast<char>(v)};
    return QByteArray(bytes, 4);
  };
  auto crc32 = [](const QByteArray& data) {
    std::uint32_t crc = 0xFFFFFFFF;
    for (char c : data) {
      crc ^= static_cast<std::uint8_t>(c);
      for (int k = 0; k < 8; ++k) crc = crc & 1 ? 0xEDB88320 ^ (crc >> 1) : crc >> 1;
    }
    return ~crc;
  };
  auto chunk = [&](const char* type, const QByteArray& data) {
    const QByteArray typed = QByteArray(type, 4) + data;
    return be32(static_cast<std::uint32_t>(data.size())) + typed + be32(crc32(typed));
  };
  // Each row: filter byte 0, then a byte a pixel; every byte is 0.
  const QByteArray zlib = ZlibZeros(std::uint64_t{height} * (1 + width));
  return QByteArray("\x89PNG\r\n\x1a\n", 8) +
         chunk("IHDR", be32(width) + be32(height) + QByteArray("\x08\x00\x00\x00\x00", 5)) +
         chunk("IDAT", zlib) + chunk("IEND", {});
}

// A header claiming more than 100 megapixels is refused before any pixel is decoded, with little
// memory. The PNG is whole and valid (10001 x 10000 greys in a 630 kB file): only its size can
// refuse it, decoding it would take 100 MB, and its 32-bit pixels 400 MB. The others are headers
// alone.
TEST_F(QtFormats, AHugePictureIsRefusedFromItsHeader) {
  const QByteArray small = BlackPng(300, 20);
  const QByteArray huge = BlackPng(10001, 10000);
  ASSERT_LT(huge.size(), 1'000'000);
  QByteArray gif("GIF89a");
  gif += QByteArray::fromHex("204e204e000000");        // screen 20000 x 20000, no colour table
  gif += QByteArray::fromHex("2c00000000204e204e00");  // image 20000 x 20000 at (0, 0)
  const QByteArray pbm("P4\n20000 20000\n\0\0\0\0", 20);
  const QByteArray pgm("P5\n20000 20000\n255\n\0\0\0\0", 24);
  // The same PNG builder makes a picture that loads, black all over.
  const auto loaded = picture::LoadPicture(Write("small.png", small));
  ASSERT_EQ(loaded->Width(), 300);
  EXPECT_EQ(DrawnAtOwnSize(*loaded).Pixel(299, 19), model::kBlack);

  const std::size_t before = PeakMemoryKb();
  EXPECT_EQ(ErrorOf(Write("huge.png", huge)), "PNG image is not valid");
  EXPECT_EQ(ErrorOf(Write("huge.gif", gif)), "GIF image is not valid");
  EXPECT_EQ(ErrorOf(Write("huge.pbm", pbm)), "PBM image is not valid");
  EXPECT_EQ(ErrorOf(Write("huge.pgm", pgm)), "PGM image is not valid");
  EXPECT_LT(PeakMemoryKb() - before, 32u * 1024) << "kB more at the peak";
}

// A drawing on a 4-unit grid: black bar, red square, blue corner; its frame is 8 x 4.
const char kSvg[] = R"(<svg xmlns="http://www.w3.org/2000/svg" width="8" height="4"
    viewBox="0 0 8 4">
  <rect x="0" y="0" width="2" height="4" fill="#000000"/>
  <rect x="4" y="1" width="2" height="2" fill="#ff0000"/>
  <rect x="6" y="0" width="2" height="1" fill="#0000ff"/>
</svg>)";

const std::map<Colour, char> kSvgLegend = {{model::kWhite, ' '},
                                           {model::kBlack, '#'},
                                           {model::Rgb(255, 0, 0), 'r'},
                                           {model::Rgb(0, 0, 255), 'b'},
                                           {kMarker, '.'}};

// The drawing fills whatever rectangle it is drawn into, its frame stretched both ways; what it
// leaves unpainted is white, and the canvas outside the rectangle is not touched.
TEST_F(QtFormats, SvgIsDrawnAtTheSizeItIsDrawnInto) {
  const auto picture = picture::LoadPicture(Write("shapes.SVG", kSvg));
  EXPECT_EQ(picture->Width(), 8);
  EXPECT_EQ(picture->Height(), 4);
  Canvas canvas(16, 8);
  canvas.Fill(kMarker);
  picture->StretchDraw(canvas, {0, 0, 16, 8});
  EXPECT_TRUE(testsupport::RasterMatches(canvas, 0, 0,
                                         {
                                             "####        bbbb",
                                             "####        bbbb",
                                             "####    rrrr    ",
                                             "####    rrrr    ",
                                             "####    rrrr    ",
                                             "####    rrrr    ",
                                             "####            ",
                                             "####            ",
                                         },
                                         kSvgLegend));
  // Stretched to a tall, narrow area, offset in the canvas.
  canvas.Fill(kMarker);
  picture->StretchDraw(canvas, {4, 0, 8, 8});
  EXPECT_TRUE(testsupport::RasterMatches(canvas, 0, 0,
                                         {
                                             "....#  b........",
                                             "....#  b........",
                                             "....# r ........",
                                             "....# r ........",
                                             "....# r ........",
                                             "....# r ........",
                                             "....#   ........",
                                             "....#   ........",
                                         },
                                         kSvgLegend));
}

// Qt's own SVG writer (which gives the size in millimetres), drawn back into its view box's size.
TEST_F(QtFormats, SvgFromQtsWriter) {
  QByteArray svg;
  {
    QBuffer buffer(&svg);
    QSvgGenerator generator;
    generator.setOutputDevice(&buffer);
    generator.setSize({10, 5});
    generator.setViewBox(QRect(0, 0, 10, 5));
    QPainter painter(&generator);
    painter.fillRect(0, 0, 5, 5, Qt::black);
    painter.fillRect(5, 0, 5, 5, QColor(0, 0, 255));
  }
  const auto picture = picture::LoadPicture(Write("qt.svg", svg));
  ASSERT_FALSE(picture->Empty());
  Canvas canvas(10, 5);
  picture->StretchDraw(canvas, {0, 0, 10, 5});
  EXPECT_TRUE(testsupport::RasterMatches(
      canvas, 0, 0, {"#####bbbbb", "#####bbbbb", "#####bbbbb", "#####bbbbb", "#####bbbbb"},
      kSvgLegend));
}

}  // namespace
