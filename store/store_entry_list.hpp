// The entry list of the key/value map together with its key index: the list can only be read,
// or changed through the writers below, which keep the index up to date as they go. Lookups
// write nothing, so any number of threads may look keys up in one list that nobody changes.
// Nothing here fails except by running out of memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/slot_index.hpp"
#include "runtime/text.hpp"

namespace store {

using runtime::Text;

// One key/value pair; `deleted` is honoured by lookups and the snapshot writer, set by nothing
// in the store (a list assigned whole may carry it).
struct StoreEntry {
  Text key;
  Text value;
  bool deleted = false;
};

class StoreEntryList {
 public:
  using const_iterator = std::vector<StoreEntry>::const_iterator;

  StoreEntryList() = default;
  explicit StoreEntryList(std::vector<StoreEntry> entries) { assign(std::move(entries)); }

  bool empty() const { return entries_.empty(); }
  std::size_t size() const { return entries_.size(); }
  const StoreEntry& operator[](std::size_t i) const { return entries_[i]; }
  const StoreEntry& front() const { return entries_.front(); }
  const StoreEntry& back() const { return entries_.back(); }
  const_iterator begin() const { return entries_.begin(); }
  const_iterator end() const { return entries_.end(); }

  // Index of the first entry with exactly this key (marked entries included), or -1.
  std::int32_t find(std::string_view key) const;

  // Positions [first, last) in the key order: the keys that share a prefix stand together.
  struct KeyRange {
    std::size_t first = 0;
    std::size_t last = 0;
    std::size_t size() const { return last - first; }
  };
  // The whole key order, or nothing while appended entries wait to be sorted into it (see
  // settleKeyOrder); callers then use find.
  std::optional<KeyRange> orderedKeys() const;
  // The keys within `range` that begin with the prefix, marked ones included.
  KeyRange keysWithPrefix(std::string_view prefix, KeyRange range) const;
  // The same over the whole order, searched outwards from the entry at `index` when its key
  // begins with the prefix and stands at its own index in the order (as in a file read in key
  // order): only its neighbours are compared.
  KeyRange keysWithPrefixAround(std::string_view prefix, std::size_t index, KeyRange all) const;
  // find, for a key within `range`: the first entry with exactly this key, or -1. Reading the
  // keys of one record this way touches only its neighbours instead of the whole table.
  std::int32_t findInRange(std::string_view key, KeyRange range) const;
  // Entry indexes in ascending key order (unsigned bytes, a prefix before its extensions),
  // equal keys by position. Settled by the writers of a sorted file and by settleKeyOrder;
  // otherwise computed afresh into `scratch`, which is then what is returned.
  const std::vector<std::int32_t>& keyOrder(std::vector<std::int32_t>& scratch) const;

  // Overwrites the value of the entry with this key and clears its mark, or appends the entry.
  // Returns the entry's index.
  std::size_t put(Text&& key, Text&& value);
  // put for each pair in turn, with the same result; the pairs are left moved from.
  void putEach(std::vector<std::pair<Text, Text>>& pairs);
  // Replaces the whole list, repeated keys and marks included (a lookup finds the first).
  void assign(std::vector<StoreEntry> entries);
  // assign for entries whose keys strictly ascend, as a file written in key order holds them,
  // with the hash of each key (runtime::SlotIndex::hashOf) as the caller computed it while it had
  // the key at hand: neither the index nor the key order reads the keys again.
  void assignAscending(std::vector<StoreEntry> entries, const std::vector<std::uint32_t>& hashes);
  void reserve(std::size_t count);
  // The entries changed since markChecked (an index may repeat), or null when every entry
  // must be checked: after assign, or before the first markChecked. A commit checks only these.
  const std::vector<std::int32_t>* changedSinceChecked() const;
  // Records that every entry as it stands has been checked.
  void markChecked();
  // Brings the kept key order up to date with the entries appended since it was last settled,
  // so that the next encodings sort only what is added after.
  void settleKeyOrder();

 private:
  // The key at an entry index, as the key index reads it.
  auto keyAt() const {
    return [this](std::int32_t i) -> std::string_view { return entries_[static_cast<std::size_t>(i)].key; };
  }
  // Replaces the entries and files every key, the first index of a repeated key staying; the
  // keys' hashes are computed unless given.
  void replaceAll(std::vector<StoreEntry> entries, const std::uint32_t* hashes);
  // put for a key of this hash, the index already large enough for one more key.
  std::size_t putHashed(Text&& key, Text&& value, std::uint32_t hash);
  void noteChanged(std::size_t index);
  void sortTail(std::vector<std::int32_t>& order) const;

  std::vector<StoreEntry> entries_;
  // Key -> index of the first entry with that key; empty while the list is empty.
  runtime::SlotIndex keys_;
  // Ascending key order of the first order_.size() entries.
  std::vector<std::int32_t> order_;
  // Indexes written since markChecked; unused while allChanged_ (kept no longer than the list).
  std::vector<std::int32_t> changed_;
  bool allChanged_ = true;
};

}  // namespace store
