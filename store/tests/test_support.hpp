// Helpers shared by the store tests: a scratch directory per test, sample records, and the
// live contents of a state in a comparable form.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "runtime/files.hpp"
#include "runtime/testing/temp_directory.hpp"
#include "store/record.hpp"
#include "store/store_state.hpp"

namespace store::testing {

using TempDir = runtime::testing::TempDirectory;

inline bool exists(const std::string& path) { return std::filesystem::exists(runtime::toNativePath(path)); }

inline runtime::Bytes readAll(const std::string& path) { return runtime::readFileBytes(path, INT64_MAX); }

// A record that passes validation.
inline Record sampleRecord(const std::string& id, const std::string& kind = "customer") {
  Record record;
  record.id = id;
  record.tenant = "oreb";
  record.space = "clinic";
  record.container = "directory";
  record.kind = kind;
  record.content = "Name of " + id;
  record.created = 10;
  record.updated = 20;
  record.classification = "internal";
  record.lifecycle = "canonical";
  record.purpose = "test";
  record.permissions = {"read", "write"};
  record.properties = {{"detail", "detail of " + id}};
  record.vector = {0.25f, -1.5f};
  record.provenance = {"seed"};
  return record;
}

inline Edge sampleEdge(const std::string& id, const std::string& from, const std::string& to) {
  Edge edge;
  edge.id = id;
  edge.tenant = "oreb";
  edge.from = from;
  edge.to = to;
  edge.kind = "owned-by";
  edge.created = 5;
  return edge;
}

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

}  // namespace store::testing
