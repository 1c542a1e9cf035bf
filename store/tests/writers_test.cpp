// Two writers on one data directory: two states in one process (as two programs started on the
// same directory have), a directory removed and put back while a state is open, and the lock
// another holder keeps. A commit never replaces a snapshot file its state has not read; a
// refused commit answers false and touches no file, and the reopened store shows what the
// other writer committed.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "runtime/file_lock.hpp"
#include "runtime/files.hpp"
#include "runtime/testing/forwarding_file_system.hpp"
#include "runtime/testing/read_only_file.hpp"
#include "store/batch.hpp"
#include "store/database.hpp"
#include "store/record_keys.hpp"
#include "store/snapshot_codec.hpp"
#include "store/store_state.hpp"
#include "store/tests/fault_file_system.hpp"
#include "store/tests/test_support.hpp"

namespace store {
namespace {

using testing::exists;
using testing::FaultFileSystem;
using testing::readAll;
using testing::sampleRecord;
using testing::seedFiveRecords;
using testing::TempDir;

namespace fs = std::filesystem;

RecordBatch batchOf(const std::string& id) {
  RecordBatch batch;
  batch.records.push_back(sampleRecord(id));
  return batch;
}

// Every file of the directory with its bytes, to show that a refused commit changed nothing.
std::vector<std::pair<std::string, runtime::Bytes>> filesOf(const std::string& directory) {
  std::vector<std::pair<std::string, runtime::Bytes>> files;
  for (const auto& entry : fs::directory_iterator(runtime::toNativePath(directory))) {
    std::string path = directory + "/";
    path += entry.path().filename().string();
    files.emplace_back(entry.path().filename().string(), readAll(path));
  }
  std::sort(files.begin(), files.end());
  return files;
}

TEST(TwoWriters, TheLaterCommitOfAStaleStateIsRefusedAndTheReopenedStoreTakesIt) {
  // "customer-a" and "customer-b" give snapshot files of one size under one sequence: only the
  // checksum tells them apart.
  for (const bool seeded : {false, true}) {
    for (const bool aFirst : {true, false}) {
      SCOPED_TRACE(std::string(seeded ? "seeded store" : "new directory") + (aFirst ? ", a first" : ", b first"));
      TempDir dir;
      if (seeded) seedFiveRecords(dir.text());
      Database a = openDatabase(dir.text());
      Database b = openDatabase(dir.text());
      ASSERT_TRUE(a.store.ok && b.store.ok);
      Database& first = aFirst ? a : b;
      Database& second = aFirst ? b : a;
      const std::string firstId = aFirst ? "customer-a" : "customer-b";
      const std::string secondId = aFirst ? "customer-b" : "customer-a";

      ASSERT_TRUE(putBatch(first, batchOf(firstId)));
      const auto afterFirst = filesOf(dir.text());
      EXPECT_FALSE(putBatch(second, batchOf(secondId))) << "the stale state replaced the other's snapshot";
      EXPECT_EQ(filesOf(dir.text()), afterFirst) << "a refused commit touched a file";
      EXPECT_TRUE(second.store.dirty);

      // The caller reopens after a failed commit: the other writer's record is there, and the
      // save made again on the reopened store keeps both.
      Database reopened = openDatabase(dir.text());
      ASSERT_TRUE(reopened.store.ok);
      EXPECT_GE(findRecordIndex(reopened, firstId), 0);
      EXPECT_LT(findRecordIndex(reopened, secondId), 0);
      ASSERT_TRUE(putBatch(reopened, batchOf(secondId)));
      // The first writer's state is stale now in its turn.
      EXPECT_FALSE(putBatch(first, batchOf("customer-c")));

      const Database last = openDatabase(dir.text());
      ASSERT_TRUE(last.store.ok);
      EXPECT_EQ(last.records.size(), (seeded ? 5u : 0u) + 2u);
      EXPECT_GE(findRecordIndex(last, "customer-a"), 0);
      EXPECT_GE(findRecordIndex(last, "customer-b"), 0);
      EXPECT_LT(findRecordIndex(last, "customer-c"), 0);
      EXPECT_EQ(last.store.sequence, (seeded ? 1 : 0) + 2);
    }
  }
}

// The snapshot file of the one entry key = value under the sequence.
runtime::Bytes fileOf(std::int32_t sequence, const std::string& key, const std::string& value) {
  StoreState state = makeStoreState("d");
  state.sequence = sequence;
  EXPECT_TRUE(storePut(state, key, value));
  return encodeSnapshot(state);
}

// A value of the same length as `value` (six bytes or more) whose file of the one entry
// key = value under the sequence has the same checksum as the file of `value`: the two files
// then have the same size and the same two ends. Each checksum step h = (h * m) ^ b on the low
// 30 bits is undone by h = (h ^ b) * m' (m' the inverse of the odd m), so the value's last four
// bytes are found by meeting in the middle: the checksums reached from the bytes before them
// through two bytes forwards, against those reached back from the wanted checksum through two.
std::string valueOfTheSameChecksum(std::int32_t sequence, const std::string& key, const std::string& value) {
  constexpr std::uint32_t m = layout::kChecksumMultiplier;
  constexpr std::uint32_t mask = layout::kChecksumMask;
  std::uint32_t inverse = m;
  for (int i = 0; i < 5; ++i) inverse *= 2 - m * inverse;  // Newton's steps, exact mod 2^32
  const runtime::Bytes wanted = fileOf(sequence, key, value);
  const auto end = static_cast<std::int32_t>(wanted.size() - layout::kChecksumBytes);
  const auto target = static_cast<std::uint32_t>(snapshotChecksum(wanted, end));
  for (int lead = 1; lead < 256; ++lead) {
    std::string other = value;
    other[0] = static_cast<char>(lead);  // a new start for the middle whenever it does not meet
    const auto start = static_cast<std::uint32_t>(snapshotChecksum(fileOf(sequence, key, other), end - 4));
    std::unordered_map<std::uint32_t, std::pair<int, int>> forwards;
    for (int b1 = 1; b1 < 256; ++b1) {
      for (int b2 = 1; b2 < 256; ++b2) {
        forwards.emplace(((((start * m) ^ static_cast<std::uint32_t>(b1)) * m) ^ static_cast<std::uint32_t>(b2)) & mask,
                         std::pair(b1, b2));
      }
    }
    for (int b4 = 1; b4 < 256; ++b4) {
      for (int b3 = 1; b3 < 256; ++b3) {
        const std::uint32_t before = ((target ^ static_cast<std::uint32_t>(b4)) * inverse) & mask;
        const auto met = forwards.find(((before ^ static_cast<std::uint32_t>(b3)) * inverse) & mask);
        if (met == forwards.end()) continue;
        const std::size_t n = other.size();
        other[n - 4] = static_cast<char>(met->second.first);
        other[n - 3] = static_cast<char>(met->second.second);
        other[n - 2] = static_cast<char>(b3);
        other[n - 1] = static_cast<char>(b4);
        if (other != value) return other;
      }
    }
  }
  ADD_FAILURE() << "no value of the same checksum";
  return value;
}

TEST(TwoWriters, AStateWhoseMoveWasNotFlushedNeverWritesItsSequenceAgain) {
  // State a's commit moves its file into place, but the directory flush fails: it answers false,
  // takes the moved file as its own and commits again. State b read the moved file in between,
  // and is stale once a's second commit answered true. Had a written the moved file's sequence
  // again, with a value whose file has the same checksum, b could not tell the two files apart
  // and its commit would replace the one that answered true.
  const std::string key = "k";
  const std::string moved = "moved value";
  const std::string committed = valueOfTheSameChecksum(1, key, moved);
  ASSERT_NE(moved, committed);
  ASSERT_EQ(snapshotIdentityOf(fileOf(1, key, moved)), snapshotIdentityOf(fileOf(1, key, committed)));

  TempDir dir;
  const std::string snapshot = snapshotPath(dir.text());
  Database a = openDatabase(dir.text());
  ASSERT_TRUE(a.store.ok);
  ASSERT_TRUE(storePut(a.store, key, moved));
  {
    FaultFileSystem faults;
    faults.injectAt("sync directory ", FaultFileSystem::Mode::kFailOne);
    runtime::ScopedFileSystem scope(faults);
    EXPECT_FALSE(commitStore(a.store));
  }
  ASSERT_EQ(readAll(snapshot), fileOf(1, key, moved));
  EXPECT_EQ(a.store.sequence, 1);

  Database b = openDatabase(dir.text());
  ASSERT_TRUE(b.store.ok) << b.store.message;
  ASSERT_EQ(storeGet(b.store, key).value, moved);

  ASSERT_TRUE(storePut(a.store, key, committed));
  ASSERT_TRUE(commitStore(a.store));
  EXPECT_EQ(a.store.sequence, 2);
  EXPECT_EQ(readAll(snapshot), fileOf(2, key, committed));

  ASSERT_TRUE(storePut(b.store, "b", "stale"));
  const auto before = filesOf(dir.text());
  EXPECT_FALSE(commitStore(b.store)) << "the stale state replaced a commit that answered true";
  EXPECT_EQ(filesOf(dir.text()), before);
  const Database last = openDatabase(dir.text());
  EXPECT_EQ(storeGet(last.store, key).value, committed);
  EXPECT_FALSE(storeGet(last.store, "b").found);
}

TEST(TwoWriters, AStateKeepsCommittingOverItsOwnSnapshot) {
  // Its own commits, and a second state that only reads, do not make a state stale.
  TempDir dir;
  Database a = openDatabase(dir.text());
  for (int n = 0; n < 3; ++n) {
    ASSERT_TRUE(putBatch(a, batchOf("r" + std::to_string(n))));
    const Database reader = openDatabase(dir.text());
    EXPECT_EQ(reader.records.size(), static_cast<std::size_t>(n + 1));
  }
  EXPECT_EQ(openDatabase(dir.text()).store.sequence, 3);
}

TEST(TwoWriters, ADirectoryRemovedAndPutBackIsNotReplacedByTheEmptyStoreOpenedMeanwhile) {
  // The data directory goes away while a store is open; the failed commit's reopen makes an
  // empty directory, as opening does; then the directory is put back, either whole or by its
  // files. The store opened on the empty directory must not replace what came back.
  for (const bool wholeDirectory : {true, false}) {
    SCOPED_TRACE(wholeDirectory ? "directory put back" : "files put back");
    TempDir root;
    const std::string data = root.text("data");
    const std::string away = root.text("away");
    seedFiveRecords(data);
    Database database = openDatabase(data);
    ASSERT_TRUE(putBatch(database, batchOf("customer-6")));
    ASSERT_EQ(openDatabase(data).records.size(), 6u);

    fs::rename(runtime::toNativePath(data), runtime::toNativePath(away));
    EXPECT_FALSE(putBatch(database, batchOf("customer-7")));
    Database reopened = openDatabase(data);
    ASSERT_TRUE(reopened.store.ok);
    EXPECT_TRUE(reopened.records.empty());

    if (wholeDirectory) {
      fs::remove_all(runtime::toNativePath(data));
      fs::rename(runtime::toNativePath(away), runtime::toNativePath(data));
    } else {
      for (const auto& entry : fs::directory_iterator(runtime::toNativePath(away))) {
        fs::copy_file(entry.path(), runtime::toNativePath(data) / entry.path().filename(),
                      fs::copy_options::overwrite_existing);
      }
    }
    const auto restored = filesOf(data);
    EXPECT_FALSE(putBatch(reopened, batchOf("customer-1"))) << "six records replaced by one";
    EXPECT_EQ(filesOf(data), restored);

    Database again = openDatabase(data);
    ASSERT_EQ(again.records.size(), 6u);
    ASSERT_TRUE(putBatch(again, batchOf("customer-7")));
    const Database last = openDatabase(data);
    EXPECT_EQ(last.records.size(), 7u);
    EXPECT_GE(findRecordIndex(last, "customer-6"), 0);
  }
}

TEST(TwoWriters, ACommitWaitsForTheLockAndGivesUpOnAHolderThatKeepsIt) {
  TempDir dir;
  seedFiveRecords(dir.text());
  Database database = openDatabase(dir.text());
  {
    // Held for longer than a commit waits: refused, nothing touched.
    const auto held = runtime::lockFile(lockPath(dir.text()), 0);
    ASSERT_NE(held, nullptr);
    const auto before = filesOf(dir.text());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(putBatch(database, batchOf("late")));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(kStoreLockWaitMilliseconds));
    EXPECT_EQ(filesOf(dir.text()), before);
  }
  {
    // Let go while the commit waits: it goes ahead.
    auto held = runtime::lockFile(lockPath(dir.text()), 0);
    ASSERT_NE(held, nullptr);
    std::thread releaser([&held] {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      held.reset();
    });
    EXPECT_TRUE(putBatch(database, batchOf("late")));
    releaser.join();
  }
  EXPECT_GE(findRecordIndex(openDatabase(dir.text()), "late"), 0);
}

TEST(TwoWriters, ALockFileThatCannotBeWrittenStillLetsCommitsThrough) {
  // The lock file is only locked, never written: one that is read-only (copied from a read-only
  // medium, or made so by a user) must not fail every commit.
  TempDir dir;
  seedFiveRecords(dir.text());
  Database database = openDatabase(dir.text());
  const runtime::testing::ReadOnlyFile readOnly(runtime::toNativePath(lockPath(dir.text())));
  if (!readOnly.refusesWrites()) GTEST_SKIP() << runtime::testing::kWritesNotRefused;
  ASSERT_TRUE(putBatch(database, batchOf("customer-6")));
  const Database reopened = openDatabase(dir.text());
  ASSERT_TRUE(reopened.store.ok) << reopened.store.message;
  EXPECT_GE(findRecordIndex(reopened, "customer-6"), 0);
  EXPECT_EQ(reopened.records.size(), 6u);
}

TEST(TwoWriters, RecoveryAtOpenPromotesOnlyUnderTheLock) {
  // A complete write-ahead file beside the snapshot, as a commit in progress (or one stopped
  // after its flush) leaves it: while another holder keeps the lock, that commit may still be
  // given up, so open reads nothing of it (the snapshot's records, as committed before it, not
  // ok) and neither promotes nor deletes it; once the lock is free, open settles it.
  TempDir dir;
  seedFiveRecords(dir.text());
  Database database = openDatabase(dir.text());
  ASSERT_TRUE(putBatch(database, batchOf("pending")));
  const runtime::Bytes pending = readAll(snapshotPath(dir.text()));
  fs::remove(runtime::toNativePath(snapshotPath(dir.text())));
  seedFiveRecords(dir.text());
  const runtime::Bytes older = readAll(snapshotPath(dir.text()));
  ASSERT_TRUE(runtime::writeFileBytes(walPath(dir.text()), pending));
  {
    const auto held = runtime::lockFile(lockPath(dir.text()), 0);
    ASSERT_NE(held, nullptr);
    const Database blocked = openDatabase(dir.text());
    EXPECT_FALSE(blocked.store.ok);
    EXPECT_EQ(blocked.store.opened, OpenOutcome::kWriteAheadInFlight);
    EXPECT_EQ(blocked.store.trouble, StoreTrouble::kLockNotHad);
    EXPECT_EQ(blocked.records.size(), 5u);
    EXPECT_LT(findRecordIndex(blocked, "pending"), 0);
    EXPECT_EQ(readAll(snapshotPath(dir.text())), older);
    EXPECT_EQ(readAll(walPath(dir.text())), pending);
  }
  const Database recovered = openDatabase(dir.text());
  ASSERT_TRUE(recovered.store.ok) << recovered.store.message;
  EXPECT_GE(findRecordIndex(recovered, "pending"), 0);
  EXPECT_EQ(readAll(snapshotPath(dir.text())), pending);
  EXPECT_FALSE(exists(walPath(dir.text())));
  // The recovered state is at the promoted snapshot: it commits.
  Database next = recovered;
  EXPECT_TRUE(putBatch(next, batchOf("after")));
}

// Counts whole-file reads, and answers every read of a file's ends as unreadable when asked to.
class WatchingFileSystem final : public runtime::testing::ForwardingFileSystem {
 public:
  runtime::Bytes readFile(const std::string& path, std::int64_t maxBytes) override {
    ++wholeReads;
    return ForwardingFileSystem::readFile(path, maxBytes);
  }
  FileEnds readFileEnds(const std::string& path, std::size_t headBytes, std::size_t tailBytes) override {
    if (endsUnreadable) return FileEnds{FileEnds::Status::kUnreadable, 0, {}, {}};
    return ForwardingFileSystem::readFileEnds(path, headBytes, tailBytes);
  }

  int wholeReads = 0;
  bool endsUnreadable = false;
};

TEST(TwoWriters, TheStoreCheckTellsWhetherTheFilesAreStillTheOnesAStateReadOrWrote) {
  TempDir root;
  const std::string data = root.text("data");
  const std::string other = root.text("other");
  seedFiveRecords(data);
  seedFiveRecords(other);
  Database a = openDatabase(data);
  Database b = openDatabase(data);
  Database o = openDatabase(other);
  Database absent;  // opened while the snapshot file is away
  WatchingFileSystem watching;
  const auto check = [&watching](const Database& database) {
    const runtime::ScopedFileSystem scoped(watching);
    return checkStoreFiles(database.store);
  };
  using Check = StoreFilesCheck;
  struct Step {
    const char* name;
    std::function<void()> act;
    Check a;
    Check b;
    bool readsWriteAheadFile = false;  // the check reads a write-ahead file whole
  };
  // A write-ahead file of a's state under the sequence, whole or cut short.
  const auto putWriteAhead = [&a, &data](std::int32_t sequence, std::size_t cut) {
    StoreState ahead = a.store;
    ahead.sequence = sequence;
    ASSERT_TRUE(storePut(ahead, "note", std::to_string(sequence)));
    runtime::Bytes bytes = encodeSnapshot(ahead);
    bytes.resize(bytes.size() - cut);
    ASSERT_TRUE(runtime::writeFileBytes(walPath(data), bytes));
  };
  const Step steps[] = {
      {"both opened on one file", [] {}, Check::kSame, Check::kSame},
      {"a commits", [&] { ASSERT_TRUE(putBatch(a, batchOf("customer-a"))); }, Check::kSame, Check::kChanged},
      {"b reopens", [&] { b = openDatabase(data); }, Check::kSame, Check::kSame},
      // Same size and sequence as a's file: only the checksum at its end differs.
      {"a file of the same size and sequence put in its place",
       [&] {
         ASSERT_TRUE(putBatch(o, batchOf("customer-b")));
         ASSERT_TRUE(runtime::writeFileBytes(snapshotPath(data), readAll(snapshotPath(other))));
         ASSERT_EQ(readAll(snapshotPath(data)).size(), readAll(snapshotPath(other)).size());
       },
       Check::kChanged, Check::kChanged},
      {"both reopen", [&] { a = b = openDatabase(data); }, Check::kSame, Check::kSame},
      {"the file removed",
       [&] {
         fs::rename(runtime::toNativePath(snapshotPath(data)), runtime::toNativePath(snapshotPath(other)));
         absent = openDatabase(data);
         ASSERT_FALSE(absent.store.snapshotOnDisk.present);
         EXPECT_EQ(check(absent), Check::kSame);
       },
       Check::kChanged, Check::kChanged},
      {"the file put back",
       [&] {
         fs::rename(runtime::toNativePath(snapshotPath(other)), runtime::toNativePath(snapshotPath(data)));
         EXPECT_EQ(check(absent), Check::kChanged);
       },
       Check::kSame, Check::kSame},
      // The store's state is also a whole write-ahead file an open would take.
      {"a's commit stops before its move: its write-ahead file is a's own",
       [&] {
         FaultFileSystem faults;
         faults.injectAt("replace ", FaultFileSystem::Mode::kFailOne);
         const runtime::ScopedFileSystem scoped(faults);
         ASSERT_FALSE(putBatch(a, batchOf("customer-c")));
         ASSERT_TRUE(a.store.writeAheadOnDisk.present);
       },
       Check::kSame, Check::kChanged, true},
      {"b reads it as the store's state, and cannot move it into place",
       [&] {
         FaultFileSystem faults;
         faults.injectAt("replace ", FaultFileSystem::Mode::kCrash);
         const runtime::ScopedFileSystem scoped(faults);
         b = openDatabase(data);
         ASSERT_EQ(b.store.message, kWriteAheadNotPromoted);
       },
       Check::kSame, Check::kSame},
      // b's state, the write-ahead file it read, is gone with each of these.
      {"another program's, of the snapshot's sequence", [&] { putWriteAhead(a.store.sequence, 0); }, Check::kChanged,
       Check::kChanged, true},
      {"one cut short", [&] { putWriteAhead(a.store.sequence + 1, 1); }, Check::kSame, Check::kChanged, true},
      {"one older than the snapshot", [&] { putWriteAhead(a.store.sequence - 1, 0); }, Check::kSame, Check::kChanged,
       true},
      {"a copy of the snapshot file",
       [&] { ASSERT_TRUE(runtime::writeFileBytes(walPath(data), readAll(snapshotPath(data)))); }, Check::kSame,
       Check::kChanged},
      {"the file's ends cannot be read", [&] { watching.endsUnreadable = true; }, Check::kUnreadable,
       Check::kUnreadable},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    step.act();
    watching.wholeReads = 0;
    EXPECT_EQ(check(a), step.a);
    EXPECT_EQ(check(b), step.b);
    EXPECT_EQ(watching.wholeReads > 0, step.readsWriteAheadFile) << "whole-file reads: " << watching.wholeReads;
  }
}

}  // namespace
}  // namespace store
