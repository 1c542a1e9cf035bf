// Speed of the durable record store against the floors of the same run, at 1024, 8192, 32768
// and 65536 entries (the last at the limits: a snapshot just under 4 MiB):
//   open, with the release of what it returned, against reading the file and computing its
//     checksum, the two timed in alternating rounds and compared by the median of the rounds'
//     ratios (bench/alternating_rounds.hpp), which a busy machine moves far less than a ratio of
//     two separate runs;
//   one commit of one changed record against writing and flushing two files of that size, one
//     replacing move, the flush of the directory and one delete (also on the five-record store);
//   the open of a hostile file within every limit, which must stay under a second;
//   puts in memory, without a commit: one changed record, and 1024 new keys into a new map;
//   encode and decode throughput;
//   the open, and the directory view's refresh at a window's focus after a save it refused, while
//     another program's commit is in flight, each under a fixed limit.
// Ratios are printed after the table. The data lives in a scratch directory under the system's
// temporary directory (OREB_BENCH_DIR overrides it) and is removed at the end.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/directory_view.hpp"
#include "bench/alternating_rounds.hpp"
#include "bench/ratio_reporter.hpp"
#include "runtime/file_system.hpp"
#include "runtime/files.hpp"
#include "store/batch.hpp"
#include "store/database.hpp"
#include "store/record_keys.hpp"
#include "store/snapshot_codec.hpp"
#include "store/store_commit.hpp"
#include "store/store_files.hpp"
#include "store/store_state.hpp"
#include "store/testing/record_builders.hpp"

namespace {

using store::Database;
using store::Record;
using store::RecordBatch;
using store::testing::ownedByEdge;
using store::testing::sizedRecord;

std::filesystem::path gRoot;

std::string dirText(const std::string& name) {
  const std::u8string u8 = (gRoot / name).generic_u8string();
  return std::string(u8.begin(), u8.end());
}

// The five demo records: two customers, three animals with their owner edges.
void seedSmallStore(const std::string& directory) {
  Database database = store::openDatabase(directory);
  RecordBatch batch;
  batch.records = {sizedRecord("customer-1", "customer", 16), sizedRecord("customer-2", "customer", 16),
                   sizedRecord("animal-1", "animal", 12), sizedRecord("animal-2", "animal", 12),
                   sizedRecord("animal-3", "animal", 12)};
  batch.edges = {ownedByEdge("edge-1", "animal-1", "customer-1", 1), ownedByEdge("edge-2", "animal-2", "customer-1", 1),
                 ownedByEdge("edge-3", "animal-3", "customer-2", 1)};
  if (!store::putBatch(database, batch)) std::abort();
}

// Records until the map holds `entries` entries, with content sized so that the snapshot has
// the bytes per entry of a full store: 65536 entries end just under 4194304 bytes.
void seedStore(const std::string& directory, std::size_t entries) {
  Database database = store::openDatabase(directory);
  const std::size_t perRecord = 23;  // 12 fields, 6 counts, 2 properties, 2 catalog keys... minus the shared count
  std::size_t records = 0;
  while (database.store.entries.size() + perRecord <= entries) {
    if (!store::putRecord(database, sizedRecord("r" + std::to_string(records), "animal", 0))) std::abort();
    ++records;
  }
  const std::size_t base = store::encodeSnapshot(database.store).size();
  const std::size_t target = static_cast<std::size_t>(store::kMaxSnapshotFileBytes / store::kMaxEntries) * entries - 64;
  const std::size_t padding = (target - base) / records;
  for (std::size_t i = 0; i < records; ++i) {
    if (!store::putRecord(database, sizedRecord("r" + std::to_string(i), "animal", padding))) std::abort();
  }
  std::size_t filler = 0;
  while (database.store.entries.size() < entries) {
    if (!store::storePut(database.store, "filler/" + std::to_string(filler++), "")) std::abort();
  }
  if (!store::commitStore(database.store)) std::abort();
}

// A file within every limit that asks the most of the catalog walk: 8191 records, each with
// only its id and the largest count of every list, so that each slot is looked up in vain.
void seedHostileStore(const std::string& directory) {
  using store::fieldKey;
  runtime::ensureDirectory(directory);
  store::StoreState state = store::makeStoreState(directory);
  constexpr int kRecords = 8191;
  const std::string_view catalog = store::kRecordLayout.catalog;
  bool stored = store::storePut(state, fieldKey(catalog, store::kCountWord), std::to_string(kRecords));
  for (int i = 0; i < kRecords; ++i) {
    const std::string id = "h" + std::to_string(i);
    const std::string owner = store::ownerKey(store::kRecordLayout.stem, id);
    stored = stored && store::storePut(state, fieldKey(catalog, std::to_string(i)), id) &&
             store::storePut(state, fieldKey(owner, store::kIdName), id);
    for (const store::Field<Record>& field : store::kRecordLayout.fields) {
      if (!store::hasSlots(field)) continue;
      const std::int32_t most =
          field.kind == store::FieldKind::kProperties ? store::kMaxPropertySlots : store::kMaxListSlots;
      stored = stored &&
               store::storePut(state, fieldKey(fieldKey(owner, field.name), store::kCountWord), std::to_string(most));
    }
  }
  if (!stored || !store::commitStore(state)) std::abort();
}

// The five demo records as the directory view seeds them in `directory`, and in `other` a copy of
// that store to which another program then saved one more record: a commit whose file an open of
// `directory` would take over its own.
void seedViewStores(const std::string& directory, const std::string& other) {
  app::DirectoryView seeded(directory);
  seeded.seedDemoData();
  if (seeded.database.records.size() != 5) std::abort();
  std::filesystem::create_directories(other);
  std::filesystem::copy(directory, other);
  app::DirectoryView another(other);
  if (!another.saveRecord("", "customer", "Otter", "", "", false)) std::abort();
}

// Another program's commit in flight on `directory`: its whole write-ahead file, a copy of the
// snapshot file in `committed`, is there, and it holds the directory's lock throughout. The lock
// is this process's own, and every other attempt at it in the process fails all the same. At the
// end the file goes, then the lock.
class AnotherCommitInFlight {
 public:
  AnotherCommitInFlight(const std::string& directory, const std::string& committed) : wal_(store::walPath(directory)) {
    if (!runtime::writeFileBytes(wal_, runtime::readFileBytes(store::snapshotPath(committed), 1 << 20))) std::abort();
    held_ = store::lockStoreDirectory(directory);
    if (held_ == nullptr) std::abort();
  }
  ~AnotherCommitInFlight() { std::filesystem::remove(runtime::toNativePath(wal_)); }
  AnotherCommitInFlight(const AnotherCommitInFlight&) = delete;
  AnotherCommitInFlight& operator=(const AnotherCommitInFlight&) = delete;

 private:
  std::string wal_;
  std::unique_ptr<runtime::FileSystem::Lock> held_;
};

std::int64_t snapshotSize(const std::string& directory) {
  return static_cast<std::int64_t>(std::filesystem::file_size(runtime::toNativePath(store::snapshotPath(directory))));
}

// One open as the directory view makes one after every save: open, use, release. False when it
// failed or read other than `entries` entries (0: any number).
bool openOnce(const std::string& directory, std::size_t entries, std::size_t& records) {
  const Database database = store::openDatabase(directory);
  records = database.records.size();
  benchmark::DoNotOptimize(&database);
  return database.store.ok && (entries == 0 || database.store.entries.size() == entries);
}

void openAndRelease(benchmark::State& state, const std::string& directory, std::size_t entries) {
  std::size_t records = 0;
  for (auto _ : state) {
    if (!openOnce(directory, entries, records)) state.SkipWithError("open failed");
  }
  state.counters["records"] = static_cast<double>(records);
  state.counters["file_bytes"] = static_cast<double>(snapshotSize(directory));
}

constexpr std::size_t kOpenRounds = 31;
constexpr double kOpenRoundSeconds = 0.02;

// openOnce against what no open can avoid, reading the file and computing its checksum,
// in alternating rounds. The time shown is the open's, per call; the counters hold the floor's
// and the median of the rounds' ratios.
void openAgainstFloor(benchmark::State& state, const std::string& directory, std::size_t entries) {
  const std::string path = store::snapshotPath(directory);
  std::size_t records = 0;
  bool failed = false;
  auto open = [&] { failed = !openOnce(directory, entries, records) || failed; };
  auto floor = [&path] {
    const runtime::Bytes bytes = runtime::readFileBytes(path, store::kMaxSnapshotFileBytes);
    benchmark::DoNotOptimize(
        store::snapshotChecksum(bytes, static_cast<std::int32_t>(bytes.size() - store::layout::kChecksumBytes)));
  };
  for (auto _ : state) {
    const bench::RoundRatio measured = bench::alternatingRounds(open, floor, kOpenRounds, kOpenRoundSeconds);
    state.SetIterationTime(measured.measuredSeconds);
    state.counters["ms"] = measured.measuredSeconds * 1e3;
    state.counters["floor_ms"] = measured.floorSeconds * 1e3;
    state.counters["ratio"] = measured.ratio;
    state.counters["rounds"] = static_cast<double>(measured.rounds);
    state.counters["calls"] = static_cast<double>(measured.callsPerRound);
  }
  if (failed) state.SkipWithError("open failed");
  state.counters["records"] = static_cast<double>(records);
  state.counters["file_bytes"] = static_cast<double>(snapshotSize(directory));
}

// One record changed again and again: committed in a batch each time, or only put in memory
// (its keys overwritten).
void changeOneRecord(benchmark::State& state, const std::string& directory, const std::string& id, bool commit) {
  Database database = store::openDatabase(directory);
  Record record = database.records.at(static_cast<std::size_t>(store::findRecordIndex(database, id)));
  std::int32_t counter = 0;
  for (auto _ : state) {
    record.updated = 100 + counter++;
    RecordBatch batch;
    if (commit) batch.records.push_back(record);
    if (!(commit ? store::putBatch(database, batch) : store::putRecord(database, record))) {
      state.SkipWithError("put failed");
    }
  }
  if (commit) state.counters["file_bytes"] = static_cast<double>(snapshotSize(directory));
}

void commitOneRecord(benchmark::State& state, const std::string& directory, const std::string& id) {
  changeOneRecord(state, directory, id, true);
}

void putOneRecord(benchmark::State& state, const std::string& directory, const std::string& id) {
  changeOneRecord(state, directory, id, false);
}

// 1024 new keys put into a new map, which grows as they come.
void putNewKeys(benchmark::State& state) {
  std::vector<std::string> keys(1024);
  for (std::size_t i = 0; i < keys.size(); ++i) keys[i] = store::recordKey("r" + std::to_string(i), "content");
  for (auto _ : state) {
    store::StoreState map = store::makeStoreState("bench");
    for (const std::string& key : keys) {
      if (!store::storePut(map, key, "value")) state.SkipWithError("put failed");
    }
    benchmark::DoNotOptimize(map);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * keys.size()));
}

// The file work a commit cannot avoid: two files written and flushed, one move, the flush of
// the directory that makes it durable, one delete.
void commitFloor(benchmark::State& state, const std::string& directory) {
  const runtime::Bytes bytes = runtime::readFileBytes(store::snapshotPath(directory), store::kMaxSnapshotFileBytes);
  const std::string first = directory + "/floor.first";
  const std::string second = directory + "/floor.second";
  const std::string target = directory + "/floor.target";
  for (auto _ : state) {
    if (!runtime::writeFileBytes(first, bytes) || !runtime::syncFile(first) ||
        !runtime::writeFileBytes(second, bytes) || !runtime::syncFile(second) ||
        !runtime::replaceFile(second, target) || !runtime::syncDirectory(directory)) {
      state.SkipWithError("floor failed");
    }
    runtime::deleteFileQuietly(first);
  }
  runtime::deleteFileQuietly(target);
}

void BM_EncodeFullStore(benchmark::State& state) {
  const Database database = store::openDatabase(dirText("open-65536"));
  std::size_t size = 0;
  for (auto _ : state) {
    const runtime::Bytes bytes = store::encodeSnapshot(database.store);
    size = bytes.size();
    benchmark::DoNotOptimize(bytes.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

void BM_DecodeFullStore(benchmark::State& state) {
  const runtime::Bytes bytes =
      runtime::readFileBytes(store::snapshotPath(dirText("open-65536")), store::kMaxSnapshotFileBytes);
  for (auto _ : state) {
    store::StoreState decoded = store::decodeSnapshot(bytes, "bench");
    if (!decoded.ok) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(decoded);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

const std::size_t kSizes[] = {1024, 8192, 32768, 65536};

// An open of the five-record store while another program's commit is in flight: its write-ahead
// file is there and it holds the directory's lock throughout. A window's focus makes this open;
// it must return in well under a second.
void openWhileAnotherHoldsTheLock(benchmark::State& state, const std::string& directory) {
  const AnotherCommitInFlight inFlight(directory, directory);
  for (auto _ : state) {
    const Database database = store::openDatabase(directory);
    if (database.store.opened != store::OpenOutcome::kWriteAheadInFlight) state.SkipWithError("the lock was had");
  }
}

constexpr const char* kRefusedForTheLock = "Not saved; another program is writing the store";

// The directory view's refresh at a window's focus while another program's commit is in flight on
// the five demo records, after the view found it writing and refused a save for it. The window
// waits for the refresh, which must return well within a third of a second. The other program's
// records are never taken while it holds the lock.
void viewFocusAfterRefusedSave(benchmark::State& state, const std::string& directory, const std::string& other) {
  app::DirectoryView view(directory);
  const AnotherCommitInFlight inFlight(directory, other);
  view.reloadIfChanged();
  view.saveRecord("animal-3", "animal", "Mochi", "Cat / x", "customer-1", false);
  if (!view.status().starts_with(kRefusedForTheLock)) {
    state.SkipWithError(("the save was not refused for the lock: " + view.status()).c_str());
    return;
  }
  for (auto _ : state) {
    view.reloadIfChanged();
  }
  if (view.database.records.size() != 5) state.SkipWithError("the other program's commit was taken");
}

std::string timed(const std::string& name, double minTime) {
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, "/min_time:%.3f", minTime);
  return name + suffix;
}

// Each measurement beside its floor, size by size, so that both see the same machine.
void registerBenchmarks() {
  for (const std::size_t entries : kSizes) {
    const std::string n = std::to_string(entries);
    const std::string open = dirText("open-" + n);
    const std::string commit = dirText("commit-" + n);
    const std::string id = "r" + std::to_string(entries / 46);  // a record in the middle
    benchmark::RegisterBenchmark(("open/" + n).c_str(), openAgainstFloor, open, entries)
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime()
        ->Iterations(1);
    benchmark::RegisterBenchmark(("commit/" + n).c_str(), commitOneRecord, commit, id)
        ->Unit(benchmark::kMillisecond)
        ->MinTime(2.0);
    benchmark::RegisterBenchmark(("commit_floor/" + n).c_str(), commitFloor, commit)
        ->Unit(benchmark::kMillisecond)
        ->MinTime(2.0);
    benchmark::RegisterBenchmark(("put/" + n).c_str(), putOneRecord, open, id)->Unit(benchmark::kMicrosecond);
  }
  benchmark::RegisterBenchmark("put/1024-new-keys", putNewKeys)->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("commit/five-records", commitOneRecord, dirText("small"), "animal-2")
      ->Unit(benchmark::kMillisecond)
      ->MinTime(1.0);
  benchmark::RegisterBenchmark("commit_floor/five-records", commitFloor, dirText("small"))
      ->Unit(benchmark::kMillisecond)
      ->MinTime(1.0);
  benchmark::RegisterBenchmark("open/hostile", openAndRelease, dirText("hostile"), 0)
      ->Unit(benchmark::kMillisecond)
      ->MinTime(1.0);
  benchmark::RegisterBenchmark("open/lock-held-by-another", openWhileAnotherHoldsTheLock, dirText("held"))
      ->Unit(benchmark::kMillisecond)
      ->Iterations(4);
  benchmark::RegisterBenchmark("view/focus-after-refused-save-lock-held", viewFocusAfterRefusedSave,
                               dirText("view-held"), dirText("view-other"))
      ->Unit(benchmark::kMillisecond)
      ->Iterations(5);
  benchmark::RegisterBenchmark("encode/65536", BM_EncodeFullStore)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("decode/65536", BM_DecodeFullStore)->Unit(benchmark::kMillisecond);
}

}  // namespace

int main(int argc, char** argv) try {
  const char* override = std::getenv("OREB_BENCH_DIR");
  gRoot = override != nullptr && *override != '\0' ? std::filesystem::path(override)
                                                   : std::filesystem::temp_directory_path() / "oreb-store-bench";
  std::filesystem::remove_all(gRoot);
  std::filesystem::create_directories(gRoot);
  seedSmallStore(dirText("small"));
  for (const std::size_t entries : kSizes) {
    seedStore(dirText("open-" + std::to_string(entries)), entries);
    seedStore(dirText("commit-" + std::to_string(entries)), entries);
  }
  seedHostileStore(dirText("hostile"));
  seedSmallStore(dirText("held"));
  seedViewStores(dirText("view-held"), dirText("view-other"));

  benchmark::Initialize(&argc, argv);
  registerBenchmarks();
  bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n");
  for (const std::size_t entries : kSizes) {
    const std::string n = std::to_string(entries);
    reporter.printRoundRatio(("open, " + n + " entries").c_str(), "open/" + n + "/iterations:1/manual_time", 3.0);
  }
  for (const std::size_t entries : kSizes) {
    const std::string n = std::to_string(entries);
    reporter.printRatio(("commit, " + n + " entries").c_str(), timed("commit/" + n, 2.0),
                        timed("commit_floor/" + n, 2.0), 1.3);
  }
  reporter.printRatio("commit, five-record store", timed("commit/five-records", 1.0),
                      timed("commit_floor/five-records", 1.0), 1.3);
  reporter.printLimit("open of the hostile file", timed("open/hostile", 1.0), 1.0);
  reporter.printLimit("open while another program holds the lock", "open/lock-held-by-another/iterations:4", 0.5);
  reporter.printLimit("view focus after a refused save, lock held",
                      "view/focus-after-refused-save-lock-held/iterations:5", 0.3);
  benchmark::Shutdown();
  std::filesystem::remove_all(gRoot);
  return 0;
} catch (const std::exception& error) {
  // A benchmark directory that cannot be made or seeded stops the run with the reason.
  std::fprintf(stderr, "store_bench: %s\n", error.what());
  return 1;
}
