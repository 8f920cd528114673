#pragma once

// Device-independent bitmaps (DIBs): the BITMAPINFO that describes one (a header, colour masks
// and a colour table) and the pixel bits it describes. A BMP file is a file header followed by a
// DIB; an icon entry is a DIB with an AND mask after its colour rows; metafile records carry a
// BITMAPINFO and its bits in one span (META_DIBSTRETCHBLT) or in two (EMR_STRETCHDIBITS).
//
// Plain C++, no toolkit: this is the code that reads untrusted bytes. Every read is bounds
// checked; sizes are checked before anything is allocated; nothing loops longer than its input.
// Failures throw picture::LoadError with one of the two messages below.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "model/bitmap.h"
#include "model/colour.h"

namespace picture::dib {

// A header, mask or colour table that ends before its declared size.
inline constexpr const char* kStreamReadError = "Stream read error";
// Anything else that cannot be decoded: unknown header size, planes other than 1, a bit count or
// compression that cannot be read, absurd sizes, offsets outside the data, a bad RLE stream,
// embedded JPEG or PNG.
inline constexpr const char* kNotValid = "Bitmap image is not valid";

// The largest picture decoded, in pixels (width x height). A larger one is not valid: it would
// take more than 400 MB of memory.
inline constexpr std::int64_t kMaxPixels = 100'000'000;

// The header's compression field (biCompression).
enum Compression : std::uint32_t {
  kRgb = 0,
  kRle8 = 1,
  kRle4 = 2,
  kBitFields = 3,
  kJpeg = 4,
  kPng = 5,
  kAlphaBitFields = 6,
};

// What the colour table holds.
enum class ColourUse {
  kRgb,             // DIB_RGB_COLORS: RGBQUAD entries (RGBTRIPLE under the OS/2 core header)
  kPaletteIndices,  // DIB_PAL_COLORS: 16-bit indices into the logical palette of a metafile
};

struct Options {
  ColourUse colours = ColourUse::kRgb;
  // An icon or cursor image: the header's height counts the colour rows and the rows of the
  // 1-bit AND mask that follows them, so the picture is half as high.
  bool iconMask = false;
  // Where the bits start, counted in bytes from the start of the header, when the container
  // says so (a BMP file: bfOffBits - 14). The colour table is then never read past that point
  // (OS/2 files with fewer entries than the depth allows); a point inside the header or masks is
  // kNotValid. None: the bits follow the colour table.
  std::optional<std::uint64_t> bitsOffset;
};

// A parsed BITMAPINFO.
struct Info {
  std::uint32_t headerSize = 0;      // 12 (OS/2 core), 16 or 64 (OS/2 2.x), 40, 52, 56, 108, 124
  int width = 0;                     // 1 and above
  int height = 0;                    // rows of colour, 1 and above; halved for an icon
  bool topDown = false;              // rows stored top row first (a negative header height)
  int bitCount = 0;                  // 1, 2, 4, 8, 16, 24 or 32
  std::uint32_t compression = kRgb;  // kRgb, kRle8, kRle4, kBitFields or kAlphaBitFields
  // Red, green and blue masks of a 16- or 32-bit pixel: the bit fields, or the defaults
  // 5-5-5 (0x7C00, 0x03E0, 0x001F) and 8-8-8 (0xFF0000, 0xFF00, 0xFF). Alpha is ignored.
  std::array<std::uint32_t, 3> masks{};
  bool hasMask = false;  // an icon's AND mask follows the colour rows
  ColourUse colours = ColourUse::kRgb;
  // The colour table as 0x00BBGGRR (or, for kPaletteIndices, the indices themselves: map them
  // to colours before DecodeBits). Entries from paletteSize on are 0 (black): a pixel whose
  // index is beyond the table decodes as black.
  std::array<model::Colour, 256> palette{};
  int paletteSize = 0;
  // Bytes the header, masks and declared colour table take: where the bits of a packed DIB
  // start. May exceed the data when the table's declared size is absurd.
  std::uint64_t tableEnd = 0;

  // Whether the bits are run-length encoded (kRle8 or kRle4).
  bool RunLength() const { return compression == kRle8 || compression == kRle4; }
  // Bytes of one uncompressed colour row, padded to 4.
  std::size_t Stride() const;
  // Bytes of one AND mask row, padded to 4.
  std::size_t MaskStride() const;
};

// Parses the header, masks and colour table at the start of `data`. Throws LoadError:
// kStreamReadError when the header, masks or the entries read of the colour table run past the
// end of `data`; kNotValid for anything it cannot decode (see above).
Info ParseInfo(std::span<const std::uint8_t> data, const Options& options = {});

// Bytes read in order, from memory or from a file a read at a time, so that a decoder never holds
// a whole file beside the raster it writes.
class BitsReader {
 public:
  // The largest piece asked for at once through Next and Peek.
  static constexpr std::size_t kPiece = std::size_t{1} << 20;
  // Memory that bytes are read into.
  struct Part {
    std::uint8_t* data;
    std::size_t size;
  };
  // Reads bytes of the data from `offset` on into `parts`, filling each before the next (as
  // preadv does), and returns how many, up to the parts' total; 0 only at the end of the data.
  // Throws (picture::LoadError) when it cannot read.
  using ReadFunction =
      std::function<std::size_t(std::uint64_t offset, std::span<const Part> parts)>;

  // Bytes in memory, handed out where they are.
  explicit BitsReader(std::span<const std::uint8_t> bytes);
  // Bytes that `read` produces: Next and Peek hand them out of a buffer of kPiece bytes, ReadInto
  // has them read where they are wanted.
  explicit BitsReader(ReadFunction read);

  // The next `size` bytes (at most kPiece), fewer only where the data ends; valid until the next
  // call. Inline where the bytes are ready: an RLE stream asks for two at a time.
  std::span<const std::uint8_t> Next(std::size_t size) {
    if (m_ready.size() - m_pos < size) return NextFilled(size);
    const std::span<const std::uint8_t> bytes = m_ready.subspan(m_pos, size);
    m_pos += size;
    return bytes;
  }
  // The same bytes as Next, left to be read again.
  std::span<const std::uint8_t> Peek(std::size_t size);
  // Passes over `size` bytes, or what is left of them; bytes of a file passed over are not read.
  void Skip(std::uint64_t size);
  // Copies the next bytes (any number), as many as `parts` hold or fewer only where the data ends,
  // into the parts one after another and returns how many. From a file they are read straight
  // there, past any buffer, all the parts in one read where the data allows.
  std::size_t ReadInto(std::span<const Part> parts);
  std::size_t ReadInto(std::uint8_t* dest, std::size_t size) {
    const Part part{dest, size};
    return ReadInto({&part, 1});
  }
  // Whether the bytes are in memory already, so that Next hands them out with no copy at all.
  bool InMemory() const { return !m_read; }

 private:
  // Makes `size` bytes (or all that is left) ready from m_pos on.
  void Fill(std::size_t size);
  std::span<const std::uint8_t> NextFilled(std::size_t size);

  ReadFunction m_read;
  std::unique_ptr<std::uint8_t[]> m_buffer;  // kPiece bytes, for m_read
  std::uint64_t m_offset = 0;  // where m_read reads on: past m_ready and what was skipped
  std::span<const std::uint8_t> m_ready;
  std::size_t m_pos = 0;
};

// A decoded DIB.
struct Image {
  model::Bitmap bitmap;  // TwoColour() for 1 bit a pixel
  // Empty unless info.hasMask: then one byte a pixel, row-major and top-down like the bitmap,
  // 1 where the AND mask is set (the background shows through), 0 where the colour is drawn.
  std::vector<std::uint8_t> mask;
};

// Decodes the bits that `info` describes. Bits cut short are not an error: what is missing
// decodes as zero bytes (palette entry 0, or black); pixels an RLE stream skips or leaves out
// take palette entry 0 as well. Throws LoadError kNotValid for a bad RLE stream (a run or delta
// leaving the picture).
Image DecodeBits(const Info& info, std::span<const std::uint8_t> bits);

// The colour of a pixel whose bits are all zero: what bits cut short decode as.
model::Colour ZeroPixel(const Info& info);

// Decodes the colour rows (no AND mask) that `info` describes from `bits`, as DecodeBits does,
// into `out`, a bitmap of info's size. Uncompressed rows are decoded in file order for as long as
// `out` keeps them (Bitmap::Partial), so a bitmap keeping the rows the data covers is written in
// full; RLE writes into `out` as it stands (filled with palette entry 0 beforehand).
void DecodeColours(const Info& info, BitsReader& bits, model::Bitmap& out);
// The colour rows of DecodeBits, read from `bits`: the bitmap, as DecodeBits gives it.
model::Bitmap DecodeColourRows(const Info& info, BitsReader& bits);

// A packed DIB: header, colour table and bits in one span (CF_DIB, an icon entry,
// META_DIBSTRETCHBLT). ParseInfo, then DecodeBits on what follows info.tableEnd; a colour table
// running past the end of `dib` is kStreamReadError.
Image DecodePacked(std::span<const std::uint8_t> dib, const Options& options = {});

}  // namespace picture::dib
