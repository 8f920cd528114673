#pragma once

// The decoders behind LoadPicture, one per accepted extension. Each takes the whole file's bytes
// and returns the picture, or throws LoadError with the message the user sees. The loader never
// passes a zero-byte file (that is an empty picture whatever the kind); given one, a decoder
// returns an empty picture too.
//
// To add a kind: declare its decoder here, define it in its own source file of the picture
// library, and add its extension to the table in loader.cpp.

#include <cstdint>
#include <memory>
#include <span>

#include "picture/picture.h"

namespace picture {

// ".bmp": Windows and OS/2 bitmaps (picture/bmp.h). Qt-free.
std::unique_ptr<Picture> DecodeBitmapFile(std::span<const std::uint8_t> file);
// ".ico": icons.
std::unique_ptr<Picture> DecodeIcon(std::span<const std::uint8_t> file);
// ".wmf": Windows metafiles, with or without the placeable header.
std::unique_ptr<Picture> DecodeWmf(std::span<const std::uint8_t> file);
// ".emf": enhanced metafiles.
std::unique_ptr<Picture> DecodeEmf(std::span<const std::uint8_t> file);

}  // namespace picture
