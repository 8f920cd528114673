// `dotwright render` run as a process: every layout and format written by convert, by the array
// window or by hand reads back into the picture; what it cannot read is an error naming the line.
#include <functional>
#include <string>

#include <gtest/gtest.h>
#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>

#include "model/colour.h"
#include "model/output.h"
#include "tests/cli/process.h"
#include "tests/picture/bmp_builder.h"

namespace {

using bmptest::Bmp24;
using clitest::Result;

// Asymmetric: a pixel near each corner, a diagonal that stops short, and a filled block.
bool Set(int x, int y) {
  return (x == 0 && y == 0) || (x == 18 && y == 1) || (x == 1 && y == 14) || (x == 19 && y == 15) ||
         (x == y + 2 && x < 12) || (x >= 14 && x < 17 && y >= 6 && y < 11);
}
constexpr int kW = 20;  // rows of the row layouts end in padding
constexpr int kH = 16;

QByteArray Bytes(const std::string& text) {
  return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

// The picture file shows exactly `set` over w x h: black where set, white elsewhere.
testing::AssertionResult Shows(const QString& path, int w, int h,
                               const std::function<bool(int, int)>& set) {
  const QImage image(path);
  if (image.isNull()) return testing::AssertionFailure() << "no picture in " << path.toStdString();
  if (image.width() != w || image.height() != h) {
    return testing::AssertionFailure()
           << "size " << image.width() << "x" << image.height() << " instead of " << w << "x" << h;
  }
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const QRgb pixel = image.pixel(x, y);
      const QRgb expected = set(x, y) ? qRgb(0, 0, 0) : qRgb(255, 255, 255);
      if ((pixel & 0xFFFFFF) != (expected & 0xFFFFFF)) {
        return testing::AssertionFailure()
               << "at " << x << "," << y << ": " << std::hex << pixel << " instead of " << expected;
      }
    }
  }
  return testing::AssertionSuccess();
}

class RenderCommand : public clitest::FolderTest {
 protected:
  void SetUp() override {
    Write("picture.bmp",
          Bmp24(kW, kH, [](int x, int y) { return Set(x, y) ? model::kBlack : model::kWhite; }));
  }
};

TEST_F(RenderCommand, EveryLayoutAndFormatConvertWritesGivesBackThePicture) {
  for (const model::Layout layout : model::kLayouts) {
    for (const model::Format format : model::kFormats) {
      const QString layoutName = QString::fromUtf8(model::LayoutName(layout));
      const QString file = "array." + QString::fromUtf8(model::FormatName(format));
      const std::string what = file.toStdString() + " " + layoutName.toStdString();
      ASSERT_EQ(Dotwright({"convert", "picture.bmp", "-l", layoutName, "-f",
                           QString::fromUtf8(model::FormatName(format)), "-o", file})
                    .status,
                0)
          << what;
      // The bytes alone say neither size nor layout.
      const QStringList given = format == model::Format::Bin
                                    ? QStringList{"-s", "20x16", "-l", layoutName}
                                    : QStringList{};
      for (const QString picture : {"back.png", "back.bmp"}) {
        const Result run = Dotwright(QStringList{"render", file, "-o", picture} + given);
        EXPECT_EQ(run.status, 0) << what << ": " << run.err.toStdString();
        EXPECT_EQ(run.out + run.err, QByteArray()) << what;
        EXPECT_TRUE(Shows(m_folder.filePath(picture), kW, kH, Set))
            << what << " " << picture.toStdString();
      }
    }
  }
  // One bit a pixel: black and white only.
  EXPECT_EQ(QImage(m_folder.filePath("back.bmp")).depth(), 1);
}

TEST_F(RenderCommand, TextFromTheArrayWindowOrWrittenByHandIsRead) {
  model::PixelStore store;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) store.Set(x, y, Set(x, y));
  model::OutputOptions defines;
  defines.defines = true;
  defines.layout = model::Layout::RowsMsb;
  defines.type = model::ElementType::Progmem;
  const struct {
    const char* name;
    QByteArray text;
    QStringList given;
  } cases[] = {
      // The window's text has no size line: the size is given, the layout is the default.
      {"window.h", Bytes(model::BuildOutputText(store, kW, kH, {})), {"--size", "20x16"}},
      // Its #define lines state the size; the layout is given.
      {"defines.h", Bytes(model::BuildOutputText(store, kW, kH, defines)), {"-l", "rows-msb"}},
      // The saved file states both, and wins over what is given.
      {"saved.h", Bytes(model::BuildFileText(store, kW, kH, {})), {"-l", "rows-lsb"}},
  };
  for (const auto& c : cases) {
    Write(c.name, c.text);
    const Result run = Dotwright(QStringList{"render", c.name, "-o", "back.png"} + c.given);
    EXPECT_EQ(run.status, 0) << c.name << ": " << run.err.toStdString();
    EXPECT_TRUE(Shows(m_folder.filePath("back.png"), kW, kH, Set)) << c.name;
  }
}

TEST_F(RenderCommand, ErrorsNameTheFileAndTheLineAndLeaveTheOldPicture) {
  ASSERT_EQ(Dotwright({"convert", "picture.bmp", "-o", "good.h"}).status, 0);
  ASSERT_EQ(Dotwright({"convert", "picture.bmp", "-f", "bin", "-o", "good.bin"}).status, 0);
  Write("comma.h", QByteArray("/* 4x8 page-lsb */\nstatic const char a[4] =\n{ 0x01,, 0x00 };\n"));
  Write("word.h", QByteArray("/* 4x8 page-lsb */\n{ 0x01, 0x02,\n  0x03, zz };\n"));
  Write("sizeless.h", QByteArray("{ 0x01, 0x02, 0x03, 0x04 };\n"));
  Write("old.png", QByteArray("an old picture"));
  const struct {
    QStringList arguments;
    int status;
    const char* said;
  } cases[] = {
      {{"render", "comma.h", "-o", "old.png"}, 1, "dotwright: comma.h: Строка 3: "},
      {{"render", "word.h", "-o", "old.png"}, 1, "dotwright: word.h: Строка 3: "},
      {{"render", "sizeless.h", "-o", "old.png"}, 1, "dotwright: sizeless.h: "},
      {{"render", "missing.h", "-o", "old.png"}, 1, "dotwright: missing.h: Cannot open file"},
      {{"render", "good.bin", "-s", "20x24", "-o", "old.png"}, 1, "good.bin: holds 40 bytes"},
      {{"render", "good.h", "-o", "no/such/folder/x.png"}, 1, "no/such/folder/x.png: "},
      {{"render", "good.bin", "-o", "old.png"}, 2, "--size WxH is required"},
      {{"render", "good.h"}, 2, "--output FILE is required"},
      {{"render", "good.h", "-o", "x.gif"}, 2, "must end in .png or .bmp"},
      {{"render", "good.h", "-s", "5x8", "-o", "old.png"}, 2, "invalid size '5x8'"},
      {{"render", "good.h", "-l", "spiral", "-o", "old.png"}, 2, "«spiral»"},
      {{"render", "-o", "old.png"}, 2, "one array file"},
      {{"render", "good.h", "good.bin", "-o", "old.png"}, 2, "one array file"},
  };
  for (const auto& c : cases) {
    const Result run = Dotwright(c.arguments);
    const std::string what = c.arguments.join(' ').toStdString();
    EXPECT_EQ(run.status, c.status) << what << ": " << run.err.toStdString();
    EXPECT_TRUE(run.err.startsWith("dotwright: ")) << what;
    EXPECT_TRUE(run.err.contains(c.said)) << what << ": " << run.err.toStdString();
    EXPECT_EQ(run.out, QByteArray()) << what;
    EXPECT_EQ(Read("old.png"), "an old picture") << what;
  }
  EXPECT_FALSE(Names().contains("x.gif"));
}

}  // namespace
