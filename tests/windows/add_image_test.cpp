#include "windows/AddImage.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "board/board.h"
#include "model/bitmap.h"
#include "model/colour.h"
#include "model/conversion.h"
#include "model/dither.h"
#include "picture/loader.h"
#include "picture/picture.h"
#include "tests/picture/bmp_builder.h"
#include "tests/support/raster_text.h"
#include "tests/windows/support.h"
#include "windows/Application.h"
#include "windows/BoardImage.h"
#include "windows/Controls.h"
#include "windows/RasterImage.h"
#include "windows/SpinEdit.h"
#include "windows/Unit1.h"

namespace {

using bmptest::Bmp24;
using model::Colour;
using windowstest::ApplySize;
using windowstest::Click;
using windowstest::ClickAt;
using windowstest::WithErrorBox;
using windowstest::WithModal;

constexpr Colour kRed = model::Rgb(255, 0, 0);
constexpr Colour kGrey127 = model::Rgb(127, 127, 127);  // 2048383: dark at 2074602
constexpr Colour kGrey128 = model::Rgb(128, 128, 128);  // 2097152: bright at 2074602

// White, black, pure red, grey 127 and grey 128 in turn along the diagonals. At the default
// threshold black, red and grey 127 are dark.
Colour Diagonals(int x, int y) {
  constexpr Colour kCycle[] = {model::kWhite, model::kBlack, kRed, kGrey127, kGrey128};
  return kCycle[(x + y) % 5];
}
bool DiagonalDark(int x, int y) {
  return (x + y) % 5 == 1 || (x + y) % 5 == 2 || (x + y) % 5 == 3;
}

const testsupport::Legend kLegend = {
    {model::kBlack, '#'}, {model::kWhite, ' '}, {kRed, 'r'}, {kGrey127, '7'}, {kGrey128, '8'}};

// Black where `dark` holds inside the top-left w x h, white elsewhere.
std::function<Colour(int, int)> TwoColour(int w, int h, const std::function<bool(int, int)>& dark) {
  return [=](int x, int y) { return x < w && y < h && dark(x, y) ? model::kBlack : model::kWhite; };
}

std::vector<std::uint32_t> Pixels(const model::Canvas& canvas) {
  return {canvas.Bits(), canvas.Bits() + canvas.Width() * canvas.Height()};
}

// Every pixel of the store: set exactly where `set` holds.
testing::AssertionResult StoreMatches(const std::function<bool(int, int)>& set) {
  int wrong = 0;
  std::string first;
  for (int y = 0; y < model::PixelStore::kRows; ++y) {
    for (int x = 0; x < model::PixelStore::kColumns; ++x) {
      const int expected = set(x, y) ? 1 : 0;
      if (Form1->Store().Get(x, y) == expected) continue;
      if (wrong++ == 0) first = std::to_string(x) + "," + std::to_string(y);
    }
  }
  if (wrong == 0) return testing::AssertionSuccess();
  return testing::AssertionFailure() << wrong << " store pixels differ, the first at " << first;
}

// What a view shows on screen, as its frame draws it with the view inside, pixel for pixel over
// the view's whole size.
testing::AssertionResult ViewShows(QWidget* view, const std::function<Colour(int, int)>& expected) {
  const QImage shown = view->parentWidget()->grab(view->geometry()).toImage();
  if (shown.size() != view->size()) return testing::AssertionFailure() << "grabbed a wrong size";
  for (int y = 0; y < shown.height(); ++y) {
    for (int x = 0; x < shown.width(); ++x) {
      const Colour c = ToColour(shown.pixelColor(x, y));
      if (c != expected(x, y)) {
        return testing::AssertionFailure() << "at " << x << "," << y << " shows " << std::hex << c
                                           << " instead of " << expected(x, y);
      }
    }
  }
  return testing::AssertionSuccess();
}

// Whether the store pixel's cell on the board at scale 4 shows it set.
bool CellShowsSet(int x, int y) {
  return Form1->Surface().Pixel(x * 4 + 2, y * 4 + 2) == board::kSetColour;
}

// Sets a picture pixel with a left click on its cell (scale 4).
void Paint(int x, int y) {
  ClickAt(Form1->Image1, {x * 4 + 2, y * 4 + 2});
}

class AddImage : public windowstest::FormsTest {
 protected:
  // Writes a file into the test's own folder; its full name.
  QString Write(const QString& name, const std::vector<std::uint8_t>& bytes) {
    const QString path = m_folder.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    return path;
  }

  // Makes "Открыть" pick `path`, as the user would in the file-open dialog; counts the picks.
  void Choose(const QString& path) {
    Form_AddImage->ChooseFile = [this, path]() -> std::optional<QString> {
      ++m_picks;
      return path;
    };
  }

  // Opens the dialog with "Картинка" and runs `inside` while it is up.
  static void InDialog(const std::function<void()>& inside) {
    WithModal([] { Click(Form1->SpeedButton2); },
              [&](QWidget* modal) {
                ASSERT_EQ(modal, Form_AddImage);
                inside();
              });
  }

  QTemporaryDir m_folder;
  int m_picks = 0;
};

TEST_F(AddImage, ControlsCarryTheirTextsHintsAndPlaces) {
  TForm_AddImage* d = Form_AddImage;
  EXPECT_EQ(d->windowTitle(), "Добавление картинки");
  EXPECT_EQ(d->size(), QSize(669, 408));
  EXPECT_EQ(d->minimumSize(), d->maximumSize());
  EXPECT_TRUE(d->isModal());
  EXPECT_EQ(d->font().pixelSize(), 11);
  const struct {
    QPushButton* button;
    const char* text;
    const char* hint;
    QRect geometry;
    bool icon;
  } buttons[] = {
      {d->BitBtn1, "Открыть", "Открыть точечный рисунок", {104, 272, 81, 25}, true},
      {d->BitBtn2,
       "Преобразовать",
       "Преобразовать рисунок в монохромный",
       {264, 272, 121, 25},
       true},
      {d->Button10, "норма", "", {168, 368, 41, 17}, false},
      {d->BitBtn3, "Применить", "", {472, 368, 91, 25}, true},
      {d->BitBtn4, "Отмена", "", {576, 368, 75, 25}, true},
  };
  for (const auto& b : buttons) {
    EXPECT_EQ(b.button->text(), QString(b.text));
    EXPECT_EQ(b.button->toolTip(), QString(b.hint)) << b.text;
    EXPECT_EQ(b.button->geometry(), b.geometry) << b.text;
    EXPECT_EQ(!b.button->icon().isNull(), b.icon) << b.text;
    EXPECT_EQ(b.button->isDefault(), b.button == d->BitBtn3) << b.text;
  }
  EXPECT_EQ(d->Label4->text(), "Граница чёрного и белого");
  EXPECT_EQ(d->Label4->pos(), QPoint(48, 320));
  EXPECT_EQ(d->Label3->text(), "0000000");
  EXPECT_EQ(d->Label3->pos(), QPoint(168, 354));
  // The slider lies over that label and hides it.
  EXPECT_EQ(d->childAt(d->Label3->geometry().center()), d->TrackBar1);

  QSlider* slider = d->TrackBar1;
  EXPECT_EQ(slider->geometry(), QRect(8, 336, 209, 33));
  EXPECT_EQ(slider->orientation(), Qt::Horizontal);
  EXPECT_EQ(slider->minimum(), 0);
  EXPECT_EQ(slider->maximum(), 16777216);
  EXPECT_EQ(slider->value(), 2074602);
  EXPECT_EQ(slider->tickPosition(), QSlider::NoTicks);
  slider->setFocus();
  QTest::keyClick(slider, Qt::Key_Right);
  EXPECT_EQ(slider->value(), 2074603);
  QTest::keyClick(slider, Qt::Key_PageUp);
  EXPECT_EQ(slider->value(), 2074605);

  EXPECT_EQ(d->CheckBox1->text(), "Инвертировать цвета");
  EXPECT_EQ(d->CheckBox1->geometry(), QRect(216, 336, 137, 17));
  EXPECT_FALSE(d->CheckBox1->isChecked());

  // The way to black and white, under the check box, clear of the other controls.
  QComboBox* methods = d->ComboBox1;
  EXPECT_EQ(methods->geometry(), QRect(216, 372, 137, 21));
  QStringList items;
  for (int i = 0; i < methods->count(); ++i) items << methods->itemText(i);
  EXPECT_EQ(items, QStringList({"Порог", "Флойд–Стейнберг", "Аткинсон", "Байер 4×4", "Байер 8×8"}));
  EXPECT_EQ(methods->currentIndex(), 0);
  EXPECT_EQ(d->Dither(), model::Dither::kThreshold);
  EXPECT_FALSE(methods->toolTip().isEmpty());
  for (QWidget* other : d->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (other == methods || !other->isVisibleTo(d)) continue;
    EXPECT_FALSE(other->geometry().intersects(methods->geometry()))
        << other->objectName().toStdString();
  }

  EXPECT_EQ(d->Panel1->geometry(), QRect(8, 8, 320, 240));
  EXPECT_EQ(d->Panel2->geometry(), QRect(336, 8, 320, 240));
  EXPECT_EQ(d->Image1->parentWidget(), d->Panel1);
  EXPECT_EQ(d->Image3->parentWidget(), d->Panel2);
  EXPECT_EQ(d->Image_buffer->geometry(), QRect(328, 120, 320, 240));
  EXPECT_TRUE(d->Image_buffer->isHidden());
  for (const model::Canvas* raster : {&d->Scratch(), &d->Preview()}) {
    EXPECT_EQ(raster->Width(), 320);
    EXPECT_EQ(raster->Height(), 240);
    EXPECT_EQ(Pixels(*raster), std::vector<std::uint32_t>(320 * 240, 0xFFFFFFFF));
  }
  EXPECT_EQ(d->SourcePicture(), nullptr);
}

TEST_F(AddImage, EachOpeningCentresBothViewsForTheCurrentSize) {
  // Black left half, white right half: stretched, it stays half and half.
  Choose(Write("halves.bmp",
               Bmp24(2, 1, [](int x, int) { return x == 0 ? model::kBlack : model::kWhite; })));
  InDialog([] { Click(Form_AddImage->BitBtn1); });
  const struct {
    int w, h;
    QRect place;
  } sizes[] = {
      {84, 48, {118, 96, 84, 48}},    {320, 240, {0, 0, 320, 240}}, {4, 8, {158, 116, 4, 8}},
      {100, 16, {110, 112, 100, 16}}, {84, 48, {118, 96, 84, 48}},
  };
  for (const auto& s : sizes) {
    ApplySize(s.w, s.h);
    InDialog([&] {
      EXPECT_EQ(Form_AddImage->GeometryWidth(), s.w);
      EXPECT_EQ(Form_AddImage->GeometryHeight(), s.h);
      EXPECT_EQ(Form_AddImage->GeometryScale(), 4);
      EXPECT_EQ(Form_AddImage->Image1->geometry(), s.place) << s.w << "x" << s.h;
      EXPECT_EQ(Form_AddImage->Image3->geometry(), s.place) << s.w << "x" << s.h;
      EXPECT_TRUE(
          ViewShows(Form_AddImage->Image1,
                    [&](int x, int) { return x < s.w / 2 ? model::kBlack : model::kWhite; }))
          << s.w << "x" << s.h;
      QTest::keyClick(Form_AddImage, Qt::Key_Escape);
    });
  }
}

TEST_F(AddImage, SetGeometryKeepsTheSizeAndCentresBothViews) {
  const struct {
    int w, h, scale;
    QRect place;
  } sizes[] = {
      {84, 48, 4, {118, 96, 84, 48}},  {320, 240, 1, {0, 0, 320, 240}},
      {4, 8, 8, {158, 116, 4, 8}},     {100, 16, 2, {110, 112, 100, 16}},
      {92, 40, 4, {114, 100, 92, 40}},
  };
  TForm_AddImage* d = Form_AddImage;
  for (const auto& s : sizes) {
    d->SetGeometry(static_cast<std::uint16_t>(s.w), static_cast<std::uint16_t>(s.h),
                   static_cast<std::uint8_t>(s.scale));
    EXPECT_EQ(d->GeometryWidth(), s.w);
    EXPECT_EQ(d->GeometryHeight(), s.h);
    EXPECT_EQ(d->GeometryScale(), s.scale);
    EXPECT_EQ(d->Image1->geometry(), s.place) << s.w << "x" << s.h;
    EXPECT_EQ(d->Image3->geometry(), s.place) << s.w << "x" << s.h;
  }
}

TEST_F(AddImage, EnterAppliesWhereverTheFocusIsEscAndTheCloseBoxCancel) {
  Choose(Write("never.bmp", {}));
  TForm_AddImage* d = Form_AddImage;
  const struct {
    const char* how;
    std::function<void()> close;
    bool applied;
  } ways[] = {
      {"Esc", [] { windowstest::KeyInWindow(Form_AddImage, Qt::Key_Escape); }, false},
      {"close box", [d] { d->close(); }, false},
      {"Отмена", [d] { Click(d->BitBtn4); }, false},
      {"Применить", [d] { Click(d->BitBtn3); }, true},
      {"Enter", [] { windowstest::KeyInWindow(Form_AddImage, Qt::Key_Return); }, true},
      {"Enter on Открыть",
       [d] {
         d->BitBtn1->setFocus();
         QTest::keyClick(d->BitBtn1, Qt::Key_Return);
       },
       true},
      {"Enter on норма",
       [d] {
         d->TrackBar1->setValue(7);
         d->Button10->setFocus();
         QTest::keyClick(d->Button10, Qt::Key_Enter);
       },
       true},
      {"Enter on the check box",
       [d] {
         d->CheckBox1->setFocus();
         QTest::keyClick(d->CheckBox1, Qt::Key_Return);
       },
       true},
      {"Enter on the drop-down",
       [d] {
         d->ComboBox1->setFocus();
         QTest::keyClick(d->ComboBox1, Qt::Key_Return);
       },
       true},
  };
  for (const auto& way : ways) {
    Paint(5, 6);
    ASSERT_TRUE(Form1->Store().Get(5, 6));
    InDialog([&] {
      way.close();
      EXPECT_FALSE(d->isVisible()) << way.how;
    });
    EXPECT_EQ(d->result(), way.applied ? QDialog::Accepted : QDialog::Rejected) << way.how;
    // Nothing was ever converted: applying clears the pixel.
    EXPECT_EQ(Form1->Store().Get(5, 6), way.applied ? 0 : 1) << way.how;
    EXPECT_EQ(CellShowsSet(5, 6), !way.applied) << way.how;
  }
  // Enter pressed neither "Открыть" nor "норма", nor ticked the box, nor changed the method.
  EXPECT_EQ(m_picks, 0);
  EXPECT_EQ(d->TrackBar1->value(), 7);
  EXPECT_FALSE(d->CheckBox1->isChecked());
  EXPECT_EQ(d->ComboBox1->currentIndex(), 0);
}

TEST_F(AddImage, OpenConvertApplyABitmap) {
  Choose(Write("diagonals.bmp", Bmp24(84, 48, Diagonals)));
  Paint(90 / 4, 0);  // inside 84 x 48: overwritten by the conversion
  InDialog([] {
    Click(Form_AddImage->BitBtn1);
    ASSERT_NE(Form_AddImage->SourcePicture(), nullptr);
    EXPECT_EQ(Form_AddImage->SourcePicture()->Width(), 84);
    EXPECT_EQ(Form_AddImage->SourcePicture()->Height(), 48);
    // Shown at its own size, 1:1; nothing is converted yet.
    EXPECT_TRUE(ViewShows(Form_AddImage->Image1, Diagonals));
    EXPECT_TRUE(ViewShows(Form_AddImage->Image3, [](int, int) { return model::kWhite; }));

    Click(Form_AddImage->BitBtn2);
    EXPECT_TRUE(testsupport::RasterMatches(Form_AddImage->Scratch(), 0, 0,
                                           {" #r78 #r", "#r78 #r7", "r78 #r78"}, kLegend));
    EXPECT_TRUE(testsupport::WholeRasterMatches(
        Form_AddImage->Scratch(),
        [](int x, int y) { return x < 84 && y < 48 ? Diagonals(x, y) : model::kWhite; }, kLegend));
    EXPECT_TRUE(testsupport::RasterMatches(Form_AddImage->Preview(), 0, 0,
                                           {" ###  ", "###  #", "##  ##"}, kLegend));
    EXPECT_TRUE(testsupport::WholeRasterMatches(Form_AddImage->Preview(),
                                                TwoColour(84, 48, DiagonalDark), kLegend));
    EXPECT_TRUE(ViewShows(Form_AddImage->Image3, TwoColour(84, 48, DiagonalDark)));

    Click(Form_AddImage->BitBtn3);
    EXPECT_FALSE(Form_AddImage->isVisible());
  });
  EXPECT_EQ(Form_AddImage->result(), QDialog::Accepted);
  EXPECT_TRUE(StoreMatches([](int x, int y) { return x < 84 && y < 48 && DiagonalDark(x, y); }));
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 84; ++x) ASSERT_EQ(CellShowsSet(x, y), DiagonalDark(x, y)) << x << "," << y;
}

TEST_F(AddImage, TheSliderAndTheCheckBoxSetThresholdAndInversion) {
  // Columns of grey 127, grey 128, white and black.
  constexpr Colour kColumns[] = {kGrey127, kGrey128, model::kWhite, model::kBlack};
  Choose(Write("columns.bmp", Bmp24(4, 1, [&](int x, int) { return kColumns[x]; })));
  const struct {
    int threshold;
    bool invert;
    const char* row;  // the first four preview pixels
  } cases[] = {
      {2074602, false, "#  #"},  {2048383, false, "#  #"},  {2048382, false, "   #"},
      {2097152, false, "## #"},  {2097151, false, "#  #"},  {16581374, false, "## #"},
      {16581375, false, "####"}, {16777216, false, "####"}, {16777216, true, "    "},
      {0, false, "   #"},        {0, true, "### "},         {2074602, true, " ## "},
  };
  InDialog([&] {
    TForm_AddImage* d = Form_AddImage;
    Click(d->BitBtn1);
    for (const auto& c : cases) {
      const std::vector<std::uint32_t> before = Pixels(d->Preview());
      d->TrackBar1->setValue(c.threshold);  // as a drag of the thumb leaves it
      if (d->CheckBox1->isChecked() != c.invert) Click(d->CheckBox1);
      ASSERT_EQ(d->CheckBox1->isChecked(), c.invert);
      // Neither does anything until "Преобразовать".
      EXPECT_EQ(Pixels(d->Preview()), before) << c.threshold;
      Click(d->BitBtn2);
      // Each column stretched to 21 pixels, every row alike.
      EXPECT_TRUE(testsupport::WholeRasterMatches(
          d->Preview(),
          [&](int x, int y) {
            if (x >= 84 || y >= 48) return model::kWhite;
            return c.row[x / 21] == '#' ? model::kBlack : model::kWhite;
          },
          kLegend))
          << c.threshold << (c.invert ? " inverted" : "");
    }
  });
}

TEST_F(AddImage, NormaSetsTheSliderBackOnly) {
  InDialog([] {
    TForm_AddImage* d = Form_AddImage;
    for (const int from : {0, 5, 16777216}) {
      d->TrackBar1->setValue(from);
      Click(d->Button10);
      EXPECT_EQ(d->TrackBar1->value(), 2074602);
    }
    d->TrackBar1->setValue(5);
    d->Button10->setFocus();
    QTest::keyClick(d->Button10, Qt::Key_Space);
    EXPECT_EQ(d->TrackBar1->value(), 2074602);
    EXPECT_FALSE(d->CheckBox1->isChecked());
    EXPECT_EQ(Pixels(d->Preview()), std::vector<std::uint32_t>(320 * 240, 0xFFFFFFFF));
    EXPECT_TRUE(d->isVisible());
  });
}

// Each method of the drop-down converts as the model does with the slider and the check box; the
// choice, like them, waits for "Преобразовать" and stays for the next opening. "Порог" is the
// threshold alone.
TEST_F(AddImage, TheDropDownChoosesTheWayToBlackAndWhite) {
  // A grey ramp across, a little lighter downwards.
  Choose(Write("ramp.bmp", Bmp24(84, 48, [](int x, int y) {
                 const auto g = static_cast<std::uint8_t>(std::min(255, x * 3 + y));
                 return model::Rgb(g, g, g);
               })));
  TForm_AddImage* d = Form_AddImage;
  std::vector<std::uint32_t> byMethod[std::size(model::kDithers)];
  InDialog([&] {
    Click(d->BitBtn1);
    for (int threshold : {model::kDefaultThreshold, 500000})
      for (bool invert : {false, true})
        for (int i = 0; i < d->ComboBox1->count(); ++i) {
          const model::Dither method = model::kDithers[i];
          d->TrackBar1->setValue(threshold);
          if (d->CheckBox1->isChecked() != invert) Click(d->CheckBox1);
          const std::vector<std::uint32_t> before = Pixels(d->Preview());
          d->ComboBox1->setCurrentIndex(i);
          EXPECT_EQ(d->Dither(), method);
          EXPECT_EQ(Pixels(d->Preview()), before);
          Click(d->BitBtn2);
          model::Canvas expected(320, 240);
          model::DitherInto(d->Scratch(), expected, 84, 48, threshold, invert, method);
          EXPECT_TRUE(testsupport::WholeRasterMatches(
              d->Preview(),
              [&](int x, int y) { return x < 84 && y < 48 ? expected.Pixel(x, y) : model::kWhite; },
              kLegend))
              << model::DitherName(method) << " " << threshold << " " << invert;
          if (threshold == model::kDefaultThreshold && !invert) byMethod[i] = Pixels(d->Preview());
        }
    // "Порог" is the old conversion.
    model::Canvas thresholded(320, 240);
    model::ThresholdInto(d->Scratch(), thresholded, 84, 48, model::kDefaultThreshold, false);
    EXPECT_EQ(byMethod[0], Pixels(thresholded));
    // The methods differ from one another on a ramp.
    for (std::size_t i = 0; i < std::size(byMethod); ++i)
      for (std::size_t j = i + 1; j < std::size(byMethod); ++j)
        EXPECT_NE(byMethod[i], byMethod[j]) << i << " " << j;
    d->ComboBox1->setCurrentIndex(3);
    QTest::keyClick(d, Qt::Key_Escape);
  });
  InDialog([&] {
    EXPECT_EQ(d->ComboBox1->currentIndex(), 3);
    QTest::keyClick(d, Qt::Key_Escape);
  });
}

TEST_F(AddImage, ConvertingWithNoFileThresholdsTheWhiteScratchRaster) {
  const struct {
    int threshold;
    bool invert;
    Colour inside;
  } cases[] = {
      {2074602, false, model::kWhite},  {2074602, true, model::kBlack},
      {16581374, false, model::kWhite}, {16581375, false, model::kBlack},
      {16581375, true, model::kWhite},  {0, false, model::kWhite},
  };
  ApplySize(100, 16);
  InDialog([&] {
    TForm_AddImage* d = Form_AddImage;
    for (const auto& c : cases) {
      d->TrackBar1->setValue(c.threshold);
      d->CheckBox1->setChecked(c.invert);
      Click(d->BitBtn2);
      EXPECT_TRUE(testsupport::WholeRasterMatches(
          d->Preview(), [&](int x, int y) { return x < 100 && y < 16 ? c.inside : model::kWhite; },
          kLegend))
          << c.threshold << (c.invert ? " inverted" : "");
      EXPECT_TRUE(ViewShows(d->Image3, [&](int, int) { return c.inside; }));
    }
    EXPECT_EQ(Pixels(d->Scratch()), std::vector<std::uint32_t>(320 * 240, 0xFFFFFFFF));
  });
}

TEST_F(AddImage, ApplyingBeforeAnyConversionClearsTheAreaOnly) {
  ApplySize(96, 48);
  for (const auto& [x, y] : {std::pair{0, 0}, {83, 47}, {90, 0}, {95, 47}}) Paint(x, y);
  ApplySize(84, 40);
  InDialog([] { Click(Form_AddImage->BitBtn3); });
  // Only the 84 x 40 area is written: (83, 47) lies below it.
  EXPECT_TRUE(StoreMatches([](int x, int y) {
    return (x == 83 && y == 47) || (x == 90 && y == 0) || (x == 95 && y == 47);
  }));
}

TEST_F(AddImage, StateIsKeptAcrossOpenings) {
  Choose(Write("diagonals.bmp", Bmp24(84, 48, Diagonals)));
  TForm_AddImage* d = Form_AddImage;
  const picture::Picture* loaded = nullptr;
  std::vector<std::uint32_t> converted;
  InDialog([&] {
    Click(d->BitBtn1);
    loaded = d->SourcePicture();
    d->TrackBar1->setValue(2048382);  // grey 127 is bright too
    Click(d->CheckBox1);
    Click(d->BitBtn2);
    converted = Pixels(d->Preview());
    QTest::keyClick(d, Qt::Key_Escape);
  });
  const auto dark = [](int x, int y) { return (x + y) % 5 == 1 || (x + y) % 5 == 2; };
  EXPECT_TRUE(testsupport::WholeRasterMatches(
      d->Preview(), TwoColour(84, 48, [&](int x, int y) { return !dark(x, y); }), kLegend));

  ApplySize(168, 96);
  InDialog([&] {
    EXPECT_EQ(d->SourcePicture(), loaded);
    EXPECT_EQ(d->TrackBar1->value(), 2048382);
    EXPECT_TRUE(d->CheckBox1->isChecked());
    // Not cleared: the last conversion, in the top-left part of the larger view.
    EXPECT_EQ(Pixels(d->Preview()), converted);
    EXPECT_EQ(d->Image3->geometry(), QRect(76, 72, 168, 96));
    EXPECT_TRUE(ViewShows(d->Image3, [&](int x, int y) {
      return x < 84 && y < 48 && !dark(x, y) ? model::kBlack : model::kWhite;
    }));
    // The picture is stretched to the new size.
    EXPECT_TRUE(ViewShows(d->Image1, [](int x, int y) { return Diagonals(x / 2, y / 2); }));
    windowstest::KeyInWindow(Form_AddImage, Qt::Key_Return);
  });
  // Applied as the last conversion left it: black where it was black, clear elsewhere in 168 x 96.
  EXPECT_TRUE(StoreMatches([&](int x, int y) { return x < 84 && y < 48 && !dark(x, y); }));

  InDialog([&] {
    Click(d->BitBtn2);  // now at 168 x 96
    EXPECT_TRUE(testsupport::WholeRasterMatches(
        d->Preview(), TwoColour(168, 96, [&](int x, int y) { return !dark(x / 2, y / 2); }),
        kLegend));
    QTest::keyClick(d, Qt::Key_Escape);
  });
  EXPECT_TRUE(StoreMatches([&](int x, int y) { return x < 84 && y < 48 && !dark(x, y); }));
}

TEST_F(AddImage, ADrawingThatRunsOutOfMemorySaysSoOnce) {
  // A picture whose drawing runs out of memory, as a metafile's play may.
  class OutOfMemory : public picture::Picture {
   public:
    explicit OutOfMemory(int* draws) : m_draws(draws) {}
    int Width() const override { return 10; }
    int Height() const override { return 10; }
    void StretchDraw(model::Canvas&, const model::Rect&) const override {
      ++*m_draws;
      throw picture::LoadError(picture::kNotEnoughMemory);
    }

   private:
    int* m_draws;
  };
  int draws = 0;
  TForm_AddImage* d = Form_AddImage;
  InDialog([&] {
    const windowstest::ErrorBoxSeen box = WithErrorBox([&] {
      d->SetSourcePicture(std::make_unique<OutOfMemory>(&draws));
      d->Image1->repaint();
    });
    EXPECT_TRUE(box.shown);
    EXPECT_EQ(box.text, "Not enough memory to load the picture.");
    // Painting the view again does not try the drawing again, nor bring the box up again.
    const windowstest::ErrorBoxSeen again = WithErrorBox([&] { d->Image1->repaint(); });
    EXPECT_FALSE(again.shown);
    EXPECT_EQ(draws, 1);
    EXPECT_TRUE(d->isVisible());
  });
}

TEST_F(AddImage, AFailedLoadShowsTheErrorAndChangesNothing) {
  const QString good = Write("diagonals.bmp", Bmp24(84, 48, Diagonals));
  bmptest::BmpSpec twoPlanes;
  twoPlanes.width = 1;
  twoPlanes.height = 1;
  twoPlanes.planes = 2;
  twoPlanes.bits = {0, 0, 0, 0};
  const QString missing = m_folder.filePath("missing.bmp");
  const struct {
    QString file;
    QString shown;
  } cases[] = {
      {missing, "Cannot open file \"" + missing + "\". No such file or directory."},
      {Write("picture.heic", Bmp24(2, 2, Diagonals)), "Unknown picture file extension (.heic)"},
      {Write("picture", Bmp24(2, 2, Diagonals)), "Unknown picture file extension (.)"},
      {Write("short.bmp", {'B', 'M', 0, 0, 0}), "Stream read error."},
      {Write("not a bitmap.bmp", std::vector<std::uint8_t>(64, 'X')), "Bitmap image is not valid."},
      {Write("two planes.bmp", bmptest::BuildBmp(twoPlanes)), "Bitmap image is not valid."},
  };
  Paint(100 / 4, 1);
  TForm_AddImage* d = Form_AddImage;
  InDialog([&] {
    Choose(good);
    Click(d->BitBtn1);
    d->CheckBox1->setChecked(true);
    Click(d->BitBtn2);
    const picture::Picture* loaded = d->SourcePicture();
    const QImage source = d->Image1->grab().toImage();
    const std::vector<std::uint32_t> scratch = Pixels(d->Scratch());
    const std::vector<std::uint32_t> preview = Pixels(d->Preview());
    const auto store = Form1->Store().Raw();
    const QImage board = Form1->Image1->grab(QRect(0, 0, 400, 200)).toImage();
    for (const auto& c : cases) {
      Choose(c.file);
      const windowstest::ErrorBoxSeen box = WithErrorBox([&] { Click(d->BitBtn1); });
      EXPECT_TRUE(box.shown) << c.file.toStdString();
      EXPECT_EQ(box.text, c.shown);
      EXPECT_EQ(box.icon, QMessageBox::Critical);
      EXPECT_EQ(box.title, "windows_tests");  // the executable's name
      EXPECT_EQ(box.buttons, 1);
      EXPECT_TRUE(box.okButton);
      // The dialog is still up, with all it had.
      EXPECT_TRUE(d->isVisible());
      EXPECT_EQ(QApplication::activeModalWidget(), d);
      EXPECT_EQ(d->SourcePicture(), loaded);
      EXPECT_EQ(d->Image1->grab().toImage(), source);
      EXPECT_EQ(Pixels(d->Scratch()), scratch);
      EXPECT_EQ(Pixels(d->Preview()), preview);
      EXPECT_TRUE(Form1->Store().Raw() == store);
      EXPECT_EQ(Form1->Image1->grab(QRect(0, 0, 400, 200)).toImage(), board);
    }
    // The dialog goes on working: the loaded picture converts and applies.
    d->CheckBox1->setChecked(false);
    Click(d->BitBtn2);
    Click(d->BitBtn3);
  });
  EXPECT_EQ(m_picks, 7);
  EXPECT_TRUE(StoreMatches([](int x, int y) { return x < 84 && y < 48 && DiagonalDark(x, y); }));
}

// A loaded picture that says, through `held`, whether anything still holds it.
class Watched : public picture::Picture {
 public:
  Watched(std::unique_ptr<picture::Picture> inner, std::shared_ptr<bool> held)
      : m_inner(std::move(inner)), m_held(std::move(held)) {}
  ~Watched() override { *m_held = false; }
  int Width() const override { return m_inner->Width(); }
  int Height() const override { return m_inner->Height(); }
  void StretchDraw(model::Canvas& canvas, const model::Rect& dest) const override {
    m_inner->StretchDraw(canvas, dest);
  }

 private:
  std::unique_ptr<picture::Picture> m_inner;
  std::shared_ptr<bool> m_held;
};

TEST_F(AddImage, ALargePictureIsLetGoBeforeTheNextLoadAndReadAgainWhenThatFails) {
  // 3000 x 2900 top-down, its top 40 rows red and the rest cut short: a small file, but a
  // 35 MB picture, over what is kept through a load.
  bmptest::BmpSpec spec;
  spec.width = 3000;
  spec.height = -2900;
  for (int i = 0; i < 3000 * 40; ++i) spec.bits.insert(spec.bits.end(), {0, 0, 255});
  ASSERT_GT(std::uint64_t{3000} * 2900 * 4, TForm_AddImage::kKeptPictureBytes);
  const QString small = Write("small.bmp", Bmp24(84, 48, Diagonals));
  ASSERT_LT(std::uint64_t{84} * 48 * 4, TForm_AddImage::kKeptPictureBytes);
  const QString large = m_folder.filePath("large.bmp");
  const QString missing = m_folder.filePath("missing.bmp");
  const QString broken = Write("broken.bmp", std::vector<std::uint8_t>(64, 'X'));
  const QString missingText = "Cannot open file \"" + missing + "\". No such file or directory.";

  enum class Before { Loaded, Changed, RemovedDuringTheLoad };
  const struct {
    const char* what;
    QString first;
    Before before;
    QString second;
    QString error;     // empty when the second file loads
    bool heldThrough;  // the first picture still held while the second loads
    int loads;         // files read: the first, the second, the first again
    bool keptAfter;    // the first picture object still the source afterwards
  } cases[] = {
      {"small, then missing", small, Before::Loaded, missing, missingText, true, 2, true},
      {"large, then missing", large, Before::Loaded, missing, missingText, false, 3, false},
      {"large, then not a bitmap", large, Before::Loaded, broken, "Bitmap image is not valid.",
       false, 3, false},
      {"large, then small", large, Before::Loaded, small, "", false, 2, false},
      {"large, changed since, then missing", large, Before::Changed, missing, missingText, true, 2,
       true},
      {"large, gone while the next fails", large, Before::RemovedDuringTheLoad, missing,
       missingText, false, 3, false},
  };
  TForm_AddImage* d = Form_AddImage;
  InDialog([&] {
    for (const auto& c : cases) {
      Write("large.bmp", bmptest::BuildBmp(spec));
      std::vector<std::shared_ptr<bool>> pictures;  // one per picture read, true while held
      std::vector<bool> heldDuring;                 // any picture held when each load began
      d->LoadFile = [&](const std::string& fileName) -> std::unique_ptr<picture::Picture> {
        heldDuring.push_back(
            std::any_of(pictures.begin(), pictures.end(), [](const auto& held) { return *held; }));
        if (c.before == Before::RemovedDuringTheLoad && heldDuring.size() == 2) {
          QFile::remove(large);
        }
        auto loaded = picture::LoadPicture(fileName);
        pictures.push_back(std::make_shared<bool>(true));
        return std::make_unique<Watched>(std::move(loaded), pictures.back());
      };
      Choose(c.first);
      Click(d->BitBtn1);
      const picture::Picture* first = d->SourcePicture();
      ASSERT_NE(first, nullptr) << c.what;
      const QSize firstSize(first->Width(), first->Height());
      const QImage shown = d->Image1->grab().toImage();
      if (c.before == Before::Changed) {
        QFile file(large);
        ASSERT_TRUE(file.open(QIODevice::Append));
        file.write("more", 4);
      }

      Choose(c.second);
      const windowstest::ErrorBoxSeen box = WithErrorBox([&] { Click(d->BitBtn1); });
      EXPECT_EQ(box.shown, !c.error.isEmpty()) << c.what;
      if (box.shown) {
        EXPECT_EQ(box.text, c.error) << c.what;
      }
      ASSERT_EQ(static_cast<int>(heldDuring.size()), c.loads) << c.what;
      EXPECT_EQ(heldDuring[1], c.heldThrough) << c.what;
      if (c.loads == 3) {
        EXPECT_FALSE(heldDuring[2]) << c.what;  // read again alone
      }
      EXPECT_EQ(*pictures[0], c.keptAfter) << c.what;
      EXPECT_EQ(d->SourcePicture() == first, c.keptAfter) << c.what;
      if (!c.error.isEmpty() && c.before != Before::RemovedDuringTheLoad) {
        // The picture the user had, shown as before.
        ASSERT_NE(d->SourcePicture(), nullptr) << c.what;
        EXPECT_EQ(QSize(d->SourcePicture()->Width(), d->SourcePicture()->Height()), firstSize)
            << c.what;
        EXPECT_EQ(d->Image1->grab().toImage(), shown) << c.what;
      } else if (c.error.isEmpty()) {
        ASSERT_NE(d->SourcePicture(), nullptr) << c.what;
        EXPECT_EQ(d->SourcePicture()->Width(), 84) << c.what;
      } else {
        // Its file gone, the picture cannot come back: the view is left empty.
        EXPECT_EQ(d->SourcePicture(), nullptr) << c.what;
        const QColor face = d->Panel1->palette().color(QPalette::Window);
        EXPECT_TRUE(ViewShows(d->Image1, [&](int, int) { return ToColour(face); })) << c.what;
      }
    }
    d->LoadFile = [](const std::string& fileName) { return picture::LoadPicture(fileName); };
  });
}

TEST_F(AddImage, AnEmptyFileLoadsAsAnEmptyPictureThatDrawsNothing) {
  TForm_AddImage* d = Form_AddImage;
  InDialog([&] {
    Choose(Write("diagonals.bmp", Bmp24(84, 48, Diagonals)));
    Click(d->BitBtn1);
    Click(d->BitBtn2);  // the scratch raster now holds the picture
    const QImage background = d->Image3->grab().toImage();
    Choose(Write("empty.bmp", {}));
    Click(d->BitBtn1);
    ASSERT_NE(d->SourcePicture(), nullptr);
    EXPECT_TRUE(d->SourcePicture()->Empty());
    // The view shows its frame's background, not the earlier picture.
    const QColor face = d->Panel1->palette().color(QPalette::Window);
    EXPECT_TRUE(ViewShows(d->Image1, [&](int, int) { return ToColour(face); }));
    // Converting thresholds what the scratch raster still holds.
    d->CheckBox1->setChecked(true);
    Click(d->BitBtn2);
    EXPECT_TRUE(testsupport::WholeRasterMatches(
        d->Preview(), TwoColour(84, 48, [](int x, int y) { return !DiagonalDark(x, y); }),
        kLegend));
  });
}

TEST_F(AddImage, ApplyingLeavesTheApplySizeButtonAsItWas) {
  Form1->SpinEdit1->setText("96");  // pending
  ASSERT_TRUE(Form1->SpeedButton12->isEnabled());
  Paint(90 / 4, 0);
  InDialog([] { QTest::keyClick(Form_AddImage, Qt::Key_Escape); });
  // Cancelled: nothing applied, the size still pending.
  EXPECT_EQ(Form1->Geometry().width, 84);
  EXPECT_TRUE(Form1->SpeedButton12->isEnabled());

  Paint(2, 3);
  InDialog([] {
    EXPECT_EQ(Form_AddImage->GeometryWidth(), 84);  // the current size, not the pending one
    Click(Form_AddImage->BitBtn3);
  });
  // The white preview cleared 84 x 48; then the pending width was applied.
  EXPECT_FALSE(Form1->Store().Get(2, 3));
  EXPECT_EQ(Form1->Geometry().width, 96);
  EXPECT_EQ(Form1->windowTitle(), "Dotwright 96x48");
  EXPECT_TRUE(Form1->SpeedButton12->isEnabled());
  Click(Form1->SpeedButton12);
  EXPECT_FALSE(Form1->SpeedButton12->isEnabled());

  // With nothing pending it stays disabled.
  InDialog([] { Click(Form_AddImage->BitBtn3); });
  EXPECT_FALSE(Form1->SpeedButton12->isEnabled());
  EXPECT_EQ(Form1->Geometry().width, 96);
}

// The toolkit's file-open dialog itself: its filter, a typed name, cancelling, a name that does
// not exist, and the folder kept from one use to the next.
TEST_F(AddImage, TheFileOpenDialogTakesATypedName) {
  Write("diagonals.bmp", Bmp24(84, 48, Diagonals));
  const QString folder = m_folder.path();
  TForm_AddImage* d = Form_AddImage;
  // Types a name into the file-open dialog and presses Enter.
  const auto type = [&](const QString& name) {
    return [&, name](QWidget* modal) {
      auto* files = qobject_cast<QFileDialog*>(modal);
      ASSERT_NE(files, nullptr);
      EXPECT_EQ(files->nameFilters(),
                QStringList({
                    "Точечный рисунок (*.bmp)",
                    "Все рисунки (*.bmp *.ico *.wmf *.emf *.png *.jpg *.jpeg *.gif *.webp *.tif "
                    "*.tiff *.tga *.pbm *.pgm *.ppm *.xbm *.svg)",
                    "Значок (*.ico)",
                    "Метафайл (*.wmf *.emf)",
                    "Рисунок PNG (*.png)",
                    "Рисунок JPEG (*.jpg *.jpeg)",
                    "Рисунок GIF (*.gif)",
                    "Рисунок WebP (*.webp)",
                    "Рисунок TIFF (*.tif *.tiff)",
                    "Рисунок TGA (*.tga)",
                    "Рисунок PBM, PGM, PPM (*.pbm *.pgm *.ppm)",
                    "Рисунок XBM (*.xbm)",
                    "Рисунок SVG (*.svg)",
                }));
      EXPECT_EQ(files->selectedNameFilter(), "Точечный рисунок (*.bmp)");
      EXPECT_EQ(files->fileMode(), QFileDialog::AnyFile);
      EXPECT_EQ(files->acceptMode(), QFileDialog::AcceptOpen);
      EXPECT_EQ(files->directory().absolutePath(), folder);
      auto* edit = files->findChild<QLineEdit*>("fileNameEdit");
      ASSERT_NE(edit, nullptr);
      QTest::keyClicks(edit, name);
      QTest::keyClick(edit, Qt::Key_Return);
      EXPECT_FALSE(files->isVisible());
    };
  };
  InDialog([&] {
    // The first use opens in the current folder; go to the test's.
    WithModal([&] { Click(d->BitBtn1); },
              [&](QWidget* modal) {
                auto* files = qobject_cast<QFileDialog*>(modal);
                ASSERT_NE(files, nullptr);
                files->setDirectory(folder);
                type("diagonals.bmp")(modal);
              });
    ASSERT_NE(d->SourcePicture(), nullptr);
    EXPECT_EQ(d->SourcePicture()->Width(), 84);
    const picture::Picture* loaded = d->SourcePicture();
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);

    // Cancelled: nothing changes.
    WithModal([&] { Click(d->BitBtn1); },
              [&](QWidget* modal) {
                EXPECT_EQ(qobject_cast<QFileDialog*>(modal)->directory().absolutePath(), folder);
                QTest::keyClick(modal, Qt::Key_Escape);
              });
    EXPECT_EQ(d->SourcePicture(), loaded);

    // A typed name that does not exist reaches the loader, which reports it.
    const windowstest::ErrorBoxSeen box =
        WithErrorBox([&] { WithModal([&] { Click(d->BitBtn1); }, type("nowhere.bmp")); });
    EXPECT_EQ(box.text,
              "Cannot open file \"" + folder + "/nowhere.bmp\". No such file or directory.");
    EXPECT_EQ(d->SourcePicture(), loaded);
    EXPECT_TRUE(d->isVisible());
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
  });
}

}  // namespace
