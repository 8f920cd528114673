// The command line against the windows: the same file imported in the dialog with the same size,
// threshold, check box and way to black and white, applied to the board, gives the bytes `dotwright
// convert` writes.
#include <optional>
#include <string>

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>

#include "model/colour.h"
#include "model/conversion.h"
#include "model/dither.h"
#include "model/output.h"
#include "tests/cli/process.h"
#include "tests/picture/bmp_builder.h"
#include "tests/windows/support.h"
#include "windows/AddImage.h"
#include "windows/Forms.h"
#include "windows/Unit1.h"

namespace {

using clitest::Result;
using model::Colour;

class WindowsPath : public windowstest::FormsTest, public clitest::Folder {
 protected:
  // The board's picture after importing `path` at w x h with the threshold, the check box and
  // the drop-down's way to black and white.
  static model::PixelStore Imported(const QString& path, int w, int h, int threshold, bool invert,
                                    model::Dither dither) {
    windowstest::ApplySize(w, h);
    Form_AddImage->ChooseFile = [path]() -> std::optional<QString> { return path; };
    windowstest::WithModal([] { windowstest::Click(Form1->SpeedButton2); },
                           [&](QWidget*) {
                             TForm_AddImage* d = Form_AddImage;
                             windowstest::Click(d->BitBtn1);
                             d->TrackBar1->setValue(threshold);
                             if (d->CheckBox1->isChecked() != invert)
                               windowstest::Click(d->CheckBox1);
                             d->ComboBox1->setCurrentIndex(static_cast<int>(dither));
                             EXPECT_EQ(d->Dither(), dither);
                             windowstest::Click(d->BitBtn2);
                             windowstest::Click(d->BitBtn3);
                           });
    return Form1->Store();
  }
};

// A picture with every kind of colour the threshold separates: a gradient of greys one way and
// of red the other, with a black frame.
std::vector<std::uint8_t> Photo(int w, int h) {
  return bmptest::Bmp24(w, h, [&](int x, int y) -> Colour {
    if (x == 0 || y == 0 || x == w - 1 || y == h - 1) return model::kBlack;
    const auto grey = static_cast<std::uint8_t>(x * 255 / (w - 1));
    const auto red = static_cast<std::uint8_t>(y * 255 / (h - 1));
    return model::Rgb(red, grey, grey);
  });
}

// A one-bit picture, which reduces keeping black: a fine checkerboard.
std::vector<std::uint8_t> Checkers(int w, int h) {
  std::vector<std::vector<std::uint32_t>> rows(h, std::vector<std::uint32_t>(w));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) rows[y][x] = (x / 3 + y / 2) % 2;
  bmptest::BmpSpec spec;
  spec.width = w;
  spec.height = h;
  spec.bitCount = 1;
  spec.palette = {model::kBlack, model::kWhite};
  spec.bits = bmptest::PackRows(rows, 1);
  return bmptest::BuildBmp(spec);
}

TEST_F(WindowsPath, TheDialogAndTheCommandLineGiveTheSameBytes) {
  Write("photo.bmp", Photo(100, 60));
  Write("checkers.bmp", Checkers(200, 100));
  const QString data = DOTWRIGHT_TEST_DATA;
  const struct {
    QString file;
    int w, h;
    int threshold;
    bool invert;
    model::Dither dither = model::Dither::kThreshold;
  } cases[] = {
      {m_folder.filePath("photo.bmp"), 84, 48, model::kDefaultThreshold, false},
      {m_folder.filePath("photo.bmp"), 128, 64, 5000000, true},
      {m_folder.filePath("photo.bmp"), 4, 240, 100, false},
      {m_folder.filePath("checkers.bmp"), 84, 48, model::kDefaultThreshold, false},
      {m_folder.filePath("checkers.bmp"), 320, 240, model::kDefaultThreshold, true},
      {data + "/icon/pal8.ico", 84, 48, model::kDefaultThreshold, false},
      {data + "/icon/png256.ico", 96, 96, 8000000, false},
      {data + "/metafile/shapes.wmf", 128, 64, model::kDefaultThreshold, false},
      {data + "/metafile/mixed.emf", 320, 240, 9000000, false},
      {data + "/metafile/mixed.wmf", 200, 104, model::kDefaultThreshold, true},
      // Each way of dithering, and pictures the toolkit's readers read.
      {m_folder.filePath("photo.bmp"), 100, 56, model::kDefaultThreshold, false,
       model::Dither::kFloydSteinberg},
      {m_folder.filePath("photo.bmp"), 320, 240, 500000, true, model::Dither::kFloydSteinberg},
      {m_folder.filePath("photo.bmp"), 84, 48, 9000000, false, model::Dither::kAtkinson},
      {m_folder.filePath("photo.bmp"), 128, 64, model::kDefaultThreshold, true,
       model::Dither::kBayer4},
      {m_folder.filePath("photo.bmp"), 84, 48, 1000000, false, model::Dither::kBayer8},
      {data + "/formats/magick.jpg", 24, 16, model::kDefaultThreshold, false,
       model::Dither::kFloydSteinberg},
      {data + "/formats/magick.png", 96, 64, model::kDefaultThreshold, false,
       model::Dither::kAtkinson},
      {data + "/formats/magick.gif", 48, 32, model::kDefaultThreshold, false},
      {data + "/metafile/shapes.svg", 128, 64, model::kDefaultThreshold, false,
       model::Dither::kBayer8},
  };
  for (const auto& c : cases) {
    const std::string what = c.file.toStdString() + " " + std::to_string(c.w) + "x" +
                             std::to_string(c.h) + " " + std::to_string(c.threshold) +
                             (c.invert ? " inverted " : " ") +
                             std::string(model::DitherName(c.dither));
    const model::PixelStore board = Imported(c.file, c.w, c.h, c.threshold, c.invert, c.dither);
    QStringList arguments{"convert",     c.file,
                          "--size",      QString("%1x%2").arg(c.w).arg(c.h),
                          "--threshold", QString::number(c.threshold)};
    if (c.invert) arguments << "--invert";
    // The default is left out: it must be the threshold alone.
    if (c.dither != model::Dither::kThreshold)
      arguments << "-d" << QString::fromUtf8(model::DitherName(c.dither));
    for (const model::Layout layout : {model::Layout::PageLsb, model::Layout::RowsMsb}) {
      model::OutputOptions options;
      options.layout = layout;
      const std::string expected = model::BuildFileText(board, c.w, c.h, options);
      const Result run =
          Dotwright(arguments + QStringList{"-l", QString::fromUtf8(model::LayoutName(layout))});
      EXPECT_EQ(run.status, 0) << what << ": " << run.err.toStdString();
      EXPECT_EQ(run.out.toStdString(), expected) << what;
    }
    // Not a blank board: the picture made a difference.
    int set = 0;
    for (int y = 0; y < c.h; ++y)
      for (int x = 0; x < c.w; ++x) set += board.Get(x, y);
    EXPECT_GT(set, 0) << what;
    EXPECT_LT(set, c.w * c.h) << what;
  }
}

}  // namespace
