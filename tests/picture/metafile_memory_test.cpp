// What a metafile costs in memory does not grow with the lists its records claim: each case
// plays a file whose records hold millions of entries in a child process whose resident memory
// may grow by little more than the file itself (decoded from memory), or by a fixed amount three
// times smaller than the file (loaded from disk, which is read as the records are played); a
// container sized by a record's count would exceed either. Running out of memory in a play is
// reported as such, and no part of the drawing is left.

#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <memory>
#include <string>

#include "model/canvas.h"
#include "picture/decoders.h"
#include "picture/loader.h"
#include "picture/metafile/emf_records.h"
#include "picture/metafile/wmf_records.h"
#include "tests/picture/child_process.h"
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

// The value of `field` in /proc/self/status, in kB; 0 when it is not there.
long StatusKB(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string name;
  long value = 0;
  while (status >> name) {
    if (name == field && status >> value) return value;
    status.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
  }
  return 0;
}

// Runs `body` in a child whose address space is what the process maps already plus `extra`
// bytes. The child's verdict: 0 when `body` held, 1 when it did not, 2 when it threw.
int InLimitedMemory(std::size_t extra, const std::function<bool()>& body) {
  return pictest::InChildWithHeadroom(extra, [&] {
    try {
      return body() ? 0 : 1;
    } catch (...) {
      return 2;
    }
  });
}

// Runs `body` in a child and gives how far its resident memory grew meanwhile at the most, in
// whole MB (at most 250); -1 when `body` did not hold, threw, or the child did not end well.
int PeakGrowthMB(const std::function<bool()>& body) {
  const pid_t child = ::fork();
  if (child < 0) return -1;
  if (child == 0) {
    // Free memory in the heap is given back, so that using it again counts.
    ::malloc_trim(0);
    { std::ofstream("/proc/self/clear_refs") << "5"; }  // the peak starts from here
    const long before = StatusKB("VmRSS:");
    bool held = false;
    try {
      held = body();
    } catch (...) {
    }
    const long peak = StatusKB("VmHWM:");
    ::_exit(held && before > 0 && peak > 0 ? static_cast<int>(std::min(250L, (peak - before) >> 10))
                                           : 255);
  }
  int status = 0;
  if (::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) == 255) {
    return -1;
  }
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

// META_CREATEREGION of `rects` one-pixel rectangles in scans of 30000, filled red, between the
// squares.
Bytes RegionFile(int rects) {
  Bytes region;
  constexpr int kPerScan = 30000;
  const int scans = (rects + kPerScan - 1) / kPerScan;
  for (int v : {0, 6, 0, 0, 0, scans, 2 * kPerScan, 0, 0, 64, 48}) {
    Put16(region, static_cast<std::uint16_t>(v));
  }
  for (int s = 0, left = rects; s < scans; ++s) {
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
  return w.Build();
}

// EMR_EXTTEXTOUTW of `chars` characters with their advances between the squares: no more than
// are drawn are decoded.
Bytes TextFile(std::uint32_t chars) {
  return Emf([chars](EmfBuilder& e) {
    Bytes params(16, 0);
    for (std::uint32_t v : {1u, 0u, 0u, 30u, 30u, chars, 76u, 0u, 0u, 0u, 0u, 0u, 76 + 2 * chars}) {
      Put32(params, v);
    }
    params.reserve(params.size() + std::size_t{chars} * 6);
    for (std::uint32_t i = 0; i < chars; ++i) Put16(params, 'l');
    params.resize(params.size() + std::size_t{chars} * 4, 0);
    e.Raw(emf::kExtTextOutW, params);
  });
}

TEST(MetafileMemory, ListsOfMillionsOfEntriesAreReadWithoutBeingKept) {
  const auto figures =
      Emf([](EmfBuilder& e) { e.Raw(emf::kPolyPolygon16, EmptyFigures(4 << 20)); });
  const Bytes regionFile = RegionFile(4 << 20);
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
  const Bytes text = TextFile(4 << 20);
  const struct {
    const char* name;
    const Bytes& file;
  } cases[] = {
      {"poly-polygon figures", figures},
      {"region rectangles", regionFile},
      {"region fill rectangles", fill},
      {"text characters", text},
  };
  for (const auto& c : cases) {
    // The decoder's copy of the file, and little more.
    const int growth = PeakGrowthMB([&] { return DrawsBothSquares(c.file); });
    EXPECT_GE(growth, 0) << c.name;
    EXPECT_LE(growth, static_cast<int>(c.file.size() / kMB) + 16) << c.name;
  }
}

TEST(MetafileMemory, RunningOutOfMemoryInAPlayIsReportedAndLeavesNothingDrawn) {
  // A two-colour bitmap of sixteen megapixels, 2 MB in the file, after a red square: its decoded
  // pixels take 64 MB, more than the child has.
  int bitsOffset = 0;
  const Bytes dib = mftest::PackedDib(4000, 4000, 1, {model::kBlack, model::kWhite},
                                      Bytes(500 * 4000, 0x55), &bitsOffset);
  const Bytes file = Emf([&](EmfBuilder& e) { e.StretchDib(40, 0, 10, 10, dib, bitsOffset); });
  ASSERT_TRUE(DrawsBothSquares(file));
  EXPECT_EQ(InLimitedMemory(file.size() + 32 * kMB,
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

// Writes `file` to a fresh temporary file and gives its path; the file is removed with the object.
class TemporaryFile {
 public:
  TemporaryFile(const Bytes& file, const std::string& extension)
      : m_path(std::filesystem::temp_directory_path() /
               ("dotwright-metafile-" + std::to_string(::getpid()) + extension)) {
    std::ofstream out(m_path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.data()),
              static_cast<std::streamsize>(file.size()));
  }
  ~TemporaryFile() { std::filesystem::remove(m_path); }
  std::string Path() const { return m_path.string(); }

 private:
  std::filesystem::path m_path;
};

// How a file ends: refused ("Metafile is not valid": nothing in it gives its frame), or the red
// square drawn, and the blue one after the list unless the list spends the play's work.
enum class Outcome { kRefused, kRedOnly, kBoth };

TEST(MetafileMemory, FilesLoadedFromDiskPlayInAFixedRoomWhateverTheirSize) {
  // Each file is three times the room the child has: a play that held it, or any list it holds,
  // could not fit. What the loader reads of it is read as the records are played.
  constexpr std::size_t kRoom = 32 * kMB;
  const struct {
    const char* name;
    const char* extension;
    std::function<Bytes()> build;
    Outcome outcome;
  } cases[] = {
      {"poly-polygon figures", ".emf",
       [] {
         return Emf([](EmfBuilder& e) { e.Raw(emf::kPolyPolygon16, EmptyFigures(24 << 20)); });
       },
       Outcome::kRedOnly},
      {"region fill rectangles", ".emf",
       [] {
         return Emf([](EmfBuilder& e) {
           constexpr std::uint32_t kCount = 6 << 20;
           Bytes params(16, 0);
           Put32(params, 32 + kCount * 16);
           Put32(params, 1);
           for (std::uint32_t v : {32u, 1u, kCount, kCount * 16, 0u, 0u, 0u, 0u}) {
             Put32(params, v);
           }
           params.resize(params.size() + std::size_t{kCount} * 16, 0);
           e.Raw(emf::kFillRgn, params);
         });
       },
       Outcome::kRedOnly},
      {"region rectangles", ".wmf", [] { return RegionFile(24 << 20); }, Outcome::kBoth},
      {"text characters", ".emf", [] { return TextFile(16 << 20); }, Outcome::kBoth},
      {"records searched for the window", ".wmf",
       [] {
         WmfBuilder w(0, 0, 0, 0, 96, false);
         for (int i = 0; i < (16 << 20); ++i) w.Record(wmf::kSetBkMode, {});
         return w.Build();
       },
       Outcome::kRefused},
  };
  for (const auto& c : cases) {
    std::unique_ptr<TemporaryFile> file;
    {
      const Bytes bytes = c.build();
      EXPECT_GE(bytes.size(), 3 * kRoom) << c.name;
      file = std::make_unique<TemporaryFile>(bytes, c.extension);
    }
    ::malloc_trim(0);
    EXPECT_EQ(InLimitedMemory(kRoom,
                              [&] {
                                std::unique_ptr<picture::Picture> picture;
                                try {
                                  picture = picture::LoadPicture(file->Path());
                                } catch (const picture::LoadError& e) {
                                  return c.outcome == Outcome::kRefused &&
                                         std::string(e.what()) == "Metafile is not valid";
                                }
                                model::Canvas canvas(64, 48);
                                picture->StretchDraw(canvas, {0, 0, 64, 48});
                                return c.outcome != Outcome::kRefused &&
                                       canvas.Pixel(5, 5) == kRed &&
                                       canvas.Pixel(25, 25) ==
                                           (c.outcome == Outcome::kBoth ? kBlue : model::kWhite);
                              }),
              0)
        << c.name;
  }
}

#endif

}  // namespace
