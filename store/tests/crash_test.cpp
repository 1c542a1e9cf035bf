// Crash safety: a batch put (and the recovery at open) is stopped at every file operation, with
// writes cut short at several lengths and with unflushed data dropped as a power cut would.
// Reopening must then give exactly the old or the new committed state, never a mix, never lose
// a commit that answered true, and never fail on files the store itself wrote.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "runtime/file_system.hpp"
#include "store/batch.hpp"
#include "store/database.hpp"
#include "store/snapshot_codec.hpp"
#include "store/tests/fault_file_system.hpp"
#include "store/tests/test_support.hpp"

namespace store {
namespace {

using testing::FaultFileSystem;
using testing::sampleEdge;
using testing::sampleRecord;
using testing::TempDir;

using EntryMap = std::map<std::string, std::string>;

struct Snapshot {
  std::int32_t sequence = 0;
  EntryMap entries;
  bool operator==(const Snapshot&) const = default;
};

Snapshot snapshotOf(const StoreState& state) {
  Snapshot snapshot{state.sequence, {}};
  for (const StoreEntry& entry : state.entries) {
    if (!entry.deleted) snapshot.entries[entry.key] = entry.value;
  }
  return snapshot;
}

void seedOldState(const std::string& directory) {
  Database database = openDatabase(directory);
  RecordBatch seed;
  for (const char* id : {"c1", "c2", "a1", "a2", "a3"}) seed.records.push_back(sampleRecord(id));
  seed.edges.push_back(sampleEdge("e1", "a1", "c1"));
  ASSERT_TRUE(putBatch(database, seed));
}

RecordBatch changeBatch() {
  RecordBatch batch;
  Record changed = sampleRecord("c2");
  changed.content = "Changed name";
  changed.updated = 99;
  batch.records.push_back(changed);
  batch.records.push_back(sampleRecord("a4", "animal"));
  batch.edges.push_back(sampleEdge("e2", "a4", "c2"));
  return batch;
}

struct Scenario {
  int operation;
  FaultFileSystem::Mode mode;
  std::optional<std::size_t> torn;
  bool powerCut;

  std::string describe() const {
    return "operation " + std::to_string(operation) + (mode == FaultFileSystem::Mode::kCrash ? " crash" : " fails") +
           (torn ? " torn at " + std::to_string(*torn) : "") + (powerCut ? " power cut" : "");
  }
};

std::vector<Scenario> scenariosFor(int operations) {
  std::vector<Scenario> scenarios;
  const std::vector<std::optional<std::size_t>> tears = {std::nullopt, 0, 1, 15, 16, 100, 1000};
  for (int n = 0; n <= operations; ++n) {
    scenarios.push_back({n, FaultFileSystem::Mode::kFailOne, std::nullopt, false});
    scenarios.push_back({n, FaultFileSystem::Mode::kFailOne, 20, false});
    for (const auto& torn : tears) {
      scenarios.push_back({n, FaultFileSystem::Mode::kCrash, torn, false});
      scenarios.push_back({n, FaultFileSystem::Mode::kCrash, torn, true});
    }
  }
  return scenarios;
}

int countOperations(const std::function<void()>& action) {
  FaultFileSystem counting;
  runtime::ScopedFileSystem scope(counting);
  action();
  return counting.operationCount();
}

TEST(CrashSafety, BatchPutStoppedAtAnyFileOperation) {
  int commitOperations = 0;
  {
    TempDir dir;
    seedOldState(dir.text());
    Database database = openDatabase(dir.text());
    commitOperations = countOperations([&] { ASSERT_TRUE(putBatch(database, changeBatch())); });
  }
  ASSERT_EQ(commitOperations, 6);

  for (const Scenario& scenario : scenariosFor(commitOperations)) {
    SCOPED_TRACE(scenario.describe());
    TempDir dir;
    seedOldState(dir.text());
    Database database = openDatabase(dir.text());
    ASSERT_TRUE(database.store.ok);
    const Snapshot before = snapshotOf(database.store);

    FaultFileSystem faults;
    faults.injectAt(scenario.operation, scenario.mode, scenario.torn);
    bool answered = false;
    {
      runtime::ScopedFileSystem scope(faults);
      answered = putBatch(database, changeBatch());
    }
    Snapshot attempted = snapshotOf(database.store);
    attempted.sequence = before.sequence + 1;
    if (scenario.powerCut) faults.powerCut();

    const Database reopened = openDatabase(dir.text());
    ASSERT_TRUE(reopened.store.ok) << reopened.store.message;
    const Snapshot after = snapshotOf(reopened.store);
    const bool isOld = after == before;
    const bool isNew = after == attempted;
    EXPECT_TRUE(isOld || isNew) << "reopened at sequence " << after.sequence << " with " << after.entries.size()
                                << " entries";
    if (answered) {
      EXPECT_TRUE(isNew) << "a commit that answered true was lost";
    }
    EXPECT_EQ(reopened.records.size(), isNew ? 6u : 5u);
    EXPECT_EQ(reopened.edges.size(), isNew ? 2u : 1u);
    EXPECT_FALSE(testing::exists(walPath(dir.text()))) << "recovery settles the write-ahead file";

    // The reopened store goes on committing normally.
    Database next = reopened;
    RecordBatch more;
    more.records.push_back(sampleRecord("later"));
    ASSERT_TRUE(putBatch(next, more));
    const Database last = openDatabase(dir.text());
    ASSERT_TRUE(last.store.ok);
    EXPECT_EQ(last.store.sequence, after.sequence + 1);
    EXPECT_EQ(last.records.size(), reopened.records.size() + 1);
  }
}

TEST(CrashSafety, RecoveryAtOpenStoppedAtAnyFileOperation) {
  // A commit whose move failed leaves its complete, flushed write-ahead file behind.
  auto prepare = [](const std::string& directory) -> Snapshot {
    seedOldState(directory);
    Database database = openDatabase(directory);
    FaultFileSystem faults;
    faults.injectAt(4, FaultFileSystem::Mode::kFailOne);
    {
      runtime::ScopedFileSystem scope(faults);
      EXPECT_FALSE(putBatch(database, changeBatch()));
    }
    Snapshot attempted = snapshotOf(database.store);
    attempted.sequence += 1;
    return attempted;
  };

  int recoveryOperations = 0;
  {
    TempDir dir;
    prepare(dir.text());
    recoveryOperations = countOperations([&] { EXPECT_TRUE(openDatabase(dir.text()).store.ok); });
  }
  ASSERT_EQ(recoveryOperations, 4);  // write and flush the next file, move it, delete the write-ahead file

  // Also with the snapshot file damaged, which the write-ahead file then repairs.
  for (const bool damaged : {false, true}) {
    for (const Scenario& scenario : scenariosFor(recoveryOperations)) {
      SCOPED_TRACE(scenario.describe() + (damaged ? ", damaged snapshot file" : ""));
      TempDir dir;
      const Snapshot attempted = prepare(dir.text());
      if (damaged) {
        runtime::Bytes bytes = testing::readAll(snapshotPath(dir.text()));
        bytes[bytes.size() / 2] ^= 0x40;
        ASSERT_TRUE(runtime::writeFileBytes(snapshotPath(dir.text()), bytes));
        ASSERT_TRUE(runtime::syncFile(snapshotPath(dir.text())));
      }
      FaultFileSystem faults;
      faults.injectAt(scenario.operation, scenario.mode, scenario.torn);
      {
        runtime::ScopedFileSystem scope(faults);
        const Database interrupted = openDatabase(dir.text());
        // Whatever the open managed, it holds the write-ahead file's state.
        EXPECT_EQ(snapshotOf(interrupted.store), attempted);
      }
      if (scenario.powerCut) faults.powerCut();
      const Database reopened = openDatabase(dir.text());
      ASSERT_TRUE(reopened.store.ok) << reopened.store.message;
      EXPECT_EQ(snapshotOf(reopened.store), attempted);
      EXPECT_EQ(reopened.records.size(), 6u);
    }
  }
}

TEST(CrashSafety, FirstCommitIntoAnEmptyDirectoryStoppedAtAnyFileOperation) {
  RecordBatch first;
  first.records.push_back(sampleRecord("c1"));
  first.records.push_back(sampleRecord("a1", "animal"));
  first.edges.push_back(sampleEdge("e1", "a1", "c1"));
  for (const Scenario& scenario : scenariosFor(6)) {
    SCOPED_TRACE(scenario.describe());
    TempDir dir;
    Database database = openDatabase(dir.text());
    ASSERT_TRUE(database.store.ok);
    FaultFileSystem faults;
    faults.injectAt(scenario.operation, scenario.mode, scenario.torn);
    bool answered = false;
    {
      runtime::ScopedFileSystem scope(faults);
      answered = putBatch(database, first);
    }
    Snapshot attempted = snapshotOf(database.store);
    attempted.sequence = 1;
    if (scenario.powerCut) faults.powerCut();
    const Database reopened = openDatabase(dir.text());
    ASSERT_TRUE(reopened.store.ok) << reopened.store.message;
    const Snapshot after = snapshotOf(reopened.store);
    const bool isEmpty = after == Snapshot{};
    const bool isNew = after == attempted;
    EXPECT_TRUE(isEmpty || isNew) << "reopened at sequence " << after.sequence;
    if (answered) EXPECT_TRUE(isNew) << "a commit that answered true was lost";
    EXPECT_EQ(reopened.records.size(), isNew ? 2u : 0u);
    EXPECT_FALSE(testing::exists(walPath(dir.text())));
  }
}

TEST(CrashSafety, RecoveryThatDiscardsTheWriteAheadFileStoppedAtItsDelete) {
  // A write-ahead file older than the snapshot, or one cut short, is deleted at open; stopping
  // that delete (and cutting the power) leaves it for the next open to settle the same way.
  for (const bool torn : {false, true}) {
    for (const Scenario& scenario : scenariosFor(1)) {
      SCOPED_TRACE(scenario.describe() + (torn ? ", torn write-ahead file" : ", older write-ahead file"));
      TempDir dir;
      seedOldState(dir.text());
      const runtime::Bytes older = testing::readAll(snapshotPath(dir.text()));
      Database database = openDatabase(dir.text());
      ASSERT_TRUE(putBatch(database, changeBatch()));
      const Snapshot committed = snapshotOf(database.store);
      runtime::Bytes wal = older;
      if (torn) {
        wal = testing::readAll(snapshotPath(dir.text()));
        wal.resize(wal.size() / 2);
      }
      ASSERT_TRUE(runtime::writeFileBytes(walPath(dir.text()), wal));
      ASSERT_TRUE(runtime::syncFile(walPath(dir.text())));

      FaultFileSystem faults;
      faults.injectAt(scenario.operation, scenario.mode, scenario.torn);
      {
        runtime::ScopedFileSystem scope(faults);
        const Database interrupted = openDatabase(dir.text());
        EXPECT_TRUE(interrupted.store.ok);
        EXPECT_EQ(snapshotOf(interrupted.store), committed);
      }
      EXPECT_EQ(faults.operationCount(), 1) << "the delete and nothing else";
      if (scenario.powerCut) faults.powerCut();
      const Database reopened = openDatabase(dir.text());
      ASSERT_TRUE(reopened.store.ok) << reopened.store.message;
      EXPECT_EQ(snapshotOf(reopened.store), committed);
      EXPECT_EQ(reopened.records.size(), 6u);
      EXPECT_FALSE(testing::exists(walPath(dir.text())));
    }
  }
}

TEST(CrashSafety, SeriesOfCommitsStoppedAtAnyFileOperation) {
  // Three batch puts in a row under one file system, so that a power cut can also bring back
  // what an earlier commit removed without flushing the directory.
  auto batchNumber = [](int n) {
    RecordBatch batch;
    Record record = sampleRecord("c1");
    record.content = "version " + std::to_string(n);
    batch.records.push_back(record);
    batch.records.push_back(sampleRecord("new-" + std::to_string(n)));
    return batch;
  };
  constexpr int kCommits = 3;
  const int operations = 6 * kCommits;
  for (const Scenario& scenario : scenariosFor(operations)) {
    SCOPED_TRACE(scenario.describe());
    TempDir dir;
    seedOldState(dir.text());
    Database database = openDatabase(dir.text());
    std::vector<Snapshot> states = {snapshotOf(database.store)};
    int answeredTrue = 0;
    FaultFileSystem faults;
    faults.injectAt(scenario.operation, scenario.mode, scenario.torn);
    {
      runtime::ScopedFileSystem scope(faults);
      for (int n = 0; n < kCommits; ++n) {
        const bool answered = putBatch(database, batchNumber(n));
        if (!answered) break;  // the caller reopens after a failed put
        ++answeredTrue;
        states.push_back(snapshotOf(database.store));
      }
    }
    Snapshot attempted = snapshotOf(database.store);
    if (answeredTrue < kCommits) {
      attempted.sequence = states.back().sequence + 1;
      states.push_back(attempted);
    }
    if (scenario.powerCut) faults.powerCut();
    const Database reopened = openDatabase(dir.text());
    ASSERT_TRUE(reopened.store.ok) << reopened.store.message;
    const Snapshot after = snapshotOf(reopened.store);
    // The last commit that answered true, or the one attempted after it; nothing older.
    const auto last = static_cast<std::size_t>(answeredTrue);
    const bool isLastCommitted = after == states[last];
    const bool isAttempt = last + 1 < states.size() && after == states[last + 1];
    EXPECT_TRUE(isLastCommitted || isAttempt)
        << "reopened at sequence " << after.sequence << " after " << answeredTrue << " commits answered true";
  }
}

TEST(CrashSafety, CommitThatAnsweredTrueSurvivesAPowerCut) {
  TempDir dir;
  seedOldState(dir.text());
  Database database = openDatabase(dir.text());
  FaultFileSystem faults;
  {
    runtime::ScopedFileSystem scope(faults);
    ASSERT_TRUE(putBatch(database, changeBatch()));
  }
  faults.powerCut();
  const Database reopened = openDatabase(dir.text());
  ASSERT_TRUE(reopened.store.ok);
  EXPECT_EQ(snapshotOf(reopened.store), snapshotOf(database.store));
}

}  // namespace
}  // namespace store
