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

// A slot number as the writers spell it (decimal digits, no leading zero) and below the limit
// of slots read; -1 for anything else, which no slot lookup would ask for.
std::int32_t slotNumber(std::string_view text, std::int32_t limit) {
  if (text.empty() || text.size() > 5 || (text.size() > 1 && text[0] == '0')) return -1;
  std::int32_t n = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return -1;
    n = n * 10 + (c - '0');
  }
  return n < limit ? n : -1;
}

// One record read in a single pass over the run of its keys in the key order, as a file read in
// key order leaves them: each key is matched to the field it holds instead of every field being
// searched for. It gives the same record as the lookups: the first entry of a key decides, a
// marked one reads as missing, and only the slots the lookups would ask for are taken.
class RecordRun {
 public:
  RecordRun(const StoreEntryList& entries, const std::vector<std::int32_t>& order, StoreEntryList::KeyRange run,
            std::size_t ownerLength) {
    for (std::size_t position = run.first; position < run.last; ++position) {
      const StoreEntry& entry = entries[static_cast<std::size_t>(order[position])];
      sort(std::string_view(entry.key).substr(ownerLength + 1), entry);
    }
  }

  Record record() {
    const Text* id = live(fields_[0]);
    if (id == nullptr) return {};
    Record record;
    record.id = *id;
    Text* texts[] = {&record.tenant,  &record.space,          &record.container, &record.kind,
                     &record.content, &record.classification, &record.lifecycle, &record.purpose};
    for (std::size_t i = 0; i < std::size(texts); ++i) {
      if (const Text* value = live(fields_[1 + i])) *texts[i] = *value;
    }
    record.created = number(fields_[9]);
    record.updated = number(fields_[10]);
    record.expires = number(fields_[11]);
    std::vector<Text>* lists[] = {&record.permissions, &record.compartments, &record.provenance, &record.contentRefs};
    for (std::size_t l = 0; l < std::size(lists); ++l) *lists[l] = textList(l);
    const std::int32_t properties = std::min(number(propertyCount_), kMaxPropertySlots);
    if (properties > 0) {
      record.properties.resize(static_cast<std::size_t>(properties));
      for (const Slot& slot : propertyKeys_) {
        if (slot.number < properties && live(slot.entry) != nullptr) {
          record.properties[static_cast<std::size_t>(slot.number)].key = *live(slot.entry);
        }
      }
      for (const Slot& slot : propertyValues_) {
        if (slot.number < properties && live(slot.entry) != nullptr) {
          record.properties[static_cast<std::size_t>(slot.number)].value = *live(slot.entry);
        }
      }
    }
    const std::int32_t values = std::min(number(vectorCount_), kMaxListSlots);
    if (values > 0) {
      record.vector.assign(static_cast<std::size_t>(values), 0.0f);
      for (const Slot& slot : vectorItems_) {
        if (slot.number < values) record.vector[static_cast<std::size_t>(slot.number)] = scaled(slot.entry);
      }
    }
    return record;
  }

 private:
  struct Slot {
    std::int32_t number;
    const StoreEntry* entry;
  };
  static constexpr std::string_view kFields[] = {"id",      "tenant",  "space",          "container",
                                                 "kind",    "content", "classification", "lifecycle",
                                                 "purpose", "created", "updated",        "expires"};
  static constexpr std::string_view kLists[] = {"permissions/", "compartments/", "provenance/", "content-refs/"};

  static const Text* live(const StoreEntry* entry) {
    return entry != nullptr && !entry->deleted ? &entry->value : nullptr;
  }
  static std::int32_t number(const StoreEntry* entry) {
    const Text* value = live(entry);
    return parseInt(value != nullptr ? std::string_view(*value) : std::string_view());
  }
  static float scaled(const StoreEntry* entry) { return static_cast<float>(number(entry)) / kVectorScale; }
  // The first entry of a key decides; repeated keys stand together in the order.
  static void first(const StoreEntry*& slot, const StoreEntry& entry) {
    if (slot == nullptr) slot = &entry;
  }
  static void add(std::vector<Slot>& slots, std::int32_t number, const StoreEntry& entry) {
    if (number >= 0 && (slots.empty() || slots.back().number != number)) slots.push_back({number, &entry});
  }

  void sort(std::string_view name, const StoreEntry& entry) {
    for (std::size_t f = 0; f < std::size(kFields); ++f) {
      if (name == kFields[f]) return first(fields_[f], entry);
    }
    for (std::size_t l = 0; l < std::size(kLists); ++l) {
      if (name.substr(0, kLists[l].size()) == kLists[l]) {
        const std::string_view rest = name.substr(kLists[l].size());
        if (rest == "count") return first(listCounts_[l], entry);
        return add(listItems_[l], slotNumber(rest, kMaxListSlots), entry);
      }
    }
    if (name.substr(0, 11) == "properties/") {
      const std::string_view rest = name.substr(11);
      if (rest == "count") return first(propertyCount_, entry);
      const std::size_t slash = rest.find('/');
      if (slash == std::string_view::npos) return;
      const std::int32_t slot = slotNumber(rest.substr(0, slash), kMaxPropertySlots);
      if (rest.substr(slash + 1) == "key") add(propertyKeys_, slot, entry);
      if (rest.substr(slash + 1) == "value") add(propertyValues_, slot, entry);
      return;
    }
    if (name.substr(0, 7) == "vector/") {
      const std::string_view rest = name.substr(7);
      if (rest == "count") return first(vectorCount_, entry);
      add(vectorItems_, slotNumber(rest, kMaxListSlots), entry);
    }
  }

  // A text list closes up over missing items, in slot order.
  std::vector<Text> textList(std::size_t l) {
    std::vector<Text> items;
    const std::int32_t n = number(listCounts_[l]);
    if (live(listCounts_[l]) == nullptr || n <= 0) return items;
    std::vector<Slot>& slots = listItems_[l];
    std::sort(slots.begin(), slots.end(), [](const Slot& a, const Slot& b) { return a.number < b.number; });
    for (const Slot& slot : slots) {
      if (slot.number >= n) break;
      if (const Text* item = live(slot.entry)) items.push_back(*item);
    }
    return items;
  }

  const StoreEntry* fields_[std::size(kFields)] = {};
  const StoreEntry* listCounts_[std::size(kLists)] = {};
  std::vector<Slot> listItems_[std::size(kLists)];
  const StoreEntry* propertyCount_ = nullptr;
  std::vector<Slot> propertyKeys_;
  std::vector<Slot> propertyValues_;
  const StoreEntry* vectorCount_ = nullptr;
  std::vector<Slot> vectorItems_;
};

}  // namespace

std::vector<Text> readTextList(const StoreState& state, const Text& prefix) {
  KeyReader reader(state, prefix);
  return readList(reader, prefix, "");
}

Record readRecord(const Database& database, const Text& id) {
  const Text prefix = "record/" + id;
  const StoreEntryList& entries = database.store.entries;
  if (const auto all = entries.orderedKeys(); all.has_value()) {
    const std::int32_t idEntry = entries.find(prefix + "/id");
    if (idEntry < 0) return {};
    const Text owner = prefix + "/";
    std::vector<std::int32_t> unused;
    return RecordRun(entries, entries.keyOrder(unused),
                     entries.keysWithPrefixAround(owner, static_cast<std::size_t>(idEntry), *all), prefix.size())
        .record();
  }
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
      record.vector.push_back(static_cast<float>(scaled) / kVectorScale);
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
