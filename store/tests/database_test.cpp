// Opening a data directory: the directory check, the snapshot, every row of write-ahead
// recovery, and the catalog walks.
#include "store/database.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string_view>
#include <vector>

#include "runtime/file_system.hpp"
#include "runtime/runtime_error.hpp"
#include "store/batch.hpp"
#include "store/snapshot_codec.hpp"
#include "store/tests/fault_file_system.hpp"
#include "store/tests/test_support.hpp"

namespace store {
namespace {

using runtime::Bytes;
using testing::exists;
using testing::FaultFileSystem;
using testing::readAll;
using testing::sampleEdge;
using testing::sampleRecord;
using testing::TempDir;

Bytes encoded(const std::string& directory, std::int32_t sequence, const testing::EntryList& entries) {
  StoreState state = makeStoreState(directory);
  state.sequence = sequence;
  for (const auto& [k, v] : entries) EXPECT_TRUE(storePut(state, k, v));
  return encodeSnapshot(state);
}

void writeBytes(const std::string& path, const Bytes& bytes) { ASSERT_TRUE(runtime::writeFileBytes(path, bytes)); }

const Bytes kCorrupt = {'C', 'R', 'V', '1', 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9};

class Open : public ::testing::Test {
 protected:
  std::string snapshot() const { return snapshotPath(dir_.text()); }
  std::string wal() const { return walPath(dir_.text()); }
  TempDir dir_;
};

TEST_F(Open, UnavailableDirectories) {
  const Database empty = openDatabase("");
  EXPECT_EQ(empty.schema, "corvane.database.v1");
  EXPECT_FALSE(empty.store.ok);
  EXPECT_EQ(empty.store.message, "database directory is unavailable");

  const Database noParent = openDatabase(dir_.text("missing/child"));
  EXPECT_FALSE(noParent.store.ok);
  EXPECT_EQ(noParent.store.message, "database directory is unavailable");
  EXPECT_FALSE(exists(dir_.text("missing")));

  // The system would end the path at the zero byte and create a different directory.
  const Database zero = openDatabase(dir_.text(std::string("cut\0off", 7)));
  EXPECT_FALSE(zero.store.ok);
  EXPECT_EQ(zero.store.message, "database directory is unavailable");
  EXPECT_FALSE(exists(dir_.text("cut")));

  writeBytes(dir_.text("plain"), {1});
  const Database file = openDatabase(dir_.text("plain"));
  EXPECT_FALSE(file.store.ok);
  EXPECT_EQ(file.store.message, "database directory is unavailable");
  EXPECT_EQ(readAll(dir_.text("plain")), Bytes{1});
}

TEST_F(Open, AStoreReadBeforeIsNeverMadeAnew) {
  // kExisting: a directory or snapshot file that went away fails the open, and nothing is made.
  const Bytes stored = encoded(dir_.text("data"), 3, {{"a", "1"}});
  struct Case {
    const char* name;
    std::vector<const char*> files;  // put into the directory; none: no directory
    const char* message;
  };
  const Case cases[] = {
      {"no directory", {}, kStoreFilesMissing},
      {"lock file only", {"store.lock.corvane"}, kStoreFilesMissing},
      {"snapshot file", {"store.lock.corvane", "store.corvane"}, "ok"},
      {"write-ahead file only", {"store.wal.corvane"}, "ok"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string data = dir_.text("data");
    std::filesystem::remove_all(data);
    if (!c.files.empty()) std::filesystem::create_directory(data);
    for (const char* name : c.files)
      writeBytes(data + "/" + name, std::string_view(name) == "store.lock.corvane" ? Bytes{} : stored);
    const Database opened = openDatabase(data, OpenMode::kExisting);
    EXPECT_EQ(opened.store.message, c.message);
    EXPECT_EQ(storeFilesPresent(data), opened.store.ok);
    EXPECT_EQ(storeGet(opened.store, "a").value, opened.store.ok ? "1" : "");
    EXPECT_EQ(exists(snapshotPath(data)), opened.store.ok);  // a write-ahead file alone is promoted
    EXPECT_EQ(std::filesystem::exists(data), !c.files.empty());
  }
}

TEST_F(Open, NewDirectoryIsCreatedAndLeftEmpty) {
  const std::string directory = dir_.text("fresh");
  const Database database = openDatabase(directory);
  EXPECT_TRUE(database.store.ok);
  EXPECT_EQ(database.store.message, "ok");
  EXPECT_EQ(database.store.sequence, 0);
  EXPECT_TRUE(database.store.entries.empty());
  EXPECT_TRUE(database.records.empty() && database.edges.empty());
  EXPECT_TRUE(std::filesystem::is_directory(runtime::toNativePath(directory)));
  EXPECT_TRUE(std::filesystem::is_empty(runtime::toNativePath(directory)));
  EXPECT_TRUE(openDatabase(directory).store.ok);
}

TEST_F(Open, SnapshotAloneIsTakenAsItIs) {
  writeBytes(snapshot(), encoded(dir_.text(), 4, {{"k", "v"}}));
  const Database database = openDatabase(dir_.text());
  EXPECT_TRUE(database.store.ok);
  EXPECT_EQ(database.store.sequence, 4);
  EXPECT_EQ(storeGet(database.store, "k").value, "v");
  EXPECT_FALSE(database.store.dirty);
}

TEST_F(Open, OlderWriteAheadFileIsDeleted) {
  const Bytes current = encoded(dir_.text(), 5, {{"k", "new"}});
  writeBytes(snapshot(), current);
  writeBytes(wal(), encoded(dir_.text(), 4, {{"k", "old"}}));
  const Database database = openDatabase(dir_.text());
  EXPECT_TRUE(database.store.ok);
  EXPECT_EQ(storeGet(database.store, "k").value, "new");
  EXPECT_FALSE(exists(wal()));
  EXPECT_EQ(readAll(snapshot()), current);
}

TEST_F(Open, WriteAheadFileOfEqualOrHigherSequenceIsPromoted) {
  for (std::int32_t sequence : {5, 6}) {
    writeBytes(snapshot(), encoded(dir_.text(), 5, {{"k", "snapshot"}}));
    const Bytes ahead = encoded(dir_.text(), sequence, {{"k", "ahead"}});
    writeBytes(wal(), ahead);
    const Database database = openDatabase(dir_.text());
    EXPECT_TRUE(database.store.ok);
    EXPECT_EQ(database.store.sequence, sequence);
    EXPECT_EQ(storeGet(database.store, "k").value, "ahead");
    EXPECT_FALSE(exists(wal()));
    EXPECT_FALSE(exists(nextPath(dir_.text())));
    EXPECT_EQ(readAll(snapshot()), ahead);
  }
}

TEST_F(Open, WriteAheadFileAloneBecomesTheSnapshot) {
  const Bytes ahead = encoded(dir_.text(), 1, {{"k", "ahead"}});
  writeBytes(wal(), ahead);
  const Database database = openDatabase(dir_.text());
  EXPECT_TRUE(database.store.ok);
  EXPECT_EQ(readAll(snapshot()), ahead);
  EXPECT_FALSE(exists(wal()));
}

TEST_F(Open, CorruptWriteAheadFileAloneIsDeleted) {
  writeBytes(wal(), kCorrupt);
  const Database database = openDatabase(dir_.text());
  EXPECT_TRUE(database.store.ok);
  EXPECT_TRUE(database.store.entries.empty());
  EXPECT_FALSE(exists(wal()));
  EXPECT_FALSE(exists(snapshot()));
}

TEST_F(Open, CorruptSnapshotIsRepairedFromAWriteAheadFile) {
  writeBytes(snapshot(), kCorrupt);
  const Bytes ahead = encoded(dir_.text(), 0, {{"k", "ahead"}});
  writeBytes(wal(), ahead);
  const Database database = openDatabase(dir_.text());
  EXPECT_TRUE(database.store.ok);
  EXPECT_EQ(readAll(snapshot()), ahead);
  EXPECT_FALSE(exists(wal()));
}

TEST_F(Open, CorruptSnapshotAndWriteAheadFileAreBothKept) {
  writeBytes(snapshot(), kCorrupt);
  writeBytes(wal(), Bytes(25, 0));
  const Database database = openDatabase(dir_.text());
  EXPECT_FALSE(database.store.ok);
  EXPECT_EQ(database.store.message, "snapshot checksum is invalid");
  EXPECT_TRUE(database.store.entries.empty());
  EXPECT_EQ(readAll(snapshot()), kCorrupt);
  EXPECT_TRUE(exists(wal()));
}

TEST_F(Open, CorruptSnapshotAloneGivesTheDecoderMessageAndTouchesNothing) {
  writeBytes(snapshot(), Bytes(10, 'x'));
  const Database database = openDatabase(dir_.text());
  EXPECT_FALSE(database.store.ok);
  EXPECT_EQ(database.store.message, "snapshot header is invalid");
  EXPECT_EQ(readAll(snapshot()), Bytes(10, 'x'));
  RecordBatch batch{{sampleRecord("c1")}, {}};
  Database failed = database;
  EXPECT_FALSE(putBatch(failed, batch));
  EXPECT_EQ(readAll(snapshot()), Bytes(10, 'x'));
}

TEST_F(Open, FailedPromotionKeepsTheWriteAheadFileAndItsRecords) {
  Database seeded = openDatabase(dir_.text());
  ASSERT_TRUE(putBatch(seeded, {{sampleRecord("c1")}, {}}));
  // Leave a write-ahead file one sequence ahead, as a commit whose move failed does.
  {
    FaultFileSystem faults;
    faults.injectAt("replace ", FaultFileSystem::Mode::kFailOne);
    runtime::ScopedFileSystem scope(faults);
    ASSERT_FALSE(putBatch(seeded, {{sampleRecord("c2")}, {}}));
  }
  const Bytes before = readAll(snapshot());
  FaultFileSystem faults;
  faults.injectAt("replace ", FaultFileSystem::Mode::kFailOne);  // the move of the promotion
  Database database;
  {
    runtime::ScopedFileSystem scope(faults);
    database = openDatabase(dir_.text());
  }
  EXPECT_FALSE(database.store.ok);
  EXPECT_EQ(database.store.message, "write-ahead recovery could not promote the durable snapshot");
  EXPECT_EQ(database.store.sequence, 2);
  EXPECT_EQ(database.records.size(), 2u);
  EXPECT_TRUE(exists(wal()));
  EXPECT_EQ(readAll(snapshot()), before);
  // The next open promotes it and the change is durable.
  const Database reopened = openDatabase(dir_.text());
  EXPECT_TRUE(reopened.store.ok);
  EXPECT_EQ(reopened.store.sequence, 2);
  EXPECT_EQ(reopened.records.size(), 2u);
  EXPECT_FALSE(exists(wal()));
}

TEST_F(Open, APromotionThatCannotBeMadeTellsItsTrouble) {
  for (const auto& [operation, cause, trouble] :
       {std::tuple{"write ", runtime::WriteFailure::kNoRoom, StoreTrouble::kNoRoom},
        {"replace ", runtime::WriteFailure::kNone, StoreTrouble::kNotReplaced},
        {"lock ", runtime::WriteFailure::kNoPermission, StoreTrouble::kNoPermission}}) {
    writeBytes(wal(), encoded(dir_.text(), 1, {{"k", "v"}}));
    FaultFileSystem faults;
    faults.injectAt(operation, FaultFileSystem::Mode::kFailOne, 0);  // a write leaves an empty file
    faults.failWritesWith(cause);
    runtime::ScopedFileSystem scope(faults);
    const Database database = openDatabase(dir_.text());
    EXPECT_EQ(database.store.trouble, trouble) << operation;
    EXPECT_FALSE(exists(nextPath(dir_.text())));
  }
}

TEST_F(Open, SnapshotWhoseStatusCannotBeReadIsAReadErrorNotANewStore) {
  writeBytes(snapshot(), encoded(dir_.text(), 3, {{"k", "v"}}));
  FaultFileSystem faults;
  faults.makeUnreadable(snapshot());
  runtime::ScopedFileSystem scope(faults);
  try {
    openDatabase(dir_.text());
    ADD_FAILURE() << "no exception";
  } catch (const runtime::vusk_runtime_exception& error) {
    EXPECT_EQ(error.error().code, "file.read");
  }
  EXPECT_EQ(faults.operationCount(), 0) << "nothing was written or deleted";
}

TEST_F(Open, OversizedSnapshotThrowsTheReadLimitError) {
  writeBytes(snapshot(), Bytes(4194305, 'x'));
  try {
    openDatabase(dir_.text());
    ADD_FAILURE() << "no exception";
  } catch (const runtime::vusk_runtime_exception& error) {
    EXPECT_EQ(error.error().code, "file.read.limit");
  }
}

TEST_F(Open, CatalogWalks) {
  Database database = openDatabase(dir_.text());
  ASSERT_TRUE(putBatch(database, {{sampleRecord("c1"), sampleRecord("a1", "animal")}, {sampleEdge("e1", "a1", "c1")}}));
  const Database reopened = openDatabase(dir_.text());
  ASSERT_EQ(reopened.records.size(), 2u);
  EXPECT_EQ(reopened.records[0].id, "c1");
  EXPECT_EQ(reopened.records[1].kind, "animal");
  EXPECT_EQ(reopened.records[1].vector, (std::vector<float>{0.25f, -1.5f}));
  ASSERT_EQ(reopened.edges.size(), 1u);
  EXPECT_EQ(reopened.edges[0].from, "a1");
}

TEST_F(Open, CatalogCountsAndSlotsThatDoNotNameValidItemsAreSkipped) {
  Database database = openDatabase(dir_.text());
  ASSERT_TRUE(putBatch(database, {{sampleRecord("c1")}, {}}));
  auto reopenWith = [&](const testing::EntryList& changes) {
    Database changed = openDatabase(dir_.text());
    for (const auto& [k, v] : changes) EXPECT_TRUE(storePut(changed.store, k, v));
    EXPECT_TRUE(commitStore(changed.store));
    return openDatabase(dir_.text());
  };
  for (const char* count : {"abc", "", "-3"}) {
    EXPECT_TRUE(reopenWith({{"catalog/records/count", count}}).records.empty()) << count;
  }
  const Database twice = reopenWith({{"catalog/records/count", "3"},
                                     {"catalog/records/1", "c1"},
                                     {"catalog/records/2", "ghost"},
                                     {"catalog/edges/count", "1"},
                                     {"catalog/edges/0", "ghost-edge"}});
  ASSERT_EQ(twice.records.size(), 1u) << "an id named again is not loaded again";
  EXPECT_EQ(twice.records[0].id, "c1");
  EXPECT_TRUE(twice.edges.empty());
  const Database edgeWithoutEnds = reopenWith({{"catalog/edges/count", "1"},
                                               {"catalog/edges/0", "loose"},
                                               {"edge/loose/id", "loose"},
                                               {"edge/loose/tenant", "t"},
                                               {"edge/loose/from", "x"},
                                               {"edge/loose/to", "y"},
                                               {"edge/loose/kind", "k"}});
  EXPECT_EQ(edgeWithoutEnds.edges.size(), 1u);
}

TEST_F(Open, RecordsComeInTheCatalogsOrderWhateverTheOrderOfTheirKeys) {
  // Slot 0 names "l", slot 11 names "a": the records' keys stand in the reverse order, and the
  // slots' own keys in yet another ("0", "1", "10", "11", "2", ...).
  Database database = openDatabase(dir_.text());
  RecordBatch batch;
  for (char id = 'l'; id >= 'a'; --id) batch.records.push_back(sampleRecord(std::string(1, id)));
  batch.records.push_back(sampleRecord("m"));
  batch.edges = {sampleEdge("e2", "b", "a"), sampleEdge("e1", "a", "b")};
  ASSERT_TRUE(putBatch(database, batch));
  // Slot 12 lies past the count; keys that are no slot's spelling name nothing.
  for (const auto& [k, v] : testing::EntryList{{"catalog/records/count", "12"},
                                               {"catalog/records/01", "k"},
                                               {"catalog/records/3x", "m"},
                                               {"catalog/records/+4", "m"}}) {
    ASSERT_TRUE(storePut(database.store, k, v));
  }
  ASSERT_TRUE(commitStore(database.store));
  const Database opened = openDatabase(dir_.text());
  std::string ids;
  for (const Record& record : opened.records) ids += record.id;
  EXPECT_EQ(ids, "lkjihgfedcba");
  ASSERT_EQ(opened.edges.size(), 2u);
  EXPECT_EQ(opened.edges[0].id, "e2");
  EXPECT_EQ(opened.edges[1].id, "e1");
  for (std::size_t i = 0; i < opened.records.size(); ++i) {
    EXPECT_EQ(testing::describe(opened.records[i]), testing::describe(database.records[i])) << i;
  }
}

TEST_F(Open, CatalogWalkStopsAtTheSlotLimit) {
  StoreState state = makeStoreState(dir_.text());
  Database holder{"corvane.database.v1", state, {}, {}};
  ASSERT_TRUE(putBatch(holder, {{sampleRecord("a"), sampleRecord("b"), sampleRecord("c")}, {}}));
  ASSERT_TRUE(storePut(holder.store, "catalog/records/count", "70000"));
  ASSERT_TRUE(storePut(holder.store, "catalog/records/1", "nothing"));
  ASSERT_TRUE(storePut(holder.store, "catalog/records/2", "nothing"));
  ASSERT_TRUE(storePut(holder.store, "catalog/records/65535", "b"));
  ASSERT_TRUE(storePut(holder.store, "catalog/records/65536", "c"));
  ASSERT_TRUE(commitStore(holder.store));
  const Database opened = openDatabase(dir_.text());
  ASSERT_EQ(opened.records.size(), 2u);
  EXPECT_EQ(opened.records[0].id, "a");
  EXPECT_EQ(opened.records[1].id, "b");
}

TEST_F(Open, CatalogNamingOneItemInManySlotsLoadsItOnce) {
  // A few megabytes of store file must not ask for thousands of copies of a large record.
  Database database = openDatabase(dir_.text());
  Record big = sampleRecord("big");
  big.content = std::string(65536, 'c');
  ASSERT_TRUE(putBatch(database, {{big, sampleRecord("small")}, {sampleEdge("e", "big", "small")}}));
  for (int slot = 2; slot < 3000; ++slot) {
    ASSERT_TRUE(storePut(database.store, "catalog/records/" + std::to_string(slot), slot % 2 ? "small" : "big"));
    ASSERT_TRUE(storePut(database.store, "catalog/edges/" + std::to_string(slot), "e"));
  }
  ASSERT_TRUE(storePut(database.store, "catalog/records/count", "3000"));
  ASSERT_TRUE(storePut(database.store, "catalog/edges/count", "3000"));
  ASSERT_TRUE(commitStore(database.store));
  const Database opened = openDatabase(dir_.text());
  ASSERT_TRUE(opened.store.ok);
  ASSERT_EQ(opened.records.size(), 2u);
  EXPECT_EQ(opened.records[0].id, "big");
  EXPECT_EQ(opened.records[1].id, "small");
  ASSERT_EQ(opened.edges.size(), 1u);
  // New items still go past every slot the catalog holds.
  Database next = opened;
  ASSERT_TRUE(putBatch(next, {{sampleRecord("new")}, {}}));
  EXPECT_EQ(storeGet(next.store, "catalog/records/3000").value, "new");
  EXPECT_EQ(openDatabase(dir_.text()).records.size(), 3u);
}

TEST_F(Open, ZeroByteInAStoredKeyThrows) {
  Bytes body = {'C', 'R', 'V', '1'};
  writeZigzagInt32(body, 1);
  writeZigzagInt32(body, 1);
  writeZigzagInt32(body, 1);
  writeLengthPrefixedText(body, std::string("a\0", 2));
  writeLengthPrefixedText(body, "v");
  writeZigzagInt32(body, snapshotChecksum(body, static_cast<std::int32_t>(body.size())));
  writeBytes(snapshot(), body);
  EXPECT_THROW(openDatabase(dir_.text()), std::invalid_argument);
}

}  // namespace
}  // namespace store
