// Speed of the durable record store against the floors of the same run:
//   open at the limits (65536 entries, a snapshot just under 4 MiB, records with their catalog)
//     against reading that file and computing its checksum;
//   one commit of one changed record, on the five-record store and on the full store,
//     against writing and flushing two files of that size, one replacing move and one delete;
//   encode and decode throughput.
// Ratios are printed after the table. The data lives in a scratch directory under the system's
// temporary directory (OREB_BENCH_DIR overrides it) and is removed at the end.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/ratio_reporter.hpp"
#include "runtime/files.hpp"
#include "store/batch.hpp"
#include "store/database.hpp"
#include "store/record_keys.hpp"
#include "store/snapshot_codec.hpp"
#include "store/store_state.hpp"

namespace {

using store::Database;
using store::Record;
using store::RecordBatch;

std::filesystem::path gRoot;

std::string dirText(const std::string& name) {
  const std::u8string u8 = (gRoot / name).generic_u8string();
  return std::string(u8.begin(), u8.end());
}

Record makeRecord(const std::string& id, const std::string& kind, std::size_t contentBytes) {
  Record record;
  record.id = id;
  record.tenant = "oreb";
  record.space = "veterinary";
  record.container = "directory";
  record.kind = kind;
  record.content = std::string(contentBytes, 'n');
  record.created = 1;
  record.updated = 2;
  record.classification = "internal";
  record.lifecycle = "canonical";
  record.properties = {{"detail", "Detail text of " + id}, {"phone", "555-0100"}};
  return record;
}

store::Edge makeEdge(const std::string& id, const std::string& from, const std::string& to) {
  store::Edge edge;
  edge.id = id;
  edge.tenant = "oreb";
  edge.from = from;
  edge.to = to;
  edge.kind = "owned-by";
  edge.created = 1;
  return edge;
}

// The five demo records: two customers, three animals with their owner edges.
void seedSmallStore(const std::string& directory) {
  Database database = store::openDatabase(directory);
  RecordBatch batch;
  batch.records = {makeRecord("customer-1", "customer", 16), makeRecord("customer-2", "customer", 16),
                   makeRecord("animal-1", "animal", 12), makeRecord("animal-2", "animal", 12),
                   makeRecord("animal-3", "animal", 12)};
  batch.edges = {makeEdge("edge-1", "animal-1", "customer-1"), makeEdge("edge-2", "animal-2", "customer-1"),
                 makeEdge("edge-3", "animal-3", "customer-2")};
  if (!store::putBatch(database, batch)) std::abort();
}

// Records until the map holds 65536 entries, with content sized so that the snapshot ends
// just under 4194304 bytes.
void seedFullStore(const std::string& directory) {
  Database database = store::openDatabase(directory);
  const std::size_t perRecord = 23;  // 12 fields, 6 counts, 2 properties, 2 catalog keys... minus the shared count
  std::size_t records = 0;
  while (database.store.entries.size() + perRecord <= 65536) {
    if (!store::putRecord(database, makeRecord("r" + std::to_string(records), "animal", 0))) std::abort();
    ++records;
  }
  const std::size_t base = store::encodeSnapshot(database.store).size();
  const std::size_t padding = (4194304 - 64 - base) / records;
  for (std::size_t i = 0; i < records; ++i) {
    if (!store::putRecord(database, makeRecord("r" + std::to_string(i), "animal", padding))) std::abort();
  }
  std::size_t filler = 0;
  while (database.store.entries.size() < 65536) {
    if (!store::storePut(database.store, "filler/" + std::to_string(filler++), "")) std::abort();
  }
  if (!store::commitStore(database.store)) std::abort();
}

std::int64_t snapshotSize(const std::string& directory) {
  return static_cast<std::int64_t>(std::filesystem::file_size(runtime::toNativePath(store::snapshotPath(directory))));
}

void BM_OpenAtLimits(benchmark::State& state) {
  const std::string directory = dirText("full");
  std::size_t records = 0;
  for (auto _ : state) {
    auto database = std::make_unique<Database>(store::openDatabase(directory));
    if (!database->store.ok || database->store.entries.size() != 65536) state.SkipWithError("open failed");
    records = database->records.size();
    benchmark::DoNotOptimize(database.get());
    // Releasing the result is the caller's business, not part of opening.
    state.PauseTiming();
    database.reset();
    state.ResumeTiming();
  }
  state.counters["records"] = static_cast<double>(records);
  state.counters["file_bytes"] = static_cast<double>(snapshotSize(directory));
}

void BM_FloorReadAndChecksum(benchmark::State& state) {
  const std::string path = store::snapshotPath(dirText("full"));
  for (auto _ : state) {
    const runtime::Bytes bytes = runtime::readFileBytes(path, 4194304);
    benchmark::DoNotOptimize(store::snapshotChecksum(bytes, static_cast<std::int32_t>(bytes.size()) - 4));
  }
}

void commitOneRecord(benchmark::State& state, const std::string& name, const std::string& id) {
  Database database = store::openDatabase(dirText(name));
  Record record = database.records.at(static_cast<std::size_t>(store::findRecordIndex(database, id)));
  std::int32_t counter = 0;
  for (auto _ : state) {
    record.updated = 100 + counter++;
    RecordBatch batch;
    batch.records.push_back(record);
    if (!store::putBatch(database, batch)) state.SkipWithError("commit failed");
  }
  state.counters["file_bytes"] = static_cast<double>(snapshotSize(dirText(name)));
}

// The file work a commit cannot avoid: two files written and flushed, one move, one delete.
void commitFloor(benchmark::State& state, const std::string& name) {
  const std::string directory = dirText(name);
  const runtime::Bytes bytes = runtime::readFileBytes(store::snapshotPath(directory), 4194304);
  const std::string first = directory + "/floor.first";
  const std::string second = directory + "/floor.second";
  const std::string target = directory + "/floor.target";
  for (auto _ : state) {
    if (!runtime::writeFileBytes(first, bytes) || !runtime::syncFile(first) ||
        !runtime::writeFileBytes(second, bytes) || !runtime::syncFile(second) ||
        !runtime::replaceFile(second, target)) {
      state.SkipWithError("floor failed");
    }
    runtime::deleteFileQuietly(first);
  }
  runtime::deleteFileQuietly(target);
}

void BM_CommitSmallStore(benchmark::State& state) { commitOneRecord(state, "small", "animal-2"); }
void BM_FloorCommitSmallStore(benchmark::State& state) { commitFloor(state, "small"); }
void BM_CommitFullStore(benchmark::State& state) { commitOneRecord(state, "full-commit", "r100"); }
void BM_FloorCommitFullStore(benchmark::State& state) { commitFloor(state, "full-commit"); }

void BM_EncodeFullStore(benchmark::State& state) {
  const Database database = store::openDatabase(dirText("full"));
  std::size_t size = 0;
  for (auto _ : state) {
    const runtime::Bytes bytes = store::encodeSnapshot(database.store);
    size = bytes.size();
    benchmark::DoNotOptimize(bytes.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

void BM_DecodeFullStore(benchmark::State& state) {
  const runtime::Bytes bytes = runtime::readFileBytes(store::snapshotPath(dirText("full")), 4194304);
  for (auto _ : state) {
    store::StoreState decoded = store::decodeSnapshot(bytes, "bench");
    if (!decoded.ok) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(decoded);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

BENCHMARK(BM_OpenAtLimits)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_FloorReadAndChecksum)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_CommitSmallStore)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_FloorCommitSmallStore)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_CommitFullStore)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_FloorCommitFullStore)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_EncodeFullStore)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeFullStore)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  const char* override = std::getenv("OREB_BENCH_DIR");
  gRoot = override != nullptr && *override != '\0' ? std::filesystem::path(override)
                                                   : std::filesystem::temp_directory_path() / "oreb-store-bench";
  std::filesystem::remove_all(gRoot);
  std::filesystem::create_directories(gRoot);
  seedSmallStore(dirText("small"));
  seedFullStore(dirText("full"));
  seedFullStore(dirText("full-commit"));

  benchmark::Initialize(&argc, argv);
  bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n");
  reporter.printRatio("open at the limits", "BM_OpenAtLimits/min_time:2.000", "BM_FloorReadAndChecksum/min_time:2.000",
                      4.0);
  reporter.printRatio("commit, five-record store", "BM_CommitSmallStore/min_time:2.000",
                      "BM_FloorCommitSmallStore/min_time:2.000", 1.5);
  reporter.printRatio("commit, full store", "BM_CommitFullStore/min_time:3.000",
                      "BM_FloorCommitFullStore/min_time:3.000", 1.5);
  benchmark::Shutdown();
  std::filesystem::remove_all(gRoot);
  return 0;
}
