#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "model/pixel_store.h"

namespace model {

// The picture as bytes and text for firmware, in the byte order a display library wants, and
// back again. The window and the command line both go through here, so their bytes agree.
//
// Every function takes a picture of W x H with W a multiple of 4 in 4..320 and H a multiple of
// 8 in 8..240; pixels of the store outside that area never reach the output.

// How the pixels are packed into bytes. For a picture of 12 x 8 with only pixel (0, 0) set,
// the first byte is 0x01, 0x01, 0x80, 0x80 in that order of layouts:
//
//   PageLsb  pages of 8 rows, top page first; in a page one byte a column, left to right;
//            bit 0 is the page's top row (PCD8544, SSD1306, ST7565, KS0108, MONO_VLSB).
//   PageMsb  the same pages with bit 7 at the top.
//   RowsMsb  rows top to bottom, each row packed left to right 8 pixels a byte, the leftmost
//            pixel in bit 7 (Adafruit GFX drawBitmap, MONO_HLSB).
//   RowsLsb  the same with the leftmost pixel in bit 0 (XBM, u8g2 drawXBM, MONO_HMSB).
//
// A row of the Rows layouts takes (W + 7) / 8 bytes: when W is not a multiple of 8 its last
// byte ends in four zero bits, whatever the invert setting.
enum class Layout { PageLsb, PageMsb, RowsMsb, RowsLsb };

// C: a C array declaration; Xbm: an X bitmap (always RowsLsb, whatever the layout chosen);
// Bin: the bytes alone.
enum class Format { C, Xbm, Bin };

// The element type of the C array: "static const char", "static const uint8_t" (after
// #include <stdint.h>), or "static const uint8_t ... PROGMEM" (after <avr/pgmspace.h> too).
enum class ElementType { Char, Uint8, Progmem };

inline constexpr std::array<Layout, 4> kLayouts = {Layout::PageLsb, Layout::PageMsb,
                                                   Layout::RowsMsb, Layout::RowsLsb};
inline constexpr std::array<Format, 3> kFormats = {Format::C, Format::Xbm, Format::Bin};
inline constexpr std::array<ElementType, 3> kElementTypes = {ElementType::Char, ElementType::Uint8,
                                                             ElementType::Progmem};

// The array's name when none is chosen.
inline constexpr std::string_view kDefaultArrayName = "lcd_image_mas";

// Any failure of this module; what() is the message the user sees.
class OutputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A choice that cannot be honoured: an unknown layout, format or type name, a name that is
// not a C identifier, a bytes-a-line count out of range.
class OptionError : public OutputError {
 public:
  using OutputError::OutputError;
};

// Text that cannot be read back as a picture. line() is the 1-based line the fault is on, 0
// when it concerns the text as a whole (a byte count that fits no size); the message names it.
class ParseError : public OutputError {
 public:
  ParseError(int line, const std::string& message);
  int line() const { return m_line; }

 private:
  int m_line;
};

// The names used on the command line: "page-lsb", "page-msb", "rows-msb", "rows-lsb"; "c",
// "xbm", "bin"; "char", "uint8", "progmem". Parsing is exact (lower case) and throws
// OptionError naming the bad word and the accepted ones.
std::string_view LayoutName(Layout layout);
std::string_view FormatName(Format format);
std::string_view ElementTypeName(ElementType type);
Layout ParseLayout(std::string_view name);
Format ParseFormat(std::string_view name);
ElementType ParseElementType(std::string_view name);

// How the picture is written. The defaults give the program's classic array text exactly.
struct OutputOptions {
  Layout layout = Layout::PageLsb;
  Format format = Format::C;
  std::string name = std::string(kDefaultArrayName);
  ElementType type = ElementType::Char;
  bool invert = false;   // set pixels as 0 bits (displays where 1 is white)
  bool defines = false;  // NAME_WIDTH and NAME_HEIGHT lines above the array (C only)
  bool art = false;      // a comment drawing the picture in '#' and '.' above the array (C only)
  int bytesPerLine = 0;  // 0: 12 when 12 divides W, else 8 when 8 does, else 4; else 1..256

  friend bool operator==(const OutputOptions&, const OutputOptions&) = default;
};

inline constexpr int kMaxBytesPerLine = 256;

// Throws OptionError when the name is not a valid C identifier or bytesPerLine is out of range.
void ValidateOptions(const OutputOptions& options);

// A C identifier: a letter or '_', then letters, digits and '_' (ASCII only), and not a C or
// C++ keyword.
bool IsValidIdentifier(std::string_view name);

// An array name made from a file name's stem: every run of characters that cannot be in an
// identifier becomes one '_', or nothing at either end ("logo-2" -> "logo_2", "my logo.v2" ->
// "my_logo_v2", "-x-" -> "x"); a name that would start with a digit gets "img_" in front
// ("2logo" -> "img_2logo": a leading '_' is reserved in C at file scope); a keyword gets a '_'
// after it; an empty result gives "image".
std::string IdentifierFromStem(std::string_view stem);

// A picture size the program has: W a multiple of 4 in 4..320, H a multiple of 8 in 8..240.
bool IsValidSize(int width, int height);

// The number of bytes of a W x H picture: W * H / 8 in the page layouts, (W + 7) / 8 * H in
// the row layouts.
int ByteCount(int width, int height, Layout layout);

// The bytes of the picture's W x H area in `layout`, ByteCount of them.
std::vector<std::uint8_t> PackBytes(const PixelStore& store, int width, int height, Layout layout,
                                    bool invert);

// The reverse of PackBytes: writes every pixel of the W x H area of `store` and leaves the rest
// alone. Padding bits are ignored. Throws ParseError when bytes.size() is not ByteCount.
void UnpackBytes(std::span<const std::uint8_t> bytes, int width, int height, Layout layout,
                 bool invert, PixelStore& store);

// The text for the array window: lines end in CR LF and the text ends with no line break.
// With default options it is the classic text:
//
//   static const char lcd_image_mas[8] =
//   { 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
//
// Other options add, above the declaration in this order: the '#'/'.' drawing, a note on row
// padding and inversion, the #include lines, the #define lines. For Format::Xbm it is an X
// bitmap; for Format::Bin a hex listing of the bytes, bytesPerLine a line.
// Throws OptionError for bad options.
std::string BuildOutputText(const PixelStore& store, int width, int height,
                            const OutputOptions& options);

// What a file is given: for C, the window's text with LF line breaks and a final LF, after one
// first line that ParseOutputText reads the size and layout back from:
//
//   /* 84x48 page-lsb */            or            /* 84x48 rows-msb invert */
//
// For Format::Xbm the X bitmap with LF line breaks and a final LF and no line before it (some
// readers want the file to start with its #define; the bitmap states its own size and is
// RowsLsb by definition). For Format::Bin the bytes alone.
std::string BuildFileText(const PixelStore& store, int width, int height,
                          const OutputOptions& options);

// What ParseOutputText cannot find in the text itself. The text wins when it says otherwise.
struct ParseHints {
  std::optional<int> width;
  std::optional<int> height;
  std::optional<Layout> layout;  // none: PageLsb
  std::optional<bool> invert;    // none: false
};

struct ParsedPicture {
  int width = 0;
  int height = 0;
  Layout layout = Layout::PageLsb;
  bool invert = false;
  std::vector<std::uint8_t> bytes;  // ByteCount(width, height, layout) of them
};

// Reads back any text BuildOutputText or BuildFileText writes, and the C arrays and X bitmaps
// of other tools: comments and CR LF or LF line breaks are taken; the first "{ ... }" holds the
// bytes (hexadecimal 0x.., decimal or octal, with optional u/U suffixes); the size comes from
// the first line's "WxH layout [invert]" comment, or from "#define NAME_width/_height" (an X
// bitmap, RowsLsb) or "#define NAME_WIDTH/_HEIGHT", or else the hints. With one side of the size
// known the other follows from the byte count. Throws ParseError when the text has no array,
// an item is not a byte, the count in "[N]" disagrees with the items, or the count fits no
// valid size.
ParsedPicture ParseOutputText(std::string_view text, const ParseHints& hints = {});

}  // namespace model
