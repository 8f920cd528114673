#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include <gtest/gtest.h>

#include "model/canvas.h"
#include "picture/bitmap_picture.h"
#include "picture/loader.h"
#include "picture/picture.h"
#include "tests/picture/bmp_builder.h"
#include "tests/picture/bmp_cases.h"
#include "tests/picture/child_process.h"
#include "tests/picture/bmp_pieces.h"

namespace {

namespace fs = std::filesystem;

// A fresh folder for the test's files, removed afterwards.
class Loader : public testing::Test {
 protected:
  void SetUp() override {
    m_dir =
        fs::temp_directory_path() / ("dotwright-loader-" + std::to_string(::getpid()) + "-" +
                                     testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
  }
  void TearDown() override { fs::remove_all(m_dir); }

  std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    const fs::path path = m_dir / name;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path.string();
  }

  static std::string ErrorOf(const std::string& fileName) {
    try {
      picture::LoadPicture(fileName);
    } catch (const picture::LoadError& e) {
      return e.what();
    }
    return "(loaded)";
  }

  fs::path m_dir;
};

TEST(FileExtension, IsTheTextAfterTheNamesLastDot) {
  const std::pair<const char*, const char*> cases[] = {
      {"/a/b/picture.bmp", "bmp"},
      {"picture.BMP", "BMP"},
      {"archive.tar.Gz", "Gz"},
      {"/a/b.bmp/picture", ""},
      {"picture", ""},
      {"picture.", ""},
      {".bmp", "bmp"},
      {"/a.b/c.d/.e", "e"},
      {"/a/картинка.БМП", "БМП"},
      {"", ""},
  };
  for (const auto& [name, extension] : cases)
    EXPECT_EQ(picture::FileExtension(name), extension) << name;
}

TEST_F(Loader, UnknownExtensionIsReportedBeforeTheFileIsOpened) {
  const std::pair<std::string, std::string> cases[] = {
      {"missing.heic", "Unknown picture file extension (.heic)"},
      {"missing", "Unknown picture file extension (.)"},
      {"folder.bmp/missing", "Unknown picture file extension (.)"},
      {"missing.Psd", "Unknown picture file extension (.Psd)"},
      {"missing.svgz", "Unknown picture file extension (.svgz)"},
      {"missing.bmp.txt", "Unknown picture file extension (.txt)"},
  };
  for (const auto& [name, message] : cases) EXPECT_EQ(ErrorOf((m_dir / name).string()), message);
}

TEST_F(Loader, FileThatCannotBeOpenedGivesItsFullPathAndTheSystemsReason) {
  const std::string missing = (m_dir / "missing.bmp").string();
  EXPECT_EQ(ErrorOf(missing), "Cannot open file \"" + missing + "\". No such file or directory");

  // A relative name is reported with its full path.
  const std::string relative = "dotwright-no-such-file.bmp";
  EXPECT_EQ(ErrorOf(relative), "Cannot open file \"" + (fs::current_path() / relative).string() +
                                   "\". No such file or directory");

  fs::create_directories(m_dir / "folder.bmp");
  EXPECT_EQ(ErrorOf((m_dir / "folder.bmp").string()),
            "Cannot open file \"" + (m_dir / "folder.bmp").string() + "\". Is a directory");

  // A named pipe is refused without waiting for a writer.
  const std::string fifo = (m_dir / "pipe.bmp").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(ErrorOf(fifo), "Cannot open file \"" + fifo + "\". It is not a regular file");

  if (::geteuid() != 0) {  // root reads anything
    const std::string locked = Write("locked.bmp", {'B', 'M'});
    fs::permissions(locked, fs::perms::none);
    EXPECT_EQ(ErrorOf(locked), "Cannot open file \"" + locked + "\". Permission denied");
  }
}

TEST_F(Loader, AbsurdlyLargeFileIsRefusedUnread) {
  const std::string big = Write("big.bmp", {'B', 'M'});
  fs::resize_file(big, picture::kMaxFileBytes + 1);  // sparse: no disk space taken
  EXPECT_EQ(ErrorOf(big), "Cannot open file \"" + big + "\". The file is larger than 512 MB");
}

TEST_F(Loader, ZeroByteFileOfEveryKindIsAnEmptyPicture) {
  for (const char* name : {"empty.bmp", "EMPTY.ICO", "empty.wmf", "empty.Emf"}) {
    const auto picture = picture::LoadPicture(Write(name, {}));
    ASSERT_TRUE(picture) << name;
    EXPECT_TRUE(picture->Empty()) << name;
    EXPECT_EQ(picture->Width(), 0) << name;
  }
}

TEST_F(Loader, PicksTheDecoderByExtensionWithoutRegardToCase) {
  const auto cases = bmptest::GoodCases();
  for (const char* name : {"a.bmp", "b.BMP", "c.Bmp", "dotted.name.bMp"}) {
    const auto picture = picture::LoadPicture(Write(name, cases[0].file));
    EXPECT_EQ(picture->Width(), 9) << name;
    EXPECT_EQ(picture->Height(), 2) << name;
  }
  // The same bytes under the other accepted names go to their own decoders, which refuse them.
  for (const char* name : {"a.ico", "a.WMF", "a.emf"})
    EXPECT_EQ(ErrorOf(Write(name, cases[0].file)).rfind("Unknown", 0), std::string::npos) << name;
  // And a bitmap decoder message comes through as it stands.
  EXPECT_EQ(ErrorOf(Write("short.bmp", {'B', 'M', 0})), "Stream read error");
  EXPECT_EQ(ErrorOf(Write("other.bmp", std::vector<std::uint8_t>(100, 'x'))),
            "Bitmap image is not valid");
}

TEST_F(Loader, BitmapFilesLoadAsTheyDecodeFromMemory) {
  // Every case, and a picture larger than the window the file is mapped through (24 MB).
  std::vector<std::pair<std::string, std::vector<std::uint8_t>>> files;
  for (const auto& c : bmptest::GoodCases()) files.emplace_back(c.name, c.file);
  for (const auto& c : bmptest::BadCases()) files.emplace_back(c.name, c.file);
  files.emplace_back("large", bmptest::Bmp24(4001, 2000, [](int x, int y) {
                       return model::Rgb(static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y),
                                         static_cast<std::uint8_t>(x ^ y));
                     }));
  for (const auto& [name, file] : files) {
    SCOPED_TRACE(name);
    const std::string path = Write(name + ".bmp", file);
    const bmptest::Decoded loaded = bmptest::Outcome([&] {
      const auto picture = picture::LoadPicture(path);
      return dynamic_cast<const picture::BitmapPicture&>(*picture).Bitmap();
    });
    EXPECT_TRUE(bmptest::SameOutcome(loaded, bmptest::DecodeWhole(file)));
  }
}

// A bitmap file that another program cuts shorter (or lengthens) while it is read: LoadPicture's
// reads of it, with `change` run between the read of the headers and the first read of the bits,
// as a program might run at any moment. `readBefore` is how far the reads had gone by then.
bmptest::Decoded DecodeChangedWhileRead(const std::string& path,
                                        const std::function<void()>& change,
                                        std::uint64_t& readBefore) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {std::nullopt, "cannot open"};
  struct stat status {};
  ::fstat(fd, &status);
  const auto size = static_cast<std::uint64_t>(status.st_size);
  const auto read = picture::FileReader(fd, size, path);
  int calls = 0;
  readBefore = 0;
  const bmptest::Decoded decoded = bmptest::Outcome([&] {
    picture::dib::BitsReader reader(
        [&](std::uint64_t offset, std::span<const picture::dib::BitsReader::Part> parts) {
          if (++calls == 2) change();
          const std::size_t got = read(offset, parts);
          if (calls == 1) readBefore = offset + got;
          return got;
        });
    return picture::DecodeBmp(size, reader);
  });
  ::close(fd);
  return decoded;
}

TEST_F(Loader, FileCutWhileReadDecodesAsTheShorterFile) {
  // A mapped file whose pages are cut away kills the process that touches them (SIGBUS); read,
  // it ends where the reads find it ending, as a file of that length would. The bits lie past the
  // reader's first read (the headers), so the cut comes before any of them is read.
  constexpr std::uint32_t kGap = picture::dib::BitsReader::kPiece + 3;
  std::uint32_t noise = 7;
  const auto bits = [&](std::size_t n) {
    std::vector<std::uint8_t> bytes(n);
    for (std::uint8_t& b : bytes) b = static_cast<std::uint8_t>((noise = noise * 69069 + 1) >> 24);
    return bytes;
  };
  struct Case {
    const char* name;
    bmptest::BmpSpec spec;
    std::size_t stride;  // of a row, or of a few bytes of RLE
  };
  std::vector<Case> cases;
  {
    bmptest::BmpSpec spec;  // bottom-up, rows read one at a time
    spec.width = 701;
    spec.height = 300;
    spec.bits = bits(2104 * 300);
    cases.push_back({"24-bit", spec, 2104});
  }
  {
    bmptest::BmpSpec spec;  // top-down, runs of rows read at once
    spec.width = 301;
    spec.height = -200;
    spec.bitCount = 32;
    spec.bits = bits(1204 * 200);
    cases.push_back({"32-bit top-down", spec, 1204});
  }
  {
    bmptest::BmpSpec spec;
    spec.width = 333;
    spec.height = 100;
    spec.bitCount = 8;
    spec.palette = {model::Rgb(1, 2, 3), model::kWhite, model::Rgb(200, 0, 9)};
    spec.bits = bits(336 * 100);
    cases.push_back({"8-bit", spec, 336});
  }
  {
    bmptest::BmpSpec spec;  // runs of one pixel, a row ending each 300 of them; no end marker
    spec.width = 300;
    spec.height = 100;
    spec.bitCount = 8;
    spec.compression = 1;
    spec.palette = {model::Rgb(1, 2, 3), model::kWhite, model::Rgb(200, 0, 9)};
    for (int y = 0; y < 100; ++y) {
      for (int x = 0; x < 300; ++x) spec.bits.insert(spec.bits.end(), {1, std::uint8_t(x % 3)});
      spec.bits.insert(spec.bits.end(), {0, 0});
    }
    cases.push_back({"RLE8", spec, 602});
  }
  for (Case& c : cases) {
    c.spec.gap = kGap;
    const std::vector<std::uint8_t> full = bmptest::BuildBmp(c.spec);
    const std::size_t start = full.size() - c.spec.bits.size();  // where the bits start
    const std::size_t cuts[] = {0,
                                20,
                                start - 1,
                                start,
                                start + 1,
                                start + 5,
                                start + c.stride + 7,
                                start + 3 * c.stride,
                                full.size() / 2 + 1,
                                full.size() - 1};
    for (const std::size_t cut : cuts) {
      SCOPED_TRACE(std::string(c.name) + ", cut at " + std::to_string(cut));
      const std::string path = Write("cut.bmp", full);
      std::uint64_t readBefore = 0;
      const bmptest::Decoded decoded = DecodeChangedWhileRead(
          path, [&] { ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(cut)), 0); },
          readBefore);
      ASSERT_GT(readBefore, 0u);
      ASSERT_LT(readBefore, start);
      if (cut > start) {
        EXPECT_TRUE(
            bmptest::SameOutcome(decoded, bmptest::DecodeWhole(std::span(full).first(cut))));
      } else {
        // Cut before its bits, which it had when opened: no picture of the file as it was.
        EXPECT_EQ(decoded.error, "Stream read error");
      }
    }
    // Lengthened meanwhile, it is read as it was when opened: more runs after the stream's end
    // would paint pixels left as they are.
    const std::string path = Write("grown.bmp", full);
    std::uint64_t readBefore = 0;
    const bmptest::Decoded decoded = DecodeChangedWhileRead(
        path,
        [&] {
          std::ofstream(path, std::ios::binary | std::ios::app)
              .write(std::string(100'000, '\x01').data(), 100'000);
        },
        readBefore);
    EXPECT_EQ(fs::file_size(path), full.size() + 100'000) << c.name;
    EXPECT_TRUE(bmptest::SameOutcome(decoded, bmptest::DecodeWhole(full))) << c.name;
  }
}

TEST_F(Loader, FileWhoseReportedSizeIsZeroIsReadToItsEnd) {
  // Files under /proc report size 0 but hold text: read, they are a (bad) bitmap, not an empty
  // picture.
  const fs::path link = m_dir / "status.bmp";
  fs::create_symlink("/proc/self/status", link);
  const picture::FileBytes bytes = picture::ReadWholeFile(link.string());
  EXPECT_GT(bytes.size(), 0u);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 5), "Name:");
  EXPECT_EQ(ErrorOf(link.string()), "Bitmap image is not valid");
}

TEST_F(Loader, DevicesAreRefusedUnread) {
  for (const char* device : {"/dev/zero", "/dev/null", "/dev/urandom"}) {
    const fs::path link = m_dir / (std::string(device).substr(5) + ".bmp");
    fs::create_symlink(device, link);
    EXPECT_EQ(ErrorOf(link.string()),
              "Cannot open file \"" + link.string() + "\". It is not a regular file")
        << device;
  }
}

TEST_F(Loader, ReadingAFileLargerThanABufferStepKeepsEveryByte) {
  // Past the first growth of the read buffer, with a size that is no power of two.
  std::vector<std::uint8_t> content(200'003);
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<std::uint8_t>(i * 7);
  const picture::FileBytes bytes = picture::ReadWholeFile(Write("long.bmp", content));
  ASSERT_EQ(bytes.size(), content.size());
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), content.begin()));
}

#if !defined(__SANITIZE_ADDRESS__)
using pictest::InChildWithHeadroom;

constexpr std::size_t kHeadroom = std::size_t{64} << 20;

TEST_F(Loader, RunningOutOfMemoryIsReportedAsSuch) {
  // A 10000 x 10000 bitmap whose file holds all its bits (as a hole: no disk space) decodes into
  // a 400 MB raster. In a child limited to far less address space the load fails for memory, and
  // says so.
  bmptest::BmpSpec spec;
  spec.width = 10000;
  spec.height = 10000;
  spec.bitCount = 32;
  const std::vector<std::uint8_t> head = bmptest::BuildBmp(spec);
  const std::string path = Write("huge.bmp", head);
  fs::resize_file(path, head.size() + std::uintmax_t{400'000'000});
  EXPECT_EQ(InChildWithHeadroom(kHeadroom,
                                [&] { return ErrorOf(path) == picture::kNotEnoughMemory ? 0 : 1; }),
            0);
}

// Pictures whose files hold the bits of a few rows or none load in next to no memory, and draw
// as they always have: the rows that no bits reach in the colour of zero bits.
TEST_F(Loader, RowsTheFileDoesNotReachTakeNoMemory) {
  struct Case {
    const char* name;
    int width;
    int height;
    int bitCount;
    std::vector<model::Colour> palette;
    std::vector<std::uint8_t> bits;  // the file's bits, cut short
    model::Colour top;               // the top row's colour, drawn in (0, 0)
    model::Colour bottom;            // the bottom row's colour, drawn in (0, 239)
  };
  const Case cases[] = {
      // 100,000,000 x 1 in 54 bytes: the one row is black.
      {"wide.bmp", 100'000'000, 1, 32, {}, {}, model::kBlack, model::kBlack},
      // 10000 x 10000 in its 50 bottom rows: white at the bottom (row 239 shows row 9958),
      // black above.
      {"tall.bmp",
       10'000,
       10'000,
       24,
       {},
       std::vector<std::uint8_t>(50 * 30'000, 0xFF),
       model::kBlack,
       model::kWhite},
      // 8 bits: the rows no bits reach take palette entry 0.
      {"indexed.bmp",
       10'000,
       10'000,
       8,
       {model::Rgb(1, 2, 3), model::kBlack},
       std::vector<std::uint8_t>(50 * 10'000, 1),
       model::Rgb(1, 2, 3),
       model::kBlack},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    bmptest::BmpSpec spec;
    spec.width = c.width;
    spec.height = c.height;
    spec.bitCount = static_cast<std::uint16_t>(c.bitCount);
    spec.palette = c.palette;
    spec.bits = c.bits;
    const std::string path = Write(c.name, bmptest::BuildBmp(spec));
    const int status = InChildWithHeadroom(kHeadroom, [&] {
      try {
        const auto picture = picture::LoadPicture(path);
        if (picture->Width() != c.width || picture->Height() != c.height) return 2;
        model::Canvas canvas(320, 240);
        picture->StretchDraw(canvas, {0, 0, 320, 240});
        if (canvas.Pixel(0, 0) != c.top || canvas.Pixel(319, 0) != c.top) return 3;
        if (canvas.Pixel(0, 239) != c.bottom || canvas.Pixel(319, 239) != c.bottom) return 4;
        return 0;
      } catch (const std::exception&) {
        return 1;
      }
    });
    EXPECT_EQ(status, 0);
  }
}
#endif

}  // namespace
