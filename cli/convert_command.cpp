// dotwright convert [OPTIONS] PICTURE...: pictures to arrays, as the import dialog converts them
// and the array window writes them.
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <QCommandLineParser>
#include <QFile>
#include <QGuiApplication>
#include <QRegularExpression>

#include "cli/command.h"
#include "cli/command_line.h"
#include "cli/files.h"
#include "model/array_text.h"
#include "model/conversion.h"
#include "picture/convert.h"
#include "picture/loader.h"
#include "picture/picture.h"

namespace cli {
namespace {

// The options, as parsed.
struct Job {
  QStringList pictures;
  std::optional<Size> size;
  int threshold = model::kDefaultThreshold;
  bool invert = false;
  // Empty: standard output.
  QString output;
  bool check = false;
  // One per picture.
  std::vector<std::string> names;
};

// One picture converted.
struct Converted {
  model::PixelStore store;
  Size size;
  std::string name;
};

constexpr char kDefaultName[] = "lcd_image_mas";

int ParseThreshold(const QString& text) {
  static const QRegularExpression digits("^[0-9]{1,9}$");
  const int value = digits.match(text).hasMatch() ? text.toInt() : -1;
  if (value < model::kMinThreshold || value > model::kMaxThreshold) {
    throw UsageError("invalid threshold '" + text.toStdString() +
                     "': give a whole number from 0 to 16777216");
  }
  return value;
}

// The array names: --name, or "lcd_image_mas" for one picture, or each file's stem for several.
// Two arrays of one output may not share a name.
std::vector<std::string> ArrayNames(const QStringList& pictures,
                                    const std::optional<QString>& name) {
  std::vector<std::string> names;
  std::set<std::string> taken;
  for (const QString& picture : pictures) {
    std::string next = name                   ? name->toStdString()
                       : pictures.size() == 1 ? std::string(kDefaultName)
                                              : ArrayNameFromFile(picture);
    if (!taken.insert(next).second) {
      throw UsageError(name ? "--name gives every picture the same array name '" + next +
                                  "': leave it out to name each array after its file"
                            : "two pictures give the same array name '" + next +
                                  "': rename one of the files or convert them apart");
    }
    names.push_back(std::move(next));
  }
  return names;
}

Job ReadJob(QCommandLineParser& parser) {
  Job job;
  job.pictures = parser.positionalArguments();
  if (job.pictures.isEmpty()) throw UsageError("no picture to convert");
  if (parser.isSet("size")) job.size = ParseSize(parser.value("size"));
  if (parser.isSet("threshold")) job.threshold = ParseThreshold(parser.value("threshold"));
  job.invert = parser.isSet("invert");
  job.output = parser.value("output");
  job.check = parser.isSet("check");
  if (job.check && job.output.isEmpty())
    throw UsageError("--check needs --output FILE, the file to compare");
  if (parser.isSet("output") && job.output.isEmpty()) throw UsageError("empty --output file name");
  job.names = ArrayNames(job.pictures,
                         parser.isSet("name") ? std::optional(parser.value("name")) : std::nullopt);
  return job;
}

bool IsMetafile(const QString& path) {
  const QString extension =
      QString::fromStdString(picture::FileExtension(QFile::encodeName(path).toStdString()))
          .toLower();
  return extension == "wmf" || extension == "emf";
}

// The size to convert `picture` to: --size, or else its own when that is a picture size.
Size TargetSize(const Job& job, const QString& path, const picture::Picture& picture) {
  if (job.size) return *job.size;
  if (IsMetafile(path)) {
    throw UsageError(path.toStdString() + ": a metafile has no size in pixels: give --size WxH");
  }
  if (!ValidSize(picture.Width(), picture.Height())) {
    throw UsageError(path.toStdString() + ": the picture is " + std::to_string(picture.Width()) +
                     "x" + std::to_string(picture.Height()) +
                     ", not a size to convert to (W a multiple of 4 from 4 to 320, H a multiple "
                     "of 8 from 8 to 240): give --size WxH");
  }
  return {picture.Width(), picture.Height()};
}

Converted ConvertOne(const Job& job, int index) {
  const QString& path = job.pictures[index];
  std::unique_ptr<picture::Picture> source;
  try {
    source = picture::LoadPicture(QFile::encodeName(path).toStdString());
  } catch (const std::exception& error) {
    throw FileError(path, error.what());
  }
  const Size size = TargetSize(job, path, *source);
  const picture::ConvertSettings settings{size.width, size.height, job.threshold, job.invert};
  try {
    return {picture::ConvertToStore(source.get(), settings), size, job.names[index]};
  } catch (const std::exception& error) {
    throw FileError(path, error.what());
  }
}

std::string Output(const std::vector<Converted>& arrays) {
  std::string text;
  for (const Converted& array : arrays) {
    // Stand-in until the output module: the array window's text with LF line breaks.
    std::string one = model::BuildArrayText(array.store, array.size.width, array.size.height);
    for (char c : one)
      if (c != '\r') text += c;
    text += '\n';
  }
  return text;
}

void AddOptions(QCommandLineParser& parser) {
  parser.setApplicationDescription(
      "Converts pictures (BMP, ICO, WMF, EMF) to C arrays for a monochrome display, as the\n"
      "program's import dialog and array window do.");
  parser.addPositionalArgument("convert", "Pictures to arrays.", "convert");
  parser.addPositionalArgument("PICTURE", "The pictures; their arrays are written in this order.",
                               "PICTURE...");
  parser.addOptions({
      HelpOption(),
      {{"o", "output"}, "Write to FILE (default: standard output).", "FILE"},
      {{"s", "size"},
       "Convert to WxH: W a multiple of 4 in 4..320, H a multiple of 8 in 8..240 (default: the "
       "picture's own size; required for metafiles and other sizes).",
       "WxH"},
      {{"t", "threshold"},
       "Pixels whose R*G*B is above N are white: 0..16777216 (default 2074602).",
       "N"},
      {{"i", "invert"}, "Swap black and white after the threshold."},
      {{"n", "name"},
       "The array's name (default: lcd_image_mas; with several pictures, each file's stem).",
       "NAME"},
      {"check",
       "Write nothing: exit 0 when --output already holds exactly what would be written, 1 "
       "otherwise."},
  });
}

}  // namespace

int RunConvert(const QStringList& arguments) {
  QuietToolkit();
  ChooseHeadlessPlatform();
  QGuiApplication application(ApplicationArgc(), ApplicationArgv());
  QCommandLineParser parser;
  AddOptions(parser);
  Job job;
  try {
    if (!ParseOrHelp(parser, arguments)) return kExitDone;
    job = ReadJob(parser);
    std::vector<Converted> arrays;
    for (int i = 0; i < job.pictures.size(); ++i) arrays.push_back(ConvertOne(job, i));
    const std::string output = Output(arrays);
    if (!job.check) {
      WriteOutput(job.output, output);
      return kExitDone;
    }
    const std::optional<std::string> existing = ReadExisting(job.output);
    if (existing == output) return kExitDone;
    Complain(job.output + (existing ? ": out of date" : ": out of date (there is no such file)"));
    return kExitFailed;
  } catch (const UsageError& error) {
    return ComplainOfUsage(error, "dotwright convert");
  } catch (const FileError& error) {
    Complain(error.Path() + ": " + QString::fromUtf8(error.what()));
    return kExitFailed;
  }
}

}  // namespace cli
