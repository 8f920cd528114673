#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include "model/canvas.h"

namespace picture {

// A failure to load a picture. what() is the message the user sees, as it stands.
class LoadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A loaded picture: a bitmap, an icon or a metafile.
class Picture {
 public:
  virtual ~Picture() = default;

  // The picture's own size in pixels; 0 x 0 for an empty picture (a zero-byte file).
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  bool Empty() const { return Width() <= 0 || Height() <= 0; }

  // Draws the picture stretched (aspect ratio not kept) into `dest` of the canvas: the pixels
  // from dest.left to dest.right - 1 and dest.top to dest.bottom - 1, clipped to the canvas.
  // Pixels outside `dest` are not touched; touched pixels are marked dirty. An empty picture
  // draws nothing.
  virtual void StretchDraw(model::Canvas& canvas, const model::Rect& dest) const = 0;
};

// Loads the picture in `fileName`, choosing the decoder by the file name's extension (the text
// after the last "." of the name, not of its directories), compared without regard to case:
// "bmp", "ico", "wmf", "emf", and the kinds Qt reads (picture/decoders.h). Throws LoadError with
// the message the user sees.
std::unique_ptr<Picture> LoadPicture(const std::string& fileName);

}  // namespace picture
