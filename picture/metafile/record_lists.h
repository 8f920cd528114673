#pragma once

// The lists a record holds (a region's rectangles, a poly-polygon's figures), read from the
// record's bytes one item at a time as the player uses them, where they are in memory or through
// a window of the file. Nothing is expanded into a container sized by what the record claims: a
// record of millions of entries costs the reading of those the play gets to, and no memory.

#include <QPolygonF>
#include <QRect>
#include <cstdint>
#include <span>

#include "picture/metafile/source.h"

namespace picture::gdi {

// The rectangles of a region as a record stores them: a WMF region's scans (left-right pairs
// sharing a top and a bottom) or an EMF RGNDATA's rectangles. A view of the record's bytes in
// their source, which must outlive it.
class RegionRects {
 public:
  // The rectangles of META_CREATEREGION: `scans` scans from the start of `data`.
  static RegionRects Scans(const metafile::Extent& data, std::uint16_t scans);
  // `count` rectangles of 16 bytes from the start of `data` (which holds them all).
  static RegionRects Rectangles(const metafile::Extent& data, std::uint32_t count);

  // Reads the rectangles in order.
  class Cursor {
   public:
    explicit Cursor(const RegionRects& region);
    // The next rectangle, in the record's units; an empty one where the record's has no pixel.
    // False at the end, or where the record is cut short.
    bool Next(QRect* rect);

   private:
    metafile::SourceReader m_reader;
    bool m_scans;
    std::uint32_t m_left;        // scans, or rectangles, still to read
    std::uint32_t m_inScan = 0;  // left-right pairs left in the scan
    bool m_open = false;         // a scan is read whose closing count is not
    int m_top = 0;
    int m_bottom = 0;
  };

 private:
  RegionRects(const metafile::Extent& data, std::uint32_t count, bool scans)
      : m_data(data), m_count(count), m_scans(scans) {}

  metafile::Extent m_data;
  std::uint32_t m_count;
  bool m_scans;
};

// The figures of a poly-polygon or poly-polyline record: a count for each figure, then the
// points of all of them, each figure's following the last. A view of the record's bytes in their
// source, which must outlive it; read once, as the figures are taken.
class Figures {
 public:
  Figures() = default;
  // `figures` counts of `countBytes` (2 or 4) at the start of `counts`; points of two
  // coordinates of `coordinateBytes` (2 or 4) at the start of `points`, of which at most
  // `pointLimit` are read.
  Figures(const metafile::Extent& counts, int countBytes, std::uint32_t figures,
          const metafile::Extent& points, int coordinateBytes, std::uint64_t pointLimit)
      : m_counts(counts),
        m_points(points),
        m_countBytes(countBytes),
        m_coordinateBytes(coordinateBytes),
        m_figures(figures),
        m_pointsLeft(pointLimit) {}

  // The next figure's points into `points` (its storage reused); false when no figure is left,
  // or its count runs past the points left or its points cannot be read, which ends the figures.
  bool Next(QPolygonF& points);

 private:
  metafile::SourceReader m_counts;
  metafile::SourceReader m_points;
  int m_countBytes = 4;
  int m_coordinateBytes = 4;
  std::uint32_t m_figures = 0;
  std::uint64_t m_pointsLeft = 0;
};

}  // namespace picture::gdi
