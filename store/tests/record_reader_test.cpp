// Rebuilding records and edges from their keys, with missing and malformed keys.
#include "store/record_reader.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "store/record_keys.hpp"
#include "store/tests/test_support.hpp"

namespace store {
namespace {

using testing::describe;
using testing::sampleRecord;

class Reader : public ::testing::Test {
 protected:
  void put(const std::string& key, const std::string& value) { ASSERT_TRUE(storePut(database_.store, key, value)); }
  Database database_{"corvane.database.v1", makeStoreState("d"), {}, {}};
};

TEST_F(Reader, WrittenRecordReadsBackEqual) {
  Record record = sampleRecord("r1");
  record.compartments = {"c"};
  record.contentRefs = {"x", "y"};
  record.properties = {{"a", "1"}, {"b", ""}};
  record.vector = {0.25f, -1.5f, 0.000002f};
  record.expires = 30;
  ASSERT_TRUE(putRecord(database_, record));
  const Record read = readRecord(database_, "r1");
  EXPECT_EQ(read.id, record.id);
  EXPECT_EQ(read.tenant, record.tenant);
  EXPECT_EQ(read.space, record.space);
  EXPECT_EQ(read.container, record.container);
  EXPECT_EQ(read.kind, record.kind);
  EXPECT_EQ(read.content, record.content);
  EXPECT_EQ(read.created, 10);
  EXPECT_EQ(read.updated, 20);
  EXPECT_EQ(read.expires, 30);
  EXPECT_EQ(read.classification, record.classification);
  EXPECT_EQ(read.lifecycle, record.lifecycle);
  EXPECT_EQ(read.purpose, record.purpose);
  EXPECT_EQ(read.permissions, record.permissions);
  EXPECT_EQ(read.compartments, record.compartments);
  EXPECT_EQ(read.provenance, record.provenance);
  EXPECT_EQ(read.contentRefs, record.contentRefs);
  ASSERT_EQ(read.properties.size(), 2u);
  EXPECT_EQ(read.properties[1].key, "b");
  EXPECT_EQ(read.vector, (std::vector<float>{0.25f, -1.5f, 2.0f / 1000000.0f}));
}

TEST_F(Reader, MissingIdKeyGivesTheEmptyRecord) {
  put("record/r/tenant", "t");
  put("record/r/created", "5");
  const Record read = readRecord(database_, "r");
  EXPECT_TRUE(read.id.empty());
  EXPECT_TRUE(read.tenant.empty());
  EXPECT_EQ(read.created, 0);
}

TEST_F(Reader, OnlyTheIdKeyGivesAnOtherwiseEmptyRecord) {
  put("record/r/id", "r");
  const Record read = readRecord(database_, "r");
  EXPECT_EQ(read.id, "r");
  EXPECT_TRUE(read.tenant.empty() && read.content.empty() && read.lifecycle.empty());
  EXPECT_EQ(read.updated, 0);
  EXPECT_TRUE(read.permissions.empty() && read.properties.empty() && read.vector.empty());
}

TEST_F(Reader, MarkedEntriesReadAsMissing) {
  ASSERT_TRUE(putRecord(database_, sampleRecord("r")));
  auto mark = [this](const std::string& key) {
    const std::int32_t i = findEntryIndex(database_.store, key);
    ASSERT_GE(i, 0) << key;
    testing::editEntries(database_.store, [i](std::vector<StoreEntry>& entries) {
      entries[static_cast<std::size_t>(i)].deleted = true;
    });
  };
  mark("record/r/tenant");
  mark("record/r/created");
  mark("record/r/permissions/1");
  mark("record/r/properties/0/key");
  mark("record/r/vector/count");
  Record read = readRecord(database_, "r");
  EXPECT_EQ(read.id, "r");
  EXPECT_TRUE(read.tenant.empty());
  EXPECT_EQ(read.created, 0);
  EXPECT_EQ(read.permissions, (std::vector<Text>{"read"}));
  ASSERT_EQ(read.properties.size(), 1u);
  EXPECT_TRUE(read.properties[0].key.empty());
  EXPECT_TRUE(read.vector.empty());
  mark("record/r/id");
  EXPECT_TRUE(readRecord(database_, "r").content.empty());
}

TEST_F(Reader, StoredIdIsTakenWhileFieldsComeFromTheAskedId) {
  put("record/r/id", "other");
  put("record/r/content", "under r");
  put("record/other/content", "under other");
  const Record read = readRecord(database_, "r");
  EXPECT_EQ(read.id, "other");
  EXPECT_EQ(read.content, "under r");
}

TEST_F(Reader, NumbersThatDoNotParseReadAsZero) {
  put("record/r/id", "r");
  for (const char* text : {"12a", " 12", "+12", ""}) {
    put("record/r/created", text);
    EXPECT_EQ(readRecord(database_, "r").created, 0) << text;
  }
  put("record/r/created", "-5");
  EXPECT_EQ(readRecord(database_, "r").created, -5);
}

TEST_F(Reader, ListsCloseUpOverMissingItemsWhilePropertyAndVectorSlotsRemain) {
  put("record/r/id", "r");
  put("record/r/permissions/count", "3");
  put("record/r/permissions/0", "first");
  put("record/r/permissions/2", "third");
  put("record/r/properties/count", "2");
  put("record/r/vector/count", "3");
  put("record/r/vector/0", "250000");
  put("record/r/vector/2", "-1500000");
  const Record read = readRecord(database_, "r");
  EXPECT_EQ(read.permissions, (std::vector<Text>{"first", "third"}));
  ASSERT_EQ(read.properties.size(), 2u);
  EXPECT_TRUE(read.properties[0].key.empty() && read.properties[1].value.empty());
  EXPECT_FALSE(validateRecord(read));
  EXPECT_EQ(read.vector, (std::vector<float>{0.25f, 0.0f, -1.5f}));
}

TEST_F(Reader, CountsAreBoundedAndNegativeOrMalformedCountsReadNothing) {
  put("record/r/id", "r");
  put("record/r/vector/count", "5000");
  put("record/r/properties/count", "300");
  put("record/r/permissions/count", "5000");
  for (int i = 0; i < 4100; ++i) put("record/r/permissions/" + std::to_string(i), "p");
  Record read = readRecord(database_, "r");
  EXPECT_EQ(read.vector.size(), 4096u);
  EXPECT_EQ(read.properties.size(), 256u);
  EXPECT_EQ(read.permissions.size(), 4096u);
  for (const char* count : {"-1", "x"}) {
    put("record/r/vector/count", count);
    put("record/r/properties/count", count);
    put("record/r/permissions/count", count);
    read = readRecord(database_, "r");
    EXPECT_TRUE(read.vector.empty() && read.properties.empty() && read.permissions.empty()) << count;
  }
  EXPECT_TRUE(readTextList(database_.store, "record/r/compartments").empty());
}

using Keys = std::vector<std::pair<std::string, std::string>>;

// The keys put in reverse, so that they are out of order and the hash index answers, with the
// entries of the marked keys marked and a later entry of the first marked key appended (the first
// entry of a key decides, so it is not found); and the same state with its key order settled, so
// that a reader walks the run of an owner's keys.
std::pair<Database, Database> scrambledAndOrdered(const Keys& keys, const std::vector<std::string>& marked) {
  Database scrambled{"corvane.database.v1", makeStoreState("d"), {}, {}};
  for (auto it = keys.rbegin(); it != keys.rend(); ++it) EXPECT_TRUE(storePut(scrambled.store, it->first, it->second));
  testing::editEntries(scrambled.store, [&marked](std::vector<StoreEntry>& entries) {
    for (StoreEntry& entry : entries) {
      if (std::find(marked.begin(), marked.end(), entry.key) != marked.end()) entry.deleted = true;
    }
    entries.push_back({marked.front(), "a later entry of a marked key", false});
  });
  Database ordered = scrambled;
  ordered.store.entries.settleKeyOrder();
  EXPECT_FALSE(scrambled.store.entries.orderedKeys().has_value());
  EXPECT_TRUE(ordered.store.entries.orderedKeys().has_value());
  return {std::move(scrambled), std::move(ordered)};
}

TEST_F(Reader, ReadsTheSameThroughTheKeyOrderAsThroughTheIndex) {
  // A state read right after a file keeps its keys in order and the reader searches a record's
  // neighbours only, stopping a list once no stored key can answer; a state with keys appended
  // out of order is read through the hash index. Both must give the same record.
  const Keys common = {{"record/r/id", "r"},
                       {"record/r/tenant", "t"},
                       {"record/r1/id", "r1"},
                       {"record/r1/permissions/count", "2"},
                       {"record/r1/permissions/0", "other record"},
                       {"record/r./id", "x"},
                       {"record/q/permissions/0", "before"}};
  const std::vector<std::pair<const char*, Keys>> cases = {
      {"counts far above the items",
       {{"record/r/permissions/count", "5000"},
        {"record/r/permissions/4095", "last"},
        {"record/r/permissions/4096", "beyond"},
        {"record/r/vector/count", "5000"},
        {"record/r/vector/4095", "7"},
        {"record/r/properties/count", "300"},
        {"record/r/properties/255/value", "v"}}},
      {"keys under a list that are not its slots",
       {{"record/r/compartments/count", "3"},
        {"record/r/compartments/x", "no"},
        {"record/r/compartments/1/y", "no"},
        {"record/r/compartments/01", "no"},
        {"record/r/compartments/2", "yes"}}},
      {"property slots with a key or a value only",
       {{"record/r/properties/count", "3"},
        {"record/r/properties/0/key", "k"},
        {"record/r/properties/2/value", "v"},
        {"record/r/properties/9/key", "beyond"}}},
      {"counts that read nothing",
       {{"record/r/provenance/count", "-3"},
        {"record/r/provenance/0", "p"},
        {"record/r/content-refs/count", "x"},
        {"record/r/vector/count", "0"},
        {"record/r/vector/0", "5"}}},
      {"no count at all", {{"record/r/permissions/0", "p"}, {"record/r/vector/0", "5"}}},
  };
  for (const auto& [name, keys] : cases) {
    SCOPED_TRACE(name);
    Keys all = common;
    all.insert(all.end(), keys.begin(), keys.end());
    const auto [scrambled, ordered] =
        scrambledAndOrdered(all, {"record/r/tenant", "record/r/permissions/4095", "record/r/properties/0/key"});
    const std::string expected = describe(readRecord(scrambled, "r"));
    EXPECT_EQ(describe(readRecord(ordered, "r")), expected);
    EXPECT_EQ(readRecord(ordered, "r").tenant, "");
    EXPECT_EQ(readTextList(ordered.store, "record/r/permissions"),
              readTextList(scrambled.store, "record/r/permissions"));
  }
  // One of the expectations above, written out.
  Database database{"corvane.database.v1", makeStoreState("d"), {}, {}};
  for (const auto& [key, value] : cases[0].second) ASSERT_TRUE(storePut(database.store, key, value));
  ASSERT_TRUE(storePut(database.store, "record/r/id", "r"));
  database.store.entries.settleKeyOrder();
  const Record read = readRecord(database, "r");
  EXPECT_EQ(read.permissions, (std::vector<Text>{"last"}));
  ASSERT_EQ(read.vector.size(), 4096u);
  EXPECT_EQ(read.vector[4095], 7.0f / 1000000.0f);
  ASSERT_EQ(read.properties.size(), 256u);
  EXPECT_EQ(read.properties[255].value, "v");
}

TEST_F(Reader, EdgesReadTheSameThroughTheKeyOrderAsThroughTheIndex) {
  const Keys common = {{"edge/e/id", "e"},
                       {"edge/e/from", "a"},
                       {"edge/e/to", "b"},
                       {"edge/e1/id", "e1"},
                       {"edge/e1/kind", "other"},
                       {"edge/e./kind", "x"},
                       {"edge/d/properties/0/key", "before"}};
  const std::vector<std::pair<const char*, Keys>> cases = {
      {"every field",
       {{"edge/e/tenant", "t"},
        {"edge/e/kind", "owned-by"},
        {"edge/e/created", "7"},
        {"edge/e/properties/count", "2"},
        {"edge/e/properties/0/key", "k"},
        {"edge/e/properties/0/value", "v"},
        {"edge/e/properties/1/key", "k2"}}},
      {"slots with a key or a value only, beyond the count, or misspelt",
       {{"edge/e/properties/count", "3"},
        {"edge/e/properties/0/value", "v"},
        {"edge/e/properties/2/key", "k"},
        {"edge/e/properties/01/key", "no"},
        {"edge/e/properties/1/keys", "no"},
        {"edge/e/properties/3/key", "beyond"}}},
      {"counts far above the slots, and numbers that do not parse",
       {{"edge/e/properties/count", "300"}, {"edge/e/properties/255/key", "last"}, {"edge/e/created", "7x"}}},
      {"fields below other words", {{"edge/e/kind/x", "no"}, {"edge/e/createdx", "5"}, {"edge/e/properties", "no"}}},
  };
  for (const auto& [name, keys] : cases) {
    SCOPED_TRACE(name);
    Keys all = common;
    all.insert(all.end(), keys.begin(), keys.end());
    const auto [scrambled, ordered] = scrambledAndOrdered(all, {"edge/e/from", "edge/e/properties/0/key"});
    const Edge read = readEdge(ordered, "e");
    EXPECT_EQ(describe(read), describe(readEdge(scrambled, "e")));
    EXPECT_EQ(read.id, "e");
    EXPECT_EQ(read.from, "");
    EXPECT_EQ(read.to, "b");
  }
}

TEST_F(Reader, Edges) {
  put("edge/e/tenant", "t");
  EXPECT_TRUE(readEdge(database_, "e").tenant.empty());
  put("edge/e/id", "e");
  put("edge/e/from", "a");
  put("edge/e/to", "b");
  put("edge/e/kind", "owned-by");
  put("edge/e/created", "7");
  put("edge/e/properties/count", "2");
  put("edge/e/properties/1/key", "k");
  const Edge edge = readEdge(database_, "e");
  EXPECT_EQ(edge.id, "e");
  EXPECT_EQ(edge.tenant, "t");
  EXPECT_EQ(edge.from, "a");
  EXPECT_EQ(edge.to, "b");
  EXPECT_EQ(edge.kind, "owned-by");
  EXPECT_EQ(edge.created, 7);
  ASSERT_EQ(edge.properties.size(), 2u);
  EXPECT_TRUE(edge.properties[0].key.empty());
  EXPECT_EQ(edge.properties[1].key, "k");
}

}  // namespace
}  // namespace store
