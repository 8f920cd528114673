#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <utility>

#include "picture/loader.h"
#include "picture/metafile/budget.h"
#include "picture/metafile/formats.h"
#include "picture/metafile/source.h"
#include "picture/picture.h"

namespace picture::metafile {

// A metafile, played afresh from its source into every rectangle it is drawn into: from memory,
// or from the file it was loaded from, kept open, so that renaming or removing the file
// afterwards changes nothing; a file cut short afterwards plays as far as it goes.
class MetafilePicture : public Picture {
 public:
  enum class Format { kWmf, kEmf };

  // Keeps `source`, the whole metafile, whose frame is `frame`.
  MetafilePicture(Format format, std::unique_ptr<const Source> source, const Frame& frame)
      : m_format(format), m_source(std::move(source)), m_frame(frame) {}

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
  std::unique_ptr<const Source> m_source;
  Frame m_frame;
};

}  // namespace picture::metafile
