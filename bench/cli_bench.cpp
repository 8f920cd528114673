// The command line's run time, process start to exit, against a program that only creates a
// QGuiApplication on the offscreen platform and exits, all run alternately in the same session
// with no display in their environment:
//   - dotwright convert of one 128 x 64 BMP into a file: target at most 1.5 times the minimal
//     program (medians);
//   - dotwright convert of 100 such BMPs into one file: target at most 3 times the one-file run.
// A metafile, which needs the toolkit's platform and fonts, is shown for comparison.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "model/colour.h"
#include "tests/picture/bmp_builder.h"

extern char** environ;

namespace {

long long MonotonicNanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

// Runs the program to its end; the milliseconds from the spawn to its exit, or a negative value
// when it failed.
double RunOnce(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  // The toolkit's notes on standard error (a missing runtime folder) would clutter the table.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const long long start = MonotonicNanoseconds();
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  const long long end = MonotonicNanoseconds();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return (end - start) / 1e6;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// A 128 x 64 24-bit picture; `seed` varies it from file to file.
std::vector<std::uint8_t> Picture(int seed) {
  std::vector<std::vector<std::uint32_t>> rows(64, std::vector<std::uint32_t>(128));
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 128; ++x)
      rows[y][x] = static_cast<std::uint32_t>((x * 7 + y * 13 + seed) * 2654435761u) & 0xFFFFFF;
  bmptest::BmpSpec spec;
  spec.width = 128;
  spec.height = 64;
  spec.bitCount = 24;
  spec.bits = bmptest::PackRows(rows, 24);
  return bmptest::BuildBmp(spec);
}

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 21;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--rounds=", 9) == 0) rounds = std::max(1, std::atoi(argv[i] + 9));
  }
  // As a build machine runs it: no display, no platform chosen.
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  unsetenv("QT_QPA_PLATFORM");

  char folderTemplate[] = "/tmp/dotwright_cli_bench_XXXXXX";
  if (mkdtemp(folderTemplate) == nullptr) return 1;
  const std::string folder = folderTemplate;
  std::vector<std::string> pictures;
  for (int i = 0; i < 100; ++i) {
    pictures.push_back(folder + "/picture" + std::to_string(i) + ".bmp");
    WriteFile(pictures.back(), Picture(i));
  }
  std::vector<std::string> minimal = {MINIMAL_GUI_PATH};
  std::vector<std::string> one = {DOTWRIGHT_PATH, "convert", pictures[0], "-o", folder + "/one.h"};
  std::vector<std::string> metafile = {DOTWRIGHT_PATH,
                                       "convert",
                                       "-s",
                                       "128x64",
                                       DOTWRIGHT_TEST_DATA "/metafile/mixed.wmf",
                                       "-o",
                                       folder + "/metafile.h"};
  std::vector<std::string> hundred = {DOTWRIGHT_PATH, "convert", "-o", folder + "/all.h"};
  hundred.insert(hundred.end(), pictures.begin(), pictures.end());

  // One unmeasured run each: the first start pays for loading the libraries from disk.
  for (const std::vector<std::string>* program : {&minimal, &one, &hundred, &metafile})
    RunOnce(*program);
  std::vector<double> m, o, h, w;
  for (int i = 0; i < rounds; ++i) {
    m.push_back(RunOnce(minimal));
    o.push_back(RunOnce(one));
    h.push_back(RunOnce(hundred));
    w.push_back(RunOnce(metafile));
    if (m.back() < 0 || o.back() < 0 || h.back() < 0 || w.back() < 0) {
      std::fprintf(stderr, "a program failed\n");
      return 1;
    }
  }
  for (const std::string& p : pictures) std::remove(p.c_str());
  std::remove((folder + "/one.h").c_str());
  std::remove((folder + "/all.h").c_str());
  std::remove((folder + "/metafile.h").c_str());
  rmdir(folder.c_str());

  std::printf("Process start to exit, offscreen platform, %d rounds (medians; fastest)\n", rounds);
  const auto row = [](const char* name, const std::vector<double>& t) {
    std::printf("%-34s %8.1f ms %8.1f ms\n", name, Median(t),
                *std::min_element(t.begin(), t.end()));
  };
  row("minimal QGuiApplication", m);
  row("dotwright convert, 1 BMP 128x64", o);
  row("dotwright convert, 100 BMPs", h);
  row("dotwright convert, 1 WMF to 128x64", w);
  const double oneRatio = Median(o) / Median(m);
  const double hundredRatio = Median(h) / Median(o);
  std::printf("one file / minimal program %.2f (target <= 1.50): %s\n", oneRatio,
              oneRatio <= 1.5 ? "PASS" : "MISSED");
  std::printf("100 files / one file %.2f (target <= 3.00): %s\n", hundredRatio,
              hundredRatio <= 3.0 ? "PASS" : "MISSED");
  return 0;
}
