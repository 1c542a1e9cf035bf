// What a commit leaves in memory and on disk when it stops at each of its file operations.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "runtime/file_system.hpp"
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

  // Runs the commit with the operation `step` failing; returns the commit's answer.
  bool commitFailingAt(const std::string& step, std::optional<std::size_t> torn = std::nullopt) {
    const std::vector<std::string> steps = protocol();
    const auto index = std::find(steps.begin(), steps.end(), step) - steps.begin();
    FaultFileSystem faults;
    faults.injectAt(static_cast<int>(index), FaultFileSystem::Mode::kFailOne, torn);
    runtime::ScopedFileSystem scope(faults);
    return commitStore(state_);
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
  }

  void expectRetrySucceeds() {
    ASSERT_TRUE(commitStore(state_));
    EXPECT_EQ(state_.sequence, 2);
    EXPECT_FALSE(exists(walPath(dir_.text())));
    EXPECT_FALSE(exists(nextPath(dir_.text())));
    EXPECT_EQ(decodeSnapshot(readAll(snapshotPath(dir_.text())), dir_.text()).sequence, 2);
  }

  TempDir dir_;
  StoreState state_;
  runtime::Bytes committed_;
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
  EXPECT_FALSE(exists(walPath(dir_.text())));
  EXPECT_FALSE(exists(nextPath(dir_.text())));
  expectRetrySucceeds();
}

TEST_F(CommitFailure, WritingTheWriteAheadFile) {
  EXPECT_FALSE(commitFailingAt("write " + walPath(dir_.text()), 7));
  expectRolledBack();
  EXPECT_EQ(readAll(walPath(dir_.text())).size(), 7u);
  expectRetrySucceeds();
}

TEST_F(CommitFailure, FlushingTheWriteAheadFile) {
  EXPECT_FALSE(commitFailingAt("sync " + walPath(dir_.text())));
  expectRolledBack();
  expectWalHoldsTheAttempt();
  EXPECT_FALSE(exists(nextPath(dir_.text())));
  expectRetrySucceeds();
}

TEST_F(CommitFailure, WritingTheNextFile) {
  EXPECT_FALSE(commitFailingAt("write " + nextPath(dir_.text()), 30));
  expectRolledBack();
  expectWalHoldsTheAttempt();
  EXPECT_EQ(readAll(nextPath(dir_.text())).size(), 30u);
  expectRetrySucceeds();
}

TEST_F(CommitFailure, FlushingTheNextFile) {
  EXPECT_FALSE(commitFailingAt("sync " + nextPath(dir_.text())));
  expectRolledBack();
  expectWalHoldsTheAttempt();
  EXPECT_FALSE(exists(nextPath(dir_.text())));
  expectRetrySucceeds();
}

TEST_F(CommitFailure, TheReplacingMove) {
  EXPECT_FALSE(commitFailingAt("replace " + nextPath(dir_.text()) + " -> " + snapshotPath(dir_.text())));
  expectRolledBack();
  expectWalHoldsTheAttempt();
  EXPECT_FALSE(exists(nextPath(dir_.text())));
  expectRetrySucceeds();
}

TEST_F(CommitFailure, FlushingTheDirectoryAfterTheMove) {
  // The snapshot file has been replaced but the move may not survive a power cut: the commit
  // answers false, and the write-ahead file beside it holds the same attempt.
  EXPECT_FALSE(commitFailingAt("sync directory " + dir_.text()));
  EXPECT_EQ(state_.sequence, 1);
  EXPECT_TRUE(state_.dirty);
  expectWalHoldsTheAttempt();
  EXPECT_EQ(readAll(snapshotPath(dir_.text())), readAll(walPath(dir_.text())));
  EXPECT_FALSE(exists(nextPath(dir_.text())));
  expectRetrySucceeds();
}

TEST_F(CommitFailure, DeletingTheWriteAheadFileStillCommits) {
  EXPECT_TRUE(commitFailingAt("delete " + walPath(dir_.text())));
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

}  // namespace
}  // namespace store
