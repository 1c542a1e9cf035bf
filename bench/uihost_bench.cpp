// Speed of the native UI host provider as its tables and event log grow:
//   n accessibility node updates (n new nodes, then each updated again) and n display
//     publications with a lookup each, at 1024 and 65536: the hash index beside the lists keeps
//     the growth linear (64x the work should take well under 100x the time);
//   recording 10 000 and 1 000 000 host events from an empty log: the time per event stays
//     flat (100x the events within 200x the time);
//   describing a provider whose log holds 10 000 or 1 000 000 lines: the description's time
//     and length do not depend on the log.
// Each iteration builds a provider and releases it (untimed). Released, a large provider's
// memory would go back to the system and be faulted in again by the next iteration, a cost
// the small sizes never pay because their memory stays in the heap; the allocator is told to
// keep freed memory so that both sizes are measured on memory the process already holds.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <memory>
#include <string>
#include <vector>

#include "ratio_reporter.hpp"
#include "uihost/native_ui_host_provider.hpp"

namespace {

using uihost::NativeUiHostProvider;

constexpr std::int32_t kOwner = 1;

uihost::HostProviderDescriptor descriptor() {
  return uihost::HostProviderDescriptor{
      uihost::kCapabilitySchema, uihost::kContractVersion, "bench-host", true, true, true, true, true, true, true};
}

std::vector<std::string> ids(const char* prefix, std::int64_t n) {
  std::vector<std::string> result;
  result.reserve(static_cast<std::size_t>(n));
  for (std::int64_t i = 0; i < n; ++i) result.push_back(prefix + std::to_string(i));
  return result;
}

void BM_AccessibilityNodeUpdates(benchmark::State& state) {
  const std::vector<std::string> nodeIds = ids("node-", state.range(0));
  for (auto _ : state) {
    auto provider = std::make_unique<NativeUiHostProvider>(descriptor(), kOwner);
    provider->initialize(true, false, kOwner, 1, 1);
    provider->beginAccessibilityBatch(kOwner, 2, 0);
    for (const std::string& id : nodeIds) provider->updateAccessibilityNode(id, 1, "button", "Save", kOwner);
    for (const std::string& id : nodeIds) provider->updateAccessibilityNode(id, 2, "button", "Save record", kOwner);
    if (!provider->commitAccessibilityBatch(kOwner, 3, 0)) state.SkipWithError("batch refused");
    benchmark::DoNotOptimize(provider->accessibility().nodes.size());
    state.PauseTiming();  // the provider's release is not part of the work
    provider.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * state.range(0) * 2);
}

void BM_DisplayPublishAndLookup(benchmark::State& state) {
  const std::vector<std::string> displayIds = ids("display-", state.range(0));
  for (auto _ : state) {
    auto provider = std::make_unique<NativeUiHostProvider>(descriptor(), kOwner);
    provider->initialize(true, false, kOwner, 1, 1);
    std::int64_t found = 0;
    for (const std::string& id : displayIds) {
      provider->publishDisplay(uihost::DisplayRecord{id, 0, 0, 1920, 1080, 0, 0, 1920, 1040, 100, false}, kOwner);
    }
    for (const std::string& id : displayIds) found += provider->findDisplay(id) >= 0 ? 1 : 0;
    if (found != state.range(0)) state.SkipWithError("display missing");
    state.PauseTiming();
    provider.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * state.range(0) * 2);
}

void BM_RecordHostEvents(benchmark::State& state) {
  for (auto _ : state) {
    auto provider = std::make_unique<NativeUiHostProvider>(descriptor(), kOwner);
    for (std::int64_t i = 0; i < state.range(0); ++i) {
      provider->recordHostEvent("window", "main", "focused", "correlated-window-runtime-event", 0, 0, 0);
    }
    benchmark::DoNotOptimize(provider->eventLog().size());
    state.PauseTiming();
    provider.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_DescribeWithLog(benchmark::State& state) {
  NativeUiHostProvider provider(descriptor(), kOwner);
  provider.initialize(true, false, kOwner, 1, 1);
  for (std::int64_t i = 1; i < state.range(0); ++i) provider.recordWindowEvent("main", "focused", 0, 0, kOwner);
  std::size_t length = 0;
  for (auto _ : state) {
    const std::string line = provider.describe();
    length = line.size();
    benchmark::DoNotOptimize(line.data());
  }
  state.counters["description_bytes"] = static_cast<double>(length);
}

BENCHMARK(BM_AccessibilityNodeUpdates)->Arg(1024)->Arg(65536)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DisplayPublishAndLookup)->Arg(1024)->Arg(65536)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RecordHostEvents)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_DescribeWithLog)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
#if defined(__GLIBC__)
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
#endif
  benchmark::Initialize(&argc, argv);
  bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n");
  reporter.printRatio("node updates 65536 vs 1024", "BM_AccessibilityNodeUpdates/65536",
                      "BM_AccessibilityNodeUpdates/1024", 100.0);
  reporter.printRatio("display publish+find 65536 vs 1024", "BM_DisplayPublishAndLookup/65536",
                      "BM_DisplayPublishAndLookup/1024", 100.0);
  // 100 times the events: flat time per event within 2x is at most 200 times the time.
  reporter.printRatio("events 1000000 vs 10000", "BM_RecordHostEvents/1000000/min_time:3.000",
                      "BM_RecordHostEvents/10000/min_time:3.000", 200.0);
  reporter.printRatio("describe, log 1000000 vs 10000", "BM_DescribeWithLog/1000000", "BM_DescribeWithLog/10000", 2.0);
  benchmark::Shutdown();
  return 0;
}
