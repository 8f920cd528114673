// Records cut short of the fields they need are skipped whole, in both metafile formats: a
// missing value is never read as zero.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "model/canvas.h"
#include "picture/decoders.h"
#include "picture/metafile/emf_records.h"
#include "picture/metafile/wmf_records.h"
#include "tests/picture/metafile_builder.h"
#include "tests/picture/picture_text.h"

namespace {

using mftest::Bytes;
using mftest::EmfBuilder;
using mftest::WmfBuilder;
using pictest::kBlue;
using pictest::kGreen;
using pictest::kRed;
namespace emf = picture::emf;
namespace wmf = picture::wmf;

constexpr int kSize = 40;

model::Canvas Draw(const Bytes& file) {
  model::Canvas canvas(kSize, kSize);
  picture::DecodeWmf(file)->StretchDraw(canvas, {0, 0, kSize, kSize});
  return canvas;
}

// The first pixel where two canvases differ, as "x,y"; empty when they are the same.
std::string FirstDifference(const model::Canvas& a, const model::Canvas& b) {
  for (int y = 0; y < kSize; ++y) {
    for (int x = 0; x < kSize; ++x) {
      if (a.Pixel(x, y) != b.Pixel(x, y)) return std::to_string(x) + "," + std::to_string(y);
    }
  }
  return {};
}

// A pentagram: its middle is inside by the winding rule and a hole by the alternate one.
const std::vector<std::pair<int, int>> kStar = {{20, 0}, {32, 38}, {1, 14}, {39, 14}, {8, 38}};

// A record cut short between a set-up and a drawing. Played three ways: without the record,
// with it cut short, and with the missing fields written as zeros. The short record must change
// nothing; the zeros must change the picture, which shows that the case would catch a reader
// that takes missing values for zeros.
template <typename Builder, typename Word>
struct ShortCase {
  const char* name;
  std::function<void(Builder&)> before;
  std::uint32_t type;
  std::vector<Word> given;  // the fields the short record holds
  std::size_t needed;       // the fields the record type needs
  std::function<void(Builder&)> after;
};

template <typename Builder, typename Word, typename Make>
void CheckShortRecords(const std::vector<ShortCase<Builder, Word>>& cases, Make make) {
  for (const auto& c : cases) {
    const auto play = [&](int variant) {  // 0 without, 1 cut short, 2 filled with zeros
      Builder b = make();
      c.before(b);
      std::vector<Word> fields = c.given;
      if (variant == 2) fields.resize(c.needed, 0);
      if (variant != 0) b.Fields(c.type, fields);
      c.after(b);
      return Draw(b.Build());
    };
    const model::Canvas without = play(0);
    EXPECT_EQ(FirstDifference(play(1), without), "") << c.name;
    EXPECT_NE(FirstDifference(play(2), without), "") << c.name;
  }
}

// Builders that write a record from a vector of fields.
struct Emf : EmfBuilder {
  Emf() : EmfBuilder(kSize, kSize) {}
  void Fields(std::uint32_t type, const std::vector<std::uint32_t>& fields) {
    Bytes params;
    for (std::uint32_t v : fields) mftest::Put32(params, v);
    Raw(type, params);
  }
};
struct Wmf : WmfBuilder {
  Wmf() : WmfBuilder(0, 0, kSize, kSize) {}
  void Fields(std::uint32_t function, const std::vector<std::uint16_t>& fields) {
    Bytes params;
    for (std::uint16_t v : fields) mftest::Put16(params, v);
    Raw(static_cast<std::uint16_t>(function), params);
  }
};

TEST(RecordSize, EmfRecordsCutShortAreSkipped) {
  const auto redBrush = [](Emf& e) { e.Brush(1, 0, kRed).Select(1).Select(emf::kNullPen); };
  const auto fill = [&](Emf& e) {
    redBrush(e);
    e.Rectangle(0, 0, kSize, kSize);
  };
  const std::vector<ShortCase<Emf, std::uint32_t>> cases = {
      {"background mode",
       [](Emf& e) {
         e.Record(emf::kSetBkColor, {kGreen}).Brush(1, 2, kBlue, 0).Select(1);
         e.Select(emf::kNullPen);
       },
       emf::kSetBkMode,
       {},
       1,
       [](Emf& e) { e.Rectangle(0, 0, kSize, kSize); }},
      {"window origin given its x only",
       [](Emf& e) {
         e.Record(emf::kSetWindowOrgEx, {2, 2});
       },
       emf::kSetWindowOrgEx,
       {5},
       2,
       [&](Emf& e) {
         redBrush(e);
         e.Rectangle(2, 2, 12, 12);
       }},
      {"fill mode",
       [](Emf& e) { e.Record(emf::kSetPolyFillMode, {2}); },
       emf::kSetPolyFillMode,
       {},
       1,
       [&](Emf& e) {
         redBrush(e);
         e.Poly(emf::kPolygon, kStar);
       }},
      {"mix mode", [](Emf& e) { e.Record(emf::kSetRop2, {6}); }, emf::kSetRop2, {}, 1, fill},
      {"world transform without its offsets",
       [](Emf&) {},
       emf::kSetWorldTransform,
       {EmfBuilder::F(2), 0, 0, EmfBuilder::F(2)},
       6,
       [&](Emf& e) {
         redBrush(e);
         e.Rectangle(2, 2, 9, 9);
       }},
      {"clipping to the path without its mode",
       [](Emf& e) {
         e.Brush(1, 0, kRed).Select(1).Record(emf::kBeginPath, {}).Rectangle(0, 0, 20, 20);
         e.Record(emf::kEndPath, {});
       },
       emf::kSelectClipPath,
       {},
       1,
       [](Emf& e) {
         e.Record(emf::kFillPath, {0, 0, 0, 0});
       }},
  };
  CheckShortRecords(cases, [] { return Emf(); });
}

TEST(RecordSize, WmfRecordsCutShortAreSkipped) {
  // Objects take the lowest free slot: a create that is skipped leaves its slot to the next.
  const auto selectSlot1 = [](Wmf& w) {
    w.Brush(0, kBlue).Select(1).Rectangle(0, 0, kSize, kSize);
  };
  const auto redBrush = [](Wmf& w) { w.Brush(0, kRed).Select(0); };
  const std::vector<ShortCase<Wmf, std::uint16_t>> cases = {
      {"background mode",
       [](Wmf& w) {
         w.Record(wmf::kSetBkColor, {static_cast<std::int16_t>(kGreen & 0xFFFF),
                                     static_cast<std::int16_t>(kGreen >> 16)});
         w.Brush(2, kBlue, 0).Select(0);
       },
       wmf::kSetBkMode,
       {},
       1,
       [](Wmf& w) { w.Rectangle(0, 0, kSize, kSize); }},
      {"fill mode",
       [](Wmf& w) { w.Record(wmf::kSetPolyFillMode, {2}); },
       wmf::kSetPolyFillMode,
       {},
       1,
       [&](Wmf& w) {
         redBrush(w);
         w.Polygon(kStar);
       }},
      {"mix mode",
       [](Wmf& w) { w.Record(wmf::kSetRop2, {6}); },
       wmf::kSetRop2,
       {},
       1,
       [&](Wmf& w) {
         redBrush(w);
         w.Rectangle(0, 0, kSize, kSize);
       }},
      {"pen", redBrush, wmf::kCreatePenIndirect, {}, 5, selectSlot1},
      {"brush", redBrush, wmf::kCreateBrushIndirect, {1}, 4, selectSlot1},
      {"font", redBrush, wmf::kCreateFontIndirect, {12, 0}, 9, selectSlot1},
      {"region", redBrush, wmf::kCreateRegion, {0, 6, 0}, 11, selectSlot1},
      {"pattern brush", redBrush, wmf::kDibCreatePatternBrush, {5}, 2, selectSlot1},
  };
  CheckShortRecords(cases, [] { return Wmf(); });
}

}  // namespace
