// The console table of a benchmark run, followed by ratios of one benchmark's mean time per
// iteration to another's (a measured operation against its floor in the same run), or ratios
// that a benchmark measured itself in alternating rounds (alternating_rounds.hpp).
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
        counters_[run.benchmark_name()] = run.counters;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void printRatio(const char* what, const std::string& measured, const std::string& floor, double target) const {
    const auto m = seconds_.find(measured);
    const auto f = seconds_.find(floor);
    if (m == seconds_.end() || f == seconds_.end()) return;
    printAgainstFloor(what, m->second * 1e3, f->second * 1e3, m->second / f->second, target);
  }
  // The ratio a benchmark reported in its counters: "ratio" (the median of its rounds' ratios),
  // "ms" and "floor_ms" (the median times per call) and "rounds".
  void printRoundRatio(const char* what, const std::string& name, double target) const {
    const auto run = counters_.find(name);
    if (run == counters_.end()) return;
    auto counter = [&run](const char* key) {
      const auto c = run->second.find(key);
      return c == run->second.end() ? 0.0 : c->second.value;
    };
    const std::string rounds = ", median of " + std::to_string(static_cast<long long>(counter("rounds"))) + " rounds";
    printAgainstFloor(what, counter("ms"), counter("floor_ms"), counter("ratio"), target, rounds.c_str());
  }
  // One line of a time against its floor's, in milliseconds: their ratio, whether it is within the
  // target, and the note.
  static void printAgainstFloor(const char* what, double measuredMs, double floorMs, double ratio, double target,
                                const char* note = "") {
    std::printf("%-34s %8.3f ms vs floor %8.3f ms: %5.2fx (target %.1fx) %s%s\n", what, measuredMs, floorMs, ratio,
                target, ratio <= target ? "met" : "NOT met", note);
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
  std::map<std::string, benchmark::UserCounters> counters_;
};

}  // namespace bench
