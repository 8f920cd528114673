#include "picture/file_writing.h"

#include <sys/stat.h>

#include <QFile>
#include <QSaveFile>

namespace picture {
namespace {

// Whether `path` names something that exists and is not a regular file, following links.
bool IsSpecialFile(const QString& path) {
  struct stat status {};
  if (::stat(QFile::encodeName(path).constData(), &status) != 0) return false;
  return !S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode);
}

template <typename File>
std::optional<QString> WriteAll(File& file, const std::string& data) {
  const qint64 size = static_cast<qint64>(data.size());
  if (file.write(data.data(), size) != size) return file.errorString();
  return std::nullopt;
}

}  // namespace

std::optional<QString> WriteWholeFile(const QString& path, const std::string& data) {
  if (IsSpecialFile(path)) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return file.errorString();
    if (auto failure = WriteAll(file, data)) return failure;
    file.close();
    if (file.error() != QFileDevice::NoError) return file.errorString();
    return std::nullopt;
  }
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return file.errorString();
  if (auto failure = WriteAll(file, data)) {
    file.cancelWriting();
    return failure;
  }
  if (!file.commit()) return file.errorString();
  return std::nullopt;
}

}  // namespace picture
