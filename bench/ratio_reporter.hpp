// The console table of a benchmark run, followed by ratios of one benchmark's mean time per
// iteration to another's (a measured operation against its floor in the same run).
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace bench {

// Keeps each benchmark's mean real time per iteration so that the ratios can be printed.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (!run.error_occurred && run.iterations > 0) {
        seconds_[run.benchmark_name()] = run.real_accumulated_time / static_cast<double>(run.iterations);
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void printRatio(const char* what, const std::string& measured, const std::string& floor, double target) const {
    const auto m = seconds_.find(measured);
    const auto f = seconds_.find(floor);
    if (m == seconds_.end() || f == seconds_.end()) return;
    const double ratio = m->second / f->second;
    std::printf("%-34s %8.3f ms vs floor %8.3f ms: %5.2fx (target %.1fx) %s\n", what, m->second * 1e3, f->second * 1e3,
                ratio, target, ratio <= target ? "met" : "NOT met");
  }
  // A measured operation against a fixed limit in seconds.
  void printLimit(const char* what, const std::string& measured, double limitSeconds) const {
    const auto m = seconds_.find(measured);
    if (m == seconds_.end()) return;
    std::printf("%-34s %8.3f ms (limit %.0f ms) %s\n", what, m->second * 1e3, limitSeconds * 1e3,
                m->second < limitSeconds ? "met" : "NOT met");
  }

 private:
  std::map<std::string, double> seconds_;
};

}  // namespace bench
