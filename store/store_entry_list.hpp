// The entry list of the key/value map together with its key index: the list can only be read,
// or changed through the writers below, which keep the index up to date as they go. Lookups
// write nothing, so any number of threads may look keys up in one list that nobody changes.
// Nothing here fails except by running out of memory, and a writer that runs out of memory
// leaves the list as it was: it makes room for everything it changes before it changes anything.
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
  // Replaces the whole list, repeated keys and marks included (a lookup finds the first).
  void assign(std::vector<StoreEntry> entries);
  // assign for entries whose keys strictly ascend, as a file written in key order holds them,
  // with the hash of each key (runtime::SlotIndex::hashOf) as the caller computed it while it had
  // the key at hand: neither the index nor the key order reads the keys again.
  void assignAscending(std::vector<StoreEntry> entries, const std::vector<std::uint32_t>& hashes);
  // The entries changed since markChecked (an index may repeat), or null when every entry
  // must be checked: after assign, or before the first markChecked. A commit checks only these.
  const std::vector<std::int32_t>* changedSinceChecked() const;
  // Records that every entry as it stands has been checked.
  void markChecked();
  // Brings the kept key order up to date with the entries appended since it was last settled,
  // so that the next encodings sort only what is added after.
  void settleKeyOrder();

  // A point the list can be set back to when a series of puts runs out of memory part way. From
  // openSavepoint until the outermost savepoint ends, each overwritten value is kept aside.
  // Savepoints nest; only puts come between one and its end.
  struct Savepoint {
    std::size_t entries = 0;
    std::size_t changed = 0;
    std::size_t overwritten = 0;
    std::uint64_t checks = 0;
    bool allChanged = true;
  };
  Savepoint openSavepoint() noexcept;
  // Ends the savepoint and keeps every change made since.
  void keepSavepoint(const Savepoint& point) noexcept;
  // Ends the savepoint and sets the list back to it: the entries appended since go, the values
  // and marks overwritten come back, and the index, the key order and the changed entries
  // follow. Allocates nothing.
  void rollBack(const Savepoint& point) noexcept;

 private:
  // The key at an entry index, as the key index reads it.
  auto keyAt() const {
    return [this](std::int32_t i) -> std::string_view { return entries_[static_cast<std::size_t>(i)].key; };
  }
  // Replaces the entries and files every key, the first index of a repeated key staying; the
  // keys' hashes are computed unless given.
  void replaceAll(std::vector<StoreEntry> entries, const std::uint32_t* hashes);
  // A value a put replaced while a savepoint was open, with the entry's mark.
  struct Overwritten {
    Overwritten(std::int32_t at, bool marked, Text&& old) noexcept
        : index(at), deleted(marked), value(std::move(old)) {}
    std::int32_t index;
    bool deleted;
    Text value;
  };

  // Files every entry's key, the first index of a repeated key staying; the keys' hashes are
  // computed unless given. Allocates nothing when the index is already large enough.
  void indexAll(const std::uint32_t* hashes);
  // True when one put (of a new entry when `appending`) needs no memory; otherwise makeRoom.
  bool roomForOne(bool appending) const {
    const std::size_t count = entries_.size();
    // noteChanged adds an index only while there are fewer than entries.
    const bool changeFits = allChanged_ || changed_.size() >= count || changed_.size() < changed_.capacity();
    if (appending) {
      return changeFits && count < entries_.capacity() && (order_.size() != count || count < order_.capacity());
    }
    return changeFits && (savepoints_ == 0 || overwritten_.size() < overwritten_.capacity());
  }
  // Reserves what up to `puts` puts need (new entries when `appending`), so that making them
  // allocates nothing.
  void makeRoom(std::size_t puts, bool appending);
  // put for a key of this hash, the index already large enough for one more key.
  std::size_t putHashed(Text&& key, Text&& value, std::uint32_t hash);
  // The put itself, where the probe found the key or its empty slot; makeRoom came first.
  [[gnu::always_inline]] std::size_t putProbed(const runtime::SlotIndex::Probe& at, Text&& key, Text&& value,
                                               std::uint32_t hash) noexcept;
  void noteChanged(std::size_t index) noexcept;
  void sortTail(std::vector<std::int32_t>& order) const;

  std::vector<StoreEntry> entries_;
  // Key -> index of the first entry with that key; empty while the list is empty.
  runtime::SlotIndex keys_;
  // Ascending key order of the first order_.size() entries.
  std::vector<std::int32_t> order_;
  // Indexes written since markChecked; not added to while allChanged_ (kept no longer than the
  // list), so that a savepoint can go back to them.
  std::vector<std::int32_t> changed_;
  bool allChanged_ = true;
  // markChecked and assign, counted: a savepoint cannot go back to changes checked since.
  std::uint64_t checks_ = 0;
  int savepoints_ = 0;
  std::vector<Overwritten> overwritten_;
};

}  // namespace store
