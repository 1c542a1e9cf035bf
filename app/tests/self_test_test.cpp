#include "app/self_test.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "app/directory_view.hpp"
#include "runtime/file_system.hpp"
#include "runtime/files.hpp"
#include "runtime/testing/forwarding_file_system.hpp"
#include "runtime/testing/temp_directory.hpp"
#include "store/record_keys.hpp"

namespace app {
namespace {

using runtime::testing::TempDirectory;

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

Outcome runOn(DirectoryView& view) {
  std::ostringstream out;
  std::ostringstream err;
  const int status = runSelfTest(view, out, err);
  return {status, out.str(), err.str()};
}

Outcome startAndRun(const std::string& directory) {
  DirectoryView view(directory);
  view.seedDemoData();
  return runOn(view);
}

TEST(SelfTest, PassesOnAFreshDirectoryAndAgainOnTheSameOne) {
  TempDirectory dir;
  for (int run = 0; run < 2; ++run) {
    const Outcome outcome = startAndRun(dir.text());
    EXPECT_EQ(outcome.status, kSelfTestPassed) << outcome.err;
    EXPECT_EQ(outcome.out, "oreb-vet: pass\n");
    EXPECT_EQ(outcome.err, "");
  }
  DirectoryView after(dir.text());
  ASSERT_EQ(after.database.records.size(), 5u);
  const store::Record& mochi = after.database.records[2];
  EXPECT_EQ(mochi.id, "animal-3");
  EXPECT_EQ(mochi.lifecycle, "archival");
  EXPECT_EQ(store::recordProperty(mochi, "detail"), "Cat");
  EXPECT_EQ(after.database.edges.size(), 3u);
  // Seed (5 commits) and two commits per run.
  EXPECT_EQ(after.database.store.sequence, 9);
}

TEST(SelfTest, AnotherRecordCountFailsAtSeedRecordsAndWritesNothing) {
  TempDirectory dir;
  {
    DirectoryView view(dir.text());
    view.seedDemoData();
    ASSERT_TRUE(view.saveRecord("", "animal", "Pepper", "Dog", "customer-1", false));
  }
  const runtime::Bytes before = runtime::readFileBytes(dir.text("store.corvane"), 1 << 22);
  const Outcome outcome = startAndRun(dir.text());
  EXPECT_EQ(outcome.status, kSelfTestFailed);
  EXPECT_EQ(outcome.err, "seed records\n");
  EXPECT_EQ(outcome.out, "");
  EXPECT_EQ(runtime::readFileBytes(dir.text("store.corvane"), 1 << 22), before);
}

TEST(SelfTest, AnUnavailableDirectoryFailsAtSeedRecords) {
  TempDirectory dir;
  const Outcome outcome = startAndRun(dir.text("missing-parent/data"));
  EXPECT_EQ(outcome.status, kSelfTestFailed);
  EXPECT_EQ(outcome.err, "seed records\n");
}

// A disk that acknowledges every write, flush and move but keeps none of them, as a volatile
// cache that is lost: saves claim success, and the records the durable checks look for are
// missing when the directory is opened again.
class ForgetfulFileSystem final : public runtime::testing::ForwardingFileSystem {
 public:
  bool writeFile(const std::string&, const runtime::Bytes&) override { return true; }
  bool syncFile(const std::string&) override { return true; }
  bool replaceFile(const std::string&, const std::string&) override { return true; }
  void deleteFile(const std::string&) override {}
  DirectorySync syncDirectory(const std::string&) override { return DirectorySync::kFlushed; }
};

TEST(SelfTest, AMissingRecordFailsTheDurableCheckCleanly) {
  TempDirectory dir;
  {
    DirectoryView seeding(dir.text());
    for (const char* id : {"customer-1", "customer-2", "customer-3", "customer-4", "customer-5"}) {
      ASSERT_TRUE(seeding.saveRecord(id, "customer", "Someone", "", "", false));
    }
  }
  DirectoryView view(dir.text());
  view.seedDemoData();
  ForgetfulFileSystem forgetful;
  const runtime::ScopedFileSystem scoped(forgetful);
  const Outcome outcome = runOn(view);
  EXPECT_EQ(outcome.status, kSelfTestFailed);
  EXPECT_EQ(outcome.err, "durable update\n");
}

TEST(SelfTest, RequireCheckReportsOnlyFailures) {
  std::ostringstream err;
  EXPECT_TRUE(requireCheck(true, "fine", err));
  EXPECT_EQ(err.str(), "");
  EXPECT_FALSE(requireCheck(false, "archive", err));
  EXPECT_EQ(err.str(), "archive\n");
}

}  // namespace
}  // namespace app
