// Crash safety: a batch put (and the recovery at open) is stopped at every file operation, with
// writes cut short at several lengths and with unflushed data dropped as a power cut would.
// Reopening must then give exactly the old or the new committed state, never a mix, never lose
// a commit that answered true, and never fail on files the store itself wrote.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "runtime/file_system.hpp"
#include "runtime/files.hpp"
#include "store/batch.hpp"
#include "store/database.hpp"
#include "store/snapshot_codec.hpp"
#include "store/tests/fault_file_system.hpp"
#include "store/tests/test_support.hpp"

namespace store {
namespace {

using testing::batchNumber;
using testing::FaultFileSystem;
using testing::sampleEdge;
using testing::sampleRecord;
using testing::seedFiveRecords;
using testing::Snapshot;
using testing::snapshotOf;
using testing::TempDir;

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

// How the disk comes back after the run: untouched (no power cut), with only the flushed
// directory changes (the strictest cut), or with every name change made before the cut.
enum class PowerCut { kNone, kFlushedNames, kAllNames };

struct Scenario {
  int operation;
  FaultFileSystem::Mode mode;
  std::optional<std::size_t> torn;
  PowerCut powerCut;

  std::string describe() const {
    static const char* const kCuts[] = {"", " power cut", " power cut keeping every name"};
    return "operation " + std::to_string(operation) + (mode == FaultFileSystem::Mode::kCrash ? " crash" : " fails") +
           (torn ? " torn at " + std::to_string(*torn) : "") + kCuts[static_cast<int>(powerCut)];
  }
  // Cuts the power as the scenario says.
  void cut(FaultFileSystem& faults) const {
    if (powerCut == PowerCut::kFlushedNames) faults.powerCut();
    if (powerCut == PowerCut::kAllNames) faults.powerCut(std::numeric_limits<int>::max());
  }
};

// Every operation of a clean run failing alone (whole or torn) or crashing (whole or torn at
// several lengths, with each kind of power cut), and one run past the last operation.
std::vector<Scenario> scenariosFor(int operations) {
  std::vector<Scenario> scenarios;
  const std::vector<std::optional<std::size_t>> tears = {std::nullopt, 0, 1, 15, 16, 100, 1000};
  for (int n = 0; n <= operations; ++n) {
    scenarios.push_back({n, FaultFileSystem::Mode::kFailOne, std::nullopt, PowerCut::kNone});
    scenarios.push_back({n, FaultFileSystem::Mode::kFailOne, 20, PowerCut::kNone});
    scenarios.push_back({n, FaultFileSystem::Mode::kFailOne, std::nullopt, PowerCut::kFlushedNames});
    scenarios.push_back({n, FaultFileSystem::Mode::kFailOne, std::nullopt, PowerCut::kAllNames});
    scenarios.push_back({n, FaultFileSystem::Mode::kFailOne, SIZE_MAX, PowerCut::kFlushedNames});  // whole, yet failed
    for (const auto& torn : tears) {
      for (const PowerCut cut : {PowerCut::kNone, PowerCut::kFlushedNames, PowerCut::kAllNames}) {
        scenarios.push_back({n, FaultFileSystem::Mode::kCrash, torn, cut});
      }
    }
  }
  return scenarios;
}

// The log of the operations that an action performs when nothing goes wrong.
std::vector<std::string> cleanRun(const std::function<void()>& action) {
  FaultFileSystem counting;
  runtime::ScopedFileSystem scope(counting);
  action();
  return counting.log();
}

// The index of the first logged operation that begins with `prefix`; fails the test when none does.
int firstOperation(const std::vector<std::string>& log, const std::string& prefix) {
  for (std::size_t i = 0; i < log.size(); ++i) {
    if (log[i].rfind(prefix, 0) == 0) return static_cast<int>(i);
  }
  ADD_FAILURE() << "no operation \"" << prefix << "...\" in a clean run";
  return -1;
}

// An open stopped as the scenario says, and the open after it: both must hold the expected state,
// and the second the six records of the five seeded and the changed batch.
void openStoppedAndAgain(const std::string& directory, const Scenario& scenario, const Snapshot& expected) {
  FaultFileSystem faults;
  faults.injectAt(scenario.operation, scenario.mode, scenario.torn);
  {
    runtime::ScopedFileSystem scope(faults);
    EXPECT_EQ(snapshotOf(openDatabase(directory).store), expected);
  }
  scenario.cut(faults);
  const Database reopened = openDatabase(directory);
  ASSERT_TRUE(reopened.store.ok) << reopened.store.message;
  EXPECT_EQ(snapshotOf(reopened.store), expected);
  EXPECT_EQ(reopened.records.size(), 6u);
}

TEST(CrashSafety, BatchPutStoppedAtAnyFileOperation) {
  std::vector<std::string> clean;
  int promotion = 0;
  {
    TempDir dir;
    seedFiveRecords(dir.text());
    Database database = openDatabase(dir.text());
    clean = cleanRun([&] { ASSERT_TRUE(putBatch(database, changeBatch())); });
    // Once the write-ahead file's flush is done, it is complete and durable: a commit stopped
    // after it has made its change recoverable, whatever it answered.
    promotion = firstOperation(clean, "sync " + walPath(dir.text())) + 1;
  }

  for (const Scenario& scenario : scenariosFor(static_cast<int>(clean.size()))) {
    SCOPED_TRACE(scenario.describe());
    TempDir dir;
    seedFiveRecords(dir.text());
    Database database = openDatabase(dir.text());
    ASSERT_TRUE(database.store.ok);
    const Snapshot before = snapshotOf(database.store);

    FaultFileSystem faults;
    faults.injectAt(scenario.operation, scenario.mode, scenario.torn);
    bool answered = false;
    SnapshotIdentity kept;
    {
      runtime::ScopedFileSystem scope(faults);
      answered = putBatch(database, changeBatch(), &kept);
    }
    Snapshot attempted = snapshotOf(database.store);
    attempted.sequence = before.sequence + 1;
    scenario.cut(faults);

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
    // A failed commit that answered with its write-ahead file kept promised the change.
    EXPECT_TRUE(isNew || !kept.present || scenario.mode == FaultFileSystem::Mode::kCrash) << "a kept save was lost";
    if (scenario.operation >= promotion && scenario.powerCut != PowerCut::kFlushedNames) {
      EXPECT_TRUE(isNew) << "the flushed write-ahead file was not recovered";
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
  std::vector<std::string> commit;
  {
    TempDir dir;
    seedFiveRecords(dir.text());
    Database database = openDatabase(dir.text());
    commit = cleanRun([&] { ASSERT_TRUE(putBatch(database, changeBatch())); });
  }
  const int move = firstOperation(commit, "replace ");
  // A commit whose move failed leaves its complete, flushed write-ahead file behind.
  auto prepare = [move](const std::string& directory) -> Snapshot {
    seedFiveRecords(directory);
    Database database = openDatabase(directory);
    FaultFileSystem faults;
    faults.injectAt(move, FaultFileSystem::Mode::kFailOne);
    {
      runtime::ScopedFileSystem scope(faults);
      EXPECT_FALSE(putBatch(database, changeBatch()));
    }
    Snapshot attempted = snapshotOf(database.store);
    attempted.sequence += 1;
    return attempted;
  };

  std::vector<std::string> recovery;
  {
    TempDir dir;
    prepare(dir.text());
    recovery = cleanRun([&] { EXPECT_TRUE(openDatabase(dir.text()).store.ok); });
  }
  ASSERT_FALSE(recovery.empty());

  // Also with the snapshot file damaged, which the write-ahead file then repairs.
  for (const bool damaged : {false, true}) {
    for (const Scenario& scenario : scenariosFor(static_cast<int>(recovery.size()))) {
      SCOPED_TRACE(scenario.describe() + (damaged ? ", damaged snapshot file" : ""));
      TempDir dir;
      const Snapshot attempted = prepare(dir.text());
      if (damaged) {
        runtime::Bytes bytes = testing::readAll(snapshotPath(dir.text()));
        bytes[bytes.size() / 2] ^= 0x40;
        ASSERT_TRUE(runtime::writeFileBytes(snapshotPath(dir.text()), bytes));
        ASSERT_TRUE(runtime::syncFile(snapshotPath(dir.text())));
      }
      // Whatever the open managed, it holds the write-ahead file's state.
      openStoppedAndAgain(dir.text(), scenario, attempted);
    }
  }
}

TEST(CrashSafety, FirstCommitIntoANewDirectoryStoppedAtAnyFileOperation) {
  RecordBatch first;
  first.records.push_back(sampleRecord("c1"));
  first.records.push_back(sampleRecord("a1", "animal"));
  first.edges.push_back(sampleEdge("e1", "a1", "c1"));
  // The data directory made by open itself, or beforehand with its parent by ensureDirectory as
  // the program's entry does: either way its name must be durable before a commit answers true.
  for (const bool ensured : {false, true}) {
    auto run = [&first, ensured](const TempDir& root, bool& answered) -> Database {
      const std::string data = root.text(ensured ? "parent/data" : "data");
      if (ensured) runtime::ensureDirectory(data);
      Database database = openDatabase(data);
      answered = putBatch(database, first);
      return database;
    };
    std::vector<std::string> clean;
    {
      TempDir root;
      bool answered = false;
      clean = cleanRun([&] { run(root, answered); });
      ASSERT_TRUE(answered);
    }
    for (const Scenario& scenario : scenariosFor(static_cast<int>(clean.size()))) {
      SCOPED_TRACE(scenario.describe() + (ensured ? ", directories ensured first" : ", directory made by open"));
      TempDir root;
      FaultFileSystem faults;
      faults.injectAt(scenario.operation, scenario.mode, scenario.torn);
      bool answered = false;
      Snapshot attempted;
      {
        runtime::ScopedFileSystem scope(faults);
        attempted = snapshotOf(run(root, answered).store);
      }
      attempted.sequence = 1;
      scenario.cut(faults);
      const std::string data = root.text(ensured ? "parent/data" : "data");
      if (ensured) runtime::ensureDirectory(data);
      const Database reopened = openDatabase(data);
      ASSERT_TRUE(reopened.store.ok) << reopened.store.message;
      const Snapshot after = snapshotOf(reopened.store);
      const bool isEmpty = after == Snapshot{};
      const bool isNew = after == attempted;
      EXPECT_TRUE(isEmpty || isNew) << "reopened at sequence " << after.sequence;
      if (answered) {
        EXPECT_TRUE(isNew) << "a commit that answered true was lost";
      }
      EXPECT_EQ(reopened.records.size(), isNew ? 2u : 0u);
      EXPECT_FALSE(testing::exists(walPath(data)));
    }
  }
}

TEST(CrashSafety, FirstCommitAfterARunKilledOnceTheDirectoryWasMade) {
  // A first run is killed at each of its file operations, among them right after it made the
  // data directory (or a level of it) and before it flushed the parent. The next run finds the
  // directory there and commits into it; a power cut then must not take a commit that answered
  // true away with the directory's name.
  RecordBatch first;
  first.records.push_back(sampleRecord("c1"));
  first.records.push_back(sampleRecord("a1", "animal"));
  first.edges.push_back(sampleEdge("e1", "a1", "c1"));
  // The directory made by open itself, or with new levels above it by ensureDirectory first.
  for (const char* const path : {"data", "parent/data", "one/two/three/data"}) {
    const bool ensured = std::string(path) != "data";
    auto run = [&first, ensured, path](const TempDir& root) -> bool {
      const std::string data = root.text(path);
      if (ensured) runtime::ensureDirectory(data);
      Database database = openDatabase(data);
      return putBatch(database, first);
    };
    int operations = 0;
    {
      TempDir root;
      FaultFileSystem counting;
      runtime::ScopedFileSystem scope(counting);
      ASSERT_TRUE(run(root));
      operations = counting.operationCount();
    }
    for (int killedAt = 0; killedAt <= operations; ++killedAt) {
      for (const int namesKept : {0, std::numeric_limits<int>::max()}) {
        SCOPED_TRACE(std::string(path) + ", first run killed at operation " + std::to_string(killedAt) +
                     (namesKept == 0 ? ", power cut" : ", power cut keeping every name"));
        TempDir root;
        FaultFileSystem faults;
        faults.injectAt(killedAt, FaultFileSystem::Mode::kCrash);
        bool answered = false;
        {
          runtime::ScopedFileSystem scope(faults);
          run(root);
          faults.restart();
          answered = run(root);
        }
        EXPECT_TRUE(answered) << "the second run found the files of a killed one unusable";
        faults.powerCut(namesKept);
        const std::string data = root.text(path);
        const Database reopened = openDatabase(data);
        // A lost level leaves the directory unavailable; every case is checked all the same.
        EXPECT_TRUE(reopened.store.ok) << reopened.store.message;
        if (answered) {
          EXPECT_EQ(reopened.records.size(), 2u) << "a commit that answered true was lost";
          EXPECT_EQ(reopened.edges.size(), 1u);
        }
      }
    }
  }
}

TEST(CrashSafety, RecoveryThatDiscardsTheWriteAheadFileStoppedAtAnyFileOperation) {
  // A write-ahead file older than the snapshot, or one cut short, is deleted at open; stopping
  // that delete (and cutting the power) leaves it for the next open to settle the same way.
  for (const bool torn : {false, true}) {
    Snapshot committed;
    auto prepare = [torn, &committed](const std::string& directory) {
      seedFiveRecords(directory);
      const runtime::Bytes older = testing::readAll(snapshotPath(directory));
      Database database = openDatabase(directory);
      ASSERT_TRUE(putBatch(database, changeBatch()));
      committed = snapshotOf(database.store);
      runtime::Bytes wal = older;
      if (torn) {
        wal = testing::readAll(snapshotPath(directory));
        wal.resize(wal.size() / 2);
      }
      ASSERT_TRUE(runtime::writeFileBytes(walPath(directory), wal));
      ASSERT_TRUE(runtime::syncFile(walPath(directory)));
    };
    std::vector<std::string> clean;
    {
      TempDir dir;
      prepare(dir.text());
      clean = cleanRun([&] { EXPECT_TRUE(openDatabase(dir.text()).store.ok); });
    }
    for (const Scenario& scenario : scenariosFor(static_cast<int>(clean.size()))) {
      SCOPED_TRACE(scenario.describe() + (torn ? ", torn write-ahead file" : ", older write-ahead file"));
      TempDir dir;
      prepare(dir.text());
      openStoppedAndAgain(dir.text(), scenario, committed);
      EXPECT_FALSE(testing::exists(walPath(dir.text())));
    }
  }
}

TEST(CrashSafety, SeriesOfCommitsStoppedAtAnyFileOperation) {
  // Three batch puts in a row under one file system, so that a power cut can also bring back
  // what an earlier commit removed without flushing the directory.
  constexpr int kCommits = 3;
  std::vector<std::string> clean;
  {
    TempDir dir;
    seedFiveRecords(dir.text());
    Database database = openDatabase(dir.text());
    clean = cleanRun([&] {
      for (int n = 0; n < kCommits; ++n) ASSERT_TRUE(putBatch(database, batchNumber(n)));
    });
  }
  for (const Scenario& scenario : scenariosFor(static_cast<int>(clean.size()))) {
    SCOPED_TRACE(scenario.describe());
    TempDir dir;
    seedFiveRecords(dir.text());
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
    scenario.cut(faults);
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
  for (const int namesKept : {0, std::numeric_limits<int>::max()}) {
    SCOPED_TRACE(namesKept == 0 ? "flushed names" : "every name");
    TempDir dir;
    seedFiveRecords(dir.text());
    Database database = openDatabase(dir.text());
    FaultFileSystem faults;
    {
      runtime::ScopedFileSystem scope(faults);
      ASSERT_TRUE(putBatch(database, changeBatch()));
    }
    faults.powerCut(namesKept);
    const Database reopened = openDatabase(dir.text());
    ASSERT_TRUE(reopened.store.ok) << reopened.store.message;
    EXPECT_EQ(snapshotOf(reopened.store), snapshotOf(database.store));
  }
}

TEST(CrashSafety, ModelLosesUnflushedNamesAndData) {
  // The power-cut model itself, on a directory of its own: what each kind of cut leaves.
  struct Case {
    const char* name;
    int namesKept;
    bool flushDirectory;
    bool flushFile;
    std::optional<std::string> expected;  // the file's contents after the cut, or no file
  };
  const std::vector<Case> cases = {
      {"nothing flushed", 0, false, false, std::nullopt},
      {"file flushed, name not", 0, false, true, std::nullopt},
      {"name kept by the system, data not flushed", std::numeric_limits<int>::max(), false, false, ""},
      {"directory flushed, data not", 0, true, false, ""},
      {"both flushed", 0, true, true, "data"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string file = dir.text("file");
    FaultFileSystem faults;
    {
      runtime::ScopedFileSystem scope(faults);
      ASSERT_TRUE(runtime::writeFileBytes(file, {'d', 'a', 't', 'a'}));
      if (c.flushFile) {
        ASSERT_TRUE(runtime::syncFile(file));
      }
      if (c.flushDirectory) {
        ASSERT_TRUE(runtime::syncDirectory(dir.text()));
      }
    }
    faults.powerCut(c.namesKept);
    if (c.expected.has_value()) {
      ASSERT_TRUE(testing::exists(file));
      const runtime::Bytes bytes = testing::readAll(file);
      EXPECT_EQ(std::string(bytes.begin(), bytes.end()), *c.expected);
    } else {
      EXPECT_FALSE(testing::exists(file));
    }
  }
}

}  // namespace
}  // namespace store
