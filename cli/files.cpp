#include "cli/files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <QFile>
#include <QSaveFile>

#include "cli/command.h"

namespace cli {

void WriteOutput(const QString& path, const std::string& bytes) {
  if (path.isEmpty()) {
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() ||
        std::fflush(stdout) != 0) {
      throw FileError("standard output", std::strerror(errno));
    }
    return;
  }
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) throw FileError(path, file.errorString().toStdString());
  if (file.write(bytes.data(), static_cast<qint64>(bytes.size())) !=
          static_cast<qint64>(bytes.size()) ||
      !file.commit()) {
    throw FileError(path, file.errorString().toStdString());
  }
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
