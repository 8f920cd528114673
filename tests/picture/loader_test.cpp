#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "picture/loader.h"
#include "picture/picture.h"
#include "tests/picture/bmp_builder.h"
#include "tests/picture/bmp_cases.h"

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
TEST_F(Loader, RunningOutOfMemoryIsReportedAsSuch) {
  // A 10000 x 10000 bitmap whose bits are cut short still decodes into a 400 MB raster. In a
  // child limited to far less address space the load fails for memory, and says so.
  bmptest::BmpSpec spec;
  spec.width = 10000;
  spec.height = 10000;
  const std::string path = Write("huge.bmp", bmptest::BuildBmp(spec));
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // What the process maps already, from /proc/self/statm (in pages), plus 200 MB.
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    statm >> pages;
    rlimit limit{};
    ::getrlimit(RLIMIT_AS, &limit);
    limit.rlim_cur = static_cast<rlim_t>(pages) * ::sysconf(_SC_PAGESIZE) + (rlim_t{200} << 20);
    if (::setrlimit(RLIMIT_AS, &limit) != 0) ::_exit(3);
    const std::string message = ErrorOf(path);
    ::_exit(message == "Not enough memory to load the picture" ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}
#endif

}  // namespace
