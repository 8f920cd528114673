// Reading an array text back into bytes and a size (ParseOutputText).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/output.h"

namespace model {
namespace {

constexpr std::size_t kMostBytes = PixelStore::kColumns * PixelStore::kRows / 8;

struct StatedSize {
  std::optional<int> width;
  std::optional<int> height;
  int line = 0;
};

// What the text says about itself, gathered in one pass.
struct Scan {
  std::optional<ParsedPicture> header;  // the "WxH layout [invert]" comment, bytes left empty
  int headerLine = 0;
  StatedSize xbm;                     // #define NAME_width / NAME_height
  StatedSize defines;                 // #define NAME_WIDTH / NAME_HEIGHT
  std::optional<long long> declared;  // the N of "NAME[N] ="
  int declaredLine = 0;
  std::vector<std::uint8_t> bytes;
  int braceLine = 0;
};

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}
bool IsWordChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

// A whole number in decimal, or nullopt; no sign, at most 9 digits.
std::optional<int> ReadDecimal(std::string_view s) {
  if (s.empty() || s.size() > 9) return std::nullopt;
  int value = 0;
  for (char c : s) {
    if (!IsDigit(c)) return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

// An integer literal as C writes it: 0x.. hexadecimal, 0b.. binary, 0.. octal, else decimal,
// with any u/U/l/L suffix. nullopt for anything else or a value above 0xFFFFFFFF.
std::optional<long long> ReadLiteral(std::string_view token) {
  while (!token.empty() &&
         (token.back() == 'u' || token.back() == 'U' || token.back() == 'l' || token.back() == 'L'))
    token.remove_suffix(1);
  if (token.empty()) return std::nullopt;
  int base = 10;
  if (token.size() > 2 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X')) {
    base = 16;
    token.remove_prefix(2);
  } else if (token.size() > 2 && token[0] == '0' && (token[1] == 'b' || token[1] == 'B')) {
    base = 2;
    token.remove_prefix(2);
  } else if (token.size() > 1 && token[0] == '0') {
    base = 8;
    token.remove_prefix(1);
  }
  long long value = 0;
  for (char c : token) {
    int digit = 0;
    if (IsDigit(c)) {
      digit = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return std::nullopt;
    }
    if (digit >= base) return std::nullopt;
    value = value * base + digit;
    if (value > 0xFFFFFFFFLL) return std::nullopt;
  }
  return value;
}

// "84x48 page-lsb" or "84x48 rows-msb invert", the first line of a saved file.
std::optional<ParsedPicture> ReadHeader(std::string_view comment) {
  comment = Trim(comment);
  const std::size_t x = comment.find('x');
  const std::size_t space = comment.find(' ');
  if (x == std::string_view::npos || space == std::string_view::npos || x > space) return {};
  const std::optional<int> width = ReadDecimal(comment.substr(0, x));
  const std::optional<int> height = ReadDecimal(comment.substr(x + 1, space - x - 1));
  if (!width || !height) return {};
  std::string_view rest = Trim(comment.substr(space));
  bool invert = false;
  const std::size_t gap = rest.find(' ');
  if (gap != std::string_view::npos) {
    if (Trim(rest.substr(gap)) != "invert") return {};
    invert = true;
    rest = rest.substr(0, gap);
  }
  for (Layout layout : kLayouts) {
    if (LayoutName(layout) == rest) {
      ParsedPicture header;
      header.width = *width;
      header.height = *height;
      header.layout = layout;
      header.invert = invert;
      return header;
    }
  }
  return {};
}

bool EndsWith(std::string_view s, std::string_view end) {
  return s.size() >= end.size() && s.substr(s.size() - end.size()) == end;
}

// "#define NAME VALUE": records the sizes it may state.
void ReadDirective(std::string_view directive, int line, Scan& scan) {
  directive = Trim(directive.substr(1));
  if (directive.substr(0, 6) != "define" || directive.size() < 7 || !IsSpace(directive[6])) return;
  directive = Trim(directive.substr(6));
  std::size_t end = 0;
  while (end < directive.size() && IsWordChar(directive[end])) ++end;
  const std::string_view name = directive.substr(0, end);
  const std::optional<long long> value = ReadLiteral(Trim(directive.substr(end)));
  if (!value || *value > 100000) return;
  const int v = static_cast<int>(*value);
  const auto take = [&](StatedSize& size, std::optional<int> StatedSize::*side) {
    if (size.*side) return;
    size.*side = v;
    if (size.line == 0) size.line = line;
  };
  if (EndsWith(name, "_width")) take(scan.xbm, &StatedSize::width);
  if (EndsWith(name, "_height")) take(scan.xbm, &StatedSize::height);
  if (EndsWith(name, "_WIDTH")) take(scan.defines, &StatedSize::width);
  if (EndsWith(name, "_HEIGHT")) take(scan.defines, &StatedSize::height);
}

class Scanner {
 public:
  explicit Scanner(std::string_view text) : m_text(text) {
    if (m_text.substr(0, 3) == "\xEF\xBB\xBF") m_text.remove_prefix(3);
  }

  Scan Run() {
    Scan scan;
    bool lineStart = true;
    while (m_pos < m_text.size()) {
      if (SkipBlank(scan, lineStart)) continue;
      const char c = m_text[m_pos];
      if (c == '#' && lineStart) {
        const std::size_t end = m_text.find('\n', m_pos);
        ReadDirective(m_text.substr(m_pos, end - m_pos), m_line, scan);
        m_pos = end == std::string_view::npos ? m_text.size() : end;
        continue;
      }
      lineStart = false;
      if (c == '[') {
        ReadDeclaredCount(scan);
        continue;
      }
      if (c == '{') {
        scan.braceLine = m_line;
        ++m_pos;
        ReadItems(scan);
        return scan;
      }
      ++m_pos;
    }
    throw ParseError(0, "В тексте нет массива байтов: не найдена «{»");
  }

 private:
  // Steps over one blank or comment; false when the position holds neither.
  bool SkipBlank(Scan& scan, bool& lineStart) {
    const char c = m_text[m_pos];
    if (c == '\n') {
      ++m_line;
      ++m_pos;
      lineStart = true;
      return true;
    }
    if (IsSpace(c)) {
      ++m_pos;
      return true;
    }
    return SkipComment(scan);
  }

  // Skips a comment at the position, reading a saved file's size line from it. False when
  // there is none.
  bool SkipComment(Scan& scan) {
    const std::string_view rest = m_text.substr(m_pos);
    if (rest.substr(0, 2) == "//") {
      const std::size_t end = m_text.find('\n', m_pos);
      m_pos = end == std::string_view::npos ? m_text.size() : end;
      return true;
    }
    if (rest.substr(0, 2) != "/*") return false;
    const int startLine = m_line;
    const std::size_t end = m_text.find("*/", m_pos + 2);
    if (end == std::string_view::npos) throw ParseError(startLine, "комментарий не закрыт «*/»");
    const std::string_view body = m_text.substr(m_pos + 2, end - m_pos - 2);
    for (char ch : body)
      if (ch == '\n') ++m_line;
    m_pos = end + 2;
    if (!scan.header) {
      scan.header = ReadHeader(body);
      scan.headerLine = startLine;
    }
    return true;
  }

  void ReadDeclaredCount(Scan& scan) {
    const std::size_t close = m_text.find(']', m_pos);
    if (close == std::string_view::npos) {
      ++m_pos;
      return;
    }
    const std::string_view inside = Trim(m_text.substr(m_pos + 1, close - m_pos - 1));
    if (inside.find('\n') == std::string_view::npos) {
      if (const std::optional<long long> n = ReadLiteral(inside)) {
        scan.declared = n;
        scan.declaredLine = m_line;
      }
      m_pos = close + 1;
    } else {
      ++m_pos;
    }
  }

  void ReadItems(Scan& scan) {
    bool needComma = false;
    bool lineStart = false;
    while (m_pos < m_text.size()) {
      if (SkipBlank(scan, lineStart)) continue;
      const char c = m_text[m_pos];
      if (c == '}') {
        if (scan.bytes.empty()) throw ParseError(m_line, "массив пуст");
        return;
      }
      if (c == ',') {
        if (!needComma) throw ParseError(m_line, "лишняя запятая");
        needComma = false;
        ++m_pos;
        continue;
      }
      std::size_t end = m_pos;
      while (end < m_text.size() && IsWordChar(m_text[end])) ++end;
      if (end == m_pos) end = m_pos + 1;
      const std::string_view token = m_text.substr(m_pos, end - m_pos);
      if (needComma) {
        throw ParseError(m_line, "перед «" + std::string(token) + "» нужна запятая");
      }
      const std::optional<long long> value =
          IsDigit(token.front()) ? ReadLiteral(token) : std::nullopt;
      if (!value || *value > 255) {
        throw ParseError(m_line,
                         "«" + std::string(token) + "» — не байт: ожидалось число от 0 до 255");
      }
      // No picture has more bytes: a longer list is refused before it grows without bound.
      if (scan.bytes.size() == kMostBytes) {
        throw ParseError(m_line, "байтов больше " + std::to_string(kMostBytes) +
                                     ", чем в самой большой картинке 320x240");
      }
      scan.bytes.push_back(static_cast<std::uint8_t>(*value));
      needComma = true;
      m_pos = end;
    }
    throw ParseError(scan.braceLine, "массив не закрыт «}»");
  }

  std::string_view m_text;
  std::size_t m_pos = 0;
  int m_line = 1;
};

// The other side of the size from one side and the byte count, when a valid size results. A
// row layout known only by its height is taken as whole bytes wide: a width 4 less would give
// the same bytes with four clear columns fewer.
std::optional<int> HeightFor(int width, int count, Layout layout) {
  const int perRow8 = ByteCount(width, 8, layout);
  if (width <= 0 || count % perRow8 != 0) return {};
  const int height = count / perRow8 * 8;
  if (!IsValidSize(width, height)) return {};
  return height;
}
std::optional<int> WidthFor(int height, int count, Layout layout) {
  if (height <= 0 || height % 8 != 0) return {};
  int width = 0;
  if (layout == Layout::RowsMsb || layout == Layout::RowsLsb) {
    if (count % height != 0) return {};
    width = count / height * 8;
  } else {
    if (count * 8 % height != 0) return {};
    width = count * 8 / height;
  }
  if (!IsValidSize(width, height)) return {};
  return width;
}

std::string SizeText(int width, int height, Layout layout) {
  return std::to_string(width) + "x" + std::to_string(height) + " (" +
         std::string(LayoutName(layout)) + ")";
}

}  // namespace

ParsedPicture ParseOutputText(std::string_view text, const ParseHints& hints) {
  Scan scan = Scanner(text).Run();
  const int count = static_cast<int>(scan.bytes.size());
  if (scan.declared && *scan.declared != count) {
    throw ParseError(scan.declaredLine, "объявлено байтов: " + std::to_string(*scan.declared) +
                                            ", а в списке их " + std::to_string(count));
  }

  ParsedPicture result;
  const bool isXbm = scan.xbm.width || scan.xbm.height;
  result.layout = scan.header ? scan.header->layout
                  : isXbm     ? Layout::RowsLsb
                              : hints.layout.value_or(Layout::PageLsb);
  result.invert = scan.header ? scan.header->invert : hints.invert.value_or(false);
  const Layout layout = result.layout;
  const std::string counted = "байтов в массиве: " + std::to_string(count);

  // The size the text states: its size line, else its #define lines.
  StatedSize stated;
  if (scan.header) {
    stated = {scan.header->width, scan.header->height, scan.headerLine};
  } else if (isXbm) {
    stated = scan.xbm;
  } else {
    stated = scan.defines;
  }

  std::optional<int> width;
  std::optional<int> height;
  if (stated.width && stated.height) {
    if (!IsValidSize(*stated.width, *stated.height)) {
      throw ParseError(stated.line, "размер " + std::to_string(*stated.width) + "x" +
                                        std::to_string(*stated.height) +
                                        " не годится: ширина кратна 4 (4..320), высота кратна 8 "
                                        "(8..240)");
    }
    if (ByteCount(*stated.width, *stated.height, layout) != count) {
      throw ParseError(
          stated.line,
          "размер " + SizeText(*stated.width, *stated.height, layout) + " требует байтов: " +
              std::to_string(ByteCount(*stated.width, *stated.height, layout)) + ", а " + counted);
    }
    width = stated.width;
    height = stated.height;
  } else if (stated.width || stated.height) {
    width = stated.width ? stated.width : WidthFor(*stated.height, count, layout);
    height = stated.height ? stated.height : HeightFor(*stated.width, count, layout);
    if (!width || !height) {
      throw ParseError(stated.line, (stated.width ? "ширина " + std::to_string(*stated.width)
                                                  : "высота " + std::to_string(*stated.height)) +
                                        " не подходит: " + counted + " (" +
                                        std::string(LayoutName(layout)) + ")");
    }
  } else {
    if (!hints.width && !hints.height) {
      throw ParseError(0, "В тексте не указан размер картинки (" + counted + ")");
    }
    if (hints.width && hints.height && IsValidSize(*hints.width, *hints.height) &&
        ByteCount(*hints.width, *hints.height, layout) == count) {
      width = hints.width;
      height = hints.height;
    } else if (hints.width && HeightFor(*hints.width, count, layout)) {
      width = hints.width;
      height = HeightFor(*hints.width, count, layout);
    } else if (hints.height && WidthFor(*hints.height, count, layout)) {
      width = WidthFor(*hints.height, count, layout);
      height = hints.height;
    } else {
      std::string sides;
      if (hints.width) sides = "ширина " + std::to_string(*hints.width);
      if (hints.height) {
        sides +=
            (sides.empty() ? "" : ", ни ") + std::string("высота ") + std::to_string(*hints.height);
      }
      throw ParseError(
          0, counted + " (" + std::string(LayoutName(layout)) + "): к ним не подходит ни " + sides);
    }
  }
  result.width = *width;
  result.height = *height;
  result.bytes = std::move(scan.bytes);
  return result;
}

}  // namespace model
