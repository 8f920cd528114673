#pragma once

// The decoders behind LoadPicture, one per accepted extension. Each takes the whole file's bytes
// and returns the picture, or throws LoadError with the message the user sees. (LoadPicture
// decodes a ".bmp" file as it reads it, with picture/bmp.h, and hands a metafile its open file,
// which it reads whenever it is played (OpenMetafile); of these it hands over whole bytes only
// those whose size is reported as 0, such as files under /proc.) The loader never passes a
// zero-byte file (that is an empty picture whatever the kind); given one, a decoder returns an
// empty picture too.
//
// To add a kind: declare its decoder here, define it in its own source file of the picture
// library, and add its extension to the table in loader.cpp.

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "picture/loader.h"
#include "picture/picture.h"

namespace picture {

// ".bmp": Windows and OS/2 bitmaps (picture/bmp.h). Qt-free.
std::unique_ptr<Picture> DecodeBitmapFile(std::span<const std::uint8_t> file);
// ".ico": icons. The picture is the largest entry, of those the deepest; an entry that does not
// decode gives way to the next best.
std::unique_ptr<Picture> DecodeIcon(std::span<const std::uint8_t> file);

// Icons are at most 256 pixels a side; PNG icons of other systems reach 1024. Larger entries are
// not read, so a hostile size cannot allocate much.
inline constexpr int kMaxIconSide = 1024;
// Entries decoded before giving up: each may be a megapixel, and a directory of 65535 entries
// can name the same broken one again and again.
inline constexpr int kMaxIconTries = 8;

// The work an icon's decoding took: the entries whose pixels were decoded, the one kept included,
// and the bytes inflated checking their PNG data before it is decoded.
struct IconWork {
  int entriesDecoded = 0;
  std::uint64_t bytesInflated = 0;
};
// DecodeIcon, counting its work into `work`: at most kMaxIconTries entries are decoded, each at
// most kMaxIconSide a side, however many the directory names. A PNG entry is decoded only when
// its image data is at most zlib's bound for the bytes its rows need and inflates to exactly
// those bytes, checksum included; it is inflated at most one byte beyond them.
std::unique_ptr<Picture> DecodeIconCounting(std::span<const std::uint8_t> file, IconWork& work);

// The bytes a PNG's rows take once inflated: each row of each pass (one pass, or the seven of
// Adam7 interlacing) is a filter byte then its pixels. 0 for a header no reader takes.
std::uint64_t PngRowBytes(std::uint32_t width, std::uint32_t height, int bitDepth, int colourType,
                          int interlace);

// ".wmf": Windows metafiles, with or without the placeable header.
std::unique_ptr<Picture> DecodeWmf(std::span<const std::uint8_t> file);
// ".emf": enhanced metafiles.
std::unique_ptr<Picture> DecodeEmf(std::span<const std::uint8_t> file);
// Either metafile, keeping `file`: a metafile is played from its bytes whenever it is drawn, and
// the loader hands over those it read rather than have them copied (DecodeWmf and DecodeEmf
// copy the span they are given).
std::unique_ptr<Picture> DecodeMetafile(FileBytes&& file);
// Either metafile, read from the open file `fd`, of `size` bytes (more than 0), whenever it is
// played: the picture keeps the descriptor, not the bytes, and holds a fixed amount of the file
// however large it is. Takes `fd`, and closes it when the picture goes or the file is refused.
std::unique_ptr<Picture> OpenMetafile(int fd, std::uint64_t size);

// Raster kinds read by Qt's image readers (picture/qt_image.cpp), each by its own reader only:
// ".png", ".jpg"/".jpeg", ".gif" (the first frame), ".webp", ".tif"/".tiff", ".tga", ".pbm",
// ".pgm", ".ppm", ".xbm". A file the reader refuses, or one whose header claims more than
// dib::kMaxPixels, throws "<KIND> image is not valid" (KIND: PNG, JPEG, GIF, WebP, TIFF, TGA,
// PBM, PGM, PPM, XBM) before any pixel is decoded. Transparent parts are white.
std::unique_ptr<Picture> DecodePng(std::span<const std::uint8_t> file);
std::unique_ptr<Picture> DecodeJpeg(std::span<const std::uint8_t> file);
std::unique_ptr<Picture> DecodeGif(std::span<const std::uint8_t> file);
std::unique_ptr<Picture> DecodeWebp(std::span<const std::uint8_t> file);
std::unique_ptr<Picture> DecodeTiff(std::span<const std::uint8_t> file);
std::unique_ptr<Picture> DecodeTga(std::span<const std::uint8_t> file);
std::unique_ptr<Picture> DecodePbm(std::span<const std::uint8_t> file);
std::unique_ptr<Picture> DecodePgm(std::span<const std::uint8_t> file);
std::unique_ptr<Picture> DecodePpm(std::span<const std::uint8_t> file);
std::unique_ptr<Picture> DecodeXbm(std::span<const std::uint8_t> file);
// ".svg": an SVG drawing (Qt SVG), drawn at the size it is drawn into, its view box stretched to
// fill the rectangle; unpainted parts are white. Throws "SVG image is not valid".
std::unique_ptr<Picture> DecodeSvg(std::span<const std::uint8_t> file);

// The same kinds read from the open file `fd` (of `size` bytes when opened, named `fileName` in
// messages) as far as their readers need, the file never held whole: the pixels are those the
// decoders above give for the file's bytes. A file that cannot be read throws LoadError "Cannot
// open file ...".
std::unique_ptr<Picture> ReadPngFile(int fd, std::uint64_t size, const std::string& fileName);
std::unique_ptr<Picture> ReadJpegFile(int fd, std::uint64_t size, const std::string& fileName);
std::unique_ptr<Picture> ReadGifFile(int fd, std::uint64_t size, const std::string& fileName);
std::unique_ptr<Picture> ReadWebpFile(int fd, std::uint64_t size, const std::string& fileName);
std::unique_ptr<Picture> ReadTiffFile(int fd, std::uint64_t size, const std::string& fileName);
std::unique_ptr<Picture> ReadTgaFile(int fd, std::uint64_t size, const std::string& fileName);
std::unique_ptr<Picture> ReadPbmFile(int fd, std::uint64_t size, const std::string& fileName);
std::unique_ptr<Picture> ReadPgmFile(int fd, std::uint64_t size, const std::string& fileName);
std::unique_ptr<Picture> ReadPpmFile(int fd, std::uint64_t size, const std::string& fileName);
std::unique_ptr<Picture> ReadXbmFile(int fd, std::uint64_t size, const std::string& fileName);
std::unique_ptr<Picture> ReadSvgFile(int fd, std::uint64_t size, const std::string& fileName);

}  // namespace picture
