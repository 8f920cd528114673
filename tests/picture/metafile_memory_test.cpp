// What a metafile costs in memory does not grow with the lists its records claim: each case
// plays a file whose records hold millions of entries in a child process given little more
// address space than the file itself, which a container sized by a record's count would exceed.
// Running out of memory in a play is reported as such, and no part of the drawing is left.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <string>

#include "model/canvas.h"
#include "picture/decoders.h"
#include "picture/loader.h"
#include "picture/metafile/emf_records.h"
#include "picture/metafile/wmf_records.h"
#include "tests/picture/metafile_builder.h"
#include "tests/picture/picture_text.h"

namespace {

#if !defined(__SANITIZE_ADDRESS__)

using mftest::Bytes;
using mftest::EmfBuilder;
using mftest::Put16;
using mftest::Put32;
using mftest::WmfBuilder;
using pictest::kBlue;
using pictest::kRed;
namespace emf = picture::emf;
namespace wmf = picture::wmf;

constexpr std::size_t kMB = std::size_t{1} << 20;

// Runs `body` in a child whose address space is what the process maps already plus `extra`
// bytes. The child's verdict: 0 when `body` held, 1 when it did not, 2 when it threw.
int InLimitedMemory(std::size_t extra, const std::function<bool()>& body) {
  const pid_t child = ::fork();
  if (child < 0) return -1;
  if (child == 0) {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    statm >> pages;
    rlimit limit{};
    ::getrlimit(RLIMIT_AS, &limit);
    limit.rlim_cur = static_cast<rlim_t>(pages) * ::sysconf(_SC_PAGESIZE) + extra;
    if (::setrlimit(RLIMIT_AS, &limit) != 0) ::_exit(3);
    int verdict = 2;
    try {
      verdict = body() ? 0 : 1;
    } catch (...) {
    }
    ::_exit(verdict);
  }
  int status = 0;
  if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// A red square, `list` (records of millions of entries), a blue square.
Bytes Emf(const std::function<void(EmfBuilder&)>& list) {
  EmfBuilder emf(64, 48);
  emf.Brush(1, 0, kRed).Select(1).Select(emf::kNullPen).Rectangle(0, 0, 10, 10);
  list(emf);
  emf.Brush(2, 0, kBlue).Select(2).Rectangle(20, 20, 30, 30);
  return emf.Build();
}

// EMR_POLYPOLYGON16 parameters: `count` figures of no points.
Bytes EmptyFigures(std::uint32_t count) {
  Bytes params(16, 0);
  Put32(params, count);
  Put32(params, 0);
  params.resize(params.size() + std::size_t{count} * 4, 0);
  return params;
}

// Whether `file` draws both squares into 64 x 48.
bool DrawsBothSquares(const Bytes& file) {
  model::Canvas canvas(64, 48);
  picture::DecodeWmf(file)->StretchDraw(canvas, {0, 0, 64, 48});
  return canvas.Pixel(5, 5) == kRed && canvas.Pixel(25, 25) == kBlue;
}

TEST(MetafileMemory, ListsOfMillionsOfEntriesAreReadWithoutBeingKept) {
  const auto figures = Emf([](EmfBuilder& e) { e.Raw(emf::kPolyPolygon16, EmptyFigures(4 << 20)); });
  // META_CREATEREGION of four million one-pixel rectangles in scans of 30000, filled.
  Bytes region;
  constexpr int kRects = 4 << 20;
  constexpr int kPerScan = 30000;
  const int scans = (kRects + kPerScan - 1) / kPerScan;
  for (int v : {0, 6, 0, 0, 0, scans, 2 * kPerScan, 0, 0, 64, 48}) {
    Put16(region, static_cast<std::uint16_t>(v));
  }
  for (int s = 0, left = kRects; s < scans; ++s) {
    const int here = std::min(left, kPerScan);
    left -= here;
    for (int v : {2 * here, 40, 41}) Put16(region, static_cast<std::uint16_t>(v));
    for (int i = 0; i < here; ++i) {
      Put16(region, static_cast<std::uint16_t>(i % 60));
      Put16(region, static_cast<std::uint16_t>(i % 60 + 1));
    }
    Put16(region, static_cast<std::uint16_t>(2 * here));
  }
  WmfBuilder w(0, 0, 64, 48);
  w.Brush(0, kRed).Brush(0, kBlue).Select(0).Rectangle(0, 0, 10, 10);
  w.Raw(wmf::kCreateRegion, region).Record(wmf::kFillRegion, {2, 0});
  w.Select(1).Rectangle(20, 20, 30, 30);
  const Bytes regionFile = w.Build();
  // EMR_FILLRGN of two million empty rectangles.
  const Bytes fill = Emf([](EmfBuilder& e) {
    constexpr std::uint32_t kCount = 2 << 20;
    Bytes params(16, 0);
    Put32(params, 32 + kCount * 16);
    Put32(params, 1);
    for (std::uint32_t v : {32u, 1u, kCount, kCount * 16, 0u, 0u, 0u, 0u}) Put32(params, v);
    params.resize(params.size() + std::size_t{kCount} * 16, 0);
    e.Raw(emf::kFillRgn, params);
  });
  const struct {
    const char* name;
    const Bytes& file;
  } cases[] = {
      {"poly-polygon figures", figures},
      {"region rectangles", regionFile},
      {"region fill rectangles", fill},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(DrawsBothSquares(c.file)) << c.name;
    // The decoder's copy of the file, and little more.
    EXPECT_EQ(InLimitedMemory(c.file.size() + 24 * kMB, [&] { return DrawsBothSquares(c.file); }),
              0)
        << c.name;
  }
}

TEST(MetafileMemory, RunningOutOfMemoryInAPlayIsReportedAndLeavesNothingDrawn) {
  // A polygon of a million points, which the points account allows: its play needs more
  // than the child has.
  const Bytes file = Emf([](EmfBuilder& e) {
    constexpr std::uint32_t kPoints = 1'000'000;
    Bytes params(16, 0);
    Put32(params, kPoints);
    for (std::uint32_t i = 0; i < kPoints; ++i) {
      Put16(params, static_cast<std::uint16_t>(i % 50));
      Put16(params, static_cast<std::uint16_t>(i % 40));
    }
    e.Raw(emf::kPolygon16, params);
  });
  EXPECT_EQ(InLimitedMemory(file.size() + 24 * kMB,
                            [&] {
                              model::Canvas canvas(64, 48);
                              canvas.FillRect({0, 0, 64, 48}, model::kBlack);
                              const auto picture = picture::DecodeEmf(file);
                              try {
                                picture->StretchDraw(canvas, {0, 0, 64, 48});
                              } catch (const picture::LoadError& e) {
                                return std::string(e.what()) == picture::kNotEnoughMemory &&
                                       canvas.Pixel(5, 5) == model::kWhite &&
                                       canvas.Pixel(63, 47) == model::kWhite;
                              }
                              return false;
                            }),
            0);
}

TEST(MetafileMemory, TheLoaderHandsItsBytesToTheMetafile) {
  // A 32 MB file loads and draws in a child with room for it once and a half.
  const Bytes file =
      Emf([](EmfBuilder& e) { e.Raw(emf::kPolyPolygon16, EmptyFigures(8 << 20)); });
  const std::filesystem::path path =
      std::filesystem::temp_directory_path() /
      ("dotwright-metafile-" + std::to_string(::getpid()) + ".emf");
  {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  }
  EXPECT_EQ(InLimitedMemory(file.size() * 3 / 2,
                            [&] {
                              const auto picture = picture::LoadPicture(path.string());
                              model::Canvas canvas(64, 48);
                              picture->StretchDraw(canvas, {0, 0, 64, 48});
                              return canvas.Pixel(25, 25) == kBlue;
                            }),
            0);
  std::filesystem::remove(path);
}

#endif

}  // namespace
