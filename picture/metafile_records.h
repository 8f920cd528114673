#pragma once

// The two metafile formats behind the metafile picture: header parsing and record playing.
// Internal to the picture library; the loader reaches them through DecodeWmf and DecodeEmf.

#include <QImage>
#include <QRectF>
#include <cstdint>
#include <optional>
#include <span>

#include "picture/gdi_player.h"

namespace picture::metafile {

// What a metafile declares about itself.
struct Frame {
  // The picture frame in the metafile's device space: reference device pixels for EMF, the
  // placeable header's (or the window's) logical units for WMF. This, not the drawing's extent,
  // is what is stretched onto the destination, so margins are kept.
  QRectF device;
  // The reference device's resolution, for the fixed mapping modes (EMF).
  QPointF pixelsPerMm{96 / 25.4, 96 / 25.4};
  // The picture's own size in screen pixels (96 dots an inch).
  int width = 0;
  int height = 0;
};

// Limits on what one play may cost, whatever the file says.
struct Budget {
  std::int64_t bitmapPixels = 16'000'000;  // decoded bitmap pixels, all records together
  std::int64_t records = 1'000'000;        // records played
  std::int64_t points = 4'000'000;         // points of lines, curves and polygons

  // Takes `n` points from the budget; false (and nothing taken) when too few are left.
  bool TakePoints(std::int64_t n) {
    if (n > points) return false;
    points -= n;
    return true;
  }
};

// The header of an enhanced metafile; nullopt when `file` is not one.
std::optional<Frame> EmfFrame(std::span<const std::uint8_t> file);
void PlayEmf(std::span<const std::uint8_t> file, gdi::Player& player, Budget& budget);

// The header of a Windows metafile, placeable or not; nullopt when `file` is not one. A file
// without a placeable header takes its frame from its first window origin and extent, or else
// from the extent of what it draws.
std::optional<Frame> WmfFrame(std::span<const std::uint8_t> file);
// `frame` is the one WmfFrame gave: the window starts as the frame, mapped onto the viewport.
void PlayWmf(std::span<const std::uint8_t> file, gdi::Player& player, const Frame& frame,
             Budget& budget);

// A device-independent bitmap of a metafile record, decoded to an opaque image.
struct Dib {
  QImage image;  // null when it cannot be read or exceeds the budget
  bool twoColour = false;
  bool bottomUp = true;  // rows stored bottom row first: source y counts from the bottom
};

// Header and colour table in `info`, pixels in `bits`. `paletteIndices`: the colour table holds
// indices into a logical palette (DIB_PAL_COLORS), which read as the default palette's colours.
Dib DibImage(std::span<const std::uint8_t> info, std::span<const std::uint8_t> bits,
             bool paletteIndices, Budget& budget);
// The same for a packed DIB: header, colour table and bits in one span.
Dib PackedDibImage(std::span<const std::uint8_t> dib, bool paletteIndices, Budget& budget);

// The part (x, y, width, height) of the bitmap that a transfer reads, y counted as the DIB counts
// it; a null image when that part is empty or outside the bitmap.
QImage SourcePart(const Dib& dib, int x, int y, int width, int height);

}  // namespace picture::metafile
