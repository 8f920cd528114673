// `dotwright convert` run as a process: its bytes against the output module's for pixels worked
// out by hand, its exit statuses and messages, and what it leaves in the output file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include "model/colour.h"
#include "model/bitmap.h"
#include "model/conversion.h"
#include "model/output.h"
#include "tests/cli/process.h"
#include "tests/picture/bmp_builder.h"

namespace {

using bmptest::Bmp24;
using clitest::Result;
using clitest::StoreOf;
using model::Colour;

constexpr Colour kRed = model::Rgb(255, 0, 0);
constexpr Colour kGrey127 = model::Rgb(127, 127, 127);  // R*G*B 2048383
constexpr Colour kGrey128 = model::Rgb(128, 128, 128);  // R*G*B 2097152

// White, black, red, grey 127 and grey 128 in turn along the diagonals; at the default threshold
// black, red and grey 127 are dark.
Colour Diagonals(int x, int y) {
  constexpr Colour kCycle[] = {model::kWhite, model::kBlack, kRed, kGrey127, kGrey128};
  return kCycle[(x + y) % 5];
}
bool DiagonalDark(int x, int y) {
  return (x + y) % 5 == 1 || (x + y) % 5 == 2 || (x + y) % 5 == 3;
}

QByteArray Bytes(const std::string& text) {
  return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

// The module's file for a w x h picture set where `set` holds.
QByteArray FileOf(int w, int h, const std::function<bool(int, int)>& set,
                  const model::OutputOptions& options = {}) {
  return Bytes(model::BuildFileText(StoreOf(w, h, set), w, h, options));
}

class ConvertCommand : public clitest::FolderTest {
 protected:
  // The run succeeded, said nothing on standard error, and wrote `expected` to standard output.
  static void ExpectOutput(const Result& run, const QByteArray& expected, const std::string& what) {
    EXPECT_EQ(run.status, 0) << what << ": " << run.err.toStdString();
    EXPECT_EQ(run.err, QByteArray()) << what;
    EXPECT_TRUE(run.out == expected) << what << ": got\n"
                                     << run.out.left(400).toStdString() << "\nwanted\n"
                                     << expected.left(400).toStdString();
  }
};

TEST_F(ConvertCommand, APictureAtItsOwnSizeGivesTheModulesFileOfItsDarkPixels) {
  const struct { int w, h; } sizes[] = {{4, 8}, {12, 16}, {84, 48}, {128, 64}, {320, 240}};
  for (const auto& s : sizes) {
    Write("picture.bmp", Bmp24(s.w, s.h, Diagonals));
    ExpectOutput(Dotwright({"convert", "picture.bmp"}), FileOf(s.w, s.h, DiagonalDark),
                 std::to_string(s.w) + "x" + std::to_string(s.h));
  }
  // The default text itself, line for line: the size line, then the classic array.
  Write("corner.bmp",
        Bmp24(4, 8, [](int x, int y) { return x == 0 && y == 0 ? model::kBlack : model::kWhite; }));
  ExpectOutput(Dotwright({"convert", "corner.bmp"}),
               "/* 4x8 page-lsb */\n"
               "static const char lcd_image_mas[4] =\n"
               "{ 0x01, 0x00, 0x00, 0x00};\n",
               "corner");
}

TEST_F(ConvertCommand, ThresholdAndInvertReachTheConversion) {
  // Columns of grey 127, grey 128, white and black.
  constexpr Colour kColumns[] = {kGrey127, kGrey128, model::kWhite, model::kBlack};
  Write("columns.bmp", Bmp24(4, 8, [&](int x, int) { return kColumns[x]; }));
  const struct {
    const char* threshold;  // null: the default
    bool invert;
    const char* row;  // '#' where the column is set
  } cases[] = {
      {nullptr, false, "#..#"},    {"2048383", false, "#..#"}, {"2048382", false, "...#"},
      {"2097152", false, "##.#"},  {"2097151", false, "#..#"}, {"16581375", false, "####"},
      {"16777216", false, "####"}, {"16777216", true, "...."}, {"0", false, "...#"},
      {"0", true, "###."},         {nullptr, true, ".##."},
  };
  for (const auto& c : cases) {
    QStringList arguments{"convert", "columns.bmp"};
    if (c.threshold) arguments << "-t" << c.threshold;
    if (c.invert) arguments << "--invert";
    ExpectOutput(Dotwright(arguments), FileOf(4, 8, [&](int x, int) { return c.row[x] == '#'; }),
                 arguments.join(' ').toStdString());
  }
}

TEST_F(ConvertCommand, SizeStretchesThePictureByPickingPixels) {
  // 8 x 8: the left three columns black.
  Write("left.bmp", Bmp24(8, 8, [](int x, int) { return x < 3 ? model::kBlack : model::kWhite; }));
  const struct {
    const char* size;
    int w, h;
    int blackColumns;  // source column floor(dx * 8 / w) < 3
  } cases[] = {{"16x8", 16, 8, 6}, {"4x8", 4, 8, 2}, {"12x16", 12, 16, 5}, {"8x8", 8, 8, 3}};
  for (const auto& c : cases) {
    ExpectOutput(Dotwright({"convert", "--size", c.size, "left.bmp"}),
                 FileOf(c.w, c.h, [&](int x, int) { return x < c.blackColumns; }), c.size);
  }
}

TEST_F(ConvertCommand, EveryLayoutFormatAndCodeShapeIsTheModulesOwn) {
  // A pixel near each corner, so that any mirroring or turning shows; 20 wide pads rows.
  const auto set = [](int x, int y) {
    return (x == 0 && y == 0) || (x == 18 && y == 1) || (x == 2 && y == 14) || (x == 19 && y == 15);
  };
  Write("corners.bmp",
        Bmp24(20, 16, [&](int x, int y) { return set(x, y) ? model::kBlack : model::kWhite; }));
  for (const model::Layout layout : model::kLayouts) {
    for (const model::Format format : model::kFormats) {
      model::OutputOptions options;
      options.layout = layout;
      options.format = format;
      QStringList arguments{"convert",
                            "-l",
                            QString::fromUtf8(model::LayoutName(layout)),
                            "--format",
                            QString::fromUtf8(model::FormatName(format)),
                            "corners.bmp"};
      ExpectOutput(Dotwright(arguments), FileOf(20, 16, set, options),
                   arguments.join(' ').toStdString());
    }
  }
  for (const model::ElementType type : model::kElementTypes) {
    model::OutputOptions options;
    options.type = type;
    options.name = "splash";
    options.defines = true;
    options.art = true;
    const QStringList arguments{
        "convert", "--type",     QString::fromUtf8(model::ElementTypeName(type)),
        "-n",      "splash",     "--defines",
        "--art",   "corners.bmp"};
    ExpectOutput(Dotwright(arguments), FileOf(20, 16, set, options),
                 arguments.join(' ').toStdString());
  }
}

TEST_F(ConvertCommand, SeveralPicturesGoIntoOneOutputInOrderEachNamedAfterItsFile) {
  const auto first = [](int x, int y) { return x == y; };
  const auto second = [](int x, int) { return x % 3 == 0; };
  const auto third = [](int, int y) { return y == 5; };
  const auto bmp = [](int w, int h, const std::function<bool(int, int)>& set) {
    return Bmp24(w, h, [&](int x, int y) { return set(x, y) ? model::kBlack : model::kWhite; });
  };
  Write("logo-2.bmp", bmp(8, 8, first));
  Write("pics/2nd icon.BMP", bmp(12, 16, second));
  Write("z.bmp", bmp(4, 8, third));
  const QStringList pictures{"z.bmp", "logo-2.bmp", "pics/2nd icon.BMP"};

  const Result written = Dotwright(QStringList{"convert", "-o", "all.h"} + pictures);
  EXPECT_EQ(written.status, 0) << written.err.toStdString();
  EXPECT_EQ(written.out, QByteArray());
  const auto named = [](const char* name) {
    model::OutputOptions options;
    options.name = name;
    return options;
  };
  EXPECT_EQ(Read("all.h"),
            FileOf(4, 8, third, named("z")) + "\n" + FileOf(8, 8, first, named("logo_2")) + "\n" +
                FileOf(12, 16, second, named(model::IdentifierFromStem("2nd icon").c_str())));
  // The bytes alone, one picture's after the other's.
  model::OutputOptions bin;
  bin.format = model::Format::Bin;
  ExpectOutput(Dotwright(QStringList{"convert", "-f", "bin"} + pictures),
               FileOf(4, 8, third, bin) + FileOf(8, 8, first, bin) + FileOf(12, 16, second, bin),
               "bin");
}

TEST_F(ConvertCommand, PicturesGivingOneNameAreRefusedAndNothingIsWritten) {
  const auto white = Bmp24(4, 8, [](int, int) { return model::kWhite; });
  Write("a/logo.bmp", white);
  Write("b/logo.bmp", white);
  Write("logo-1.bmp", white);
  Write("logo_1.bmp", white);
  const struct {
    QStringList arguments;
    const char* said;
  } cases[] = {
      {{"a/logo.bmp", "b/logo.bmp"}, "'logo'"},
      {{"logo-1.bmp", "logo_1.bmp"}, "'logo_1'"},
      {{"-n", "art", "a/logo.bmp", "logo-1.bmp"}, "--name"},
  };
  for (const auto& c : cases) {
    const Result run = Dotwright(QStringList{"convert", "-o", "out.h"} + c.arguments);
    EXPECT_EQ(run.status, 2) << c.said;
    EXPECT_TRUE(run.err.contains(c.said)) << run.err.toStdString();
    EXPECT_FALSE(Names().contains("out.h")) << c.said;
  }
}

TEST_F(ConvertCommand, CheckPassesOnlyWhenTheFileHoldsExactlyTheOutput) {
  Write("picture.bmp", Bmp24(84, 48, Diagonals));
  ASSERT_EQ(Dotwright({"convert", "picture.bmp", "-o", "picture.h"}).status, 0);
  const QByteArray made = Read("picture.h");
  ASSERT_EQ(made, FileOf(84, 48, DiagonalDark));

  const Result same = Dotwright({"convert", "picture.bmp", "-o", "picture.h", "--check"});
  EXPECT_EQ(same.status, 0) << same.err.toStdString();
  EXPECT_EQ(same.out + same.err, QByteArray());

  // Other settings, a changed byte, a line break more or less, CR LF, no file: all out of date.
  const struct {
    QStringList extra;
    QByteArray file;  // empty: no file
  } stale[] = {
      {{"--invert"}, made},
      {{"-l", "rows-msb"}, made},
      {{}, QByteArray(made).replace("0x", "0X")},
      {{}, made + "\n"},
      {{}, made.chopped(1)},
      {{}, QByteArray(made).replace("\n", "\r\n")},
      {{}, {}},
  };
  for (const auto& c : stale) {
    QFile::remove(m_folder.filePath("picture.h"));
    if (!c.file.isEmpty()) Write("picture.h", c.file);
    const Result run =
        Dotwright(QStringList{"convert", "picture.bmp", "-o", "picture.h", "--check"} + c.extra);
    EXPECT_EQ(run.status, 1) << c.extra.join(' ').toStdString();
    EXPECT_TRUE(run.err.startsWith("dotwright: picture.h: out of date")) << run.err.toStdString();
    EXPECT_EQ(run.out, QByteArray());
    // --check writes nothing.
    EXPECT_EQ(Read("picture.h"), c.file);
  }
}

TEST_F(ConvertCommand, AFailedRunLeavesTheOldOutputByteForByte) {
  Write("good.bmp", Bmp24(8, 8, Diagonals));
  Write("bad.bmp", QByteArray("BM not a bitmap at all"));
  const QByteArray old = "/* kept */\r\nstatic const char x[1] = {0x00};";
  Write("out.h", old);
  const Result run = Dotwright({"convert", "good.bmp", "bad.bmp", "-o", "out.h"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "dotwright: bad.bmp: Bitmap image is not valid\n");
  EXPECT_EQ(Read("out.h"), old);
  // No temporary file is left beside it.
  EXPECT_EQ(Names(), (QStringList{"bad.bmp", "good.bmp", "out.h"}));

  // A good run replaces it whole.
  ASSERT_EQ(Dotwright({"convert", "good.bmp", "-o", "out.h"}).status, 0);
  EXPECT_EQ(Read("out.h"), FileOf(8, 8, DiagonalDark));
  EXPECT_EQ(Names(), (QStringList{"bad.bmp", "good.bmp", "out.h"}));
}

// An output that is not a regular file (a named pipe here, /dev/null alike) is written in place,
// never replaced by a file of the output.
TEST_F(ConvertCommand, AnOutputPipeIsWrittenToAndStaysAPipe) {
  Write("good.bmp", Bmp24(8, 8, Diagonals));
  const QByteArray pipe = QFile::encodeName(m_folder.filePath("out.h"));
  ASSERT_EQ(::mkfifo(pipe.constData(), 0600), 0);
  // Open for reading first, without waiting for a writer; the output is far below a pipe's room.
  const int reader = ::open(pipe.constData(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  const Result run = Dotwright({"convert", "good.bmp", "-o", "out.h"});
  EXPECT_EQ(run.status, 0) << run.err.toStdString();
  QByteArray received;
  char buffer[4096];
  for (ssize_t n; (n = ::read(reader, buffer, sizeof buffer)) > 0;) received.append(buffer, n);
  ::close(reader);
  EXPECT_EQ(received, FileOf(8, 8, DiagonalDark));
  struct stat status {};
  ASSERT_EQ(::lstat(pipe.constData(), &status), 0);
  EXPECT_TRUE(S_ISFIFO(status.st_mode));
  // No temporary file is left beside it (the pipe is listed only among system entries).
  EXPECT_EQ(QDir(m_folder.path()).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
            (QStringList{"good.bmp", "out.h"}));
}

TEST_F(ConvertCommand, ExitStatusesAndMessages) {
  Write("a.bmp", Bmp24(8, 8, Diagonals));
  Write("odd.bmp", Bmp24(30, 30, Diagonals));
  Write("bad.bmp", QByteArray("BM not a bitmap at all"));
  Write("empty.bmp", QByteArray());
  const QString wmf = DOTWRIGHT_TEST_DATA "/metafile/shapes.wmf";
  const struct {
    QStringList arguments;
    int status;
    const char* said;  // in standard error; for status 0, in standard output
  } cases[] = {
      {{"convert", "a.bmp"}, 0, "lcd_image_mas[8]"},
      {{"convert", "-s", "84x48", "odd.bmp"}, 0, "lcd_image_mas[504]"},
      {{"convert", "--size=84x48", wmf}, 0, "/* 84x48 page-lsb */"},
      {{"convert", "-s", "8x8", "empty.bmp"}, 0, "0x00, 0x00"},
      {{"convert", "missing.bmp"}, 1, "dotwright: missing.bmp: Cannot open file \""},
      {{"convert", "bad.bmp"}, 1, "dotwright: bad.bmp: Bitmap image is not valid\n"},
      {{"convert", "a.txt"}, 1, "dotwright: a.txt: Unknown picture file extension (.txt)"},
      {{"convert", "a.bmp", "-o", "no/such/folder/a.h"}, 1, "dotwright: no/such/folder/a.h: "},
      {{"convert", "-s", "5x8", "a.bmp"}, 2, "invalid size '5x8'"},
      {{"convert", "-s", "0x8", "a.bmp"}, 2, "multiple of 4 from 4 to 320"},
      {{"convert", "-s", "324x8", "a.bmp"}, 2, "multiple of 4 from 4 to 320"},
      {{"convert", "-s", "8x12", "a.bmp"}, 2, "multiple of 8 from 8 to 240"},
      {{"convert", "-s", "8x248", "a.bmp"}, 2, "multiple of 8 from 8 to 240"},
      {{"convert", "-s", "8*8", "a.bmp"}, 2, "invalid size"},
      {{"convert", "-t", "-1", "a.bmp"}, 2, "invalid threshold '-1'"},
      {{"convert", "-t", "16777217", "a.bmp"}, 2, "from 0 to 16777216"},
      {{"convert", "--threshold", "1e3", "a.bmp"}, 2, "invalid threshold"},
      {{"convert", "-d", "ordered", "a.bmp"}, 2, "invalid dither method 'ordered'"},
      {{"convert", "--dither", "Bayer4", "a.bmp"}, 2, "threshold, floyd-steinberg, atkinson"},
      {{"convert", "a.bmp", "-d"}, 2, "-d"},
      {{"convert", "-l", "diagonal", "a.bmp"}, 2, "«diagonal»"},
      {{"convert", "-f", "png", "a.bmp"}, 2, "«png»"},
      {{"convert", "--type", "int", "a.bmp"}, 2, "«int»"},
      {{"convert", "-n", "2x", "a.bmp"}, 2, "«2x»"},
      {{"convert", "-n", "int", "a.bmp"}, 2, "«int»"},
      {{"convert"}, 2, "no picture"},
      {{"convert", "--check", "a.bmp"}, 2, "--check needs --output"},
      {{"convert", "--bogus", "a.bmp"}, 2, "bogus"},
      {{"convert", "a.bmp", "-o"}, 2, "-o"},
      {{"convert", "odd.bmp"}, 2, "odd.bmp: the picture is 30x30"},
      {{"convert", wmf}, 2, "a metafile has no size in pixels"},
      {{"convert", "empty.bmp"}, 2, "the picture is 0x0"},
      {{"a.bmp", "b.bmp"}, 2, "more than one file"},
      {{"--bogus"}, 2, "bogus"},
  };
  for (const auto& c : cases) {
    const Result run = Dotwright(c.arguments);
    const std::string what = c.arguments.join(' ').toStdString();
    EXPECT_EQ(run.status, c.status) << what << ": " << run.err.toStdString();
    if (c.status == 0) {
      EXPECT_TRUE(run.out.contains(c.said)) << what;
      EXPECT_EQ(run.err, QByteArray()) << what;
      continue;
    }
    EXPECT_TRUE(run.err.contains(c.said)) << what << ": " << run.err.toStdString();
    // Nothing but the output goes to standard output.
    EXPECT_EQ(run.out, QByteArray()) << what;
    EXPECT_EQ(run.err.contains("Try 'dotwright"), c.status == 2) << what;
  }
  EXPECT_FALSE(Names().contains("no")) << "no folder is made for the output";
}

TEST_F(ConvertCommand, HelpAndVersionGoToStandardOutput) {
  const Result help = Dotwright({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.err, QByteArray());
  for (const char* line : {"dotwright convert [OPTIONS] PICTURE...",
                           "dotwright render [OPTIONS] ARRAYFILE", "dotwright FILE", "--version"})
    EXPECT_TRUE(help.out.contains(line)) << line;

  const Result convert = Dotwright({"convert", "--help"});
  EXPECT_EQ(convert.status, 0);
  for (const char* option :
       {"--output", "--size", "--threshold", "--invert", "--dither", "--layout", "--format",
        "--name", "--type", "--defines", "--art", "--check"})
    EXPECT_TRUE(convert.out.contains(option)) << option;
  const Result render = Dotwright({"render", "-h"});
  EXPECT_EQ(render.status, 0);
  for (const char* option : {"--output", "--size", "--layout", "ARRAYFILE"})
    EXPECT_TRUE(render.out.contains(option)) << option;

  // The manual page describes every option the help lists.
  QFile manual(DOTWRIGHT_MANUAL);
  ASSERT_TRUE(manual.open(QIODevice::ReadOnly));
  const QByteArray page = manual.readAll();
  static const QRegularExpression longOption("--[a-z]+");
  for (const QByteArray& text : {help.out, convert.out, render.out}) {
    for (const QRegularExpressionMatch& m : longOption.globalMatch(QString::fromUtf8(text))) {
      const QByteArray inPage = m.captured().toUtf8().replace("-", "\\-");
      EXPECT_TRUE(page.contains(inPage)) << m.captured().toStdString();
    }
  }

  const Result version = Dotwright({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "dotwright 2.104\n");
}

}  // namespace
