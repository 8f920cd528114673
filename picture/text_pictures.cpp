#include "picture/text_pictures.h"

#include <QByteArray>
#include <QRgba64>
#include <array>
#include <cctype>
#include <climits>
#include <cstring>
#include <new>
#include <span>
#include <string_view>
#include <vector>

#include "model/canvas.h"
#include "picture/dib.h"

namespace picture {
namespace {

// The source read a character or a line at a time out of a large buffer.
class TextReader {
 public:
  explicit TextReader(const ByteSource& source) : m_source(source) {}

  bool GetChar(char& c) {
    if (m_at == m_size && !Fill()) return false;
    c = static_cast<char>(m_buffer[m_at++]);
    return true;
  }

  // The bytes read and not taken yet, at least one unless at the end.
  std::span<const std::uint8_t> Piece() {
    if (m_at == m_size) Fill();
    return {m_buffer.data() + m_at, m_size - m_at};
  }
  void Take(std::size_t count) { m_at += count; }

  // As QIODevice::readLine: up to `maxSize` - 1 bytes, ending after the first '\n', then a '\0';
  // how many bytes, or -1 at the end.
  qint64 ReadLine(char* data, qint64 maxSize) {
    qint64 done = 0;
    while (done < maxSize - 1) {
      if (m_at == m_size && !Fill()) break;
      const std::size_t room =
          std::min<std::size_t>(m_size - m_at, static_cast<std::size_t>(maxSize - 1 - done));
      const auto* start = m_buffer.data() + m_at;
      const void* newline = std::memchr(start, '\n', room);
      const std::size_t n =
          newline ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(newline) - start) + 1
                  : room;
      std::memcpy(data + done, start, n);
      m_at += n;
      done += static_cast<qint64>(n);
      if (newline) break;
    }
    data[done] = '\0';
    return done > 0 ? done : -1;
  }

  // Past the lines ahead that hold no `c`, those ending in the bytes read already: read line by
  // line, wherever the lines are cut, none of them would hold it.
  void SkipLinesWithout(char c) {
    for (;;) {
      if (m_at == m_size && !Fill()) return;
      const std::uint8_t* start = m_buffer.data() + m_at;
      const auto* hit = static_cast<const std::uint8_t*>(std::memchr(start, c, m_size - m_at));
      const std::size_t clear = hit ? static_cast<std::size_t>(hit - start) : m_size - m_at;
      const auto* newline = static_cast<const std::uint8_t*>(::memrchr(start, '\n', clear));
      if (!newline) return;
      m_at += static_cast<std::size_t>(newline - start) + 1;
      if (hit) return;
    }
  }

  // Past the next '\n', or to the end.
  void SkipLine() {
    for (;;) {
      if (m_at == m_size && !Fill()) return;
      const void* newline = std::memchr(m_buffer.data() + m_at, '\n', m_size - m_at);
      if (newline) {
        m_at =
            static_cast<std::size_t>(static_cast<const std::uint8_t*>(newline) - m_buffer.data()) +
            1;
        return;
      }
      m_at = m_size;
    }
  }

 private:
  bool Fill() {
    m_size = m_source.read(m_offset, m_buffer.data(), m_buffer.size());
    m_offset += m_size;
    m_at = 0;
    return m_size > 0;
  }

  const ByteSource& m_source;
  std::array<std::uint8_t, 1 << 16> m_buffer{};
  std::uint64_t m_offset = 0;
  std::size_t m_at = 0;
  std::size_t m_size = 0;
};

QImage Allocated(int width, int height, QImage::Format format) {
  if (std::int64_t{width} * height > dib::kMaxPixels) return {};
  QImage image(width, height, format);
  if (image.isNull()) throw std::bad_alloc();
  return image;
}

// --- PBM, PGM and PPM in text --------------------------------------------------------------------

bool Digit(char c) {
  return c >= '0' && c <= '9';
}
// White space as the C library takes it (as Qt's reader asks it), without asking it for ASCII.
bool Space(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u < 128 ? u == ' ' || (u >= '\t' && u <= '\r') : std::isspace(u) != 0;
}

// Which bytes are white space, asked once.
const std::array<bool, 256>& SpaceTable() {
  static const std::array<bool, 256> kSpace = [] {
    std::array<bool, 256> space{};
    for (int c = 0; c < 256; ++c) space[static_cast<std::size_t>(c)] = Space(static_cast<char>(c));
    return space;
  }();
  return kSpace;
}

// The next decimal number: white space and '#' comments (to the end of the line) before it are
// passed over, and the character after it is taken too (a comment it starts is passed over).
// `ok` turns false when no digit comes first; a number too large for an int reads as -1.
int ReadNumber(TextReader& in, bool& ok) {
  int value = -1;
  bool overflow = false;
  // The characters are looked at where they lie in the reader's buffer, a piece at a time.
  for (bool done = false; !done;) {
    const std::span<const std::uint8_t> piece = in.Piece();
    if (piece.empty()) break;
    std::size_t i = 0;
    if (value == -1) {  // white space first, passed over in a tight loop
      const std::array<bool, 256>& space = SpaceTable();
      while (i < piece.size() && space[piece[i]]) ++i;
    }
    bool comment = false;
    while (i < piece.size()) {
      const char c = static_cast<char>(piece[i++]);
      const bool digit = Digit(c);
      if (value != -1) {
        if (digit) {
          const int d = c - '0';
          if (overflow) {
            // Once too large, the rest of the digits change nothing.
            while (i < piece.size() && Digit(static_cast<char>(piece[i]))) ++i;
          } else if (value <= (INT_MAX - d) / 10) {
            value = 10 * value + d;
          } else {
            overflow = true;
          }
          continue;
        }
        comment = c == '#';
        done = true;
        break;
      }
      if (digit) {
        value = c - '0';
      } else if (Space(c)) {
        continue;
      } else {
        comment = c == '#';
        done = !comment;
        break;
      }
    }
    in.Take(i);
    if (comment) in.SkipLine();
  }
  if (value < 0) ok = false;
  return overflow ? -1 : value;
}

// `count` numbers as ReadNumber reads them, into `out`; false as soon as one is missing. The usual
// number (at most 9 digits, so no int overflows, after white space) is read where it lies in the
// reader's buffer; anything else, and the last bytes of each piece, by ReadNumber.
bool ReadNumbers(TextReader& in, int* out, std::size_t count) {
  const std::array<bool, 256>& kSpace = SpaceTable();
  const auto digit = [](std::uint8_t c) { return static_cast<unsigned>(c - '0') < 10; };
  bool ok = true;
  std::size_t done = 0;
  while (done < count) {
    const std::span<const std::uint8_t> piece = in.Piece();
    const std::uint8_t* p = piece.data();
    // Room for white space, 9 digits and the character after them.
    const std::uint8_t* const last = piece.size() >= 16 ? p + piece.size() - 16 : p;
    bool comment = false;
    while (done < count && p < last) {
      while (kSpace[*p] && p < last) ++p;
      if (p == last || !digit(*p)) break;
      const std::uint8_t* const start = p;
      unsigned value = *p++ - '0';
      while (digit(*p) && p - start < 10) value = 10 * value + (*p++ - '0');
      if (p - start > 9) {
        p = start;
        break;
      }
      out[done++] = static_cast<int>(value);
      if (*p++ == '#') {
        comment = true;
        break;
      }
    }
    in.Take(static_cast<std::size_t>(p - piece.data()));
    if (comment) {
      in.SkipLine();
    } else if (done < count) {
      out[done++] = ReadNumber(in, ok);
      if (!ok) return false;
    }
  }
  return ok;
}

QRgb Scaled(int maximum, int r, int g, int b) {
  const auto mx = static_cast<quint16>(maximum);
  const auto scale = [mx](int v) {
    return static_cast<quint16>(static_cast<quint16>(v) * 0xffffu / mx);
  };
  return QRgba64::fromRgba64(scale(r), scale(g), scale(b), 0xffff).toArgb32();
}

std::optional<QImage> ReadTextPnm(const ByteSource& source) {
  TextReader in(source);
  char head[3];
  for (char& c : head)
    if (!in.GetChar(c)) return QImage();
  if (head[0] != 'P' || !Digit(head[1]) || !Space(head[2])) return QImage();
  const char type = head[1];
  if (type >= '4' && type <= '6') return std::nullopt;
  if (type < '1' || type > '3') return QImage();
  bool ok = true;
  const int width = ReadNumber(in, ok);
  const int height = ReadNumber(in, ok);
  const int maximum = type == '1' ? 1 : ReadNumber(in, ok);
  if (!ok || width <= 0 || width > 32767 || height <= 0 || height > 32767 || maximum <= 0 ||
      maximum > 0xffff)
    return QImage();

  // A row's numbers, as Qt's reader reads them one by one.
  const std::size_t perRow = static_cast<std::size_t>(width) * (type == '3' ? 3 : 1);
  std::vector<int> numbers(perRow);
  if (type == '1') {
    QImage image = Allocated(width, height, QImage::Format_Mono);
    if (image.isNull()) return image;
    model::PagesAhead ahead(image.bits(), static_cast<std::size_t>(image.sizeInBytes()));
    for (int y = 0; y < height; ++y) {
      if (!ReadNumbers(in, numbers.data(), perRow)) return QImage();
      uchar* p = image.scanLine(y);
      for (int x = 0; x < width; x += 8) {
        int byte = 0;
        for (int i = 0; i < 8; ++i) byte = byte << 1 | (x + i < width ? numbers[x + i] & 1 : 0);
        *p++ = static_cast<uchar>(byte);
      }
    }
    image.setColorCount(2);
    image.setColor(0, qRgb(255, 255, 255));
    image.setColor(1, qRgb(0, 0, 0));
    return image;
  }
  // Greys straight as the RGB32 they are drawn from (Qt's reader gives a Grayscale8 image, which
  // is converted to that), so that no grey copy stands beside them.
  QImage image = Allocated(width, height, QImage::Format_RGB32);
  if (image.isNull()) return image;
  // The numbers take far longer to read than the pages to map.
  model::PagesAhead ahead(image.bits(), static_cast<std::size_t>(image.sizeInBytes()));
  for (int y = 0; y < height; ++y) {
    if (!ReadNumbers(in, numbers.data(), perRow)) return QImage();
    auto* p = reinterpret_cast<QRgb*>(image.scanLine(y));
    if (type == '2') {
      for (int x = 0; x < width; ++x) {
        const int v = numbers[x];
        const auto grey = static_cast<uchar>(maximum == 255 ? v : (v & 0xffff) * 255 / maximum);
        p[x] = qRgb(grey, grey, grey);
      }
    } else {
      for (int x = 0; x < width; ++x) {
        const int* rgb = &numbers[3 * static_cast<std::size_t>(x)];
        p[x] =
            maximum == 255 ? qRgb(rgb[0], rgb[1], rgb[2]) : Scaled(maximum, rgb[0], rgb[1], rgb[2]);
      }
    }
  }
  return image;
}

// --- XBM ---------------------------------------------------------------------------------------

// Lines are read as Qt's reader reads them, at most 299 bytes at a time.
constexpr int kLine = 300;

// The number a "#define <name> <number>" line gives, 0 for any other line; `length` as Qt's
// reader passes it (the line less its last byte).
int DefinedNumber(const char* line, qint64 length) {
  constexpr std::string_view kDefine = "#define";
  if (std::strncmp(line, kDefine.data(), kDefine.size()) != 0) return 0;
  const auto space = [](char c) { return c == ' ' || c == '\t'; };
  const auto nameChar = [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' ||
           c == '.';
  };
  qsizetype at = static_cast<qsizetype>(kDefine.size());
  while (line[at] && space(line[at])) ++at;
  while (line[at] && nameChar(line[at])) ++at;
  while (line[at] && space(line[at])) ++at;
  return QByteArray(line + at, static_cast<qsizetype>(length) - at).toInt();
}

int HexDigit(char c) {
  return std::isdigit(static_cast<unsigned char>(c))
             ? c - '0'
             : std::toupper(static_cast<unsigned char>(c)) - 'A' + 10;
}

QImage ReadXbm(const ByteSource& source) {
  TextReader in(source);
  char line[kLine + 1];
  line[0] = '\0';
  // Lines before the first "#", within the first 4 KB.
  qint64 length = 0;
  qint64 total = 0;
  while (line[0] != '#') {
    length = in.ReadLine(line, kLine);
    if (length <= 0 || length >= kLine - 1) return {};
    total += length;
    if (total >= 4096) return {};
  }
  const int width = DefinedNumber(line, length - 1);
  length = in.ReadLine(line, kLine);
  const int height = DefinedNumber(line, length - 1);
  if (width <= 0 || width > 32767 || height <= 0 || height > 32767) return {};

  // The first line holding "0x".
  const char* p = nullptr;
  do {
    in.SkipLinesWithout('0');
    length = in.ReadLine(line, kLine);
    if (length <= 0) return {};
    p = std::strstr(line, "0x");
  } while (!p);

  QImage image = Allocated(width, height, QImage::Format_MonoLSB);
  if (image.isNull()) return image;
  image.fill(Qt::color0);  // what the data does not reach
  image.setColorCount(2);
  image.setColor(0, qRgb(255, 255, 255));
  image.setColor(1, qRgb(0, 0, 0));
  const int rowBytes = (width + 7) / 8;
  int x = 0;
  int y = 0;
  uchar* b = image.scanLine(0);
  while (y < height) {
    if (p && p < line + length - 3) {
      if (!std::isxdigit(static_cast<unsigned char>(p[2])) ||
          !std::isxdigit(static_cast<unsigned char>(p[3])))
        return {};
      *b++ = static_cast<uchar>(HexDigit(p[2]) << 4 | HexDigit(p[3]));
      p += 2;
      if (++x == rowBytes && ++y < height) {
        b = image.scanLine(y);
        x = 0;
      }
      p = std::strstr(p, "0x");
    } else {
      in.SkipLinesWithout('0');
      length = in.ReadLine(line, kLine);
      if (length <= 0) break;  // cut short: the rest stays white
      p = std::strstr(line, "0x");
    }
  }
  return image;
}

}  // namespace

std::optional<QImage> ReadTextPicture(const ByteSource& source, const char* format) {
  if (std::string_view(format) == "xbm") return ReadXbm(source);
  return ReadTextPnm(source);
}

}  // namespace picture
