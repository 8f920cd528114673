#include "model/output.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <charconv>
#include <cstring>

#include "model/array_text.h"

namespace model {
namespace {

constexpr char kUpperHex[] = "0123456789ABCDEF";
constexpr char kLowerHex[] = "0123456789abcdef";

constexpr std::array<std::string_view, 4> kLayoutNames = {"page-lsb", "page-msb", "rows-msb",
                                                          "rows-lsb"};
constexpr std::array<std::string_view, 3> kFormatNames = {"c", "xbm", "bin"};
constexpr std::array<std::string_view, 3> kTypeNames = {"char", "uint8", "progmem"};

// C and C++ keywords: a name the compiler would take for one of them cannot name the array.
constexpr std::string_view kKeywords[] = {"_Alignas",
                                          "_Alignof",
                                          "_Atomic",
                                          "_Bool",
                                          "_Complex",
                                          "_Generic",
                                          "_Imaginary",
                                          "_Noreturn",
                                          "_Static_assert",
                                          "_Thread_local",
                                          "alignas",
                                          "alignof",
                                          "and",
                                          "and_eq",
                                          "asm",
                                          "auto",
                                          "bitand",
                                          "bitor",
                                          "bool",
                                          "break",
                                          "case",
                                          "catch",
                                          "char",
                                          "char16_t",
                                          "char32_t",
                                          "char8_t",
                                          "class",
                                          "co_await",
                                          "co_return",
                                          "co_yield",
                                          "compl",
                                          "concept",
                                          "const",
                                          "const_cast",
                                          "consteval",
                                          "constexpr",
                                          "constinit",
                                          "continue",
                                          "decltype",
                                          "default",
                                          "delete",
                                          "do",
                                          "double",
                                          "dynamic_cast",
                                          "else",
                                          "enum",
                                          "explicit",
                                          "export",
                                          "extern",
                                          "false",
                                          "float",
                                          "for",
                                          "friend",
                                          "goto",
                                          "if",
                                          "inline",
                                          "int",
                                          "long",
                                          "mutable",
                                          "namespace",
                                          "new",
                                          "noexcept",
                                          "not",
                                          "not_eq",
                                          "nullptr",
                                          "operator",
                                          "or",
                                          "or_eq",
                                          "private",
                                          "protected",
                                          "public",
                                          "register",
                                          "reinterpret_cast",
                                          "requires",
                                          "restrict",
                                          "return",
                                          "short",
                                          "signed",
                                          "sizeof",
                                          "static",
                                          "static_assert",
                                          "static_cast",
                                          "struct",
                                          "switch",
                                          "template",
                                          "this",
                                          "thread_local",
                                          "throw",
                                          "true",
                                          "try",
                                          "typedef",
                                          "typeid",
                                          "typename",
                                          "union",
                                          "unsigned",
                                          "using",
                                          "virtual",
                                          "void",
                                          "volatile",
                                          "wchar_t",
                                          "while",
                                          "xor",
                                          "xor_eq"};

template <typename Enum, std::size_t N>
Enum FindName(std::string_view name, const std::array<std::string_view, N>& names,
              const std::array<Enum, N>& values, const char* what) {
  for (std::size_t i = 0; i < N; ++i)
    if (names[i] == name) return values[i];
  std::string accepted;
  for (std::string_view n : names) {
    if (!accepted.empty()) accepted += ", ";
    accepted += n;
  }
  throw OptionError("Неизвестный " + std::string(what) + " «" + std::string(name) +
                    "»: допустимы " + accepted);
}

bool IsRows(Layout layout) {
  return layout == Layout::RowsMsb || layout == Layout::RowsLsb;
}

// The eight rows of page `page` in column `x`, row 8p + k in bit k (LsbTop) or bit 7 - k.
// The store holds 0 and 1 only and a page's rows are adjacent in a column, so the eight
// entries read as one 64-bit word whose byte k is row k; one multiplication gathers bit 0 of
// each byte into the top byte (no two partial products meet, so nothing carries).
template <bool LsbTop>
std::uint8_t ColumnByte(const std::uint8_t* column) {
  if constexpr (std::endian::native == std::endian::little) {
    std::uint64_t word;
    std::memcpy(&word, column, sizeof word);
    constexpr std::uint64_t kGather = LsbTop ? 0x0102040810204080ULL : 0x8040201008040201ULL;
    return static_cast<std::uint8_t>((word * kGather) >> 56);
  } else {
    std::uint8_t byte = 0;
    for (int k = 0; k < 8; ++k)
      byte |= static_cast<std::uint8_t>(column[k] << (LsbTop ? k : 7 - k));
    return byte;
  }
}

// Transposes an 8 x 8 bit matrix held in a word as byte i, bit j: afterwards byte j, bit i.
std::uint64_t Transpose8x8(std::uint64_t x) {
  std::uint64_t t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AAULL;
  x ^= t ^ (t << 7);
  t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCCULL;
  x ^= t ^ (t << 14);
  t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0ULL;
  x ^= t ^ (t << 28);
  return x;
}

template <bool LsbTop>
void PackPages(const PixelStore& store, int width, int height, std::uint8_t flip,
               std::uint8_t* out) {
  const std::uint8_t* pixels = store.Raw().data();
  for (int page = 0; page < height / 8; ++page)
    for (int x = 0; x < width; ++x)
      *out++ = ColumnByte<LsbTop>(pixels + PixelStore::Index(x, page * 8)) ^ flip;
}

// Rows: each block of 8 columns of a page is read as 8 column bytes (bit k = row k), which the
// transpose turns into 8 row bytes (bit i = column i). For the leftmost pixel in bit 7 the
// columns go in the other way round.
template <bool LeftLsb>
void PackRows(const PixelStore& store, int width, int height, bool invert, std::uint8_t* out) {
  const std::uint8_t* pixels = store.Raw().data();
  const int rowBytes = (width + 7) / 8;
  for (int page = 0; page < height / 8; ++page) {
    for (int block = 0; block < rowBytes; ++block) {
      const int columns = std::min(8, width - block * 8);
      std::uint64_t matrix = 0;
      for (int i = 0; i < columns; ++i) {
        const std::uint64_t byte =
            ColumnByte<true>(pixels + PixelStore::Index(block * 8 + i, page * 8));
        matrix |= byte << (8 * (LeftLsb ? i : 7 - i));
      }
      matrix = Transpose8x8(matrix);
      // Only the bits of real columns flip: the padding stays zero.
      std::uint8_t flip = 0;
      if (invert) flip = static_cast<std::uint8_t>(columns == 8 ? 0xFF : LeftLsb ? 0x0F : 0xF0);
      for (int k = 0; k < 8; ++k)
        out[(page * 8 + k) * rowBytes + block] =
            static_cast<std::uint8_t>(matrix >> (8 * k)) ^ flip;
    }
  }
}

int LineLength(int width, const OutputOptions& options) {
  return options.bytesPerLine > 0 ? options.bytesPerLine : BytesPerLine(width);
}

// The items of the C array, written straight into a buffer sized beforehand: " 0xHH" each,
// "," between them, a line break and a space after every `perLine`-th item but the last, and
// "};" after the last.
void AppendCItems(std::string& text, const std::vector<std::uint8_t>& bytes, int perLine,
                  std::string_view lineBreak) {
  const std::size_t count = bytes.size();
  const std::size_t breaks = (count - 1) / static_cast<std::size_t>(perLine);
  const std::size_t start = text.size();
  text.resize(start + count * 6 - 1 + breaks * (lineBreak.size() + 1) + 2);
  char* p = text.data() + start;
  int column = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t byte = bytes[i];
    p[0] = ' ';
    p[1] = '0';
    p[2] = 'x';
    p[3] = kUpperHex[byte >> 4];
    p[4] = kUpperHex[byte & 0x0F];
    p += 5;
    if (i + 1 == count) break;
    *p++ = ',';
    if (++column == perLine) {
      column = 0;
      std::memcpy(p, lineBreak.data(), lineBreak.size());
      p += lineBreak.size();
      *p++ = ' ';
    }
  }
  *p++ = '}';
  *p++ = ';';
  assert(p == text.data() + text.size());
}

void AppendLine(std::string& text, std::string_view line, std::string_view lineBreak) {
  text += line;
  text += lineBreak;
}

std::string ElementDeclaration(ElementType type) {
  return type == ElementType::Char ? "static const char " : "static const uint8_t ";
}

std::string BuildC(const PixelStore& store, int width, int height, const OutputOptions& options,
                   std::string_view br) {
  const std::vector<std::uint8_t> bytes =
      PackBytes(store, width, height, options.layout, options.invert);
  std::string text;
  text.reserve(bytes.size() * 6 + bytes.size() / 4 * 3 + 256 +
               (options.art ? static_cast<std::size_t>(height) * (width + 5) : 0));
  if (options.art) {
    AppendLine(text, "/*", br);
    std::string row;
    for (int y = 0; y < height; ++y) {
      row.assign(" * ");
      for (int x = 0; x < width; ++x) row += store.Get(x, y) != 0 ? '#' : '.';
      AppendLine(text, row, br);
    }
    AppendLine(text, " */", br);
  }
  if (IsRows(options.layout) && width % 8 != 0) {
    AppendLine(text,
               "/* Each row of " + std::to_string(width) + " pixels takes " +
                   std::to_string((width + 7) / 8) + " bytes: its last 4 bits are zero padding. */",
               br);
  }
  if (options.invert) AppendLine(text, "/* Inverted: a set pixel is a 0 bit. */", br);
  if (options.type != ElementType::Char) AppendLine(text, "#include <stdint.h>", br);
  if (options.type == ElementType::Progmem) AppendLine(text, "#include <avr/pgmspace.h>", br);
  if (options.defines) {
    AppendLine(text, "#define " + options.name + "_WIDTH " + std::to_string(width), br);
    AppendLine(text, "#define " + options.name + "_HEIGHT " + std::to_string(height), br);
  }
  text += ElementDeclaration(options.type);
  text += options.name;
  text += '[';
  text += std::to_string(bytes.size());
  text += options.type == ElementType::Progmem ? "] PROGMEM =" : "] =";
  text += br;
  text += '{';
  AppendCItems(text, bytes, LineLength(width, options), br);
  return text;
}

std::string BuildXbm(const PixelStore& store, int width, int height, const OutputOptions& options,
                     std::string_view br) {
  const std::vector<std::uint8_t> bytes =
      PackBytes(store, width, height, Layout::RowsLsb, options.invert);
  const int perLine = options.bytesPerLine > 0 ? options.bytesPerLine : 12;
  std::string text;
  text.reserve(bytes.size() * 6 + bytes.size() / 4 * 3 + 128);
  AppendLine(text, "#define " + options.name + "_width " + std::to_string(width), br);
  AppendLine(text, "#define " + options.name + "_height " + std::to_string(height), br);
  text += "static unsigned char " + options.name + "_bits[] = {";
  // "   0x13, 0x00," lines as the X tools write them, the last ending in " };".
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i != 0) text += ',';
    if (i % static_cast<std::size_t>(perLine) == 0) {
      text += br;
      text += "  ";
    }
    const char item[] = {' ', '0', 'x', kLowerHex[bytes[i] >> 4], kLowerHex[bytes[i] & 0x0F]};
    text.append(item, sizeof item);
  }
  text += " };";
  return text;
}

std::string BuildHexListing(const PixelStore& store, int width, int height,
                            const OutputOptions& options, std::string_view br) {
  const std::vector<std::uint8_t> bytes =
      PackBytes(store, width, height, options.layout, options.invert);
  const std::size_t perLine = static_cast<std::size_t>(LineLength(width, options));
  std::string text;
  text.reserve(bytes.size() * 3 + bytes.size() / perLine * 2);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i != 0) {
      if (i % perLine == 0) {
        text += br;
      } else {
        text += ' ';
      }
    }
    text += kUpperHex[bytes[i] >> 4];
    text += kUpperHex[bytes[i] & 0x0F];
  }
  return text;
}

std::string BuildText(const PixelStore& store, int width, int height, const OutputOptions& options,
                      std::string_view br) {
  assert(IsValidSize(width, height));
  ValidateOptions(options);
  switch (options.format) {
    case Format::C:
      return BuildC(store, width, height, options, br);
    case Format::Xbm:
      return BuildXbm(store, width, height, options, br);
    case Format::Bin:
      return BuildHexListing(store, width, height, options, br);
  }
  return {};
}

}  // namespace

ParseError::ParseError(int line, const std::string& message)
    : OutputError(line > 0 ? "Строка " + std::to_string(line) + ": " + message : message),
      m_line(line) {}

std::string_view LayoutName(Layout layout) {
  return kLayoutNames[static_cast<std::size_t>(layout)];
}
std::string_view FormatName(Format format) {
  return kFormatNames[static_cast<std::size_t>(format)];
}
std::string_view ElementTypeName(ElementType type) {
  return kTypeNames[static_cast<std::size_t>(type)];
}
Layout ParseLayout(std::string_view name) {
  return FindName(name, kLayoutNames, kLayouts, "порядок байтов");
}
Format ParseFormat(std::string_view name) {
  return FindName(name, kFormatNames, kFormats, "формат");
}
ElementType ParseElementType(std::string_view name) {
  return FindName(name, kTypeNames, kElementTypes, "тип элементов");
}

bool IsValidIdentifier(std::string_view name) {
  if (name.empty()) return false;
  const auto isAlpha = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
  };
  if (!isAlpha(name.front())) return false;
  for (char c : name)
    if (!isAlpha(c) && !(c >= '0' && c <= '9')) return false;
  return std::find(std::begin(kKeywords), std::end(kKeywords), name) == std::end(kKeywords);
}

std::string IdentifierFromStem(std::string_view stem) {
  std::string name;
  bool gap = false;
  for (char c : stem) {
    const bool word =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    if (word) {
      if (gap && !name.empty()) name += '_';
      gap = false;
      name += c;
    } else {
      gap = true;
    }
  }
  // Gaps at either end are dropped: a leading '_' is the implementation's at file scope.
  if (name.empty()) return "image";
  if (name.front() >= '0' && name.front() <= '9') name.insert(0, "img_");
  if (!IsValidIdentifier(name)) name += '_';
  return name;
}

void ValidateOptions(const OutputOptions& options) {
  if (!IsValidIdentifier(options.name)) {
    throw OptionError("Имя массива «" + options.name +
                      "» не годится: нужен идентификатор C (латинские буквы, цифры и «_», не с "
                      "цифры, не ключевое слово)");
  }
  if (options.bytesPerLine < 0 || options.bytesPerLine > kMaxBytesPerLine) {
    throw OptionError("Байтов в строке: " + std::to_string(options.bytesPerLine) +
                      " — нужно от 1 до " + std::to_string(kMaxBytesPerLine) +
                      " (или 0 — по ширине картинки)");
  }
}

bool IsValidSize(int width, int height) {
  return width >= 4 && width <= PixelStore::kColumns && width % 4 == 0 && height >= 8 &&
         height <= PixelStore::kRows && height % 8 == 0;
}

int ByteCount(int width, int height, Layout layout) {
  return IsRows(layout) ? (width + 7) / 8 * height : width * height / 8;
}

std::vector<std::uint8_t> PackBytes(const PixelStore& store, int width, int height, Layout layout,
                                    bool invert) {
  assert(IsValidSize(width, height));
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(ByteCount(width, height, layout)));
  const std::uint8_t flip = invert ? 0xFF : 0x00;
  switch (layout) {
    case Layout::PageLsb:
      PackPages<true>(store, width, height, flip, bytes.data());
      break;
    case Layout::PageMsb:
      PackPages<false>(store, width, height, flip, bytes.data());
      break;
    case Layout::RowsMsb:
      PackRows<false>(store, width, height, invert, bytes.data());
      break;
    case Layout::RowsLsb:
      PackRows<true>(store, width, height, invert, bytes.data());
      break;
  }
  return bytes;
}

void UnpackBytes(std::span<const std::uint8_t> bytes, int width, int height, Layout layout,
                 bool invert, PixelStore& store) {
  assert(IsValidSize(width, height));
  const int expected = ByteCount(width, height, layout);
  if (bytes.size() != static_cast<std::size_t>(expected)) {
    throw ParseError(0, std::to_string(bytes.size()) + " байт не подходят к картинке " +
                            std::to_string(width) + "x" + std::to_string(height) + " (" +
                            std::string(LayoutName(layout)) + "): нужно " +
                            std::to_string(expected));
  }
  const int flip = invert ? 1 : 0;
  const int rowBytes = (width + 7) / 8;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      int index = 0;
      int bit = 0;
      switch (layout) {
        case Layout::PageLsb:
        case Layout::PageMsb:
          index = (y / 8) * width + x;
          bit = layout == Layout::PageLsb ? y % 8 : 7 - y % 8;
          break;
        case Layout::RowsMsb:
        case Layout::RowsLsb:
          index = y * rowBytes + x / 8;
          bit = layout == Layout::RowsLsb ? x % 8 : 7 - x % 8;
          break;
      }
      store.Set(x, y, ((bytes[static_cast<std::size_t>(index)] >> bit) & 1) ^ flip);
    }
  }
}

std::string BuildOutputText(const PixelStore& store, int width, int height,
                            const OutputOptions& options) {
  return BuildText(store, width, height, options, "\r\n");
}

std::string BuildFileText(const PixelStore& store, int width, int height,
                          const OutputOptions& options) {
  ValidateOptions(options);
  if (options.format == Format::Bin) {
    const std::vector<std::uint8_t> bytes =
        PackBytes(store, width, height, options.layout, options.invert);
    return std::string(bytes.begin(), bytes.end());
  }
  std::string text;
  if (options.format == Format::C) {
    text = "/* " + std::to_string(width) + "x" + std::to_string(height) + " " +
           std::string(LayoutName(options.layout)) + (options.invert ? " invert" : "") + " */\n";
  }
  text += BuildText(store, width, height, options, "\n");
  text += '\n';
  return text;
}

}  // namespace model
