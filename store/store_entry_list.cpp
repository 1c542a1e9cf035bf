// The entry list's hash index and key order, both kept up to date by the list's writers.
#include "store/store_entry_list.hpp"

#include <algorithm>
#include <numeric>
#include <utility>

namespace store {

namespace {

using runtime::startsWith;

// std::string_view compares characters as unsigned bytes, and a prefix before its extensions.
bool keyBefore(std::string_view a, std::string_view b) { return a.compare(b) < 0; }

// Makes room for `more` elements past the vector's size, growing it as its own appends would.
template <typename T>
void reserveMore(std::vector<T>& items, std::size_t more) {
  const std::size_t needed = items.size() + more;
  if (needed > items.capacity()) items.reserve(std::max(needed, 2 * items.capacity()));
}

}  // namespace

std::int32_t StoreEntryList::find(std::string_view key) const { return keys_.find(key, keyAt()); }

std::optional<StoreEntryList::KeyRange> StoreEntryList::orderedKeys() const {
  if (order_.size() != entries_.size()) return std::nullopt;
  return KeyRange{0, order_.size()};
}

StoreEntryList::KeyRange StoreEntryList::keysWithPrefix(std::string_view prefix, KeyRange range) const {
  const auto keyOf = keyAt();
  const auto begin = order_.begin() + static_cast<std::ptrdiff_t>(range.first);
  const auto end = order_.begin() + static_cast<std::ptrdiff_t>(range.last);
  const auto first = std::partition_point(begin, end, [&](std::int32_t i) { return keyBefore(keyOf(i), prefix); });
  const auto last = std::partition_point(first, end, [&](std::int32_t i) { return startsWith(keyOf(i), prefix); });
  return {static_cast<std::size_t>(first - order_.begin()), static_cast<std::size_t>(last - order_.begin())};
}

StoreEntryList::KeyRange StoreEntryList::keysWithPrefixAround(std::string_view prefix, std::size_t index,
                                                              KeyRange all) const {
  auto keyAt = [this](std::size_t position) -> std::string_view {
    return entries_[static_cast<std::size_t>(order_[position])].key;
  };
  if (index >= order_.size() || static_cast<std::size_t>(order_[index]) != index || !startsWith(keyAt(index), prefix)) {
    return keysWithPrefix(prefix, all);
  }
  // Gallop outwards to a position outside the run of keys with the prefix, then search the last
  // step for the run's end.
  std::size_t step = 1;
  std::size_t inside = index;
  while (inside >= step && startsWith(keyAt(inside - step), prefix)) {
    inside -= step;
    step *= 2;
  }
  const KeyRange left{inside >= step ? inside - step : 0, inside + 1};
  step = 1;
  std::size_t last = index;
  while (last + step < order_.size() && startsWith(keyAt(last + step), prefix)) {
    last += step;
    step *= 2;
  }
  const KeyRange right{last, std::min(last + step + 1, order_.size())};
  return {keysWithPrefix(prefix, left).first, keysWithPrefix(prefix, right).last};
}

std::int32_t StoreEntryList::findInRange(std::string_view key, KeyRange range) const {
  const auto keyOf = keyAt();
  const auto begin = order_.begin() + static_cast<std::ptrdiff_t>(range.first);
  const auto end = order_.begin() + static_cast<std::ptrdiff_t>(range.last);
  // Equal keys stand in the order of their positions, so the first of them is the first match.
  const auto at = std::partition_point(begin, end, [&](std::int32_t i) { return keyBefore(keyOf(i), key); });
  if (at == end || keyOf(*at) != key) return -1;
  return *at;
}

void StoreEntryList::replaceAll(std::vector<StoreEntry> entries, const std::uint32_t* hashes) {
  entries_ = std::move(entries);
  keys_.clear();
  order_.clear();
  changed_.clear();
  allChanged_ = true;
  ++checks_;
  if (entries_.empty()) return;
  indexAll(hashes);
}

void StoreEntryList::indexAll(const std::uint32_t* hashes) {
  keys_.reserve(entries_.size());
  // At tens of thousands of keys each key's slot is a wait on memory: it is asked for a few keys
  // ahead of the key's filing.
  constexpr std::size_t kAhead = 16;
  std::uint32_t ahead[kAhead];
  auto request = [this, hashes, &ahead](std::size_t i) {
    ahead[i % kAhead] = hashes != nullptr ? hashes[i] : runtime::SlotIndex::hashOf(entries_[i].key);
    keys_.prefetch(ahead[i % kAhead]);
  };
  for (std::size_t i = 0; i < kAhead && i < entries_.size(); ++i) request(i);
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    const std::uint32_t hash = ahead[i % kAhead];
    if (i + kAhead < entries_.size()) request(i + kAhead);
    keys_.insert(entries_[i].key, hash, static_cast<std::int32_t>(i), keyAt());
  }
}

inline std::size_t StoreEntryList::putProbed(const runtime::SlotIndex::Probe& at, Text&& key, Text&& value,
                                             std::uint32_t hash) noexcept {
  if (at.found != runtime::SlotIndex::kAbsent) {
    const auto existing = static_cast<std::size_t>(at.found);
    StoreEntry& entry = entries_[existing];
    noteChanged(existing);
    if (savepoints_ > 0) overwritten_.emplace_back(at.found, entry.deleted, std::move(entry.value));
    entry.value = std::move(value);
    entry.deleted = false;
    return existing;
  }
  const std::size_t appended = entries_.size();
  noteChanged(appended);
  const bool inOrder = order_.size() == appended &&
                       (appended == 0 || keyBefore(entries_[static_cast<std::size_t>(order_.back())].key, key));
  entries_.push_back({std::move(key), std::move(value), false});
  keys_.fill(at, hash, static_cast<std::int32_t>(appended));
  if (inOrder) order_.push_back(static_cast<std::int32_t>(appended));
  return appended;
}

std::size_t StoreEntryList::put(Text&& key, Text&& value) {
  keys_.reserve(keys_.size() + 1);
  const std::uint32_t hash = runtime::SlotIndex::hashOf(key);
  return putHashed(std::move(key), std::move(value), hash);
}

void StoreEntryList::makeRoom(std::size_t puts, bool appending) {
  if (appending) {
    // A file written in key order keeps its order settled as it is read, as far as it goes.
    if (order_.size() == entries_.size()) reserveMore(order_, puts);
    reserveMore(entries_, puts);
  }
  // noteChanged keeps no more indexes than the list has entries.
  const std::size_t most = entries_.size() + (appending ? puts : 0);
  if (!allChanged_ && changed_.size() < most) reserveMore(changed_, std::min(puts, most - changed_.size()));
  if (savepoints_ > 0) reserveMore(overwritten_, puts);
}

std::size_t StoreEntryList::putHashed(Text&& key, Text&& value, std::uint32_t hash) {
  const runtime::SlotIndex::Probe at = keys_.probe(key, hash, keyAt());
  const bool appending = at.found == runtime::SlotIndex::kAbsent;
  if (!roomForOne(appending)) makeRoom(1, appending);
  return putProbed(at, std::move(key), std::move(value), hash);
}

void StoreEntryList::assign(std::vector<StoreEntry> entries) {
  replaceAll(std::move(entries), nullptr);
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (i > 0 && !keyBefore(entries_[i - 1].key, entries_[i].key)) break;
    order_.push_back(static_cast<std::int32_t>(i));
  }
}

void StoreEntryList::assignAscending(std::vector<StoreEntry> entries, const std::vector<std::uint32_t>& hashes) {
  replaceAll(std::move(entries), hashes.data());
  order_.resize(entries_.size());
  std::iota(order_.begin(), order_.end(), 0);
}

void StoreEntryList::sortTail(std::vector<std::int32_t>& order) const {
  auto less = [this](std::int32_t a, std::int32_t b) {
    const int c =
        std::string_view(entries_[static_cast<std::size_t>(a)].key).compare(entries_[static_cast<std::size_t>(b)].key);
    return c != 0 ? c < 0 : a < b;
  };
  const std::size_t known = order.size();
  for (std::size_t i = known; i < entries_.size(); ++i) order.push_back(static_cast<std::int32_t>(i));
  const auto middle = order.begin() + static_cast<std::ptrdiff_t>(known);
  std::sort(middle, order.end(), less);
  if (known > 0 && middle != order.end() && less(*middle, *(middle - 1))) {
    std::inplace_merge(order.begin(), middle, order.end(), less);
  }
}

const std::vector<std::int32_t>& StoreEntryList::keyOrder(std::vector<std::int32_t>& scratch) const {
  if (order_.size() == entries_.size()) return order_;
  scratch.reserve(entries_.size());
  scratch.assign(order_.begin(), order_.end());
  sortTail(scratch);
  return scratch;
}

void StoreEntryList::noteChanged(std::size_t index) noexcept {
  if (allChanged_) return;
  // Past the list's own size, checking every entry costs no more than checking the changes.
  if (changed_.size() >= entries_.size()) {
    allChanged_ = true;
    return;
  }
  changed_.push_back(static_cast<std::int32_t>(index));
}

const std::vector<std::int32_t>* StoreEntryList::changedSinceChecked() const {
  return allChanged_ ? nullptr : &changed_;
}

void StoreEntryList::markChecked() {
  changed_.clear();
  allChanged_ = false;
  ++checks_;
}

void StoreEntryList::settleKeyOrder() {
  if (order_.size() == entries_.size()) return;
  // Room first: an order left half extended would no longer be sorted.
  order_.reserve(entries_.size());
  sortTail(order_);
}

StoreEntryList::Savepoint StoreEntryList::openSavepoint() noexcept {
  ++savepoints_;
  return {entries_.size(), changed_.size(), overwritten_.size(), checks_, allChanged_};
}

void StoreEntryList::keepSavepoint(const Savepoint& /*point*/) noexcept {
  if (--savepoints_ == 0) overwritten_.clear();
}

void StoreEntryList::rollBack(const Savepoint& point) noexcept {
  // The latest overwrite first, so that the value at the savepoint is the one left.
  while (overwritten_.size() > point.overwritten) {
    Overwritten& last = overwritten_.back();
    StoreEntry& entry = entries_[static_cast<std::size_t>(last.index)];
    entry.value = std::move(last.value);
    entry.deleted = last.deleted;
    overwritten_.pop_back();
  }
  if (entries_.size() > point.entries) {
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(point.entries), entries_.end());
    // The table is at least as large as it was and refiling allocates nothing; the keys appended
    // since may have moved others when it grew, so every key is filed again.
    keys_.clear();
    indexAll(nullptr);
  }
  // Without a sort since, the order is what it was with the appended entries after it.
  const auto appended = [&point](std::int32_t i) { return static_cast<std::size_t>(i) >= point.entries; };
  order_.erase(std::remove_if(order_.begin(), order_.end(), appended), order_.end());
  if (point.checks == checks_) {
    changed_.resize(std::min(changed_.size(), point.changed));
    allChanged_ = point.allChanged;
  } else {
    allChanged_ = true;  // checked since: the values put back were not
  }
  keepSavepoint(point);
}

}  // namespace store
