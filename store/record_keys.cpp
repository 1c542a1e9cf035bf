// Writing a record under its keys, and the key builders shared with the readers and the batch.
#include "store/record_keys.hpp"

#include <cmath>
#include <limits>

#include "store/database_rollback.hpp"

namespace store {

using runtime::intToText;

// Keys are built by concatenation: the same bytes as filling their templates, without the
// template scan, which matters when open rebuilds tens of thousands of keys.
Text recordKey(const Text& id, const Text& field) { return "record/" + id + "/" + field; }

Text edgeKey(const Text& id, const Text& field) { return "edge/" + id + "/" + field; }

std::int32_t scaleVectorValue(float value) {
  const float product = value * kVectorScale;
  if (std::isnan(product)) return 0;
  const float rounded = std::round(product);  // halves away from zero
  if (rounded >= 2147483648.0f) return std::numeric_limits<std::int32_t>::max();
  if (rounded < -2147483648.0f) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(rounded);
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

bool putTextList(StoreState& state, const Text& prefix, const std::vector<Text>& items) {
  if (!storePut(state, prefix + "/count", intToText(static_cast<std::int32_t>(items.size())))) {
    return false;
  }
  for (std::size_t n = 0; n < items.size(); ++n) {
    if (!storePut(state, prefix + "/" + std::to_string(n), items[n])) return false;
  }
  return true;
}

std::int32_t findRecordIndex(const Database& database, const Text& id) {
  for (std::size_t i = 0; i < database.records.size(); ++i) {
    if (database.records[i].id == id) return static_cast<std::int32_t>(i);
  }
  return -1;
}

bool putRecord(Database& database, const Record& record) {
  if (!validateRecord(record)) return false;
  const std::int32_t existing = findRecordIndex(database, record.id);
  DatabaseRollback rollback(database);  // running out of memory part way changes nothing
  rollback.placeRecord(existing, record);
  StoreState& state = database.store;
  const Text& id = record.id;
  const Text prefix = "record/" + id;

  bool stored = storePut(state, recordKey(id, "id"), record.id) &&
                storePut(state, recordKey(id, "tenant"), record.tenant) &&
                storePut(state, recordKey(id, "space"), record.space) &&
                storePut(state, recordKey(id, "container"), record.container) &&
                storePut(state, recordKey(id, "kind"), record.kind) &&
                storePut(state, recordKey(id, "content"), record.content) &&
                storePut(state, recordKey(id, "created"), intToText(record.created)) &&
                storePut(state, recordKey(id, "updated"), intToText(record.updated)) &&
                storePut(state, recordKey(id, "expires"), intToText(record.expires)) &&
                storePut(state, recordKey(id, "classification"), record.classification) &&
                storePut(state, recordKey(id, "lifecycle"), record.lifecycle) &&
                storePut(state, recordKey(id, "purpose"), record.purpose) &&
                putTextList(state, prefix + "/permissions", record.permissions) &&
                putTextList(state, prefix + "/compartments", record.compartments) &&
                putTextList(state, prefix + "/provenance", record.provenance) &&
                putTextList(state, prefix + "/content-refs", record.contentRefs);

  // The two count keys are written even after a refusal; their items only while all is well.
  stored =
      storePut(state, prefix + "/properties/count", intToText(static_cast<std::int32_t>(record.properties.size()))) &&
      stored;
  for (std::size_t n = 0; stored && n < record.properties.size(); ++n) {
    const Text property = prefix + "/properties/" + std::to_string(n);
    stored = storePut(state, property + "/key", record.properties[n].key) &&
             storePut(state, property + "/value", record.properties[n].value);
  }
  stored =
      storePut(state, prefix + "/vector/count", intToText(static_cast<std::int32_t>(record.vector.size()))) && stored;
  for (std::size_t n = 0; stored && n < record.vector.size(); ++n) {
    stored = storePut(state, prefix + "/vector/" + std::to_string(n), intToText(scaleVectorValue(record.vector[n])));
  }
  if (existing >= 0 || !stored) return stored;

  const std::int32_t slot = nextCatalogSlot(state, "catalog/records/count", database.records.size());
  if (slot < 0) return false;
  return storePut(state, "catalog/records/count", intToText(slot + 1)) &&
         storePut(state, "catalog/records/" + intToText(slot), record.id);
}

}  // namespace store
