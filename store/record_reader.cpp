// Rebuilding records and edges from their keys; every absence reads as empty or zero. Both ways
// of reading, looking each key up or walking the run of an owner's keys in key order, go through
// the fields of record_layout.hpp.
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

using runtime::startsWith;

// What a stored number or vector value reads as; a missing one reads as the empty text would.
std::int32_t numberOf(const Text* value) {
  return runtime::parseInt(value != nullptr ? std::string_view(*value) : std::string_view());
}
float vectorValueOf(const Text* stored) { return static_cast<float>(numberOf(stored)) / kVectorScale; }

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
    key_.assign(owner).append("/").append(kIdName);
    const std::int32_t anchor = entries_.find(key_);
    key_.resize(owner.size() + 1);
    range_ = anchor >= 0 ? entries_.keysWithPrefixAround(key_, static_cast<std::size_t>(anchor), *all)
                         : entries_.keysWithPrefix(key_, *all);
  }

  // The live value under the key made of the parts, or null.
  template <class... Parts>
  const Text* find(const Parts&... parts) {
    key_.clear();
    (key_.append(std::string_view(parts)), ...);
    const std::int32_t i = inScope() ? entries_.findInRange(key_, *range_) : entries_.find(key_);
    if (i < 0) return nullptr;
    const StoreEntry& entry = entries_[static_cast<std::size_t>(i)];
    return entry.deleted ? nullptr : &entry.value;
  }
  template <class... Parts>
  Text text(const Parts&... parts) {
    const Text* value = find(parts...);
    return value != nullptr ? *value : Text();
  }
  template <class... Parts>
  std::int32_t number(const Parts&... parts) {
    return numberOf(find(parts...));
  }
  // The count "<prefix>/count" of a text list, the properties or a vector.
  std::int32_t count(std::string_view prefix) { return number(prefix, "/", kCountWord); }
  // At least the number of keys that begin with "<prefix>/" (marked ones included); the largest
  // size when the reader cannot tell.
  std::size_t keysUnder(std::string_view prefix) {
    key_.assign(prefix).append("/");
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

// The slot keys "<prefix>/<n>..." that can still be found: every key under the prefix except its
// count, less those already found.
class SlotBudget {
 public:
  SlotBudget(KeyReader& reader, std::string_view prefix) : left_(reader.keysUnder(prefix)) {
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

// Properties "<prefix>/<n>/key" and "<prefix>/<n>/value": a missing key or value reads as "", a
// slot is always appended.
std::vector<Property> lookUpProperties(KeyReader& reader, std::string_view prefix) {
  std::vector<Property> properties;
  const std::int32_t n = reader.count(prefix);
  if (n <= 0) return properties;
  SlotBudget budget(reader, prefix);
  for (std::int32_t i = 0; i < n && i < kMaxPropertySlots; ++i) {
    Property property;
    if (!budget.exhausted()) {
      const Text slot = std::to_string(i);
      if (const Text* key = budget.take(reader.find(prefix, "/", slot, "/", kPropertyKeyWord))) property.key = *key;
      if (const Text* value = budget.take(reader.find(prefix, "/", slot, "/", kPropertyValueWord))) {
        property.value = *value;
      }
    }
    properties.push_back(std::move(property));
  }
  return properties;
}

// The text list "<prefix>": its count and the items "<prefix>/<n>".
std::vector<Text> lookUpList(KeyReader& reader, std::string_view prefix) {
  std::vector<Text> items;
  const std::int32_t n = reader.count(prefix);
  if (n <= 0) return items;
  SlotBudget budget(reader, prefix);
  for (std::int32_t i = 0; i < n && i < kMaxListSlots && !budget.exhausted(); ++i) {
    if (const Text* item = budget.take(reader.find(prefix, "/", std::to_string(i))); item != nullptr) {
      items.push_back(*item);
    }
  }
  return items;
}

// The vector "<prefix>": its count and the scaled values "<prefix>/<n>"; a missing value reads
// as 0.
std::vector<float> lookUpVector(KeyReader& reader, std::string_view prefix) {
  std::vector<float> values;
  const std::int32_t n = reader.count(prefix);
  if (n <= 0) return values;
  SlotBudget budget(reader, prefix);
  values.reserve(static_cast<std::size_t>(std::min(n, kMaxListSlots)));
  for (std::int32_t i = 0; i < n && i < kMaxListSlots; ++i) {
    const Text* stored = budget.exhausted() ? nullptr : budget.take(reader.find(prefix, "/", std::to_string(i)));
    values.push_back(vectorValueOf(stored));
  }
  return values;
}

// The owner's fields, each key looked up.
template <class Owner>
Owner lookUpOwner(const StoreState& state, const Text& owner, std::span<const Field<Owner>> fields) {
  KeyReader reader(state, owner);
  if (reader.find(owner, "/", fields.front().name) == nullptr) return {};
  Owner item;
  for (const Field<Owner>& field : fields) {
    const Text prefix = fieldKey(owner, field.name);
    switch (field.kind) {
      case FieldKind::kText:
        item.*field.text = reader.text(prefix);
        break;
      case FieldKind::kNumber:
        item.*field.number = reader.number(prefix);
        break;
      case FieldKind::kTextList:
        item.*field.list = lookUpList(reader, prefix);
        break;
      case FieldKind::kProperties:
        item.*field.properties = lookUpProperties(reader, prefix);
        break;
      case FieldKind::kVector:
        item.*field.values = lookUpVector(reader, prefix);
        break;
    }
  }
  return item;
}

// What the reading of one owner's run of keys keeps per field, reused from one owner to the next:
// the entry of a text or a number, or the count's of the other kinds, and the slots found.
struct RunSlots {
  struct Slot {
    std::int32_t number;
    const StoreEntry* entry;
  };

  void clear() {
    std::fill(std::begin(first), std::end(first), nullptr);
    for (std::vector<Slot>& slots : items) slots.clear();
    for (std::vector<Slot>& slots : values) slots.clear();
  }

  const StoreEntry* first[kMaxOwnerFields] = {};
  // The slots of a list's items, a vector's values or the properties' keys.
  std::vector<Slot> items[kMaxOwnerFields];
  // The slots of the properties' values.
  std::vector<Slot> values[kMaxOwnerFields];
};

// One owner read in a single pass over the run of its keys in the key order, as a file read in
// key order leaves them: each key is matched to the field it holds instead of every field being
// searched for, and as the keys come in key order, the fields are met in theirs (see
// fieldsInKeyOrder), each passed once. It gives the same owner as the lookups: the first entry of
// a key decides, a marked one reads as missing, and only the slots the lookups would ask for are
// taken.
template <class Owner>
class FieldRun {
 public:
  using Slot = RunSlots::Slot;

  FieldRun(const OwnerLayout<Owner>& layout, RunSlots& slots)
      : fields_(layout.fields), keyOrder_(layout.keyOrder), slots_(slots) {
    slots_.clear();
  }

  // Files the entry under the field that its key's name (the part after "<owner>/") belongs to.
  // The names come in key order.
  void sort(std::string_view name, const StoreEntry& entry) {
    for (; next_ < keyOrder_.size(); ++next_) {
      const std::size_t f = keyOrder_[next_];
      const Field<Owner>& field = fields_[f];
      switch (placeName(name, field)) {
        case NamePlace::kBefore:
          return;  // the key of no field
        case NamePlace::kWithin:
          if (!hasSlots(field)) return first(slots_.first[f], entry);
          return sortSlot(f, name.substr(field.name.size() + 1), entry);
        case NamePlace::kAfter:
          break;
      }
    }
  }

  Owner build() {
    const Text* id = live(slots_.first[0]);
    if (id == nullptr) return {};
    Owner item;
    for (std::size_t f = 0; f < fields_.size(); ++f) {
      const Field<Owner>& field = fields_[f];
      switch (field.kind) {
        case FieldKind::kText:
          if (const Text* value = live(slots_.first[f])) item.*field.text = *value;
          break;
        case FieldKind::kNumber:
          item.*field.number = number(slots_.first[f]);
          break;
        case FieldKind::kTextList:
          item.*field.list = textList(f);
          break;
        case FieldKind::kProperties:
          item.*field.properties = properties(f);
          break;
        case FieldKind::kVector:
          item.*field.values = vectorValues(f);
          break;
      }
    }
    return item;
  }

 private:
  static const Text* live(const StoreEntry* entry) {
    return entry != nullptr && !entry->deleted ? &entry->value : nullptr;
  }
  static std::int32_t number(const StoreEntry* entry) { return numberOf(live(entry)); }
  // The first entry of a key decides; repeated keys stand together in the order.
  static void first(const StoreEntry*& slot, const StoreEntry& entry) {
    if (slot == nullptr) slot = &entry;
  }
  static void add(std::vector<Slot>& slots, std::int32_t number, const StoreEntry& entry) {
    if (number >= 0 && (slots.empty() || slots.back().number != number)) slots.push_back({number, &entry});
  }

  // A key "<name>/<rest>" of the field: its count, or one of its slots.
  void sortSlot(std::size_t f, std::string_view rest, const StoreEntry& entry) {
    if (rest == kCountWord) return first(slots_.first[f], entry);
    if (fields_[f].kind != FieldKind::kProperties) return add(slots_.items[f], slotNumber(rest, kMaxListSlots), entry);
    const std::size_t slash = rest.find('/');
    if (slash == std::string_view::npos) return;
    const std::int32_t slot = slotNumber(rest.substr(0, slash), kMaxPropertySlots);
    if (rest.substr(slash + 1) == kPropertyKeyWord) add(slots_.items[f], slot, entry);
    if (rest.substr(slash + 1) == kPropertyValueWord) add(slots_.values[f], slot, entry);
  }

  // A text list closes up over missing items, in slot order.
  std::vector<Text> textList(std::size_t f) {
    std::vector<Text> items;
    const std::int32_t n = number(slots_.first[f]);
    if (live(slots_.first[f]) == nullptr || n <= 0) return items;
    std::vector<Slot>& slots = slots_.items[f];
    std::sort(slots.begin(), slots.end(), [](const Slot& a, const Slot& b) { return a.number < b.number; });
    for (const Slot& slot : slots) {
      if (slot.number >= n) break;
      if (const Text* item = live(slot.entry)) items.push_back(*item);
    }
    return items;
  }

  // Properties keep every slot up to the count; a missing key or value reads as "".
  std::vector<Property> properties(std::size_t f) const {
    std::vector<Property> properties;
    const std::int32_t n = std::min(number(slots_.first[f]), kMaxPropertySlots);
    if (n <= 0) return properties;
    properties.resize(static_cast<std::size_t>(n));
    fillProperties(properties, slots_.items[f], &Property::key);
    fillProperties(properties, slots_.values[f], &Property::value);
    return properties;
  }

  // Sets the member of each property whose slot holds a live entry.
  static void fillProperties(std::vector<Property>& properties, const std::vector<Slot>& slots,
                             Text Property::*member) {
    for (const Slot& slot : slots) {
      const Text* text = live(slot.entry);
      if (text != nullptr && static_cast<std::size_t>(slot.number) < properties.size()) {
        properties[static_cast<std::size_t>(slot.number)].*member = *text;
      }
    }
  }

  // A vector keeps every slot up to the count; a missing value reads as 0.
  std::vector<float> vectorValues(std::size_t f) const {
    std::vector<float> values;
    const std::int32_t n = std::min(number(slots_.first[f]), kMaxListSlots);
    if (n <= 0) return values;
    values.assign(static_cast<std::size_t>(n), 0.0f);
    for (const Slot& slot : slots_.items[f]) {
      if (slot.number < n) values[static_cast<std::size_t>(slot.number)] = vectorValueOf(live(slot.entry));
    }
    return values;
  }

  std::span<const Field<Owner>> fields_;
  std::span<const std::uint8_t> keyOrder_;
  std::size_t next_ = 0;  // in keyOrder_: the fields before it lie before the keys to come
  RunSlots& slots_;
};

// The position in the key order of the first key that begins with `under`, found from the entry
// at `index`, which holds one of them. Where the entry stands at its own position in the order (a
// state read from a file in key order), the search steps back key by key: the keys of one owner
// stand together, and its reader goes through each of them anyway.
std::size_t runStart(const StoreEntryList& entries, const std::vector<std::int32_t>& order, std::size_t index,
                     std::string_view under) {
  if (index >= order.size() || static_cast<std::size_t>(order[index]) != index) {
    return entries.keysWithPrefixAround(under, index, *entries.orderedKeys()).first;
  }
  std::size_t first = index;
  while (first > 0 && startsWith(entries[static_cast<std::size_t>(order[first - 1])].key, under)) --first;
  return first;
}

}  // namespace

// The memory the reading of one owner needs, kept for the next.
struct OwnerReader::Scratch {
  Text key;
  RunSlots slots;
  std::vector<std::int32_t> order;  // unused while the state's key order is settled
};

OwnerReader::OwnerReader(const StoreState& state) : state_(state), scratch_(std::make_unique<Scratch>()) {}

OwnerReader::~OwnerReader() = default;

template <class Owner>
std::int32_t OwnerReader::idEntry(const OwnerLayout<Owner>& layout, const Text& id) {
  Text& key = scratch_->key;
  key.assign(layout.stem).append(id).append("/").append(layout.fields.front().name);
  return state_.entries.find(key);
}

// Read in one pass over the owner's keys when the key order is settled, through the lookups
// otherwise.
template <class Owner>
Owner OwnerReader::read(const OwnerLayout<Owner>& layout, const Text& id, std::int32_t idEntry) {
  if (idEntry < 0) return {};
  const StoreEntryList& entries = state_.entries;
  Text& key = scratch_->key;
  key.assign(layout.stem).append(id);
  if (!entries.orderedKeys().has_value()) return lookUpOwner(state_, key, layout.fields);
  key.append("/");
  const std::size_t under = key.size();
  const std::vector<std::int32_t>& order = entries.keyOrder(scratch_->order);
  FieldRun<Owner> run(layout, scratch_->slots);
  // The keys' bytes lie apart from the entries: each is asked for a few keys ahead of its reading.
  constexpr std::size_t kAhead = 4;
  for (std::size_t position = runStart(entries, order, static_cast<std::size_t>(idEntry), key); position < order.size();
       ++position) {
    if (position + kAhead < order.size()) {
      __builtin_prefetch(entries[static_cast<std::size_t>(order[position + kAhead])].key.data());
    }
    const StoreEntry& entry = entries[static_cast<std::size_t>(order[position])];
    if (!startsWith(entry.key, key)) break;
    run.sort(std::string_view(entry.key).substr(under), entry);
  }
  return run.build();
}

template std::int32_t OwnerReader::idEntry(const OwnerLayout<Record>&, const Text&);
template std::int32_t OwnerReader::idEntry(const OwnerLayout<Edge>&, const Text&);
template Record OwnerReader::read(const OwnerLayout<Record>&, const Text&, std::int32_t);
template Edge OwnerReader::read(const OwnerLayout<Edge>&, const Text&, std::int32_t);

std::vector<Text> readTextList(const StoreState& state, const Text& prefix) {
  KeyReader reader(state, prefix);
  return lookUpList(reader, prefix);
}

Record readRecord(const Database& database, const Text& id) {
  OwnerReader reader(database.store);
  return reader.read(kRecordLayout, id, reader.idEntry(kRecordLayout, id));
}

Edge readEdge(const Database& database, const Text& id) {
  OwnerReader reader(database.store);
  return reader.read(kEdgeLayout, id, reader.idEntry(kEdgeLayout, id));
}

}  // namespace store
