// The key/value map's entry operations and its commit through write-ahead and next files.
#include "store/store_state.hpp"

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <string_view>
#include <utility>

#include "runtime/files.hpp"
#include "store/snapshot_codec.hpp"

namespace store {

namespace {

std::uint32_t hashKey(std::string_view key) {
  const std::size_t h = std::hash<std::string_view>{}(key);
  return static_cast<std::uint32_t>(h ^ (h >> 32));
}

}  // namespace

void StoreKeyIndex::reset() const {
  slots_.clear();
  order_.clear();
  indexed_ = 0;
  storage_ = nullptr;
}

void StoreKeyIndex::insert(const std::vector<StoreEntry>& entries, std::size_t index) const {
  const std::string_view key = entries[index].key;
  const std::uint32_t hash = hashKey(key);
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    Slot& slot = slots_[i];
    if (slot.index < 0) {
      slot = {hash, static_cast<std::int32_t>(index)};
      return;
    }
    // A repeated key keeps its first index.
    if (slot.hash == hash && entries[static_cast<std::size_t>(slot.index)].key == key) return;
  }
}

// Brings the table up to date with the list; `expected` is the number of entries the table
// should have room for (at most half full).
void StoreKeyIndex::catchUp(const std::vector<StoreEntry>& entries, std::size_t expected) const {
  if (indexed_ > entries.size() || (indexed_ > 0 && storage_ != entries.data())) reset();
  storage_ = entries.data();
  if (expected * 2 > slots_.size()) {
    // Room for the list's reserved capacity too, so that a decoder that reserved its entries
    // builds the table once.
    const std::size_t wanted = std::max(expected, entries.capacity());
    std::size_t capacity = 64;
    while (capacity < wanted * 2) capacity *= 2;
    slots_.assign(capacity, Slot{});
    indexed_ = 0;
  }
  for (; indexed_ < entries.size(); ++indexed_) insert(entries, indexed_);
}

std::int32_t StoreKeyIndex::find(const std::vector<StoreEntry>& entries, std::string_view key) const {
  catchUp(entries, entries.size());
  if (slots_.empty()) return -1;
  const std::uint32_t hash = hashKey(key);
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    const Slot& slot = slots_[i];
    if (slot.index < 0) return -1;
    if (slot.hash == hash && entries[static_cast<std::size_t>(slot.index)].key == key) return slot.index;
  }
}

std::int32_t StoreKeyIndex::findOrAppend(std::vector<StoreEntry>& entries, StoreEntry&& entry) const {
  catchUp(entries, entries.size() + 1);
  const std::uint32_t hash = hashKey(entry.key);
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    Slot& slot = slots_[i];
    if (slot.index < 0) {
      slot = {hash, static_cast<std::int32_t>(entries.size())};
      entries.push_back(std::move(entry));
      // Moving to larger storage moves no key bytes that the table depends on.
      storage_ = entries.data();
      indexed_ = entries.size();
      return -1;
    }
    if (slot.hash == hash && entries[static_cast<std::size_t>(slot.index)].key == entry.key) return slot.index;
  }
}

const std::vector<std::int32_t>& StoreKeyIndex::keyOrder(const std::vector<StoreEntry>& entries) const {
  catchUp(entries, entries.size());
  const std::size_t known = order_.size();
  if (known == entries.size()) return order_;
  auto less = [&entries](std::int32_t a, std::int32_t b) {
    const Text& x = entries[static_cast<std::size_t>(a)].key;
    const Text& y = entries[static_cast<std::size_t>(b)].key;
    const std::size_t n = std::min(x.size(), y.size());
    const int c = n == 0 ? 0 : std::memcmp(x.data(), y.data(), n);
    if (c != 0) return c < 0;
    if (x.size() != y.size()) return x.size() < y.size();
    return a < b;
  };
  for (std::size_t i = known; i < entries.size(); ++i) order_.push_back(static_cast<std::int32_t>(i));
  const auto middle = order_.begin() + static_cast<std::ptrdiff_t>(known);
  // A decoded file is already in order; a commit adds a few keys to a long ordered list.
  if (!std::is_sorted(middle, order_.end(), less)) std::sort(middle, order_.end(), less);
  if (known > 0 && less(*middle, *(middle - 1))) {
    if (entries.size() - known <= 64) {
      for (auto it = middle; it != order_.end(); ++it) {
        const std::int32_t index = *it;
        const auto at = std::upper_bound(order_.begin(), it, index, less);
        std::move_backward(at, it, it + 1);
        *at = index;
      }
    } else {
      std::inplace_merge(order_.begin(), middle, order_.end(), less);
    }
  }
  return order_;
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

bool storePut(StoreState& state, Text key, Text value) {
  StoreEntry entry{std::move(key), std::move(value), false};
  if (!validateStoreEntry(entry)) return false;
  const std::int32_t i = state.index.findOrAppend(state.entries, std::move(entry));
  if (i >= 0) {
    // Not appended, so `entry` was not moved from.
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
  const Bytes bytes = encodeValidSnapshot(state);  // validated above
  // Whatever the state's own limit, no file is written that open would refuse to read.
  const std::size_t limit = static_cast<std::size_t>(std::min(state.maxSnapshotBytes, kMaxSnapshotFileBytes));
  if (bytes.empty() || bytes.size() > limit) return fail();
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
