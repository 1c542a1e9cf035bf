// Rebuilding records and edges from their keys; every absence reads as empty or zero.
#include "store/record_reader.hpp"

#include <algorithm>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "store/record_keys.hpp"

namespace store {

namespace {

using runtime::parseInt;

constexpr std::int32_t kMaxListSlots = 4096;
constexpr std::int32_t kMaxPropertySlots = 256;

// Looks keys up through one reused buffer: open reads tens of thousands of keys, and building
// each in a fresh text costs more than the lookup. Keys are the same bytes as their templates.
// A reader scoped to a prefix (a record's "record/<id>/") searches only the keys under it when
// the state's key order is settled, as it is after a snapshot is read; it then also knows how
// many keys a list can have, so that a count far above the items stored does not cost a lookup
// per slot.
class KeyReader {
 public:
  // Reads the keys under "<owner>/"; `owner` outlives the reader. The owner's "id" key, when
  // there is one, is where the other keys under it are looked for.
  KeyReader(const StoreState& state, std::string_view owner) : entries_(state.entries), owner_(owner) {
    key_.reserve(128);
    const auto all = entries_.orderedKeys();
    if (!all.has_value()) return;
    key_.assign(owner).append("/id");
    const std::int32_t anchor = entries_.find(key_);
    key_.resize(owner.size() + 1);
    range_ = anchor >= 0 ? entries_.keysWithPrefixAround(key_, static_cast<std::size_t>(anchor), *all)
                         : entries_.keysWithPrefix(key_, *all);
  }

  // The live value under the concatenated key, or null.
  const Text* find(std::string_view a, std::string_view b = {}, std::string_view c = {}, std::string_view d = {}) {
    key_.assign(a).append(b).append(c).append(d);
    const std::int32_t i = inScope() ? entries_.findInRange(key_, *range_) : entries_.find(key_);
    if (i < 0) return nullptr;
    const StoreEntry& entry = entries_[static_cast<std::size_t>(i)];
    return entry.deleted ? nullptr : &entry.value;
  }
  Text text(std::string_view a, std::string_view b = {}, std::string_view c = {}, std::string_view d = {}) {
    const Text* value = find(a, b, c, d);
    return value != nullptr ? *value : Text();
  }
  std::int32_t number(std::string_view a, std::string_view b = {}, std::string_view c = {}, std::string_view d = {}) {
    const Text* value = find(a, b, c, d);
    return parseInt(value != nullptr ? std::string_view(*value) : std::string_view());
  }
  // At least the number of keys that begin with the concatenated prefix (marked ones included);
  // the largest size when the reader cannot tell.
  std::size_t keysUnder(std::string_view a, std::string_view b, std::string_view c) {
    key_.assign(a).append(b).append(c);
    if (!inScope()) return std::numeric_limits<std::size_t>::max();
    return entries_.keysWithPrefix(key_, *range_).size();
  }

 private:
  bool inScope() const {
    return range_.has_value() && key_.size() > owner_.size() && key_.compare(0, owner_.size(), owner_) == 0 &&
           key_[owner_.size()] == '/';
  }

  const StoreEntryList& entries_;
  std::string_view owner_;
  std::optional<StoreEntryList::KeyRange> range_;
  Text key_;
};

// The slot keys "<owner>/<list>/<n>..." that can still be found: every key under the list's
// prefix except its count, less those already found.
class SlotBudget {
 public:
  SlotBudget(KeyReader& reader, std::string_view owner, std::string_view list, std::string_view separator)
      : left_(reader.keysUnder(owner, list, separator)) {
    if (left_ > 0) --left_;  // the count, which the caller found
  }
  bool exhausted() const { return left_ == 0; }
  // Counts a lookup's result against the budget and passes it on.
  const Text* take(const Text* found) {
    if (found != nullptr && left_ > 0) --left_;
    return found;
  }

 private:
  std::size_t left_;
};

// Properties under "<owner>/properties/...": a missing key or value reads as "", a slot is
// always appended.
std::vector<Property> readProperties(KeyReader& reader, const Text& owner) {
  std::vector<Property> properties;
  const std::int32_t n = reader.number(owner, "/properties/count");
  if (n <= 0) return properties;
  SlotBudget budget(reader, owner, "/properties/", "");
  for (std::int32_t i = 0; i < n && i < kMaxPropertySlots; ++i) {
    Property property;
    if (!budget.exhausted()) {
      const Text slot = std::to_string(i);
      if (const Text* key = budget.take(reader.find(owner, "/properties/", slot, "/key"))) property.key = *key;
      if (const Text* value = budget.take(reader.find(owner, "/properties/", slot, "/value"))) property.value = *value;
    }
    properties.push_back(std::move(property));
  }
  return properties;
}

// The text list "<owner><list>": its count and the items "<owner><list>/<n>".
std::vector<Text> readList(KeyReader& reader, std::string_view owner, std::string_view list) {
  std::vector<Text> items;
  const Text* count = reader.find(owner, list, "/count");
  if (count == nullptr) return items;
  const std::int32_t n = parseInt(*count);
  if (n <= 0) return items;
  SlotBudget budget(reader, owner, list, "/");
  for (std::int32_t i = 0; i < n && i < kMaxListSlots && !budget.exhausted(); ++i) {
    if (const Text* item = budget.take(reader.find(owner, list, "/", std::to_string(i))); item != nullptr) {
      items.push_back(*item);
    }
  }
  return items;
}

}  // namespace

std::vector<Text> readTextList(const StoreState& state, const Text& prefix) {
  KeyReader reader(state, prefix);
  return readList(reader, prefix, "");
}

Record readRecord(const Database& database, const Text& id) {
  const Text prefix = "record/" + id;
  KeyReader reader(database.store, prefix);
  const Text* storedId = reader.find(prefix, "/id");
  if (storedId == nullptr) return {};
  Record record;
  record.id = *storedId;
  record.tenant = reader.text(prefix, "/tenant");
  record.space = reader.text(prefix, "/space");
  record.container = reader.text(prefix, "/container");
  record.kind = reader.text(prefix, "/kind");
  record.content = reader.text(prefix, "/content");
  record.classification = reader.text(prefix, "/classification");
  record.lifecycle = reader.text(prefix, "/lifecycle");
  record.purpose = reader.text(prefix, "/purpose");
  record.created = reader.number(prefix, "/created");
  record.updated = reader.number(prefix, "/updated");
  record.expires = reader.number(prefix, "/expires");
  record.permissions = readList(reader, prefix, "/permissions");
  record.compartments = readList(reader, prefix, "/compartments");
  record.provenance = readList(reader, prefix, "/provenance");
  record.contentRefs = readList(reader, prefix, "/content-refs");
  record.properties = readProperties(reader, prefix);

  const std::int32_t n = reader.number(prefix, "/vector/count");
  if (n > 0) {
    SlotBudget budget(reader, prefix, "/vector/", "");
    record.vector.reserve(static_cast<std::size_t>(std::min(n, kMaxListSlots)));
    for (std::int32_t i = 0; i < n && i < kMaxListSlots; ++i) {
      const Text* stored =
          budget.exhausted() ? nullptr : budget.take(reader.find(prefix, "/vector/", std::to_string(i)));
      const std::int32_t scaled = parseInt(stored != nullptr ? std::string_view(*stored) : std::string_view());
      record.vector.push_back(static_cast<float>(scaled) / 1000000.0f);
    }
  }
  return record;
}

Edge readEdge(const Database& database, const Text& id) {
  const Text prefix = "edge/" + id;
  KeyReader reader(database.store, prefix);
  const Text* storedId = reader.find(prefix, "/id");
  if (storedId == nullptr) return {};
  Edge edge;
  edge.id = *storedId;
  edge.tenant = reader.text(prefix, "/tenant");
  edge.from = reader.text(prefix, "/from");
  edge.to = reader.text(prefix, "/to");
  edge.kind = reader.text(prefix, "/kind");
  edge.created = reader.number(prefix, "/created");
  edge.properties = readProperties(reader, prefix);
  return edge;
}

}  // namespace store
