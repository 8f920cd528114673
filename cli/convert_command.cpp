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
#include "model/bitmap.h"
#include "model/conversion.h"
#include "model/dither.h"
#include "model/output.h"
#include "picture/convert.h"
#include "picture/loader.h"
#include "picture/picture.h"

namespace cli {
namespace {

// The options, as parsed.
struct Job {
  QStringList pictures;
  std::optional<Size> size;
  // How a picture is converted, as the import dialog's controls set it; the size is set per
  // picture.
  picture::ConvertSettings conversion{0, 0, model::kDefaultThreshold, false};
  // Empty: standard output.
  QString outputFile;
  bool check = false;
  // How the arrays are written; the name is set per picture.
  model::OutputOptions output;
  // One per picture.
  std::vector<std::string> names;
};

int ParseThreshold(const QString& text) {
  static const QRegularExpression digits("^[0-9]{1,9}$");
  const int value = digits.match(text).hasMatch() ? text.toInt() : -1;
  if (value < model::kMinThreshold || value > model::kMaxThreshold) {
    throw UsageError("invalid threshold '" + text.toStdString() +
                     "': give a whole number from 0 to 16777216");
  }
  return value;
}

model::Dither ParseDither(const QString& text) {
  const std::optional<model::Dither> method = model::DitherByName(text.toStdString());
  if (!method) {
    throw UsageError("invalid dither method '" + text.toStdString() +
                     "': give threshold, floyd-steinberg, atkinson, bayer4 or bayer8");
  }
  return *method;
}

// The array names: --name, or "lcd_image_mas" for one picture, or each file's stem for several.
// Two arrays of one output may not share a name; the bytes alone have no names to clash.
std::vector<std::string> ArrayNames(const QStringList& pictures, const std::optional<QString>& name,
                                    model::Format format) {
  std::vector<std::string> names;
  std::set<std::string> taken;
  for (const QString& picture : pictures) {
    std::string next = name                   ? name->toStdString()
                       : pictures.size() == 1 ? std::string(model::kDefaultArrayName)
                                              : ArrayNameFromFile(picture);
    if (!taken.insert(next).second && format != model::Format::Bin) {
      throw UsageError(name ? "--name gives every picture the same array name '" + next +
                                  "': leave it out to name each array after its file"
                            : "two pictures give the same array name '" + next +
                                  "': rename one of the files or convert them apart");
    }
    names.push_back(std::move(next));
  }
  return names;
}

// The output options; the module's own message for a word it does not know or a bad name.
void ReadOutputOptions(const QCommandLineParser& parser, Job& job) {
  const auto word = [&](const char* option) { return parser.value(option).toStdString(); };
  try {
    if (parser.isSet("layout")) job.output.layout = model::ParseLayout(word("layout"));
    if (parser.isSet("format")) job.output.format = model::ParseFormat(word("format"));
    if (parser.isSet("type")) job.output.type = model::ParseElementType(word("type"));
    job.output.defines = parser.isSet("defines");
    job.output.art = parser.isSet("art");
    job.names = ArrayNames(
        job.pictures, parser.isSet("name") ? std::optional(parser.value("name")) : std::nullopt,
        job.output.format);
    model::OutputOptions named = job.output;
    for (const std::string& name : job.names) {
      named.name = name;
      model::ValidateOptions(named);
    }
  } catch (const model::OptionError& error) {
    throw UsageError(error.what());
  }
}

Job ReadJob(const QCommandLineParser& parser) {
  Job job;
  job.pictures = parser.positionalArguments();
  if (job.pictures.isEmpty()) throw UsageError("no picture to convert");
  if (parser.isSet("size")) job.size = ParseSize(parser.value("size"));
  if (parser.isSet("threshold"))
    job.conversion.threshold = ParseThreshold(parser.value("threshold"));
  job.conversion.invert = parser.isSet("invert");
  if (parser.isSet("dither")) job.conversion.dither = ParseDither(parser.value("dither"));
  job.outputFile = parser.value("output");
  job.check = parser.isSet("check");
  if (job.check && job.outputFile.isEmpty())
    throw UsageError("--check needs --output FILE, the file to compare");
  if (parser.isSet("output") && job.outputFile.isEmpty())
    throw UsageError("empty --output file name");
  ReadOutputOptions(parser, job);
  return job;
}

QString Extension(const QString& path) {
  return QString::fromStdString(picture::FileExtension(QFile::encodeName(path).toStdString()))
      .toLower();
}

bool IsMetafile(const QString& path) {
  return Extension(path) == "wmf" || Extension(path) == "emf";
}

// The GUI application object, made when the first picture that needs it comes: a bitmap is
// decoded and drawn by the program's own code, which uses no toolkit, while icons and metafiles
// are drawn with the toolkit's painter and metafiles with its fonts. Converting bitmaps alone so
// spares the start of the toolkit's platform, the larger part of a short run.
class Toolkit {
 public:
  void ReadyFor(const QString& picture) {
    if (m_application || Extension(picture) == "bmp") return;
    ChooseHeadlessPlatform();
    m_application.emplace(ApplicationArgc(), ApplicationArgv());
  }

 private:
  std::optional<QGuiApplication> m_application;
};

// The size to convert `picture` to: --size, or else its own when that is a picture size.
Size TargetSize(const Job& job, const QString& path, const picture::Picture& picture) {
  if (job.size) return *job.size;
  if (IsMetafile(path)) {
    throw UsageError(path.toStdString() + ": a metafile has no size in pixels: give --size WxH");
  }
  if (!model::IsValidSize(picture.Width(), picture.Height())) {
    throw UsageError(path.toStdString() + ": the picture is " + std::to_string(picture.Width()) +
                     "x" + std::to_string(picture.Height()) +
                     ", not a size to convert to (W a multiple of 4 from 4 to 320, H a multiple "
                     "of 8 from 8 to 240): give --size WxH");
  }
  return {picture.Width(), picture.Height()};
}

// The picture `index` converted and written as the array window saves it.
std::string ConvertOne(const Job& job, int index, Toolkit& toolkit) {
  const QString& path = job.pictures[index];
  toolkit.ReadyFor(path);
  std::unique_ptr<picture::Picture> source;
  try {
    source = picture::LoadPicture(QFile::encodeName(path).toStdString());
  } catch (const std::exception& error) {
    throw FileError(path, error.what());
  }
  const Size size = TargetSize(job, path, *source);
  picture::ConvertSettings settings = job.conversion;
  settings.width = size.width;
  settings.height = size.height;
  model::PixelStore store;
  try {
    store = picture::ConvertToStore(source.get(), settings);
  } catch (const std::exception& error) {
    throw FileError(path, error.what());
  }
  model::OutputOptions output = job.output;
  output.name = job.names[index];
  return model::BuildFileText(store, size.width, size.height, output);
}

void AddOptions(QCommandLineParser& parser) {
  parser.setApplicationDescription(
      "Converts pictures (BMP, ICO, WMF, EMF, PNG, JPEG, GIF, WebP, TIFF, TGA, PBM, PGM, PPM,\n"
      "XBM, SVG) to C arrays for a monochrome display, as the program's import dialog and array\n"
      "window do.");
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
      {{"d", "dither"},
       "How greys become black and white, as the import dialog's drop-down: threshold "
       "(default; the threshold alone), floyd-steinberg, atkinson, bayer4 or bayer8, which draw "
       "greys with dots, the threshold's grey half black.",
       "METHOD"},
      {{"l", "layout"},
       "The byte layout: page-lsb (default; PCD8544, SSD1306, ST7565), page-msb, rows-msb "
       "(Adafruit GFX drawBitmap) or rows-lsb (XBM, u8g2 drawXBM).",
       "LAYOUT"},
      {{"f", "format"}, "c (default), xbm (an X bitmap) or bin (the bytes alone).", "FORMAT"},
      {{"n", "name"},
       "The array's name, a C identifier (default: lcd_image_mas; with several pictures, each "
       "file's stem made an identifier).",
       "NAME"},
      {"type",
       "The C element type: char (default), uint8 (uint8_t) or progmem (uint8_t in PROGMEM).",
       "TYPE"},
      {"defines", "Write NAME_WIDTH and NAME_HEIGHT #define lines above the array."},
      {"art", "Write a comment drawing the picture in # and . above the array."},
      {"check",
       "Write nothing: exit 0 when --output already holds exactly what would be written, 1 "
       "otherwise."},
  });
}

}  // namespace

int RunConvert(const QStringList& arguments) {
  QuietToolkit();
  Toolkit toolkit;
  QCommandLineParser parser;
  AddOptions(parser);
  return CarryOut("dotwright convert", [&] {
    if (!ParseOrHelp(parser, arguments)) return kExitDone;
    const Job job = ReadJob(parser);
    // Every picture is converted before anything is written: a failure leaves the output alone.
    // The arrays follow one another; text arrays are parted by an empty line.
    std::string output;
    for (int i = 0; i < job.pictures.size(); ++i) {
      if (i > 0 && job.output.format != model::Format::Bin) output += '\n';
      output += ConvertOne(job, i, toolkit);
    }
    if (!job.check) {
      WriteOutput(job.outputFile, output);
      return kExitDone;
    }
    const std::optional<std::string> existing = ReadExisting(job.outputFile);
    if (existing == output) return kExitDone;
    Complain(job.outputFile +
             (existing ? ": out of date" : ": out of date (there is no such file)"));
    return kExitFailed;
  });
}

}  // namespace cli
