#include "model/bitmap.h"

#include <algorithm>
#include <cstdint>

namespace model {

Bitmap::Bitmap(int width, int height, Uninit, int firstKept, int keptRows)
    : m_width(width > 0 && height > 0 ? width : 0), m_height(m_width > 0 ? height : 0) {
  m_firstKept = std::clamp(firstKept, 0, m_height);
  m_keptRows = std::clamp(keptRows, 0, m_height - m_firstKept);
  m_pixels.resize(static_cast<std::size_t>(m_width) * m_keptRows);
}

Bitmap::Bitmap(int width, int height, Colour fill) : Bitmap(width, height, Uninit{}) {
  std::fill(m_pixels.begin(), m_pixels.end(), fill);
}

Bitmap Bitmap::Uninitialised(int width, int height) {
  return Bitmap(width, height, Uninit{});
}

Bitmap Bitmap::Partial(int width, int height, int firstKept, int keptRows, Colour rest) {
  Bitmap bitmap(width, height, Uninit{}, firstKept, keptRows);
  bitmap.m_rest = rest;
  return bitmap;
}

Colour Bitmap::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= m_width || y >= m_height) return kInvalidColour;
  return Keeps(y) ? Row(y)[x] : m_rest;
}

namespace {

// The source span [first, last) that destination index d (0 <= d < dn) draws from, for a source
// of sn and a destination of dn: the picked index floor(d * sn / dn), or, when `merge` and the
// direction is reduced, every s with floor(s * dn / sn) == d, which is
// ceil(d * sn / dn) <= s < ceil((d + 1) * sn / dn).
struct Span {
  int first;
  int last;
};

Span SourceSpan(std::int64_t d, std::int64_t sn, std::int64_t dn, bool merge) {
  if (merge && dn < sn) {
    const auto ceilDiv = [](std::int64_t a, std::int64_t b) { return (a + b - 1) / b; };
    return {static_cast<int>(ceilDiv(d * sn, dn)), static_cast<int>(ceilDiv((d + 1) * sn, dn))};
  }
  const auto s = static_cast<int>(d * sn / dn);
  return {s, s + 1};
}

}  // namespace

void StretchBitmap(const Bitmap& source, Canvas& canvas, const Rect& dest) {
  PixelRows rows;
  rows.pixels = source.Row(source.FirstKeptRow());
  rows.width = source.Width();
  rows.height = source.Height();
  rows.stride = source.Width();
  rows.twoColour = source.TwoColour();
  rows.firstKept = source.FirstKeptRow();
  rows.keptRows = source.KeptRows();
  rows.rest = source.Rest();
  StretchPixels(rows, canvas, dest);
}

namespace {

// 0x..RRGGBB to 0x..BBGGRR, and back.
constexpr Colour SwapRedBlue(Colour c) {
  return (c & 0xFF00FF00) | (c >> 16 & 0xFF) | (c & 0xFF) << 16;
}

}  // namespace

void StretchPixels(const PixelRows& source, Canvas& canvas, const Rect& dest) {
  if (source.width <= 0 || source.height <= 0) return;
  const std::int64_t dw = std::int64_t{dest.right} - dest.left;
  const std::int64_t dh = std::int64_t{dest.bottom} - dest.top;
  if (dw <= 0 || dh <= 0) return;
  const Rect clip = dest.Intersected({0, 0, canvas.Width(), canvas.Height()});
  if (clip.Empty()) return;
  const std::int64_t sw = source.width;
  const std::int64_t sh = source.height;
  const bool merge = source.twoColour && (dw < sw || dh < sh);
  const auto row = [&](int sy) { return source.pixels + (sy - source.firstKept) * source.stride; };
  // Rows not kept lie before firstKept or from keptEnd on.
  const std::int64_t keptEnd = std::int64_t{source.firstKept} + source.keptRows;
  const Colour rest = source.redBlueSwapped ? SwapRedBlue(source.rest) : source.rest;

  // One division per visible column and row, none per pixel.
  std::vector<Span> columns(static_cast<std::size_t>(clip.Width()));
  for (int x = clip.left; x < clip.right; ++x)
    columns[x - clip.left] = SourceSpan(x - std::int64_t{dest.left}, sw, dw, merge);

  for (int y = clip.top; y < clip.bottom; ++y) {
    const Span rows = SourceSpan(y - std::int64_t{dest.top}, sh, dh, merge);
    std::uint32_t* out = canvas.Row(y) + clip.left;
    if (!merge) {
      if (rows.first < source.firstKept || rows.first >= keptEnd) {
        std::fill(out, out + columns.size(), rest | Canvas::kOpaque);
        continue;
      }
      const Colour* in = row(rows.first);
      if (source.redBlueSwapped) {
        for (std::size_t i = 0; i < columns.size(); ++i)
          out[i] = SwapRedBlue(in[columns[i].first]) | Canvas::kOpaque;
      } else {
        for (std::size_t i = 0; i < columns.size(); ++i)
          out[i] = in[columns[i].first] | Canvas::kOpaque;
      }
      continue;
    }
    // The rows merged that are kept; any other merges `rest`, once being as good as many times.
    const int keptFirst = std::max(rows.first, source.firstKept);
    const int keptLast = static_cast<int>(std::min<std::int64_t>(rows.last, keptEnd));
    const bool mergesRest = keptFirst > rows.first || keptLast < rows.last;
    for (std::size_t i = 0; i < columns.size(); ++i) {
      Colour c = mergesRest ? source.rest & 0xFFFFFF : 0xFFFFFF;
      for (int sy = keptFirst; sy < keptLast; ++sy) {
        const Colour* in = row(sy);
        for (int sx = columns[i].first; sx < columns[i].last; ++sx) c &= in[sx];
      }
      // Exchanging red and blue moves bits without mixing them, so it commutes with the AND.
      out[i] = (source.redBlueSwapped ? SwapRedBlue(c) : c) | Canvas::kOpaque;
    }
  }
  canvas.MarkDirty(clip);
}

}  // namespace model
