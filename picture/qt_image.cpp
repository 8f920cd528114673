#include "picture/qt_image.h"

#include <sys/mman.h>
#include <unistd.h>

#include <QByteArray>
#include <QIODevice>
#include <QImageIOHandler>
#include <QImageReader>
#include <QPainter>
#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "picture/bitmap_picture.h"
#include "picture/decoders.h"
#include "picture/dib.h"
#include "picture/text_pictures.h"

namespace picture {

ByteSource MemorySource(std::span<const std::uint8_t> bytes) {
  return {bytes.size(), [bytes](std::uint64_t offset, std::uint8_t* data, std::size_t count) {
            if (offset >= bytes.size()) return std::size_t{0};
            const std::size_t n = std::min<std::uint64_t>(count, bytes.size() - offset);
            std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(offset), n, data);
            return n;
          }};
}

std::size_t ReadInto(const ByteSource& source, std::uint64_t offset, std::uint8_t* data,
                     std::size_t count) {
  if (offset >= source.size) return 0;
  count = static_cast<std::size_t>(std::min<std::uint64_t>(count, source.size - offset));
  std::size_t done = 0;
  while (done < count) {
    const std::size_t n = source.read(offset + done, data + done, count - done);
    if (n == 0) break;  // cut shorter meanwhile: the bytes end here
    done += n;
  }
  return done;
}

std::vector<std::uint8_t> ReadPiece(const ByteSource& source, std::uint64_t offset,
                                    std::size_t count) {
  std::vector<std::uint8_t> bytes(
      offset < source.size ? std::min<std::uint64_t>(count, source.size - offset) : 0);
  bytes.resize(ReadInto(source, offset, bytes.data(), bytes.size()));
  return bytes;
}

namespace {

ByteSource FileSource(int fd, std::uint64_t size, const std::string& fileName) {
  return {size, [read = FileReader(fd, size, fileName)](std::uint64_t offset, std::uint8_t* data,
                                                        std::size_t count) {
            const dib::BitsReader::Part part{data, count};
            return read(offset, {&part, 1});
          }};
}

}  // namespace

bool TiffTagsTooLarge(const ByteSource& source) {
  const std::vector<std::uint8_t> header = ReadPiece(source, 0, 16);
  if (header.size() < 8) return false;  // Qt's reader refuses it
  const bool little = header[0] == 'I';
  const auto number = [little](const std::uint8_t* p, int bytes) {
    std::uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= std::uint64_t{p[little ? i : bytes - 1 - i]} << (8 * i);
    return v;
  };
  const std::uint64_t version = number(header.data() + 2, 2);
  const bool big = version == 43;
  if (version != 42 && !(big && header.size() == 16)) return false;
  const std::uint64_t directory = big ? number(header.data() + 8, 8) : number(header.data() + 4, 4);
  const std::vector<std::uint8_t> countBytes = ReadPiece(source, directory, big ? 8 : 2);
  if (countBytes.size() < (big ? 8u : 2u)) return false;
  const std::uint64_t entries =
      std::min<std::uint64_t>(number(countBytes.data(), big ? 8 : 2), 65535);
  const std::size_t entrySize = big ? 20 : 12;
  const std::vector<std::uint8_t> table =
      ReadPiece(source, directory + countBytes.size(), entries * entrySize);
  for (std::size_t at = 0; at + entrySize <= table.size(); at += entrySize) {
    const std::uint64_t tag = number(&table[at], 2);
    const std::uint64_t type = number(&table[at + 2], 2);
    const std::uint64_t count = big ? number(&table[at + 4], 8) : number(&table[at + 4], 4);
    static constexpr std::uint8_t kTypeSize[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4,
                                                 8, 4, 8, 4, 0, 0, 8, 8, 8};
    const std::uint64_t size = type < std::size(kTypeSize) ? kTypeSize[type] : 0;
    const bool pieces = tag == 273 || tag == 279 || tag == 324 || tag == 325;
    if ((pieces && count > kMaxTiffPieces) || (size > 0 && count > kMaxTiffTagBytes / size))
      return true;
  }
  return false;
}

namespace {

// A device Qt's readers read through. A failure of the source (a file that cannot be read) is
// kept, the read reported as failed to the reader, and thrown again once the reader is done.
class SourceDeviceBase : public QIODevice {
 public:
  explicit SourceDeviceBase(const ByteSource& source) : m_source(source) {}
  ~SourceDeviceBase() override = default;
  SourceDeviceBase(const SourceDeviceBase&) = delete;
  SourceDeviceBase& operator=(const SourceDeviceBase&) = delete;

  // The bytes the source delivered.
  std::uint64_t BytesRead() const { return m_bytesRead; }
  void ThrowAnyFailure() const {
    if (m_failure) std::rethrow_exception(m_failure);
  }

 protected:
  // Up to `count` bytes from `offset`; -1 when the source failed.
  qint64 ReadSource(std::uint64_t offset, char* data, std::size_t count) {
    try {
      const std::size_t n = m_source.read(offset, reinterpret_cast<std::uint8_t*>(data), count);
      m_bytesRead += n;
      return static_cast<qint64>(n);
    } catch (...) {
      if (!m_failure) m_failure = std::current_exception();
      return -1;
    }
  }
  qint64 writeData(const char*, qint64) override { return -1; }

  const ByteSource& m_source;

 private:
  std::uint64_t m_bytesRead = 0;
  std::exception_ptr m_failure;
};

// The source's bytes, then `tail`, as a random-access device.
class SourceDevice : public SourceDeviceBase {
 public:
  SourceDevice(const ByteSource& source, QByteArray tail = {})
      : SourceDeviceBase(source), m_tail(std::move(tail)) {
    open(QIODevice::ReadOnly);
  }
  qint64 size() const override { return static_cast<qint64>(m_source.size) + m_tail.size(); }

 protected:
  qint64 readData(char* data, qint64 maxSize) override {
    const auto at = static_cast<std::uint64_t>(pos());
    const auto wanted = static_cast<std::size_t>(maxSize);
    if (at < m_source.size)
      return ReadSource(at, data, std::min<std::uint64_t>(wanted, m_source.size - at));
    const std::uint64_t inTail = at - m_source.size;
    if (inTail >= static_cast<std::uint64_t>(m_tail.size())) return 0;
    const auto n = std::min<std::size_t>(wanted, static_cast<std::size_t>(m_tail.size() - inTail));
    std::copy_n(m_tail.constData() + inTail, n, data);
    return static_cast<qint64>(n);
  }

 private:
  QByteArray m_tail;
};

std::uint32_t Be32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

// Ranges of the source, in their order, as one sequential device: a file as a reader is to see
// it, the parts that cannot change the pixels stepped over unread. NextKept picks each range.
class RangesDevice : public SourceDeviceBase {
 public:
  explicit RangesDevice(const ByteSource& source) : SourceDeviceBase(source) {}
  bool isSequential() const override { return true; }

 protected:
  qint64 readData(char* data, qint64 maxSize) override {
    qint64 done = 0;
    while (done < maxSize) {
      if (m_at == m_keptEnd && !m_insert.empty()) {
        const auto n = static_cast<qint64>(
            std::min<std::size_t>(m_insert.size(), static_cast<std::size_t>(maxSize - done)));
        std::copy_n(m_insert.data(), n, data + done);
        m_insert.erase(0, static_cast<std::size_t>(n));
        done += n;
        continue;
      }
      if (m_at == m_keptEnd && !NextKept()) break;
      const auto n = ReadSource(
          m_at, data + done,
          static_cast<std::size_t>(std::min<std::uint64_t>(maxSize - done, m_keptEnd - m_at)));
      if (n < 0) return done > 0 ? done : -1;
      if (n == 0) {  // a file cut shorter meanwhile
        m_keptEnd = m_next = m_at;
        break;
      }
      m_at += static_cast<std::uint64_t>(n);
      done += n;
    }
    return done;
  }

  // Moves m_at and m_keptEnd to the next range the reader sees, m_next past what it passed over;
  // false at the end.
  virtual bool NextKept() = 0;

  // Up to `count` bytes from `offset`, through a window read ahead: a file of many small parts
  // passed over is read in large pieces, not a read a part. The window grows while the parts
  // are small enough to follow each other in it, and shrinks again once one is passed over
  // beyond it, so that large parts cost little more than their headers.
  std::size_t Header(std::uint64_t offset, std::uint8_t* out, std::size_t count) {
    if (offset < m_windowStart || offset + count > m_windowStart + m_windowSize) {
      const std::uint64_t windowEnd = m_windowStart + m_windowSize;
      const bool following = offset >= m_windowStart && offset < windowEnd + m_windowWanted;
      m_windowWanted = following ? std::min(m_windowWanted * 2, m_window.size()) : kSmallWindow;
      m_windowStart = offset;
      m_windowSize = 0;
      const qint64 n = ReadSource(offset, reinterpret_cast<char*>(m_window.data()),
                                  std::max(m_windowWanted, count));
      if (n > 0) m_windowSize = static_cast<std::size_t>(n);
    }
    if (offset >= m_windowStart + m_windowSize) return 0;
    const std::size_t n = std::min<std::uint64_t>(count, m_windowStart + m_windowSize - offset);
    std::copy_n(m_window.data() + (offset - m_windowStart), n, out);
    return n;
  }

  std::uint64_t m_at = 0;       // where the next byte the reader sees is in the file
  std::uint64_t m_keptEnd = 0;  // the end of the range being read
  std::uint64_t m_next = 0;     // the start of what comes after it
  std::string m_insert;         // bytes not in the file, seen after the range

 private:
  static constexpr std::size_t kSmallWindow = 512;
  std::array<std::uint8_t, 1 << 16> m_window{};
  std::uint64_t m_windowStart = 0;
  std::size_t m_windowSize = 0;
  std::size_t m_windowWanted = kSmallWindow;
};

// A PNG as Qt's reader is to see it: the signature, then the chunks that can change the pixels,
// in their order; the others are stepped over unread.
class PngDevice : public RangesDevice {
 public:
  explicit PngDevice(const ByteSource& source) : RangesDevice(source) { open(QIODevice::ReadOnly); }

 private:
  // Chunks kept besides the critical ones: those libpng or Qt's reader turn into pixels.
  static bool KeptAncillary(const std::uint8_t* type) {
    static constexpr std::string_view kKept[] = {"tRNS", "gAMA", "cHRM", "sRGB", "iCCP", "sBIT"};
    const std::string_view name(reinterpret_cast<const char*>(type), 4);
    return std::ranges::find(kKept, name) != std::end(kKept);
  }
  static bool KnownCritical(const std::uint8_t* type) {
    static constexpr std::string_view kKnown[] = {"IHDR", "PLTE", "IDAT", "IEND"};
    const std::string_view name(reinterpret_cast<const char*>(type), 4);
    return std::ranges::find(kKnown, name) != std::end(kKnown);
  }
  // A colour chunk larger than this is ignored by libpng (its limit on a chunk it keeps is 8 MB),
  // so it is passed over.
  static constexpr std::uint32_t kLargestKeptAncillary = 16 << 20;

  bool NextKept() override {
    while (m_next < m_source.size) {
      if (m_next == 0) {  // the signature
        m_at = 0;
        m_keptEnd = m_next = std::min<std::uint64_t>(8, m_source.size);
        return true;
      }
      std::uint8_t header[8 + 13];
      const std::size_t got = Header(m_next, header, sizeof header);
      if (got < 8) {  // cut short: as it is, for libpng to refuse
        m_at = m_next;
        m_keptEnd = m_next = m_source.size;
        return true;
      }
      const std::uint64_t length = Be32(header);
      const std::uint64_t end = std::min(m_next + 12 + length, m_source.size);
      const std::uint8_t* type = header + 4;
      const bool critical = (type[0] & 0x20) == 0;
      const bool isIdat = std::equal(type, type + 4, "IDAT");
      // A critical chunk libpng does not know makes it refuse the file, after reading all of
      // the chunk: it ends here instead.
      if (critical && !KnownCritical(type)) return false;
      if (std::equal(type, type + 4, "IHDR") && length == 13 && got == sizeof header) {
        const std::uint8_t* h = header + 8;
        const std::uint64_t rows = PngRowBytes(Be32(h), Be32(h + 4), h[8], h[9], h[12]);
        // More than deflate's stored blocks take, with room for any compressor's framing.
        m_dataBudget = rows + rows / 8 + (std::uint64_t{64} << 10);
      }
      // Image data past what the rows could need is not shown: libpng reads no further than
      // the rows anyway, and passes over what follows, reading it to its end.
      if (isIdat) m_data += 12 + length;
      const bool beyondRows = isIdat && m_data > m_dataBudget;
      const std::uint64_t start = m_next;
      m_next = end;
      if ((critical && !beyondRows) || (KeptAncillary(type) && length <= kLargestKeptAncillary)) {
        m_at = start;
        m_keptEnd = end;
        return true;
      }
    }
    return false;
  }

  std::uint64_t m_data = 0;  // image data seen, each chunk's framing included
  std::uint64_t m_dataBudget = std::uint64_t{64} << 10;  // before the header says more
};

// A JPEG as Qt's reader is to see it: up to its first scan, the segments that make the pixels
// (tables, frame, restart interval, and the first few JFIF and Adobe segments, which tell the
// colours, and Exif segments, which tell the turn), then the rest as it is. Comments and the
// other application segments (colour profiles, which Qt keeps beside the pixels, and any
// program's own) are stepped over unread: Qt's reader keeps every comment in memory, twice.
class JpegDevice : public RangesDevice {
 public:
  explicit JpegDevice(const ByteSource& source) : RangesDevice(source) {
    open(QIODevice::ReadOnly);
  }

 private:
  // Of each kept application segment, the first so many.
  static constexpr int kKeptOfEach = 4;

  bool NextKept() override {
    if (m_next >= m_source.size) return false;
    if (m_next == 0) {  // the start-of-image marker
      m_at = 0;
      m_keptEnd = m_next = std::min<std::uint64_t>(2, m_source.size);
      return true;
    }
    while (!m_scanning && m_next < m_source.size) {
      std::uint8_t marker[4];
      const std::size_t got = Header(m_next, marker, sizeof marker);
      const std::uint8_t type = marker[1];
      // Anything but a segment with a length (fill bytes, a marker standing alone, the scan)
      // and the rest of the file go as they are.
      const bool segment = got == sizeof marker && marker[0] == 0xFF && type != 0xFF &&
                           type != 0xDA && type != 0x01 && type != 0xD9 &&
                           !(type >= 0xD0 && type <= 0xD7) && type != 0x00;
      if (!segment) break;
      const std::uint64_t end =
          std::min(m_next + 2 + (std::uint64_t{marker[2]} << 8 | marker[3]), m_source.size);
      const std::uint64_t start = m_next;
      m_next = end;
      const bool application = type >= 0xE0 && type <= 0xEF;
      const bool kept = type == 0xFE   ? false
                        : !application ? true
                        : type == 0xE0 || type == 0xE1 || type == 0xEE
                            ? m_seen[type - 0xE0]++ < kKeptOfEach
                            : false;
      if (kept) {
        m_at = start;
        m_keptEnd = end;
        return true;
      }
    }
    m_scanning = true;
    m_at = m_next;
    m_keptEnd = m_next = m_source.size;
    return m_at < m_keptEnd;
  }

  bool m_scanning = false;
  std::array<int, 16> m_seen{};
};

// A GIF as Qt's reader is to see it: its header and colours, then its first picture (the one
// shown) with the graphic control that tells its transparent colour, and the end. Comments and
// other extensions before it are passed over, and all that comes after it is not read. The
// picture's own data is cut short past twice its pixels, more than any encoder makes of them:
// Qt's reader would read on to the end of it.
class GifDevice : public RangesDevice {
 public:
  explicit GifDevice(const ByteSource& source) : RangesDevice(source) { open(QIODevice::ReadOnly); }

 private:
  std::uint8_t Byte(std::uint64_t at) {
    std::uint8_t b = 0;
    return Header(at, &b, 1) == 1 ? b : 0;
  }

  // The end of the data blocks from `at` (each a size byte, then that many bytes, the last of
  // size 0), or where the block that would take them past `budget` bytes of data starts (with
  // `cut` set), or the file's end.
  std::uint64_t BlocksEnd(std::uint64_t at, std::uint64_t budget, bool& cut) {
    cut = false;
    std::uint64_t data = 0;
    while (at < m_source.size) {
      const std::uint8_t size = Byte(at);
      if (size == 0) return at + 1;
      if ((data += size) > budget) {
        cut = true;
        return at;
      }
      at += 1 + std::uint64_t{size};
    }
    return m_source.size;
  }

  bool NextKept() override {
    if (m_done || m_next >= m_source.size) return false;
    if (m_next == 0) {  // header, screen, global colours
      const std::uint8_t flags = Byte(10);
      const std::uint64_t colours = flags & 0x80 ? 3u << ((flags & 7) + 1) : 0;
      m_at = 0;
      m_keptEnd = m_next = std::min<std::uint64_t>(13 + colours, m_source.size);
      return true;
    }
    while (m_next < m_source.size) {
      const std::uint64_t start = m_next;
      const std::uint8_t introducer = Byte(start);
      bool cut = false;
      if (introducer == 0x21) {  // an extension: its label, then data blocks
        const std::uint8_t label = Byte(start + 1);
        m_next = BlocksEnd(start + 2, UINT64_MAX, cut);
        if (label != 0xF9) continue;
        m_at = start;
        m_keptEnd = m_next;
        return true;
      }
      if (introducer == 0x2C) {  // the first picture, then the end
        const std::uint8_t flags = Byte(start + 9);
        const std::uint64_t colours = flags & 0x80 ? 3u << ((flags & 7) + 1) : 0;
        const std::uint64_t pixels = std::uint64_t{Byte(start + 5)} | Byte(start + 6) << 8;
        const std::uint64_t rows = std::uint64_t{Byte(start + 7)} | Byte(start + 8) << 8;
        const std::uint64_t dataStart = start + 10 + colours + 1;  // past the LZW code size
        const std::uint64_t end = BlocksEnd(dataStart, 2 * pixels * rows + (64 << 10), cut);
        m_at = start;
        m_keptEnd = std::min(end, m_source.size);
        m_insert = cut ? std::string("\0;", 2) : std::string(";");
        m_done = true;
        return true;
      }
      // The end, or what Qt's reader is to refuse: as it is.
      m_at = start;
      m_keptEnd = m_next = m_source.size;
      m_done = true;
      return true;
    }
    return false;
  }

  bool m_done = false;
};

// A WebP as Qt's reader is to see it: Qt's reader takes the whole device into memory, so it is
// handed the RIFF header (its size made that of what follows) and the chunks that make the first
// picture: VP8X, ICCP (at most 16 MB), ANIM and the first ANMF, ALPH, VP8 and VP8L. Metadata,
// unknown chunks, later frames, and anything past the RIFF's end are not read; nor is anything
// past the first 100,000 chunks. A random-access device, as Qt's reader wants.
class WebpDevice : public SourceDeviceBase {
 public:
  explicit WebpDevice(const ByteSource& source) : SourceDeviceBase(source) {
    const std::vector<std::uint8_t> header = Read(0, 12);
    if (header.size() != 12 || !std::equal(header.begin(), header.begin() + 4, "RIFF") ||
        !std::equal(header.begin() + 8, header.end(), "WEBP")) {
      m_pieces.push_back({0, source.size, {}});  // as it is, for Qt's reader to refuse
    } else {
      Choose(Le32(header.data() + 4));
    }
    for (const Piece& p : m_pieces)
      m_size += p.literal.empty() ? p.end - p.start : p.literal.size();
    open(QIODevice::ReadOnly);
  }
  qint64 size() const override { return static_cast<qint64>(m_size); }

 protected:
  qint64 readData(char* data, qint64 maxSize) override {
    std::uint64_t at = static_cast<std::uint64_t>(pos());
    qint64 done = 0;
    for (const Piece& p : m_pieces) {
      const std::uint64_t length = p.literal.empty() ? p.end - p.start : p.literal.size();
      if (at >= length) {
        at -= length;
        continue;
      }
      const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(length - at, maxSize - done));
      if (!p.literal.empty()) {
        std::copy_n(p.literal.data() + at, n, data + done);
      } else {
        const qint64 got = ReadSource(p.start + at, data + done, n);
        if (got < 0) return done > 0 ? done : -1;
        if (static_cast<std::size_t>(got) < n) return done + got;  // cut shorter meanwhile
      }
      done += static_cast<qint64>(n);
      at = 0;
      if (done == maxSize) break;
    }
    return done;
  }

 private:
  struct Piece {
    std::uint64_t start;
    std::uint64_t end;
    std::string literal;  // bytes not in the file, when not empty
  };

  static std::uint64_t Le32(const std::uint8_t* p) {
    return std::uint64_t{p[0]} | std::uint64_t{p[1]} << 8 | std::uint64_t{p[2]} << 16 |
           std::uint64_t{p[3]} << 24;
  }

  // Up to `count` bytes from `offset`, counted as read.
  std::vector<std::uint8_t> Read(std::uint64_t offset, std::size_t count) {
    std::vector<std::uint8_t> bytes(count);
    const qint64 n = ReadSource(offset, reinterpret_cast<char*>(bytes.data()), count);
    bytes.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return bytes;
  }

  void Choose(std::uint64_t riffSize) {
    const std::uint64_t riffEnd = std::min<std::uint64_t>(m_source.size, 8 + riffSize);
    std::uint64_t kept = 4;
    bool frame = false;
    int chunks = 0;
    m_pieces.push_back({0, 0, {}});  // the header, written below
    for (std::uint64_t at = 12; at + 8 <= riffEnd && chunks < 100'000; ++chunks) {
      const std::vector<std::uint8_t> chunk = Read(at, 8);
      if (chunk.size() != 8) break;
      const std::uint64_t size = Le32(chunk.data() + 4);
      const std::uint64_t end = std::min(at + 8 + size + (size & 1), riffEnd);
      const std::string_view type(reinterpret_cast<const char*>(chunk.data()), 4);
      const bool firstFrame = type == "ANMF" && !frame;
      frame = frame || type == "ANMF";
      if (type == "VP8X" || type == "ANIM" || type == "ALPH" || type == "VP8 " || type == "VP8L" ||
          firstFrame || (type == "ICCP" && size <= (16u << 20))) {
        m_pieces.push_back({at, end, {}});
        kept += end - at;
      }
      at = end;
    }
    std::string header("RIFF", 4);
    for (int i = 0; i < 4; ++i) header.push_back(static_cast<char>(kept >> (8 * i)));
    m_pieces.front().literal = header + "WEBP";
  }

  std::vector<Piece> m_pieces;
  std::uint64_t m_size = 0;
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

bool TooLarge(QSize s) {
  return std::int64_t{s.width()} * s.height() > dib::kMaxPixels;
}

std::string NotValid(const char* kind) {
  return std::string(kind) + " image is not valid";
}

// Reads `device` with Qt's reader of `format` only (a file is read as what its extension says,
// never sniffed as something else). The size the header claims is checked before any pixel is
// decoded; readers that cannot tell it are held by the allocation limit instead.
std::unique_ptr<Picture> ReadRaster(SourceDeviceBase& device, const char* format,
                                    const char* kind) {
  QImageReader::setAllocationLimit(kReaderAllocationLimitMb);
  QImageReader reader(&device, format);
  reader.setAutoDetectImageFormat(false);
  // A photograph turned on its side by its camera is shown upright.
  reader.setAutoTransform(true);
  const QSize claimed = reader.size();
  device.ThrowAnyFailure();
  if (claimed.isValid() && TooLarge(claimed)) throw LoadError(NotValid(kind));
  QImage image;
  const bool read = reader.read(&image);
  device.ThrowAnyFailure();
  if (!read || image.isNull() || TooLarge(image.size())) throw LoadError(NotValid(kind));
  return std::make_unique<ImagePicture>(std::move(image));
}

std::unique_ptr<Picture> ReadRaster(const ByteSource& source, const char* format,
                                    const char* kind) {
  SourceDevice device(source);
  return ReadRaster(device, format, kind);
}

// Qt's TGA reader takes only files with the version 2 footer. Most files are of version 1, which
// is version 2 without its optional areas: the footer that says none are there is read after the
// file's own bytes.
constexpr char kTgaSignature[] = "TRUEVISION-XFILE.";  // with its '\0', the footer's last 18 bytes

bool HasTgaFooter(const ByteSource& source) {
  const auto signature = std::as_bytes(std::span(kTgaSignature));
  if (source.size < signature.size()) return false;
  const std::vector<std::uint8_t> last =
      ReadPiece(source, source.size - signature.size(), signature.size());
  return std::ranges::equal(std::as_bytes(std::span(last)), signature);
}

QByteArray TgaFooter() {
  return QByteArray(8, '\0') + QByteArray(kTgaSignature, sizeof kTgaSignature);
}

// Whether an uncompressed TGA (the only kind Qt reads) holds fewer bytes than its header says.
// Qt's reader would fill the rest, so a few bytes could claim a picture that takes seconds and
// hundreds of megabytes to fill.
bool TgaCutShort(const ByteSource& source) {
  constexpr std::size_t kHeader = 18;
  const std::vector<std::uint8_t> file = ReadPiece(source, 0, kHeader);
  if (file.size() < kHeader) return false;  // Qt's reader refuses it
  const auto u16 = [&](std::size_t at) { return std::uint64_t{file[at]} | file[at + 1] << 8; };
  const std::uint8_t type = file[2];
  if (type != 1 && type != 2 && type != 3) return false;
  // A colour map is there only when the map type says so (1); else its length is not counted.
  const std::uint64_t palette = file[1] == 1 ? u16(5) * ((file[7] + 7) / 8) : 0;
  const std::uint64_t pixels = u16(12) * u16(14) * ((file[16] + 7) / 8);
  return source.size < kHeader + file[0] + palette + pixels;
}

// The bytes Qt's TGA reader reads: the file's, then the footer read after them when the file has
// none. Copies up to `count` from `offset` on and says how many.
std::size_t ReadTgaStream(const ByteSource& source, const QByteArray& footer,
                          std::uint64_t offset, std::uint8_t* data, std::size_t count) {
  std::size_t done = ReadInto(source, offset, data, count);
  // A file cut shorter meanwhile ends where it now ends, the footer not read after it.
  if (done < count && offset + done < source.size) return done;
  while (done < count && offset + done - source.size < std::uint64_t(footer.size())) {
    data[done] = static_cast<std::uint8_t>(footer[qsizetype(offset + done - source.size)]);
    ++done;
  }
  return done;
}

// Qt's TGA reader reads a pixel a call (3.4 s for 64 megapixels); the same picture is read here a
// row at a time. What it makes of a file is kept exactly:
// - true-colour files only (type 2), of 16, 24 or 32 bits, of at most 8192 x 8192 pixels, with
//   the version 2 footer (read after the file when it has none);
// - the pixels start past the identification field and the colour map's length times the two
//   bytes from the map's depth on, counted twice: the reader seeks past them and then skips as
//   many again;
// - a pixel the bytes cannot complete, and every one after it, is transparent black;
// - a 16-bit pixel keeps its five-bit values unscaled, its alpha from the top bit;
// - rows go up the picture unless the descriptor's bit 5 says down.
std::unique_ptr<Picture> ReadTga(const ByteSource& source) {
  if (TgaCutShort(source)) throw LoadError(NotValid("TGA"));
  const QByteArray footer = HasTgaFooter(source) ? QByteArray() : TgaFooter();
  const std::uint64_t length = source.size + std::uint64_t(footer.size());
  std::uint8_t header[18];
  constexpr std::size_t kHeader = sizeof header;
  if (ReadTgaStream(source, footer, 0, header, kHeader) != kHeader) throw LoadError(NotValid("TGA"));
  const auto u16 = [&](int at) { return int(header[at]) | int(header[at + 1]) << 8; };
  const int bits = header[16];
  const int width = u16(12);
  const int height = u16(14);
  if (header[2] != 2 || (bits != 16 && bits != 24 && bits != 32) ||
      std::int64_t{width} * height > 8192 * 8192 || length < 26)
    throw LoadError(NotValid("TGA"));
  std::uint8_t signature[16];
  if (ReadTgaStream(source, footer, length - 18, signature, sizeof signature) != sizeof signature ||
      std::memcmp(signature, "TRUEVISION-XFILE", sizeof signature) != 0)
    throw LoadError(NotValid("TGA"));

  // Where the reader's int arithmetic overflows, its seek fails and its skip runs on past any
  // file: the same as counting without overflow.
  std::uint64_t skipped = header[0];
  if (header[1] == 1) skipped += std::uint64_t(u16(5)) * std::uint64_t(u16(7));
  std::uint64_t at = kHeader + 2 * skipped;

  QImage image;
  QImageReader::setAllocationLimit(kReaderAllocationLimitMb);
  if (!QImageIOHandler::allocateImage(QSize(width, height), QImage::Format_ARGB32, &image))
    throw LoadError(NotValid("TGA"));
  const int bytes = bits / 8;
  std::vector<std::uint8_t> row(std::size_t(width) * bytes);
  bool ended = false;
  for (int i = 0; i < height; ++i) {
    auto* out = reinterpret_cast<QRgb*>(image.scanLine((header[17] & 0x20) ? i : height - 1 - i));
    const std::size_t got =
        ended ? 0 : ReadTgaStream(source, footer, at, row.data(), row.size());
    at += got;
    const int whole = int(got / std::size_t(bytes));
    if (whole < width) ended = true;
    const std::uint8_t* p = row.data();
    for (int x = 0; x < whole; ++x, p += bytes) {
      if (bits == 16) {
        const std::uint32_t d = p[0] | p[1] << 8;
        out[x] = ((d & 0x8000) ? 0xFF000000u : 0u) | (d & 0x7C00) << 6 | (d & 0x03E0) << 3 |
                 (d & 0x001F);
      } else if (bits == 24) {
        out[x] = qRgb(p[2], p[1], p[0]);
      } else {
        out[x] = qRgba(p[2], p[1], p[0], p[3]);
      }
    }
    std::fill(out + whole, out + width, QRgb{0});
  }
  if (TooLarge(image.size())) throw LoadError(NotValid("TGA"));
  return std::make_unique<ImagePicture>(std::move(image));
}

// A text picture (ASCII PBM, PGM or PPM; XBM) read by this program's own reader, which gives
// what Qt's would at a small part of its cost; any other (binary) PBM, PGM or PPM by Qt's.
std::unique_ptr<Picture> ReadTextOrRaster(const ByteSource& source, const char* format,
                                          const char* kind) {
  const std::optional<QImage> text = ReadTextPicture(source, format);
  if (!text) return ReadRaster(source, format, kind);
  if (text->isNull()) throw LoadError(NotValid(kind));
  return std::make_unique<ImagePicture>(*text);
}

std::unique_ptr<Picture> ReadCounting(SourceDeviceBase& device, const char* format,
                                      const char* kind, ReaderWork& work) {
  try {
    auto picture = ReadRaster(device, format, kind);
    work.bytesRead += device.BytesRead();
    return picture;
  } catch (...) {
    work.bytesRead += device.BytesRead();
    throw;
  }
}

}  // namespace

std::unique_ptr<Picture> ReadPngCounting(const ByteSource& source, ReaderWork& work) {
  PngDevice device(source);
  return ReadCounting(device, "png", "PNG", work);
}

std::unique_ptr<Picture> ReadWebpCounting(const ByteSource& source, ReaderWork& work) {
  WebpDevice device(source);
  return ReadCounting(device, "webp", "WebP", work);
}

std::unique_ptr<Picture> ReadJpegCounting(const ByteSource& source, ReaderWork& work) {
  JpegDevice device(source);
  return ReadCounting(device, "jpeg", "JPEG", work);
}

QImage ToRgb32Releasing(QImage image) {
  // Converted whole, the source (a quarter of the result for greys) would stand beside all of it.
  QImage out(image.size(), QImage::Format_RGB32);
  if (out.isNull()) throw std::bad_alloc();
  const QList<QRgb> colours = image.colorTable();
  const long page = ::sysconf(_SC_PAGESIZE);
  const auto source = reinterpret_cast<std::uintptr_t>(image.bits());  // detached: owned here
  std::uintptr_t released =
      (source + static_cast<std::uintptr_t>(page) - 1) & ~static_cast<std::uintptr_t>(page - 1);
  constexpr int kBand = 64;
  for (int top = 0; top < image.height(); top += kBand) {
    const int rows = std::min(kBand, image.height() - top);
    QImage band(image.constScanLine(top), image.width(), rows, image.bytesPerLine(),
                image.format());
    band.setColorTable(colours);
    const QImage converted = band.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < rows; ++y)
      std::memcpy(out.scanLine(top + y), converted.constScanLine(y),
                  static_cast<std::size_t>(image.width()) * 4);
    // The source's whole pages above the next band are read no more: their memory goes back.
    const std::uintptr_t done = (reinterpret_cast<std::uintptr_t>(image.constScanLine(top)) +
                                 static_cast<std::uintptr_t>(image.bytesPerLine()) * rows) &
                                ~static_cast<std::uintptr_t>(page - 1);
    if (done > released) {
      ::madvise(reinterpret_cast<void*>(released), done - released, MADV_DONTNEED);
      released = done;
    }
  }
  return out;
}

QImage OpaqueOverWhite(QImage image) {
  if (!image.hasAlphaChannel()) {
    // Photographs come as RGB32 and are kept as they are. A large picture of fewer bytes a pixel
    // gives its memory back as it is converted, when it is the only copy.
    constexpr qsizetype kLarge = qsizetype{16} << 20;
    if (image.format() != QImage::Format_RGB32) {
      if (image.sizeInBytes() >= kLarge && image.isDetached())
        return ToRgb32Releasing(std::move(image));
      image.convertTo(QImage::Format_RGB32);
    }
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

namespace {

std::unique_ptr<Picture> ReadPng(const ByteSource& source) {
  ReaderWork work;
  return ReadPngCounting(source, work);
}

// Each kind read from a source, whether the file's bytes in memory or the open file.
using SourceReader = std::unique_ptr<Picture> (*)(const ByteSource&);

std::unique_ptr<Picture> FromMemory(SourceReader read, std::span<const std::uint8_t> file) {
  return read(MemorySource(file));
}
std::unique_ptr<Picture> FromFile(SourceReader read, int fd, std::uint64_t size,
                                  const std::string& fileName) {
  return read(FileSource(fd, size, fileName));
}

std::unique_ptr<Picture> ReadJpeg(const ByteSource& s) {
  ReaderWork work;
  return ReadJpegCounting(s, work);
}
std::unique_ptr<Picture> ReadGif(const ByteSource& s) {
  // The screen, which Qt's reader allocates whole, is checked first: the device it reads
  // through cannot go back to tell the size.
  const std::vector<std::uint8_t> screen = ReadPiece(s, 6, 4);
  if (screen.size() == 4 &&
      std::int64_t{screen[0] | screen[1] << 8} * (screen[2] | screen[3] << 8) > dib::kMaxPixels)
    throw LoadError(NotValid("GIF"));
  GifDevice device(s);
  return ReadRaster(device, "gif", "GIF");
}
std::unique_ptr<Picture> ReadWebp(const ByteSource& s) {
  ReaderWork work;
  return ReadWebpCounting(s, work);
}
std::unique_ptr<Picture> ReadTiff(const ByteSource& s) {
  if (TiffTagsTooLarge(s)) throw LoadError(NotValid("TIFF"));
  return ReadRaster(s, "tiff", "TIFF");
}
std::unique_ptr<Picture> ReadPbm(const ByteSource& s) {
  return ReadTextOrRaster(s, "pbm", "PBM");
}
std::unique_ptr<Picture> ReadPgm(const ByteSource& s) {
  return ReadTextOrRaster(s, "pgm", "PGM");
}
std::unique_ptr<Picture> ReadPpm(const ByteSource& s) {
  return ReadTextOrRaster(s, "ppm", "PPM");
}
std::unique_ptr<Picture> ReadXbm(const ByteSource& s) {
  return ReadTextOrRaster(s, "xbm", "XBM");
}

}  // namespace

#define DOTWRIGHT_QT_KIND(Kind)                                               \
  std::unique_ptr<Picture> Decode##Kind(std::span<const std::uint8_t> file) { \
    return FromMemory(Read##Kind, file);                                      \
  }                                                                           \
  std::unique_ptr<Picture> Read##Kind##File(int fd, std::uint64_t size,       \
                                            const std::string& fileName) {    \
    return FromFile(Read##Kind, fd, size, fileName);                          \
  }
DOTWRIGHT_QT_KIND(Png)
DOTWRIGHT_QT_KIND(Jpeg)
DOTWRIGHT_QT_KIND(Gif)
DOTWRIGHT_QT_KIND(Webp)
DOTWRIGHT_QT_KIND(Tiff)
DOTWRIGHT_QT_KIND(Tga)
DOTWRIGHT_QT_KIND(Pbm)
DOTWRIGHT_QT_KIND(Pgm)
DOTWRIGHT_QT_KIND(Ppm)
DOTWRIGHT_QT_KIND(Xbm)
DOTWRIGHT_QT_KIND(Svg)
#undef DOTWRIGHT_QT_KIND

}  // namespace picture
