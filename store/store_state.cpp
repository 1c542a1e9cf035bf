// The key/value map's entry operations and its commit through write-ahead and next files.
#include "store/store_state.hpp"

#include <limits>

#include "runtime/files.hpp"
#include "store/snapshot_codec.hpp"

namespace store {

void StoreKeyIndex::catchUp(const std::vector<StoreEntry>& entries) const {
  if (indexed_ > entries.size()) {
    positions_.clear();
    indexed_ = 0;
  }
  if (indexed_ == 0) positions_.reserve(entries.size());
  for (; indexed_ < entries.size(); ++indexed_) {
    // emplace keeps an existing position, so a repeated key keeps its first index.
    positions_.emplace(entries[indexed_].key, static_cast<std::int32_t>(indexed_));
  }
}

std::int32_t StoreKeyIndex::find(const std::vector<StoreEntry>& entries, const Text& key) const {
  catchUp(entries);
  auto it = positions_.find(key);
  if (it == positions_.end()) return -1;
  const auto position = static_cast<std::size_t>(it->second);
  if (position < entries.size() && entries[position].key == key) return it->second;
  // The list was changed behind the index: rebuild and answer from the list itself.
  positions_.clear();
  indexed_ = 0;
  catchUp(entries);
  it = positions_.find(key);
  return it == positions_.end() ? -1 : it->second;
}

StoreState makeStoreState(const Text& directory) {
  StoreState state;
  state.directory = directory;
  return state;
}

StoreState makeFailedStoreState(const Text& directory, const Text& message) {
  StoreState state = makeStoreState(directory);
  state.ok = false;
  state.message = message;
  return state;
}

Text snapshotPath(const Text& directory) { return runtime::formatText("{0}/store.corvane", {directory}); }

Text walPath(const Text& directory) { return runtime::formatText("{0}/store.wal.corvane", {directory}); }

Text nextPath(const Text& directory) { return runtime::formatText("{0}/store.next.corvane", {directory}); }

bool textWithinBytes(const Text& text, std::int32_t maxBytes) {
  return !text.empty() && maxBytes >= 1 && text.size() <= static_cast<std::size_t>(maxBytes);
}

bool validateStoreEntry(const StoreEntry& entry) {
  // A zero byte could be stored but never read back (the decoder refuses it), which would make
  // the whole store unreadable after the next commit: refuse it here.
  return textWithinBytes(entry.key, kMaxKeyBytes) && entry.value.size() <= static_cast<std::size_t>(kMaxValueBytes) &&
         entry.key.find('\0') == Text::npos && entry.value.find('\0') == Text::npos;
}

bool validateStoreState(const StoreState& state) {
  if (state.schema != "corvane.store.v1") return false;
  if (state.formatVersion != 1) return false;
  if (!textWithinBytes(state.directory, 4096)) return false;
  if (state.sequence < 0) return false;
  if (state.maxSnapshotBytes < 1024 || state.maxSnapshotBytes > 268435456) return false;
  if (state.entries.size() > static_cast<std::size_t>(kMaxEntries)) return false;
  for (const StoreEntry& entry : state.entries) {
    if (!validateStoreEntry(entry)) return false;
  }
  return true;
}

std::int32_t findEntryIndex(const StoreState& state, const Text& key) { return state.index.find(state.entries, key); }

StoreLookup storeGet(const StoreState& state, const Text& key) {
  const std::int32_t i = findEntryIndex(state, key);
  if (i < 0 || state.entries[static_cast<std::size_t>(i)].deleted) return {};
  return {true, state.entries[static_cast<std::size_t>(i)].value};
}

bool storePut(StoreState& state, const Text& key, const Text& value) {
  StoreEntry entry{key, value, false};
  if (!validateStoreEntry(entry)) return false;
  const std::int32_t i = findEntryIndex(state, key);
  if (i < 0) {
    state.entries.push_back(std::move(entry));
  } else {
    StoreEntry& existing = state.entries[static_cast<std::size_t>(i)];
    existing.value = std::move(entry.value);
    existing.deleted = false;
  }
  state.dirty = true;
  return true;
}

bool commitStore(StoreState& state) {
  if (!state.ok) return false;
  if (!validateStoreState(state)) return false;
  if (!state.dirty) return true;
  // The next sequence would not fit: refuse before incrementing rather than overflow.
  if (state.sequence == std::numeric_limits<std::int32_t>::max()) return false;
  const std::int32_t previous = state.sequence;
  state.sequence = previous + 1;
  auto fail = [&state, previous] {
    state.sequence = previous;
    return false;
  };
  const Bytes bytes = encodeSnapshot(state);
  if (bytes.empty() || bytes.size() > static_cast<std::size_t>(state.maxSnapshotBytes)) return fail();
  const Text wal = walPath(state.directory);
  if (!runtime::writeFileBytes(wal, bytes)) return fail();
  if (!runtime::syncFile(wal)) return fail();
  if (!promoteSnapshot(state.directory, bytes)) return fail();
  runtime::deleteFileQuietly(wal);
  state.dirty = false;
  state.message = "ok";
  return true;
}

bool promoteSnapshot(const Text& directory, const Bytes& bytes) {
  // An empty file would replace the snapshot with something no open can read.
  if (bytes.empty()) return false;
  const Text next = nextPath(directory);
  if (!runtime::writeFileBytes(next, bytes)) return false;
  if (!runtime::syncFile(next)) {
    runtime::deleteFileQuietly(next);
    return false;
  }
  const Text target = snapshotPath(directory);
  if (next.empty() || target.empty() || next == target) {
    runtime::deleteFileQuietly(next);
    return false;
  }
  if (runtime::replaceFile(next, target)) return true;
  runtime::deleteFileQuietly(next);
  return false;
}

}  // namespace store
