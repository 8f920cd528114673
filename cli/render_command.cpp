// dotwright render [OPTIONS] ARRAYFILE: an array file back to a picture.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QSaveFile>

#include "cli/command.h"
#include "cli/command_line.h"
#include "cli/files.h"
#include "model/pixel_store.h"

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
[[maybe_unused]] QImage PictureOf(const model::PixelStore& store, Size size) {
  QImage image(size.width, size.height, QImage::Format_Mono);
  image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
  for (int y = 0; y < size.height; ++y) {
    for (int x = 0; x < size.width; ++x) image.setPixel(x, y, store.Get(x, y));
  }
  return image;
}

[[maybe_unused]] void WritePicture(const QString& path, const QImage& image) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) throw FileError(path, file.errorString().toStdString());
  QImageWriter writer(&file, PictureFormat(path));
  if (!writer.write(image)) throw FileError(path, writer.errorString().toStdString());
  if (!file.commit()) throw FileError(path, file.errorString().toStdString());
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
      {{"s", "size"}, "The picture's size, when the file does not state it.", "WxH"},
  });
}

}  // namespace

int RunRender(const QStringList& arguments) {
  // Image files are written without a platform; the object names the program in the help.
  QuietToolkit();
  QCoreApplication application(ApplicationArgc(), ApplicationArgv());
  QCommandLineParser parser;
  AddOptions(parser);
  try {
    if (!ParseOrHelp(parser, arguments)) return kExitDone;
    const QStringList files = parser.positionalArguments();
    if (files.size() != 1) throw UsageError("give one array file to render");
    const QString output = parser.value("output");
    if (output.isEmpty()) throw UsageError("--output FILE is required: the picture to write");
    PictureFormat(output);
    throw UsageError("reading array files is not there yet");
  } catch (const UsageError& error) {
    return ComplainOfUsage(error, "dotwright render");
  } catch (const FileError& error) {
    Complain(error.Path() + ": " + QString::fromUtf8(error.what()));
    return kExitFailed;
  }
}

}  // namespace cli
