#pragma once

// Pieces of LoadPicture (picture/picture.h) that tests and tools use on their own.

#include <cstdint>
#include <string>
#include <vector>

namespace picture {

// The largest file the loader reads. A 100-megapixel 32-bit bitmap takes 400 MB.
inline constexpr std::uint64_t kMaxFileBytes = std::uint64_t{512} << 20;

// The text after the last "." of the file name (not of its directories), as written; empty
// when the name has no ".".
std::string FileExtension(const std::string& fileName);

// The extensions LoadPicture reads, in lower case, "bmp" first.
std::vector<std::string> PictureExtensions();

// The whole file, read once. Throws LoadError "Cannot open file "<full path>". <reason>" when
// it cannot be opened or read, is a directory or not a regular file, or is above kMaxFileBytes.
std::vector<std::uint8_t> ReadWholeFile(const std::string& fileName);

}  // namespace picture
