// Speed and memory of the retained store's admission protocol:
//   one binding whose delta brings n new paints (1k to 65536) with a fragment of 4096 commands,
//     each naming pending resources of the delta (paint, clip, transform, and an image or a
//     glyph): time(65536)/time(1024) against the linear 64;
//   probes per counted lookup of stored paints at 1k to 65k entries beside the ideal chain walk
//     of the fixed 8192 buckets, and the time of a committed update divided by its counted work
//     (probes + records + commands), which should stay within a factor 2 from 1k to 65k entries;
//   prepare plus commit of a batch of n single-command updates: time(4096)/time(512) against 8,
//     and 4096 against 1024, as medians of five runs of processor time, and 4096 against 512
//     once more with both sizes run in turn (a batch of 512 nearly fits the processor's
//     second-level cache, one of 4096 does not);
//   the peak resident memory of preparing and committing a delta of 30 ready 512x512 images
//     (60 MiB of hex), against the payload size (Linux only: it reads /proc/self/status).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench/ratio_reporter.hpp"
#include "render/render_records.hpp"
#include "retained/operation_result.hpp"
#include "retained/prepared_admission.hpp"
#include "retained/prepared_candidate_batch.hpp"
#include "retained/retained_resource_store.hpp"
#include "retained/tests/record_fixtures.hpp"

namespace {

using retained::RetainedResourceStore;
using retained::testing::paintOf;
using retained::testing::readyImage;
using runtime::Text;

constexpr const char* kSurface = "bench-surface";

render::OwnerFragment fragmentOf(const Text& owner, std::int32_t generation, std::int32_t firstSequence,
                                 std::int32_t commands) {
  render::OwnerFragment fragment;
  fragment.id = owner;
  fragment.generation = generation;
  fragment.layoutBounds = {0, 0, 10, 10};
  fragment.inkBounds = {0, 0, 10, 10};
  fragment.dependencySignature = {"k1", "k2", "k3", "k4", "k5", "deps"};
  fragment.source = "bench";
  fragment.commands.resize(static_cast<std::size_t>(commands));
  for (std::int32_t j = 0; j < commands; ++j) {
    render::CommandRecord& command = fragment.commands[static_cast<std::size_t>(j)];
    command.sequence = firstSequence + j;
    command.owner = owner;
    command.kind = "rect";
  }
  return fragment;
}

render::GlyphAlphaRecord glyphOf(std::int32_t i) {
  render::GlyphAlphaRecord glyph;
  Text digits = std::to_string(i);
  glyph.id = "sha256:" + Text(64 - digits.size(), '0') + digits;
  glyph.width = 1;
  glyph.height = 1;
  glyph.rowStride = 1;
  glyph.sizeBytes = 1;
  glyph.format = "a8-unorm-hex";
  glyph.payloadHex = "ff";
  glyph.source = "bench";
  return glyph;
}

// A binding whose delta brings n new paints and 64 each of images, glyphs, clips and
// transforms, and whose 4096 commands each name a paint, a clip, a transform and an image or a
// glyph of that same delta.
struct PendingAdmission {
  render::OwnerFragment fragment;
  render::ResourceDelta delta;
};

PendingAdmission pendingAdmission(std::int32_t paints) {
  PendingAdmission admission{fragmentOf("owner", 1, 0, 4096), {}};
  render::ResourceDelta& delta = admission.delta;
  delta.surfaceId = kSurface;
  for (std::int32_t i = 0; i < paints; ++i) delta.paints.push_back(paintOf("p" + std::to_string(i)));
  for (std::int32_t i = 0; i < 64; ++i) {
    const Text n = std::to_string(i);
    delta.images.push_back(readyImage("i" + n, 1));  // generation 1, one pixel
    delta.glyphAlphas.push_back(glyphOf(i));
    delta.clips.push_back(render::ClipRecord{"c" + n, 0, 0, 5, 5, 0});
    delta.transforms.push_back(render::TransformRecord{"t" + n, 1, 1, 100, 100, 0});
  }
  for (std::int32_t j = 0; j < 4096; ++j) {
    render::CommandRecord& command = admission.fragment.commands[static_cast<std::size_t>(j)];
    // Spread over the whole delta, so late paints are found as quickly as early ones.
    command.paintId = "p" + std::to_string(static_cast<std::int64_t>(j) * paints / 4096);
    command.clipId = "c" + std::to_string(j % 64);
    command.transformId = "t" + std::to_string(j % 64);
    if (j % 2 == 0) {
      command.kind = "image";
      command.resourceId = "i" + std::to_string(j % 64);
      command.imageGeneration = 1;
    } else {
      command.kind = "glyphAlpha";
      command.resourceId = delta.glyphAlphas[static_cast<std::size_t>(j % 64)].id;
    }
  }
  return admission;
}

void BM_BindingWithNewPaints(benchmark::State& state) {
  const PendingAdmission admission = pendingAdmission(static_cast<std::int32_t>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    auto store = std::make_unique<RetainedResourceStore>(kSurface);
    state.ResumeTiming();
    const retained::OperationResult result = store->admitBinding(admission.fragment, admission.delta, 0);
    if (!result.ok) state.SkipWithError(result.message.c_str());
    state.PauseTiming();
    store.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_BindingWithNewPaints)->Arg(1024)->Arg(4096)->Arg(16384)->Arg(65536 - 256)->Unit(benchmark::kMillisecond);

constexpr std::int32_t kResubmitted = 1024;
constexpr std::int32_t kUpdateCommands = 16;

// A store holding `entries` paints (bound with a one-command filler owner) and an owner "w"
// whose 16 commands name stored paints; its updates resubmit 1024 stored paints spread over the
// whole table, so that most of their work is counted lookups.
struct FilledStore {
  std::unique_ptr<RetainedResourceStore> store = std::make_unique<RetainedResourceStore>(kSurface);
  render::OwnerFragment update;
  render::ResourceDelta resubmitted;  // stored paints, compared again
};

FilledStore filledStore(std::int32_t entries) {
  FilledStore filled;
  render::ResourceDelta delta;
  delta.surfaceId = kSurface;
  for (std::int32_t i = 0; i < entries; ++i) delta.paints.push_back(paintOf("p" + std::to_string(i)));
  filled.store->admitBinding(fragmentOf("filler", 1, 100000, 1), delta, 0);
  filled.update = fragmentOf("w", 1, 0, kUpdateCommands);
  filled.resubmitted.surfaceId = kSurface;
  for (std::int32_t j = 0; j < kResubmitted; ++j) {
    const Text id = "p" + std::to_string(static_cast<std::int64_t>(j) * entries / kResubmitted);
    if (j < kUpdateCommands) filled.update.commands[static_cast<std::size_t>(j)].paintId = id;
    filled.resubmitted.paints.push_back(paintOf(id));
  }
  render::ResourceDelta none;
  none.surfaceId = kSurface;
  filled.store->admitBinding(filled.update, none, 1);
  return filled;
}

// Counted work and probes of one committed update on a filled store.
void BM_CommittedUpdate(benchmark::State& state) {
  FilledStore filled = filledStore(static_cast<std::int32_t>(state.range(0)));
  RetainedResourceStore& store = *filled.store;
  std::uint64_t probes = 0;
  std::uint64_t admissions = 0;
  for (auto _ : state) {
    filled.update.generation += 1;
    const std::uint32_t before = store.indexProbeCount();
    const retained::OperationResult result = store.admitUpdate(filled.update, filled.resubmitted, store.revision());
    if (!result.ok) state.SkipWithError(result.message.c_str());
    probes += store.indexProbeCount() - before;
    ++admissions;
  }
  const double perAdmission = static_cast<double>(probes) / static_cast<double>(admissions);
  // Lookups: the owner, the resubmitted paints and the commands' references.
  const double lookups = 1 + kResubmitted + kUpdateCommands;
  const double keys = store.indexKeyCount();
  state.counters["probes_per_lookup"] = perAdmission / lookups;
  state.counters["ideal_per_lookup"] = 1.0 + (keys - 1.0) / (2.0 * store.indexBucketCount());
  const double work = perAdmission + kResubmitted + kUpdateCommands;  // probes + records + commands
  state.counters["work"] = work;
  state.counters["ns_per_work"] = benchmark::Counter(static_cast<double>(admissions) * work,
                                                     benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_CommittedUpdate)->Arg(1024)->Arg(8192)->Arg(32768)->Arg(65000)->Unit(benchmark::kMicrosecond);

// Processor time of this process in seconds (the benchmark runs on one thread).
double processorSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

// A store holding n owners of one command each, and the fragments that update them all.
struct UpdateBatch {
  RetainedResourceStore store{kSurface};
  std::vector<render::OwnerFragment> fragments;
  std::vector<render::ResourceDelta> deltas;
  Text failure;  // why the set-up or a batch failed; empty while all goes well

  explicit UpdateBatch(std::int32_t n) {
    render::ResourceDelta none;
    none.surfaceId = kSurface;
    for (std::int32_t i = 0; i < n && failure.empty(); ++i) {
      fragments.push_back(fragmentOf("o" + std::to_string(i), 1, i, 1));
      const retained::OperationResult bound = store.admitBinding(fragments.back(), none, store.revision());
      if (!bound.ok) failure = bound.message;
    }
    deltas.assign(static_cast<std::size_t>(n), none);
  }

  // Gives every fragment a newer generation (a caller's work, not the store's, so it is left out
  // of the time), then prepares and commits the batch and releases it, as its maker would.
  // Answers the processor time of the prepare, the commit and the release: on a shared machine
  // the elapsed time of a 20 ms batch also counts the time the thread waited for a processor,
  // which has nothing to do with the batch's size and swung the 4096 against 512 ratio by more
  // than its own margin.
  double prepareAndCommit() {
    for (render::OwnerFragment& fragment : fragments) fragment.generation += 1;
    const double start = processorSeconds();
    {
      const auto batch = store.prepareCandidateBatch(fragments, deltas, store.revision());
      const retained::OperationResult result = store.commitPreparedCandidateBatch(batch, fragments, deltas);
      if (!result.ok) failure = result.message;
    }
    return processorSeconds() - start;
  }
};

// Prepare and commit of a batch updating n owners of one command each, against a store that
// holds those n owners, timed by hand (see UpdateBatch).
void BM_BatchOfUpdates(benchmark::State& state) {
  UpdateBatch batch(static_cast<std::int32_t>(state.range(0)));
  for (auto _ : state) {
    if (!batch.failure.empty()) {
      state.SkipWithError(batch.failure.c_str());
      break;
    }
    state.SetIterationTime(batch.prepareAndCommit());
  }
}
BENCHMARK(BM_BatchOfUpdates)
    ->Arg(512)
    ->Arg(1024)
    ->Arg(2048)
    ->Arg(4096)
    ->UseManualTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

// The 4096 against 512 ratio measured in pairs: each iteration commits one batch of 4096 and
// eight of 512, in turn, so that both sizes run under the same load of the machine; a slower
// moment of a shared machine otherwise lands on one size only and moves the ratio by more than
// the batch does.
void BM_BatchOfUpdatesInPairs(benchmark::State& state) {
  UpdateBatch large(4096);
  UpdateBatch small(512);
  double largeSeconds = 0;
  double smallSeconds = 0;
  for (auto _ : state) {
    largeSeconds += large.prepareAndCommit();
    for (std::int32_t i = 0; i < 8; ++i) smallSeconds += small.prepareAndCommit();
    if (!large.failure.empty() || !small.failure.empty()) {
      state.SkipWithError((large.failure + small.failure).c_str());
      break;
    }
  }
  const auto iterations = static_cast<double>(state.iterations());
  state.counters["ms_4096"] = largeSeconds * 1e3 / iterations;
  state.counters["ms_512"] = smallSeconds * 1e3 / (8 * iterations);
  state.counters["ratio"] = largeSeconds * 8 / smallSeconds;
}
BENCHMARK(BM_BatchOfUpdatesInPairs)->Unit(benchmark::kMillisecond);

// Resident and peak resident memory in KiB, from /proc/self/status; 0 where unavailable.
std::int64_t statusKiB(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::string prefix = std::string(field) + ":";
  while (std::getline(status, line)) {
    if (line.rfind(prefix, 0) == 0) return std::stoll(line.substr(prefix.size()));
  }
  return 0;
}

void reportPeakMemoryOfLargeImages() {
  constexpr std::int32_t kImages = 30;
  render::ResourceDelta delta;
  delta.surfaceId = kSurface;
  render::OwnerFragment fragment = fragmentOf("images", 1, 0, kImages);
  for (std::int32_t i = 0; i < kImages; ++i) {
    delta.images.push_back(readyImage("big" + std::to_string(i), 1, 512, 512));
    fragment.commands[static_cast<std::size_t>(i)].kind = "image";
    fragment.commands[static_cast<std::size_t>(i)].resourceId = "big" + std::to_string(i);
    fragment.commands[static_cast<std::size_t>(i)].imageGeneration = 1;
  }
  const double payloadMiB = kImages * 2.0;  // hex text: two bytes per pixel byte
  RetainedResourceStore store(kSurface);
  {
    std::ofstream reset("/proc/self/clear_refs");
    reset << "5";  // peak resident memory starts again from the current figure
  }
  const std::int64_t base = statusKiB("VmRSS");
  auto prepared = store.prepareBinding(fragment, delta, 0);
  const std::int64_t afterPrepare = statusKiB("VmRSS");
  const retained::OperationResult result = store.commitPreparedBinding(prepared, fragment, delta);
  const std::int64_t afterCommit = statusKiB("VmRSS");
  const std::int64_t peak = statusKiB("VmHWM");
  if (base == 0 || !result.ok) {
    std::printf("peak memory: not measured (%s)\n", result.message.c_str());
    return;
  }
  auto mib = [](std::int64_t kib) { return static_cast<double>(kib) / 1024.0; };
  std::printf(
      "30 ready images, %.0f MiB of hex held by the caller's delta (resident before: %.1f MiB)\n"
      "  held after prepare: +%.1f MiB (%.2fx payload), after commit: +%.1f MiB (%.2fx)\n"
      "  peak during prepare and commit: +%.1f MiB (%.2fx payload); with the caller's delta %.2fx\n",
      payloadMiB, mib(base), mib(afterPrepare - base), mib(afterPrepare - base) / payloadMiB, mib(afterCommit - base),
      mib(afterCommit - base) / payloadMiB, mib(peak - base), mib(peak - base) / payloadMiB,
      mib(peak - base) / payloadMiB + 1.0);
}

// The console table and ratios of the shared reporter, and the ratio the paired batch run counts.
class RetainedReporter : public bench::RatioReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const auto ratio = run.counters.find("ratio");
      if (!run.error_occurred && ratio != run.counters.end()) {
        pairedRatio_ = ratio->second.value;
        largeMs_ = run.counters.at("ms_4096").value;
        smallMs_ = run.counters.at("ms_512").value;
      }
    }
    RatioReporter::ReportRuns(runs);
  }

  void printPairedRatio(const char* what, double target) const {
    if (pairedRatio_ <= 0) return;
    printAgainstFloor(what, largeMs_, smallMs_, pairedRatio_, target);
  }

 private:
  double pairedRatio_ = 0;
  double largeMs_ = 0;
  double smallMs_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  bool filtered = false;
  for (int i = 1; i < argc; ++i) filtered = filtered || std::string(argv[i]).rfind("--benchmark_filter", 0) == 0;
  benchmark::Initialize(&argc, argv);
  // Measured first, before the other runs have grown the heap; left out of filtered runs.
  if (!filtered) reportPeakMemoryOfLargeImages();
  RetainedReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n");
  reporter.printRatio("binding, 65280 vs 1024 new paints", "BM_BindingWithNewPaints/65280",
                      "BM_BindingWithNewPaints/1024", 100.0);
  reporter.printRatio("batch, 4096 vs 512 updates", "BM_BatchOfUpdates/4096/repeats:5/manual_time_median",
                      "BM_BatchOfUpdates/512/repeats:5/manual_time_median", 10.0);
  reporter.printPairedRatio("batch in pairs, 4096 vs 512 updates", 10.0);
  reporter.printRatio("batch, 4096 vs 1024 updates", "BM_BatchOfUpdates/4096/repeats:5/manual_time_median",
                      "BM_BatchOfUpdates/1024/repeats:5/manual_time_median", 5.0);
  benchmark::Shutdown();
  return 0;
}
