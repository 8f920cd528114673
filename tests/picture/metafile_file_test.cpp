// A metafile loaded from a file plays from the file, a window at a time, and draws exactly what
// the same bytes draw from memory, records far larger than the windows included. The file is kept
// open: renaming or removing it changes nothing, a file overwritten in place plays as it is then,
// and one cut short after loading ends its records where the bytes end.

#include <unistd.h>

#include <gtest/gtest.h>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "model/canvas.h"
#include "picture/decoders.h"
#include "picture/metafile/emf_records.h"
#include "picture/metafile/metafile_picture.h"
#include "picture/metafile/source.h"
#include "picture/metafile/wmf_records.h"
#include "picture/picture.h"
#include "tests/picture/bmp_builder.h"
#include "tests/picture/metafile_builder.h"
#include "tests/picture/picture_text.h"

namespace {

namespace fs = std::filesystem;
using mftest::Bytes;
using mftest::EmfBuilder;
using mftest::Put16;
using mftest::Put32;
using mftest::WmfBuilder;
using pictest::kBlue;
using pictest::kRed;
using picture::metafile::RecordFetcher;
namespace emf = picture::emf;
namespace wmf = picture::wmf;

// A destination on a canvas.
struct Target {
  int canvasWidth;
  int canvasHeight;
  model::Rect dest;
};
// The picture's own size, stretched, a size larger than the frame, and one partly off the canvas.
constexpr Target kTargets[] = {
    {64, 48, {0, 0, 64, 48}},
    {40, 90, {3, 2, 20, 87}},
    {320, 240, {0, 0, 320, 240}},
    {64, 48, {-10, -5, 50, 40}},
};

// The canvas after drawing `picture` into `target`, over a canvas of a colour no picture draws.
model::Canvas Drawn(const picture::Picture& picture, const Target& target) {
  model::Canvas canvas(target.canvasWidth, target.canvasHeight);
  canvas.Fill(pictest::kStale);
  picture.StretchDraw(canvas, target.dest);
  return canvas;
}

// The first pixel at which the canvases differ, as "x,y"; empty when none does.
std::string FirstDifference(const model::Canvas& a, const model::Canvas& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return "size";
  for (int y = 0; y < a.Height(); ++y) {
    for (int x = 0; x < a.Width(); ++x) {
      if (a.Pixel(x, y) != b.Pixel(x, y)) return std::to_string(x) + "," + std::to_string(y);
    }
  }
  return {};
}

// A red square, what `middle` adds, a blue square: the squares show how far a play got.
Bytes Emf(const std::function<void(EmfBuilder&)>& middle) {
  EmfBuilder e(64, 48);
  e.Brush(1, 0, kRed).Select(1).Select(emf::kNullPen).Rectangle(0, 0, 10, 10);
  middle(e);
  e.Brush(2, 0, kBlue).Select(2).Rectangle(20, 20, 30, 30);
  return e.Build();
}
// The same for a WMF: objects 0 and 1 are the red and blue brushes, the middle's own come after.
Bytes Wmf(const std::function<void(WmfBuilder&)>& middle, bool placeable = true) {
  WmfBuilder w(0, 0, 64, 48, 96, placeable);
  if (!placeable) w.WindowOrg(0, 0).WindowExt(64, 48);
  w.Brush(0, kRed).Brush(0, kBlue).Select(0).Rectangle(0, 0, 10, 10);
  middle(w);
  w.Select(1).Rectangle(20, 20, 30, 30);
  return w.Build();
}

// A pattern over a bitmap's rows, so that a byte read from the wrong place shows.
Bytes Noise(std::size_t n, std::uint32_t seed) {
  Bytes bytes(n);
  for (std::uint8_t& b : bytes) b = static_cast<std::uint8_t>((seed = seed * 69069 + 1) >> 24);
  return bytes;
}

// EMR_POLYGON of `count` points: all but the last four jitter about one spot, the last four make
// a rectangle, so that the drawing depends on the points at the record's end.
Bytes LongPolygon(int count) {
  std::vector<std::pair<int, int>> points;
  for (int i = 0; i < count - 4; ++i) points.emplace_back(40 + i % 3, 5 + i % 2);
  for (auto p : {std::pair{36, 4}, {60, 4}, {60, 44}, {36, 44}}) points.push_back(p);
  return Emf([&](EmfBuilder& e) { e.Poly(emf::kPolygon, points); });
}

// EMR_POLYPOLYGON16 of `figures` small triangles along the top, the last a large one.
Bytes ManyFigures(int figures) {
  Bytes params(16, 0);
  Put32(params, static_cast<std::uint32_t>(figures));
  Put32(params, static_cast<std::uint32_t>(figures) * 3);
  for (int i = 0; i < figures; ++i) Put32(params, 3);
  for (int i = 0; i < figures - 1; ++i) {
    const int x = (i * 5) % 60;
    for (int v : {x, 0, x + 3, 0, x, 3}) Put16(params, static_cast<std::uint16_t>(v));
  }
  for (int v : {34, 12, 62, 46, 34, 46}) Put16(params, static_cast<std::uint16_t>(v));
  return Emf([&](EmfBuilder& e) { e.Raw(emf::kPolyPolygon16, params); });
}

// RGNDATA of `empty` empty rectangles followed by the given ones.
Bytes RegionData(int empty, const std::vector<std::array<int, 4>>& rects) {
  const auto count = static_cast<std::uint32_t>(empty + static_cast<int>(rects.size()));
  Bytes out;
  for (std::uint32_t v : {32u, 1u, count, count * 16, 0u, 0u, 0u, 0u}) Put32(out, v);
  for (int i = 0; i < empty; ++i) {
    for (int v : {i % 50, 7, i % 50, 9}) Put32(out, static_cast<std::uint32_t>(v));
  }
  for (const auto& r : rects) {
    for (int v : r) Put32(out, static_cast<std::uint32_t>(v));
  }
  return out;
}

// EMR_FILLRGN with the green-ish brush 3 of a region of `empty` empty rectangles, then two.
Bytes LongRegionFill(int empty) {
  return Emf([&](EmfBuilder& e) {
    e.Brush(3, 0, 0x208040);
    const Bytes data = RegionData(empty, {{40, 2, 60, 12}, {44, 30, 50, 46}});
    Bytes params(16, 0);
    Put32(params, static_cast<std::uint32_t>(data.size()));
    Put32(params, 3);
    params.insert(params.end(), data.begin(), data.end());
    e.Raw(emf::kFillRgn, params);
  });
}

// META_CREATEREGION of `emptyScans` scans of 30000 empty pairs, then a scan of three pairs.
Bytes WmfRegion(int emptyScans) {
  constexpr int kPairs = 30000;
  Bytes region;
  for (int v : {0, 6, 0, 0, 0, emptyScans + 1, 2 * kPairs, 0, 0, 64, 48}) {
    Put16(region, static_cast<std::uint16_t>(v));
  }
  for (int s = 0; s < emptyScans; ++s) {
    for (int v : {2 * kPairs, 2 * s, 2 * s + 1}) Put16(region, static_cast<std::uint16_t>(v));
    for (int i = 0; i < kPairs; ++i) {
      Put16(region, static_cast<std::uint16_t>(i % 60));
      Put16(region, static_cast<std::uint16_t>(i % 60));
    }
    Put16(region, 2 * kPairs);
  }
  for (int v : {6, 33, 47, 36, 41, 44, 50, 55, 63, 6}) Put16(region, static_cast<std::uint16_t>(v));
  return region;
}

// The region filled with the red brush, then selected as the clipping region and painted over
// with the blue one: its rectangles are read again at each use, long after its record.
Bytes LongWmfRegion(int emptyScans, bool placeable = true) {
  return Wmf(
      [&](WmfBuilder& w) {
        w.Raw(wmf::kCreateRegion, WmfRegion(emptyScans)).Record(wmf::kFillRegion, {2, 0});
        w.Select(2).Select(1).Rectangle(0, 0, 64, 48);
      },
      placeable);
}

// EMR_STRETCHDIBITS of a 24-bit bitmap of noise, `width` x `height`.
Bytes LargeBitmapEmf(int width, int height) {
  const int stride = (width * 3 + 3) / 4 * 4;
  int bitsOffset = 0;
  const Bytes dib = mftest::PackedDib(
      width, height, 24, {}, Noise(static_cast<std::size_t>(stride) * height, 11), &bitsOffset);
  return Emf([&](EmfBuilder& e) { e.StretchDib(30, 0, 34, 40, dib, bitsOffset); });
}

// META_STRETCHDIB of an 8-bit bitmap of noise with a palette of 256 colours.
Bytes LargeBitmapWmf(int width, int height) {
  std::vector<model::Colour> palette;
  for (int i = 0; i < 256; ++i) {
    palette.push_back(model::Rgb(static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i * 7),
                                 static_cast<std::uint8_t>(255 - i)));
  }
  const int stride = (width + 3) / 4 * 4;
  const Bytes dib = mftest::PackedDib(width, height, 8, palette,
                                      Noise(static_cast<std::size_t>(stride) * height, 5));
  Bytes params;
  for (int v : {0x0020, 0x00CC, 0, height, width, 0, 0, 40, 34, 0, 30}) {
    Put16(params, static_cast<std::uint16_t>(v));
  }
  params.insert(params.end(), dib.begin(), dib.end());
  return Wmf([&](WmfBuilder& w) { w.Raw(wmf::kStretchDib, params); });
}

// EMR_EXTTEXTOUTW of `chars` characters with their advances, of which the first are drawn.
Bytes LongText(int chars) {
  std::u16string text;
  for (int i = 0; i < chars; ++i) text.push_back(static_cast<char16_t>(u'a' + i % 26));
  std::vector<int> dx;
  for (int i = 0; i < chars; ++i) dx.push_back(4 + i % 5);
  return Emf([&](EmfBuilder& e) {
    e.Font(4, -14, "DejaVu Sans").Select(4).Record(emf::kSetTextColor, {0x00AA00});
    e.Text(2, 12, text, 0, dx);
  });
}

struct FileCase {
  std::string name;
  Bytes file;
  bool large;  // holds a record larger than the reads of a play
};

const std::vector<FileCase>& Cases() {
  static const std::vector<FileCase> cases = [] {
    std::vector<FileCase> c;
    c.push_back({"shapes and pens", Emf([](EmfBuilder& e) {
                   e.Pen(5, 0, 3, 0x0000FF).Select(5).Ellipse(30, 2, 62, 30);
                   e.MoveTo(0, 47).LineTo(63, 12);
                 }),
                 false});
    c.push_back({"pattern brush", Emf([](EmfBuilder& e) {
                   int bitsOffset = 0;
                   const Bytes dib = mftest::PackedDib(4, 4, 24, {}, Noise(48, 3), &bitsOffset);
                   e.Raw(emf::kCreateDibPatternBrushPt, mftest::PatternBrush(dib, bitsOffset));
                   e.Select(1).Rectangle(33, 3, 61, 45);
                 }),
                 false});
    c.push_back({"text", LongText(40), false});
    c.push_back({"a WMF without a placeable header", LongWmfRegion(1, false), false});
    c.push_back({"a WMF that declares no window",
                 WmfBuilder(0, 0, 0, 0, 96, false)
                     .Brush(0, kRed)
                     .Select(0)
                     .Rectangle(5, 5, 50, 30)
                     .Polygon({{0, 0}, {20, 5}, {10, 20}})
                     .Build(),
                 false});
    c.push_back({"a polygon of 200,000 points", LongPolygon(200'000), true});
    c.push_back({"a poly-polygon of 150,000 figures", ManyFigures(150'000), true});
    c.push_back({"a region fill of 400,000 rectangles", LongRegionFill(400'000), true});
    c.push_back({"a WMF region of 300,000 rectangles", LongWmfRegion(10), true});
    c.push_back({"an EMF bitmap of 1.4 MB", LargeBitmapEmf(800, 600), true});
    c.push_back({"a WMF bitmap of 1.2 MB", LargeBitmapWmf(1200, 1000), true});
    c.push_back({"text of 600,000 characters", LongText(600'000), true});
    // The producers' files.
    const fs::path data = DOTWRIGHT_TEST_DATA;
    for (const char* name : {"metafile/shapes.emf", "metafile/shapes.wmf", "metafile/mixed.emf",
                             "metafile/mixed.wmf"}) {
      std::ifstream in(data / name, std::ios::binary);
      if (in) c.push_back({name, Bytes(std::istreambuf_iterator<char>(in), {}), false});
    }
    return c;
  }();
  return cases;
}

// A fresh folder for the test's files, removed afterwards.
class MetafileFile : public testing::Test {
 protected:
  void SetUp() override {
    m_dir =
        fs::temp_directory_path() / ("dotwright-mfile-" + std::to_string(::getpid()) + "-" +
                                     testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
  }
  void TearDown() override { fs::remove_all(m_dir); }

  std::string Write(const std::string& name, const Bytes& bytes) {
    const fs::path path = m_dir / name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path.string();
  }

  fs::path m_dir;
};

std::string Extension(const Bytes& file) {
  return file.size() >= 4 && file[0] == 1 && file[1] == 0 && file[2] == 0 && file[3] == 0 ? ".emf"
                                                                                          : ".wmf";
}

// Whether `file` takes its frame from its header (an EMF, or a WMF with a placeable header).
bool Framed(const Bytes& file) {
  return Extension(file) == ".emf" || (file[0] == 0xD7 && file[1] == 0xCD && file[2] == 0xC6);
}

// Where each record of `file` starts, and the file's end.
std::vector<std::size_t> RecordStarts(const Bytes& file) {
  const auto u32 = [&](std::size_t at) {
    return std::size_t{file[at]} | std::size_t{file[at + 1]} << 8 |
           std::size_t{file[at + 2]} << 16 | std::size_t{file[at + 3]} << 24;
  };
  const bool isEmf = Extension(file) == ".emf";
  std::vector<std::size_t> starts;
  std::size_t at = isEmf ? 0 : (u32(0) == 0x9AC6CDD7 ? 22 : 0) + 18;
  while (at < file.size()) {
    starts.push_back(at);
    at += isEmf ? u32(at + 4) : u32(at) * 2;
  }
  starts.push_back(file.size());
  return starts;
}

// The size of the largest record of `file`.
std::size_t LargestRecord(const Bytes& file) {
  const std::vector<std::size_t> starts = RecordStarts(file);
  std::size_t largest = 0;
  for (std::size_t i = 0; i + 1 < starts.size(); ++i)
    largest = std::max(largest, starts[i + 1] - starts[i]);
  return largest;
}

TEST_F(MetafileFile, DrawsWhatTheSameBytesDrawFromMemoryAtEverySize) {
  for (const FileCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    if (c.large) {
      EXPECT_GT(LargestRecord(c.file), RecordFetcher::kWholeRecord);
    }
    const auto fromMemory = picture::DecodeWmf(c.file);
    const auto fromFile = picture::LoadPicture(Write("case" + Extension(c.file), c.file));
    ASSERT_NE(dynamic_cast<const picture::metafile::MetafilePicture*>(fromFile.get()), nullptr);
    EXPECT_EQ(fromFile->Width(), fromMemory->Width());
    EXPECT_EQ(fromFile->Height(), fromMemory->Height());
    for (const Target& t : kTargets) {
      const model::Canvas expected = Drawn(*fromMemory, t);
      EXPECT_EQ(FirstDifference(Drawn(*fromFile, t), expected), "")
          << t.dest.left << "," << t.dest.top << " " << t.dest.Width() << "x" << t.dest.Height();
    }
  }
}

TEST_F(MetafileFile, TheFileKeptOpenPlaysTheSameWhenRenamedOrRemoved) {
  for (const FileCase& c : Cases()) {
    if (!c.large) continue;
    SCOPED_TRACE(c.name);
    const std::string path = Write("kept" + Extension(c.file), c.file);
    const auto picture = picture::LoadPicture(path);
    const model::Canvas before = Drawn(*picture, kTargets[0]);
    fs::rename(path, path + ".old");
    EXPECT_EQ(FirstDifference(Drawn(*picture, kTargets[0]), before), "");
    fs::remove(path + ".old");
    Write("kept" + Extension(c.file), Bytes(c.file.size(), 0));  // another file by the old name
    EXPECT_EQ(FirstDifference(Drawn(*picture, kTargets[0]), before), "");
  }
}

TEST_F(MetafileFile, AFileCutShortAfterLoadingPlaysAsFarAsItGoes) {
  for (const FileCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    const std::vector<std::size_t> starts = RecordStarts(c.file);
    ASSERT_EQ(starts.back(), c.file.size());
    // Within each record of at most a fetch, at a record's start, in the middle of a larger one,
    // within the headers, and nothing at all.
    // Of the records: a few evenly spread, the largest and the one after it, and the last ones.
    std::size_t largest = 0;
    for (std::size_t i = 0; i + 1 < starts.size(); ++i) {
      if (starts[i + 1] - starts[i] > starts[largest + 1] - starts[largest]) largest = i;
    }
    std::vector<std::size_t> cuts = {0, 10};
    const std::size_t step = std::max<std::size_t>(1, starts.size() / 6);
    for (std::size_t i = 0; i + 1 < starts.size(); ++i) {
      if (i % step == 0 || i == largest || i == largest + 1 || i + 4 >= starts.size()) {
        cuts.push_back(starts[i]);
        cuts.push_back(starts[i] + (starts[i + 1] - starts[i]) / 2);
      }
    }
    for (const std::size_t cut : cuts) {
      SCOPED_TRACE(cut);
      const std::string path = Write("cut" + Extension(c.file), c.file);
      const auto picture = picture::LoadPicture(path);
      fs::resize_file(path, cut);
      const model::Canvas drawn = Drawn(*picture, kTargets[0]);
      // The record the cut falls in, and whether the cut is inside it.
      const auto next = std::upper_bound(starts.begin(), starts.end(), cut);
      const std::size_t recordStart = next == starts.begin() ? 0 : *(next - 1);
      const bool inside = cut != recordStart && next != starts.end();
      const bool largeRecord = inside && *next - recordStart > RecordFetcher::kWholeRecord;
      const Bytes before(c.file.begin(), c.file.begin() + static_cast<std::ptrdiff_t>(cut));
      std::unique_ptr<picture::Picture> cutInMemory;
      try {
        cutInMemory = picture::DecodeWmf(before);
      } catch (const picture::LoadError&) {
      }
      if (!Framed(c.file)) {
        // The shorter file would take another frame from its records: the play is only safe.
        continue;
      }
      if (largeRecord) {
        // The record plays as far as its bytes go, and the play ends with it.
        EXPECT_EQ(drawn.Pixel(5, 5), kRed);
        EXPECT_NE(drawn.Pixel(25, 25), kBlue);
      } else if (cutInMemory && !cutInMemory->Empty()) {
        // Ended where the shorter file ends.
        EXPECT_EQ(FirstDifference(drawn, Drawn(*cutInMemory, kTargets[0])), "");
      } else {
        // Nothing is left of the records: nothing is drawn.
        for (const auto& [x, y] : {std::pair{5, 5}, {25, 25}, {63, 47}}) {
          EXPECT_EQ(drawn.Pixel(x, y), model::kWhite) << x << "," << y;
        }
      }
    }
  }
}

// How many descriptors the process has open.
int OpenDescriptors() {
  return static_cast<int>(std::distance(fs::directory_iterator("/proc/self/fd"), {}));
}

TEST_F(MetafileFile, ThePictureClosesItsFileWhenItGoesOrTheFileIsRefused) {
  const std::string good = Write("good.emf", Emf([](EmfBuilder&) {}));
  const std::string bad = Write("bad.emf", Bytes(200, 7));
  const int before = OpenDescriptors();
  {
    const auto first = picture::LoadPicture(good);
    const auto second = picture::LoadPicture(good);
    EXPECT_EQ(OpenDescriptors(), before + 2);
  }
  EXPECT_EQ(OpenDescriptors(), before);
  EXPECT_THROW(picture::LoadPicture(bad), picture::LoadError);
  EXPECT_EQ(OpenDescriptors(), before);
}

TEST_F(MetafileFile, AFileChangedAfterLoadingPlaysAsItIsThen) {
  // The same records but for the colour of the first brush: the file overwritten in place plays
  // its new bytes at the next play; grown, it plays as it was.
  const Bytes red = Emf([](EmfBuilder&) {});
  const Bytes greenFile = [] {
    EmfBuilder e(64, 48);
    e.Brush(1, 0, 0x00FF00).Select(1).Select(emf::kNullPen).Rectangle(0, 0, 10, 10);
    e.Brush(2, 0, kBlue).Select(2).Rectangle(20, 20, 30, 30);
    return e.Build();
  }();
  ASSERT_EQ(greenFile.size(), red.size());
  const std::string path = Write("changed.emf", red);
  const auto picture = picture::LoadPicture(path);
  EXPECT_EQ(Drawn(*picture, kTargets[0]).Pixel(5, 5), kRed);
  {
    std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
    out.write(reinterpret_cast<const char*>(greenFile.data()),
              static_cast<std::streamsize>(greenFile.size()));
  }
  EXPECT_EQ(FirstDifference(Drawn(*picture, kTargets[0]),
                            Drawn(*picture::DecodeEmf(greenFile), kTargets[0])),
            "");
  // Records added past the size the file had when loaded are not played.
  const Bytes cut(greenFile.begin(), greenFile.end() - 20);  // without its end record
  const std::string grown = Write("grown.emf", cut);
  const auto grownPicture = picture::LoadPicture(grown);
  {
    std::ofstream out(grown, std::ios::binary | std::ios::app);
    const Bytes more =
        EmfBuilder(64, 48).Brush(3, 0, kRed).Select(3).Rectangle(0, 0, 64, 48).Build();
    out.write(reinterpret_cast<const char*>(more.data()) + 88,
              static_cast<std::streamsize>(more.size() - 88));
  }
  EXPECT_EQ(Drawn(*grownPicture, kTargets[0]).Pixel(40, 40), model::kWhite);
  EXPECT_EQ(Drawn(*grownPicture, kTargets[0]).Pixel(25, 25), kBlue);
}

}  // namespace
