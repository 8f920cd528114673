#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "model/canvas.h"
#include "picture/decoders.h"
#include "picture/metafile/emf_records.h"
#include "picture/metafile/gdi.h"
#include "picture/metafile/metafile_picture.h"
#include "picture/metafile/wmf_records.h"
#include "tests/picture/metafile_builder.h"
#include "tests/picture/picture_text.h"
#include "tests/support/raster_text.h"

namespace {

using mftest::Bytes;
using mftest::EmfBuilder;
using mftest::PatternBrush;
using mftest::Put16;
using mftest::Put32;
using mftest::WmfBuilder;
using testsupport::RasterMatches;

using pictest::kBlue;
using pictest::kGreen;
using pictest::kRed;
using pictest::kStale;

const testsupport::Legend kLegend = pictest::PictureLegend();

using namespace picture::emf;
namespace wmf = picture::wmf;
using picture::gdi::kPsNull;
using picture::gdi::kRgnCopy;

model::Canvas Play(const Bytes& file, int width, int height) {
  model::Canvas canvas(width, height);
  canvas.Fill(kStale);
  picture::DecodeEmf(file)->StretchDraw(canvas, {0, 0, width, height});
  return canvas;
}

// A brush of `colour` selected as object 1.
EmfBuilder& RedBrush(EmfBuilder& emf, model::Colour colour = kRed) {
  return emf.Brush(1, 0, colour).Select(1);
}

Bytes Region(const std::vector<std::array<int, 4>>& rects) {
  Bytes out;
  for (std::uint32_t v : {32u, 1u, static_cast<std::uint32_t>(rects.size()),
                          static_cast<std::uint32_t>(rects.size() * 16), 0u, 0u, 0u, 0u}) {
    Put32(out, v);
  }
  for (const auto& r : rects) {
    for (int v : r) Put32(out, static_cast<std::uint32_t>(v));
  }
  return out;
}

// --- Shapes, pens and mapping ----------------------------------------------------------------

TEST(EmfPlayer, RectangleIsOutlinedOnItsOutermostPixelsAndFilledInside) {
  EmfBuilder emf(8, 6);
  RedBrush(emf).Rectangle(1, 1, 6, 5);
  EXPECT_TRUE(RasterMatches(Play(emf.Build(), 8, 6), 0, 0,
                            {"        ",  //
                             " #####  ",  //
                             " #rrr#  ",  //
                             " #rrr#  ",  //
                             " #####  ",  //
                             "        "},
                            kLegend));
}

TEST(EmfPlayer, RectangleWithoutPenIsOnePixelSmaller) {
  EmfBuilder emf(8, 6);
  RedBrush(emf).Select(kNullPen).Rectangle(1, 1, 6, 5);
  EXPECT_TRUE(RasterMatches(Play(emf.Build(), 8, 6), 0, 0,
                            {"        ",  //
                             " rrrr   ",  //
                             " rrrr   ",  //
                             " rrrr   ",  //
                             "        ",  //
                             "        "},
                            kLegend));
}

TEST(EmfPlayer, LineStopsBeforeItsEndPoint) {
  EmfBuilder emf(8, 6);
  emf.MoveTo(1, 1).LineTo(6, 1).MoveTo(1, 3).LineTo(1, 5).LineTo(4, 5);
  EXPECT_TRUE(RasterMatches(Play(emf.Build(), 8, 6), 0, 0,
                            {"        ",  //
                             " #####  ",  //
                             "        ",  //
                             " #      ",  //
                             " #      ",  //
                             " ###    "},
                            kLegend));
}

TEST(WmfPlayer, RecordsStoreTheirFieldsLastFirst) {
  WmfBuilder wmf(0, 0, 8, 6);
  wmf.Brush(0, kRed).Select(0).Rectangle(1, 1, 6, 5).MoveTo(0, 0).LineTo(3, 0);
  model::Canvas canvas(8, 6);
  picture::DecodeWmf(wmf.Build())->StretchDraw(canvas, {0, 0, 8, 6});
  EXPECT_TRUE(RasterMatches(canvas, 0, 0,
                            {"###     ",  //
                             " #####  ",  //
                             " #rrr#  ",  //
                             " #rrr#  ",  //
                             " #####  ",  //
                             "        "},
                            kLegend));
}

TEST(EmfPlayer, MappingModesPlaceTheSameRectangle) {
  // Each variant maps its logical rectangle onto device pixels (1, 2)-(5, 5).
  struct Case {
    const char* name;
    std::function<void(EmfBuilder&)> setUp;
    std::array<int, 4> box;
  };
  const std::vector<Case> cases = {
      {"text", [](EmfBuilder&) {}, {1, 2, 5, 5}},
      {"anisotropic, y up",
       [](EmfBuilder& e) {
         e.Record(kSetMapMode, {8})
             .Record(kSetWindowExtEx, {80, 60})
             .Record(kSetViewportExtEx, {8, EmfBuilder::U(-6)})
             .Record(kSetViewportOrgEx, {0, 6});
       },
       {10, 10, 50, 40}},
      {"window origin",
       [](EmfBuilder& e) {
         e.Record(kSetWindowOrgEx, {100, 200});
       },
       {101, 202, 105, 205}},
      {"low metric (0.1 mm, y up)",
       [](EmfBuilder& e) { e.Record(kSetMapMode, {2}); },
       {10, -20, 50, -50}},
      {"isotropic keeps units square",
       [](EmfBuilder& e) {
         e.Record(kSetMapMode, {7})
             .Record(kSetWindowExtEx, {100, 100})
             .Record(kSetViewportExtEx, {20, 10});
       },
       {10, 20, 50, 50}},
      {"world transform",
       [](EmfBuilder& e) {
         e.Record(kSetWorldTransform,
                  {EmfBuilder::F(2), 0, 0, EmfBuilder::F(1), EmfBuilder::F(1), EmfBuilder::F(0)});
         // Left-multiplied: the translation applies before the scale.
         e.Record(kModifyWorldTransform,
                  {EmfBuilder::F(1), 0, 0, EmfBuilder::F(1), 0, EmfBuilder::F(2), 2});
       },
       {0, 0, 2, 3}},
  };
  for (const Case& c : cases) {
    EmfBuilder emf(8, 6);
    c.setUp(emf);
    RedBrush(emf).Rectangle(c.box[0], c.box[1], c.box[2], c.box[3]);
    EXPECT_TRUE(RasterMatches(Play(emf.Build(), 8, 6), 0, 0,
                              {"        ",  //
                               "        ",  //
                               " ####   ",  //
                               " #rr#   ",  //
                               " ####   ",  //
                               "        "},
                              kLegend))
        << c.name;
  }
}

TEST(EmfPlayer, RestoreDcReturnsToTheSavedStateRelativeOrAbsolute) {
  EmfBuilder emf(12, 3);
  emf.Brush(1, 0, kRed).Brush(2, 0, kBlue).Brush(3, 0, kGreen).Select(kNullPen);
  emf.Select(1).Record(kSaveDc, {}).Select(2).Record(kSaveDc, {}).Select(3);
  emf.Record(kRestoreDc, {EmfBuilder::U(-2)}).Rectangle(0, 0, 3, 2);  // red again
  emf.Select(3).Record(kSaveDc, {}).Select(2).Record(kSaveDc, {}).Select(1);
  emf.Record(kRestoreDc, {1}).Rectangle(3, 0, 6, 2);  // green: the first save
  // Nothing saved any more: these change nothing.
  emf.Record(kRestoreDc, {EmfBuilder::U(-1)}).Record(kRestoreDc, {5}).Rectangle(6, 0, 9, 2);
  EXPECT_TRUE(RasterMatches(Play(emf.Build(), 12, 3), 0, 0,
                            {"rr gg gg    ", "            ", "            "}, kLegend));
}

TEST(EmfPlayer, PenStylesAndWidths) {
  EmfBuilder emf(40, 9);
  emf.Pen(1, 1 /* PS_DASH */, 0, model::kBlack).Select(1).MoveTo(0, 0).LineTo(40, 0);
  emf.Pen(2, kPsNull, 0, model::kBlack).Select(2).MoveTo(0, 2).LineTo(40, 2);
  emf.Pen(3, 0x10000 | 0x200 /* geometric, flat ends */, 3, kRed).Select(3);
  emf.MoveTo(4, 6).LineTo(30, 6);
  const model::Canvas canvas = Play(emf.Build(), 40, 9);
  EXPECT_TRUE(RasterMatches(
      canvas, 0, 0,
      {"##################      ################", "                                        ",
       "                                        "},
      kLegend));
  // Three pixels wide, flat at both ends.
  int redRows = 0;
  for (int y = 0; y < 9; ++y) redRows += canvas.Pixel(10, y) == kRed;
  EXPECT_EQ(redRows, 3);
  EXPECT_EQ(canvas.Pixel(10, 6), kRed);
  EXPECT_EQ(canvas.Pixel(3, 6), model::kWhite);
  EXPECT_EQ(canvas.Pixel(31, 6), model::kWhite);
}

TEST(EmfPlayer, HatchedBrushDrawsOnTheBackgroundModeAndColour) {
  for (int mode : {1, 2}) {  // transparent, opaque
    EmfBuilder emf(8, 9);
    emf.Record(kSetBkMode, {static_cast<std::uint32_t>(mode)}).Record(kSetBkColor, {kGreen});
    emf.Brush(1, 2 /* BS_HATCHED */, kBlue, 0 /* HS_HORIZONTAL */).Select(1).Select(kNullPen);
    emf.Rectangle(0, 0, 9, 10);
    const char fill = mode == 1 ? ' ' : 'g';
    const std::string back(8, fill);
    EXPECT_TRUE(RasterMatches(Play(emf.Build(), 8, 9), 0, 0,
                              {back, back, back, back, back, back, back, "bbbbbbbb", back},
                              kLegend))
        << mode;
  }
}

// The parameters of EMR_CREATEDIBPATTERNBRUSHPT or EMR_CREATEMONOBRUSH making object 1 of a
// packed DIB whose bits start at `bitsOffset`.
TEST(EmfPlayer, HatchedBrushFollowsTheBackgroundColourThroughManyChanges) {
  // More colours than hatch tiles are kept: the last fill still gets its own.
  EmfBuilder emf(8, 9);
  emf.Brush(1, 2 /* BS_HATCHED */, kBlue, 0 /* HS_HORIZONTAL */).Select(1).Select(kNullPen);
  for (std::uint32_t c = 0; c < 100; ++c) emf.Record(kSetBkColor, {c}).Rectangle(0, 0, 9, 10);
  emf.Record(kSetBkColor, {kGreen}).Rectangle(0, 0, 9, 10);
  const std::string back(8, 'g');
  EXPECT_TRUE(RasterMatches(Play(emf.Build(), 8, 9), 0, 0,
                            {back, back, back, back, back, back, back, "bbbbbbbb", back}, kLegend));
}

TEST(EmfPlayer, PatternBrushTilesItsBitmapFromTheCanvasOrigin) {
  int bitsOffset = 0;
  // 1-bit, 2 x 2, bottom-up rows: top row "01", bottom row "10".
  const Bytes dib =
      mftest::PackedDib(2, 2, 1, {kRed, kBlue}, {0x80, 0, 0, 0, 0x40, 0, 0, 0}, &bitsOffset);
  EmfBuilder emf(4, 3);
  emf.Raw(kCreateDibPatternBrushPt, PatternBrush(dib, bitsOffset));
  emf.Select(1).Select(kNullPen).Rectangle(0, 0, 5, 4);
  EXPECT_TRUE(RasterMatches(Play(emf.Build(), 4, 3), 0, 0, {"rbrb", "brbr", "rbrb"}, kLegend));
}

TEST(EmfPlayer, MonoBrushPaintsItsDarkBitsInTheTextColourAndItsLightOnesInTheBackground) {
  int bitsOffset = 0;
  // Black and white this time: top row "01", bottom row "10".
  const Bytes dib = mftest::PackedDib(2, 2, 1, {model::kBlack, model::kWhite},
                                      {0x80, 0, 0, 0, 0x40, 0, 0, 0}, &bitsOffset);
  EmfBuilder emf(4, 3);
  emf.Record(kSetTextColor, {kRed}).Record(kSetBkColor, {kGreen});
  emf.Raw(kCreateMonoBrush, PatternBrush(dib, bitsOffset));
  emf.Select(1).Select(kNullPen).Rectangle(0, 0, 5, 4);
  EXPECT_TRUE(RasterMatches(Play(emf.Build(), 4, 3), 0, 0, {"rgrg", "grgr", "rgrg"}, kLegend));
}

TEST(EmfPlayer, PolygonFillModeDecidesTheHoleOfNestedFigures) {
  for (std::uint32_t mode : {1u, 2u}) {  // alternate, winding
    EmfBuilder emf(8, 8);
    Bytes params(16, 0);
    for (std::uint32_t v : {2u, 8u, 4u, 4u}) Put32(params, v);
    for (int v : {0, 0, 8, 0, 8, 8, 0, 8, 2, 2, 6, 2, 6, 6, 2, 6}) {
      Put32(params, static_cast<std::uint32_t>(v));
    }
    emf.Record(kSetPolyFillMode, {mode});
    RedBrush(emf).Select(kNullPen).Raw(kPolyPolygon, params);
    const model::Canvas canvas = Play(emf.Build(), 8, 8);
    EXPECT_EQ(canvas.Pixel(1, 1), kRed) << mode;
    EXPECT_EQ(canvas.Pixel(4, 4), mode == 1 ? model::kWhite : kRed) << mode;
  }
}

TEST(EmfPlayer, Rop2CombinesThePenWithWhatIsThere) {
  struct Case {
    std::uint32_t rop;
    model::Colour onBlack;
    model::Colour onWhite;
  };
  // A red pen over a black and a white half.
  for (const Case& c : std::vector<Case>{{13, kRed, kRed},                    // R2_COPYPEN
                                         {7, kRed, 0xFFFF00},                 // R2_XORPEN
                                         {6, model::kWhite, model::kBlack},   // R2_NOT
                                         {11, model::kBlack, model::kWhite},  // R2_NOP
                                         {1, model::kBlack, model::kBlack},   // R2_BLACK
                                         {9, model::kBlack, kRed}}) {         // R2_MASKPEN
    EmfBuilder emf(8, 3);
    emf.Brush(1, 0, model::kBlack).Select(1).Select(kNullPen).Rectangle(0, 0, 5, 4);
    emf.Pen(2, 0, 0, kRed).Select(2).Record(kSetRop2, {c.rop}).MoveTo(0, 1).LineTo(8, 1);
    const model::Canvas canvas = Play(emf.Build(), 8, 3);
    EXPECT_EQ(canvas.Pixel(1, 1), c.onBlack) << c.rop;
    EXPECT_EQ(canvas.Pixel(6, 1), c.onWhite) << c.rop;
    // The canvas keeps its unused byte whatever the raster operation did.
    for (int i = 0; i < 8 * 3; ++i) EXPECT_EQ(canvas.Bits()[i] >> 24, 0xFFu) << c.rop;
  }
}

TEST(EmfPlayer, PiesChordsAndArcsRunCounterClockwiseUnlessToldOtherwise) {
  struct Case {
    std::uint32_t type;
    std::uint32_t direction;  // AD_COUNTERCLOCKWISE 1, AD_CLOCKWISE 2
    std::array<int, 4> ends;  // start x, y, end x, y
    // Filled or not at the four quadrant probes: top right, top left, bottom left, bottom right.
    std::array<bool, 4> red;
  };
  const std::vector<Case> cases = {
      {kPie, 1, {20, 10, 10, 0}, {true, false, false, false}},
      {kPie, 2, {20, 10, 10, 0}, {false, true, true, true}},
      {kChord, 1, {20, 10, 0, 10}, {true, true, false, false}},
      {kChord, 2, {20, 10, 0, 10}, {false, false, true, true}},
  };
  const int probes[4][2] = {{14, 6}, {6, 6}, {6, 14}, {14, 14}};
  for (const Case& c : cases) {
    EmfBuilder emf(20, 20);
    emf.Record(kSetArcDirection, {c.direction});
    RedBrush(emf).Select(kNullPen);
    emf.Record(c.type, {0, 0, 20, 20, EmfBuilder::U(c.ends[0]), EmfBuilder::U(c.ends[1]),
                        EmfBuilder::U(c.ends[2]), EmfBuilder::U(c.ends[3])});
    const model::Canvas canvas = Play(emf.Build(), 20, 20);
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(canvas.Pixel(probes[i][0], probes[i][1]) == kRed, c.red[i])
          << "type " << c.type << " direction " << c.direction << " probe " << i;
    }
  }
  // An arc is only the curve: the top half of the circle, nothing below its middle.
  EmfBuilder emf(20, 20);
  emf.Record(kArc, {0, 0, 20, 20, 20, 10, 0, 10});
  const model::Canvas canvas = Play(emf.Build(), 20, 20);
  EXPECT_EQ(canvas.Pixel(10, 0), model::kBlack);
  for (int y = 12; y < 20; ++y) {
    for (int x = 0; x < 20; ++x) EXPECT_EQ(canvas.Pixel(x, y), model::kWhite) << x << "," << y;
  }
}

TEST(EmfPlayer, ArcToAndAngleArcDrawFromTheCurrentPosition) {
  // ArcTo: a line from (0, 10) to the arc's start (20, 10), then the top half of the circle,
  // ending at (0, 10)... the current position, where the next line starts.
  EmfBuilder emf(24, 24);
  emf.MoveTo(0, 23).Record(kArcTo, {0, 0, 21, 21, 21, 10, 0, 10}).LineTo(0, 23);
  const model::Canvas canvas = Play(emf.Build(), 24, 24);
  EXPECT_EQ(canvas.Pixel(10, 0), model::kBlack);   // the top of the arc
  EXPECT_EQ(canvas.Pixel(10, 18), model::kWhite);  // no bottom half
  EXPECT_EQ(canvas.Pixel(0, 16), model::kBlack);   // the last line runs down the left edge
  // AngleArc: centre (12, 12), radius 10, from 0 degrees through 90 (counter-clockwise, so up).
  EmfBuilder angle(24, 24);
  angle.MoveTo(0, 12)
      .Record(kAngleArc, {12, 12, 10, EmfBuilder::F(0), EmfBuilder::F(90)})
      .LineTo(23, 0);
  const model::Canvas arc = Play(angle.Build(), 24, 24);
  EXPECT_EQ(arc.Pixel(6, 12), model::kBlack);   // the line to the arc's start
  EXPECT_EQ(arc.Pixel(12, 18), model::kWhite);  // nothing below the centre
  EXPECT_EQ(arc.Pixel(12, 2), model::kBlack);   // the arc ends at the top
}

TEST(EmfPlayer, ArcsOfNoSizeAreLinesNotCrashes) {
  // Found by fuzzing: an AngleArc of radius 0, and arcs in empty boxes, have no arc to join.
  EmfBuilder emf(10, 10);
  emf.MoveTo(1, 1).Record(kAngleArc, {5, 5, 0, EmfBuilder::F(0), EmfBuilder::F(90)});
  emf.Record(kArcTo, {7, 7, 7, 7, 1, 1, 2, 2}).Record(kArc, {3, 3, 3, 9, 0, 0, 1, 1});
  emf.Record(kPie, {3, 3, 3, 3, 0, 0, 1, 1}).LineTo(9, 5);
  const model::Canvas canvas = Play(emf.Build(), 10, 10);
  EXPECT_EQ(canvas.Pixel(3, 3), model::kBlack);  // the line from (1, 1) to the centre (5, 5)
  EXPECT_EQ(canvas.Pixel(8, 5), model::kBlack);  // and on from there
}

TEST(EmfPlayer, RoundRectAndEllipseStayInTheirBoxes) {
  for (std::uint32_t type : {42u, std::uint32_t{kRoundRect}}) {
    EmfBuilder emf(12, 10);
    RedBrush(emf);
    if (type == 42) {
      emf.Ellipse(1, 1, 11, 9);
    } else {
      emf.Record(kRoundRect, {1, 1, 11, 9, 4, 4});
    }
    const model::Canvas canvas = Play(emf.Build(), 12, 10);
    int left = 12, right = -1, top = 10, bottom = -1;
    for (int y = 0; y < 10; ++y) {
      for (int x = 0; x < 12; ++x) {
        if (canvas.Pixel(x, y) == model::kWhite) continue;
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
      }
    }
    EXPECT_EQ(left, 1) << type;
    EXPECT_EQ(right, 10) << type;
    EXPECT_EQ(top, 1) << type;
    EXPECT_EQ(bottom, 8) << type;
    EXPECT_EQ(canvas.Pixel(6, 5), kRed) << type;
    EXPECT_EQ(canvas.Pixel(1, 1), model::kWhite) << type;  // a rounded corner
  }
}

TEST(EmfPlayer, BezierWithStraightControlPointsIsALine) {
  EmfBuilder emf(10, 3);
  emf.Poly(kPolyBezier, {{0, 1}, {3, 1}, {6, 1}, {9, 1}});
  EXPECT_TRUE(RasterMatches(Play(emf.Build(), 10, 3), 0, 0,
                            {"          ", "######### ", "          "}, kLegend));
}

TEST(EmfPlayer, PathsAreFilledStrokedOrClippedTo) {
  auto square = [](EmfBuilder& e) {
    e.Record(kBeginPath, {}).MoveTo(1, 1).LineTo(6, 1).LineTo(6, 4).LineTo(1, 4);
    e.Record(kCloseFigure, {}).Record(kEndPath, {});
  };
  EmfBuilder fill(8, 6);
  square(RedBrush(fill));
  fill.Record(kFillPath, {0, 0, 0, 0});
  EXPECT_TRUE(RasterMatches(
      Play(fill.Build(), 8, 6), 0, 0,
      {"        ", " rrrrr  ", " rrrrr  ", " rrrrr  ", "        ", "        "}, kLegend));
  EmfBuilder stroke(8, 6);
  square(RedBrush(stroke));
  stroke.Record(kStrokePath, {0, 0, 0, 0});
  EXPECT_TRUE(RasterMatches(
      Play(stroke.Build(), 8, 6), 0, 0,
      {"        ", " ###### ", " #    # ", " #    # ", " ###### ", "        "}, kLegend));
  EmfBuilder clip(8, 6);
  square(RedBrush(clip));
  clip.Record(kSelectClipPath, {kRgnCopy}).Select(kNullPen).Rectangle(0, 0, 9, 7);
  EXPECT_TRUE(RasterMatches(
      Play(clip.Build(), 8, 6), 0, 0,
      {"        ", " rrrrr  ", " rrrrr  ", " rrrrr  ", "        ", "        "}, kLegend));
}

TEST(EmfPlayer, ClippingRectanglesAndRegions) {
  EmfBuilder emf(10, 6);
  RedBrush(emf).Select(kNullPen);
  emf.Record(kSaveDc, {}).Record(kIntersectClipRect, {1, 1, 9, 5});
  emf.Record(kExcludeClipRect, {3, 2, 5, 4}).Rectangle(0, 0, 11, 7);
  emf.Record(kRestoreDc, {EmfBuilder::U(-1)});
  const model::Canvas clipped = Play(emf.Build(), 10, 6);
  EXPECT_TRUE(RasterMatches(
      clipped, 0, 0,
      {"          ", " rrrrrrrr ", " rr  rrrr ", " rr  rrrr ", " rrrrrrrr ", "          "},
      kLegend));

  // A region of two rectangles in device units, then no region again.
  EmfBuilder region(10, 6);
  Bytes params;
  const Bytes data = Region({{0, 0, 2, 2}, {6, 3, 10, 6}});
  Put32(params, static_cast<std::uint32_t>(data.size()));
  Put32(params, kRgnCopy);
  params.insert(params.end(), data.begin(), data.end());
  RedBrush(region).Select(kNullPen).Raw(kExtSelectClipRgn, params).Rectangle(0, 0, 11, 7);
  EXPECT_TRUE(RasterMatches(
      Play(region.Build(), 10, 6), 0, 0,
      {"rr        ", "rr        ", "          ", "      rrrr", "      rrrr", "      rrrr"},
      kLegend));
  region.Record(kExtSelectClipRgn, {0, kRgnCopy})
      .Brush(2, 0, kBlue)
      .Select(2)
      .Rectangle(0, 0, 11, 7);
  const model::Canvas reset = Play(region.Build(), 10, 6);
  for (int y = 0; y < 6; ++y) {
    for (int x = 0; x < 10; ++x) EXPECT_EQ(reset.Pixel(x, y), kBlue) << x << "," << y;
  }
}

// --- Text ------------------------------------------------------------------------------------

// The box holding every pixel of `colour`; empty when there is none.
model::Rect Extent(const model::Canvas& canvas, model::Colour colour) {
  model::Rect r{canvas.Width(), canvas.Height(), 0, 0};
  for (int y = 0; y < canvas.Height(); ++y) {
    for (int x = 0; x < canvas.Width(); ++x) {
      if (canvas.Pixel(x, y) != colour) continue;
      r = {std::min(r.left, x), std::min(r.top, y), std::max(r.right, x + 1),
           std::max(r.bottom, y + 1)};
    }
  }
  return r;
}

TEST(EmfPlayer, TextIsPlacedByItsAlignment) {
  struct Case {
    std::uint32_t align;
    model::Rect within;  // where the glyphs must lie
  };
  // A 20-pixel font at (30, 20): the cell is about 20 high, "HH" about 30 wide.
  const std::vector<Case> cases = {
      {0, {30, 20, 62, 42}},     // top left
      {24, {30, 0, 62, 21}},     // baseline
      {6 | 8, {14, 0, 47, 21}},  // centre, bottom
      {2, {0, 20, 31, 42}},      // right
  };
  for (const Case& c : cases) {
    EmfBuilder emf(64, 44);
    emf.Font(1, -20, "DejaVu Sans", 700).Select(1);
    emf.Record(kSetTextColor, {kRed}).Record(kSetBkMode, {1});
    emf.Record(kSetTextAlign, {c.align}).Text(30, 20, u"HH");
    const model::Rect ink = Extent(Play(emf.Build(), 64, 44), kRed);
    ASSERT_FALSE(ink.Empty()) << c.align;
    EXPECT_GE(ink.left, c.within.left) << c.align;
    EXPECT_LE(ink.right, c.within.right) << c.align;
    EXPECT_GE(ink.top, c.within.top) << c.align;
    EXPECT_LE(ink.bottom, c.within.bottom) << c.align;
    EXPECT_GE(ink.Height(), 12) << c.align;  // an H of a 20-pixel font is about 15 high
  }
}

TEST(EmfPlayer, TextAdvancesAndBackgroundFollowTheRecord) {
  EmfBuilder emf(80, 30);
  emf.Font(1, -16, "DejaVu Sans").Select(1).Record(kSetTextColor, {model::kBlack});
  emf.Record(kSetBkMode, {2}).Record(kSetBkColor, {kGreen});
  emf.Text(2, 2, u"II", 0, {40, 10});  // the second I 40 pixels after the first
  const model::Canvas canvas = Play(emf.Build(), 80, 30);
  const model::Rect ink = Extent(canvas, model::kBlack);
  EXPECT_GE(ink.Width(), 40);
  EXPECT_LE(ink.Width(), 48);
  // The opaque background covers the text's cells and no more.
  const model::Rect back = Extent(canvas, kGreen);
  EXPECT_EQ(back.left, 2);
  EXPECT_EQ(back.top, 2);
  EXPECT_NEAR(back.right, 52, 1);
  EXPECT_NEAR(back.bottom, 21, 2);
}

TEST(EmfPlayer, OpaqueTextOptionFillsItsRectangle) {
  EmfBuilder emf(10, 6);
  emf.Record(kSetBkColor, {kBlue});
  Bytes params(16, 0);
  for (std::uint32_t v : {1u, 0u, 0u, 0u, 0u, 0u, 76u, 2u /* ETO_OPAQUE */, 2u, 1u, 6u, 4u, 0u}) {
    Put32(params, v);
  }
  emf.Raw(kExtTextOutW, params);
  EXPECT_TRUE(RasterMatches(
      Play(emf.Build(), 10, 6), 0, 0,
      {"          ", "  bbbb    ", "  bbbb    ", "  bbbb    ", "          ", "          "},
      kLegend));
}

// --- Bitmaps ---------------------------------------------------------------------------------

// A 2 x 2 24-bit DIB: red, blue over green, black (rows stored bottom-up, or top-down).
Bytes TwoByTwo(int* bitsOffset, bool topDown = false) {
  const Bytes top = {0, 0, 255, 255, 0, 0, 0, 0};
  const Bytes bottom = {0, 255, 0, 0, 0, 0, 0, 0};
  Bytes rows = topDown ? top : bottom;
  const Bytes& second = topDown ? bottom : top;
  rows.insert(rows.end(), second.begin(), second.end());
  return mftest::PackedDib(2, topDown ? -2 : 2, 24, {}, rows, bitsOffset);
}

const std::vector<std::string> kStretchedTwoByTwo = {"      ", " rrbb ", " rrbb ",
                                                     " gg## ", " gg## ", "      "};

TEST(EmfPlayer, StretchDibitsDrawsTheBitmapStretched) {
  for (bool topDown : {false, true}) {
    int bitsOffset = 0;
    const Bytes dib = TwoByTwo(&bitsOffset, topDown);
    EmfBuilder emf(6, 6);
    emf.StretchDib(1, 1, 4, 4, dib, bitsOffset);
    EXPECT_TRUE(RasterMatches(Play(emf.Build(), 6, 6), 0, 0, kStretchedTwoByTwo, kLegend))
        << topDown;
  }
  // A negative destination height mirrors the picture.
  int bitsOffset = 0;
  EmfBuilder mirrored(6, 6);
  const Bytes dib = TwoByTwo(&bitsOffset);
  mirrored.StretchDib(1, 5, 4, -4, dib, bitsOffset);
  EXPECT_TRUE(RasterMatches(Play(mirrored.Build(), 6, 6), 0, 0,
                            {"      ", " gg## ", " gg## ", " rrbb ", " rrbb ", "      "}, kLegend));
}

TEST(EmfPlayer, SourceRectangleIsCutToTheBitmap) {
  // Source (1, 0) 2 x 2 of the 2 x 2 bitmap: only its right column, rows counted from the
  // bottom; and source rectangles at the ends of the integer range (a fuzz finding: their
  // arithmetic overflowed).
  int bitsOffset = 0;
  const Bytes dib = TwoByTwo(&bitsOffset);
  auto stretch = [&](int xSrc, int ySrc, int cxSrc, int cySrc) {
    Bytes params(16, 0);
    for (std::uint32_t v :
         {0u, 0u, EmfBuilder::U(xSrc), EmfBuilder::U(ySrc), EmfBuilder::U(cxSrc),
          EmfBuilder::U(cySrc), 80u, static_cast<std::uint32_t>(bitsOffset),
          80u + static_cast<std::uint32_t>(bitsOffset),
          static_cast<std::uint32_t>(dib.size() - bitsOffset), 0u, 0x00CC0020u, 2u, 4u}) {
      Put32(params, v);
    }
    params.insert(params.end(), dib.begin(), dib.end());
    EmfBuilder emf(2, 4);
    emf.Raw(kStretchDiBits, params);
    return Play(emf.Build(), 2, 4);
  };
  EXPECT_TRUE(RasterMatches(stretch(1, 0, 2, 2), 0, 0, {"bb", "bb", "##", "##"}, kLegend));
  const int big = std::numeric_limits<int>::max();
  const int small = std::numeric_limits<int>::min();
  for (auto [x, y, w, h] : std::vector<std::array<int, 4>>{{big, big, big, big},
                                                           {small, small, small, small},
                                                           {0, big, 2, big},
                                                           {small, 0, -1, 2}}) {
    EXPECT_EQ(stretch(x, y, w, h).Pixel(0, 0), model::kWhite) << x << " " << y << " " << w;
  }
}

TEST(EmfPlayer, BitmapCutShortIsLeftOut) {
  int bitsOffset = 0;
  Bytes dib = TwoByTwo(&bitsOffset);
  dib.pop_back();  // the last padding byte of the top row
  EmfBuilder emf(6, 6);
  emf.StretchDib(1, 1, 4, 4, dib, bitsOffset);
  const model::Canvas canvas = Play(emf.Build(), 6, 6);
  for (int y = 0; y < 6; ++y) {
    for (int x = 0; x < 6; ++x) EXPECT_EQ(canvas.Pixel(x, y), model::kWhite) << x << "," << y;
  }
}

TEST(WmfPlayer, EveryDibRecordDrawsTheBitmap) {
  const Bytes dib = TwoByTwo(nullptr);
  auto words = [](std::initializer_list<int> v) {
    Bytes out;
    for (int w : v) Put16(out, static_cast<std::uint16_t>(w));
    return out;
  };
  struct Case {
    const char* name;
    std::uint16_t function;
    Bytes params;
  };
  // Source rectangles are the whole bitmap; destinations (1, 1) and 4 x 4 (2 x 2 when unscaled).
  const std::vector<Case> cases = {
      {"StretchDIB", wmf::kStretchDib, words({0x0020, 0x00CC, 0, 2, 2, 0, 0, 4, 4, 1, 1})},
      {"DIBStretchBlt", wmf::kDibStretchBlt, words({0x0020, 0x00CC, 2, 2, 0, 0, 4, 4, 1, 1})},
      {"DIBBitBlt", wmf::kDibBitBlt, words({0x0020, 0x00CC, 0, 0, 2, 2, 1, 1})},
      {"SetDIBitsToDevice", wmf::kSetDibToDev, words({0, 2, 0, 0, 0, 2, 2, 1, 1})},
  };
  for (const Case& c : cases) {
    Bytes params = c.params;
    params.insert(params.end(), dib.begin(), dib.end());
    const bool scaled = c.function == wmf::kStretchDib || c.function == wmf::kDibStretchBlt;
    WmfBuilder wmf(0, 0, scaled ? 6 : 3, scaled ? 6 : 3);
    wmf.Raw(c.function, params);
    model::Canvas canvas(6, 6);
    picture::DecodeWmf(wmf.Build())->StretchDraw(canvas, {0, 0, 6, 6});
    EXPECT_TRUE(RasterMatches(canvas, 0, 0,
                              scaled ? kStretchedTwoByTwo
                                     : std::vector<std::string>{"      ", "      ", "  rrbb",
                                                                "  rrbb", "  gg##", "  gg##"},
                              kLegend))
        << c.name;
  }
}

// --- Frames and what the picture leaves ------------------------------------------------------

TEST(MetafilePicture, TheDeclaredFrameIsStretchedNotTheDrawing) {
  // The drawing covers the top-left quarter of a 16 x 12 frame.
  EmfBuilder emf(16, 12);
  RedBrush(emf).Select(kNullPen).Rectangle(0, 0, 9, 7);
  const auto picture = picture::DecodeEmf(emf.Build());
  EXPECT_EQ(picture->Width(), 60);  // 16 mm at 96 dots an inch
  EXPECT_EQ(picture->Height(), 45);
  model::Canvas canvas(8, 6);
  picture->StretchDraw(canvas, {0, 0, 8, 6});
  EXPECT_TRUE(RasterMatches(
      canvas, 0, 0, {"rrrr    ", "rrrr    ", "rrrr    ", "        ", "        ", "        "},
      kLegend));
  // A frame starting away from the origin moves the picture.
  EmfBuilder shifted(16, 12);
  shifted.Frame(4, 3, 12, 9);
  RedBrush(shifted).Select(kNullPen).Rectangle(4, 3, 9, 7);
  EXPECT_TRUE(RasterMatches(
      Play(shifted.Build(), 8, 6), 0, 0,
      {"rrrr    ", "rrrr    ", "rrrr    ", "        ", "        ", "        "}, kLegend));
  // A placeable WMF's bounds are its frame.
  WmfBuilder wmf(0, 0, 16, 12, 1440);
  wmf.Brush(0, kRed).Select(0).Pen(kPsNull, 0, 0).Select(1);
  wmf.Rectangle(0, 0, 9, 7);
  const auto placeable = picture::DecodeWmf(wmf.Build());
  EXPECT_EQ(placeable->Width(), 1);  // 16 twips
  placeable->StretchDraw(canvas, {0, 0, 8, 6});
  EXPECT_TRUE(RasterMatches(
      canvas, 0, 0, {"rrrr    ", "rrrr    ", "rrrr    ", "        ", "        ", "        "},
      kLegend));
}

TEST(MetafilePicture, WmfWithoutPlaceableHeaderTakesItsWindowOrItsDrawing) {
  // The window in force when drawing starts, whatever comes before it in what order.
  WmfBuilder windowed(0, 0, 0, 0, 96, false);
  windowed.Brush(0, kRed).WindowExt(80, 60).WindowOrg(3, 3).WindowExt(8, 6).WindowOrg(10, 10);
  windowed.Select(0).Rectangle(11, 11, 16, 15).WindowExt(100, 100);
  const auto withWindow = picture::DecodeWmf(windowed.Build());
  EXPECT_EQ(withWindow->Width(), 8);
  model::Canvas canvas(8, 6);
  withWindow->StretchDraw(canvas, {0, 0, 8, 6});
  EXPECT_TRUE(RasterMatches(
      canvas, 0, 0, {"        ", " #####  ", " #rrr#  ", " #rrr#  ", " #####  ", "        "},
      kLegend));
  // No window: the frame is what the records draw.
  WmfBuilder bare(0, 0, 0, 0, 96, false);
  bare.Brush(0, kRed).Select(0).Rectangle(100, 50, 108, 56);
  const auto fitted = picture::DecodeWmf(bare.Build());
  fitted->StretchDraw(canvas, {0, 0, 8, 6});
  EXPECT_EQ(canvas.Pixel(0, 0), model::kBlack);
  EXPECT_EQ(canvas.Pixel(4, 3), kRed);
  // A window record cut short sets nothing, for the frame as for the drawing: the bytes after it
  // belong to the next record.
  WmfBuilder cut(0, 0, 0, 0, 96, false);
  cut.Brush(0, kRed).WindowExt(8, 6).Sized(3, wmf::kSetWindowOrg).Select(0).Rectangle(1, 1, 6, 5);
  picture::DecodeWmf(cut.Build())->StretchDraw(canvas, {0, 0, 8, 6});
  EXPECT_TRUE(RasterMatches(
      canvas, 0, 0, {"        ", " #####  ", " #rrr#  ", " #rrr#  ", " #####  ", "        "},
      kLegend));
}

TEST(MetafilePicture, WhatThePictureLeavesUnpaintedIsWhiteWithinTheRectangleOnly) {
  EmfBuilder emf(6, 4);
  emf.MoveTo(0, 0).LineTo(1, 0);
  model::Canvas canvas(10, 8);
  canvas.Fill(kStale);
  canvas.ResetDirty();
  picture::DecodeEmf(emf.Build())->StretchDraw(canvas, {2, 2, 8, 6});
  EXPECT_TRUE(RasterMatches(canvas, 0, 0,
                            {"ssssssssss", "ssssssssss", "ss#     ss", "ss      ss", "ss      ss",
                             "ss      ss", "ssssssssss", "ssssssssss"},
                            kLegend));
  EXPECT_EQ(canvas.DirtyRect(), (model::Rect{2, 2, 8, 6}));
  // Clipped to the canvas.
  picture::DecodeEmf(emf.Build())->StretchDraw(canvas, {-3, 5, 7, 12});
  EXPECT_EQ(canvas.Pixel(0, 7), model::kWhite);
  EXPECT_EQ(canvas.Pixel(7, 7), kStale);
}

// --- Records that are not drawn --------------------------------------------------------------

TEST(EmfPlayer, CommentsUnknownRecordsAndEmfPlusAreSkipped) {
  EmfBuilder emf(8, 6);
  Bytes plus;
  Put32(plus, 28);          // data size
  Put32(plus, 0x2B464D45);  // "EMF+"
  Put16(plus, 0x4001);      // EmfPlusHeader
  Put16(plus, 0);
  Put32(plus, 28);
  Put32(plus, 16);
  for (std::uint32_t v : {0xDBC01002u, 0u, 96u, 96u}) Put32(plus, v);
  emf.Raw(kComment, plus);
  emf.Raw(200, Bytes(40, 0xEE));  // not a record type at all
  emf.Raw(118, Bytes(12, 0xFF));  // GRADIENTFILL: not drawn
  RedBrush(emf).Rectangle(1, 1, 6, 5);
  EXPECT_TRUE(RasterMatches(
      Play(emf.Build(), 8, 6), 0, 0,
      {"        ", " #####  ", " #rrr#  ", " #rrr#  ", " #####  ", "        "}, kLegend));
}

TEST(WmfPlayer, ObjectsTakeTheLowestFreeSlot) {
  WmfBuilder wmf(0, 0, 8, 6);
  wmf.Brush(0, kBlue).Brush(0, kGreen).Delete(0).Brush(0, kRed);  // red takes slot 0
  wmf.Select(0).Rectangle(1, 1, 6, 5);
  model::Canvas canvas(8, 6);
  picture::DecodeWmf(wmf.Build())->StretchDraw(canvas, {0, 0, 8, 6});
  EXPECT_EQ(canvas.Pixel(3, 2), kRed);
}

TEST(WmfPlayer, RegionsAreFramedAndInverted) {
  // META_CREATEREGION: one scan, y 1-5, x -3-5, running past the picture's left edge, where it
  // has no frame.
  Bytes region;
  for (int v : {0, 6, 0, 0, 0, 1, 0, -3, 1, 5, 5}) Put16(region, static_cast<std::uint16_t>(v));
  for (int v : {2, 1, 5, -3, 5, 2}) Put16(region, static_cast<std::uint16_t>(v));
  const auto draw = [&](std::initializer_list<std::int16_t> frameRegion) {
    WmfBuilder wmf(0, 0, 8, 6);
    wmf.Raw(wmf::kCreateRegion, region).Brush(0, kBlue).Record(wmf::kFrameRegion, frameRegion);
    model::Canvas canvas(8, 6);
    picture::DecodeWmf(wmf.Build())->StretchDraw(canvas, {0, 0, 8, 6});
    return canvas;
  };
  // META_FRAMEREGION: region 0, brush 1, height, width.
  EXPECT_TRUE(RasterMatches(
      draw({0, 1, 1, 1}), 0, 0,
      {"        ", "bbbbb   ", "    b   ", "    b   ", "bbbbb   ", "        "}, kLegend));
  EXPECT_TRUE(RasterMatches(
      draw({0, 1, 1, 2}), 0, 0,
      {"        ", "bbbbb   ", "   bb   ", "   bb   ", "bbbbb   ", "        "}, kLegend));
  WmfBuilder invert(0, 0, 8, 6);
  invert.Raw(wmf::kCreateRegion, region).Record(wmf::kInvertRegion, {0});
  // The same records without their region index name no region: nothing is inverted or painted
  // again, and the clipping stays as it was.
  invert.Record(wmf::kInvertRegion, {})
      .Record(wmf::kPaintRegion, {})
      .Record(wmf::kSelectClipRegion, {});
  invert.Brush(0, kBlue).Select(1).Pen(kPsNull, 0, 0).Select(2).Rectangle(0, 5, 9, 7);
  model::Canvas canvas(8, 6);
  picture::DecodeWmf(invert.Build())->StretchDraw(canvas, {0, 0, 8, 6});
  EXPECT_TRUE(RasterMatches(
      canvas, 0, 0, {"        ", "#####   ", "#####   ", "#####   ", "#####   ", "bbbbbbbb"},
      kLegend));
}

TEST(WmfPlayer, RegionsClipAndFill) {
  // META_CREATEREGION: two scans; then fill it with a brush, and clip to it.
  Bytes region;
  for (int v : {0, 6, 0, 0, 0, 2, 0, 0, 0, 8, 6}) Put16(region, static_cast<std::uint16_t>(v));
  for (int v : {2, 0, 2, 1, 3, 2}) Put16(region, static_cast<std::uint16_t>(v));  // y 0-2: x 1-3
  for (int v : {2, 3, 6, 5, 8, 2}) Put16(region, static_cast<std::uint16_t>(v));  // y 3-6: x 5-8
  WmfBuilder wmf(0, 0, 8, 6);
  wmf.Raw(wmf::kCreateRegion, region)
      .Brush(0, kBlue)
      .Record(wmf::kFillRegion, {0, 1});  // FillRegion(0, brush 1)
  model::Canvas canvas(8, 6);
  picture::DecodeWmf(wmf.Build())->StretchDraw(canvas, {0, 0, 8, 6});
  EXPECT_TRUE(RasterMatches(
      canvas, 0, 0, {" bb     ", " bb     ", "        ", "     bbb", "     bbb", "     bbb"},
      kLegend));
  wmf.Brush(0, kRed).Select(2).Record(wmf::kSelectClipRegion, {0}).Pen(kPsNull, 0, 0).Select(3);
  wmf.Rectangle(0, 0, 9, 7);
  picture::DecodeWmf(wmf.Build())->StretchDraw(canvas, {0, 0, 8, 6});
  EXPECT_TRUE(RasterMatches(
      canvas, 0, 0, {" rr     ", " rr     ", "        ", "     rrr", "     rrr", "     rrr"},
      kLegend));
}

// --- Errors and hostile files ----------------------------------------------------------------

TEST(MetafilePicture, FilesThatAreNoMetafileAreRefused) {
  Bytes badSignature = EmfBuilder(8, 6).Build();
  badSignature[40] = 'X';
  Bytes badVersion = WmfBuilder(0, 0, 8, 6).Build();
  badVersion[22 + 4] = 0x02;
  Bytes zeroFrame = EmfBuilder(8, 6).Frame(4, 4, 4, 9).Build();
  const std::vector<Bytes> files = {{'x'},        Bytes(200, 'x'), {0xD7, 0xCD, 0xC6, 0x9A, 0, 0},
                                    badSignature, badVersion,      zeroFrame};
  for (std::size_t i = 0; i < files.size(); ++i) {
    for (bool wmf : {false, true}) {
      EXPECT_EQ(pictest::ErrorOf(wmf ? picture::DecodeWmf : picture::DecodeEmf, files[i]),
                "Metafile is not valid")
          << i << " " << wmf;
    }
  }
  // The contents decide, not the extension.
  EXPECT_FALSE(picture::DecodeWmf(EmfBuilder(8, 6).Build())->Empty());
  EXPECT_FALSE(picture::DecodeEmf(WmfBuilder(0, 0, 8, 6).Build())->Empty());
  EXPECT_TRUE(picture::DecodeEmf({})->Empty());
}

// What ends a hostile play: an account of its budget running out, or the end of the file (its
// bad records each refused by a limit on sizes and counts, at a bounded cost).
enum class Stop { kEnd, kWork, kRecords };

std::string Describe(const picture::metafile::Budget& left) {
  return "work " + std::to_string(left.work) + (left.overdrawn ? " (overdrawn)" : "") +
         ", records " + std::to_string(left.records) + ", points " + std::to_string(left.points) +
         ", bitmap pixels " + std::to_string(left.bitmapPixels);
}

// Plays `file` into 320 x 240 of `canvas` and checks what ended the play.
void PlayHostile(const Bytes& file, model::Canvas& canvas, Stop expected, const char* name) {
  const auto picture = picture::DecodeWmf(file);
  const auto* metafile = dynamic_cast<const picture::metafile::MetafilePicture*>(picture.get());
  ASSERT_NE(metafile, nullptr) << name;
  const picture::metafile::Budget full(320 * 240);
  const picture::metafile::Budget left = metafile->Play(canvas, {0, 0, 320, 240});
  const Stop stop = left.overdrawn || left.work < 0 ? Stop::kWork
                    : left.records <= 0             ? Stop::kRecords
                                                    : Stop::kEnd;
  EXPECT_EQ(static_cast<int>(stop), static_cast<int>(expected)) << name << ": " << Describe(left);
  // A drawing call that would overdraw the work is refused and ends the play; what a record does
  // whatever is left (regions, path brackets) is bounded by its size, so the work done stays
  // within twice the budget.
  EXPECT_GE(left.work, -full.work) << name;
  EXPECT_GE(left.records, 0) << name;
  EXPECT_GE(left.points, 0) << name;
  EXPECT_GE(left.bitmapPixels, 0) << name;
}

TEST(MetafilePicture, HostileRecordsNeitherCrashNorHang) {
  const std::uint32_t huge = 0x7FFFFFF0;
  const float inf = std::numeric_limits<float>::infinity();
  struct Case {
    const char* name;
    Stop stop;
    std::function<void(EmfBuilder&)> add;
  };
  std::vector<Case> cases = {
      {"record size past the end", Stop::kEnd, [&](EmfBuilder& e) { e.Sized(kRectangle, huge); }},
      {"record size zero", Stop::kEnd, [](EmfBuilder& e) { e.Sized(kRectangle, 0); }},
      {"record size not a multiple of four", Stop::kEnd,
       [](EmfBuilder& e) { e.Sized(kRectangle, 13, Bytes(5, 0)); }},
      {"point count past the record", Stop::kEnd,
       [&](EmfBuilder& e) {
         e.Record(kPolygon, {0, 0, 0, 0, huge, 1, 1});
       }},
      {"polygon counts past the record", Stop::kEnd,
       [&](EmfBuilder& e) {
         e.Record(kPolyPolygon, {0, 0, 0, 0, huge, huge, 3, 3});
       }},
      {"saved states without end", Stop::kEnd,
       [](EmfBuilder& e) {
         for (int i = 0; i < 20000; ++i) e.Record(kSaveDc, {});
         e.Record(kRestoreDc, {EmfBuilder::U(-2000000000)});
       }},
      {"absurd pen width", Stop::kEnd,
       [&](EmfBuilder& e) {
         e.Pen(9, 0x10000, 0x7FFFFFFF, kBlue).Select(9).MoveTo(0, 0).LineTo(50, 50);
       }},
      {"absurd coordinates", Stop::kEnd,
       [&](EmfBuilder& e) {
         e.Ellipse(-2000000000, -2000000000, 2000000000, 2000000000);
         e.Poly(kPolyBezier, {{-2000000000, 0}, {2000000000, 5}, {0, -2000000000}, {9, 9}});
       }},
      {"absurd extents", Stop::kEnd,
       [&](EmfBuilder& e) {
         e.Record(kSetMapMode, {8}).Record(kSetWindowExtEx, {1, 1});
         e.Record(kSetViewportExtEx, {huge, huge}).Rectangle(0, 0, 3, 3);
       }},
      {"infinite world transform", Stop::kEnd,
       [&](EmfBuilder& e) {
         e.Record(kSetWorldTransform, {EmfBuilder::F(inf), 0, 0, EmfBuilder::F(inf), 0, 0});
       }},
      {"absurd font and text", Stop::kEnd,
       [&](EmfBuilder& e) {
         e.Font(7, -2000000000, "DejaVu Sans").Select(7).Text(20, 20, std::u16string(5000, u'W'));
         e.Font(8, -20, "DejaVu Sans").Select(8).Text(20, 20, std::u16string(100000, u'W'));
       }},
      {"many long texts", Stop::kWork,
       [&](EmfBuilder& e) {
         e.Font(8, -20, "DejaVu Sans").Select(8);
         const std::u16string line(8192, u'W');
         for (int i = 0; i < 300; ++i) e.Text(20 - 40 * i, 20 + i % 200, line);
       }},
      {"bitmap larger than its bits", Stop::kEnd,
       [&](EmfBuilder& e) {
         int bitsOffset = 0;
         const Bytes dib = mftest::PackedDib(30000, 30000, 24, {}, Bytes(64, 0), &bitsOffset);
         for (int i = 0; i < 50; ++i) e.StretchDib(0, 0, 320, 240, dib, bitsOffset);
       }},
      {"small bitmaps stretched over the picture", Stop::kWork,
       [&](EmfBuilder& e) {
         int bitsOffset = 0;
         const Bytes dib = mftest::PackedDib(2, 2, 24, {}, Bytes(16, 0x80), &bitsOffset);
         for (int i = 0; i < 50000; ++i) e.StretchDib(20, 20, 600, 600, dib, bitsOffset);
       }},
      {"a hundred thousand full fills", Stop::kWork,
       [&](EmfBuilder& e) {
         e.Pen(5, 0x10000, 40, kBlue).Select(5);
         for (int i = 0; i < 100000; ++i) e.Ellipse(-10, -10, 400, 300);
       }},
      {"a polygon of long edges", Stop::kWork,
       [&](EmfBuilder& e) {
         std::vector<std::pair<int, int>> points;
         for (int i = 0; i < 300000; ++i) points.emplace_back(i * 7 % 320, i % 2 * 239);
         e.Poly(kPolygon, points);
       }},
      {"a path bracket of many shapes", Stop::kWork,
       [&](EmfBuilder& e) {
         e.Record(kBeginPath, {});
         for (int i = 0; i < 50000; ++i) e.Ellipse(i % 300, 0, i % 300 + 20, 200);
         e.Record(kEndPath, {}).Record(kFillPath, {0, 0, 0, 0});
       }},
      {"clipping path far outside", Stop::kEnd,
       [&](EmfBuilder& e) {
         e.Record(kBeginPath, {}).MoveTo(1, 1).LineTo(2000000, 1).LineTo(20, 25000);
         e.Record(kEndPath, {}).Record(kSelectClipPath, {1 /* RGN_AND */});
         e.Record(kSetWorldTransform, {EmfBuilder::F(0.8f), EmfBuilder::F(0.6f),
                                       EmfBuilder::F(-0.6f), EmfBuilder::F(0.8f), 0, 0});
         e.Record(kIntersectClipRect, {0, 0, huge, 3000000});
         e.Record(kSetBkMode, {1}).Brush(6, 2, kBlue, 3).Select(6).Rectangle(0, 0, 67108864, 24);
       }},
      {"a large two-colour pattern brush", Stop::kWork,
       [&](EmfBuilder& e) {
         int bitsOffset = 0;
         const Bytes dib = mftest::PackedDib(2000, 2000, 1, {model::kBlack, model::kWhite},
                                             Bytes(2000 * 252, 0x55), &bitsOffset);
         e.Raw(kCreateMonoBrush, PatternBrush(dib, bitsOffset)).Select(1).Select(kNullPen);
         for (int i = 0; i < 2000; ++i) e.Rectangle(20, 20, 22, 22);
       }},
      {"clipping to many rotated rectangles", Stop::kWork,
       [&](EmfBuilder& e) {
         e.Record(kSetWorldTransform, {EmfBuilder::F(0.8f), EmfBuilder::F(0.6f),
                                       EmfBuilder::F(-0.6f), EmfBuilder::F(0.8f), 0, 0});
         for (int i = 0; i < 100000; ++i) e.Record(kIntersectClipRect, {0, 0, 1000, 1000});
       }},
      {"clipping to many paths", Stop::kWork,
       [&](EmfBuilder& e) {
         for (int i = 0; i < 50000; ++i) {
           e.Record(kBeginPath, {}).Ellipse(0, 0, 300, 200).Record(kEndPath, {});
           e.Record(kSelectClipPath, {kRgnCopy});
         }
       }},
      {"drawing through a clipping region full of holes", Stop::kWork,
       [&](EmfBuilder& e) {
         for (int y = 0; y < 240; y += 2) {
           for (int x = 0; x < 320; x += 2) {
             e.Record(kExcludeClipRect, {EmfBuilder::U(x), EmfBuilder::U(y), EmfBuilder::U(x + 1),
                                         EmfBuilder::U(y + 1)});
           }
         }
         for (int i = 0; i < 60000; ++i) {
           e.Record(kExcludeClipRect, {0, 0, 1, 1}).Record(kSetPixelV, {7, 7, kBlue});
         }
       }},
      {"a region of crossing strips", Stop::kEnd,
       [&](EmfBuilder& e) {
         std::vector<std::array<int, 4>> strips;
         for (int i = 0; i < 5000; ++i) {
           const int at = i * 20 - 50000;
           strips.push_back({-50000, at, 50000, at + 1});
           strips.push_back({at, -50000, at + 1, 50000});
         }
         const Bytes data = Region(strips);
         Bytes params;
         Put32(params, static_cast<std::uint32_t>(data.size()));
         Put32(params, kRgnCopy);
         params.insert(params.end(), data.begin(), data.end());
         for (int i = 0; i < 3; ++i) e.Raw(kExtSelectClipRgn, params);
       }},
      {"region counts past the record", Stop::kEnd,
       [&](EmfBuilder& e) {
         Bytes params;
         Put32(params, 32);
         Put32(params, kRgnCopy);
         for (std::uint32_t v : {32u, 1u, huge, huge, 0u, 0u, 0u, 0u}) Put32(params, v);
         e.Raw(kExtSelectClipRgn, params);
       }},
  };
  for (const Case& c : cases) {
    EmfBuilder emf(320, 240);
    RedBrush(emf).Select(kNullPen).Rectangle(0, 0, 10, 10);
    c.add(emf);
    model::Canvas canvas(320, 240);
    PlayHostile(emf.Build(), canvas, c.stop, c.name);
    // What came before the bad record stands.
    const model::Colour kept = canvas.Pixel(5, 5);
    EXPECT_TRUE(kept == kRed || kept == kBlue) << c.name << ": " << std::hex << kept;
  }
}

TEST(MetafilePicture, HostileWmfRecordsNeitherCrashNorHang) {
  const std::vector<std::tuple<const char*, Stop, std::function<void(WmfBuilder&)>>> cases = {
      {"record size past the end", Stop::kEnd,
       [](WmfBuilder& w) { w.Sized(0x7FFFFFFF, wmf::kRectangle); }},
      {"record size below the header", Stop::kEnd,
       [](WmfBuilder& w) { w.Sized(1, wmf::kRectangle); }},
      {"point count past the record", Stop::kEnd,
       [](WmfBuilder& w) {
         w.Record(wmf::kPolygon, {30000, 1, 1});
       }},
      {"polygon counts past the record", Stop::kEnd,
       [](WmfBuilder& w) {
         w.Record(wmf::kPolyPolygon, {-1, -1, -1, 4, 4});
       }},
      {"region scans past the record", Stop::kEnd,
       [](WmfBuilder& w) {
         w.Record(wmf::kCreateRegion, {0, 6, 0, 0, 0, -1, -1, 0, 0, 0, 8, -1, 8});
       }},
      {"text length past the record", Stop::kEnd,
       [](WmfBuilder& w) {
         w.Record(wmf::kTextOut, {30000, 65, 65});
       }},
      {"bitmap larger than its bits", Stop::kEnd,
       [](WmfBuilder& w) {
         Bytes params;
         for (int v : {0x0020, 0x00CC, 0, 2, 2, 0, 0, 4, 4, 1, 1}) {
           Put16(params, static_cast<std::uint16_t>(v));
         }
         const Bytes dib = mftest::PackedDib(30000, 30000, 24, {}, Bytes(64, 0));
         params.insert(params.end(), dib.begin(), dib.end());
         for (int i = 0; i < 50; ++i) w.Raw(wmf::kStretchDib, params);
       }},
      {"objects past the table", Stop::kEnd, [](WmfBuilder& w) { w.Select(30000).Delete(-1); }},
      {"a large region selected many times", Stop::kWork,
       [](WmfBuilder& w) {
         // META_CREATEREGION: 2000 scans of 20 rectangles each.
         Bytes region;
         for (int v : {0, 6, 0, 0, 0, 2000, 0, 0, 0, 320, 2000}) {
           Put16(region, static_cast<std::uint16_t>(v));
         }
         for (int scan = 0; scan < 2000; ++scan) {
           for (int v : {40, scan, scan + 1}) Put16(region, static_cast<std::uint16_t>(v));
           for (int k = 0; k < 20; ++k) {
             Put16(region, static_cast<std::uint16_t>(k * 16));
             Put16(region, static_cast<std::uint16_t>(k * 16 + 8));
           }
           Put16(region, 40);
         }
         w.Raw(wmf::kCreateRegion, region);
         for (int i = 0; i < 5000; ++i) w.Select(1);
       }},
      {"creates beyond a full table", Stop::kEnd,
       [](WmfBuilder& w) {
         // The header's object count wraps to 65000 + 1: a table that fills, then 262144
         // creates that find no free slot.
         for (int i = 0; i < 4 * 65536 + 65000; ++i)
           w.Record(wmf::kCreatePalette, {});  // META_CREATEPALETTE
         w.Delete(70).Record(wmf::kCreatePalette, {});
       }},
  };
  for (const auto& [name, stop, add] : cases) {
    WmfBuilder wmf(0, 0, 320, 240);
    wmf.Brush(0, kRed).Select(0).Rectangle(0, 0, 10, 10);
    add(wmf);
    model::Canvas canvas(320, 240);
    PlayHostile(wmf.Build(), canvas, stop, name);
    EXPECT_EQ(canvas.Pixel(5, 5), kRed) << name;
  }
}

}  // namespace
