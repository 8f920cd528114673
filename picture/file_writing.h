#pragma once

#include <optional>
#include <string>

#include <QString>

namespace picture {

// Writes `data` to `path` whole or not at all. A regular file (or a new one) is written to a
// temporary file in the same folder, which then replaces it, so that a failure leaves no half file
// and the old file as it was. A path naming something other than a regular file (a device such as
// /dev/null, a named pipe) is written to in place: it is never replaced by a file. Returns
// nothing on success, or the reason of the failure as the system gives it.
std::optional<QString> WriteWholeFile(const QString& path, const std::string& data);

}  // namespace picture
