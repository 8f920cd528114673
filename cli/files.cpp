#include "cli/files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <QFile>

#include "cli/command.h"
#include "picture/file_writing.h"

namespace cli {

void WriteOutput(const QString& path, const std::string& bytes) {
  if (path.isEmpty()) {
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() ||
        std::fflush(stdout) != 0) {
      throw FileError("standard output", std::strerror(errno));
    }
    return;
  }
  if (const auto failure = picture::WriteWholeFile(path, bytes))
    throw FileError(path, failure->toStdString());
}

std::optional<std::string> ReadExisting(const QString& path) {
  QFile file(path);
  if (!file.exists()) return std::nullopt;
  if (!file.open(QIODevice::ReadOnly)) throw FileError(path, file.errorString().toStdString());
  const QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) throw FileError(path, file.errorString().toStdString());
  return bytes.toStdString();
}

}  // namespace cli
