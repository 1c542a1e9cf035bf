// The entry list's hash index and key order, both kept up to date by the list's writers.
#include "store/store_entry_list.hpp"

#include <algorithm>
#include <functional>
#include <utility>

namespace store {

namespace {

std::uint32_t hashKey(std::string_view key) {
  const std::size_t h = std::hash<std::string_view>{}(key);
  return static_cast<std::uint32_t>(h ^ (h >> 32));
}

// std::string_view compares characters as unsigned bytes, and a prefix before its extensions.
bool keyBefore(std::string_view a, std::string_view b) { return a.compare(b) < 0; }

bool startsWith(std::string_view key, std::string_view prefix) { return key.substr(0, prefix.size()) == prefix; }

}  // namespace

std::int32_t StoreEntryList::find(std::string_view key) const {
  if (slots_.empty()) return -1;
  const std::uint32_t hash = hashKey(key);
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    const Slot& slot = slots_[i];
    if (slot.index < 0) return -1;
    if (slot.hash == hash && entries_[static_cast<std::size_t>(slot.index)].key == key) return slot.index;
  }
}

std::size_t StoreEntryList::countWithPrefix(std::string_view prefix) const {
  auto keyOf = [this](std::int32_t i) -> std::string_view { return entries_[static_cast<std::size_t>(i)].key; };
  const auto first =
      std::partition_point(order_.begin(), order_.end(), [&](std::int32_t i) { return keyBefore(keyOf(i), prefix); });
  const auto last =
      std::partition_point(first, order_.end(), [&](std::int32_t i) { return startsWith(keyOf(i), prefix); });
  auto count = static_cast<std::size_t>(last - first);
  for (std::size_t i = order_.size(); i < entries_.size(); ++i) {
    if (startsWith(entries_[i].key, prefix)) ++count;
  }
  return count;
}

void StoreEntryList::growTable(std::size_t count) {
  std::size_t capacity = 64;
  while (capacity < count * 2) capacity *= 2;
  if (capacity <= slots_.size()) return;
  slots_.assign(capacity, Slot{});
  for (std::size_t i = 0; i < entries_.size(); ++i) index(i, hashKey(entries_[i].key));
}

void StoreEntryList::index(std::size_t index, std::uint32_t hash) {
  const std::string_view key = entries_[index].key;
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    Slot& slot = slots_[i];
    if (slot.index < 0) {
      slot = {hash, static_cast<std::int32_t>(index)};
      return;
    }
    if (slot.hash == hash && entries_[static_cast<std::size_t>(slot.index)].key == key) return;
  }
}

void StoreEntryList::reserve(std::size_t count) {
  entries_.reserve(count);
  order_.reserve(count);
  growTable(count);
}

std::size_t StoreEntryList::put(Text&& key, Text&& value) {
  growTable(entries_.size() + 1);
  const std::uint32_t hash = hashKey(key);
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    Slot& slot = slots_[i];
    if (slot.index < 0) {
      const std::size_t appended = entries_.size();
      slot = {hash, static_cast<std::int32_t>(appended)};
      // A file written in key order keeps its order settled as it is read.
      const bool inOrder = order_.size() == appended &&
                           (appended == 0 || keyBefore(entries_[static_cast<std::size_t>(order_.back())].key, key));
      entries_.push_back({std::move(key), std::move(value), false});
      if (inOrder) order_.push_back(static_cast<std::int32_t>(appended));
      return appended;
    }
    if (slot.hash == hash && entries_[static_cast<std::size_t>(slot.index)].key == key) {
      StoreEntry& existing = entries_[static_cast<std::size_t>(slot.index)];
      existing.value = std::move(value);
      existing.deleted = false;
      return static_cast<std::size_t>(slot.index);
    }
  }
}

void StoreEntryList::assign(std::vector<StoreEntry> entries) {
  entries_ = std::move(entries);
  slots_.clear();
  order_.clear();
  if (entries_.empty()) return;
  growTable(entries_.size());
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (i > 0 && !keyBefore(entries_[i - 1].key, entries_[i].key)) break;
    order_.push_back(static_cast<std::int32_t>(i));
  }
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

void StoreEntryList::settleKeyOrder() {
  if (order_.size() != entries_.size()) sortTail(order_);
}

}  // namespace store
