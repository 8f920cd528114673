#pragma once

// The values, pens, brushes and fonts of the graphics device interface that both metafile
// formats share, as the record decoders hand them to the player.

#include <QColor>
#include <QImage>
#include <QRect>
#include <QString>
#include <cstdint>
#include <vector>

namespace picture::gdi {

// A GDI COLORREF: 0x00BBGGRR (the high byte, a palette flag, is ignored).
using ColourRef = std::uint32_t;

// Values of the graphics device interface that both metafile formats share.
enum MapMode : int {
  kMmText = 1,
  kMmLoMetric = 2,
  kMmHiMetric = 3,
  kMmLoEnglish = 4,
  kMmHiEnglish = 5,
  kMmTwips = 6,
  kMmIsotropic = 7,
  kMmAnisotropic = 8,
};
enum PenStyle : std::uint32_t {
  kPsSolid = 0,
  kPsDash = 1,
  kPsDot = 2,
  kPsDashDot = 3,
  kPsDashDotDot = 4,
  kPsNull = 5,
  kPsInsideFrame = 6,
  kPsUserStyle = 7,
  kPsAlternate = 8,
  kPsStyleMask = 0xF,
  kPsEndCapSquare = 0x100,
  kPsEndCapFlat = 0x200,
  kPsEndCapMask = 0xF00,
  kPsJoinBevel = 0x1000,
  kPsJoinMiter = 0x2000,
  kPsJoinMask = 0xF000,
  kPsGeometric = 0x10000,
};
enum BrushStyle : std::uint32_t {
  kBsSolid = 0,
  kBsNull = 1,
  kBsHatched = 2,
  kBsPattern = 3,
  kBsDibPattern = 5,
  kBsDibPatternPt = 6,
};
enum BkMode : int { kTransparent = 1, kOpaque = 2 };
enum PolyFillMode : int { kAlternate = 1, kWinding = 2 };
enum TextAlign : std::uint32_t {
  kTaUpdateCp = 1,
  kTaRight = 2,
  kTaCenter = 6,
  kTaHorizontalMask = 6,
  kTaBottom = 8,
  kTaBaseline = 24,
  kTaVerticalMask = 24,
};
enum TextOptions : std::uint32_t { kEtoOpaque = 2, kEtoClipped = 4, kEtoGlyphIndex = 0x10 };
enum RegionMode : int { kRgnAnd = 1, kRgnOr = 2, kRgnXor = 3, kRgnDiff = 4, kRgnCopy = 5 };
// Raster operations of the bit-block transfers that the player knows.
enum Rop3 : std::uint32_t {
  kBlackness = 0x00000042,
  kNotSrcErase = 0x001100A6,
  kNotSrcCopy = 0x00330008,
  kSrcErase = 0x00440328,
  kDstInvert = 0x00550009,
  kPatInvert = 0x005A0049,
  kSrcInvert = 0x00660046,
  kSrcAnd = 0x008800C6,
  kDstCopy = 0x00AA0029,
  kMergePaint = 0x00BB0226,
  kSrcCopy = 0x00CC0020,
  kSrcPaint = 0x00EE0086,
  kPatCopy = 0x00F00021,
  kWhiteness = 0x00FF0062,
};

struct Pen {
  std::uint32_t style = kPsSolid;  // style, end cap, join and type bits
  double width = 0;                // logical units; below one device pixel draws one pixel
  ColourRef colour = 0;
  std::vector<double> dashes;  // kPsUserStyle: dash and gap lengths, in pen widths
};

struct Brush {
  std::uint32_t style = kBsSolid;
  ColourRef colour = 0xFFFFFF;
  std::uint32_t hatch = 0;  // HS_HORIZONTAL 0 ... HS_DIAGCROSS 5
  // kBsPattern, kBsDibPattern(Pt): the tile. A two-colour tile (monoPattern) draws its 0 bits in
  // the text colour and its 1 bits in the background colour, like a monochrome pattern brush.
  QImage pattern;
  bool monoPattern = false;
};

// The brush a create-brush record (a LOGBRUSH) describes: null and hatched brushes as they are;
// any other style, whose pattern such a record cannot carry, draws solid in its colour.
inline Brush LogBrush(std::uint32_t style, ColourRef colour, std::uint32_t hatch) {
  Brush brush;
  brush.style = style == kBsNull || style == kBsHatched ? style : kBsSolid;
  brush.colour = colour;
  brush.hatch = hatch;
  return brush;
}

struct Font {
  int height = 0;      // < 0: character height; > 0: cell height; 0: the default size
  int width = 0;       // average character width; 0: the font's own
  int escapement = 0;  // tenths of a degree, counter-clockwise
  int weight = 0;      // 0 (default), 100 ... 1000
  bool italic = false;
  bool underline = false;
  bool strikeOut = false;
  int charset = 0;
  QString face;
};

// Colour of a COLORREF.
inline QColor ToQColor(ColourRef c) {
  return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

// Text of a metafile's 8-bit string in the font's character set (Western and Cyrillic code
// pages; anything else reads as Western).
QString DecodeAnsi(const std::uint8_t* bytes, std::size_t count, int charset);

}  // namespace picture::gdi
