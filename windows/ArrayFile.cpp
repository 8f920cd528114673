#include "windows/ArrayFile.h"

#include <string>
#include <vector>

#include <QFile>
#include <QFileInfo>

#include "picture/loader.h"

bool IsPictureFile(const QString& fileName) {
  // An X bitmap is a picture to the loader but an array to the program: it opens onto the board.
  if (QFileInfo(fileName).suffix().compare("xbm", Qt::CaseInsensitive) == 0) return false;
  return picture::HasPictureExtension(QFile::encodeName(fileName).toStdString());
}

model::ParsedPicture ReadArrayFile(const QString& fileName, const model::ParseHints& hints) {
  const std::string name = QFile::encodeName(fileName).toStdString();
  const picture::FileBytes bytes = picture::ReadWholeFile(name);
  if (QString::fromStdString(picture::FileExtension(name)).toLower() == "bin") {
    return ParseArrayBytes(bytes, hints);
  }
  return model::ParseOutputText(
      std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), hints);
}

model::ParsedPicture ParseArrayBytes(std::span<const std::uint8_t> bytes,
                                     const model::ParseHints& hints) {
  // The items of an array, so that the size follows from the count as for any array text.
  std::string text = "{";
  for (const std::uint8_t byte : bytes) text += std::to_string(byte) + ",";
  if (!bytes.empty()) text.pop_back();
  text += "}";
  return model::ParseOutputText(text, hints);
}
