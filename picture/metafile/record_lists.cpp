#include "picture/metafile/record_lists.h"

#include <algorithm>

namespace picture::gdi {

namespace {

// EMF region coordinates are kept within a range whose widths and heights fit an int.
constexpr std::int32_t kRegionLimit = 1 << 29;

// The rectangle from left, top to right, bottom exclusive; empty when it has no pixel.
QRect Exclusive(int left, int top, int right, int bottom) {
  if (right <= left || bottom <= top) return {};
  return {QPoint(left, top), QPoint(right - 1, bottom - 1)};
}

}  // namespace

RegionRects RegionRects::Scans(const metafile::Extent& data, std::uint16_t scans) {
  return {data, scans, true};
}

RegionRects RegionRects::Rectangles(const metafile::Extent& data, std::uint32_t count) {
  return {data, count, false};
}

RegionRects::Cursor::Cursor(const RegionRects& region)
    : m_reader(region.m_data), m_scans(region.m_scans), m_left(region.m_count) {}

bool RegionRects::Cursor::Next(QRect* rect) {
  if (!m_scans) {
    if (m_left == 0) return false;
    --m_left;
    auto coordinate = [this] { return std::clamp(m_reader.I32(), -kRegionLimit, kRegionLimit); };
    const int left = coordinate();
    const int top = coordinate();
    const int right = coordinate();
    const int bottom = coordinate();
    if (!m_reader.Ok()) return false;
    *rect = Exclusive(left, top, right, bottom);
    return true;
  }
  // A scan: the number of left and right values, top, bottom, the pairs, the number again.
  while (m_inScan == 0) {
    if (m_open) {
      m_reader.Skip(2);
      m_open = false;
    }
    if (m_left == 0 || !m_reader.Ok()) return false;
    --m_left;
    const std::uint16_t values = m_reader.U16();
    m_top = m_reader.I16();
    m_bottom = m_reader.I16();
    if (!m_reader.Ok() || values / 2 > m_reader.Remaining() / 4) {
      m_left = 0;
      return false;
    }
    m_inScan = values / 2;
    m_open = true;
  }
  --m_inScan;
  const int left = m_reader.I16();
  const int right = m_reader.I16();
  if (!m_reader.Ok()) {
    // The source no longer has the pair (a file cut short since it was loaded).
    m_inScan = 0;
    m_left = 0;
    return false;
  }
  *rect = Exclusive(left, m_top, right, m_bottom);
  return true;
}

bool Figures::Next(QPolygonF& points) {
  if (m_figures == 0) return false;
  --m_figures;
  const std::uint64_t count = m_countBytes == 2 ? m_counts.U16() : m_counts.U32();
  if (!m_counts.Ok() || count > m_pointsLeft) {
    m_figures = 0;
    return false;
  }
  m_pointsLeft -= count;
  points.clear();
  points.reserve(static_cast<qsizetype>(count));
  for (std::uint64_t i = 0; i < count; ++i) {
    if (m_coordinateBytes == 2) {
      const double x = m_points.I16();
      points.append(QPointF(x, m_points.I16()));
    } else {
      const double x = m_points.I32();
      points.append(QPointF(x, m_points.I32()));
    }
  }
  // Points the source no longer has (a file cut short since it was loaded) end the figures.
  if (!m_points.Ok()) {
    m_figures = 0;
    return false;
  }
  return true;
}

}  // namespace picture::gdi
