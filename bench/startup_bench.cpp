// Start-up time and peak memory of Dotwright against a bare Qt main window with a tool bar, a
// button and a status bar, both built here and run alternately in the same session: each is started
// as a fresh process and timed from the spawn until it reports its first window (for Dotwright: the
// first board) painted; it exits right after. Peak memory is the process's maximum resident set
// over that run.
//
// Targets: start-up at most 1.1 times the bare window's (medians of at least 15 rounds), peak
// memory at most 8 MB above it; judged at the end. Without a display the programs run on the
// offscreen platform; run it under `xvfb-run -a` to measure with a real X server.
//
// --anchor=PATH and --program=PATH put other builds in the two places (two builds of the probe,
// to measure what a change gives); --rounds=N runs more rounds.
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct Run {
  double milliseconds = 0;
  double cpuMilliseconds = 0;
  long maxRssKb = 0;
  bool ok = false;
};

long long MonotonicNanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

// Runs the program with its standard output on a pipe, from which it reads the time of the first
// paint.
Run RunOnce(const char* path) {
  Run run;
  int out[2];
  if (pipe(out) != 0) return run;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  char* argv[] = {const_cast<char*>(path), nullptr};
  pid_t pid = 0;
  const long long start = MonotonicNanoseconds();
  const int spawned = posix_spawn(&pid, path, &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (spawned != 0) {
    close(out[0]);
    return run;
  }
  std::string reported;
  char buffer[64];
  for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) reported.append(buffer, n);
  close(out[0]);
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) return run;
  const long long painted = std::atoll(reported.c_str());
  run.milliseconds = (painted - start) / 1e6;
  run.maxRssKb = usage.ru_maxrss;
  const auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
  run.cpuMilliseconds = ms(usage.ru_utime) + ms(usage.ru_stime);
  run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0 && painted > start;
  return run;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct Summary {
  double medianMs;
  double minMs;
  double medianCpuMs;
  long maxRssKb;
  double medianRssKb;
};

Summary Summarise(const std::vector<Run>& runs) {
  std::vector<double> times;
  std::vector<double> cpu;
  std::vector<double> peaks;
  long rss = 0;
  for (const Run& r : runs) {
    times.push_back(r.milliseconds);
    cpu.push_back(r.cpuMilliseconds);
    peaks.push_back(static_cast<double>(r.maxRssKb));
    rss = std::max(rss, r.maxRssKb);
  }
  return {Median(times), *std::min_element(times.begin(), times.end()), Median(cpu), rss,
          Median(peaks)};
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 15;
  const char* anchor = MINIMAL_WINDOW_PATH;
  const char* program = DOTWRIGHT_PROBE_PATH;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--rounds=", 9) == 0) rounds = std::max(15, std::atoi(argv[i] + 9));
    if (std::strncmp(argv[i], "--anchor=", 9) == 0) anchor = argv[i] + 9;
    if (std::strncmp(argv[i], "--program=", 10) == 0) program = argv[i] + 10;
  }
  const char* display = std::getenv("DISPLAY");
  if ((display == nullptr || *display == '\0') && std::getenv("WAYLAND_DISPLAY") == nullptr) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
  }
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  std::printf("Start-up to the first painted window, %d rounds, platform %s\n", rounds,
              platform != nullptr ? platform : "default (display)");

  // One unmeasured run each: the first start pays for loading the libraries from disk.
  RunOnce(anchor);
  RunOnce(program);
  std::vector<Run> minimal;
  std::vector<Run> dotwright;
  for (int i = 0; i < rounds; ++i) {
    minimal.push_back(RunOnce(anchor));
    dotwright.push_back(RunOnce(program));
    if (!minimal.back().ok || !dotwright.back().ok) {
      std::fprintf(stderr, "a program failed to start or to exit cleanly\n");
      return 1;
    }
  }
  const Summary m = Summarise(minimal);
  const Summary d = Summarise(dotwright);
  const double ratio = d.medianMs / m.medianMs;
  // The fastest runs are the least disturbed by other work on the machine.
  const double fastestRatio = d.minMs / m.minMs;
  // Peak memory: the median over the runs of each run's peak resident set.
  const double extraMb = (d.medianRssKb - m.medianRssKb) / 1024.0;
  std::printf("%-18s %10s %10s %14s %16s %14s\n", "", "median ms", "min ms", "median CPU ms",
              "median peak MB", "max peak MB");
  const bool own = std::strcmp(anchor, MINIMAL_WINDOW_PATH) == 0 &&
                   std::strcmp(program, DOTWRIGHT_PROBE_PATH) == 0;
  const char* anchorName = own ? "bare Qt window" : "anchor";
  const char* programName = own ? "Dotwright" : "program";
  for (const auto& [name, s] : {std::pair{anchorName, m}, std::pair{programName, d}}) {
    std::printf("%-18s %10.1f %10.1f %14.1f %16.1f %14.1f\n", name, s.medianMs, s.minMs,
                s.medianCpuMs, s.medianRssKb / 1024.0, s.maxRssKb / 1024.0);
  }
  // Paired by round (each program's run next to the other's), the difference is the least
  // disturbed by load that comes and goes on the machine.
  std::vector<double> later;
  std::vector<double> busier;
  for (std::size_t i = 0; i < minimal.size(); ++i) {
    later.push_back(dotwright[i].milliseconds - minimal[i].milliseconds);
    busier.push_back(dotwright[i].cpuMilliseconds - minimal[i].cpuMilliseconds);
  }
  std::printf("%s - %s, median of the rounds' differences: %+.2f ms to the first paint, %+.2f ms "
              "CPU\n",
              programName, anchorName, Median(later), Median(busier));
  const bool timeOk = ratio <= 1.1;
  const bool memoryOk = extraMb <= 8;
  std::printf("start-up ratio %.3f of medians (%.2f of fastest runs) (target <= 1.10): %s\n",
              ratio, fastestRatio, timeOk ? "PASS" : "MISSED");
  std::printf("extra peak memory %.2f MB, medians (target <= 8 MB): %s\n", extraMb,
              memoryOk ? "PASS" : "MISSED");
  return 0;
}
