// Batch put: records, edges with their keys and catalog, and the one commit.
#include "store/batch.hpp"

#include <gtest/gtest.h>

#include "store/database.hpp"
#include "store/record_keys.hpp"
#include "store/snapshot_codec.hpp"
#include "store/tests/test_support.hpp"

namespace store {
namespace {

using testing::exists;
using testing::readAll;
using testing::sampleEdge;
using testing::sampleRecord;
using testing::TempDir;

std::string valueOf(const Database& database, const std::string& key) {
  const StoreLookup lookup = storeGet(database.store, key);
  return lookup.found ? lookup.value : "<missing>";
}

class BatchPut : public ::testing::Test {
 protected:
  void SetUp() override {
    database_ = openDatabase(dir_.text());
    ASSERT_TRUE(database_.store.ok);
  }
  runtime::Bytes snapshotBytes() const { return readAll(snapshotPath(dir_.text())); }

  TempDir dir_;
  Database database_;
};

TEST_F(BatchPut, EmptyBatchOnACleanDatabaseWritesNothing) {
  EXPECT_TRUE(putBatch(database_, {}));
  EXPECT_FALSE(exists(snapshotPath(dir_.text())));
  EXPECT_EQ(database_.store.sequence, 0);
}

TEST_F(BatchPut, RecordAndEdgeToAnExistingRecordCommitOnce) {
  ASSERT_TRUE(putBatch(database_, {{sampleRecord("c1")}, {}}));
  EXPECT_EQ(database_.store.sequence, 1);
  RecordBatch batch{{sampleRecord("a1", "animal")}, {sampleEdge("e1", "a1", "c1")}};
  batch.edges[0].properties = {{"since", "2020"}};
  ASSERT_TRUE(putBatch(database_, batch));
  EXPECT_EQ(database_.store.sequence, 2);
  EXPECT_FALSE(database_.store.dirty);
  EXPECT_EQ(valueOf(database_, "catalog/records/count"), "2");
  EXPECT_EQ(valueOf(database_, "catalog/records/1"), "a1");
  EXPECT_EQ(valueOf(database_, "catalog/edges/count"), "1");
  EXPECT_EQ(valueOf(database_, "catalog/edges/0"), "e1");
  EXPECT_EQ(valueOf(database_, "edge/e1/id"), "e1");
  EXPECT_EQ(valueOf(database_, "edge/e1/tenant"), "oreb");
  EXPECT_EQ(valueOf(database_, "edge/e1/from"), "a1");
  EXPECT_EQ(valueOf(database_, "edge/e1/to"), "c1");
  EXPECT_EQ(valueOf(database_, "edge/e1/kind"), "owned-by");
  EXPECT_EQ(valueOf(database_, "edge/e1/created"), "5");
  EXPECT_EQ(valueOf(database_, "edge/e1/properties/count"), "1");
  EXPECT_EQ(valueOf(database_, "edge/e1/properties/0/key"), "since");
  EXPECT_EQ(valueOf(database_, "edge/e1/properties/0/value"), "2020");
  const StoreState onDisk = decodeSnapshot(snapshotBytes(), dir_.text());
  EXPECT_EQ(onDisk.sequence, 2);
  EXPECT_EQ(storeGet(onDisk, "edge/e1/to").value, "c1");
}

TEST_F(BatchPut, EdgeToAMissingRecordFailsAndNothingIsCommitted) {
  ASSERT_TRUE(putBatch(database_, {{sampleRecord("c1")}, {}}));
  const runtime::Bytes committed = snapshotBytes();
  EXPECT_FALSE(putBatch(database_, {{sampleRecord("a1")}, {sampleEdge("e1", "a1", "nobody")}}));
  EXPECT_EQ(findRecordIndex(database_, "a1"), 1);
  EXPECT_EQ(valueOf(database_, "record/a1/id"), "a1");
  EXPECT_TRUE(database_.store.dirty);
  EXPECT_TRUE(database_.edges.empty());
  EXPECT_EQ(snapshotBytes(), committed);
  EXPECT_FALSE(putBatch(database_, {{}, {sampleEdge("e1", "nobody", "c1")}}));
}

TEST_F(BatchPut, EdgeFromItselfFailsBeforeAnyKey) {
  ASSERT_TRUE(putBatch(database_, {{sampleRecord("c1")}, {}}));
  EXPECT_FALSE(putBatch(database_, {{}, {sampleEdge("e1", "c1", "c1")}}));
  EXPECT_EQ(valueOf(database_, "edge/e1/id"), "<missing>");
  EXPECT_FALSE(database_.store.dirty);
}

TEST_F(BatchPut, EdgeWithAnExistingIdIsReplacedInPlace) {
  ASSERT_TRUE(putBatch(database_, {{sampleRecord("c1"), sampleRecord("c2"), sampleRecord("a1")},
                                   {sampleEdge("e1", "a1", "c1"), sampleEdge("e2", "c2", "c1")}}));
  ASSERT_TRUE(putBatch(database_, {{}, {sampleEdge("e1", "a1", "c2")}}));
  ASSERT_EQ(database_.edges.size(), 2u);
  EXPECT_EQ(database_.edges[0].to, "c2");
  EXPECT_EQ(valueOf(database_, "catalog/edges/count"), "2");
  EXPECT_EQ(valueOf(database_, "edge/e1/to"), "c2");
}

TEST_F(BatchPut, RefusedSecondRecordStopsTheBatch) {
  Record bad = sampleRecord("bad");
  bad.created = -1;
  EXPECT_FALSE(putBatch(database_, {{sampleRecord("ok"), bad}, {sampleEdge("e1", "ok", "missing")}}));
  ASSERT_EQ(database_.records.size(), 1u);
  EXPECT_EQ(valueOf(database_, "record/ok/id"), "ok");
  EXPECT_EQ(valueOf(database_, "edge/e1/id"), "<missing>");
  EXPECT_FALSE(exists(snapshotPath(dir_.text())));
}

TEST_F(BatchPut, SameRecordTwiceCommitsTwice) {
  ASSERT_TRUE(putBatch(database_, {{sampleRecord("c1")}, {}}));
  ASSERT_TRUE(putBatch(database_, {{sampleRecord("c1")}, {}}));
  const StoreState onDisk = decodeSnapshot(snapshotBytes(), dir_.text());
  EXPECT_EQ(onDisk.sequence, 2);
  EXPECT_EQ(storeGet(onDisk, "catalog/records/count").value, "1");
}

TEST_F(BatchPut, FailedStoreIsNotCommitted) {
  Database failed;
  failed.store = makeFailedStoreState(dir_.text(), "broken");
  EXPECT_FALSE(putBatch(failed, {{sampleRecord("c1")}, {}}));
  EXPECT_EQ(failed.records.size(), 1u);
  EXPECT_FALSE(exists(snapshotPath(dir_.text())));
}

TEST_F(BatchPut, NewEdgeSlotGoesPastAStoredCatalogThatOpenShortened) {
  ASSERT_TRUE(putBatch(database_, {{sampleRecord("c1"), sampleRecord("a1"), sampleRecord("a2")},
                                   {sampleEdge("e1", "a1", "c1"), sampleEdge("e2", "a2", "c1")}}));
  database_.edges.erase(database_.edges.begin());
  ASSERT_TRUE(putBatch(database_, {{}, {sampleEdge("e3", "a2", "a1")}}));
  EXPECT_EQ(valueOf(database_, "catalog/edges/count"), "3");
  EXPECT_EQ(valueOf(database_, "catalog/edges/0"), "e1");
  EXPECT_EQ(valueOf(database_, "catalog/edges/2"), "e3");
}

}  // namespace
}  // namespace store
