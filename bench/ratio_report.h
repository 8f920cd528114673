#pragma once

// The console report of a benchmark run that also keeps each benchmark's time a round, so that a
// benchmark's main can print the ratios it is judged by after the run.

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

namespace benchsupport {

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    // A round's real and CPU time in the benchmark's unit, the median ones when it was repeated.
    for (const Run& run : runs) {
      std::string name = run.run_name.str();
      if (name.ends_with("/real_time")) name.resize(name.size() - 10);
      const Times times{run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
      if (run.run_type == Run::RT_Aggregate) {
        if (run.aggregate_name == "median") m_times[name] = times;
      } else if (run.iterations > 0 && !run.error_occurred && !m_times.count(name)) {
        m_times[name] = times;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // Prints "<what>: <ours / peer> (target <= <target>): met|MISSED" of real times, and the ratio
  // of CPU times beside it (steadier on a busy machine), when both ran in the same time unit
  // (names without "/real_time"). Returns whether the target was met; true when either did not
  // run.
  bool PrintRatio(const std::string& what, const std::string& ours, const std::string& peer,
                  double target) const {
    const auto o = m_times.find(ours);
    const auto p = m_times.find(peer);
    if (o == m_times.end() || p == m_times.end() || p->second.real <= 0 || p->second.cpu <= 0)
      return true;
    const double ratio = o->second.real / p->second.real;
    std::printf("%s: %.2f (target <= %.2f): %s; CPU time %.2f\n", what.c_str(), ratio, target,
                ratio <= target ? "met" : "MISSED", o->second.cpu / p->second.cpu);
    return ratio <= target;
  }

 private:
  struct Times {
    double real;
    double cpu;
  };
  std::map<std::string, Times> m_times;
};

}  // namespace benchsupport
