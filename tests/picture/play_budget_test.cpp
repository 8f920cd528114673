// Every loop of a metafile play whose length the file decides draws on an account of the play's
// budget: given a small account, a file that repeats the loop stops early and keeps what it drew
// before.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "model/canvas.h"
#include "picture/decoders.h"
#include "picture/metafile/budget.h"
#include "picture/metafile/emf_records.h"
#include "picture/metafile/metafile_picture.h"
#include "picture/metafile/wmf_records.h"
#include "tests/picture/metafile_builder.h"
#include "tests/picture/picture_text.h"

namespace {

using mftest::Bytes;
using mftest::EmfBuilder;
using mftest::Put32;
using mftest::WmfBuilder;
using pictest::kBlue;
using pictest::kRed;
using picture::metafile::Budget;
namespace emf = picture::emf;
namespace wmf = picture::wmf;

// Plays `file` into 64 x 48 from `start`, giving what is left.
Budget PlayFrom(const Bytes& file, const Budget& start, model::Canvas& canvas) {
  const auto picture = picture::DecodeWmf(file);
  const auto* metafile = dynamic_cast<const picture::metafile::MetafilePicture*>(picture.get());
  EXPECT_NE(metafile, nullptr);
  return metafile ? metafile->Play(canvas, {0, 0, 64, 48}, start) : start;
}

// RGNDATA of `count` one-pixel rectangles along a row.
Bytes RegionData(int count) {
  Bytes out;
  for (std::uint32_t v : {32u, 1u, static_cast<std::uint32_t>(count),
                          static_cast<std::uint32_t>(count * 16), 0u, 0u, 0u, 0u}) {
    Put32(out, v);
  }
  for (int i = 0; i < count; ++i) {
    for (int v : {2 * i, 0, 2 * i + 1, 1}) Put32(out, static_cast<std::uint32_t>(v));
  }
  return out;
}

struct LoopCase {
  const char* name;
  // Records before the loop, and the records the loop repeats.
  std::function<void(EmfBuilder&)> before;
  std::function<void(EmfBuilder&)> repeat;
  // The least that one turn of the loop must cost.
  std::int64_t cost;
};

// A file that draws a red square, then `repeats` turns of the loop of `c`.
Bytes LoopFile(const LoopCase& c, int repeats) {
  EmfBuilder emf(64, 48);
  emf.Brush(1, 0, kRed).Select(1).Select(emf::kNullPen).Rectangle(0, 0, 10, 10);
  emf.Brush(2, 0, kBlue).Select(2).Pen(3, 0, 0, kBlue).Select(3);
  c.before(emf);
  for (int i = 0; i < repeats; ++i) c.repeat(emf);
  return emf.Build();
}

TEST(PlayBudget, EveryLoopOfDrawingChargesTheWork) {
  using namespace picture::metafile;
  constexpr int kRepeats = 100;
  const std::int64_t area = 64 * 48;
  int bitsOffset = 0;
  const Bytes mono = mftest::PackedDib(32, 32, 1, {model::kBlack, model::kWhite},
                                       Bytes(32 * 4, 0x55), &bitsOffset);
  const Bytes region = RegionData(20);
  Bytes selectRegion;
  Put32(selectRegion, static_cast<std::uint32_t>(region.size()));
  Put32(selectRegion, 5 /* RGN_COPY */);
  selectRegion.insert(selectRegion.end(), region.begin(), region.end());
  const auto nothing = [](EmfBuilder&) {};
  const std::vector<LoopCase> cases = {
      {"fills", nothing, [](EmfBuilder& e) { e.Rectangle(30, 30, 40, 40); },
       kCostPerCall + 10 * 10},
      {"strokes", nothing, [](EmfBuilder& e) { e.MoveTo(0, 40).LineTo(60, 40); },
       kCostPerCall + 60 * kCostPerOutlinePixel},
      {"characters", [](EmfBuilder& e) { e.Font(7, -12, "DejaVu Sans").Select(7); },
       [](EmfBuilder& e) { e.Text(30, 30, u"WW"); }, 2 * kCostPerCharacter},
      {"a path bracket that grows", [](EmfBuilder& e) { e.Record(emf::kBeginPath, {}); },
       [](EmfBuilder& e) { e.Rectangle(30, 30, 40, 40); }, kCostPerCall + 5 * kCostPerElement},
      {"clipping rectangles", nothing,
       [](EmfBuilder& e) {
         e.Record(emf::kIntersectClipRect, {0, 0, 60, 40});
       },
       kCostPerCall},
      {"clipping region offsets", nothing,
       [](EmfBuilder& e) {
         e.Record(emf::kOffsetClipRgn, {0, 0});
       },
       kCostPerCall},
      {"clipping regions", nothing,
       [&](EmfBuilder& e) { e.Raw(emf::kExtSelectClipRgn, selectRegion); },
       20 * kCostPerRegionRect},
      {"clipping paths", nothing,
       [](EmfBuilder& e) {
         e.Record(emf::kBeginPath, {}).Rectangle(0, 0, 60, 40).Record(emf::kEndPath, {});
         e.Record(emf::kSelectClipPath, {5});
       },
       kPathRegionAreas * area},
      {"recoloured pattern tiles",
       [&](EmfBuilder& e) {
         e.Raw(emf::kCreateMonoBrush, mftest::PatternBrush(mono, bitsOffset)).Select(1);
       },
       [](EmfBuilder& e) { e.Rectangle(30, 30, 31, 31); }, 32 * 32 * kCostPerTilePixel},
  };
  for (const LoopCase& c : cases) {
    // What one turn costs, from whole plays with and without the loop.
    model::Canvas canvas(64, 48);
    const Budget none = PlayFrom(LoopFile(c, 0), Budget(area), canvas);
    const Budget all = PlayFrom(LoopFile(c, kRepeats), Budget(area), canvas);
    ASSERT_FALSE(all.Spent()) << c.name;
    EXPECT_GE((none.work - all.work) / kRepeats, c.cost) << c.name;
    // With work for what comes before and ten turns, the loop is cut short, and the square drawn
    // before it stands.
    Budget start(area);
    start.work = (start.work - none.work) + (none.work - all.work) / kRepeats * 10;
    const Bytes file = LoopFile(c, kRepeats);
    const Budget left = PlayFrom(file, start, canvas);
    EXPECT_TRUE(left.Spent()) << c.name;
    EXPECT_LT(start.records - left.records, Budget(area).records - all.records) << c.name;
    EXPECT_GE(left.work, -start.work) << c.name;
    EXPECT_EQ(canvas.Pixel(5, 5), kRed) << c.name;
  }
}

TEST(PlayBudget, RegionsSelectedAgainAndAgainChargeTheWork) {
  // META_CREATEREGION of one scan of 20 rectangles, selected as the clipping region each time.
  Bytes region;
  for (int v : {0, 6, 0, 0, 0, 1, 0, 0, 0, 64, 1})
    mftest::Put16(region, static_cast<std::uint16_t>(v));
  for (int v : {40, 0, 1}) mftest::Put16(region, static_cast<std::uint16_t>(v));
  for (int k = 0; k < 20; ++k) {
    mftest::Put16(region, static_cast<std::uint16_t>(3 * k));
    mftest::Put16(region, static_cast<std::uint16_t>(3 * k + 1));
  }
  mftest::Put16(region, 40);
  WmfBuilder wmf(0, 0, 64, 48);
  wmf.Brush(0, kRed).Select(0).Rectangle(0, 0, 10, 10).Raw(wmf::kCreateRegion, region);
  for (int i = 0; i < 1000; ++i) wmf.Select(1);
  model::Canvas canvas(64, 48);
  const Budget all = PlayFrom(wmf.Build(), Budget(64 * 48), canvas);
  Budget start(64 * 48);
  start.work = 100 * 20 * picture::metafile::kCostPerRegionRect;
  const Budget left = PlayFrom(wmf.Build(), start, canvas);
  // Each selection maps and unites the region's 20 rectangles: a hundred of them spend the
  // account, and the play ends long before the thousandth.
  EXPECT_LT(left.work, 0);
  EXPECT_LT(start.records - left.records, 110);
  EXPECT_EQ(start.records - all.records, 4 + 1000 + 1);  // the end record included
  EXPECT_EQ(canvas.Pixel(5, 5), kRed);
}

TEST(PlayBudget, RecordsAreCountedUntilTheyRunOut) {
  // A red square, then more records than the account holds (each a pair that saves and restores
  // the state, so that nothing else stops them), then a blue square that is never reached.
  EmfBuilder emf(64, 48);
  emf.Brush(1, 0, kRed).Select(1).Rectangle(0, 0, 10, 10);
  WmfBuilder wmf(0, 0, 64, 48);
  wmf.Brush(0, kRed).Select(0).Rectangle(0, 0, 10, 10);
  for (int i = 0; i < 1000; ++i) {
    emf.Record(emf::kSaveDc, {}).Record(emf::kRestoreDc, {static_cast<std::uint32_t>(-1)});
    wmf.Record(wmf::kSaveDc, {}).Record(wmf::kRestoreDc, {-1});
  }
  emf.Brush(2, 0, kBlue).Select(2).Rectangle(20, 20, 30, 30);
  wmf.Brush(0, kBlue).Select(1).Rectangle(20, 20, 30, 30);
  for (const Bytes& file : {emf.Build(), wmf.Build()}) {
    Budget start(64 * 48);
    start.records = 1500;
    model::Canvas canvas(64, 48);
    const Budget left = PlayFrom(file, start, canvas);
    EXPECT_EQ(left.records, 0);
    EXPECT_TRUE(left.Spent());
    EXPECT_EQ(canvas.Pixel(5, 5), kRed);
    EXPECT_EQ(canvas.Pixel(25, 25), model::kWhite);
    // With the records it needs, the same file plays to its end.
    start.records = 3000;
    const Budget whole = PlayFrom(file, start, canvas);
    EXPECT_FALSE(whole.Spent());
    EXPECT_EQ(canvas.Pixel(25, 25), kBlue);
  }
}

TEST(PlayBudget, PointsAndBitmapPixelsAreTakenUntilTheyRunOut) {
  int bitsOffset = 0;
  const Bytes dib = mftest::PackedDib(2, 2, 24, {}, Bytes(16, 0x80), &bitsOffset);
  EmfBuilder emf(64, 48);
  emf.Pen(1, 0, 0, kRed).Select(1);
  // Ten lines of five points, then ten bitmaps of four pixels, one row apart.
  for (int i = 0; i < 10; ++i) {
    emf.Poly(emf::kPolyline, {{0, i}, {10, i}, {20, i}, {30, i}, {40, i}});
  }
  for (int i = 0; i < 10; ++i) emf.StretchDib(50, 20 + 2 * i, 2, 2, dib, bitsOffset);
  Budget start(64 * 48);
  start.points = 22;       // four lines and two points over
  start.bitmapPixels = 9;  // two bitmaps and a pixel over
  model::Canvas canvas(64, 48);
  const Budget left = PlayFrom(emf.Build(), start, canvas);
  EXPECT_EQ(left.points, 2);
  EXPECT_EQ(left.bitmapPixels, 1);
  // Neither ends the play: the records that find too little are left out, one by one.
  EXPECT_FALSE(left.overdrawn);
  EXPECT_EQ(start.records - left.records, 1 + 2 + 10 + 10 + 1);  // header and end included
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(canvas.Pixel(5, i), i < 4 ? kRed : model::kWhite) << i;
    EXPECT_EQ(canvas.Pixel(50, 20 + 2 * i), i < 2 ? 0x808080 : model::kWhite) << i;
  }
}

}  // namespace
