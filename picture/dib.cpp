#include "picture/dib.h"

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define DOTWRIGHT_DIB_SSSE3 1
#endif

#include "picture/picture.h"

namespace picture::dib {
namespace {

[[noreturn]] void Fail(const char* message) {
  throw LoadError(message);
}

std::uint16_t U16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
// A word read from memory in file (little-endian) order.
std::uint32_t Le32(std::uint32_t word) {
  if constexpr (std::endian::native == std::endian::big) return __builtin_bswap32(word);
  return word;
}

std::uint32_t U32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}

bool IsOs2v2(std::uint32_t headerSize) {
  return headerSize == 16 || headerSize == 64;
}

bool KnownHeaderSize(std::uint32_t headerSize) {
  switch (headerSize) {
    case 12:
    case 16:
    case 40:
    case 52:
    case 56:
    case 64:
    case 108:
    case 124:
      return true;
    default:
      return false;
  }
}

bool KnownBitCount(int bitCount, bool core) {
  switch (bitCount) {
    case 1:
    case 2:
    case 4:
    case 8:
    case 24:
      return true;
    case 16:
    case 32:
      return !core;
    default:
      return false;
  }
}

// Whether the compression can be read at this depth. OS/2 2.x numbers 3 and 4 differently
// (Huffman 1D, RLE24), and neither is read; JPEG and PNG are printer-only and refused.
bool KnownCompression(std::uint32_t compression, int bitCount, std::uint32_t headerSize) {
  switch (compression) {
    case kRgb:
      return true;
    case kRle8:
      return bitCount == 8;
    case kRle4:
      return bitCount == 4;
    case kBitFields:
    case kAlphaBitFields:
      return !IsOs2v2(headerSize) && (bitCount == 16 || bitCount == 32);
    default:
      return false;
  }
}

// One colour channel of a 16- or 32-bit pixel, scaled to 0..255 by rounding v * 255 / max.
struct Channel {
  std::uint32_t mask = 0;
  int shift = 0;
  std::uint64_t scale = 0;  // 255 * 2^32 / max

  explicit Channel(std::uint32_t m) : mask(m) {
    if (mask == 0) return;
    while (((mask >> shift) & 1) == 0) ++shift;
    scale = (std::uint64_t{255} << 32) / (mask >> shift);
  }
  std::uint32_t operator()(std::uint32_t pixel) const {
    return static_cast<std::uint32_t>(
        (((pixel & mask) >> shift) * scale + std::uint64_t{0x80000000}) >> 32);
  }
};

struct Channels {
  Channel red, green, blue;
  explicit Channels(const std::array<std::uint32_t, 3>& masks)
      : red(masks[0]), green(masks[1]), blue(masks[2]) {}
  model::Colour operator()(std::uint32_t pixel) const {
    return red(pixel) | green(pixel) << 8 | blue(pixel) << 16;
  }
};

#ifdef DOTWRIGHT_DIB_SSSE3
// True-colour rows, B G R (X) in the file, to 0x00BBGGRR, four pixels a byte shuffle on
// processors with SSSE3 (nearly all x86 ones in use): several times faster than a byte at a time.
// Each returns how many of the `w` pixels it did; the caller does the rest.
bool HasSsse3() {
  static const bool has = __builtin_cpu_supports("ssse3");
  return has;
}

__attribute__((target("ssse3"))) int Decode24Ssse3(const std::uint8_t* in, model::Colour* out,
                                                   int w) {
  const __m128i order = _mm_setr_epi8(2, 1, 0, -128, 5, 4, 3, -128, 8, 7, 6, -128, 11, 10, 9, -128);
  int x = 0;
  // Sixteen bytes are loaded for twelve: only while they all lie within the row's pixels. In
  // place (the row's 3w bytes at the end of its 4w bytes), pixels x to x + 3 are stored up to
  // byte 4x + 16, short of the next bytes loaded, from w + 3x + 12 on, as x + 4 <= w.
  for (; x + 6 <= w; x += 4, in += 12) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_shuffle_epi8(bytes, order));
  }
  return x;
}

__attribute__((target("ssse3"))) int Decode32Ssse3(const std::uint8_t* in, model::Colour* out,
                                                   int w) {
  const __m128i order =
      _mm_setr_epi8(2, 1, 0, -128, 6, 5, 4, -128, 10, 9, 8, -128, 14, 13, 12, -128);
  int x = 0;
  for (; x + 4 <= w; x += 4, in += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_shuffle_epi8(bytes, order));
  }
  return x;
}
#endif

// Decodes `w` pixels of an uncompressed row from `in` (the bytes those pixels take) into `out`.
void DecodeRow(const Info& info, const Channels& channels, const std::uint8_t* in,
               model::Colour* out, int w) {
  const model::Colour* pal = info.palette.data();
  switch (info.bitCount) {
    case 1:
    case 2:
    case 4: {
      const int bits = info.bitCount;
      const int perByte = 8 / bits;
      const unsigned indexMask = (1u << bits) - 1;
      int x = 0;
      for (; x + perByte <= w; x += perByte) {
        const unsigned byte = *in++;
        for (int i = 0; i < perByte; ++i)
          out[x + i] = pal[(byte >> (8 - bits * (i + 1))) & indexMask];
      }
      if (x < w) {
        const unsigned byte = *in;
        for (int i = 0; x < w; ++i, ++x) out[x] = pal[(byte >> (8 - bits * (i + 1))) & indexMask];
      }
      break;
    }
    case 8:
      for (int x = 0; x < w; ++x) out[x] = pal[in[x]];
      break;
    case 16:
      for (int x = 0; x < w; ++x) out[x] = channels(U16(in + 2 * x));
      break;
    case 24: {
      int x = 0;
#ifdef DOTWRIGHT_DIB_SSSE3
      if (HasSsse3()) {
        x = Decode24Ssse3(in, out, w);
        in += 3 * static_cast<std::size_t>(x);
      }
#endif
      // Four pixels from three little-endian words: B0 G0 R0 B1 | G1 R1 B2 G2 | R2 B3 G3 R3.
      for (; x + 4 <= w; x += 4, in += 12) {
        std::uint32_t a, b, c;
        std::memcpy(&a, in, 4);
        std::memcpy(&b, in + 4, 4);
        std::memcpy(&c, in + 8, 4);
        a = Le32(a);
        b = Le32(b);
        c = Le32(c);
        out[x] = (a >> 16 & 0xFF) | (a & 0xFF00) | (a & 0xFF) << 16;
        out[x + 1] = (b >> 8 & 0xFF) | (b << 8 & 0xFF00) | (a >> 8 & 0xFF0000);
        out[x + 2] = (c & 0xFF) | (b >> 16 & 0xFF00) | (b & 0xFF0000);
        out[x + 3] = (c >> 24) | (c >> 8 & 0xFF00) | (c << 8 & 0xFF0000);
      }
      for (; x < w; ++x, in += 3)
        out[x] = model::Colour{in[2]} | model::Colour{in[1]} << 8 | model::Colour{in[0]} << 16;
      break;
    }
    case 32:
      if (info.masks == std::array<std::uint32_t, 3>{0xFF0000, 0xFF00, 0xFF}) {
        int x = 0;
#ifdef DOTWRIGHT_DIB_SSSE3
        if (HasSsse3()) {
          x = Decode32Ssse3(in, out, w);
          in += 4 * static_cast<std::size_t>(x);
        }
#endif
        for (; x < w; ++x, in += 4) {
          std::uint32_t p;
          std::memcpy(&p, in, 4);
          p = Le32(p);
          out[x] = (p >> 16 & 0xFF) | (p & 0xFF00) | (p & 0xFF) << 16;
        }
      } else {
        for (int x = 0; x < w; ++x) out[x] = channels(U32(in + 4 * x));
      }
      break;
  }
}

// Rows of `stride` bytes read from `bits` (an icon's AND mask); a row that the data cuts short
// reads as that much data followed by zero bytes.
class RowReader {
 public:
  RowReader(std::span<const std::uint8_t> bits, std::size_t stride)
      : m_bits(bits), m_stride(stride) {}

  const std::uint8_t* Row(std::size_t index) {
    const std::size_t available = m_bits.size() / m_stride;
    if (index < available) return m_bits.data() + index * m_stride;
    // Only bits cut short need a row of their own (as large as the picture is wide).
    m_padded.resize(m_stride);
    std::fill(m_padded.begin(), m_padded.end(), 0);
    if (index == available) {
      const std::size_t rest = m_bits.size() - index * m_stride;
      if (rest > 0) std::memcpy(m_padded.data(), m_bits.data() + index * m_stride, rest);
    }
    return m_padded.data();
  }

 private:
  std::span<const std::uint8_t> m_bits;
  std::size_t m_stride;
  std::vector<std::uint8_t> m_padded;
};

int OutputRow(const Info& info, int fileRow) {
  return info.topDown ? fileRow : info.height - 1 - fileRow;
}

// Bytes the pixels of a row take, without the padding to 4.
std::size_t PixelBytes(const Info& info, int pixels) {
  return (static_cast<std::size_t>(pixels) * info.bitCount + 7) / 8;
}

// Rows (or, when a row is longer than a piece, parts of rows) decoded from pieces that the data
// may cut short: what is there followed by zero bytes, and past the end the colour of zero bits.
class PieceDecoder {
 public:
  PieceDecoder(const Info& info) : m_info(info), m_channels(info.masks), m_zero(ZeroPixel(info)) {}

  // Decodes `count` pixels from the first `bytes` bytes of `piece`, or from what it holds.
  void Decode(std::span<const std::uint8_t> piece, std::size_t bytes, model::Colour* out,
              int count) {
    if (piece.size() >= bytes) {
      DecodeRow(m_info, m_channels, piece.data(), out, count);
    } else if (piece.empty()) {
      std::fill_n(out, count, m_zero);
    } else {
      m_scratch.assign(bytes, 0);
      std::memcpy(m_scratch.data(), piece.data(), piece.size());
      DecodeRow(m_info, m_channels, m_scratch.data(), out, count);
    }
  }

 private:
  const Info& m_info;
  const Channels m_channels;
  const model::Colour m_zero;
  std::vector<std::uint8_t> m_scratch;  // only for the piece cut short: at most kPiece bytes
};

// File rows 0 to rows - 1 of a file, each row's bytes read into its own raster row and decoded
// there: the file's bytes are copied once, by the system, into memory the raster takes anyway.
//
// A row's pixel bytes (b bytes a pixel, or 1/k for k pixels a byte) are read into the end of its
// 4-byte-a-pixel row, and decoded front to back: pixel i is written at 4i while the bytes of
// pixel j > i still to be read lie at 4w - b(w - j) >= 4i + 4 (for b <= 4, j >= i + 1), so no
// write overtakes a read (DecodeRow loads every byte of a step before storing it, and its 16-byte
// SSSE3 steps keep 4 pixels of room: see Decode24Ssse3). A run of rows, in the file one after
// another, is read at once: into the ends of their rows (which run backwards in the raster for
// rows stored bottom row first), the padding between them into a scrap.
void DecodeUncompressedInPlace(const Info& info, BitsReader& bits, model::Bitmap& out, int rows) {
  const Channels channels(info.masks);
  const model::Colour zero = ZeroPixel(info);
  const std::size_t stride = info.Stride();
  const std::size_t pixelBytes = PixelBytes(info, info.width);
  const std::size_t padding = stride - pixelBytes;
  const std::size_t rowBytes = std::size_t{4} * info.width;
  // A run's rows stay within a core's cache while they are decoded; a run takes one read.
  constexpr std::size_t kRunBytes = std::size_t{256} << 10;
  const int perRun = static_cast<int>(std::clamp<std::size_t>(kRunBytes / rowBytes, 1, 256));
  std::uint8_t scrap[4];
  std::vector<BitsReader::Part> parts;
  const auto source = [&](int fileRow) {
    return reinterpret_cast<std::uint8_t*>(out.Row(OutputRow(info, fileRow))) + rowBytes -
           pixelBytes;
  };
  bool ended = false;
  for (int r = 0; r < rows;) {
    const int n = std::min(perRun, rows - r);
    std::size_t got = 0;
    if (!ended) {
      parts.clear();
      for (int i = 0; i < n; ++i) {
        parts.push_back({source(r + i), pixelBytes});
        if (i + 1 < n && padding > 0) parts.push_back({scrap, padding});
      }
      const std::size_t wanted = n * stride - padding;
      got = bits.ReadInto(parts);
      ended = got < wanted;
      if (!ended) bits.Skip(padding);
    }
    for (int i = 0; i < n; ++i, ++r) {
      auto* row = reinterpret_cast<model::Colour*>(out.Row(OutputRow(info, r)));
      // The bytes of this row that were read; bits cut short are followed by zero bytes.
      const std::size_t have = std::min(pixelBytes, got - std::min(got, i * stride));
      if (have == 0) {
        std::fill_n(row, info.width, zero);
        continue;
      }
      std::uint8_t* in = source(r);
      if (have < pixelBytes) std::memset(in + have, 0, pixelBytes - have);
      DecodeRow(info, channels, in, row, info.width);
    }
  }
}

void DecodeUncompressed(const Info& info, BitsReader& bits, model::Bitmap& out) {
  const std::size_t stride = info.Stride();
  // File rows 0 to rows - 1 are decoded: those the bitmap keeps.
  int rows = 0;
  while (rows < info.height && out.Keeps(OutputRow(info, rows))) ++rows;
  if (!bits.InMemory()) return DecodeUncompressedInPlace(info, bits, out, rows);
  // Bits in memory are decoded where they are.
  PieceDecoder decoder(info);
  if (stride <= BitsReader::kPiece) {
    const int perPiece = static_cast<int>(BitsReader::kPiece / stride);
    for (int r = 0; r < rows;) {
      const int n = std::min(perPiece, rows - r);
      const auto piece = bits.Next(n * stride);
      for (int i = 0; i < n; ++i, ++r) {
        const std::size_t at = std::min(i * stride, piece.size());
        decoder.Decode(piece.subspan(at, std::min(stride, piece.size() - at)), stride,
                       out.Row(OutputRow(info, r)), info.width);
      }
    }
    return;
  }
  // A row longer than a piece, decoded a piece at a time: a multiple of 8 pixels starts on a
  // byte at every depth.
  const int piecePixels = static_cast<int>(BitsReader::kPiece * 8 / info.bitCount / 8 * 8);
  for (int r = 0; r < rows; ++r) {
    model::Colour* row = out.Row(OutputRow(info, r));
    for (int x = 0; x < info.width; x += piecePixels) {
      const int n = std::min(piecePixels, info.width - x);
      const std::size_t bytes = PixelBytes(info, n);
      decoder.Decode(bits.Next(bytes), bytes, row + x, n);
    }
    bits.Skip(stride - PixelBytes(info, info.width));
  }
}

// RLE8 and RLE4 (bottom-up only). A stream that ends early leaves the rest as it is; a run or
// delta that would leave the picture is a bad stream.
void DecodeRle(const Info& info, BitsReader& bits, model::Bitmap& out) {
  const bool four = info.compression == kRle4;
  const model::Colour* pal = info.palette.data();
  int x = 0;
  int y = 0;  // rows from the bottom
  const auto pixels = [&](int count) {
    if (y >= info.height || count > info.width - x) Fail(kNotValid);
    model::Colour* row = out.Row(OutputRow(info, y)) + x;
    x += count;
    return row;
  };
  // The stream is read a window at a time, from where it stands; `ready` moves the window on
  // when the bytes asked for run past it, and returns how many of them there are.
  std::span<const std::uint8_t> in = bits.Peek(BitsReader::kPiece);
  std::size_t pos = 0;
  const auto ready = [&](std::size_t n) {
    if (in.size() - pos >= n) return n;
    bits.Skip(pos);
    in = bits.Peek(BitsReader::kPiece);
    pos = 0;
    return std::min(n, in.size());
  };
  for (;;) {
    if (ready(2) < 2) return;
    const int count = in[pos];
    const std::uint8_t value = in[pos + 1];
    pos += 2;
    if (count > 0) {
      model::Colour* row = pixels(count);
      if (four) {
        const model::Colour pair[2] = {pal[value >> 4], pal[value & 0x0F]};
        for (int i = 0; i < count; ++i) row[i] = pair[i & 1];
      } else {
        std::fill_n(row, count, pal[value]);
      }
    } else if (value == 0) {  // end of line
      x = 0;
      y = std::min(y + 1, info.height);
    } else if (value == 1) {  // end of bitmap
      return;
    } else if (value == 2) {  // delta
      if (ready(2) < 2) return;
      const int dx = in[pos];
      const int dy = in[pos + 1];
      pos += 2;
      if (dx > info.width - x || dy > info.height - y) Fail(kNotValid);
      x += dx;
      y += dy;
    } else {  // absolute: `value` pixels, padded to a whole 16-bit word
      const int n = value;
      const std::size_t bytes = four ? (n + 1) / 2 : n;
      model::Colour* row = pixels(n);
      const std::size_t got = ready(bytes + (bytes & 1));
      const std::size_t have = std::min(bytes, got);
      const std::uint8_t* data = in.data() + pos;
      for (int i = 0; i < n; ++i) {
        const std::size_t at = four ? i / 2 : i;
        if (at >= have) break;
        const std::uint8_t b = data[at];
        row[i] = pal[four ? (i % 2 == 0 ? b >> 4 : b & 0x0F) : b];
      }
      pos += got;
    }
  }
}

std::vector<std::uint8_t> DecodeMask(const Info& info, std::span<const std::uint8_t> bits) {
  std::vector<std::uint8_t> mask(static_cast<std::size_t>(info.width) * info.height, 0);
  RowReader rows(bits, info.MaskStride());
  for (int r = 0; r < info.height; ++r) {
    const std::uint8_t* in = rows.Row(r);
    std::uint8_t* out = mask.data() + static_cast<std::size_t>(OutputRow(info, r)) * info.width;
    for (int x = 0; x < info.width; ++x) out[x] = (in[x / 8] >> (7 - x % 8)) & 1;
  }
  return mask;
}

void ReadColourTable(std::span<const std::uint8_t> data, std::uint64_t tableStart,
                     std::uint64_t count, const Options& options, bool core, Info& info) {
  const std::uint64_t entrySize = core ? 3 : options.colours == ColourUse::kPaletteIndices ? 2 : 4;
  info.tableEnd = tableStart + count * entrySize;
  if (options.bitsOffset && *options.bitsOffset < tableStart) Fail(kNotValid);
  if (info.bitCount > 8) return;  // a table beside true-colour pixels only suggests a palette
  std::uint64_t entries = std::min<std::uint64_t>(count, std::uint64_t{1} << info.bitCount);
  if (options.bitsOffset)
    entries = std::min<std::uint64_t>(entries, (*options.bitsOffset - tableStart) / entrySize);
  if (tableStart + entries * entrySize > data.size()) Fail(kStreamReadError);
  const std::uint8_t* p = data.data() + tableStart;
  for (std::uint64_t i = 0; i < entries; ++i, p += entrySize) {
    info.palette[i] = entrySize == 2 ? model::Colour{U16(p)} : model::Rgb(p[2], p[1], p[0]);
  }
  info.paletteSize = static_cast<int>(entries);
}

}  // namespace

BitsReader::BitsReader(std::span<const std::uint8_t> bytes) : m_ready(bytes) {}

BitsReader::BitsReader(ReadFunction read)
    : m_read(std::move(read)), m_buffer(new std::uint8_t[kPiece]) {}

void BitsReader::Fill(std::size_t size) {
  if (m_ready.size() - m_pos >= size || !m_read) return;
  // A small read ahead serves the headers and the start of the bits; what a decoder reads in bulk
  // goes through ReadInto.
  constexpr std::size_t kReadAhead = std::size_t{64} << 10;
  const std::size_t wanted = std::min(kPiece, std::max(size, kReadAhead));
  // What is left moves to the front of the buffer and the rest of the buffer is read.
  std::size_t have = m_ready.size() - m_pos;
  if (have > 0) std::memmove(m_buffer.get(), m_ready.data() + m_pos, have);
  m_pos = 0;
  while (have < wanted) {
    const Part part{m_buffer.get() + have, wanted - have};
    const std::size_t n = m_read(m_offset, {&part, 1});
    if (n == 0) break;
    have += n;
    m_offset += n;
  }
  m_ready = {m_buffer.get(), have};
}

std::span<const std::uint8_t> BitsReader::Peek(std::size_t size) {
  Fill(size);
  return m_ready.subspan(m_pos, std::min(size, m_ready.size() - m_pos));
}

std::span<const std::uint8_t> BitsReader::NextFilled(std::size_t size) {
  const auto bytes = Peek(size);
  m_pos += bytes.size();
  return bytes;
}

void BitsReader::Skip(std::uint64_t size) {
  const std::size_t ready = m_ready.size() - m_pos;
  if (size <= ready) {
    m_pos += static_cast<std::size_t>(size);
    return;
  }
  m_pos = m_ready.size();
  // Past the end of data in memory there is nothing; a file is read on from further on.
  if (m_read) m_offset += size - ready;
}

std::size_t BitsReader::ReadInto(std::span<const Part> parts) {
  // The parts still to fill: rest[first] on, what is left of each.
  std::vector<Part> rest(parts.begin(), parts.end());
  std::size_t first = 0;
  std::size_t done = 0;
  const auto advance = [&](std::size_t n) {
    done += n;
    for (; first < rest.size() && n >= rest[first].size; ++first) n -= rest[first].size;
    if (first < rest.size()) {
      rest[first].data += n;
      rest[first].size -= n;
    }
  };
  advance(0);
  // What the buffer holds goes first.
  while (first < rest.size() && m_pos < m_ready.size()) {
    const std::size_t n = std::min(rest[first].size, m_ready.size() - m_pos);
    std::memcpy(rest[first].data, m_ready.data() + m_pos, n);
    m_pos += n;
    advance(n);
  }
  if (!m_read) return done;
  while (first < rest.size()) {
    const std::size_t n = m_read(m_offset, std::span(rest).subspan(first));
    if (n == 0) break;
    m_offset += n;
    advance(n);
  }
  return done;
}

std::size_t Info::Stride() const {
  return (static_cast<std::size_t>(width) * bitCount + 31) / 32 * 4;
}

std::size_t Info::MaskStride() const {
  return (static_cast<std::size_t>(width) + 31) / 32 * 4;
}

Info ParseInfo(std::span<const std::uint8_t> data, const Options& options) {
  if (data.size() < 4) Fail(kStreamReadError);
  Info info;
  info.headerSize = U32(data.data());
  info.colours = options.colours;
  if (!KnownHeaderSize(info.headerSize)) Fail(kNotValid);
  if (data.size() < info.headerSize) Fail(kStreamReadError);
  const std::uint8_t* h = data.data();
  const bool core = info.headerSize == 12;

  std::int64_t width = 0;
  std::int64_t height = 0;
  int planes = 0;
  std::uint32_t colorsUsed = 0;
  if (core) {
    width = U16(h + 4);
    height = U16(h + 6);
    planes = U16(h + 8);
    info.bitCount = U16(h + 10);
  } else {
    width = static_cast<std::int32_t>(U32(h + 4));
    height = static_cast<std::int32_t>(U32(h + 8));
    planes = U16(h + 12);
    info.bitCount = U16(h + 14);
    if (info.headerSize >= 20) info.compression = U32(h + 16);
    if (info.headerSize >= 36) colorsUsed = U32(h + 32);
  }
  if (planes != 1) Fail(kNotValid);
  if (height < 0) {
    info.topDown = true;
    height = -height;
  }
  if (options.iconMask) {
    height /= 2;
    info.hasMask = true;
  }
  if (width <= 0 || height <= 0 || width * height > kMaxPixels) Fail(kNotValid);
  info.width = static_cast<int>(width);
  info.height = static_cast<int>(height);
  if (!KnownBitCount(info.bitCount, core) ||
      !KnownCompression(info.compression, info.bitCount, info.headerSize))
    Fail(kNotValid);
  if (info.RunLength() && (info.topDown || info.hasMask)) Fail(kNotValid);

  std::uint64_t tableStart = info.headerSize;
  if (info.compression == kBitFields || info.compression == kAlphaBitFields) {
    // A 40-byte header is followed by the masks; later headers hold them at the same place.
    if (info.headerSize == 40) tableStart += info.compression == kBitFields ? 12 : 16;
    if (tableStart > data.size()) Fail(kStreamReadError);
    info.masks = {U32(h + 40), U32(h + 44), U32(h + 48)};
  } else if (info.bitCount == 16) {
    info.masks = {0x7C00, 0x03E0, 0x001F};
  } else if (info.bitCount == 32) {
    info.masks = {0xFF0000, 0xFF00, 0xFF};
  }

  std::uint64_t count = colorsUsed;
  if (info.bitCount <= 8 && count == 0) count = std::uint64_t{1} << info.bitCount;
  ReadColourTable(data, tableStart, count, options, core, info);
  return info;
}

model::Colour ZeroPixel(const Info& info) {
  return info.bitCount <= 8 ? info.palette[0] : 0;
}

void DecodeColours(const Info& info, BitsReader& bits, model::Bitmap& out) {
  if (info.RunLength())
    DecodeRle(info, bits, out);
  else
    DecodeUncompressed(info, bits, out);
}

model::Bitmap DecodeColourRows(const Info& info, BitsReader& bits) {
  model::Bitmap bitmap = info.RunLength() ? model::Bitmap(info.width, info.height, info.palette[0])
                                          : model::Bitmap::Uninitialised(info.width, info.height);
  DecodeColours(info, bits, bitmap);
  bitmap.SetTwoColour(info.bitCount == 1);
  return bitmap;
}

Image DecodeBits(const Info& info, std::span<const std::uint8_t> bits) {
  Image image;
  BitsReader reader(bits);
  image.bitmap = DecodeColourRows(info, reader);
  if (info.hasMask) {
    const std::size_t colourBytes = info.Stride() * info.height;
    image.mask = DecodeMask(info, bits.subspan(std::min(colourBytes, bits.size())));
  }
  return image;
}

Image DecodePacked(std::span<const std::uint8_t> dib, const Options& options) {
  Options packed = options;
  packed.bitsOffset.reset();
  const Info info = ParseInfo(dib, packed);
  if (info.tableEnd > dib.size()) Fail(kStreamReadError);
  return DecodeBits(info, dib.subspan(static_cast<std::size_t>(info.tableEnd)));
}

}  // namespace picture::dib
