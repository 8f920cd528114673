#pragma once

#include <optional>
#include <string>

#include <QString>

namespace cli {

// Writes `bytes` to `path`, or to standard output when `path` is empty. A file is written to a
// temporary file in its folder and renamed over the old one once complete, so a failed write
// leaves the old file as it was and never a part of the new one; a device or pipe (/dev/null) is
// written in place (picture::WriteWholeFile). Throws FileError.
void WriteOutput(const QString& path, const std::string& bytes);

// The whole of an existing file; nothing when there is no such file. Throws FileError when it is
// there but cannot be read.
std::optional<std::string> ReadExisting(const QString& path);

}  // namespace cli
