// The kinds Qt reads, read in bounded work and memory: PNG chunks that cannot change the pixels
// passed over unread, text pictures read by our own readers exactly as Qt's read them, SVG
// drawings checked before they are parsed and drawn, files never held whole.

#include <zlib.h>

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/canvas.h"
#include "picture/decoders.h"
#include "picture/picture.h"
#include "picture/qt_image.h"
#include "picture/text_pictures.h"
#include "tests/picture/child_process.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes FromQt(const QByteArray& bytes) {
  return Bytes(bytes.begin(), bytes.end());
}

std::uint32_t Be32(const Bytes& b, std::size_t at) {
  return std::uint32_t{b[at]} << 24 | std::uint32_t{b[at + 1]} << 16 |
         std::uint32_t{b[at + 2]} << 8 | b[at + 3];
}

void PutBe32(Bytes& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes Chunk(const char* type, const Bytes& data) {
  Bytes out;
  PutBe32(out, static_cast<std::uint32_t>(data.size()));
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type), 4);
  if (!data.empty()) crc = crc32(crc, data.data(), static_cast<uInt>(data.size()));
  PutBe32(out, static_cast<std::uint32_t>(crc));
  return out;
}

// The PNG's chunks, each whole.
std::vector<Bytes> Chunks(const Bytes& png) {
  std::vector<Bytes> chunks;
  for (std::size_t at = 8; at + 12 <= png.size();) {
    const std::size_t size = 12 + Be32(png, at);
    chunks.emplace_back(png.begin() + static_cast<std::ptrdiff_t>(at),
                        png.begin() + static_cast<std::ptrdiff_t>(at + size));
    at += size;
  }
  return chunks;
}

std::string TypeOf(const Bytes& chunk) {
  return std::string(chunk.begin() + 4, chunk.begin() + 8);
}

// `png` with `extra` put before the chunk of `type` (its first).
Bytes InsertBefore(const Bytes& png, const char* type, const Bytes& extra) {
  Bytes out(png.begin(), png.begin() + 8);
  bool done = false;
  for (const Bytes& c : Chunks(png)) {
    if (!done && TypeOf(c) == type) {
      out.insert(out.end(), extra.begin(), extra.end());
      done = true;
    }
    out.insert(out.end(), c.begin(), c.end());
  }
  return out;
}

Bytes Written(const QImage& image, const char* format, int quality = -1) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, format);
  writer.setQuality(quality);
  EXPECT_TRUE(writer.write(image));
  return FromQt(bytes);
}

// What Qt's reader makes of the whole bytes, as the loader keeps it.
QImage QtReading(const Bytes& bytes, const char* format) {
  QByteArray data(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<qsizetype>(bytes.size()));
  QBuffer buffer(&data);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, format);
  reader.setAutoDetectImageFormat(false);
  reader.setAutoTransform(true);
  QImage image;
  if (!reader.read(&image)) return {};
  return image;
}

// The picture drawn at its own size, as 0x00BBGGRR pixels row by row.
std::vector<model::Colour> Pixels(const picture::Picture& p) {
  model::Canvas canvas(p.Width(), p.Height());
  p.StretchDraw(canvas, {0, 0, p.Width(), p.Height()});
  std::vector<model::Colour> pixels;
  for (int y = 0; y < canvas.Height(); ++y)
    for (int x = 0; x < canvas.Width(); ++x) pixels.push_back(canvas.Pixel(x, y));
  return pixels;
}

std::vector<model::Colour> Pixels(const QImage& image) {
  const QImage opaque = picture::OpaqueOverWhite(image);
  std::vector<model::Colour> pixels;
  for (int y = 0; y < opaque.height(); ++y)
    for (int x = 0; x < opaque.width(); ++x) {
      const QRgb p = opaque.pixel(x, y);
      pixels.push_back(model::Rgb(static_cast<std::uint8_t>(qRed(p)),
                                  static_cast<std::uint8_t>(qGreen(p)),
                                  static_cast<std::uint8_t>(qBlue(p))));
    }
  return pixels;
}

std::string ErrorOf(const std::function<void()>& load) {
  try {
    load();
  } catch (const picture::LoadError& e) {
    return e.what();
  }
  return "(loaded)";
}

// A few colours, a transparent corner and a half-transparent one.
QImage Sample() {
  QImage image(7, 5, QImage::Format_ARGB32);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x)
      image.setPixel(x, y,
                     qRgba(x * 40, y * 60, (x * y * 13) & 0xFF,
                           x == 0   ? 0
                           : y == 0 ? 128
                                    : 255));
  return image;
}

// --- PNG ---------------------------------------------------------------------------------------

// Every chunk that cannot change the pixels may come anywhere before or after the image data
// without changing them; the colour chunks, which can, keep changing them exactly as Qt's reader
// does with the whole file.
TEST(PngChunks, PassedOverChunksLeaveThePixelsAsTheyWere) {
  const QImage sample = Sample();
  const Bytes bases[] = {
      Written(sample, "png"),
      Written(sample.convertToFormat(QImage::Format_RGB32), "png"),
      Written(sample.convertToFormat(QImage::Format_Indexed8), "png"),
      Written(sample.convertToFormat(QImage::Format_Grayscale16), "png"),
      Written(sample.convertToFormat(QImage::Format_Mono), "png"),
  };
  const Bytes text = Chunk("tEXt", FromQt(QByteArray("Comment\0a long remark", 21)));
  const Bytes privateChunk = Chunk("prVt", Bytes(70'000, 0xAB));  // larger than a read window
  const Bytes time = Chunk("tIME", {0x07, 0xEA, 12, 8, 14, 0, 0});
  const Bytes empty = Chunk("abCd", {});
  Bytes many;
  for (int i = 0; i < 20'000; ++i) many.insert(many.end(), empty.begin(), empty.end());
  // Colour chunks, which Qt's reader turns into the image's colour space, not its pixels.
  const Bytes gamma = Chunk("gAMA", {0x00, 0x01, 0x86, 0xA0});
  const Bytes srgb = Chunk("sRGB", {0});
  const struct {
    const char* name;
    const char* before;
    Bytes extra;
  } cases[] = {
      {"text before the data", "IDAT", text},
      {"text after the data", "IEND", text},
      {"private chunk", "IDAT", privateChunk},
      {"time and private after", "IEND", time},
      {"twenty thousand empty chunks", "IDAT", many},
      {"gamma", "IDAT", gamma},
      {"sRGB and text", "IDAT", srgb},
  };
  for (std::size_t b = 0; b < std::size(bases); ++b) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::to_string(b) + ": " + c.name);
      const Bytes file = InsertBefore(bases[b], c.before, c.extra);
      const QImage qt = QtReading(file, "png");
      ASSERT_FALSE(qt.isNull());
      const auto loaded = picture::DecodePng(file);
      EXPECT_EQ(Pixels(*loaded), Pixels(qt));
    }
  }
  // A chunk that changes the pixels is kept among the others: tRNS makes black transparent in
  // the opaque picture, so its black corner is drawn white.
  const Bytes transparentBlack = Chunk("tRNS", Bytes(6, 0));
  const Bytes withTrns = InsertBefore(bases[1], "IDAT", text + transparentBlack + privateChunk);
  const auto loaded = picture::DecodePng(withTrns);
  EXPECT_EQ(Pixels(*loaded), Pixels(QtReading(withTrns, "png")));
  EXPECT_EQ(Pixels(*picture::DecodePng(bases[1]))[0], model::kBlack);
  EXPECT_EQ(Pixels(*loaded)[0], model::kWhite);
}

// A source of `size` bytes that are `head`, then `fill` bytes, then `tail` at the end, and that
// counts what it delivers: a file of hundreds of megabytes with nothing held.
struct SparseSource {
  Bytes head;
  Bytes tail;
  std::uint64_t size = 0;
  std::uint8_t fill = 0;
  std::uint64_t delivered = 0;

  picture::ByteSource Source() {
    return {size, [this](std::uint64_t offset, std::uint8_t* data, std::size_t count) {
              const std::uint64_t end = std::min<std::uint64_t>(offset + count, size);
              const std::uint64_t tailStart = size - tail.size();
              for (std::uint64_t at = offset; at < end;) {
                std::uint8_t* out = data + (at - offset);
                if (at < head.size()) {
                  const std::uint64_t n = std::min<std::uint64_t>(end, head.size()) - at;
                  std::memcpy(out, head.data() + at, n);
                  at += n;
                } else if (at < tailStart) {
                  const std::uint64_t n = std::min(end, tailStart) - at;
                  std::memset(out, fill, n);
                  at += n;
                } else {
                  std::memcpy(out, tail.data() + (at - tailStart), end - at);
                  at = end;
                }
              }
              const std::size_t n = offset < end ? static_cast<std::size_t>(end - offset) : 0;
              delivered += n;
              return n;
            }};
  }
};

// A chunk's framing, for data of `length` zeros that the source supplies as a hole; the CRC of
// such a chunk is never checked, as its data is never read.
Bytes ChunkHeader(const char* type, std::uint32_t length) {
  Bytes out;
  PutBe32(out, length);
  out.insert(out.end(), type, type + 4);
  return out;
}

TEST(PngChunks, HundredsOfMegabytesPassedOverAreNotRead) {
  const Bytes png = Written(Sample(), "png");
  const std::vector<Bytes> chunks = Chunks(png);
  Bytes signatureAndHeader(png.begin(), png.begin() + 8);
  signatureAndHeader.insert(signatureAndHeader.end(), chunks[0].begin(), chunks[0].end());
  Bytes rest;
  for (std::size_t i = 1; i < chunks.size(); ++i)
    rest.insert(rest.end(), chunks[i].begin(), chunks[i].end());
  const std::uint32_t kHuge = 400u << 20;
  const struct {
    const char* name;
    const char* type;
    bool loads;
  } cases[] = {
      // Text and private chunks before the image data: passed over.
      {"text", "tEXt", true},
      {"private", "prVt", true},
      // A colour profile too large for libpng to keep: passed over as libpng would ignore it.
      {"profile", "iCCP", true},
      // A critical chunk nobody knows: Qt's reader would refuse the file after reading all of
      // it; it is refused at its header.
      {"unknown critical", "CRIT", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SparseSource file;
    file.head = signatureAndHeader;
    const Bytes header = ChunkHeader(c.type, kHuge);
    file.head.insert(file.head.end(), header.begin(), header.end());
    file.tail = Bytes(4, 0);  // the huge chunk's CRC
    file.tail.insert(file.tail.end(), rest.begin(), rest.end());
    file.size = file.head.size() + kHuge + file.tail.size();
    picture::ReaderWork work;
    const picture::ByteSource source = file.Source();
    std::unique_ptr<picture::Picture> loaded;
    const std::string error = ErrorOf([&] { loaded = picture::ReadPngCounting(source, work); });
    if (c.loads) {
      ASSERT_EQ(error, "(loaded)");
      EXPECT_EQ(Pixels(*loaded), Pixels(QtReading(png, "png")));
    } else {
      EXPECT_EQ(error, "PNG image is not valid");
    }
    EXPECT_EQ(work.bytesRead, file.delivered);
    EXPECT_LT(work.bytesRead, 1u << 20);
  }

  // Image data going on far past what the rows need: the picture is whole before it, and what
  // follows is not read.
  SparseSource extra;
  extra.head = png;
  extra.head.resize(png.size() - 12);  // without IEND
  const Bytes idat = ChunkHeader("IDAT", kHuge);
  extra.head.insert(extra.head.end(), idat.begin(), idat.end());
  extra.tail = Bytes(4, 0);
  const Bytes iend = Chunk("IEND", {});
  extra.tail.insert(extra.tail.end(), iend.begin(), iend.end());
  extra.size = extra.head.size() + kHuge + extra.tail.size();
  picture::ReaderWork work;
  const picture::ByteSource source = extra.Source();
  const auto loaded = picture::ReadPngCounting(source, work);
  EXPECT_EQ(Pixels(*loaded), Pixels(QtReading(png, "png")));
  EXPECT_LT(work.bytesRead, 1u << 20);
}

// --- JPEG --------------------------------------------------------------------------------------

// A segment of `type` holding `data`.
Bytes Segment(std::uint8_t type, const Bytes& data) {
  const std::size_t length = data.size() + 2;
  Bytes out{0xFF, type, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)};
  return out + data;
}

// `jpeg` with `extra` right after its start-of-image marker.
Bytes AfterStart(const Bytes& jpeg, const Bytes& extra) {
  return Bytes(jpeg.begin(), jpeg.begin() + 2) + extra + Bytes(jpeg.begin() + 2, jpeg.end());
}

// Comments and other programs' segments, anywhere before the scan, leave the pixels as Qt's reader
// makes them of the whole file; the segments that tell the colours and the turn still count.
TEST(JpegSegments, PassedOverSegmentsLeaveThePixelsAsTheyWere) {
  QImage colour(16, 8, QImage::Format_RGB32);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 16; ++x) colour.setPixel(x, y, qRgb(x * 16, 255 - y * 30, (x * y) & 0xFF));
  QImage turned(16, 8, QImage::Format_RGB32);
  turned.fill(Qt::white);
  for (int y = 0; y < 8; ++y) turned.setPixel(0, y, qRgb(0, 0, 0));
  QByteArray turnedBytes;
  {
    QBuffer buffer(&turnedBytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setTransformation(QImageIOHandler::TransformationRotate90);
    ASSERT_TRUE(writer.write(turned));
  }
  const Bytes comment = Segment(0xFE, FromQt("made by hand"));
  const Bytes icc =
      Segment(0xE2, FromQt(QByteArray("ICC_PROFILE\0\1\1", 14) + QByteArray(200, 'p')));
  const Bytes own = Segment(0xE9, Bytes(65533, 0x11));
  // An Adobe segment, which libjpeg reads for the colours.
  const Bytes adobe = Segment(0xEE, FromQt(QByteArray("Adobe\0\x64\0\0\0\0\0", 12)));
  Bytes manyComments;
  for (int i = 0; i < 200; ++i) manyComments = manyComments + comment;
  const struct {
    const char* name;
    Bytes file;
  } cases[] = {
      {"comment", AfterStart(Written(colour, "jpeg"), comment)},
      {"profile and own segments", AfterStart(Written(colour, "jpeg"), icc + own + own)},
      {"many comments", AfterStart(Written(colour, "jpeg"), manyComments)},
      {"Adobe", AfterStart(Written(colour, "jpeg"), comment + adobe)},
      {"turned, comments first", AfterStart(FromQt(turnedBytes), manyComments + icc)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const QImage qt = QtReading(c.file, "jpeg");
    ASSERT_FALSE(qt.isNull());
    const auto loaded = picture::DecodeJpeg(c.file);
    EXPECT_EQ(Pixels(*loaded), Pixels(qt));
  }
  // The Exif segment is kept after those passed over: the photograph is still turned upright.
  EXPECT_EQ(picture::DecodeJpeg(cases[4].file)->Width(), 8);
}

TEST(JpegSegments, HundredsOfMegabytesOfCommentsAreNotRead) {
  const Bytes jpeg = Written(Sample().convertToFormat(QImage::Format_RGB32), "jpeg");
  // 6,000 comments of 64 KB: the source repeats the one comment, header and all.
  const Bytes comment = Segment(0xFE, Bytes(65533, 'c'));
  constexpr std::uint64_t kComments = 6000;
  const std::uint64_t size = 2 + kComments * comment.size() + (jpeg.size() - 2);
  std::uint64_t delivered = 0;
  const picture::ByteSource source{
      size, [&](std::uint64_t offset, std::uint8_t* data, std::size_t count) {
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(count, size - std::min(offset, size)));
        const std::uint64_t commentsEnd = 2 + kComments * comment.size();
        for (std::size_t i = 0; i < n; ++i) {
          const std::uint64_t at = offset + i;
          data[i] = at < 2             ? jpeg[at]
                    : at < commentsEnd ? comment[(at - 2) % comment.size()]
                                       : jpeg[2 + (at - commentsEnd)];
        }
        delivered += n;
        return n;
      }};
  picture::ReaderWork work;
  const auto loaded = picture::ReadJpegCounting(source, work);
  EXPECT_EQ(Pixels(*loaded), Pixels(QtReading(jpeg, "jpeg")));
  EXPECT_EQ(work.bytesRead, delivered);
  // Each comment's header is read, with a few hundred bytes after it, and none of the rest.
  EXPECT_LT(work.bytesRead, kComments * (64u << 10) / 4);
  EXPECT_GT(size, 390'000'000u);
}

// --- GIF ---------------------------------------------------------------------------------------

Bytes DataFile(const char* name) {
  QFile file(QString(DOTWRIGHT_TEST_DATA) + "/formats/" + name);
  EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
  return FromQt(file.readAll());
}

// Comments and other extensions before the first picture, and anything after it, leave it as
// Qt's reader shows it from the whole file.
TEST(GifBlocks, PassedOverBlocksLeaveTheFirstPictureAsItWas) {
  for (const char* name : {"magick.gif", "anim.gif"}) {
    SCOPED_TRACE(name);
    const Bytes gif = DataFile(name);
    ASSERT_GT(gif.size(), 13u);
    const std::size_t colours = gif[10] & 0x80 ? 3u << ((gif[10] & 7) + 1) : 0;
    const auto at = static_cast<std::ptrdiff_t>(13 + colours);
    const Bytes head(gif.begin(), gif.begin() + at);
    const Bytes rest(gif.begin() + at, gif.end());
    Bytes comment{0x21, 0xFE};
    for (int i = 0; i < 300; ++i) comment = comment + Bytes{255} + Bytes(255, 'c');
    comment.push_back(0);
    const Bytes application = Bytes{0x21, 0xFF, 11} + FromQt("XMP DataXMP") + Bytes{3, 1, 2, 3, 0};
    const Bytes plainText = Bytes{0x21, 0x01, 12} + Bytes(12, 0) + Bytes{2, 'h', 'i', 0};
    const Bytes cases[] = {
        head + comment + rest,
        head + application + plainText + comment + rest,
        // Junk after the end: never reached.
        gif + Bytes(1000, 0x2C),
    };
    for (const Bytes& file : cases) {
      const QImage qt = QtReading(file, "gif");
      ASSERT_FALSE(qt.isNull());
      EXPECT_EQ(Pixels(*picture::DecodeGif(file)), Pixels(qt));
    }
  }
  // A screen of more than 100 megapixels is refused from the header.
  Bytes huge = DataFile("magick.gif");
  huge[6] = huge[7] = huge[8] = huge[9] = 0xFF;
  EXPECT_EQ(ErrorOf([&] { picture::DecodeGif(huge); }), "GIF image is not valid");
}

// --- WebP --------------------------------------------------------------------------------------

Bytes RiffChunk(const char* type, const Bytes& data) {
  Bytes out(type, type + 4);
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(data.size() >> (8 * i)));
  out = out + data;
  if (data.size() % 2) out.push_back(0);
  return out;
}

// `chunks` in a RIFF of `extraSize` more bytes than they hold.
Bytes Riff(const Bytes& chunks, std::uint64_t extraSize = 0) {
  const std::uint64_t size = 4 + chunks.size() + extraSize;
  Bytes out{'R', 'I', 'F', 'F'};
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(size >> (8 * i)));
  return out + FromQt("WEBP") + chunks;
}

TEST(WebpChunks, PassedOverChunksLeaveThePixelsAsTheyWere) {
  const Bytes webp = Written(Sample(), "webp", 100);  // lossless: one VP8L chunk
  const Bytes image(webp.begin() + 12, webp.end());
  ASSERT_EQ(std::string(image.begin(), image.begin() + 4), "VP8L");
  // The extended format, which allows other chunks: alpha, Exif and XMP, 7 x 5.
  const Bytes extended = RiffChunk("VP8X", {0x1C, 0, 0, 0, 6, 0, 0, 4, 0, 0});
  const Bytes metadata = RiffChunk("EXIF", Bytes(301, 1)) + RiffChunk("XMP ", Bytes(20, 'x'));
  const Bytes unknown = RiffChunk("ABCD", Bytes(70'000, 7));
  const Bytes cases[] = {
      Riff(extended + image + metadata), Riff(extended + unknown + image + unknown),
      webp + Bytes(5000, 0xEE),  // past the RIFF's end
  };
  for (const Bytes& file : cases) {
    SCOPED_TRACE(file.size());
    const QImage qt = QtReading(file, "webp");
    ASSERT_FALSE(qt.isNull());
    EXPECT_EQ(Pixels(*picture::DecodeWebp(file)), Pixels(qt));
  }
  // Hundreds of megabytes in an unknown chunk are not read.
  SparseSource file;
  file.head = Riff(extended + image + FromQt("ABCD") + Bytes{0, 0, 0, 25}, 400u << 20);
  file.size = file.head.size() + (400u << 20);
  picture::ReaderWork work;
  const picture::ByteSource source = file.Source();
  EXPECT_EQ(Pixels(*picture::ReadWebpCounting(source, work)), Pixels(QtReading(webp, "webp")));
  EXPECT_EQ(work.bytesRead, file.delivered);
  EXPECT_LT(work.bytesRead, 1u << 20);
}

// --- Converting to 32 bits --------------------------------------------------------------------

// A band at a time, the conversion gives what converting the whole picture gives, for every
// format a reader returns opaque, in pictures of a band, less, and several with a part left.
TEST(ToRgb32, ConvertsAsAWholeConversionDoes) {
  QImage base(37, 150, QImage::Format_RGB32);
  for (int y = 0; y < base.height(); ++y)
    for (int x = 0; x < base.width(); ++x)
      base.setPixel(x, y, qRgb((x * 7 + y) & 0xFF, (y * 3) & 0xFF, (x * y) & 0xFF));
  const QImage::Format formats[] = {
      QImage::Format_Grayscale8, QImage::Format_Grayscale16, QImage::Format_Indexed8,
      QImage::Format_Mono,       QImage::Format_MonoLSB,     QImage::Format_RGB888,
      QImage::Format_RGB16,      QImage::Format_RGBX64,      QImage::Format_BGR888,
  };
  for (const QImage::Format format : formats)
    for (const int height : {1, 64, 150}) {
      SCOPED_TRACE(std::to_string(format) + " x " + std::to_string(height));
      const QImage source = base.copy(0, 0, base.width(), height).convertToFormat(format);
      const QImage whole = source.convertToFormat(QImage::Format_RGB32);
      QImage copy = source.copy();
      const QImage banded = picture::ToRgb32Releasing(std::move(copy));
      ASSERT_EQ(banded.format(), QImage::Format_RGB32);
      EXPECT_EQ(banded, whole);
    }
}

#if !defined(__SANITIZE_ADDRESS__)  // its allocator keeps what is freed for a while
// A 100-megapixel grey PNG (10000 x 10000, zeros, 100 KB) decodes to 100 MB of greys, then to
// the 400 MB it is drawn from: the greys go back as they are converted, so the process grows by
// little more than the 400 MB.
TEST(ToRgb32, AGreyPictureOfAHundredMegapixelsGrowsByItsRasterOnly) {
  Bytes deflated(200'000);
  {
    z_stream z{};
    deflateInit(&z, 9);
    const Bytes row(10'001, 0);
    z.next_out = deflated.data();
    z.avail_out = static_cast<uInt>(deflated.size());
    for (int y = 0; y < 10'000; ++y) {
      z.next_in = const_cast<Bytef*>(row.data());
      z.avail_in = static_cast<uInt>(row.size());
      deflate(&z, y + 1 == 10'000 ? Z_FINISH : Z_NO_FLUSH);
    }
    deflated.resize(z.total_out);
    deflateEnd(&z);
  }
  Bytes header;
  PutBe32(header, 10'000);
  PutBe32(header, 10'000);
  header = header + Bytes{8, 0, 0, 0, 0};
  const Bytes png = FromQt(QByteArray("\x89PNG\r\n\x1a\n", 8)) + Chunk("IHDR", header) +
                    Chunk("IDAT", deflated) + Chunk("IEND", {});
  // The process's peak resident size is reset and read back (no child: Qt's conversions run on
  // its thread pool, which a forked child does not have).
  const auto kb = [](const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
      if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::strlen(field)));
    return -1L;
  };
  if (!std::ofstream("/proc/self/clear_refs").write("5", 1)) GTEST_SKIP() << "no clear_refs";
  const long before = kb("VmRSS:");
  ASSERT_LE(kb("VmHWM:"), before + 1024);
  const auto picture = picture::DecodePng(png);
  ASSERT_EQ(picture->Width(), 10'000);
  EXPECT_LE((kb("VmHWM:") - before) / 1024, 440) << "MB more at the peak";
}
#endif

// --- TIFF --------------------------------------------------------------------------------------

// A TIFF header and first directory of one entry: `tag`, `type` and `count`.
Bytes TiffDirectory(bool little, bool big, std::uint16_t tag, std::uint16_t type,
                    std::uint64_t count) {
  Bytes out;
  const auto put = [&](std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
      out.push_back(static_cast<std::uint8_t>(v >> (8 * (little ? i : bytes - 1 - i))));
  };
  out.push_back(little ? 'I' : 'M');
  out.push_back(little ? 'I' : 'M');
  if (big) {
    put(43, 2);
    put(8, 2);
    put(0, 2);
    put(16, 8);
    put(1, 8);
    put(tag, 2);
    put(type, 2);
    put(count, 8);
    put(0, 8);
  } else {
    put(42, 2);
    put(8, 4);
    put(1, 2);
    put(tag, 2);
    put(type, 2);
    put(count, 4);
    put(0, 4);
  }
  return out;
}

TEST(TiffTags, TooManyValuesForATagAreTold) {
  const std::uint64_t pieces = picture::kMaxTiffPieces;
  const std::uint64_t bytes = picture::kMaxTiffTagBytes;
  const struct {
    std::uint16_t tag;
    std::uint16_t type;
    std::uint64_t count;
    bool tooLarge;
  } cases[] = {
      {273, 4, pieces, false},  // strip offsets
      {273, 4, pieces + 1, true},
      {279, 3, pieces + 1, true},   // strip sizes
      {324, 4, pieces + 1, true},   // tile offsets
      {325, 16, pieces + 1, true},  // tile sizes, 8 bytes each
      {700, 1, bytes, false},       // XMP, bytes
      {700, 1, bytes + 1, true},
      {34675, 7, bytes + 1, true},   // a colour profile
      {65000, 5, bytes / 8, false},  // rationals, 8 bytes each
      {65000, 5, bytes / 8 + 1, true},
      {65000, 99, bytes * 4, false},  // no type libtiff knows: not read
  };
  for (const bool little : {true, false})
    for (const bool big : {false, true})
      for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.tag) + " of " + std::to_string(c.count) +
                     (little ? " II" : " MM") + (big ? " BigTIFF" : ""));
        if (!big && c.count > 0xFFFFFFFFu) continue;
        const Bytes file = TiffDirectory(little, big, c.tag, c.type, c.count);
        EXPECT_EQ(picture::TiffTagsTooLarge(picture::MemorySource(file)), c.tooLarge);
      }
  const Bytes file = TiffDirectory(true, false, 273, 4, pieces + 1);
  EXPECT_EQ(ErrorOf([&] { picture::DecodeTiff(file); }), "TIFF image is not valid");
  // Files too short to tell are left to Qt's reader.
  EXPECT_FALSE(
      picture::TiffTagsTooLarge(picture::MemorySource(Bytes(file.begin(), file.begin() + 9))));
}

// --- Text pictures -----------------------------------------------------------------------------

// Our readers give what Qt's give for the same bytes, refusals included, whatever the spacing,
// comments, numbers out of range or cuts.
TEST(TextPictures, ReadAsQtsReadersRead) {
  const struct {
    const char* format;
    QByteArray bytes;
  } cases[] = {
      {"pbm", "P1\n3 2\n1 0 1\n0 1 0\n"},
      {"pbm", "P1 # comment\n10 2 1 1 0 0 1 1 0 0 1 1\n0 0 0 0 0 0 0 0 0 1"},
      {"pbm", "P1\n2 2\n1 0 1"},  // cut short
      {"pbm", "P1\n2 1\n101 2"},  // numbers, not digits
      {"pbm", "P1\n2 1\n1 x"},    // not a number
      {"pbm", "P1\n0 1\n"},       // no width
      {"pgm", "P2\n3 1\n255\n0 128 255"},
      {"pgm", "P2\n3 1\n15\n0 7 15\n"},        // scaled
      {"pgm", "P2\n3 1\n15\n16 300 70000\n"},  // beyond the maximum
      {"pgm", "P2\n2 1\n255\n256 -1\n"},
      {"pgm", "P2\n2 1\n255\n99999999999 1\n"},  // too large for an int
      {"pgm", "P2\n2 1\n65535\n65535 1000\n"},
      {"pgm", "P2\n2 1\n65536\n0 0\n"},  // maximum too large
      {"pgm", "P2\n#a\n#b\n2#c\n1\n255#d\n7#e\n9"},
      {"pgm", "P2\t2\r1\f255\v1 2"},
      {"pgm", "P2\n2 1\n255\n1 2 3 4"},  // more than the picture
      {"pgm", "P2"},
      {"pgm", "P7\n1 1\n255\n0"},
      {"ppm", "P3\n2 1\n255\n255 0 0 0 255 0\n"},
      {"ppm", "P3\n2 1\n1000\n1000 500 0 0 999 1\n"},
      {"ppm", "P3\n2 1\n100\n300 50 0 0 999 1\n"},
      {"ppm", "P3\n1 1\n255\n1 2"},
      // A number split across the reader's 64 KiB pieces.
      {"pgm", "P2\n3 1\n255\n" + QByteArray(65536 - 15 - 2, ' ') + "123 45 6"},
      {"pbm", "P1\n2 1\n" + QByteArray(100000, ' ') + "1 1"},
      {"xbm",
       "#define a_width 10\n#define a_height 2\nstatic char a_bits[] = {\n"
       "0x01, 0x02, 0xff,\n0xAb };\n"},
      {"xbm", "/* made by hand */\n#define a_width 8\n#define a_height 3\n{0x01,0x02}"},  // short
      {"xbm", "#define a_width 8\n#define a_height 1\n0xzz\n"},
      {"xbm", "#define a_width 8\n#define a_height 1\n0x1\n0x"},
      {"xbm", "#define a_width 8\n#define a_height 1\n"},
      {"xbm", "#define\ta.w\t16\n#define h 1\n 0x12,0x34"},
      {"xbm", "#define a_width 8\n"},
      {"xbm", "#define a_width 0\n#define a_height 1\n0x00"},
      {"xbm", "x\n#define a_width 8\n#define a_height 1\n0x80"},
      {"xbm", QByteArray(300, 'x') + "\n#define a_width 8\n#define a_height 1\n0x80"},
      {"xbm", "#define a_width 8\n#define a_height 2\n" + QByteArray(400, ' ') + "0x01 0x02\n"},
      {"xbm", "#define a_width 8\n#define a_height 1\n" + QByteArray(70000, '\n') + "0x0F"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.format) + ": " + c.bytes.left(60).toStdString());
    const Bytes bytes = FromQt(c.bytes);
    const QImage qt = QtReading(bytes, c.format);
    const std::optional<QImage> ours =
        picture::ReadTextPicture(picture::MemorySource(bytes), c.format);
    ASSERT_TRUE(ours.has_value());
    ASSERT_EQ(ours->isNull(), qt.isNull());
    if (qt.isNull()) continue;
    EXPECT_EQ(ours->size(), qt.size());
    EXPECT_EQ(ours->depth() == 1, qt.depth() == 1);
    EXPECT_EQ(Pixels(*ours), Pixels(qt));
  }
  // Binary ones are left to Qt's reader.
  for (const char* binary : {"P4\n1 1\n\x80", "P5\n1 1\n255\n\x10", "P6\n1 1\n255\n\x10\x20\x30"})
    EXPECT_FALSE(picture::ReadTextPicture(picture::MemorySource(FromQt(binary)), "pgm").has_value())
        << binary;
}

// --- Files never held whole --------------------------------------------------------------------

#if !defined(__SANITIZE_ADDRESS__)
// Files of 100 MB (holes: no disk space) whose pictures are tiny load in a child that has far
// less room than the file: they are read as far as needed, never held whole.
TEST(QtKindsFromFiles, LargeFilesOfSmallPicturesLoadInLittleMemory) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  constexpr std::uint64_t kHole = 100u << 20;
  const Bytes png = Written(Sample(), "png");
  const std::vector<Bytes> chunks = Chunks(png);
  Bytes pngHead(png.begin(), png.begin() + 8);
  pngHead.insert(pngHead.end(), chunks[0].begin(), chunks[0].end());
  const Bytes privateHeader = ChunkHeader("prVt", static_cast<std::uint32_t>(kHole));
  pngHead.insert(pngHead.end(), privateHeader.begin(), privateHeader.end());
  Bytes pngTail(4, 0);
  for (std::size_t i = 1; i < chunks.size(); ++i)
    pngTail.insert(pngTail.end(), chunks[i].begin(), chunks[i].end());
  const Bytes jpeg = Written(Sample().convertToFormat(QImage::Format_RGB32), "jpeg");
  const struct {
    const char* name;
    Bytes head;  // then the hole
    Bytes tail;
    int width;
  } cases[] = {
      {"private.png", pngHead, pngTail, 7},
      // A JPEG's reader stops at its end; zeros follow.
      {"trailing.jpg", jpeg, {}, 7},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.filePath(c.name).toStdString();
    {
      QFile file(QString::fromStdString(path));
      ASSERT_TRUE(file.open(QIODevice::WriteOnly));
      file.write(reinterpret_cast<const char*>(c.head.data()), static_cast<qint64>(c.head.size()));
      file.resize(static_cast<qint64>(c.head.size() + kHole));
      file.seek(file.size());
      file.write(reinterpret_cast<const char*>(c.tail.data()), static_cast<qint64>(c.tail.size()));
    }
    ASSERT_GT(std::filesystem::file_size(path), kHole);
    const int status = pictest::InChildWithHeadroom(std::size_t{40} << 20, [&] {
      try {
        return picture::LoadPicture(path)->Width() == c.width ? 0 : 2;
      } catch (const std::exception&) {
        return 1;
      }
    });
    EXPECT_EQ(status, 0);
  }
}

// Text pictures of 300 MB, nearly all of it a comment, white space or lines without data, are
// read in a child that has far less room: in pieces, never held whole.
TEST(TextPictures, LongFilesAreReadInPieces) {
  const struct {
    const char* format;
    const char* head;
    std::uint8_t fill;
    const char* tail;
    int width;
  } cases[] = {
      {"pgm", "P2\n#", 'x', "\n2 1\n255\n0 255\n", 2},
      {"pbm", "P1\n3 1\n", ' ', "1 0 1\n", 3},
      {"ppm", "P3\n1 1 255 9", '9', " 1 2\n", 1},  // a number too long for an int
      {"xbm", "#define a_width 8\n#define a_height 1\n", 'y', "\n0x0F\n", 8},
      {"xbm", "#define a_width 8\n#define a_height 1\n", '\n', "0x0F\n", 8},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.format) + " of '" + static_cast<char>(c.fill) + "'");
    SparseSource file;
    file.head = FromQt(c.head);
    file.tail = FromQt(c.tail);
    file.fill = c.fill;
    file.size = std::uint64_t{300} << 20;
    const int status = pictest::InChildWithHeadroom(std::size_t{16} << 20, [&] {
      try {
        const picture::ByteSource source = file.Source();
        const std::optional<QImage> image = picture::ReadTextPicture(source, c.format);
        if (!image || image->width() != c.width) return 2;
        return file.delivered == file.size ? 0 : 3;
      } catch (const std::exception&) {
        return 1;
      }
    });
    EXPECT_EQ(status, 0);
  }
}
#endif

// --- SVG ---------------------------------------------------------------------------------------

std::string Svg(const std::string& body) {
  return "<svg xmlns='http://www.w3.org/2000/svg' xmlns:xlink='http://www.w3.org/1999/xlink'"
         " width='32' height='24'>" +
         body + "</svg>";
}

std::string Repeated(const std::string& text, std::uint64_t times) {
  std::string out;
  for (std::uint64_t i = 0; i < times; ++i) out += text;
  return out;
}

// `levels` groups, each using the one before `fanOut` times, the first holding `fanOut` rects.
std::string UseChain(int levels, int fanOut, const char* href = "xlink:href") {
  std::string body =
      "<defs><g id='g0'>" + Repeated("<rect width='1' height='1'/>", fanOut) + "</g>";
  for (int level = 1; level <= levels; ++level)
    body +=
        "<g id='g" + std::to_string(level) + "'>" +
        Repeated(std::string("<use ") + href + "='#g" + std::to_string(level - 1) + "'/>", fanOut) +
        "</g>";
  return Svg(body + "</defs><use xlink:href='#g" + std::to_string(levels) + "'/>");
}

Bytes AsBytes(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

TEST(SvgLimits, CountElementsNumbersAndWhatReferencesDraw) {
  const std::uint64_t limit = picture::kMaxSvgElements;
  const struct {
    const char* name;
    std::string text;
    bool within;
    std::uint64_t drawn;  // when within
  } cases[] = {
      {"three rects", Svg(Repeated("<rect width='1' height='1'/>", 3)), true, 4},
      {"at the limit", Svg(Repeated("<rect/>", limit - 1)), true, limit},
      {"one past", Svg(Repeated("<rect/>", limit)), false, 0},
      {"a short chain", UseChain(2, 3), true, 0},  // counted below
      // 10^6 rects drawn from 70 elements.
      {"a long chain", UseChain(5, 10), false, 0},
      {"href without xlink", UseChain(5, 10, "href"), false, 0},
      {"a cycle", Svg("<g id='a'><use xlink:href='#b'/></g><g id='b'><use xlink:href='#a'/></g>"),
       false, 0},
      {"itself", Svg("<g id='a'><rect/><use xlink:href='#a'/></g>"), false, 0},
      {"a missing reference", Svg("<use xlink:href='#nowhere'/>"), true, 2},
      {"deep nesting", Svg(Repeated("<g>", 300) + Repeated("</g>", 300)), false, 0},
      {"numbers within", Svg("<path d='M 0 0" + Repeated(" L 1 2", 1000) + "'/>"), true, 2},
      {"text within", Svg("<text>" + std::string(picture::kMaxSvgCharacters, 'W') + "</text>"),
       true, 2},
      {"too much text",
       Svg("<text>" + std::string(picture::kMaxSvgCharacters / 2 + 1, 'W') + "</text><style>" +
           std::string(picture::kMaxSvgCharacters / 2, 'x') + "</style>"),
       false, 0},
      {"white space is free",
       Svg("<g>" + std::string(picture::kMaxSvgCharacters * 2, ' ') + "</g>"), true, 2},
      {"too many numbers",
       Svg("<polyline points='" + Repeated("1,2 ", picture::kMaxSvgNumbers / 2 + 1) + "'/>"), false,
       0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    picture::SvgWork work;
    EXPECT_EQ(picture::SvgWithinLimits(AsBytes(c.text), work), c.within);
    if (c.within && c.drawn != 0) {
      EXPECT_EQ(work.drawn, c.drawn);
    }
  }
  // The short chain's count, in full: svg; defs with g0 (itself and 3 rects), g1 (itself and 3
  // uses of g0, each 1 + 4) and g2 (itself and 3 uses of g1, each 1 + 16); the use of g2 (1 + 52).
  picture::SvgWork work;
  ASSERT_TRUE(picture::SvgWithinLimits(AsBytes(UseChain(2, 3)), work));
  EXPECT_EQ(work.elements, 1u + 1 + 4 + 4 + 4 + 1);
  EXPECT_EQ(work.drawn, 1u + (1 + (1 + 3) + (1 + 3 * 5) + (1 + 3 * 17)) + (1 + 52));
}

TEST(SvgLimits, CostlyDrawingsAreRefusedAndOrdinaryOnesLoad) {
  const std::string dashed =
      "<rect x='1' y='1' width='30' height='20' stroke='red' stroke-width='3' "
      "stroke-dasharray='0.01 0.01'/>";
  const std::string rect = "<rect x='1' y='1' width='30' height='20' fill='#123456'/>";
  const struct {
    const char* name;
    std::string text;
    bool loads;
  } cases[] = {
      {"a few shapes", Svg(rect + "<circle cx='5' cy='5' r='4'/>"), true},
      {"a dashed rect", Svg(dashed), true},
      // Each dashed rect takes 10,000 dashes of a wide pen: 5,000 repetitions of the pattern.
      {"many dashed rects", Svg(Repeated(dashed, 200)), false},
      {"a use chain", UseChain(6, 10), false},
      // A path whose every edge crosses the whole view.
      {"a dense path", Svg("<path d='M 0 0" + Repeated(" L 32 24 L 0 24 L 32 0", 20000) + "'/>"),
       false},
      {"many turned, blended fills",
       Svg(Repeated("<rect width='32' height='24' opacity='0.5' transform='rotate(5)'/>", 20000)),
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes bytes = AsBytes(c.text);
    EXPECT_EQ(ErrorOf([&] { picture::DecodeSvg(bytes); }),
              c.loads ? "(loaded)" : "SVG image is not valid");
  }
}

// A gzip-compressed drawing (as Qt reads it) loads as the plain one; one that inflates past the
// limit is refused, inflating no further.
TEST(SvgLimits, CompressedDrawingsAreInflatedWithinTheLimit) {
  const std::string plain = Svg("<rect x='0' y='0' width='16' height='24' fill='black'/>");
  const auto gzip = [](const std::string& text) {
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, MAX_WBITS + 16, 8, Z_DEFAULT_STRATEGY);
    Bytes out(deflateBound(&z, static_cast<uLong>(text.size())) + 64);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
  };
  const auto fromPlain = picture::DecodeSvg(AsBytes(plain));
  const auto fromGzip = picture::DecodeSvg(gzip(plain));
  ASSERT_EQ(fromGzip->Width(), 32);
  EXPECT_EQ(Pixels(*fromGzip), Pixels(*fromPlain));
  // A comment of zeros past the limit, compressed to a few kilobytes.
  const std::string bomb = plain + "<!--" + std::string(picture::kMaxSvgBytes, ' ') + "-->";
  EXPECT_EQ(ErrorOf([&] { picture::DecodeSvg(gzip(bomb)); }), "SVG image is not valid");
}

// A true-colour TGA: the 18-byte header's fields as given, `body` bytes of pseudo-random data after
// it (identification, colour map and pixels alike), and the version 2 footer when asked.
struct TgaCase {
  const char* name;
  std::uint8_t idLength = 0;
  std::uint8_t mapType = 0;
  std::uint16_t mapLength = 0;
  std::uint8_t mapDepth = 0;
  std::uint8_t xOffsetLow = 0;  // read by Qt's reader as the map depth's high byte
  std::uint8_t bits = 24;
  std::uint16_t width = 7;
  std::uint16_t height = 5;
  std::uint8_t descriptor = 0;
  std::size_t body = 0;  // 0: exactly what the header says the file holds
  bool footer = false;
};

Bytes Tga(const TgaCase& c) {
  Bytes file = {c.idLength, c.mapType, 2, 0, 0, std::uint8_t(c.mapLength),
                std::uint8_t(c.mapLength >> 8), c.mapDepth, c.xOffsetLow, 0, 0, 0,
                std::uint8_t(c.width), std::uint8_t(c.width >> 8), std::uint8_t(c.height),
                std::uint8_t(c.height >> 8), c.bits, c.descriptor};
  const std::size_t mapEntries = c.mapType == 1 ? c.mapLength : 0;
  const std::size_t needed = std::size_t{c.idLength} + mapEntries * ((c.mapDepth + 7) / 8) +
                             std::size_t{c.width} * c.height * ((c.bits + 7) / 8);
  std::uint32_t seed = 12345;
  for (std::size_t i = 0; i < (c.body ? c.body : needed); ++i) {
    seed = seed * 1103515245u + 12345u;
    file.push_back(std::uint8_t(seed >> 16));
  }
  if (c.footer) {
    const char signature[] = "TRUEVISION-XFILE.";
    file.insert(file.end(), 8, 0);
    file.insert(file.end(), signature, signature + sizeof signature);
  }
  return file;
}

// Qt's TGA reader reads a pixel a call; the picture is read a row at a time instead, and must come
// out as Qt's reader makes it, whatever the header says: where the pixels start (the reader counts
// the identification field and its own reckoning of the colour map twice, in int arithmetic), what
// a pixel the bytes run out in becomes, the 16-bit pixels' unscaled values and alpha, the row order.
TEST(TgaReading, GivesWhatQtsReaderGives) {
  const TgaCase cases[] = {
      {"24 bits, rows up"},
      {"24 bits, rows down", 0, 0, 0, 0, 0, 24, 7, 5, 0x20},
      {"32 bits", 0, 0, 0, 0, 0, 32, 6, 4, 0x28},
      {"16 bits", 0, 0, 0, 0, 0, 16, 9, 3},
      {"16 bits, rows down", 0, 0, 0, 0, 0, 16, 9, 3, 0x20},
      {"one pixel", 0, 0, 0, 0, 0, 24, 1, 1},
      {"identification skipped twice: the tail reads the footer, then nothing", 40},
      {"identification, with room after the pixels", 40, 0, 0, 0, 0, 24, 7, 5, 0, 300},
      {"colour map counted by its bits", 0, 1, 3, 24, 0, 24, 7, 5, 0, 400},
      {"colour map depth's second byte counted", 3, 1, 3, 24, 1, 24, 7, 5, 0, 2000},
      {"colour map not in use: no map counted", 5, 0, 300, 24, 0, 24, 7, 5},
      {"the file's own footer", 0, 0, 0, 0, 0, 24, 7, 5, 0, 0, true},
      {"the file's own footer and a skipped identification", 12, 0, 0, 0, 0, 32, 4, 4, 0x20, 0,
       true},
      {"not true-colour depth", 0, 0, 0, 0, 0, 8, 7, 5},
      {"no width", 0, 0, 0, 0, 0, 24, 0, 5, 0, 10},
      {"no height", 0, 0, 0, 0, 0, 24, 7, 0, 0, 10},
  };
  for (const TgaCase& c : cases) {
    const Bytes file = Tga(c);
    Bytes forQt = file;
    if (!c.footer) {
      const char signature[] = "TRUEVISION-XFILE.";
      forQt.insert(forQt.end(), 8, 0);
      forQt.insert(forQt.end(), signature, signature + sizeof signature);
    }
    const QImage qt = QtReading(forQt, "tga");
    if (qt.isNull()) {
      EXPECT_EQ(ErrorOf([&] { picture::DecodeTga(file); }), "TGA image is not valid") << c.name;
      continue;
    }
    std::unique_ptr<picture::Picture> loaded;
    ASSERT_EQ(ErrorOf([&] { loaded = picture::DecodeTga(file); }), "(loaded)") << c.name;
    ASSERT_EQ(loaded->Width(), qt.width()) << c.name;
    ASSERT_EQ(loaded->Height(), qt.height()) << c.name;
    EXPECT_EQ(Pixels(*loaded), Pixels(qt)) << c.name;
  }
}

// A colour map whose reckoning passes the reader's int (65535 entries times 65535 "bits", or
// times 32768 with 18 added) leaves no pixel: Qt's reader gets there by a skip of billions of
// single bytes (over 100 s on this machine), so the picture is compared with what it gives, all
// transparent black, which shows white.
TEST(TgaReading, AColourMapPastTheReadersCountLeavesNoPixel) {
  for (const std::uint8_t high : {std::uint8_t{255}, std::uint8_t{128}}) {
    TgaCase c{"huge map", 0, 1, 65535, std::uint8_t(high == 255 ? 255 : 0), high, 24, 7, 5};
    std::unique_ptr<picture::Picture> loaded;
    ASSERT_EQ(ErrorOf([&] { loaded = picture::DecodeTga(Tga(c)); }), "(loaded)") << int(high);
    EXPECT_EQ(Pixels(*loaded), std::vector<model::Colour>(7 * 5, model::kWhite)) << int(high);
  }
}

}  // namespace
