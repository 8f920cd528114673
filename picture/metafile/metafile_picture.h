#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <utility>

#include "picture/loader.h"
#include "picture/metafile/budget.h"
#include "picture/metafile/formats.h"
#include "picture/picture.h"

namespace picture::metafile {

// A metafile, kept as its bytes and played afresh into every rectangle it is drawn into.
class MetafilePicture : public Picture {
 public:
  enum class Format { kWmf, kEmf };

  // Keeps `file`, the whole file, whose frame is `frame`.
  MetafilePicture(Format format, FileBytes file, const Frame& frame)
      : m_format(format), m_bytes(std::move(file)), m_frame(frame) {}

  int Width() const override { return m_frame.width; }
  int Height() const override { return m_frame.height; }
  // Plays the records into `dest`. Running out of memory on the way leaves the part of `dest` on
  // the canvas white and throws LoadError kNotEnoughMemory.
  void StretchDraw(model::Canvas& canvas, const model::Rect& dest) const override;

  // Draws as StretchDraw does and gives what the play left of each account of its budget: how
  // much work a file made, and whether it stopped because an account ran out. The budget is
  // `start`, or by default the one for the part of `dest` on the canvas.
  Budget Play(model::Canvas& canvas, const model::Rect& dest,
              std::optional<Budget> start = std::nullopt) const;

 private:
  Format m_format;
  FileBytes m_bytes;
  Frame m_frame;
};

}  // namespace picture::metafile
