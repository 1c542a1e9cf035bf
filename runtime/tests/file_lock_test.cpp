// The file lock on the disk: exclusive between two holders in one process (and so between
// programs), released with its object, never waited for longer than asked, refused at once
// where no lock file can be made, had through a read open where the lock file cannot be
// written; and the read of a file's two ends.
#include "runtime/file_lock.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "runtime/files.hpp"
#include "runtime/testing/read_only_file.hpp"
#include "runtime/testing/temp_directory.hpp"

namespace runtime {
namespace {

using runtime::testing::TempDirectory;
using Status = FileSystem::FileEnds::Status;

TEST(FileLock, IsExclusiveUntilReleasedAndWaitsOnlyAsLongAsAsked) {
  TempDirectory dir;
  const std::string path = dir.text("lock");
  auto held = lockFile(path, 0);
  ASSERT_NE(held, nullptr);
  EXPECT_TRUE(fileExists(path));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(lockFile(path, 300), nullptr);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(300));
  EXPECT_LT(waited, std::chrono::seconds(3));
  held.reset();
  EXPECT_NE(lockFile(path, 0), nullptr);
}

TEST(FileLock, ALockFileThatCannotBeWrittenIsLockedThroughAReadOpen) {
  // The lock needs only an open of the file, which a read-only one still allows.
  TempDirectory dir;
  const std::string path = dir.text("lock");
  ASSERT_NE(lockFile(path, 0), nullptr);  // makes the file
  const testing::ReadOnlyFile readOnly(dir.path() / "lock");
  if (!readOnly.refusesWrites()) GTEST_SKIP() << testing::kWritesNotRefused;
  auto held = lockFile(path, 0);
  ASSERT_NE(held, nullptr) << "a lock file that cannot be written was not locked";
  EXPECT_EQ(lockFile(path, 100), nullptr) << "the lock through a read open is not exclusive";
  held.reset();
  EXPECT_NE(lockFile(path, 0), nullptr);
}

TEST(FileLock, IsRefusedAtOnceWhereNoLockFileCanBeMade) {
  TempDirectory dir;
  ASSERT_TRUE(writeFileBytes(dir.text("plain"), {'x'}));
  for (const std::string& path :
       {dir.text("missing/lock"), dir.text("plain/lock"), std::string(), std::string("a\0b", 3), std::string("\xFF")}) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(lockFile(path, 5000), nullptr) << path;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << path;
  }
}

TEST(FileEnds, ReadsTheSizeAndBothEndsOnly) {
  TempDirectory dir;
  ASSERT_TRUE(writeFileBytes(dir.text("ten"), {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
  ASSERT_TRUE(writeFileBytes(dir.text("empty"), {}));
  struct Case {
    std::string path;
    Status status;
    std::int64_t size;
    Bytes head;
    Bytes tail;
  };
  const Case cases[] = {
      {dir.text("ten"), Status::kRead, 10, {0, 1, 2, 3}, {7, 8, 9}},
      {dir.text("empty"), Status::kRead, 0, {}, {}},
      {dir.text("absent"), Status::kAbsent, 0, {}, {}},
      {dir.text("absent/below"), Status::kAbsent, 0, {}, {}},
      {dir.text(""), Status::kUnreadable, 0, {}, {}},  // the directory itself
  };
  for (const Case& c : cases) {
    const FileSystem::FileEnds ends = readFileEnds(c.path, 4, 3);
    EXPECT_EQ(ends.status, c.status) << c.path;
    EXPECT_EQ(ends.size, c.size) << c.path;
    EXPECT_EQ(ends.head, c.head) << c.path;
    EXPECT_EQ(ends.tail, c.tail) << c.path;
  }
  const FileSystem::FileEnds whole = readFileEnds(dir.text("ten"), 16, 16);
  EXPECT_EQ(whole.head.size(), 10u);
  EXPECT_EQ(whole.tail.size(), 10u);
}

}  // namespace
}  // namespace runtime
