#pragma once

// The two metafile formats behind the metafile picture: what a file declares about itself, and
// playing its records onto a player, read from their source as they are played. Internal to the
// metafile library; the loader reaches them through DecodeWmf and DecodeEmf.

#include <QPointF>
#include <QRectF>
#include <cstdint>
#include <optional>
#include <span>

#include "picture/metafile/budget.h"
#include "picture/metafile/player.h"
#include "picture/metafile/source.h"

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

// The header of an enhanced metafile; nullopt when `file` is not one.
std::optional<Frame> EmfFrame(const Source& file);
std::optional<Frame> EmfFrame(std::span<const std::uint8_t> file);
void PlayEmf(const Source& file, gdi::Player& player, Budget& budget);

// The header of a Windows metafile, placeable or not; nullopt when `file` is not one. A file
// without a placeable header takes its frame from its first window origin and extent, or else
// from the extent of what it draws.
std::optional<Frame> WmfFrame(const Source& file);
std::optional<Frame> WmfFrame(std::span<const std::uint8_t> file);
// WmfFrame, the search for the window and the play for the drawing's extent drawing on `budget`.
std::optional<Frame> WmfFrame(const Source& file, Budget& budget);
std::optional<Frame> WmfFrame(std::span<const std::uint8_t> file, Budget& budget);
// `frame` is the one WmfFrame gave: the window starts as the frame, mapped onto the viewport.
void PlayWmf(const Source& file, gdi::Player& player, const Frame& frame, Budget& budget);

}  // namespace picture::metafile
