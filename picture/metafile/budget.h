#pragma once

// What one play of a metafile may cost, whatever the file says: the accounts a play draws on, the
// price of each kind of work, and the limits on what it keeps. Every loop whose length the file
// decides either charges an account here or is cut by a limit here.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace picture::metafile {

// Drawing stops once its work, counted in pixels painted, adds up to this many times the
// destination (at least 320 x 240), with a fixed cost a call, a cost a character and the costs
// below: no real picture does so much, and a hostile one must still draw quickly.
inline constexpr std::int64_t kPaintedAreas = 2000;
inline constexpr std::int64_t kLargestArea = 320 * 240;
inline constexpr std::int64_t kCostPerCall = 256;
inline constexpr std::int64_t kCostPerCharacter = 4096;
// Filling or stroking also costs by the outline, whatever the area: a pixel of a segment's length
// within the destination costs about as much as 64 painted pixels (a long aliased line is drawn
// pixel by pixel, and a fill pays for every edge crossing a row), and every element of a path
// has a fixed cost, counted again when it is added to a path bracket.
inline constexpr std::int64_t kCostPerOutlinePixel = 64;
inline constexpr std::int64_t kCostPerElement = 16;
// Regions: mapping one costs by its rectangles, building one by the rectangles united,
// combining the clipping region with another by the rectangles of both, and filling one by its
// rectangles, each a painter call. Clipping to a path rasterises it into a mask of the
// destination and reads that back: about three fills of the destination.
inline constexpr std::int64_t kCostPerRegionRect = 64;
inline constexpr std::int64_t kCostPerClipRect = 8;
inline constexpr std::int64_t kPathRegionAreas = 3;
// A bitmap scaled onto the canvas (whose pixel format differs) costs a few fills a pixel.
inline constexpr std::int64_t kImageAreas = 4;
// A two-colour pattern is recoloured, pixel by pixel, for every fill.
inline constexpr std::int64_t kCostPerTilePixel = 16;

// Canvas coordinates are kept within this distance of the origin: the destination is at most a
// few hundred pixels, and a painter given astronomically large coordinates would be slow.
inline constexpr double kCoordLimit = 100000;
inline constexpr double kMaxPenPixels = 1000;
inline constexpr double kMaxFontPixels = 2000;
inline constexpr std::size_t kMaxSavedStates = 1000;
inline constexpr int kMaxTextLength = 8192;
inline constexpr std::size_t kMaxRegionRects = 10000;
// A path bracket holds at most this many elements: 24 bytes each, held up to three times over
// while the path grows, and about as much again on the way through the painter when it is drawn.
// A file that grows it further ends the play. (One record may still add as many points as the
// points account gives.)
inline constexpr int kMaxPathElements = 250'000;
// Hatch tiles kept for reuse; a file that keeps changing colours cannot grow the cache past this.
inline constexpr std::size_t kMaxHatchTiles = 64;
// Distinct typefaces looked up in one play; later ones use the default face.
inline constexpr int kMaxFaces = 32;
// Objects a file may hold at once (WMF tables are smaller when the header says so).
inline constexpr std::size_t kMaxObjects = 65536;
// Run-length bitmaps larger than this are left out: a few bytes of runs and skips can claim
// millions of pixels.
inline constexpr std::int64_t kMaxRunLengthPixels = 4'000'000;

// A coordinate within kCoordLimit of the origin (infinities at the limit).
inline double Bounded(double v) {
  if (!std::isfinite(v)) return v > 0 ? kCoordLimit : -kCoordLimit;
  return std::clamp(v, -kCoordLimit, kCoordLimit);
}

// The accounts of one play. Each is taken from as the play goes; what is left says how far it
// got.
struct Budget {
  explicit Budget(std::int64_t destinationArea)
      : work(kPaintedAreas * std::max(kLargestArea, destinationArea)) {}

  std::int64_t work;       // painting, in the costs above; below 0 once work is done past it
  bool overdrawn = false;  // a drawing call was refused for want of work, or a limit was hit
  std::int64_t records = 1'000'000;  // records played
  // Points of lines, curves and polygons. A point takes about 60 bytes on its way through the
  // painter (read, mapped, in a path, outlined), so that this many keep a play within 64 MB.
  std::int64_t points = 1'000'000;
  std::int64_t bitmapPixels = 16'000'000;  // decoded bitmap pixels, all records together

  // Takes `cost` for a drawing call that can be left undone: false, and nothing taken, when it
  // costs more than is left (or a call was refused already, so that a record that is overdrawn
  // draws nothing more); the play then ends.
  bool Spend(std::int64_t cost) {
    if (overdrawn || cost > work) {
      overdrawn = true;
      return false;
    }
    work -= cost;
    return true;
  }
  // Takes `cost` for work that is done whatever is left (mapping and combining regions, growing
  // a path): the play ends after the record once `work` is below zero.
  void Charge(std::int64_t cost) { work -= cost; }
  // Takes `n` points; false (and nothing taken) when too few are left.
  bool TakePoints(std::int64_t n) {
    if (n > points) return false;
    points -= n;
    return true;
  }
  // Takes `n` bitmap pixels; false (and nothing taken) when too few are left.
  bool TakeBitmapPixels(std::int64_t n) {
    if (n > bitmapPixels) return false;
    bitmapPixels -= n;
    return true;
  }
  // Whether the play must stop: its painting or its records are spent.
  bool Spent() const { return overdrawn || work < 0 || records <= 0; }
};

}  // namespace picture::metafile
