#pragma once

#include <cstdint>
#include <span>

#include <QString>

#include "model/output.h"

// Reading a picture back from an array file or from array text, for the main window's open,
// drop and paste. The text goes through model::ParseOutputText: the one reader of the program's
// own output and of other tools' C arrays and X bitmaps.

// Whether the file opens in the import dialog (a picture the loader takes by its extension) rather
// than onto the board as an array file. An X bitmap (".xbm") is an array file here.
bool IsPictureFile(const QString& fileName);

// The picture in an array file: the bytes of a ".bin" file (any case), which state nothing, or
// else the file's text. `hints` give what the file does not state (the size, the layout and
// inversion). Throws picture::LoadError when the file cannot be read, model::ParseError when it
// holds no picture of a size the program has.
model::ParsedPicture ReadArrayFile(const QString& fileName, const model::ParseHints& hints);

// Bytes alone, as a binary file holds them, read as the array they are.
model::ParsedPicture ParseArrayBytes(std::span<const std::uint8_t> bytes,
                                     const model::ParseHints& hints);
