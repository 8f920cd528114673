#pragma once

// Pictures read by Qt's image readers and Qt SVG (picture/qt_image.cpp).

#include <QImage>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "model/bitmap.h"
#include "model/conversion.h"
#include "picture/picture.h"

namespace picture {

// The most memory, in MB, that Qt's image readers may take for one picture: a picture of
// dib::kMaxPixels at 4 bytes a pixel, and a little over.
inline constexpr int kReaderAllocationLimitMb = 400;

// `image` drawn over white where it is transparent, as an opaque RGB32 image (the same one when
// it is RGB32 already, converted in place otherwise).
QImage OpaqueOverWhite(QImage image);
// `image` (opaque, of any format) converted to RGB32 a band of rows at a time, as convertTo
// converts it, giving back the memory of the source's rows once converted. `image` must be the
// only copy of its pixels (detached); it is left unusable. Throws std::bad_alloc.
QImage ToRgb32Releasing(QImage image);

// `image` as a bitmap, drawn over white where it is transparent. An image of one bit a pixel
// (a PBM or XBM file, a two-colour PNG) is a two-colour source, as a one-bit BMP is.
model::Bitmap BitmapOverWhite(const QImage& image);

// Where a reader's bytes come from: `size` bytes, of which `read` copies up to `count` from
// `offset` on into `data` and says how many (fewer only at the end, or for a file cut shorter
// meanwhile). `read` may throw LoadError (a file that cannot be read).
struct ByteSource {
  std::uint64_t size = 0;
  std::function<std::size_t(std::uint64_t offset, std::uint8_t* data, std::size_t count)> read;
};
// Bytes in memory, which must outlive the source.
ByteSource MemorySource(std::span<const std::uint8_t> bytes);
// Copies up to `count` bytes of `source` from `offset` into `data`, as many as it holds, and says
// how many.
std::size_t ReadInto(const ByteSource& source, std::uint64_t offset, std::uint8_t* data,
                     std::size_t count);
// Up to `count` bytes of `source` from `offset`, as many as it holds.
std::vector<std::uint8_t> ReadPiece(const ByteSource& source, std::uint64_t offset,
                                    std::size_t count);

// The work a reading took: the bytes its source delivered.
struct ReaderWork {
  std::uint64_t bytesRead = 0;
};
// A PNG read from `source` as DecodePng reads it, counting into `work`. Qt's reader is handed the
// signature and the chunks that can change the pixels (the critical ones, tRNS, and the colour
// chunks gAMA, cHRM, sRGB, iCCP, sBIT); every other chunk (text, time, private, animation) is
// passed over unread. Image data beyond what any compressor makes of the rows (an eighth more,
// and 64 KB) is passed over too: the rows are complete before it, or the file is refused.
std::unique_ptr<Picture> ReadPngCounting(const ByteSource& source, ReaderWork& work);
// A JPEG read from `source` as DecodeJpeg reads it, counting into `work`. Up to the first scan,
// Qt's reader is handed the segments that make the pixels: tables, frame, restart interval, and
// the first four each of the JFIF (APP0), Exif (APP1, which turns the picture) and Adobe (APP14)
// segments; comments and the other application segments are passed over unread.
std::unique_ptr<Picture> ReadJpegCounting(const ByteSource& source, ReaderWork& work);

// A WebP read from `source` as DecodeWebp reads it, counting into `work`. Qt's reader, which takes
// all it is given into memory, is given the RIFF header (its size made that of what follows) and
// the chunks of the first picture: VP8X, ICCP (at most 16 MB), ANIM and the first ANMF, ALPH, VP8
// and VP8L, out of the first 100,000 chunks. Metadata, unknown chunks, later frames and anything
// past the RIFF's end are not read.
std::unique_ptr<Picture> ReadWebpCounting(const ByteSource& source, ReaderWork& work);

// Whether a TIFF's first directory names more values for a tag than libtiff is let take in
// (libtiff reads every tag's values into memory, whatever the picture): more than
// kMaxTiffTagBytes for a tag, or more than kMaxTiffPieces strips or tiles. DecodeTiff refuses
// such a file as not valid.
inline constexpr std::uint64_t kMaxTiffTagBytes = std::uint64_t{16} << 20;
inline constexpr std::uint64_t kMaxTiffPieces = 1'000'000;
bool TiffTagsTooLarge(const ByteSource& source);

// An SVG drawing is parsed only when its text (inflated, for a gzip-compressed file) is at most
// kMaxSvgBytes, it has at most kMaxSvgElements elements and kMaxSvgNumbers numbers in its path
// and point lists, and its <use> references, followed, stay within kMaxSvgElements drawn
// elements; otherwise it is refused as not valid. Within these, parsing and drawing it into a
// view take a small part of a second. Qt's parser holds about twelve times the text's size while
// it parses (an image of 15 MB inline took 186 MB): 6 MB stays within 100 MB.
inline constexpr std::uint64_t kMaxSvgBytes = std::uint64_t{6} << 20;
inline constexpr std::uint64_t kMaxSvgElements = 50'000;
inline constexpr std::uint64_t kMaxSvgNumbers = 1'000'000;
// Nor one of more than kMaxSvgCharacters characters of text (texts drawn, style sheets), which Qt
// lays out whole: a text of 15 million characters took 1.9 s and 630 MB.
inline constexpr std::uint64_t kMaxSvgCharacters = 200'000;
// Nor is one kept whose drawing into a 320 x 240 view would take longer than this, as estimated
// from the calls its drawing makes (the fills' areas, the calls, the dashes of dashed lines).
inline constexpr double kMaxSvgDrawingNanoseconds = 400e6;

// The SVG drawing in `source` (picture/svg.cpp), as DecodeSvg reads it.
std::unique_ptr<Picture> ReadSvg(const ByteSource& source);

// The work an SVG's check took before Qt parsed it.
struct SvgWork {
  std::uint64_t elements = 0;    // elements read
  std::uint64_t numbers = 0;     // numbers in path data and point lists
  std::uint64_t characters = 0;  // characters of text, white space aside
  std::uint64_t drawn = 0;       // elements drawn, <use> references followed
};
// DecodeSvg's check of `text` (not compressed): whether Qt may parse it, counting into `work`.
bool SvgWithinLimits(std::span<const std::uint8_t> text, SvgWork& work);

}  // namespace picture
