#include "tests/picture/metafile_builder.h"

#include <cstring>

#include "picture/metafile/emf_records.h"
#include "picture/metafile/wmf_records.h"
#include "tests/picture/bmp_builder.h"

namespace mftest {

void Put16(Bytes& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(Bytes& out, std::uint32_t v) {
  Put16(out, static_cast<std::uint16_t>(v));
  Put16(out, static_cast<std::uint16_t>(v >> 16));
}

namespace {

void Set32(Bytes& out, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

bool CreatesObject(std::uint16_t function) {
  const unsigned low = function & 0xFF;
  return low >= 0xF7 || function == picture::wmf::kDibCreatePatternBrush;
}

}  // namespace

// --- WMF -------------------------------------------------------------------------------------

WmfBuilder::WmfBuilder(int left, int top, int right, int bottom, int unitsPerInch, bool placeable) {
  if (!placeable) return;
  Put32(m_placeable, 0x9AC6CDD7);
  Put16(m_placeable, 0);
  for (int v : {left, top, right, bottom}) Put16(m_placeable, static_cast<std::uint16_t>(v));
  Put16(m_placeable, static_cast<std::uint16_t>(unitsPerInch));
  Put32(m_placeable, 0);
  std::uint16_t checksum = 0;
  for (std::size_t i = 0; i < m_placeable.size(); i += 2) {
    checksum ^= static_cast<std::uint16_t>(m_placeable[i] | m_placeable[i + 1] << 8);
  }
  Put16(m_placeable, checksum);
}

WmfBuilder& WmfBuilder::Record(std::uint16_t function, std::initializer_list<std::int16_t> words) {
  Bytes params;
  for (std::int16_t w : words) Put16(params, static_cast<std::uint16_t>(w));
  return Raw(function, params);
}

WmfBuilder& WmfBuilder::Raw(std::uint16_t function, const Bytes& params) {
  Bytes padded = params;
  if (padded.size() % 2) padded.push_back(0);
  const auto words = static_cast<std::uint32_t>(3 + padded.size() / 2);
  Put32(m_records, words);
  Put16(m_records, function);
  m_records.insert(m_records.end(), padded.begin(), padded.end());
  m_largest = std::max(m_largest, words);
  if (CreatesObject(function)) ++m_objects;
  return *this;
}

WmfBuilder& WmfBuilder::Sized(std::uint32_t words, std::uint16_t function) {
  Put32(m_records, words);
  Put16(m_records, function);
  return *this;
}

WmfBuilder& WmfBuilder::Pen(std::uint16_t style, int width, model::Colour c) {
  return Record(picture::wmf::kCreatePenIndirect,
                {static_cast<std::int16_t>(style), S(width), 0, S(c & 0xFFFF), S(c >> 16)});
}

WmfBuilder& WmfBuilder::Brush(std::uint16_t style, model::Colour c, std::uint16_t hatch) {
  return Record(picture::wmf::kCreateBrushIndirect,
                {static_cast<std::int16_t>(style), S(c & 0xFFFF), S(c >> 16),
                 static_cast<std::int16_t>(hatch)});
}

WmfBuilder& WmfBuilder::Polygon(const std::vector<std::pair<int, int>>& points) {
  Bytes params;
  Put16(params, static_cast<std::uint16_t>(points.size()));
  for (auto [x, y] : points) {
    Put16(params, static_cast<std::uint16_t>(x));
    Put16(params, static_cast<std::uint16_t>(y));
  }
  return Raw(picture::wmf::kPolygon, params);
}

Bytes WmfBuilder::Build() const {
  Bytes out = m_placeable;
  const auto totalWords = static_cast<std::uint32_t>(9 + (m_records.size() + 6) / 2);
  Put16(out, 1);
  Put16(out, 9);
  Put16(out, 0x0300);
  Put32(out, totalWords);
  Put16(out, m_objects);
  Put32(out, m_largest);
  Put16(out, 0);
  out.insert(out.end(), m_records.begin(), m_records.end());
  Put32(out, 3);
  Put16(out, 0);
  return out;
}

// --- EMF -------------------------------------------------------------------------------------

EmfBuilder::EmfBuilder(int width, int height)
    : m_width(width), m_height(height), m_frame{0, 0, width, height} {}

EmfBuilder& EmfBuilder::Frame(int left, int top, int right, int bottom) {
  m_frame[0] = left;
  m_frame[1] = top;
  m_frame[2] = right;
  m_frame[3] = bottom;
  return *this;
}

std::uint32_t EmfBuilder::F(float v) {
  std::uint32_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  return bits;
}

EmfBuilder& EmfBuilder::Record(std::uint32_t type, std::initializer_list<std::uint32_t> params) {
  Bytes raw;
  for (std::uint32_t p : params) Put32(raw, p);
  return Raw(type, raw);
}

EmfBuilder& EmfBuilder::Raw(std::uint32_t type, const Bytes& params) {
  Bytes padded = params;
  while (padded.size() % 4) padded.push_back(0);
  return Sized(type, static_cast<std::uint32_t>(8 + padded.size()), padded);
}

EmfBuilder& EmfBuilder::Sized(std::uint32_t type, std::uint32_t size, const Bytes& params) {
  Put32(m_records, type);
  Put32(m_records, size);
  m_records.insert(m_records.end(), params.begin(), params.end());
  ++m_count;
  return *this;
}

EmfBuilder& EmfBuilder::Poly(std::uint32_t type, const std::vector<std::pair<int, int>>& points) {
  Bytes params(16, 0);
  Put32(params, static_cast<std::uint32_t>(points.size()));
  for (auto [x, y] : points) {
    Put32(params, U(x));
    Put32(params, U(y));
  }
  return Raw(type, params);
}

EmfBuilder& EmfBuilder::Font(std::uint32_t index, int height, const std::string& face, int weight,
                             int escapement) {
  Bytes params;
  Put32(params, index);
  for (int v : {height, 0, escapement, escapement, weight}) Put32(params, U(v));
  for (int i = 0; i < 8; ++i) params.push_back(0);
  for (std::size_t i = 0; i < 32; ++i) {
    Put16(params, i < face.size() ? static_cast<std::uint8_t>(face[i]) : 0);
  }
  return Raw(picture::emf::kExtCreateFontIndirectW, params);
}

EmfBuilder& EmfBuilder::Text(int x, int y, const std::u16string& text, std::uint32_t options,
                             const std::vector<int>& dx) {
  Bytes params(16, 0);  // bounds
  Put32(params, 1);     // GM_COMPATIBLE
  Put32(params, F(0));
  Put32(params, F(0));
  Put32(params, U(x));
  Put32(params, U(y));
  Put32(params, static_cast<std::uint32_t>(text.size()));
  const std::uint32_t offString = 76;
  const std::uint32_t stringBytes = static_cast<std::uint32_t>((text.size() * 2 + 3) / 4 * 4);
  Put32(params, offString);
  Put32(params, options);
  for (int v : {0, 0, m_width, m_height}) Put32(params, U(v));
  Put32(params, dx.empty() ? 0 : offString + stringBytes);
  for (char16_t c : text) Put16(params, c);
  while ((params.size() + 8) % 4) params.push_back(0);
  for (int d : dx) Put32(params, U(d));
  return Raw(picture::emf::kExtTextOutW, params);
}

EmfBuilder& EmfBuilder::StretchDib(int x, int y, int cx, int cy, const Bytes& packedDib,
                                   int bitsOffset, std::uint32_t rop) {
  // The header and colour table, then the bits, from the DIB.
  const int width =
      static_cast<int>(packedDib[4] | packedDib[5] << 8 | packedDib[6] << 16 | packedDib[7] << 24);
  int height = static_cast<int>(packedDib[8] | packedDib[9] << 8 | packedDib[10] << 16 |
                                packedDib[11] << 24);
  if (height < 0) height = -height;
  Bytes params(16, 0);
  const auto bmiSize = static_cast<std::uint32_t>(bitsOffset);
  const auto bitsSize = static_cast<std::uint32_t>(packedDib.size() - bitsOffset);
  for (std::uint32_t v : {U(x), U(y), 0u, 0u, U(width), U(height), 80u, bmiSize, 80u + bmiSize,
                          bitsSize, 0u, rop, U(cx), U(cy)}) {
    Put32(params, v);
  }
  params.insert(params.end(), packedDib.begin(), packedDib.end());
  return Raw(picture::emf::kStretchDiBits, params);
}

Bytes EmfBuilder::Build() const {
  Bytes out;
  Put32(out, picture::emf::kHeader);
  Put32(out, 88);
  for (int v : {0, 0, m_width - 1, m_height - 1}) Put32(out, U(v));
  for (int v : m_frame) Put32(out, U(v * 100));  // hundredths of a millimetre
  Put32(out, 0x464D4520);
  Put32(out, 0x10000);
  const std::size_t sizeAt = out.size();
  Put32(out, 0);
  Put32(out, m_count + 2);
  Put16(out, 64);
  Put16(out, 0);
  Put32(out, 0);
  Put32(out, 0);
  Put32(out, 0);
  for (int v : {1000, 1000, 1000, 1000}) Put32(out, U(v));  // device pixels and millimetres
  out.insert(out.end(), m_records.begin(), m_records.end());
  for (std::uint32_t v : {std::uint32_t{picture::emf::kEof}, 20u, 0u, 16u, 20u}) Put32(out, v);
  Set32(out, sizeAt, static_cast<std::uint32_t>(out.size()));
  return out;
}

// --- DIBs and icons --------------------------------------------------------------------------

Bytes PackedDib(int width, int height, int bitCount, const std::vector<model::Colour>& palette,
                const Bytes& rows, int* bitsOffset) {
  // A BMP file without its 14-byte file header.
  bmptest::BmpSpec spec;
  spec.width = width;
  spec.height = height;
  spec.bitCount = static_cast<std::uint16_t>(bitCount);
  spec.palette = palette;
  spec.bits = rows;
  const Bytes file = bmptest::BuildBmp(spec);
  if (bitsOffset) *bitsOffset = static_cast<int>(40 + 4 * palette.size());
  return Bytes(file.begin() + 14, file.end());
}

Bytes IconDib(int width, int height, int bitCount, const std::vector<model::Colour>& palette,
              const Bytes& colourRows, const std::vector<std::string>& mask) {
  Bytes out = PackedDib(width, 2 * height, bitCount, palette, colourRows);
  const std::size_t stride = (static_cast<std::size_t>(width) + 31) / 32 * 4;
  for (int y = height - 1; y >= 0; --y) {
    Bytes row(stride, 0);
    if (static_cast<std::size_t>(y) < mask.size()) {
      const std::string& m = mask[static_cast<std::size_t>(y)];
      for (std::size_t x = 0; x < m.size() && x < static_cast<std::size_t>(width); ++x) {
        if (m[x] == '1') row[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
      }
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

Bytes BuildIcon(const std::vector<IconEntry>& entries, std::uint16_t type) {
  Bytes out;
  Put16(out, 0);
  Put16(out, type);
  Put16(out, static_cast<std::uint16_t>(entries.size()));
  std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * entries.size());
  for (const IconEntry& e : entries) {
    out.push_back(static_cast<std::uint8_t>(e.width >= 256 ? 0 : e.width));
    out.push_back(static_cast<std::uint8_t>(e.height >= 256 ? 0 : e.height));
    out.push_back(0);
    out.push_back(0);
    Put16(out, 1);
    Put16(out, static_cast<std::uint16_t>(e.bitCount));
    Put32(out, static_cast<std::uint32_t>(e.data.size()));
    Put32(out, offset);
    offset += static_cast<std::uint32_t>(e.data.size());
  }
  for (const IconEntry& e : entries) out.insert(out.end(), e.data.begin(), e.data.end());
  return out;
}

Bytes PatternBrush(const Bytes& dib, int bitsOffset) {
  Bytes params;
  for (std::uint32_t v : {1u, 0u, 32u, static_cast<std::uint32_t>(bitsOffset),
                          32u + static_cast<std::uint32_t>(bitsOffset),
                          static_cast<std::uint32_t>(dib.size() - bitsOffset)}) {
    Put32(params, v);
  }
  params.insert(params.end(), dib.begin(), dib.end());
  return params;
}

}  // namespace mftest
