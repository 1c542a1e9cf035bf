// Writing records and edges under their keys, and the key builders shared with the readers.
#include "store/record_keys.hpp"

#include <cmath>
#include <limits>
#include <utility>

#include "store/database_rollback.hpp"

namespace store {

using runtime::intToText;

// Keys are built by concatenation: the same bytes as filling their templates, without the
// template scan, which matters when open rebuilds tens of thousands of keys.
Text ownerKey(std::string_view stem, std::string_view id) {
  Text key;
  key.reserve(stem.size() + id.size());
  return key.append(stem).append(id);
}

Text fieldKey(std::string_view owner, std::string_view name) {
  Text key;
  key.reserve(owner.size() + 1 + name.size());
  return key.append(owner).append("/").append(name);
}

Text recordKey(std::string_view id, std::string_view field) {
  return fieldKey(ownerKey(kRecordLayout.stem, id), field);
}

Text edgeKey(std::string_view id, std::string_view field) { return fieldKey(ownerKey(kEdgeLayout.stem, id), field); }

std::int32_t scaleVectorValue(float value) {
  const float product = value * kVectorScale;
  if (std::isnan(product)) return 0;
  const float rounded = std::round(product);  // halves away from zero
  if (rounded >= 2147483648.0f) return std::numeric_limits<std::int32_t>::max();
  if (rounded < -2147483648.0f) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(rounded);
}

std::int32_t slotNumber(std::string_view text, std::int32_t limit) {
  if (text.empty() || text.size() > 5 || (text.size() > 1 && text[0] == '0')) return -1;
  std::int32_t n = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return -1;
    n = n * 10 + (c - '0');
  }
  return n < limit ? n : -1;
}

std::int32_t nextCatalogSlot(const StoreState& state, const Text& countKey, std::size_t listLength) {
  const StoreLookup stored = storeGet(state, countKey);
  const std::int64_t storedCount = stored.found ? runtime::parseInt(stored.value) : 0;
  const std::int64_t listSlot = static_cast<std::int64_t>(listLength) - 1;
  const std::int64_t slot = storedCount > listSlot ? storedCount : listSlot;
  // A slot at or past the walk limit would be written but never read back.
  if (slot < 0 || slot >= kMaxCatalogSlots) return -1;
  return static_cast<std::int32_t>(slot);
}

namespace {

// "<prefix>/count": the number of items of a text list, the properties or a vector.
bool putCount(StoreState& state, const Text& prefix, std::size_t count) {
  return storePut(state, fieldKey(prefix, kCountWord), intToText(static_cast<std::int32_t>(count)));
}

}  // namespace

bool putTextList(StoreState& state, const Text& prefix, const std::vector<Text>& items) {
  if (!putCount(state, prefix, items.size())) return false;
  for (std::size_t n = 0; n < items.size(); ++n) {
    if (!storePut(state, fieldKey(prefix, std::to_string(n)), items[n])) return false;
  }
  return true;
}

std::int32_t findRecordIndex(const Database& database, const Text& id) {
  for (std::size_t i = 0; i < database.records.size(); ++i) {
    if (database.records[i].id == id) return static_cast<std::int32_t>(i);
  }
  return -1;
}

namespace {

// The count "<prefix>/count", even after a refused write; then the properties
// "<prefix>/<n>/key" and "<prefix>/<n>/value" while all is well.
bool putProperties(StoreState& state, const Text& prefix, const std::vector<Property>& properties, bool stored) {
  stored = putCount(state, prefix, properties.size()) && stored;
  for (std::size_t n = 0; stored && n < properties.size(); ++n) {
    const Text property = fieldKey(prefix, std::to_string(n));
    stored = storePut(state, fieldKey(property, kPropertyKeyWord), properties[n].key) &&
             storePut(state, fieldKey(property, kPropertyValueWord), properties[n].value);
  }
  return stored;
}

// The count "<prefix>/count", even after a refused write; then each value "<prefix>/<n>",
// scaled, while all is well.
bool putVector(StoreState& state, const Text& prefix, const std::vector<float>& values, bool stored) {
  stored = putCount(state, prefix, values.size()) && stored;
  for (std::size_t n = 0; stored && n < values.size(); ++n) {
    stored = storePut(state, fieldKey(prefix, std::to_string(n)), intToText(scaleVectorValue(values[n])));
  }
  return stored;
}

// Writes one field of the item under the owner. `stored` tells whether every write before it
// went through: a text, a number or a list is written only then. Returns the same for the writes
// after it.
template <class Owner>
bool putField(StoreState& state, const Text& owner, const Owner& item, const Field<Owner>& field, bool stored) {
  const bool counted = field.kind == FieldKind::kProperties || field.kind == FieldKind::kVector;
  if (!stored && !counted) return false;
  Text key = fieldKey(owner, field.name);
  switch (field.kind) {
    case FieldKind::kText:
      return storePut(state, std::move(key), item.*field.text);
    case FieldKind::kNumber:
      return storePut(state, std::move(key), intToText(item.*field.number));
    case FieldKind::kTextList:
      return putTextList(state, key, item.*field.list);
    case FieldKind::kProperties:
      return putProperties(state, key, item.*field.properties, stored);
    case FieldKind::kVector:
      return putVector(state, key, item.*field.values, stored);
  }
  return false;
}

template <class Owner>
bool putFields(StoreState& state, const OwnerLayout<Owner>& layout, const Owner& item) {
  const Text owner = ownerKey(layout.stem, item.id);
  bool stored = true;
  for (const Field<Owner>& field : layout.fields) stored = putField(state, owner, item, field, stored);
  return stored;
}

}  // namespace

bool putEdgeKeys(StoreState& state, const Edge& edge) { return putFields(state, kEdgeLayout, edge); }

bool putInCatalog(StoreState& state, std::string_view catalog, std::size_t listLength, const Text& id) {
  const Text count = fieldKey(catalog, kCountWord);
  const std::int32_t slot = nextCatalogSlot(state, count, listLength);
  if (slot < 0) return false;
  return storePut(state, count, intToText(slot + 1)) && storePut(state, fieldKey(catalog, intToText(slot)), id);
}

bool putRecord(Database& database, const Record& record) {
  if (!validateRecord(record)) return false;
  const std::int32_t existing = findRecordIndex(database, record.id);
  DatabaseRollback rollback(database);  // running out of memory part way changes nothing
  rollback.placeRecord(existing, record);
  const bool stored = putFields(database.store, kRecordLayout, record);
  if (existing >= 0 || !stored) return stored;
  return putInCatalog(database.store, kRecordLayout.catalog, database.records.size(), record.id);
}

}  // namespace store
