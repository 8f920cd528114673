#pragma once

// Builds WMF, EMF and ICO files in memory for the decoder tests, the fuzzing seeds and the
// benchmark. Only the framing is built here; callers give record parameters as the formats
// store them.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "model/colour.h"
#include "picture/metafile/emf_records.h"
#include "picture/metafile/wmf_records.h"

namespace mftest {

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes& out, std::uint16_t v);
void Put32(Bytes& out, std::uint32_t v);

// A Windows metafile. With a placeable header (bounds in logical units, `unitsPerInch`) unless
// `placeable` is false.
class WmfBuilder {
 public:
  WmfBuilder(int left, int top, int right, int bottom, int unitsPerInch = 96,
             bool placeable = true);

  // A record: the function and its parameter words as stored (often last field first).
  WmfBuilder& Record(std::uint16_t function, std::initializer_list<std::int16_t> words);
  // A record with a raw parameter block (padded to whole words).
  WmfBuilder& Raw(std::uint16_t function, const Bytes& params);
  // A record whose size field says `words`, whatever follows.
  WmfBuilder& Sized(std::uint32_t words, std::uint16_t function);

  WmfBuilder& Rectangle(int l, int t, int r, int b) {
    return Record(picture::wmf::kRectangle, {S(b), S(r), S(t), S(l)});
  }
  WmfBuilder& Ellipse(int l, int t, int r, int b) {
    return Record(picture::wmf::kEllipse, {S(b), S(r), S(t), S(l)});
  }
  WmfBuilder& MoveTo(int x, int y) { return Record(picture::wmf::kMoveTo, {S(y), S(x)}); }
  WmfBuilder& LineTo(int x, int y) { return Record(picture::wmf::kLineTo, {S(y), S(x)}); }
  WmfBuilder& WindowOrg(int x, int y) { return Record(picture::wmf::kSetWindowOrg, {S(y), S(x)}); }
  WmfBuilder& WindowExt(int x, int y) { return Record(picture::wmf::kSetWindowExt, {S(y), S(x)}); }
  WmfBuilder& Pen(std::uint16_t style, int width, model::Colour c);
  WmfBuilder& Brush(std::uint16_t style, model::Colour c, std::uint16_t hatch = 0);
  WmfBuilder& Select(int index) { return Record(picture::wmf::kSelectObject, {S(index)}); }
  WmfBuilder& Delete(int index) { return Record(picture::wmf::kDeleteObject, {S(index)}); }
  WmfBuilder& Polygon(const std::vector<std::pair<int, int>>& points);

  // The file, with the header's object count and sizes filled in and an end record added.
  Bytes Build() const;

 private:
  static std::int16_t S(int v) { return static_cast<std::int16_t>(v); }
  Bytes m_records;
  std::uint32_t m_largest = 3;
  std::uint16_t m_objects = 0;
  Bytes m_placeable;
};

// An enhanced metafile whose reference device has one pixel a millimetre, so that a frame of
// `width` x `height` pixels maps one device pixel onto one canvas pixel when drawn into a
// rectangle of that size.
class EmfBuilder {
 public:
  EmfBuilder(int width, int height);
  // The frame in device pixels (default 0, 0, width, height).
  EmfBuilder& Frame(int left, int top, int right, int bottom);

  EmfBuilder& Record(std::uint32_t type, std::initializer_list<std::uint32_t> params);
  EmfBuilder& Raw(std::uint32_t type, const Bytes& params);
  // A record whose size field says `size`, whatever follows.
  EmfBuilder& Sized(std::uint32_t type, std::uint32_t size, const Bytes& params = {});

  EmfBuilder& Rectangle(int l, int t, int r, int b) {
    return Record(picture::emf::kRectangle, {U(l), U(t), U(r), U(b)});
  }
  EmfBuilder& Ellipse(int l, int t, int r, int b) {
    return Record(picture::emf::kEllipse, {U(l), U(t), U(r), U(b)});
  }
  EmfBuilder& MoveTo(int x, int y) { return Record(picture::emf::kMoveToEx, {U(x), U(y)}); }
  EmfBuilder& LineTo(int x, int y) { return Record(picture::emf::kLineTo, {U(x), U(y)}); }
  EmfBuilder& Pen(std::uint32_t index, std::uint32_t style, int width, model::Colour c) {
    return Record(picture::emf::kCreatePen, {index, style, U(width), 0, c});
  }
  EmfBuilder& Brush(std::uint32_t index, std::uint32_t style, model::Colour c,
                    std::uint32_t hatch = 0) {
    return Record(picture::emf::kCreateBrushIndirect, {index, style, c, hatch});
  }
  EmfBuilder& Select(std::uint32_t index) { return Record(picture::emf::kSelectObject, {index}); }
  // Points as (x, y) pairs of 32-bit values, with an empty bounds rectangle.
  EmfBuilder& Poly(std::uint32_t type, const std::vector<std::pair<int, int>>& points);
  EmfBuilder& Font(std::uint32_t index, int height, const std::string& face, int weight = 400,
                   int escapement = 0);
  EmfBuilder& Text(int x, int y, const std::u16string& text, std::uint32_t options = 0,
                   const std::vector<int>& dx = {});
  // EMR_STRETCHDIBITS of a packed DIB (header, colour table, bits) onto (x, y, cx, cy).
  EmfBuilder& StretchDib(int x, int y, int cx, int cy, const Bytes& packedDib, int bitsOffset,
                         std::uint32_t rop = 0x00CC0020);

  Bytes Build() const;

  static std::uint32_t U(int v) { return static_cast<std::uint32_t>(v); }
  static std::uint32_t F(float v);

 private:
  int m_width;
  int m_height;
  int m_frame[4];
  Bytes m_records;
  std::uint32_t m_count = 0;
};

// A packed DIB: a 40-byte header, the colour table, then rows (as bmptest::PackRows packs
// them). Returns the DIB; `bitsOffset` receives where the bits start.
Bytes PackedDib(int width, int height, int bitCount, const std::vector<model::Colour>& palette,
                const Bytes& rows, int* bitsOffset = nullptr);

// The parameters of an EMR_CREATEDIBPATTERNBRUSHPT or EMR_CREATEMONOBRUSH creating object 1
// from a packed DIB whose bits start at `bitsOffset`.
Bytes PatternBrush(const Bytes& dib, int bitsOffset);

// An icon file of the given entries, each the image data as stored (a DIB with its AND mask,
// or a PNG); the directory's size and depth fields are written from the arguments.
struct IconEntry {
  int width = 0;
  int height = 0;
  int bitCount = 0;
  Bytes data;
};
Bytes BuildIcon(const std::vector<IconEntry>& entries, std::uint16_t type = 1);

// An icon DIB entry: header with doubled height, palette, colour rows (packed), then the AND
// mask rows given top row first as strings ('1' set, anything else clear).
Bytes IconDib(int width, int height, int bitCount, const std::vector<model::Colour>& palette,
              const Bytes& colourRows, const std::vector<std::string>& mask);

}  // namespace mftest
