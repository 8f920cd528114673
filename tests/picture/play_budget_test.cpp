// Every loop of a metafile play whose length the file decides draws on an account of the play's
// budget: given a small account, a file that repeats the loop stops early and keeps what it drew
// before.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "model/canvas.h"
#include "picture/decoders.h"
#include "picture/metafile/budget.h"
#include "picture/metafile/emf_records.h"
#include "picture/metafile/formats.h"
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

// RGNDATA of `count` rectangles along a row, `width` pixels wide (0: empty) and one high.
Bytes RegionData(int count, int width = 1) {
  Bytes out;
  for (std::uint32_t v : {32u, 1u, static_cast<std::uint32_t>(count),
                          static_cast<std::uint32_t>(count * 16), 0u, 0u, 0u, 0u}) {
    Put32(out, v);
  }
  for (int i = 0; i < count; ++i) {
    for (int v : {2 * i, 0, 2 * i + width, 1}) Put32(out, static_cast<std::uint32_t>(v));
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
      {"saved states, each keeping the clipping region",
       [&](EmfBuilder& e) { e.Raw(emf::kExtSelectClipRgn, selectRegion); },
       [](EmfBuilder& e) { e.Record(emf::kSaveDc, {}); }, kCostPerCall + 20 * kCostPerRegionRect},
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

// --- Lists whose length the file decides ----------------------------------------------------

using picture::metafile::kCostPerCall;
using picture::metafile::kCostPerCharacter;
using picture::metafile::kCostPerElement;
using picture::metafile::kCostPerRegionRect;
using picture::metafile::kMaxRegionRects;

// META_CREATEREGION parameters: `count` rectangles, `perScan` to a scan, each from x to x + width
// (width 0: empty) on rows 0 to 1.
Bytes WmfRegion(int count, int perScan, int width) {
  Bytes out;
  const int scans = (count + perScan - 1) / perScan;
  for (int v : {0, 6, 0, 0, 0, scans, 2 * perScan, 0, 0, 64, 48}) {
    mftest::Put16(out, static_cast<std::uint16_t>(v));
  }
  for (int s = 0, left = count; s < scans; ++s) {
    const int here = std::min(left, perScan);
    left -= here;
    for (int v : {2 * here, 0, 1}) mftest::Put16(out, static_cast<std::uint16_t>(v));
    for (int i = 0; i < here; ++i) {
      const int x = 2 * (i % 30);
      mftest::Put16(out, static_cast<std::uint16_t>(x));
      mftest::Put16(out, static_cast<std::uint16_t>(x + width));
    }
    mftest::Put16(out, static_cast<std::uint16_t>(2 * here));
  }
  return out;
}

// Parameters of an EMF poly-poly record of `count` figures of no points.
Bytes EmptyFigures(int count) {
  Bytes out(16, 0);  // bounds
  Put32(out, static_cast<std::uint32_t>(count));
  Put32(out, 0);
  for (int i = 0; i < count; ++i) Put32(out, 0);
  return out;
}

struct ListCase {
  const char* name;
  // A red square, a list of `n` items the file decides, a blue square.
  std::function<Bytes(int n)> build;
  // The least each item is charged.
  std::int64_t perItem;
};

Bytes Emf(const std::function<void(EmfBuilder&)>& before,
          const std::function<void(EmfBuilder&)>& list) {
  EmfBuilder emf(64, 48);
  emf.Brush(1, 0, kRed).Select(1).Select(emf::kNullPen).Rectangle(0, 0, 10, 10);
  before(emf);
  list(emf);
  emf.Brush(2, 0, kBlue).Select(2).Rectangle(20, 20, 30, 30);
  return emf.Build();
}

// Objects 0 and 1 are the red and blue brushes; the list's own come after.
Bytes Wmf(const std::function<void(WmfBuilder&)>& list) {
  WmfBuilder wmf(0, 0, 64, 48);
  wmf.Brush(0, kRed).Brush(0, kBlue).Select(0).Rectangle(0, 0, 10, 10);
  list(wmf);
  wmf.Select(1).Rectangle(20, 20, 30, 30);
  return wmf.Build();
}

const std::vector<ListCase>& ListCases() {
  const auto nothing = [](EmfBuilder&) {};
  static const std::vector<ListCase> cases = {
      {"a WMF region of empty rectangles",
       [](int n) {
         return Wmf([n](WmfBuilder& w) {
           w.Raw(wmf::kCreateRegion, WmfRegion(n, 700, 0)).Record(wmf::kFillRegion, {2, 0});
         });
       },
       kCostPerRegionRect},
      {"an EMF region fill of empty rectangles",
       [=](int n) {
         return Emf(nothing, [n](EmfBuilder& e) {
           const Bytes data = RegionData(n, 0);
           Bytes params(16, 0);
           Put32(params, static_cast<std::uint32_t>(data.size()));
           Put32(params, 1);  // the red brush
           params.insert(params.end(), data.begin(), data.end());
           e.Raw(emf::kFillRgn, params);
         });
       },
       kCostPerRegionRect},
      {"an EMF clipping region of empty rectangles",
       [=](int n) {
         return Emf(nothing, [n](EmfBuilder& e) {
           const Bytes data = RegionData(n, 0);
           Bytes params;
           Put32(params, static_cast<std::uint32_t>(data.size()));
           Put32(params, 2 /* RGN_OR */);
           params.insert(params.end(), data.begin(), data.end());
           e.Raw(emf::kExtSelectClipRgn, params);
         });
       },
       kCostPerRegionRect},
      {"an EMF poly-polygon of empty figures",
       [=](int n) {
         return Emf(nothing, [n](EmfBuilder& e) { e.Raw(emf::kPolyPolygon16, EmptyFigures(n)); });
       },
       kCostPerElement},
      {"an EMF poly-polyline of empty figures",
       [=](int n) {
         return Emf(nothing, [n](EmfBuilder& e) { e.Raw(emf::kPolyPolyline, EmptyFigures(n)); });
       },
       kCostPerElement},
      {"a WMF poly-polygon of empty figures",
       [](int n) {
         return Wmf([n](WmfBuilder& w) {
           Bytes params;
           mftest::Put16(params, static_cast<std::uint16_t>(n));
           for (int i = 0; i < n; ++i) mftest::Put16(params, 0);
           w.Raw(wmf::kPolyPolygon, params);
         });
       },
       kCostPerElement},
      {"text in a font too large to draw",
       [](int n) {
         return Emf([](EmfBuilder& e) { e.Font(7, -2500, "DejaVu Sans").Select(7); },
                    [n](EmfBuilder& e) {
                      for (int i = 0; i < n; ++i) e.Text(30, 30, u"W");
                    });
       },
       kCostPerCharacter},
  };
  return cases;
}

TEST(PlayBudget, ListsTheFileSizesAreChargedItemByItemAndStopThePlay) {
  constexpr int kFew = 1000;
  constexpr int kMany = 3000;
  const std::int64_t area = 64 * 48;
  for (const ListCase& c : ListCases()) {
    model::Canvas canvas(64, 48);
    const Budget few = PlayFrom(c.build(kFew), Budget(area), canvas);
    const Budget many = PlayFrom(c.build(kMany), Budget(area), canvas);
    ASSERT_FALSE(many.Spent()) << c.name;
    EXPECT_EQ(canvas.Pixel(25, 25), kBlue) << c.name;
    // The work grows with the list, item by item.
    EXPECT_GE(few.work - many.work, (kMany - kFew) * c.perItem) << c.name;
    // Given the work of the shorter file, the longer one stops within an item or two of where the
    // work runs out: its list is not read to its end, and the blue square after it is not drawn;
    // the red square before it stands.
    Budget start(area);
    start.work -= many.work + (few.work - many.work) / 2;
    const Budget left = PlayFrom(c.build(kMany), start, canvas);
    EXPECT_TRUE(left.Spent()) << c.name;
    EXPECT_GE(left.work, -(2 * c.perItem + kCostPerCall)) << c.name;
    EXPECT_EQ(canvas.Pixel(5, 5), kRed) << c.name;
    EXPECT_EQ(canvas.Pixel(25, 25), model::kWhite) << c.name;
  }
}

TEST(PlayBudget, ARegionIsReadNoFurtherThanTheRectanglesKept) {
  // Past kMaxRegionRects drawn rectangles, more of them in the record cost nothing more: they
  // are not read. Empty ones before that are read, and charged, however many there are.
  const std::int64_t area = 64 * 48;
  const auto charged = [&](int count, int width) {
    model::Canvas canvas(64, 48);
    const Bytes file = Wmf([&](WmfBuilder& w) {
      w.Raw(wmf::kCreateRegion, WmfRegion(count, 30000, width)).Record(wmf::kFillRegion, {2, 0});
    });
    return Budget(area).work - PlayFrom(file, Budget(area), canvas).work;
  };
  const int kept = static_cast<int>(kMaxRegionRects);
  EXPECT_EQ(charged(kept + 1, 1), charged(4 * kept, 1));
  EXPECT_LT(charged(kept - 1, 1), charged(kept, 1));
  EXPECT_GE(charged(4 * kept, 0) - charged(kept, 0), 3 * kept * kCostPerRegionRect);
}

TEST(PlayBudget, APathBracketGrowsNoFurtherThanItsLimit) {
  // Rectangles of five elements each added to a bracket: their work alone would let the play go
  // on, but past kMaxPathElements the bracket ends it.
  constexpr int kRectangles = picture::metafile::kMaxPathElements / 5 + 1000;
  const Bytes file = Emf([](EmfBuilder& e) { e.Record(emf::kBeginPath, {}); },
                         [](EmfBuilder& e) {
                           for (int i = 0; i < kRectangles; ++i) e.Rectangle(30, 30, 40, 40);
                         });
  model::Canvas canvas(64, 48);
  const Budget start(64 * 48);
  const Budget left = PlayFrom(file, start, canvas);
  EXPECT_TRUE(left.Spent());
  EXPECT_GT(left.work, 0);
  EXPECT_LE(start.records - left.records, kRectangles - 900);
  EXPECT_GE(start.records - left.records, kRectangles - 1100);
  EXPECT_EQ(canvas.Pixel(5, 5), kRed);
  EXPECT_EQ(canvas.Pixel(25, 25), model::kWhite);
}

TEST(PlayBudget, TheWindowSearchTakesRecordsFromTheAccount) {
  // A WMF without a placeable header: `before` records that neither set the window nor draw,
  // then the window's extent and a rectangle.
  const auto file = [](int before) {
    WmfBuilder wmf(0, 0, 0, 0, 96, false);
    for (int i = 0; i < before; ++i) wmf.Record(wmf::kSetBkMode, {});
    wmf.WindowExt(64, 48).Rectangle(0, 0, 10, 10);
    return wmf.Build();
  };
  const struct {
    int before;
    std::int64_t account;
    bool found;
  } cases[] = {
      {0, 100, true}, {98, 100, true}, {100, 100, false}, {5000, 100, false}, {5000, 6000, true}};
  for (const auto& c : cases) {
    Budget budget(1);
    budget.records = c.account;
    const auto frame = picture::metafile::WmfFrame(file(c.before), budget);
    EXPECT_EQ(frame.has_value(), c.found) << c.before;
    if (c.found) {
      // The search reads up to the first drawing record.
      EXPECT_EQ(c.account - budget.records, c.before + 2) << c.before;
      EXPECT_EQ(frame->device, QRectF(0, 0, 64, 48));
    } else {
      EXPECT_EQ(budget.records, 0) << c.before;
    }
  }
  // With the account of a whole play, a file of more records than that before its window is
  // refused.
  EXPECT_EQ(pictest::ErrorOf(picture::DecodeWmf, file(static_cast<int>(Budget(1).records))),
            "Metafile is not valid");
  EXPECT_EQ(pictest::ErrorOf(picture::DecodeWmf, file(1000)), "(no error)");
}

}  // namespace
