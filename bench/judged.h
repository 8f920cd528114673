#pragma once

// What the Google Benchmark programs share: the test picture, and a report that ends with the
// figure each target is judged by, so that a reader sees PASS or MISSED without arithmetic.

#include <cstdio>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "model/pixel_store.h"

namespace judged {

// The largest picture, 320 x 240, its pixels set at random (the same picture in every run).
inline model::PixelStore RandomPicture() {
  model::PixelStore store;
  std::mt19937 random(1);
  for (int x = 0; x < 320; ++x)
    for (int y = 0; y < 240; ++y) store.Set(x, y, random() & 1);
  return store;
}

// The console report, keeping each benchmark's time a round (in the unit it was reported in; the
// median one when repeated) and its counters.
class Reporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      // The benchmark's name and arguments, without the run's options ("/real_time").
      const std::string name = run.run_name.function_name +
                               (run.run_name.args.empty() ? "" : "/" + run.run_name.args);
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      const bool single = run.run_type != Run::RT_Aggregate && run.iterations > 0;
      if (median || (single && !run.error_occurred && !m_times.count(name))) {
        m_times[name] = run.GetAdjustedRealTime();
        m_cpuTimes[name] = run.GetAdjustedCPUTime();
        for (const auto& [counter, value] : run.counters) m_counters[name][counter] = value;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // The time of `name`, or a negative value when it did not run (filtered out).
  double Time(const std::string& name) const {
    const auto found = m_times.find(name);
    return found == m_times.end() ? -1 : found->second;
  }
  // The CPU time of `name` a round, steadier than real time on a busy machine; negative when it
  // did not run.
  double CpuTime(const std::string& name) const {
    const auto found = m_cpuTimes.find(name);
    return found == m_cpuTimes.end() ? -1 : found->second;
  }
  double Counter(const std::string& name, const std::string& counter) const {
    const auto found = m_counters.find(name);
    if (found == m_counters.end() || !found->second.count(counter)) return -1;
    return found->second.at(counter);
  }

 private:
  std::map<std::string, double> m_times;
  std::map<std::string, double> m_cpuTimes;
  std::map<std::string, std::map<std::string, double>> m_counters;
};

// One line: "<what>: <value> (target <= <target>): PASS" or MISSED; nothing when the value is
// missing (negative: its benchmark did not run).
// `after` follows the verdict on the line.
inline void Judge(const std::string& what, double value, double target, const char* unit,
                  const std::string& after = "") {
  if (value < 0) return;
  std::printf("%s: %.4g%s (target <= %g%s): %s%s\n", what.c_str(), value, unit, target, unit,
              value <= target ? "PASS" : "MISSED", after.c_str());
}

// A figure shown for information, with no target.
inline void Note(const std::string& what, double value, const char* unit) {
  if (value >= 0) std::printf("%s: %.4g%s (no target)\n", what.c_str(), value, unit);
}

// The ratio of two benchmarks' real times, judged, with the ratio of their CPU times beside it
// (both in the same time unit).
inline void JudgeRatio(const Reporter& report, const std::string& what, const std::string& measured,
                       const std::string& yardstick, double target) {
  const double m = report.Time(measured);
  const double y = report.Time(yardstick);
  if (m < 0 || y <= 0) return;
  const double mCpu = report.CpuTime(measured);
  const double yCpu = report.CpuTime(yardstick);
  char cpu[48] = "";
  if (mCpu >= 0 && yCpu > 0) std::snprintf(cpu, sizeof cpu, "; CPU time %.4g", mCpu / yCpu);
  Judge(what + " (" + measured + " / " + yardstick + ")", m / y, target, "", cpu);
}

// Runs the registered benchmarks, then `judge` on what they reported.
inline int RunAndJudge(int argc, char** argv, const std::function<void(const Reporter&)>& judge) {
  benchmark::Initialize(&argc, argv);
  Reporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  std::printf("\n");
  judge(reporter);
  return 0;
}

}  // namespace judged
