#pragma once

// Pieces of LoadPicture (picture/picture.h) that tests and tools use on their own.

#include <cstdint>
#include <string>
#include <vector>

#include "model/canvas.h"
#include "picture/dib.h"

namespace picture {

// The largest file the loader reads. A 100-megapixel 32-bit bitmap takes 400 MB.
inline constexpr std::uint64_t kMaxFileBytes = std::uint64_t{512} << 20;

// The text after the last "." of the file name (not of its directories), as written; empty
// when the name has no ".".
std::string FileExtension(const std::string& fileName);

// The extensions LoadPicture reads, in lower case, "bmp" first.
std::vector<std::string> PictureExtensions();

// Whether LoadPicture takes the file by its extension (any case), one of PictureExtensions().
bool HasPictureExtension(const std::string& fileName);

// A file's bytes. The buffer is not zero-filled before the read overwrites it, and a large one
// lands on large pages as a raster does.
using FileBytes = std::vector<std::uint8_t, model::RasterAllocator<std::uint8_t>>;

// The whole file, read once, to its end: a file whose size the system reports as 0 or too small
// (those under /proc) is read as far as it goes. Throws LoadError "Cannot open file "<full path>".
// <reason>" when it cannot be opened or read, is a directory or not a regular file (a named
// pipe, a device such as /dev/zero), or holds more than kMaxFileBytes.
FileBytes ReadWholeFile(const std::string& fileName);

// The reads LoadPicture decodes a bitmap file through (see dib::BitsReader): up to `wanted` bytes
// of the open file `fd` from an offset on, never past `size`, its size when opened, so that a file
// growing meanwhile is read as it was; a file cut shorter meanwhile reads as far as it goes.
// Throws LoadError "Cannot open file "<full path>". <reason>" when a read fails. The function
// refers to `fileName`, which must outlive it.
dib::BitsReader::ReadFunction FileReader(int fd, std::uint64_t size, const std::string& fileName);

// The message of a load that ran out of memory.
inline constexpr const char* kNotEnoughMemory = "Not enough memory to load the picture";

}  // namespace picture
