// What a commit leaves in memory and on disk when it stops at each of its file operations.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "runtime/file_lock.hpp"
#include "runtime/file_system.hpp"
#include "runtime/files.hpp"
#include "runtime/testing/forwarding_file_system.hpp"
#include "store/database.hpp"
#include "store/snapshot_codec.hpp"
#include "store/store_state.hpp"
#include "store/tests/fault_file_system.hpp"
#include "store/tests/test_support.hpp"

namespace store {
namespace {

using testing::exists;
using testing::FaultFileSystem;
using testing::liveEntries;
using testing::readAll;
using testing::TempDir;

class CommitFailure : public ::testing::Test {
 protected:
  void SetUp() override {
    state_ = makeStoreState(dir_.text());
    ASSERT_TRUE(storePut(state_, "a", "old"));
    ASSERT_TRUE(commitStore(state_));
    committed_ = readAll(snapshotPath(dir_.text()));
    ASSERT_TRUE(storePut(state_, "a", "new"));
    ASSERT_TRUE(storePut(state_, "b", "added"));
  }

  // The file operations of a commit, in order, after the lock.
  std::vector<std::string> protocol() const {
    const std::string d = dir_.text();
    return {"lock " + lockPath(d), "write " + walPath(d), "write " + nextPath(d),
            "sync " + walPath(d),  "sync " + nextPath(d), "replace " + nextPath(d) + " -> " + snapshotPath(d),
            "sync directory " + d, "delete " + walPath(d)};
  }

  // Runs the commit with its first operation `step` failing for `cause`, or killed; returns its answer.
  bool commitFailingAt(const std::string& step, std::optional<std::size_t> torn = std::nullopt,
                       runtime::WriteFailure cause = runtime::WriteFailure::kNone,
                       FaultFileSystem::Mode mode = FaultFileSystem::Mode::kFailOne) {
    FaultFileSystem faults;
    faults.injectAt(step, mode, torn);
    faults.failWritesWith(cause);
    runtime::ScopedFileSystem scope(faults);
    return commitStore(state_, &walWritten_);
  }

  void expectRolledBack() {
    EXPECT_EQ(state_.sequence, 1);
    EXPECT_TRUE(state_.dirty);
    EXPECT_TRUE(state_.ok);
    EXPECT_EQ(liveEntries(state_), (testing::EntryList{{"a", "new"}, {"b", "added"}}));
    EXPECT_EQ(readAll(snapshotPath(dir_.text())), committed_);
  }

  void expectWalHoldsTheAttempt() {
    ASSERT_TRUE(exists(walPath(dir_.text())));
    const StoreState wal = decodeSnapshot(readAll(walPath(dir_.text())), dir_.text());
    ASSERT_TRUE(wal.ok) << wal.message;
    EXPECT_EQ(wal.sequence, 2);
    EXPECT_EQ(storeGet(wal, "a").value, "new");
    EXPECT_EQ(walWritten_, snapshotIdentityOf(readAll(walPath(dir_.text()))));
  }

  void expectRetrySucceeds(std::int32_t sequence = 2) {
    ASSERT_TRUE(commitStore(state_));
    EXPECT_EQ(state_.sequence, sequence);
    EXPECT_FALSE(exists(walPath(dir_.text())));
    EXPECT_FALSE(exists(nextPath(dir_.text())));
    const StoreState onDisk = decodeSnapshot(readAll(snapshotPath(dir_.text())), dir_.text());
    EXPECT_EQ(onDisk.sequence, sequence);
    EXPECT_EQ(liveEntries(onDisk), (testing::EntryList{{"a", "new"}, {"b", "added"}}));
  }

  TempDir dir_;
  StoreState state_;
  runtime::Bytes committed_;
  SnapshotIdentity walWritten_;
};

TEST_F(CommitFailure, CommitTakesTheLockAndUsesSevenFileOperationsInOrder) {
  FaultFileSystem counting;
  {
    runtime::ScopedFileSystem scope(counting);
    ASSERT_TRUE(commitStore(state_));
  }
  EXPECT_EQ(counting.log(), protocol());
}

TEST_F(CommitFailure, TheLockThatCannotBeHad) {
  EXPECT_FALSE(commitFailingAt("lock " + lockPath(dir_.text())));
  expectRolledBack();
  EXPECT_EQ(state_.trouble, StoreTrouble::kOther);  // a lock file that cannot be locked, for no cause told
  EXPECT_FALSE(walWritten_.present);
  EXPECT_FALSE(exists(walPath(dir_.text())));
  EXPECT_FALSE(exists(nextPath(dir_.text())));
  expectRetrySucceeds();
}

TEST_F(CommitFailure, ASnapshotFileChangedSinceIsNotReplaced) {
  StoreState other = makeStoreState(dir_.text());
  other.sequence = 4;
  ASSERT_TRUE(runtime::writeFileBytes(snapshotPath(dir_.text()), encodeSnapshot(other)));
  EXPECT_FALSE(commitStore(state_, &walWritten_));
  EXPECT_EQ(state_.trouble, StoreTrouble::kOther);
  EXPECT_FALSE(walWritten_.present);
  EXPECT_FALSE(exists(walPath(dir_.text())));
  EXPECT_EQ(readAll(snapshotPath(dir_.text())), encodeSnapshot(other));
}

TEST_F(CommitFailure, WritingTheWriteAheadFile) {
  EXPECT_FALSE(commitFailingAt("write " + walPath(dir_.text()), 7, runtime::WriteFailure::kNoRoom));
  expectRolledBack();
  EXPECT_EQ(state_.trouble, StoreTrouble::kNoRoom);
  EXPECT_FALSE(walWritten_.present);  // a torn write-ahead file is no commit's
  EXPECT_EQ(readAll(walPath(dir_.text())).size(), 7u);
  expectRetrySucceeds();
}

TEST_F(CommitFailure, WritingTheWholeWriteAheadFileWhoseCloseFails) {
  // Every byte is written and only the write's answer is false: an open would promote the file.
  EXPECT_FALSE(commitFailingAt("write " + walPath(dir_.text()), SIZE_MAX, runtime::WriteFailure::kNoPermission));
  expectRolledBack();
  EXPECT_EQ(state_.trouble, StoreTrouble::kNoPermission);
  expectWalHoldsTheAttempt();
  EXPECT_FALSE(exists(nextPath(dir_.text())));
  expectRetrySucceeds(3);  // the kept file moved into place first
}

TEST_F(CommitFailure, FlushingTheWriteAheadFile) {
  EXPECT_FALSE(commitFailingAt("sync " + walPath(dir_.text()), std::nullopt, runtime::WriteFailure::kNoRoom));
  expectRolledBack();
  EXPECT_EQ(state_.trouble, StoreTrouble::kNoRoom);
  EXPECT_FALSE(walWritten_.present);  // not durable: no save, and removed
  EXPECT_FALSE(exists(walPath(dir_.text())));
  EXPECT_FALSE(exists(nextPath(dir_.text())));
  expectRetrySucceeds();
}

TEST_F(CommitFailure, WritingTheNextFile) {
  EXPECT_FALSE(commitFailingAt("write " + nextPath(dir_.text()), 0, runtime::WriteFailure::kNoRoom));
  expectRolledBack();
  EXPECT_EQ(state_.trouble, StoreTrouble::kNoRoom);
  expectWalHoldsTheAttempt();
  EXPECT_FALSE(exists(nextPath(dir_.text())));
  // The next commit, torn over its own kept file, loses nothing of it: that file went into place first.
  EXPECT_FALSE(commitFailingAt("write " + walPath(dir_.text()), 30));
  EXPECT_EQ(openDatabase(dir_.text()).store.sequence, 2);
  expectRetrySucceeds(3);
}

TEST_F(CommitFailure, FlushingTheNextFile) {
  EXPECT_FALSE(commitFailingAt("sync " + nextPath(dir_.text()), std::nullopt, runtime::WriteFailure::kNoPermission));
  expectRolledBack();
  EXPECT_EQ(state_.trouble, StoreTrouble::kNoPermission);
  expectWalHoldsTheAttempt();
  EXPECT_FALSE(exists(nextPath(dir_.text())));
  // Killed while it writes over its own kept file, the next commit loses nothing of it either.
  EXPECT_FALSE(commitFailingAt("write " + walPath(dir_.text()), 30, {}, FaultFileSystem::Mode::kCrash));
  EXPECT_EQ(openDatabase(dir_.text()).store.sequence, 2);
  expectRetrySucceeds(3);
}

TEST_F(CommitFailure, TheReplacingMove) {
  EXPECT_FALSE(commitFailingAt("replace " + nextPath(dir_.text()) + " -> " + snapshotPath(dir_.text())));
  expectRolledBack();
  EXPECT_EQ(state_.trouble, StoreTrouble::kNotReplaced);
  expectWalHoldsTheAttempt();
  EXPECT_FALSE(exists(nextPath(dir_.text())));
  // The move still refused, the next commit (a key more) touches no file: the kept one stays.
  const runtime::Bytes kept = readAll(walPath(dir_.text()));
  ASSERT_TRUE(storePut(state_, "c", "more"));
  EXPECT_FALSE(commitFailingAt("replace "));
  EXPECT_EQ(state_.sequence, 1);
  EXPECT_EQ(readAll(walPath(dir_.text())), kept);
  EXPECT_FALSE(exists(nextPath(dir_.text())));
  ASSERT_TRUE(commitStore(state_));
  EXPECT_EQ(storeGet(openDatabase(dir_.text()).store, "c").value, "more");
}

TEST_F(CommitFailure, FlushingTheDirectoryAfterTheMove) {
  // The snapshot file has been replaced but the move may not survive a power cut, nor may the
  // write-ahead file's name: the commit answers false, flushes the directory once more, and
  // keeps that file for an open to settle the move.
  EXPECT_FALSE(commitFailingAt("sync directory " + dir_.text()));
  // The state takes the moved file and its sequence as its own, and stays dirty: the retry
  // writes the sequence after, never a second file of the moved one's sequence.
  EXPECT_EQ(state_.sequence, 2);
  EXPECT_TRUE(state_.dirty);
  EXPECT_EQ(state_.trouble, StoreTrouble::kOther);
  EXPECT_EQ(state_.snapshotOnDisk, snapshotIdentityOf(readAll(snapshotPath(dir_.text()))));
  EXPECT_EQ(walWritten_, state_.snapshotOnDisk);
  EXPECT_EQ(readAll(walPath(dir_.text())), readAll(snapshotPath(dir_.text())));
  EXPECT_FALSE(exists(nextPath(dir_.text())));
  expectRetrySucceeds(3);
}

TEST_F(CommitFailure, DeletingTheWriteAheadFileStillCommits) {
  EXPECT_TRUE(commitFailingAt("delete " + walPath(dir_.text())));
  EXPECT_EQ(state_.trouble, StoreTrouble::kNone);
  EXPECT_EQ(state_.sequence, 2);
  EXPECT_FALSE(state_.dirty);
  EXPECT_EQ(readAll(walPath(dir_.text())), readAll(snapshotPath(dir_.text())));
}

TEST_F(CommitFailure, EncodingOverTheLimitTouchesNoFile) {
  state_.maxSnapshotBytes = 1024;
  ASSERT_TRUE(storePut(state_, "big", std::string(1024, 'x')));
  FaultFileSystem counting;
  {
    runtime::ScopedFileSystem scope(counting);
    EXPECT_FALSE(commitStore(state_));
  }
  EXPECT_EQ(counting.operationCount(), 0);
  EXPECT_EQ(state_.sequence, 1);
  EXPECT_TRUE(state_.dirty);
}

TEST(CommitRefusal, AStoreWhoseDirectoryWentOrIsLockedGetsNoFileAndNoWriteAheadIdentity) {
  // A first commit while another holder keeps the lock must not pass for a save of an empty
  // store; a directory removed after the open is not made again, lock file included.
  for (const bool removed : {true, false}) {
    SCOPED_TRACE(removed ? "directory removed after the open" : "first commit while the lock is held");
    TempDir root;
    const std::string data = root.text("data");
    Database database = openDatabase(data);
    ASSERT_TRUE(database.store.ok) << database.store.message;
    ASSERT_TRUE(storePut(database.store, "a", "value"));
    std::unique_ptr<runtime::FileSystem::Lock> held;
    if (removed) {
      std::filesystem::remove_all(runtime::toNativePath(data));
    } else {
      held = runtime::lockFile(lockPath(data), 0);
      ASSERT_NE(held, nullptr);
    }
    SnapshotIdentity wal = snapshotIdentityOf(runtime::Bytes(64, 1));
    EXPECT_FALSE(commitStore(database.store, &wal));
    EXPECT_EQ(wal, SnapshotIdentity{});
    EXPECT_EQ(database.store.sequence, 0);
    EXPECT_TRUE(database.store.dirty);
    EXPECT_EQ(exists(data), !removed);
    for (const std::string& file : {snapshotPath(data), walPath(data), nextPath(data)}) EXPECT_FALSE(exists(file));
  }
}

// A file system whose directory flushes all give one answer; the rest goes to the disk.
class DirectorySyncAnswer final : public runtime::testing::ForwardingFileSystem {
 public:
  explicit DirectorySyncAnswer(DirectorySync answer) : answer_(answer) {}
  DirectorySync syncDirectory(const std::string& path) override {
    synced.push_back(path);
    return answer_;
  }
  std::vector<std::string> synced;

 private:
  DirectorySync answer_;
};

TEST(DirectoryFlushAnswer, UnsupportedCountsAsDoneAndFailureFails) {
  // A drive that refuses directory flushes (FAT, exFAT, network shares on Windows) writes its
  // moves through: commits and new data directories go ahead. A flush that failed does not.
  using Sync = runtime::FileSystem::DirectorySync;
  struct Case {
    const char* name;
    Sync answer;
    bool done;
  };
  for (const Case& c : {Case{"flushed", Sync::kFlushed, true}, Case{"unsupported", Sync::kUnsupported, true},
                        Case{"failed", Sync::kFailed, false}}) {
    SCOPED_TRACE(c.name);
    TempDir root;
    const std::string data = root.text("data");
    DirectorySyncAnswer fileSystem(c.answer);
    Database database;
    {
      runtime::ScopedFileSystem scope(fileSystem);
      database = openDatabase(data);
    }
    EXPECT_EQ(fileSystem.synced, std::vector<std::string>{runtime::parentDirectory(data)});
    EXPECT_EQ(database.store.ok, c.done) << database.store.message;

    // The commit's own flush, in a directory that is there already.
    StoreState state = makeStoreState(root.text());
    ASSERT_TRUE(storePut(state, "a", "value"));
    bool committed = false;
    {
      runtime::ScopedFileSystem scope(fileSystem);
      committed = commitStore(state);
    }
    EXPECT_EQ(committed, c.done);
    EXPECT_EQ(fileSystem.synced.back(), root.text());
    // The move went through either way; after a failed flush its write-ahead file stays beside it.
    EXPECT_EQ(decodeSnapshot(readAll(snapshotPath(root.text())), root.text()).sequence, 1);
    EXPECT_EQ(exists(walPath(root.text())), !c.done);
  }
}

TEST(DirectoryFlushAnswer, EnsureDirectoryKeepsLevelsOnADriveWithoutDirectoryFlushes) {
  using Sync = runtime::FileSystem::DirectorySync;
  for (const Sync answer : {Sync::kFlushed, Sync::kUnsupported, Sync::kFailed}) {
    TempDir root;
    DirectorySyncAnswer fileSystem(answer);
    {
      runtime::ScopedFileSystem scope(fileSystem);
      runtime::ensureDirectory(root.text("made/below"));
    }
    // A failed flush takes the new level away again; an unsupported one keeps it.
    EXPECT_EQ(std::filesystem::is_directory(runtime::toNativePath(root.text("made/below"))), answer != Sync::kFailed);
  }
}

TEST(CommitRefusal, AWholeWriteAheadFileAnOpenWouldTakeIsNeverWrittenOver) {
  // Another program's failed commit left a write-ahead file beside the snapshot file this state
  // read (at sequence 1): an open takes it as the store's state unless it is torn or older.
  struct Row {
    const char* name;
    std::int32_t sequence;  // the write-ahead file's
    std::size_t cut;        // bytes missing at its end
    bool refused;
  };
  const Row rows[] = {
      {"one sequence ahead", 2, 0, true},
      {"of the snapshot's sequence", 1, 0, true},
      {"torn", 2, 1, false},
      {"older than the snapshot", 0, 0, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TempDir dir;
    StoreState state = makeStoreState(dir.text());
    ASSERT_TRUE(storePut(state, "a", "old"));
    ASSERT_TRUE(commitStore(state));
    StoreState other = state;
    other.sequence = row.sequence;
    ASSERT_TRUE(storePut(other, "theirs", "kept"));
    runtime::Bytes theirs = encodeSnapshot(other);
    theirs.resize(theirs.size() - row.cut);
    ASSERT_TRUE(runtime::writeFileBytes(walPath(dir.text()), theirs));
    const runtime::Bytes snapshot = readAll(snapshotPath(dir.text()));

    ASSERT_TRUE(storePut(state, "a", "mine"));
    SnapshotIdentity wal;
    EXPECT_EQ(commitStore(state, &wal), !row.refused);
    if (row.refused) {
      EXPECT_FALSE(wal.present);
      EXPECT_EQ(state.sequence, 1);
      EXPECT_TRUE(state.dirty);
      EXPECT_EQ(readAll(walPath(dir.text())), theirs);
      EXPECT_EQ(readAll(snapshotPath(dir.text())), snapshot);
      EXPECT_FALSE(exists(nextPath(dir.text())));
      // Read again, the store is theirs, and the change goes in on it.
      Database reopened = openDatabase(dir.text());
      ASSERT_TRUE(reopened.store.ok) << reopened.store.message;
      EXPECT_EQ(storeGet(reopened.store, "theirs").value, "kept");
      ASSERT_TRUE(storePut(reopened.store, "a", "mine"));
      EXPECT_TRUE(commitStore(reopened.store));
    } else {
      EXPECT_FALSE(exists(walPath(dir.text())));
    }
  }
}

}  // namespace
}  // namespace store
