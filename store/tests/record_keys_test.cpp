// The key layout of records and catalogs, and writing one record into the map.
#include "store/record_keys.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "store/tests/test_support.hpp"

namespace store {
namespace {

using testing::liveEntries;
using testing::sampleRecord;

Database emptyDatabase() {
  Database database;
  database.store = makeStoreState("unused-dir");
  return database;
}

std::string valueOf(const Database& database, const std::string& key) {
  const StoreLookup lookup = storeGet(database.store, key);
  return lookup.found ? lookup.value : "<missing>";
}

TEST(RecordKeys, BuildersFillTheTemplates) {
  EXPECT_EQ(recordKey("a/b", "content"), "record/a/b/content");
  EXPECT_EQ(edgeKey("e1", "from"), "edge/e1/from");
}

TEST(RecordKeys, VectorValuesAreScaledInSinglePrecisionAndRoundedAwayFromZero) {
  EXPECT_EQ(scaleVectorValue(0.25f), 250000);
  EXPECT_EQ(scaleVectorValue(1.0f), 1000000);
  EXPECT_EQ(scaleVectorValue(-2.0f), -2000000);
  EXPECT_EQ(scaleVectorValue(0.0000015f), 2);
  EXPECT_EQ(scaleVectorValue(-0.0000015f), -2);
  EXPECT_EQ(scaleVectorValue(1234.5678f), 1234567808);
  EXPECT_EQ(scaleVectorValue(5000.0f), std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(scaleVectorValue(-5000.0f), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(scaleVectorValue(std::numeric_limits<float>::infinity()), std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(scaleVectorValue(std::nanf("")), 0);
}

TEST(PutRecord, FirstRecordWritesEveryKeyAndTheCatalog) {
  Database database = emptyDatabase();
  Record record = sampleRecord("r1");
  record.expires = -1;
  record.compartments = {"x"};
  record.contentRefs = {"ref-a", "ref-b"};
  record.properties = {{"detail", "d"}, {"colour", "brown"}};
  ASSERT_TRUE(putRecord(database, record));
  ASSERT_EQ(database.records.size(), 1u);
  const testing::EntryList expected = {
      {"record/r1/id", "r1"},
      {"record/r1/tenant", "oreb"},
      {"record/r1/space", "clinic"},
      {"record/r1/container", "directory"},
      {"record/r1/kind", "customer"},
      {"record/r1/content", "Name of r1"},
      {"record/r1/created", "10"},
      {"record/r1/updated", "20"},
      {"record/r1/expires", "-1"},
      {"record/r1/classification", "internal"},
      {"record/r1/lifecycle", "canonical"},
      {"record/r1/purpose", "test"},
      {"record/r1/permissions/count", "2"},
      {"record/r1/permissions/0", "read"},
      {"record/r1/permissions/1", "write"},
      {"record/r1/compartments/count", "1"},
      {"record/r1/compartments/0", "x"},
      {"record/r1/provenance/count", "1"},
      {"record/r1/provenance/0", "seed"},
      {"record/r1/content-refs/count", "2"},
      {"record/r1/content-refs/0", "ref-a"},
      {"record/r1/content-refs/1", "ref-b"},
      {"record/r1/properties/count", "2"},
      {"record/r1/properties/0/key", "detail"},
      {"record/r1/properties/0/value", "d"},
      {"record/r1/properties/1/key", "colour"},
      {"record/r1/properties/1/value", "brown"},
      {"record/r1/vector/count", "2"},
      {"record/r1/vector/0", "250000"},
      {"record/r1/vector/1", "-1500000"},
      {"catalog/records/count", "1"},
      {"catalog/records/0", "r1"},
  };
  EXPECT_EQ(liveEntries(database.store), expected);
  EXPECT_TRUE(database.store.dirty);
}

TEST(PutRecord, EmptyListsStoreTheirCountsOnly) {
  Database database = emptyDatabase();
  Record record = sampleRecord("r");
  record.permissions.clear();
  record.properties.clear();
  record.vector.clear();
  record.provenance.clear();
  ASSERT_TRUE(putRecord(database, record));
  for (const char* list : {"permissions", "compartments", "provenance", "content-refs", "properties", "vector"}) {
    EXPECT_EQ(valueOf(database, std::string("record/r/") + list + "/count"), "0") << list;
  }
  EXPECT_EQ(valueOf(database, "record/r/permissions/0"), "<missing>");
}

TEST(PutRecord, ReplacingKeepsThePositionAndTheCatalogAndLeavesOldItems) {
  Database database = emptyDatabase();
  Record first = sampleRecord("r1");
  first.permissions = {"p0", "p1", "p2"};
  ASSERT_TRUE(putRecord(database, first));
  ASSERT_TRUE(putRecord(database, sampleRecord("r2")));
  const std::size_t entries = database.store.entries.size();
  Record replacement = sampleRecord("r1");
  replacement.permissions = {"only"};
  replacement.content = "replaced";
  ASSERT_TRUE(putRecord(database, replacement));
  ASSERT_EQ(database.records.size(), 2u);
  EXPECT_EQ(database.records[0].content, "replaced");
  EXPECT_EQ(database.store.entries.size(), entries);
  EXPECT_EQ(valueOf(database, "catalog/records/count"), "2");
  EXPECT_EQ(valueOf(database, "record/r1/permissions/count"), "1");
  EXPECT_EQ(valueOf(database, "record/r1/permissions/0"), "only");
  EXPECT_EQ(valueOf(database, "record/r1/permissions/1"), "p1");
  EXPECT_EQ(valueOf(database, "record/r1/permissions/2"), "p2");
}

TEST(PutRecord, InvalidRecordChangesNothing) {
  Database database = emptyDatabase();
  Record record = sampleRecord("r");
  record.lifecycle = "Canonical";
  EXPECT_FALSE(putRecord(database, record));
  EXPECT_TRUE(database.records.empty());
  EXPECT_TRUE(database.store.entries.empty());
  EXPECT_FALSE(database.store.dirty);
}

TEST(PutRecord, RefusedWriteKeepsWhatWasStoredBeforeIt) {
  Database database = emptyDatabase();
  Record record = sampleRecord("r");
  record.purpose = std::string(1048577, 'p');
  ASSERT_TRUE(validateRecord(record));
  EXPECT_FALSE(putRecord(database, record));
  ASSERT_EQ(database.records.size(), 1u);
  testing::EntryList keys;
  for (const auto& [key, value] : liveEntries(database.store)) keys.emplace_back(key, value.size() > 20 ? "" : value);
  EXPECT_EQ(keys, (testing::EntryList{{"record/r/id", "r"},
                                      {"record/r/tenant", "oreb"},
                                      {"record/r/space", "clinic"},
                                      {"record/r/container", "directory"},
                                      {"record/r/kind", "customer"},
                                      {"record/r/content", "Name of r"},
                                      {"record/r/created", "10"},
                                      {"record/r/updated", "20"},
                                      {"record/r/expires", "0"},
                                      {"record/r/classification", "internal"},
                                      {"record/r/lifecycle", "canonical"},
                                      {"record/r/properties/count", "1"},
                                      {"record/r/vector/count", "2"}}));
}

TEST(PutRecord, NewSlotGoesPastAStoredCatalogThatOpenShortened) {
  // Open skipped slot 1 (an invalid record): the list holds two records, the catalog three.
  Database database = emptyDatabase();
  ASSERT_TRUE(putRecord(database, sampleRecord("r0")));
  ASSERT_TRUE(putRecord(database, sampleRecord("r1")));
  ASSERT_TRUE(putRecord(database, sampleRecord("r2")));
  database.records.erase(database.records.begin() + 1);
  ASSERT_TRUE(putRecord(database, sampleRecord("r3")));
  EXPECT_EQ(valueOf(database, "catalog/records/count"), "4");
  EXPECT_EQ(valueOf(database, "catalog/records/2"), "r2");
  EXPECT_EQ(valueOf(database, "catalog/records/3"), "r3");
}

TEST(PutRecord, NewSlotGoesPastTheListWhenTheStoredCountIsBehind) {
  Database database = emptyDatabase();
  ASSERT_TRUE(putRecord(database, sampleRecord("r0")));
  ASSERT_TRUE(storePut(database.store, "catalog/records/count", "garbage"));
  ASSERT_TRUE(putRecord(database, sampleRecord("r1")));
  EXPECT_EQ(valueOf(database, "catalog/records/count"), "2");
  EXPECT_EQ(valueOf(database, "catalog/records/0"), "r0");
  EXPECT_EQ(valueOf(database, "catalog/records/1"), "r1");
}

TEST(PutRecord, RefusesANewSlotBeyondWhatOpenReads) {
  Database database = emptyDatabase();
  ASSERT_TRUE(storePut(database.store, "catalog/records/count", "65536"));
  EXPECT_FALSE(putRecord(database, sampleRecord("r")));
  EXPECT_EQ(valueOf(database, "catalog/records/count"), "65536");
}

TEST(FindRecordIndex, ExactIdsOnly) {
  Database database = emptyDatabase();
  EXPECT_EQ(findRecordIndex(database, "a"), -1);
  ASSERT_TRUE(putRecord(database, sampleRecord("a")));
  ASSERT_TRUE(putRecord(database, sampleRecord("b")));
  EXPECT_EQ(findRecordIndex(database, "b"), 1);
  EXPECT_EQ(findRecordIndex(database, "B"), -1);
}

TEST(PutEdgeKeys, WritesEveryKeyInTheOrderOfTheFields) {
  StoreState state = makeStoreState("d");
  Edge edge = testing::ownedByEdgeWithProperties("e", "a", "b");
  ASSERT_TRUE(putEdgeKeys(state, edge));
  EXPECT_EQ(liveEntries(state), (testing::EntryList{{"edge/e/id", "e"},
                                                    {"edge/e/tenant", "oreb"},
                                                    {"edge/e/from", "a"},
                                                    {"edge/e/to", "b"},
                                                    {"edge/e/kind", "owned-by"},
                                                    {"edge/e/created", "1"},
                                                    {"edge/e/properties/count", "2"},
                                                    {"edge/e/properties/0/key", "since"},
                                                    {"edge/e/properties/0/value", "2024-03"},
                                                    {"edge/e/properties/1/key", "note"},
                                                    {"edge/e/properties/1/value", "Primary owner of a"}}));
  // After a refused write the count of the properties is still written, and nothing else.
  StoreState refused = makeStoreState("d");
  edge.kind = std::string(1048577, 'k');
  EXPECT_FALSE(putEdgeKeys(refused, edge));
  EXPECT_EQ(liveEntries(refused), (testing::EntryList{{"edge/e/id", "e"},
                                                      {"edge/e/tenant", "oreb"},
                                                      {"edge/e/from", "a"},
                                                      {"edge/e/to", "b"},
                                                      {"edge/e/properties/count", "2"}}));
}

// The fields of an owner in the order their keys take in the key order, found by sorting the
// keys that a writer wrote: the readers that walk an owner's keys meet the fields in this order.
template <class Owner>
std::vector<std::size_t> fieldsOfSortedKeys(const StoreState& state, std::string_view owner,
                                            std::span<const Field<Owner>> fields) {
  std::vector<std::string> names;
  for (const StoreEntry& entry : state.entries) {
    if (entry.key.starts_with(owner)) names.push_back(entry.key.substr(owner.size()));
  }
  std::sort(names.begin(), names.end());
  std::vector<std::size_t> met;
  for (const std::string& name : names) {
    std::size_t within = 0;
    for (std::size_t f = 0; f < fields.size(); ++f) {
      if (placeName(name, fields[f]) != NamePlace::kWithin) continue;
      ++within;
      if (met.empty() || met.back() != f) met.push_back(f);
      // The fields before it in the key order lie before the name, the ones after it after.
      for (std::size_t g = 0; g < fields.size(); ++g) {
        const auto at = std::find(met.begin(), met.end(), g);
        if (g == f) continue;
        EXPECT_EQ(placeName(name, fields[g]), at != met.end() ? NamePlace::kAfter : NamePlace::kBefore) << name;
      }
    }
    EXPECT_EQ(within, 1u) << name;
  }
  return met;
}

TEST(RecordLayout, FieldsInKeyOrderAreTheOrderOfTheWrittenKeys) {
  Database database = emptyDatabase();
  Record record = sampleRecord("r");
  record.compartments = {"c"};
  record.contentRefs = {"x"};
  ASSERT_TRUE(putRecord(database, record));
  EXPECT_EQ(fieldsOfSortedKeys<Record>(database.store, "record/r/", kRecordFields),
            std::vector<std::size_t>(kRecordFieldsInKeyOrder.begin(), kRecordFieldsInKeyOrder.end()));
  StoreState edges = makeStoreState("d");
  ASSERT_TRUE(putEdgeKeys(edges, testing::ownedByEdgeWithProperties("e", "a", "b")));
  EXPECT_EQ(fieldsOfSortedKeys<Edge>(edges, "edge/e/", kEdgeFields),
            std::vector<std::size_t>(kEdgeFieldsInKeyOrder.begin(), kEdgeFieldsInKeyOrder.end()));
}

TEST(RecordLayout, NamesArePlacedAgainstAFieldsKeysInKeyOrder) {
  const Field<Record>& content = kRecordFields[5];
  const Field<Record>& contentRefs = kRecordFields[15];
  ASSERT_EQ(content.name, "content");
  ASSERT_EQ(contentRefs.name, "content-refs");
  const struct {
    const char* name;
    NamePlace content;
    NamePlace contentRefs;
  } cases[] = {
      {"con", NamePlace::kBefore, NamePlace::kBefore},
      {"content", NamePlace::kWithin, NamePlace::kBefore},
      {"content-refs", NamePlace::kAfter, NamePlace::kBefore},
      {"content-refs.", NamePlace::kAfter, NamePlace::kBefore},
      {"content-refs/", NamePlace::kAfter, NamePlace::kWithin},
      {"content-refs/count", NamePlace::kAfter, NamePlace::kWithin},
      {"content-refs0", NamePlace::kAfter, NamePlace::kAfter},
      {"contents", NamePlace::kAfter, NamePlace::kAfter},
      {"content/x", NamePlace::kAfter, NamePlace::kAfter},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(placeName(c.name, content), c.content) << c.name;
    EXPECT_EQ(placeName(c.name, contentRefs), c.contentRefs) << c.name;
  }
}

TEST(PutTextList, WritesCountThenItems) {
  StoreState state = makeStoreState("d");
  ASSERT_TRUE(putTextList(state, "p/list", {"x", "", "z"}));
  EXPECT_EQ(liveEntries(state),
            (testing::EntryList{{"p/list/count", "3"}, {"p/list/0", "x"}, {"p/list/1", ""}, {"p/list/2", "z"}}));
  EXPECT_FALSE(putTextList(state, "q", {"a", std::string(1048577, 'b'), "c"}));
  EXPECT_EQ(storeGet(state, "q/0").value, "a");
  EXPECT_FALSE(storeGet(state, "q/2").found);
}

}  // namespace
}  // namespace store
