// Helpers shared by the store tests: a scratch directory per test, sample records
// (store/testing/record_builders.hpp), a seeded store, and the live contents of a state in a
// comparable form.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "runtime/files.hpp"
#include "runtime/testing/temp_directory.hpp"
#include "store/batch.hpp"
#include "store/database.hpp"
#include "store/record.hpp"
#include "store/store_state.hpp"
#include "store/testing/live_entries.hpp"
#include "store/testing/record_builders.hpp"

namespace store::testing {

using TempDir = runtime::testing::TempDirectory;

inline bool exists(const std::string& path) { return std::filesystem::exists(runtime::toNativePath(path)); }

inline runtime::Bytes readAll(const std::string& path) { return runtime::readFileBytes(path, INT64_MAX); }

// Changes the state's entry list directly, as a file read or a caller could leave it (repeated
// keys, marks, invalid entries): the list is assigned whole, so its index follows.
template <typename Edit>
void editEntries(StoreState& state, Edit edit) {
  std::vector<StoreEntry> entries(state.entries.begin(), state.entries.end());
  edit(entries);
  state.entries.assign(std::move(entries));
}

using EntryList = std::vector<std::pair<std::string, std::string>>;

// The live entries of a state, in the state's order.
inline EntryList liveEntries(const StoreState& state) {
  EntryList list;
  for (const StoreEntry& entry : state.entries) {
    if (!entry.deleted) list.emplace_back(entry.key, entry.value);
  }
  return list;
}

// The store of five sample records ("c1", "c2", "a1", "a2", "a3") and the edge "e1" from a1 to
// c1, committed in one batch into the directory.
inline void seedFiveRecords(const std::string& directory) {
  Database database = openDatabase(directory);
  RecordBatch batch;
  for (const char* id : {"c1", "c2", "a1", "a2", "a3"}) batch.records.push_back(sampleRecord(id));
  batch.edges.push_back(sampleEdge("e1", "a1", "c1"));
  ASSERT_TRUE(putBatch(database, batch));
}

// Batch n of a series of commits: the record "c1" with the content "version <n>", and the new
// record "new-<n>".
inline RecordBatch batchNumber(int n) {
  RecordBatch batch;
  Record record = sampleRecord("c1");
  record.content = "version " + std::to_string(n);
  batch.records.push_back(record);
  batch.records.push_back(sampleRecord("new-" + std::to_string(n)));
  return batch;
}

// A state's sequence and live entries, compared whatever the order of the entries.
struct Snapshot {
  std::int32_t sequence = 0;
  std::map<std::string, std::string> entries;
  bool operator==(const Snapshot&) const = default;
};

inline Snapshot snapshotOf(const StoreState& state) { return {state.sequence, liveEntryMap(state)}; }

// Every field of a record, to compare two reads of it.
inline std::string describe(const Record& r) {
  std::string text = r.id + "|" + r.tenant + "|" + r.space + "|" + r.container + "|" + r.kind + "|" + r.content + "|" +
                     std::to_string(r.created) + "|" + std::to_string(r.updated) + "|" + std::to_string(r.expires) +
                     "|" + r.classification + "|" + r.lifecycle + "|" + r.purpose;
  for (const auto* list : {&r.permissions, &r.compartments, &r.provenance, &r.contentRefs}) {
    text += "|" + std::to_string(list->size());
    for (const Text& item : *list) text += "," + item;
  }
  text += "|" + std::to_string(r.properties.size());
  for (const Property& p : r.properties) text += "," + p.key + "=" + p.value;
  text += "|" + std::to_string(r.vector.size());
  for (float v : r.vector) text += "," + std::to_string(v);
  return text;
}

// Every field of an edge, to compare two reads of it.
inline std::string describe(const Edge& e) {
  std::string text = e.id + "|" + e.tenant + "|" + e.from + "|" + e.to + "|" + e.kind + "|" + std::to_string(e.created);
  text += "|" + std::to_string(e.properties.size());
  for (const Property& p : e.properties) text += "," + p.key + "=" + p.value;
  return text;
}

}  // namespace store::testing
