#include "model/canvas.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include "tests/support/raster_text.h"

namespace {

using model::Canvas;
using model::Rect;
using testsupport::RasterMatches;

// 'P' pen, 'B' brush, ' ' white (untouched).
const testsupport::Legend kLegend{{0xFFFFFF, ' '}, {0x0000FF, 'P'}, {0x00FF00, 'B'}};

Canvas Small(int w, int h) {
  Canvas c(w, h);
  c.SetPenColour(0x0000FF);
  c.SetBrushColour(0x00FF00);
  c.ResetDirty();
  return c;
}

TEST(Canvas, NewRasterIsWhiteAndWhollyDirty) {
  Canvas c(7, 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 7; ++x) EXPECT_EQ(c.Pixel(x, y), 0xFFFFFFu);
  EXPECT_EQ(c.DirtyRect(), (Rect{0, 0, 7, 3}));
}

// Rasters of several megabytes take their memory from large pages: just below, at and above the
// size where that starts, and the board surface itself, a raster is white, keeps what is written
// at its far corner, and copies and moves whole.
TEST(Canvas, LargeRastersBehaveAsSmallOnes) {
  const struct {
    int w, h;
  } sizes[] = {{1023, 512}, {1024, 512}, {1025, 512}, {2560, 1920}};
  for (const auto& size : sizes) {
    Canvas c(size.w, size.h);
    EXPECT_EQ(c.Pixel(0, 0), 0xFFFFFFu) << size.w;
    EXPECT_EQ(c.Pixel(size.w - 1, size.h - 1), 0xFFFFFFu) << size.w;
    c.SetPixel(size.w - 1, size.h - 1, 0x123456);
    Canvas copy = c;
    EXPECT_EQ(copy.Pixel(size.w - 1, size.h - 1), 0x123456u) << size.w;
    copy.SetPixel(0, 0, 0x000001);
    EXPECT_EQ(c.Pixel(0, 0), 0xFFFFFFu) << size.w;
    Canvas moved = std::move(copy);
    EXPECT_EQ(moved.Pixel(0, 0), 0x000001u) << size.w;
    c = moved;
    EXPECT_EQ(c.Pixel(0, 0), 0x000001u) << size.w;
  }
}

TEST(Canvas, ReadOutsideGivesInvalidColourAndWriteOutsideIsIgnored) {
  Canvas c(4, 4);
  c.ResetDirty();
  for (auto [x, y] : {std::pair{-1, 0}, {0, -1}, {4, 0}, {0, 4}, {-100000, 100000}}) {
    EXPECT_EQ(c.Pixel(x, y), model::kInvalidColour) << x << "," << y;
    c.SetPixel(x, y, 0x123456);
  }
  EXPECT_TRUE(c.DirtyRect().Empty());
}

TEST(Canvas, PixelKeepsExactColourAndMemoryIsRgbx) {
  Canvas c(2, 1);
  c.SetPixel(1, 0, 0x00CC8844);
  EXPECT_EQ(c.Pixel(1, 0), 0x00CC8844u);
  // Byte order R, G, B, X with X opaque: the window wraps this memory in an RGBX8888 image.
  unsigned char bytes[4];
  std::memcpy(bytes, c.Bits() + 1, 4);
  EXPECT_EQ(bytes[0], 0x44);
  EXPECT_EQ(bytes[1], 0x88);
  EXPECT_EQ(bytes[2], 0xCC);
  EXPECT_EQ(bytes[3], 0xFF);
  // A colour with a high byte set is stored without it.
  c.SetPixel(0, 0, 0xAB000001);
  EXPECT_EQ(c.Pixel(0, 0), 0x000001u);
}

struct RectCase {
  const char* name;
  Rect r;
  std::vector<std::string> rows;  // the 7 x 5 raster afterwards
};

TEST(Canvas, RectangleCoverage) {
  const RectCase cases[] = {
      {"fill and outline, right and bottom excluded",
       {1, 1, 6, 5},
       {"       ", " PPPPP ", " PBBBP ", " PBBBP ", " PPPPP "}},
      {"reversed corners are swapped",
       {6, 5, 1, 1},
       {"       ", " PPPPP ", " PBBBP ", " PBBBP ", " PPPPP "}},
      {"two by two is all outline",
       {2, 1, 4, 3},
       {"       ", "  PP   ", "  PP   ", "       ", "       "}},
      {"one column", {3, 0, 4, 3}, {"   P   ", "   P   ", "   P   ", "       ", "       "}},
      {"one row", {1, 2, 5, 3}, {"       ", "       ", " PPPP  ", "       ", "       "}},
      {"no pixels", {3, 3, 3, 5}, {"       ", "       ", "       ", "       ", "       "}},
      {"clipped left and top: outline off the raster",
       {-1, -1, 4, 3},
       {"BBBP   ", "BBBP   ", "PPPP   ", "       ", "       "}},
      {"clipped right and bottom",
       {4, 2, 9, 9},
       {"       ", "       ", "    PPP", "    PBB", "    PBB"}},
      {"wholly outside", {8, 0, 12, 4}, {"       ", "       ", "       ", "       ", "       "}},
      {"covering everything",
       {-1, -1, 8, 6},
       {"BBBBBBB", "BBBBBBB", "BBBBBBB", "BBBBBBB", "BBBBBBB"}},
  };
  for (const RectCase& tc : cases) {
    Canvas c = Small(7, 5);
    c.Rectangle(tc.r.left, tc.r.top, tc.r.right, tc.r.bottom);
    EXPECT_TRUE(RasterMatches(c, 0, 0, tc.rows, kLegend)) << tc.name;
  }
}

TEST(Canvas, RectangleMarksOnlyTheClippedAreaDirty) {
  Canvas c = Small(10, 10);
  c.Rectangle(2, 3, 5, 7);
  EXPECT_EQ(c.DirtyRect(), (Rect{2, 3, 5, 7}));
  c.Rectangle(8, -4, 20, 2);
  EXPECT_EQ(c.DirtyRect(), (Rect{2, 0, 10, 7}));
  c.ResetDirty();
  c.Rectangle(20, 20, 30, 30);
  EXPECT_TRUE(c.DirtyRect().Empty());
}

struct LineCase {
  const char* name;
  int x0, y0, x1, y1;
  std::vector<std::string> rows;  // the 7 x 5 raster afterwards
};

TEST(Canvas, LineExcludesEndPointInEveryDirection) {
  const LineCase cases[] = {
      {"right", 1, 2, 5, 2, {"       ", "       ", " PPPP  ", "       ", "       "}},
      {"left", 5, 2, 1, 2, {"       ", "       ", "  PPPP ", "       ", "       "}},
      {"down", 3, 0, 3, 4, {"   P   ", "   P   ", "   P   ", "   P   ", "       "}},
      {"up", 3, 4, 3, 0, {"       ", "   P   ", "   P   ", "   P   ", "   P   "}},
      {"diagonal", 0, 0, 4, 4, {"P      ", " P     ", "  P    ", "   P   ", "       "}},
      {"reverse diagonal", 4, 4, 0, 0, {"       ", " P     ", "  P    ", "   P   ", "    P  "}},
      {"shallow", 0, 0, 6, 2, {"PP     ", "  PPP  ", "     P ", "       ", "       "}},
      {"steep up-left", 2, 4, 0, 0, {"       ", "P      ", " P     ", " P     ", "  P    "}},
      {"zero length draws nothing",
       3,
       3,
       3,
       3,
       {"       ", "       ", "       ", "       ", "       "}},
      {"clipped", -3, 1, 10, 1, {"       ", "PPPPPPP", "       ", "       ", "       "}},
      {"clipped diagonal", -2, -2, 9, 9, {"P      ", " P     ", "  P    ", "   P   ", "    P  "}},
      {"outside", 0, 7, 6, 7, {"       ", "       ", "       ", "       ", "       "}},
  };
  for (const LineCase& tc : cases) {
    Canvas c = Small(7, 5);
    c.MoveTo(tc.x0, tc.y0);
    c.LineTo(tc.x1, tc.y1);
    EXPECT_TRUE(RasterMatches(c, 0, 0, tc.rows, kLegend)) << tc.name;
  }
}

TEST(Canvas, LineToContinuesFromTheLastEndPoint) {
  Canvas c = Small(7, 5);
  c.MoveTo(1, 1);
  c.LineTo(5, 1);
  c.LineTo(5, 4);
  c.LineTo(1, 4);
  EXPECT_TRUE(
      RasterMatches(c, 0, 0, {"       ", " PPPPP ", "     P ", "     P ", "  PPPP "}, kLegend));
  EXPECT_EQ(c.DirtyRect(), (Rect{1, 1, 6, 5}));
}

TEST(Canvas, FillRectClipsAndIgnoresPenAndBrush) {
  Canvas c = Small(5, 3);
  c.FillRect({-2, 1, 3, 9}, 0x0000FF);
  EXPECT_TRUE(RasterMatches(c, 0, 0, {"     ", "PPP  ", "PPP  "}, kLegend));
  EXPECT_EQ(c.DirtyRect(), (Rect{0, 1, 3, 3}));
}

#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
// Fresh memory straight from the system, none of its pages mapped yet.
struct Fresh {
  explicit Fresh(std::size_t size) : bytes(size) {
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    block = p == MAP_FAILED ? nullptr : static_cast<unsigned char*>(p);
  }
  ~Fresh() {
    if (block) munmap(block, bytes);
  }
  // How many of the pages in [from, from + size) are mapped.
  std::size_t Mapped(std::size_t from, std::size_t size) const {
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    std::vector<unsigned char> in((size + page - 1) / page);
    if (mincore(block + from, size, in.data()) != 0) return 0;
    std::size_t mapped = 0;
    for (unsigned char p : in) mapped += p & 1;
    return mapped;
  }
  std::size_t bytes;
  unsigned char* block;
};

TEST(PagesAhead, MapsEveryWholePageOfALargeBlockAndChangesNoByte) {
  const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  // A block that begins and ends inside a page, as one from the heap does, with bytes written
  // before: in its first and last pages, in its middle and in the middle of a page.
  const std::size_t bytes = model::PagesAhead::kFrom + 3 * page;
  Fresh memory(bytes + 2 * page);
  ASSERT_NE(memory.block, nullptr);
  unsigned char* block = memory.block + 100;
  const std::size_t written[] = {0, 7, bytes / 2, bytes / 2 + page / 2, bytes - 1};
  for (std::size_t at : written) block[at] = static_cast<unsigned char>(at % 251 + 1);
  ASSERT_LT(memory.Mapped(page, bytes - page), bytes / page / 2);
  {
    model::PagesAhead ahead(block, bytes);
    EXPECT_TRUE(ahead.Finish());
  }
  // Every page wholly inside the block.
  EXPECT_EQ(memory.Mapped(page, bytes - page), (bytes - page) / page);
  for (std::size_t at = 0; at < bytes; at += page / 2) {
    const bool set = std::find(std::begin(written), std::end(written), at) != std::end(written);
    ASSERT_EQ(block[at], set ? at % 251 + 1 : 0) << at;
  }
  for (std::size_t at : written) EXPECT_EQ(block[at], at % 251 + 1) << at;
  // Beyond the block, nothing.
  EXPECT_EQ(memory.Mapped(bytes + page, page), 0u);
}

TEST(PagesAhead, LeavesSmallBlocksAndMayBeDestroyedAtOnce) {
  Fresh memory(model::PagesAhead::kFrom);
  ASSERT_NE(memory.block, nullptr);
  {
    model::PagesAhead small(memory.block, model::PagesAhead::kFrom - 1);
    EXPECT_FALSE(small.Finish());
  }
  EXPECT_EQ(memory.Mapped(0, memory.bytes), 0u);
  // Destroyed at once, its thread gone with it: the bytes written stay, the rest reads zero.
  const std::size_t last = memory.bytes - 1;
  memory.block[5] = 9;
  memory.block[last] = 7;
  for (int i = 0; i < 3; ++i) model::PagesAhead(memory.block, memory.bytes);
  const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  for (std::size_t at = 0; at < memory.bytes; at += page)
    ASSERT_EQ(memory.block[at + 5], at == 0 ? 9 : 0) << at;
  EXPECT_EQ(memory.block[last], 7);
}
#endif

#if defined(__linux__)
// The flags of the mapping that holds `p`, as /proc/self/smaps gives them.
std::string MappingFlags(const void* p) {
  std::ifstream smaps("/proc/self/smaps");
  const auto at = reinterpret_cast<std::uintptr_t>(p);
  bool inside = false;
  for (std::string line; std::getline(smaps, line);) {
    std::uintptr_t from = 0, to = 0;
    char dash = 0;
    std::istringstream head(line);
    if (head >> std::hex >> from >> dash >> to && dash == '-') inside = from <= at && at < to;
    if (inside && line.rfind("VmFlags:", 0) == 0) return line.substr(8) + ' ';
  }
  return {};
}

TEST(AllocateRaster, LargePagesAreAskedForUpTo64MegabytesOnly) {
  struct Case {
    std::size_t bytes;
    bool large;
  };
  const Case cases[] = {{std::size_t{4} << 20, true},
                        {(std::size_t{64} << 20) - 1, true},
                        {std::size_t{64} << 20, false},
                        {std::size_t{200} << 20, false}};
  for (const Case& c : cases) {
    void* raster = model::AllocateRaster(c.bytes);
    const std::string flags = MappingFlags(raster);
    model::FreeRaster(raster, c.bytes);
    ASSERT_FALSE(flags.empty()) << c.bytes;
    // "hg": large pages asked for; "dc": left out of forked children.
    EXPECT_EQ(flags.find(" hg ") != std::string::npos, c.large) << c.bytes << flags;
    EXPECT_NE(flags.find(" dc "), std::string::npos) << c.bytes << flags;
  }
}
#endif

TEST(Rect, UnionIgnoresEmptyAndIntersectionOfDisjointIsEmpty) {
  const Rect a{0, 0, 2, 2};
  EXPECT_EQ(a.United(Rect{}), a);
  EXPECT_EQ(Rect{}.United(a), a);
  EXPECT_EQ(a.United({5, 5, 6, 9}), (Rect{0, 0, 6, 9}));
  EXPECT_TRUE(a.Intersected({2, 0, 4, 2}).Empty());
  EXPECT_EQ(a.Intersected({1, 1, 4, 4}), (Rect{1, 1, 2, 2}));
}

}  // namespace
