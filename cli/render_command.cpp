// dotwright render [OPTIONS] ARRAYFILE: an array file back to a picture.
#include <cstdint>
#include <string>
#include <vector>

#include <QBuffer>
#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>

#include "cli/command.h"
#include "cli/command_line.h"
#include "cli/files.h"
#include "model/output.h"
#include "model/pixel_store.h"
#include "picture/loader.h"
#include "picture/picture.h"

namespace cli {
namespace {

// The picture file's format from its name: "png" or "bmp"; a usage error otherwise.
QByteArray PictureFormat(const QString& path) {
  const QString suffix = QFileInfo(path).suffix().toLower();
  if (suffix == "png" || suffix == "bmp") return suffix.toLatin1();
  throw UsageError("cannot write '" + path.toStdString() +
                   "': the output must end in .png or .bmp");
}

// One picture pixel a pixel: set pixels black, clear ones white, one bit a pixel.
QImage PictureOf(const model::PixelStore& store, Size size) {
  QImage image(size.width, size.height, QImage::Format_Mono);
  image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
  for (int y = 0; y < size.height; ++y) {
    for (int x = 0; x < size.width; ++x) image.setPixel(x, y, store.Get(x, y));
  }
  return image;
}

void WritePicture(const QString& path, const QImage& image) {
  QBuffer encoded;
  encoded.open(QIODevice::WriteOnly);
  QImageWriter writer(&encoded, PictureFormat(path));
  if (!writer.write(image)) throw FileError(path, writer.errorString().toStdString());
  WriteOutput(path, encoded.data().toStdString());
}

// The bytes alone: a .bin file, or --format bin. Their size and layout are given by the options.
bool IsBinary(const QCommandLineParser& parser, const QString& path) {
  if (!parser.isSet("format")) return QFileInfo(path).suffix().toLower() == "bin";
  return model::ParseFormat(parser.value("format").toStdString()) == model::Format::Bin;
}

model::ParsedPicture ReadBytes(const QString& path, const std::vector<std::uint8_t>& file,
                               const model::ParseHints& hints) {
  if (!hints.width || !hints.height)
    throw UsageError("--size WxH is required: the bytes alone do not state their size");
  model::ParsedPicture picture{*hints.width, *hints.height,
                               hints.layout.value_or(model::Layout::PageLsb), false, file};
  const int expected = model::ByteCount(picture.width, picture.height, picture.layout);
  if (static_cast<int>(file.size()) != expected) {
    throw FileError(path, "holds " + std::to_string(file.size()) + " bytes; a " +
                              std::to_string(picture.width) + "x" + std::to_string(picture.height) +
                              " picture in " + std::string(model::LayoutName(picture.layout)) +
                              " takes " + std::to_string(expected));
  }
  return picture;
}

model::ParsedPicture ReadArrayFile(const QCommandLineParser& parser, const QString& path) {
  model::ParseHints hints;
  if (parser.isSet("size")) {
    const Size size = ParseSize(parser.value("size"));
    hints.width = size.width;
    hints.height = size.height;
  }
  const bool binary = IsBinary(parser, path);
  if (parser.isSet("layout"))
    hints.layout = model::ParseLayout(parser.value("layout").toStdString());
  std::vector<std::uint8_t> file;
  try {
    file = picture::ReadWholeFile(QFile::encodeName(path).toStdString());
  } catch (const picture::LoadError& error) {
    throw FileError(path, error.what());
  }
  if (binary) return ReadBytes(path, file, hints);
  try {
    return model::ParseOutputText(
        std::string_view(reinterpret_cast<const char*>(file.data()), file.size()), hints);
  } catch (const model::ParseError& error) {
    throw FileError(path, error.what());
  }
}

void AddOptions(QCommandLineParser& parser) {
  parser.setApplicationDescription(
      "Reads an array file written by 'dotwright convert' or the program's array window and\n"
      "writes the picture it holds, one pixel a picture pixel, set pixels black.");
  parser.addPositionalArgument("render", "An array file back to a picture.", "render");
  parser.addPositionalArgument("ARRAYFILE", "The array file to read.");
  parser.addOptions({
      HelpOption(),
      {{"o", "output"}, "Write the picture to FILE, a .png or .bmp (required).", "FILE"},
      {{"s", "size"},
       "The picture's size, when the file does not state it (a binary file never does).",
       "WxH"},
      {{"l", "layout"},
       "The byte layout, when the file does not state it: page-lsb (default), page-msb, "
       "rows-msb or rows-lsb.",
       "LAYOUT"},
      {{"f", "format"},
       "bin when the file holds the bytes alone (the default for a .bin file); c or xbm for "
       "text, whose kind is read from the text itself.",
       "FORMAT"},
  });
}

}  // namespace

int RunRender(const QStringList& arguments) {
  // Image files are written with no application object or platform.
  QuietToolkit();
  QCommandLineParser parser;
  AddOptions(parser);
  return CarryOut("dotwright render", [&] {
    if (!ParseOrHelp(parser, arguments)) return kExitDone;
    const QStringList files = parser.positionalArguments();
    if (files.size() != 1) throw UsageError("give one array file to render");
    const QString output = parser.value("output");
    if (output.isEmpty()) throw UsageError("--output FILE is required: the picture to write");
    PictureFormat(output);
    model::ParsedPicture parsed;
    try {
      parsed = ReadArrayFile(parser, files.front());
    } catch (const model::OptionError& error) {
      throw UsageError(error.what());
    }
    model::PixelStore store;
    model::UnpackBytes(parsed.bytes, parsed.width, parsed.height, parsed.layout, parsed.invert,
                       store);
    WritePicture(output, PictureOf(store, {parsed.width, parsed.height}));
    return kExitDone;
  });
}

}  // namespace cli
